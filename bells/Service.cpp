#include "Service.h"

#include "Bells.h"
#include "ClockSync.h"
#include "ClockWatch.h"
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

void runCommand(Bells &bells, const QByteArray &command, int argument,
                const std::function<void(const QString &)> &log) {
    if (command == "alarm")
        log(bells.alarmCommand(argument));
    else if (command == "anons")
        log(bells.announceCommand(argument));
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
    bells.clock().setRinging(false);

    QObject::connect(&stopSignals, &StopSignals::received, &app, [&] {
        if (bells.stopMusic())
            logLine(QStringLiteral("Çalan müzik durduruldu."));
        logLine(QStringLiteral("Zil hizmeti durduruldu."));
        app.quit();
    });

    // "Şimdi durdur" of a window that shows this service's bells.
    QObject::connect(&claim, &FolderClaim::stopRequested, &app, [&] {
        if (bells.stopMusic())
            logLine(QStringLiteral("Çalan müzik durduruldu."));
    });

    // The alarm and "Şimdi anons et" of a window that shows this service's bells.
    QObject::connect(&claim, &FolderClaim::commandRequested, &app,
                     [&](const QByteArray &command, int argument) {
                         runCommand(bells, command, argument, logLine);
                     });

    const auto ring = [&] {
        bells.clock().setRinging(true);
        logLine(QStringLiteral("Zil hizmeti zilleri çalıyor: %1").arg(folder));
    };
    QObject::connect(&claim, &FolderClaim::claimed, &app, ring);
    if (claim.claim()) {
        ring();
    } else if (claim.claimError() == FolderClaim::Error::Held) {
        if (claim.askHolder() == FolderClaim::Holder::Service)
            logLine(QStringLiteral("Bu klasörün zillerini arka plandaki zil hizmeti zaten "
                                   "çalıyor; o durursa ziller bu hizmetten çalacak: %1")
                        .arg(folder));
        else
            logLine(QStringLiteral("Bu klasörün zillerini açık olan zil programı çalıyor; o "
                                   "kapanınca ziller bu hizmetten çalacak: %1")
                        .arg(folder));
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
