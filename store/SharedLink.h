#pragma once

#include "SharedMusic.h"
#include "SharedSchedule.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QTimer>

class QSqlQuery;

// The server's side of a joined computer, on its own thread: one QPSQL connection, LISTEN for
// the school's changes, and the reads and writes the owner asks for. Every answer goes back to
// the owner's thread as a queued call.
class SharedLink : public QObject {
public:
    SharedLink(SharedSchedule *owner, const SharedSettings &settings, int checkMs,
               const QString &musicFolder);

    void begin();

    void finish();

    void sendRecords(const QList<QVariantList> &rows, const QString &source);

    // The last line's number once all are in, or -1 with `why`.
    qint64 insertRecords(const QList<QVariantList> &rows, const QString &source, QString &why);

    void publish(const SharedContent &local, const SharedContent &base);

private:
    template <typename F> void post(F &&f) {
        QMetaObject::invokeMethod(m_owner, std::forward<F>(f), Qt::QueuedConnection);
    }

    QSqlDatabase database() { return QSqlDatabase::database(m_name, false); }

    void close();

    void lost(const QString &why);

    bool connectNow();

    // Opens the connection, checks whom the server takes this user for and listens; what went
    // wrong, for the user, or empty.
    QString open(QString &school, QString &building, qint64 &buildingId, bool &manager);

    // Any role may NOTIFY with any school's id, and a busy manager makes many changes in a row:
    // a notice only asks for a look at the school's version, at most one a NoticeGapMs, the
    // first at once, any others in that time together at its end.
    void noticed();

    // Looks whether the server is still there and the copy's version is the server's: a notice
    // lost while the connection was down is made up for here. The schedule is read only when
    // the version moved.
    void check();

    void fetch();

    // False with `why` when the server could not be read, without when a file could not be put
    // in place here.
    bool read(SharedContent &c, QString &why);

    void tell(const QString &message);
    // Said once while the link lives, not at every change the server tells of.
    void tellOnce(const QString &message);

    // The files the content names that this computer lacks, or holds with another sum, written
    // into Muzikler before the owner writes the rows that name them. Written here, on the link's
    // thread, since the owner never writes these files: it only opens them to ring, and a file
    // is renamed into place whole (FileBeside), so an open finds the old file or the new one,
    // never half of one; and no row names a new file before the owner applies the content,
    // which is posted after this returns. False when the server could not be read; `written`
    // false when a file could not be put in place here (told).
    bool fetchFiles(QSqlQuery &q, const SharedContent &c, bool &written);

    // The files the copy names that the server lacks, or holds with another sum, sent in the
    // edit's transaction. A file no row names any more stays on the server: rows of another
    // building, which this computer does not see, may still name it. False with `refusal` when
    // a file cannot go; false without when the server failed.
    bool uploadFiles(QSqlQuery &q, const SharedContent &local, QString &refusal, bool &refused);

    // The rows of a table shared per building that this computer sees (its building's and every
    // building's), replaced by `rows` ([id, building (0: all), then `columns`, written with
    // commas]): known ids are kept, new rows take the server's.
    static bool replaceBuildingRows(QSqlQuery &q, const QString &table, const QString &idColumn,
                                    const QString &columns, const QList<QVariantList> &rows,
                                    const QSet<qint64> &known);

    // A manager's copy written over the school's schedule in one transaction, when nobody
    // changed the school's schedule since the copy was taken.
    bool writeSchedule(QSqlDatabase &db, const SharedContent &local, const SharedContent &base,
                       QString &refusal, bool &refused);

    SharedSchedule *m_owner;
    SharedSettings m_settings;
    int m_checkMs;
    SharedMusic m_music;
    QSet<QString> m_told;
    QString m_name;
    QTimer *m_timer = nullptr;
    QTimer *m_noticeTimer = nullptr;
    QElapsedTimer m_lastLook;
    bool m_open = false;
    qint64 m_school = -1;
    qint64 m_fetched = -1;
};
