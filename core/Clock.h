#pragma once

#include <QDateTime>

// Where the program reads the wall clock, so tests can run days in milliseconds.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
