#include "Service.h"

#include "Bells.h"
#include "ClockSync.h"
#include "ClockWatch.h"
#include "CommandDesk.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "SingleInstance.h"
#include "StopSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>

namespace {
void logLine(const QString &message) {
    qInfo().noquote() << message;
}

// flock() costs nothing, and a holder that died should leave at most a second without a ringer.
constexpr int ClaimRetryMs = 1000;
} // namespace

int runService(QCoreApplication &app) {
    StopSignals stopSignals;
    if (!stopSignals.isValid()) {
        qCritical("Zil hizmeti: sinyal soketi açılamadı");
        return 1;
    }

    const QString folder = QDir::toNativeSeparators(dataFolder());
    // Declared first, so the folder stays claimed until the bells are gone.
    FolderClaim claim(dataFolder());
    claim.setService(true);
    // Made beside the clock, not before it: a new folder's first bell is not held for them.
    ProgramSounds::ensureAllAside([](const QString &failure) { logLine(failure); });
    Bells bells(logLine);
    // The ringing service has no network: the network service beside it serves the phone and
    // keeps the shared schedule's link, asking these bells through the socket.
    bells.setNetworkAllowed(false);
    bells.clock().setRinging(false);
    // What a window, the network service or a staff member's command line asks, at the gate.
    CommandDesk desk(claim, bells, logLine);

    QObject::connect(&stopSignals, &StopSignals::received, &app, [&] {
        if (bells.stopMusic())
            logLine(QStringLiteral("Çalan müzik durduruldu."));
        logLine(QStringLiteral("Zil hizmeti durduruldu."));
        app.quit();
    });

    const auto ring = [&] {
        bells.clock().setRinging(true);
        logLine(QStringLiteral("Zil hizmeti zilleri çalıyor: %1").arg(folder));
    };
    QObject::connect(&claim, &FolderClaim::claimed, &app, ring);
    if (claim.claim()) {
        ring();
    } else if (claim.claimError() == FolderClaim::Error::Held) {
        const FolderClaim::Holder holder = claim.askHolder();
        if (holder == FolderClaim::Holder::Service) {
            logLine(QStringLiteral("Bu klasörün zillerini arka plandaki zil hizmeti zaten "
                                   "çalıyor; o durursa ziller bu hizmetten çalacak: %1")
                        .arg(folder));
        } else if (holder == FolderClaim::Holder::Window) {
            logLine(QStringLiteral("Bu klasörün zillerini açık olan zil programı çalıyor; o "
                                   "kapanınca ziller bu hizmetten çalacak: %1")
                        .arg(folder));
        } else {
            // Whoever holds the lock answers nothing on the folder's socket: no copy of the
            // program that rings, but a process holding the file. Silence would be worse.
            logLine(QStringLiteral("zil.kilit dosyasını zil çalmayan bir süreç tutuyor; ziller "
                                   "yine de bu hizmetten çalıyor: %1")
                        .arg(folder));
            ring();
        }
        claim.claimWhenFree(ClaimRetryMs);
    } else {
        // As in the windowed program: silence would be worse than a second ringer.
        logLine(QStringLiteral("Veri klasörü sahiplenilemedi (%1); ziller yine de çalacak.")
                    .arg(folder));
        ring();
    }
    bells.start();
    // The bells follow the computer's clock: one nothing corrects is told in the log, as the
    // window tells it on screen. Asked by child processes, so the clock that rings never waits.
    ClockSync clockSync;
    ClockWatch clockWatch(clockSync, logLine);
    clockSync.start();
    return app.exec();
}
