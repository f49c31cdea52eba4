#pragma once

#include <QString>

class SharedSchedule;
struct SharedSettings;

// Which process of a data folder faces the network (the phone page and the shared schedule's
// link): the one holding flock() on `ag.kilit` there. Installed, that is the network service,
// which has no sound; a window that rings with no network service beside it holds it itself.
// The ringing service never takes it: it has no network.
class NetworkClaim {
public:
    explicit NetworkClaim(QString folder);
    ~NetworkClaim();
    NetworkClaim(const NetworkClaim &) = delete;
    NetworkClaim &operator=(const NetworkClaim &) = delete;

    // Tries once, never waits; true while this process holds it.
    bool hold();
    void release();
    bool held() const { return m_held; }

private:
    QString m_folder;
    int m_fd = -1;
    bool m_held = false;
};

// Starts, restarts or stops `shared` as the folder's "Ortak program" settings say, when they
// changed since `followed` (what it last followed) or the link ended by itself.
void followSharedSettings(SharedSchedule &shared, SharedSettings &followed);
