#pragma once

#include "ScheduleQuery.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantList>

#include <memory>
#include <optional>

class BellStore;
class Calendar;
class QThread;
class SharedLink;

// How a computer reaches the shared place of its school's schedule ("Ayarlar > Ortak program").
// Kept in the data folder as ortak.json, which the folder's group reads, and the password apart in
// ortak.parola, which only whoever saved it and the service's user read, together with the server
// and user it is for: a server named in ortak.json by anyone else is never sent it.
struct SharedSettings {
    static constexpr int DefaultPort = 5432;
    // The user the installed service runs as.
    static inline const QString ServiceUser = QStringLiteral("selvanor-zil");
    bool on = false;
    QString host; // a server's name, or a folder holding the server's local socket
    int port = DefaultPort;
    QString database;
    QString school;   // the school's name as the server has it; empty: whatever the user's is
    QString building; // the building's name; empty: whatever the user's is
    QString user;
    QString password;
    QString caFile; // the certificate authority that signed the server's certificate
    bool operator==(const SharedSettings &) const = default;

    // Over a network the server's certificate is always checked (verify-full); through a local
    // socket there is nothing to check.
    bool local() const { return host.startsWith(QLatin1Char('/')); }
    // What is wrong with it, in Turkish; empty when it can be used (or is off).
    QString problem() const;

    // A password that an earlier version kept in ortak.json is still read from there, and moved
    // out when the reader is whoever saved it or the service's user.
    static SharedSettings read(const QString &folder);
    // Refused (ZilError with a Turkish reason), nothing written, when problem() finds something.
    // `serviceUser` may read the password too. An empty password leaves one that this user
    // cannot read as it is (it was never shown to them), and forgets one that it can.
    static void write(const QString &folder, const SharedSettings &settings,
                      const QString &serviceUser = ServiceUser);
    static QString file(const QString &folder);
    static QString secretFile(const QString &folder);
};

// What the server holds for one school at one version: its programmes, the bells, announcements
// and one-off bells this computer's building rings, the calendar's school-wide settings and its
// dated entries, and the music those rows name.
struct SharedContent {
    qint64 version = -1;
    QList<QVariantList> programmes; // id, name
    QList<QVariantList> bells; // id, programme, building (0: all), GunID, name, start, music, sure
    QList<QVariantList> settings; // key, value
    QList<QVariantList> entries;  // id, type, name, from, to, time, GunID
    // id, building (0: all), name, text, file, programme, GunID, date, time, sure
    QList<QVariantList> announcements;
    QList<QVariantList> oneOffs; // id, building (0: all), date, name, start, music, sure
    // The server's files the rows above name: name under Muzikler, SHA-256, size. Not compared:
    // the copy holds rows only, and these files are in Muzikler before the rows are written.
    QList<QVariantList> files;
    bool operator==(const SharedContent &o) const {
        return programmes == o.programmes && bells == o.bells && settings == o.settings &&
               entries == o.entries && announcements == o.announcements && oneOffs == o.oneOffs;
    }
    // The music files the rows name, each once.
    QStringList namedFiles() const;
};

// A computer joined to the shared place. The clock keeps ringing from database.mdb; this brings
// that copy up to date at start and whenever the server tells of a change, in one transaction,
// and sends the bell record's new lines, each once. The server is talked to on a thread of its
// own, so a slow or vanished server never holds a bell up; the copy is written only here, on the
// thread that owns the store. A manager's edit to the copy is sent to the server; an edit made on
// a copy that another computer has changed since is refused there and told, never lost unseen.
class SharedSchedule : public QObject {
    Q_OBJECT
public:
    SharedSchedule(BellStore &store, Calendar &calendar, QObject *parent = nullptr);
    ~SharedSchedule() override;

    // Joins with these settings (replacing any earlier); nothing happens when they are off.
    void start(const SharedSettings &settings);
    void stop();
    bool running() const { return m_link != nullptr; }

    // How often the server is asked whether it is there (and a missed notice looked for), the
    // copy compared with what was last applied, and the record's new lines sent.
    void setIntervals(int checkMs, int localMs);
    // The folder music is fetched into, ending in a separator: musicFolder() unless told (tests
    // run several computers in one process). Taken at the next start().
    void setMusicFolder(const QString &folder) { m_musicFolder = folder; }

