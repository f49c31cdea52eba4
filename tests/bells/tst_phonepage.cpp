// The phone page's server without a browser, over real TLS on loopback: the page and its state
// without a PIN; plain HTTP only redirected; commands refused without a session, without the
// session's token, with a stale one or from another site, and carried out (into the bell record,
// with the address and role) with both: a bell, an announcement, the alarm and its stop, the
// music stopped, the day silenced; wrong PINs make the address that sent them wait, and a right
// one leaves a device cookie; oversized requests, paths outside the page, too many connections
// from one address and too slow ones refused, the longest waiting closed for a new one; TLS 1.2
// only with sealed ciphers, a certificate with alternative names; the classroom screen only while
// it is on.
#include "Bells.h"
#include "FakeMediaLayer.h"
#include "PhoneAccess.h"
#include "PhoneClient.h"
#include "PhonePage.h"
#include "ProgramValues.h"
#include "Roles.h"
#include "Schedule.h"
#include "ScheduleFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTcpSocket>
#include <QtTest>

namespace {
const QByteArray json = "Content-Type: application/json";

struct Session {
    QByteArray cookie;
    QByteArray token;
};

QJsonObject object(const PhoneAnswer &answer) {
    return QJsonDocument::fromJson(answer.body).object();
}

// The folder's bells with the page on at a free loopback port.
struct Page {
    ScheduleFixture fx;
    std::unique_ptr<Bells> bells;
    quint16 port = 0;

    explicit Page(bool pins = true, bool classroom = true) {
        // A lesson begun and one to come, unless too near midnight for either.
        const QTime now = QTime::currentTime();
        if (now > QTime(0, 30) && now < QTime(23, 0)) {
            const int today = GunIDOf(QDate::currentDate());
            fx.insert(today, "1. Ders", StoredTimeForm(now.addSecs(-600)), "zil.wav", 10);
            fx.insert(today, "2. Ders", StoredTimeForm(now.addSecs(1200)), "zil.wav", 10);
        }
        setProgramFolder(fx.folder());
        if (pins) {
            Roles roles(rolesFile());
            roles.setPin(Role::Manager, QStringLiteral("123456"));
            roles.setPin(Role::Duty, QStringLiteral("5678"));
        }
        port = freeLoopbackPort();
        PhoneAccess::writeSettings(dataFolder(), {true, port, classroom});
        bells = std::make_unique<Bells>([](const QString &message) { qWarning() << message; },
                                        std::make_unique<FakeMediaLayer>());
        bells->start();
        bells->phone()->setListenAddress(QHostAddress::LocalHost);
        bells->phone()->tick();
    }
    ~Page() {
        bells.reset();
        setProgramFolder({});
    }
    bool up() {
        return QTest::qWaitFor([&] { return bells->phone()->port() == port; }, 5000);
    }

    Session logIn(const QByteArray &pin, const QHostAddress &from = {}) {
        const PhoneAnswer answer =
            phoneAsk(port, "POST", "/giris", "{\"pin\":\"" + pin + "\"}", {json}, from);
        if (answer.status != 200)
            return {};
        return {answer.header("Set-Cookie").split(';').first(),
                object(answer).value("anahtar").toString().toLatin1()};
    }
    PhoneAnswer command(const Session &s, const QByteArray &body,
                        const QList<QByteArray> &more = {}) {
        QList<QByteArray> headers{json};
        if (!s.cookie.isEmpty())
            headers << "Cookie: " + s.cookie;
        if (!s.token.isEmpty())
            headers << "X-Zil-Anahtar: " + s.token;
        return phoneAsk(port, "POST", "/islem", body, headers + more);
    }
    // The names in today's bell record.
    QStringList record() {
        QStringList names;
        for (const BellEvent &event :
             bells->store().history(QDate::currentDate(), QDate::currentDate()))
            names << event.name;
        return names;
    }
};

const QByteArray ring =
    "{\"islem\":\"zil\",\"muzik\":\"Programın sesleri/Öğrenci zili.wav\",\"sure\":5}";
} // namespace

