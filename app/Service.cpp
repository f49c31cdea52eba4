#include "Service.h"

#include "Bells.h"
#include "ProgramValues.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A signal handler may only write to a descriptor; the event loop reads the other end.
int g_signalSocket[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSocket[1], &byte, 1);
}

void logLine(const QString &message) {
    qInfo().noquote() << message;
}

constexpr int ClaimRetryMs = 5000;
} // namespace

int runService(QCoreApplication &app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0) {
        qCritical("Zil hizmeti: sinyal soketi açılamadı");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    const QString folder = QDir::toNativeSeparators(dataFolder());
    // Declared first, so the folder stays claimed until the bells are gone.
    FolderClaim claim(dataFolder());
    claim.setService(true);
    Bells bells(logLine);
    bells.clock().setRinging(false);

    QSocketNotifier stopSignal(g_signalSocket[0], QSocketNotifier::Read);
    QObject::connect(&stopSignal, &QSocketNotifier::activated, &app, [&] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(g_signalSocket[0], &byte, 1);
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

    const auto ring = [&] {
        bells.clock().setRinging(true);
        logLine(QStringLiteral("Zil hizmeti zilleri çalıyor: %1").arg(folder));
    };
    QObject::connect(&claim, &FolderClaim::claimed, &app, ring);
    if (claim.claim()) {
        ring();
    } else if (claim.lockError() == QLockFile::LockFailedError) {
        logLine(QStringLiteral("Bu klasörün zillerini açık olan zil programı çalıyor; o kapanınca "
                               "ziller bu hizmetten çalacak: %1")
                    .arg(folder));
        claim.claimWhenFree(ClaimRetryMs);
    } else {
        // As in the windowed program: silence would be worse than a second ringer.
        logLine(QStringLiteral("Veri klasörü sahiplenilemedi (%1); ziller yine de çalacak.")
                    .arg(folder));
        ring();
    }
    bells.start();
    return app.exec();
}