    // Whether the server answered at the last look.
    bool reachable() const { return m_reachable; }
    // The version of the school's schedule the copy holds; -1 before the first.
    qint64 appliedVersion();
    // The highest line of the bell record the server has taken.
    qint64 sentRecord();
    // One line for the window and the tray: joined, out of reach, or empty when not joined.
    QString statusLine() const { return m_status; }
    // The school and building the server has this computer ring for, and whether its user may
    // change the school's schedule; known after the first connection.
    QString school() const { return m_school; }
    QString building() const { return m_building; }
    bool manager() const { return m_manager; }

    // What the joined process last knew, kept in the copy so that any window of the folder sees
    // it, whether the window or the service rings: the status line, and why the schedule cannot
    // be changed at this computer (the server does not let its user change it); empty when it
    // can, or when the folder is not joined.
    static QString savedStatus(const QString &dataFolder);
    static QString editRefusal(const QString &dataFolder);
    // The server's id of the building this computer rings for, with its name; 0 when the folder
    // is not joined or its user is not tied to one building.
    static qint64 savedBuilding(const QString &dataFolder, QString *name = nullptr);

signals:
    // Told once per cause: the server out of reach, an edit refused, a settings mistake. The
    // window and the tray show it.
    void problem(const QString &message);
    // The copy was brought up to the server's version.
    void applied(qint64 version);
    // The server is reachable again after being out of reach.
    void reconnected();
    void statusChanged(const QString &line);

private:
    friend class SharedLink;
    void onReachable(bool reachable, const QString &why);
    void onIdentity(const QString &school, const QString &building, qint64 buildingId,
                    bool manager);
    void onContent(const SharedContent &content);
    void onSent(qint64 lastRecord);
    void onPublished(bool ok, bool refused, const QString &message);
    void onLocalTimer();
    // The copy's shared part as it stands now.
    SharedContent readLocal();
    void apply(const SharedContent &content);
    void prepareLocal();
    QString localState(const QString &key);
    void setLocalState(const QString &key, const QString &value);
    bool hasTable(const QString &name);
    // A table whose rows are each for one building or all: [id, building (0: all), `columns`
    // after the first...], `columns` starting with the id's.
    QList<QVariantList> buildingRows(const QString &table, const QStringList &columns);
    void writeBuildingRows(const QString &table, const QStringList &columns,
                           const QList<QVariantList> &rows);
    void sendRecords();
    // The record's lines the server has not taken yet, a batch at most.
    QList<QVariantList> unsentRecords();
    void tell(const QString &message);
    void setStatus(const QString &line);
    // What the copy holds is kept as a backup before the server's schedule replaces it, when it
    // is this computer's own (the first joining) or an edit about to be undone (one this user may
    // not make, or one the server refused); false (and told) when that backup could not be
    // taken, and nothing is replaced.
    bool keepBeforeReplacing(const SharedContent &local, bool undoingEdit);
    // The copy left the shared place: it no longer holds the school's version.
    void forgetJoining();

    BellStore &m_store;
    Calendar &m_calendar;
    ScheduleQuery m_local;
    SharedSettings m_settings;
    QString m_musicFolder;
    std::unique_ptr<QThread> m_thread;
    SharedLink *m_link = nullptr; // lives on m_thread
    QTimer m_localTimer;
    int m_checkMs = 5000;
    bool m_reachable = false;
    bool m_everReached = false;
    bool m_outageTold = false;
    bool m_sending = false;
    bool m_publishing = false;
    // The copy is put back to the server's schedule at the next look: an edit this computer may
    // not make, or one the server refused.
    bool m_discardEdit = false;
    // The server's last content, put back over an edit that cannot be kept.
    std::optional<SharedContent> m_serverContent;
    // The copy as it was sent; once taken, it is what the copy is compared with.
    SharedContent m_publishedLocal;
    // What the copy held right after the last apply: a copy that differs has been edited here.
    std::optional<SharedContent> m_baseline;
    // The server's newest content, waiting while the copy cannot be written or an edit is out.
    std::optional<SharedContent> m_pending;
    QString m_lastProblem;
    QString m_status;
    QString m_school;
    QString m_building;
    bool m_manager = false;
};