class TestPhonePage : public QObject {
    Q_OBJECT
private slots:
    void pageAndStateWithoutPin() {
        Page page;
        QVERIFY(page.up());
        const PhoneAnswer html = phoneAsk(page.port, "GET", "/");
        QCOMPARE(html.status, 200);
        QVERIFY(html.body.contains("Selvanor Zil Sistemi"));
        QVERIFY(html.header("Content-Security-Policy").contains("default-src 'self'"));
        QVERIFY(html.header("Strict-Transport-Security").startsWith("max-age="));
        const PhoneAnswer state = phoneAsk(page.port, "GET", "/durum");
        QCOMPARE(state.status, 200);
        QVERIFY(object(state).contains("saat"));
        QVERIFY(object(state).value("sonrakiSatir").toString().contains("zil"));
        QVERIFY(!object(state).contains("oturum"));
        const QTime now = QTime::currentTime();
        if (now > QTime(0, 30) && now < QTime(23, 0)) {
            const QJsonObject next = object(state).value("sonraki").toObject();
            QCOMPARE(next.value("ad").toString(), QStringLiteral("2. Ders"));
            QVERIFY(next.value("kalan").toInt() > 1100 && next.value("kalan").toInt() <= 1200);
            QCOMPARE(object(state).value("program").toArray().size(), 2);
            QVERIFY(
                object(state).value("program").toArray().at(0).toObject().value("gecti").toBool());
            const PhoneAnswer screen = phoneAsk(page.port, "GET", "/sinif/durum");
            QCOMPARE(object(screen).value("simdi").toString(), QStringLiteral("1. Ders"));
            QCOMPARE(object(screen).value("sonraki").toObject().value("ad").toString(),
                     QStringLiteral("2. Ders"));
        }
    }

    void plainHttpIsOnlyRedirected() {
        Page page;
        QVERIFY(page.up());
        QTcpSocket plain;
        plain.connectToHost(QHostAddress::LocalHost, page.port);
        QVERIFY(plain.waitForConnected(3000));
        // The Host a client names is not where it is sent.
        plain.write("GET /durum HTTP/1.1\r\nHost: kotu.example\r\n\r\n");
        QByteArray answer;
        while (plain.waitForReadyRead(3000))
            answer += plain.readAll();
        QVERIFY2(answer.startsWith("HTTP/1.1 301"), answer.constData());
        QVERIFY(answer.contains("Location: https://127.0.0.1:" + QByteArray::number(page.port) +
                                "/\r\n"));
        QVERIFY(!answer.contains("saat"));
        QCOMPARE(plain.state(), QAbstractSocket::UnconnectedState);
    }

