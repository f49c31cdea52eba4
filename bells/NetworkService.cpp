#include "NetworkService.h"

#include "BellStore.h"
#include "Calendar.h"
#include "CommandDesk.h"
#include "Commands.h"
#include "NetworkClaim.h"
#include "PhoneDoor.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "SharedSchedule.h"
#include "SingleInstance.h"
#include "StopSignals.h"
#include "ZilError.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTimer>

namespace {
void logLine(const QString &message) {
    qInfo().noquote() << message;
}

// How long the page stays open after the process that rings last answered: a window closing
// and the service taking over takes a few seconds.
constexpr int RingerGoneMs = 10000;
// The shared schedule's settings are looked at every this many seconds, as the window's link does.
constexpr int SharedLookTicks = 3;

// The phone page served from here: the snapshot and every PIN and command asked of the process
// that rings.
class PhoneRelay {
public:
    explicit PhoneRelay(const FolderClaim &ringer)
        : m_ringer(ringer)
        , m_door(
              m_snapshot, [this](const PhoneCommand &command) { perform(command); },
              [&ringer](const QString &pin, const GateClient &client) {
                  return askGate(ringer, pin, client);
              },
              logLine) {}

    // One look: the ringer's snapshot (`answer`, nullopt when it gave none), then the door as
    // the settings say.
    void tick(bool here, const std::optional<QJsonObject> &answer) {
        if (!here || !m_door.settings().on) {
            m_door.follow(false);
            return;
        }
        if (answer && answer->value(QStringLiteral("ok")).toBool()) {
            m_answered.start();
            takeSnapshot(*answer);
        }
        m_door.follow(m_answered.isValid() && m_answered.elapsed() < RingerGoneMs);
    }

private:
    void perform(const PhoneCommand &command) {
        const std::optional<QJsonObject> answer =
            m_ringer.askJson(Commands::toJson(command), FolderClaim::AnswerTimeoutMs);
        if (!answer)
            logLine(QStringLiteral("Telefondan işlem zilleri çalan programa ulaşmadı (%1).")
                        .arg(command.address));
        // The page shows what came of it at its next look, from the ringer's snapshot.
        else if (const std::optional<QJsonObject> now =
                     m_ringer.askJson({{QStringLiteral("islem"), QStringLiteral("durum")}}, 1000);
                 now && now->value(QStringLiteral("ok")).toBool())
            takeSnapshot(*now);
    }

    void takeSnapshot(const QJsonObject &answer) {
        QSet<QString> sounds;
        for (const QJsonValue &sound : answer.value(QStringLiteral("sesler")).toArray())
            sounds.insert(sound.toString());
        QSet<int> announcements;
        for (const QJsonValue &id : answer.value(QStringLiteral("anonslar")).toArray())
            announcements.insert(id.toInt());
        m_snapshot->set(answer.value(QStringLiteral("durum")).toObject(),
                        answer.value(QStringLiteral("sinif")).toObject(), sounds, announcements,
                        answer.value(QStringLiteral("sinifAcik")).toBool());
    }

    const FolderClaim &m_ringer;
    std::shared_ptr<PhoneSnapshot> m_snapshot = std::make_shared<PhoneSnapshot>();
    PhoneDoor m_door;
    QElapsedTimer m_answered;
};

// The link to the shared schedule, writing the folder's copy as the window's link does.
class SharedRelay {
public:
    void tick(bool here) {
        if (!here) {
            if (m_shared)
                m_shared->stop();
            m_followed = {};
            return;
        }
        if (!m_shared && !open())
            return;
        followSharedSettings(*m_shared, m_followed);
    }

private:
    bool open() {
        try {
            m_store.open(DatabaseFile());
        } catch (const ZilError &error) {
            if (!m_told)
                logLine(error.message());
            m_told = true;
            return false;
        }
        m_shared = std::make_unique<SharedSchedule>(m_store, m_calendar);
        QObject::connect(m_shared.get(), &SharedSchedule::problem, m_shared.get(), logLine);
        return true;
    }

    BellStore m_store;
    Calendar m_calendar{m_store};
    std::unique_ptr<SharedSchedule> m_shared;
    SharedSettings m_followed;
    bool m_told = false;
};
} // namespace

int runNetwork(QCoreApplication &app) {
    StopSignals stopSignals;
    if (!stopSignals.isValid()) {
        qCritical("Ağ hizmeti: sinyal soketi açılamadı");
        return 1;
    }
    QObject::connect(&stopSignals, &StopSignals::received, &app, [&] {
        logLine(QStringLiteral("Ağ hizmeti durduruldu."));
        app.quit();
    });
    NetworkClaim claim(dataFolder());
    // Never claims the folder: it only asks the process that holds it.
    const FolderClaim ringer(dataFolder());
    PhoneRelay phone(ringer);
    SharedRelay shared;
    bool told = false;
    int ticks = -1;
    QTimer look;
    look.setInterval(1000);
    QObject::connect(&look, &QTimer::timeout, &app, [&] {
        const std::optional<QJsonObject> answer =
            ringer.askJson({{QStringLiteral("islem"), QStringLiteral("durum")}}, 1000);
        // The claim is held only while the process that rings answers: a network service that
        // cannot reach it (another user's, in a namespace of its own) leaves the network to one
        // that can.
        if (!answer)
            claim.release();
        const bool here = answer && claim.hold();
        if (here != told) {
            told = here;
            logLine(here ? QStringLiteral("Ağ hizmeti telefon sayfasını ve ortak programı "
                                          "üstlendi: %1")
                               .arg(dataFolder())
                         : QStringLiteral("Ağ hizmeti zilleri çalan programa ulaşamıyor; telefon "
                                          "sayfası ve ortak program bekliyor: %1")
                               .arg(dataFolder()));
        }
        phone.tick(here, answer);
        // The link's settings are a file a window saves: a look every few seconds is enough.
        if (!here || ++ticks % SharedLookTicks == 0)
            shared.tick(here);
    });
    look.start();
    logLine(QStringLiteral("Ağ hizmeti başladı: %1").arg(dataFolder()));
    return app.exec();
}
