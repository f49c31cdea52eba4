#pragma once

#include "ClockSync.h"

#include <QObject>
#include <QString>

#include <functional>

// ClockWatch: what the windowless service says of the computer's clock. ClockSync asks the system
// at start and every hour; this writes one log line when the answer turns to "not kept right from
// the network" (or to no answer at all), and one when it is kept right again. An answer that stays
// the same adds nothing, so a year of hourly askings leaves a few lines, not thousands.
class ClockWatch : public QObject {
    Q_OBJECT
public:
    ClockWatch(ClockSync &sync, std::function<void(const QString &line)> log,
               QObject *parent = nullptr);

    // The line for an answer, empty when there is nothing to say.
    static QString lineFor(ClockSync::State state, const QString &source, bool toldBefore);

private:
    void answered();

    ClockSync &m_sync;
    std::function<void(const QString &)> m_log;
    bool m_told = false; // a line about a clock not kept right was written
};
