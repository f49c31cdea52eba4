// The phone page under a school's worth of phones: 50 clients each asking /durum once a second
// over their own kept-alive TLS connection, for a while. The clients run in a second process
// (this program again, with --clients), so the figures of this one are the page's alone. Prints
// the answer times (p50, p99, worst), how many answers and reconnections there were, how late the
// main thread's own one-second tick came meanwhile, and this process's resident memory before
// the page, with it on and idle, and under the load. Figures only; nothing passes or fails on
// time.
//
//     bench_phone_page [seconds=30] [clients=50]
#include "Bells.h"
#include "FakeMediaLayer.h"
#include "PhoneAccess.h"
#include "PhoneClient.h"
#include "PhonePage.h"
#include "ProcessFigures.h"
#include "ProgramValues.h"
#include "Roles.h"
#include "Schedule.h"
#include "ScheduleFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
struct Client {
    std::unique_ptr<QSslSocket> socket;
    QByteArray received;
    qint64 sentAtUs = -1;
};
// The phones: each asks once a second, spread over the second; prints the figures.
int runClients(QCoreApplication &app, quint16 port, int seconds, int clientCount) {
    QElapsedTimer clock;
    clock.start();
    std::vector<Client> clients(static_cast<size_t>(clientCount));
    std::vector<qint64> answersUs;
    int reconnects = 0;
    int failures = 0;
    const QByteArray request = phoneRequest(port, "GET", "/durum", {}, {});

    const auto connectClient = [&](Client &c) {
        c.socket = std::make_unique<QSslSocket>();
        c.socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        c.received.clear();
        c.sentAtUs = -1;
        QSslSocket *s = c.socket.get();
        QObject::connect(s, &QSslSocket::readyRead, s, [&, s, pc = &c] {
            pc->received += s->readAll();
            const qsizetype end = pc->received.indexOf("\r\n\r\n");
            if (end < 0 || pc->sentAtUs < 0)
                return;
            PhoneAnswer head;
            head.head = pc->received.left(end);
            const qsizetype length = head.header("Content-Length").toLongLong();
            if (pc->received.size() < end + 4 + length)
                return;
            answersUs.push_back(clock.nsecsElapsed() / 1000 - pc->sentAtUs);
            pc->received.clear();
            pc->sentAtUs = -1;
        });
        s->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    };
    for (Client &c : clients)
        connectClient(c);

    std::vector<std::unique_ptr<QTimer>> timers;
    for (int i = 0; i < clientCount; ++i) {
        auto timer = std::make_unique<QTimer>();
        timer->setInterval(1000);
        QObject::connect(timer.get(), &QTimer::timeout, [&, i] {
            Client &c = clients[size_t(i)];
            if (c.sentAtUs >= 0)
                ++failures; // no answer within the second
            if (!c.socket || c.socket->state() != QAbstractSocket::ConnectedState ||
                !c.socket->isEncrypted()) {
                ++reconnects;
                connectClient(c);
                return;
            }
            c.received.clear();
            c.sentAtUs = clock.nsecsElapsed() / 1000;
            c.socket->write(request);
        });
        QTimer::singleShot(1000 * i / clientCount, timer.get(), [t = timer.get()] { t->start(); });
        timers.push_back(std::move(timer));
    }
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();

    std::sort(answersUs.begin(), answersUs.end());
    const auto at = [&](double q) {
        return answersUs.empty() ? 0.0
                                 : answersUs[size_t(q * double(answersUs.size() - 1))] / 1000.0;
    };
    std::printf("  answers: %zu, unanswered within 1 s: %d, reconnections: %d\n", answersUs.size(),
                failures, reconnects);
    std::printf("  answer time ms: p50 %.2f  p99 %.2f  max %.2f\n", at(0.5), at(0.99), at(1.0));
    return 0;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--clients")
        return runClients(app, quint16(atoi(argv[2])), atoi(argv[3]), atoi(argv[4]));
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 30;
    const int clientCount = argc > 2 ? std::max(1, atoi(argv[2])) : 50;

    ScheduleFixture fx;
    const QTime now = QTime::currentTime();
    for (int i = 0; i < 16; ++i)
        fx.insert(GunIDOf(QDate::currentDate()), QStringLiteral("%1. Ders").arg(i + 1),
                  StoredTimeForm(now.addSecs(-7200 + i * 900)), QStringLiteral("zil.wav"), 10);
    setProgramFolder(fx.folder());
    Roles(rolesFile()).setPin(Role::Manager, QStringLiteral("1234"));
    const qint64 beforeKb = residentKb();

    const quint16 port = freeLoopbackPort();
    PhoneAccess::writeSettings(dataFolder(), {true, port, true});
    Bells bells([](const QString &m) { std::fprintf(stderr, "%s\n", qPrintable(m)); },
                std::make_unique<FakeMediaLayer>());
    bells.start();
    bells.phone()->setListenAddress(QHostAddress::LocalHost);
    bells.phone()->tick();
    QElapsedTimer wait;
    wait.start();
    while (bells.phone()->port() != port && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (bells.phone()->port() != port) {
        std::fprintf(stderr, "the page did not start\n");
        return 1;
    }
    // Idle for a few seconds first, so the figure includes the page's snapshots.
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const qint64 idleKb = residentKb();

    QProcess phones;
    phones.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The main thread's own one-second tick, as the bell clock has it: how late it comes.
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> lateMs;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    qint64 expected = 1000;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        lateMs.push_back(clock.elapsed() - expected);
        expected += 1000;
    });
    tick.start(1000);
    qint64 loadKb = 0;
    QTimer::singleShot(seconds * 1000 / 2, [&] { loadKb = residentKb(); });
    QObject::connect(&phones, &QProcess::finished, &app, &QCoreApplication::quit);
    phones.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--clients"), QString::number(port), QString::number(seconds),
                  QString::number(clientCount)});
    app.exec();

    std::sort(lateMs.begin(), lateMs.end());
    std::printf("phone page: %d clients (another process), one GET /durum a second each, %d s\n",
                clientCount, seconds);
    std::printf("%s", phones.readAllStandardOutput().constData());
    std::printf("  main thread 1 s tick lateness ms: p50 %lld  max %lld\n",
                lateMs.empty() ? 0LL : static_cast<long long>(lateMs[lateMs.size() / 2]),
                lateMs.empty() ? 0LL : static_cast<long long>(lateMs.back()));
    std::printf("  VmRSS kB of the page's process: before the page %lld, page on and idle %lld, "
                "under load %lld\n",
                static_cast<long long>(beforeKb), static_cast<long long>(idleKb),
                static_cast<long long>(loadKb));
    setProgramFolder({});
    return 0;
}
