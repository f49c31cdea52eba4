#pragma once

#include <QDateTime>

#include <time.h>

// Where the program reads the wall clock, so tests can run days in milliseconds.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // How long the computer has been suspended since it started, in milliseconds: a wall clock
    // that moved on while this stood still was set forward, one that moved with it slept.
    virtual qint64 sleptMsecs() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 sleptMsecs() const override {
        // The boot-time clock counts a suspend, the monotonic one does not.
        timespec boot{}, running{};
        clock_gettime(CLOCK_BOOTTIME, &boot);
        clock_gettime(CLOCK_MONOTONIC, &running);
        return (qint64(boot.tv_sec) - running.tv_sec) * 1000 +
               (boot.tv_nsec - running.tv_nsec) / 1000000;
    }
};
