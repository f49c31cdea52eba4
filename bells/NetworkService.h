#pragma once

class QCoreApplication;

// The network service, `zil --ag`: the part of a data folder that faces the network, apart from
// the part that rings, as privilege-separated daemons split them. It serves the phone page and
// keeps the link to the school's shared schedule; it plays nothing and holds no power of its
// own: what the page shows and every PIN and command go to the process that rings, over the
// folder's socket, where the gate checks them. It holds the folder's network claim, so a
// window that rings leaves the network to it. SIGTERM (and SIGINT) end it cleanly.
int runNetwork(QCoreApplication &app);
