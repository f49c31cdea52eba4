#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// DailyCopies: the day's copy of the school's data in Yedekler, made at start and again a little
// after each midnight. The database is copied on this object's thread (the one that writes the
// schedule), in milliseconds; the music is packed on a thread of its own so the clock that rings
// never waits for it.
class DailyCopies : public QObject {
    Q_OBJECT
public:
    // `report` tells the user of a copy that failed; it is called on this object's thread.
    DailyCopies(QString dataFolder, std::function<void(const QString &message)> report,
                QObject *parent = nullptr);
    ~DailyCopies() override;

    // Deletes what copies cut off in an earlier run left, then makes today's copy (unless one
    // is there) after `delayMs` (at once when 0), then again each day. The wait lets the
    // program's start go by first.
    void start(int delayMs = 2 * 60 * 1000);
    // Whether a copy is being made.
    bool busy() const { return m_busy; }

signals:
    // A copy was made, or today's was already there (empty file).
    void finished(const QString &file);

private:
    void runNow();
    void armForTomorrow();

    QString m_dataFolder;
    std::function<void(const QString &)> m_report;
    QTimer m_timer;
    bool m_busy = false;
    int m_failures = 0; // in a row, of the database's copy
    QThread *m_worker = nullptr;
};
