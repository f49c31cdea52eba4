#pragma once

#include "BellStore.h"

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <functional>
#include <memory>

// DayCheck, the start-of-day check: once a day, every music file of the day's bells is opened
// through GStreamer (not played), on a thread of its own. The files that cannot be opened are
// told in one message and each of their bells gets a warning line in the bell record, so a
// missing, broken or silent file is found in the morning rather than at its bell. A sound output
// that nobody would hear (no sound server, no sound card) is told the same way.
class DayCheck : public QObject {
    Q_OBJECT
public:
    // `store` takes the warnings and must outlive the check; `report` tells the user.
    DayCheck(BellStore &store, std::function<void(const QString &message)> report,
             QObject *parent = nullptr);
    // Waits for a check still running.
    ~DayCheck() override;

    // Checks the music of `bells` (the bells of `date`), unless that date was checked already.
    void check(const QDate &date, const QList<Bell> &bells);

    // Why GStreamer cannot open `file`, or an empty text when it can.
    static QString problemWith(const QString &file);

signals:
    // A check came to its end (with or without problems).
    void checked(const QDate &date);
    // The music names of `date` that cannot be played, with the reason for each; only when
    // there are any.
    void cannotPlay(const QDate &date, const QHash<QString, QString> &problems);

private:
    void finish(const QDate &date, const QList<Bell> &bells,
                const QHash<QString, QString> &problems, const QString &outputProblem);

    BellStore &m_store;
    std::function<void(const QString &message)> m_report;
    QDate m_checkedDate;
    std::unique_ptr<QThread> m_thread;
};