    void commandsNeedSessionAndItsToken() {
        Page page;
        QVERIFY(page.up());
        QCOMPARE(page.command({}, ring).status, 401);

        const Session manager = page.logIn("123456");
        QVERIFY(!manager.cookie.isEmpty() && !manager.token.isEmpty());
        const PhoneAnswer login =
            phoneAsk(page.port, "POST", "/giris", "{\"pin\":\"123456\"}", {json});
        for (const char *attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Max-Age=900"})
            QVERIFY2(login.header("Set-Cookie").contains(attribute), attribute);

        // The cookie alone, or with another session's token, is not enough.
        QCOMPARE(page.command({manager.cookie, {}}, ring).status, 403);
        const Session other = page.logIn("5678");
        QCOMPARE(page.command({manager.cookie, other.token}, ring).status, 403);
        // From another site, even with both.
        QCOMPARE(page.command(manager, ring, {"Origin: https://kotu.example"}).status, 403);
        QTest::qWait(100);
        QVERIFY(page.record().filter("telefondan").isEmpty());

        const PhoneAnswer rung = page.command(manager, ring);
        QCOMPARE(rung.status, 202);
        QTRY_VERIFY(page.record().contains(
            QStringLiteral("Şimdi çalan zil (telefondan: Yönetici, 127.0.0.1)")));
        QTRY_VERIFY(page.bells->phone()->lastCommands().value(0).contains("Zil çalındı"));

        // After the session ends, its token is stale.
        const PhoneAnswer out =
            phoneAsk(page.port, "POST", "/cikis", "{}",
                     {json, "Cookie: " + manager.cookie, "X-Zil-Anahtar: " + manager.token});
        QCOMPARE(out.status, 200);
        QCOMPARE(page.command(manager, ring).status, 401);
        // A music the page does not offer never reaches the player.
        QCOMPARE(
            page.command(other, "{\"islem\":\"zil\",\"muzik\":\"../../etc/passwd\",\"sure\":5}")
                .status,
            400);
        QCOMPARE(page.command(other, "{\"islem\":\"zil\",\"muzik\":\"Programın sesleri/Öğrenci "
                                     "zili.wav\",\"sure\":0}")
                     .status,
                 400);
    }

    void dutyAnnouncesStopsAndSilences() {
        Page page;
        QVERIFY(page.up());
        Announcement a;
        a.name = QStringLiteral("Toplantı");
        a.sound = QStringLiteral("toplanti.wav");
        // A recording that is not there is refused before its chime.
        QVERIFY(QDir().mkpath(musicFolder()) &&
                QFile(musicFolder() + a.sound).open(QFile::WriteOnly));
        a.gunId = 6;
        a.at = QTime(3, 0);
        const int id = page.bells->store().addAnnouncement(a);
        const Session duty = page.logIn("5678");
        QVERIFY(!duty.token.isEmpty());
        // Offered once the page has read the announcements again.
        const QByteArray announce = "{\"islem\":\"anons\",\"id\":" + QByteArray::number(id) + "}";
        QTRY_VERIFY_WITH_TIMEOUT(page.bells->phone()->snapshot()->offersAnnouncement(id), 8000);
        QCOMPARE(page.command(duty, "{\"islem\":\"anons\",\"id\":99999}").status, 400);
        QCOMPARE(page.command(duty, announce).status, 202);
        QTRY_VERIFY(page.record().contains(
            QStringLiteral("Anons çanı: Toplantı (telefondan: Nöbetçi, 127.0.0.1)")));

        QCOMPARE(page.command(duty, ring).status, 202);
        QTRY_VERIFY(page.bells->phone()->lastCommands().value(0).contains("Zil çalındı"));
        QCOMPARE(page.command(duty, "{\"islem\":\"durdur\"}").status, 202);
        QTRY_VERIFY(page.bells->phone()->lastCommands().value(0).contains("Müzik durduruldu"));
        QVERIFY(!page.bells->bellPlayer().playing());

        QVERIFY(!page.bells->calendar().silencedToday());
        QCOMPARE(page.command(duty, "{\"islem\":\"sessiz\",\"acik\":true}").status, 202);
        QTRY_VERIFY(page.bells->calendar().silencedToday());
        QTRY_VERIFY(object(phoneAsk(page.port, "GET", "/durum")).value("sessizBugun").toBool());
        QCOMPARE(page.command(duty, "{\"islem\":\"sessiz\",\"acik\":false}").status, 202);
        QTRY_VERIFY(!page.bells->calendar().silencedToday());
        QCOMPARE(page.command(duty, "{\"islem\":\"kapat\"}").status, 400);
    }

    void alarmSoundsAndStopsFromThePhone() {
        Page page;
        QVERIFY(page.up());
        const Session duty = page.logIn("5678");
        QCOMPARE(page.command(duty, "{\"islem\":\"alarm\",\"tur\":7}").status, 400);
        QVERIFY(!page.bells->alarm().sounding());
        QCOMPARE(page.command(duty, "{\"islem\":\"alarm\",\"tur\":1}").status, 202);
        QTRY_VERIFY(page.bells->alarm().sounding() == Alarm::Kind::Deprem);
        QTRY_COMPARE(object(phoneAsk(page.port, "GET", "/durum")).value("alarm").toString(),
                     Alarm::title(Alarm::Kind::Deprem));
        QCOMPARE(page.command(duty, "{\"islem\":\"alarmDurdur\"}").status, 202);
        QTRY_VERIFY(!page.bells->alarm().sounding());
        QVERIFY(page.bells->phone()->lastCommands().value(0).contains("Alarm durduruldu"));
    }

    void wrongPinsMakeThatAddressWait() {
        Page page;
        QVERIFY(page.up());
        const QHostAddress other(QStringLiteral("127.0.0.2"));
        PhoneAnswer wrong;
        for (int i = 0; i <= Gate::FreeWrongTries; ++i) {
            wrong = phoneAsk(page.port, "POST", "/giris", "{\"pin\":\"0000\"}", {json}, other);
            QCOMPARE(wrong.status, 401);
        }
        // Counted before the slow check, so a second may have gone since.
        QVERIFY(wrong.header("Retry-After").toInt() >= Gate::FirstWaitSeconds - 1);
        const PhoneAnswer waits =
            phoneAsk(page.port, "POST", "/giris", "{\"pin\":\"123456\"}", {json}, other);
        QCOMPARE(waits.status, 429);
        QVERIFY(object(waits).value("hata").toString().contains("saniye sonra"));
        // Another address still logs in, and keeps a device cookie for later.
        const PhoneAnswer in = phoneAsk(page.port, "POST", "/giris", "{\"pin\":\"5678\"}", {json});
        QCOMPARE(in.status, 200);
        QVERIFY(in.head.contains("Set-Cookie: zil_cihaz="));
    }

    void noManagerPinMeansLookOnly() {
        Page page(false);
        QVERIFY(page.up());
        const PhoneAnswer refused =
            phoneAsk(page.port, "POST", "/giris", "{\"pin\":\"1234\"}", {json});
        QCOMPARE(refused.status, 403);
        QVERIFY(object(refused).value("hata").toString().contains("Yönetici PIN"));
        QCOMPARE(phoneAsk(page.port, "GET", "/durum").status, 200);
    }

    void oversizedRequestIsRefused() {
        Page page;
        QVERIFY(page.up());
        const Session manager = page.logIn("123456");
        QByteArray big = "{\"islem\":\"durdur\",\"x\":\"" + QByteArray(70 * 1024, 'a') + "\"}";
        QCOMPARE(page.command(manager, big).status, 413);
        const PhoneAnswer header =
            phoneAsk(page.port, "GET", "/durum", {}, {"X-Dolgu: " + QByteArray(70 * 1024, 'b')});
        QCOMPARE(header.status, 413);
        QTest::qWait(100);
        QVERIFY(page.bells->phone()->lastCommands().isEmpty());
        // The server still answers.
        QCOMPARE(phoneAsk(page.port, "GET", "/durum").status, 200);
    }

    void nothingOutsideThePageIsServed() {
        Page page;
        QVERIFY(page.up());
        for (const QByteArray path :
             {"/../yetkiler.json", "/%2e%2e/yetkiler.json", "/telefon/../../database.mdb",
              "/..%2f..%2fetc%2fpasswd", "/:/telefon/telefon.html", "//etc/passwd",
              "/telefon.js/../../yetkiler.json", "/yetkiler.json", "/telefon-anahtar.pem"}) {
            const PhoneAnswer answer = phoneAsk(page.port, "GET", path);
            QVERIFY2(answer.status == 404 || answer.status == 400, path.constData());
            QVERIFY2(!answer.body.contains("PRIVATE KEY") && !answer.body.contains("argon"),
                     path.constData());
        }
    }

    void connectionsAreBoundedPerAddressAndInAll() {
        Page page;
        QVERIFY(page.up());
        std::vector<std::unique_ptr<QTcpSocket>> open;
        const auto hold = [&](const QString &from) {
            open.push_back(std::make_unique<QTcpSocket>());
            open.back()->bind(QHostAddress(from));
            open.back()->connectToHost(QHostAddress::LocalHost, page.port);
            return open.back()->waitForConnected(3000);
        };
        for (int i = 0; i < PhoneServer::MaxConnectionsPerGroup; ++i)
            QVERIFY(hold(QStringLiteral("127.0.0.1")));
        // One address holds no more; another is still served.
        QVERIFY(hold(QStringLiteral("127.0.0.1")));
        QVERIFY(open.back()->waitForDisconnected(3000));
        open.pop_back();
        QCOMPARE(phoneAsk(page.port, "GET", "/durum", {}, {}, QHostAddress("127.0.0.2")).status,
                 200);
        // Many addresses fill the server; a new phone closes the one that waited longest.
        for (int i = PhoneServer::MaxConnectionsPerGroup; i < PhoneServer::MaxConnections; ++i)
            QVERIFY(hold(
                QStringLiteral("127.0.0.%1").arg(3 + i / PhoneServer::MaxConnectionsPerGroup)));
        QCOMPARE(phoneAsk(page.port, "GET", "/durum", {}, {}, QHostAddress("127.0.0.99")).status,
                 200);
        QTRY_COMPARE_WITH_TIMEOUT(open.front()->state(), QAbstractSocket::UnconnectedState, 3000);
        QCOMPARE(open.back()->state(), QAbstractSocket::ConnectedState);
    }

    void tls12OnlyWithSealedCiphers() {
        Page page;
        QVERIFY(page.up());
        QSslSocket cbc;
        cbc.setPeerVerifyMode(QSslSocket::VerifyNone);
        QSslConfiguration tls = cbc.sslConfiguration();
        tls.setProtocol(QSsl::TlsV1_2);
        tls.setCiphers(QStringLiteral("ECDHE-ECDSA-AES128-SHA256:ECDHE-ECDSA-AES256-SHA"));
        cbc.setSslConfiguration(tls);
        cbc.connectToHostEncrypted(QStringLiteral("127.0.0.1"), page.port);
        QVERIFY(!cbc.waitForEncrypted(3000));
        tls.setCiphers(QStringLiteral("ECDHE-ECDSA-AES128-GCM-SHA256"));
        QSslSocket gcm;
        gcm.setPeerVerifyMode(QSslSocket::VerifyNone);
        gcm.setSslConfiguration(tls);
        gcm.connectToHostEncrypted(QStringLiteral("127.0.0.1"), page.port);
        QVERIFY(gcm.waitForEncrypted(3000));
        // Names a browser can match against the address typed.
        const auto names = gcm.peerCertificate().subjectAlternativeNames();
        QVERIFY(names.values(QSsl::IpAddressEntry).contains(QStringLiteral("127.0.0.1")));
        QVERIFY(names.values(QSsl::DnsEntry).contains(QStringLiteral("localhost")));
    }

    void slowConnectionIsClosed() {
        Page page;
        QVERIFY(page.up());
        QSslSocket slow;
        slow.setPeerVerifyMode(QSslSocket::VerifyNone);
        slow.connectToHostEncrypted(QStringLiteral("127.0.0.1"), page.port);
        QVERIFY(slow.waitForEncrypted(3000));
        slow.write("GET /durum HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        QElapsedTimer waited;
        waited.start();
        while (slow.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 15000) {
            slow.write("X-Yavas: 1\r\n");
            slow.waitForDisconnected(1000);
        }
        QCOMPARE(slow.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(waited.elapsed() < (PhoneServer::IdleSeconds + 3) * 1000);
    }

    void classroomScreenOnlyWhileOn() {
        Page page(true, false);
        QVERIFY(page.up());
        QCOMPARE(phoneAsk(page.port, "GET", "/sinif").status, 404);
        QCOMPARE(phoneAsk(page.port, "GET", "/sinif/durum").status, 404);
        PhoneAccess::writeSettings(dataFolder(), {true, page.port, true});
        page.bells->phone()->tick();
        const PhoneAnswer screen = phoneAsk(page.port, "GET", "/sinif/durum");
        QCOMPARE(screen.status, 200);
        QVERIFY(object(screen).contains("simdi"));
        QCOMPARE(phoneAsk(page.port, "GET", "/sinif").status, 200);

        // Turned off, the page stops listening.
        PhoneAccess::writeSettings(dataFolder(), {false, page.port, true});
        page.bells->phone()->tick();
        QCOMPARE(page.bells->phone()->port(), quint16(0));
        QTRY_COMPARE(phoneAsk(page.port, "GET", "/durum").status, -1);
    }
};

QTEST_GUILESS_MAIN(TestPhonePage)
#include "tst_phonepage.moc"
