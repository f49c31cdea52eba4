// The phone page under a school's worth of phones: 50 clients each asking /durum once a second
// over their own kept-alive TLS connection, for a while. The clients run in a second process
// (this program again, with --clients), so the figures of this one are the page's alone. Prints
// the answer times (p50, p99, worst), how many answers and reconnections there were, how late the
// main thread's own one-second tick came meanwhile, and this process's resident memory before
// the page, with it on and idle, and under the load. Figures only; nothing passes or fails on
// time.
//
//     bench_phone_page [seconds=30] [clients=50]
//     bench_phone_page --load PORT SECONDS RATE IDLE
// The second form is only the load, for another bench to put on a page it started:
// bench_ring_punctuality --listen has the service ring while the page takes it.
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
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {
struct Client {
    std::unique_ptr<QSslSocket> socket;
    QByteArray received;
    qint64 sentAtUs = -1;
};

// Kept-alive TLS clients asking /durum; each answer's time goes into `answersUs`.
struct Phones {
    Phones(quint16 port, int count)
        : port(port)
        , clients(static_cast<size_t>(count))
        , request(phoneRequest(port, "GET", "/durum", {}, {})) {
        clock.start();
        for (Client &c : clients)
            connect(c);
    }
    bool ready(const Client &c) const {
        return c.socket && c.socket->state() == QAbstractSocket::ConnectedState &&
               c.socket->isEncrypted();
    }
    void connect(Client &c) {
        c.socket = std::make_unique<QSslSocket>();
        c.socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        c.received.clear();
        c.sentAtUs = -1;
        QSslSocket *s = c.socket.get();
        QObject::connect(s, &QSslSocket::readyRead, s, [this, s, pc = &c] {
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
    }
    void ask(Client &c) {
        c.received.clear();
        c.sentAtUs = clock.nsecsElapsed() / 1000;
        c.socket->write(request);
    }
    void print() {
        std::sort(answersUs.begin(), answersUs.end());
        const auto at = [&](double q) {
            return answersUs.empty() ? 0.0
                                     : answersUs[size_t(q * double(answersUs.size() - 1))] / 1000.0;
        };
        std::printf("  answers: %zu, unanswered within 1 s: %d, reconnections: %d\n",
                    answersUs.size(), failures, reconnects);
        std::printf("  answer time ms: p50 %.2f  p99 %.2f  max %.2f\n", at(0.5), at(0.99), at(1.0));
    }

    quint16 port;
    QElapsedTimer clock;
    std::vector<Client> clients;
    QByteArray request;
    std::vector<qint64> answersUs;
    int reconnects = 0;
    int failures = 0;
};

// The phones: each asks once a second, spread over the second; prints the figures.
int runClients(QCoreApplication &app, quint16 port, int seconds, int clientCount) {
    Phones phones(port, clientCount);
    std::vector<std::unique_ptr<QTimer>> timers;
    for (int i = 0; i < clientCount; ++i) {
        auto timer = std::make_unique<QTimer>();
        timer->setInterval(1000);
        QObject::connect(timer.get(), &QTimer::timeout, [&, i] {
            Client &c = phones.clients[size_t(i)];
            if (c.sentAtUs >= 0)
                ++phones.failures; // no answer within the second
            if (!phones.ready(c)) {
                ++phones.reconnects;
                phones.connect(c);
                return;
            }
            phones.ask(c);
        });
        QTimer::singleShot(1000 * i / clientCount, timer.get(), [t = timer.get()] { t->start(); });
        timers.push_back(std::move(timer));
    }
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    phones.print();
    return 0;
}

// A page under attack or a crowd: `rate` requests a second over 50 kept-alive connections, and
// `idle` connections that never say a word, opened again whenever the page closes one.
int runLoad(QCoreApplication &app, quint16 port, int seconds, int rate, int idle) {
    Phones phones(port, 50);
    std::vector<std::unique_ptr<QTcpSocket>> silent(static_cast<size_t>(idle));
    int closedByPage = 0;
    std::function<void(size_t)> open = [&](size_t i) {
        silent[i] = std::make_unique<QTcpSocket>();
        QTcpSocket *s = silent[i].get();
        const auto gone = [&, i, s] {
            if (silent[i].get() != s)
                return;
            ++closedByPage;
            silent[i].release();
            s->deleteLater();
            QTimer::singleShot(100, [&, i] { open(i); });
        };
        QObject::connect(s, &QTcpSocket::disconnected, s, gone);
        QObject::connect(s, &QTcpSocket::errorOccurred, s, [s, gone] {
            if (s->state() == QAbstractSocket::UnconnectedState)
                gone();
        });
        s->connectToHost(QStringLiteral("127.0.0.1"), port);
    };
    for (size_t i = 0; i < silent.size(); ++i)
        open(i);
    size_t next = 0;
    int sent = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    QElapsedTimer since;
    since.start();
    // Whatever the timer's grain, as many requests as the rate says by now.
    QObject::connect(&pace, &QTimer::timeout, [&] {
        const qint64 due = since.elapsed() * rate / 1000;
        for (int tries = 0; sent < due && tries < int(phones.clients.size()); ++tries) {
            Client &c = phones.clients[next];
            next = (next + 1) % phones.clients.size();
            if (!phones.ready(c)) {
                if (!c.socket || c.socket->state() == QAbstractSocket::UnconnectedState) {
                    ++phones.reconnects;
                    phones.connect(c);
                }
                continue;
            }
            if (c.sentAtUs >= 0)
                continue;
            phones.ask(c);
            ++sent;
        }
    });
    pace.start(2);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    int held = 0;
    for (const auto &s : silent)
        held += s && s->state() == QAbstractSocket::ConnectedState;
    std::printf("  load: %d requests sent in %d s (%d a second asked), %d silent connections "
                "asked, %d held at the end, %d closed or refused by the page\n",
                sent, seconds, rate, idle, held, closedByPage);
    phones.print();
    return 0;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--clients")
        return runClients(app, quint16(atoi(argv[2])), atoi(argv[3]), atoi(argv[4]));
    if (argc == 6 && QByteArray(argv[1]) == "--load")
        return runLoad(app, quint16(atoi(argv[2])), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 30;
    const int clientCount = argc > 2 ? std::max(1, atoi(argv[2])) : 50;

    ScheduleFixture fx;
    const QTime now = QTime::currentTime();
    for (int i = 0; i < 16; ++i)
        fx.insert(GunIDOf(QDate::currentDate()), QStringLiteral("%1. Ders").arg(i + 1),
                  StoredTimeForm(now.addSecs(-7200 + i * 900)), QStringLiteral("zil.wav"), 10);
    setProgramFolder(fx.folder());
    Roles(rolesFile()).setPin(Role::Manager, QStringLiteral("123456"));
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
