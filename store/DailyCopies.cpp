#include "DailyCopies.h"

#include "Backup.h"
#include "Clock.h"
#include "ProgramValues.h"

#include <QDateTime>
#include <QThread>

namespace {
// After midnight's bells, if any, and with the day's date settled.
constexpr int AfterMidnightMs = 5 * 60 * 1000;
// A schedule another program was writing at that moment is tried again a little later before
// the user is told.
constexpr int RetryMs = 60 * 1000;
constexpr int Tries = 5;
} // namespace

DailyCopies::DailyCopies(QString dataFolder, std::function<void(const QString &)> report,
                         QObject *parent)
    : QObject(parent)
    , m_dataFolder(std::move(dataFolder))
    , m_report(std::move(report)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DailyCopies::runNow);
}

DailyCopies::~DailyCopies() {
    // A copy half made is left as its temporary file, never under a final name.
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
    }
}

void DailyCopies::start(int delayMs) {
    // A copy the power cut off in an earlier run is never finished: its temporary files go now,
    // while no copy of this run is under way. One listing, and no waiting for another process.
    Backup::removeLeftovers(m_dataFolder, Backup::processStarted());
    if (delayMs <= 0)
        runNow();
    else
        m_timer.start(delayMs);
}

void DailyCopies::runNow() {
    armForTomorrow();
    if (m_busy)
        return;
    std::function<QString()> rest;
    try {
        // The database is copied here, on the thread that writes it, between its writes: a
        // save never meets the copy's read lock. The music is packed on the worker.
        rest = Backup::keepDailyAside(m_dataFolder, programClock().now().date());
        m_failures = 0;
    } catch (const std::exception &error) {
        if (++m_failures < Tries) {
            m_timer.start(RetryMs);
            return;
        }
        m_failures = 0;
        if (m_report)
            m_report(QStringLiteral("Günlük yedek alınamadı: ") + QString::fromUtf8(error.what()));
        return;
    }
    m_busy = true;
    auto result = std::make_shared<std::pair<QString, QString>>();
    m_worker = QThread::create([rest, result] {
        Backup::yieldToTheBells();
        try {
            result->first = rest();
        } catch (const ZilError &error) {
            result->second = error.message();
        } catch (const std::exception &error) {
            result->second = QString::fromUtf8(error.what());
        }
    });
    connect(m_worker, &QThread::finished, this, [this, result] {
        m_worker->deleteLater();
        m_worker = nullptr;
        m_busy = false;
        if (!result->second.isEmpty()) {
            if (m_report)
                m_report(QStringLiteral("Günlük yedek alınamadı: ") + result->second);
            return;
        }
        emit finished(result->first);
    });
    m_worker->start(QThread::LowPriority);
}

void DailyCopies::armForTomorrow() {
    const QDateTime now = programClock().now();
    const QDateTime next(now.date().addDays(1), QTime(0, 0));
    const qint64 ms = now.msecsTo(next) + AfterMidnightMs;
    m_timer.start(int(qBound<qint64>(60 * 1000, ms, 25LL * 3600 * 1000)));
}
