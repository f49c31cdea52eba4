#pragma once

class QCoreApplication;

// The background service, `zil --servis`: the program folder's bells without any window or
// display, for a computer that rings with nobody logged in. It rings when it holds the folder;
// while a windowed copy holds it, the service waits and takes the folder over once that copy
// ends. SIGTERM (and SIGINT) stop the music and end it cleanly.
int runService(QCoreApplication &app);
