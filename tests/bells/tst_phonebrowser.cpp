// The phone page in a real browser: headless Chromium, driven over WebDriver by the
// chromedriver this test starts on a loopback port. It opens the page at a phone's width, sees
// the countdown to the next bell change, is refused a command without a PIN, logs in, rings a
// bell now (into a fake media layer; the bell record shows it with the address and role), and
// is refused with the token of a session that has ended; the classroom screen shows the break
// the school is in. The phone layout's picture is kept in the test's folder, and copied where
// ZIL_TELEFON_EKRAN says when it is set (for the README); ZIL_SINIF_EKRANI likewise for the
// classroom screen's.
#include "Bells.h"
#include "FakeMediaLayer.h"
#include "PhoneAccess.h"
#include "PhoneClient.h"
#include "PhonePage.h"
#include "ProgramValues.h"
#include "Roles.h"
#include "Schedule.h"
#include "ScheduleFixture.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTimer>
#include <QtTest>

namespace {
const QString chromium = QStringLiteral("/usr/bin/chromium");
const QString chromedriver = QStringLiteral("/usr/bin/chromedriver");
const QString elementKey = QStringLiteral("element-6066-11e4-a52e-4f735466cecf");

// A WebDriver session, one blocking call at a time (the event loop runs meanwhile, so the
// program's main thread keeps doing its work, as it would).
class Driver {
public:
    QJsonValue call(const QByteArray &method, const QString &path, const QJsonObject &body = {}) {
        QNetworkRequest request(QUrl(m_base + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply *reply = m_network.sendCustomRequest(
            request, method, method == "GET" ? QByteArray() : QJsonDocument(body).toJson());
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        m_lastError = reply->error() == QNetworkReply::NoError
                          ? QString()
                          : answer.value("value").toObject().value("message").toString() +
                                reply->errorString();
        reply->deleteLater();
        return answer.value("value");
    }
    QString session(const QString &path) const { return "/session/" + m_session + path; }

    bool open(quint16 port, const QString &profile) {
        m_base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        const QJsonObject options{
            {"binary", chromium},
            {"args",
             QJsonArray{"--headless=new", "--no-sandbox", "--ignore-certificate-errors",
                        "--disable-gpu", "--disable-dev-shm-usage", "--user-data-dir=" + profile}},
            {"mobileEmulation",
             QJsonObject{{"deviceMetrics",
                          QJsonObject{{"width", 360}, {"height", 740}, {"pixelRatio", 1.0}}}}},
        };
        const QJsonObject capabilities{
            {"alwaysMatch", QJsonObject{{"browserName", "chrome"},
                                        {"acceptInsecureCerts", true},
                                        {"goog:chromeOptions", options}}}};
        m_session = call("POST", "/session", {{"capabilities", capabilities}})
                        .toObject()
                        .value("sessionId")
                        .toString();
        return !m_session.isEmpty();
    }
    void close() {
        if (!m_session.isEmpty())
            call("DELETE", session({}));
        m_session.clear();
    }

    void go(const QString &url) { call("POST", session("/url"), {{"url", url}}); }
    QString find(const QString &css) {
        return call("POST", session("/element"), {{"using", "css selector"}, {"value", css}})
            .toObject()
            .value(elementKey)
            .toString();
    }
    QString text(const QString &css) {
        const QString id = find(css);
        return id.isEmpty() ? QString()
                            : call("GET", session("/element/" + id + "/text")).toString();
    }
    void type(const QString &css, const QString &text) {
        call("POST", session("/element/" + find(css) + "/value"), {{"text", text}});
    }
    void click(const QString &css) { call("POST", session("/element/" + find(css) + "/click")); }
    QJsonValue script(const QString &body, const QJsonArray &args = {}) {
        return call("POST", session("/execute/sync"), {{"script", body}, {"args", args}});
    }
    // A script that ends by calling its last argument; its answer.
    QJsonValue asyncScript(const QString &body, const QJsonArray &args = {}) {
        return call("POST", session("/execute/async"), {{"script", body}, {"args", args}});
    }
    QByteArray screenshot() {
        return QByteArray::fromBase64(call("GET", session("/screenshot")).toString().toLatin1());
    }
    QString lastError() const { return m_lastError; }

private:
    QNetworkAccessManager m_network;
    QString m_base;
    QString m_session;
    QString m_lastError;
};

// The status of a POST to /islem made by the page's own script with `token`.
const QString postCommand =
    QStringLiteral("const done = arguments[arguments.length - 1];"
                   "fetch('/islem', {method: 'POST', headers: {'Content-Type': 'application/json',"
                   " 'X-Zil-Anahtar': arguments[0]}, body: JSON.stringify({islem: 'durdur'})})"
                   ".then(r => done(r.status), () => done(-1));");
} // namespace

class TestPhoneBrowser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!QFile::exists(chromium) || !QFile::exists(chromedriver))
            QSKIP("Chromium or chromedriver is not installed (scripts/install-deps).");
    }

    void logInRingAndBeRefused() {
        const QDateTime now = QDateTime::currentDateTime();
        if (now.time() > QTime(23, 0))
            QSKIP("Too near midnight for a bell later today.");
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        const int today = GunIDOf(now.date());
        fx.insert(today, "1. Ders", StoredTimeForm(now.time().addSecs(-1800)), "zil.wav", 10);
        fx.insert(today, "Teneffüs", StoredTimeForm(now.time().addSecs(-600)), "zil.wav", 10);
        fx.insert(today, "2. Ders", StoredTimeForm(now.time().addSecs(1800)), "zil.wav", 10);
        fx.insert(today, "Öğle arası", StoredTimeForm(now.time().addSecs(3000)), "zil.wav", 10);
        setProgramFolder(fx.folder());
        Roles(rolesFile()).setPin(Role::Manager, QStringLiteral("123456"));
        Roles(rolesFile()).setPin(Role::Duty, QStringLiteral("5678"));
        const quint16 port = freeLoopbackPort();
        PhoneAccess::writeSettings(dataFolder(), {true, port, true});
        auto bells = std::make_unique<Bells>([](const QString &m) { qWarning() << m; },
                                             std::make_unique<FakeMediaLayer>());
        bells->start();
        bells->phone()->setListenAddress(QHostAddress::LocalHost);
        bells->phone()->tick();
        QTRY_COMPARE(bells->phone()->port(), port);

        QTemporaryDir profile;
        QVERIFY(profile.isValid());
        QProcess driverProcess;
        const quint16 driverPort = freeLoopbackPort();
        driverProcess.start(chromedriver, {QStringLiteral("--port=%1").arg(driverPort)});
        QVERIFY(driverProcess.waitForStarted());
        Driver driver;
        QVERIFY(QTest::qWaitFor([&] { return driver.open(driverPort, profile.path() + "/profil"); },
                                15000));

        const QString page = QStringLiteral("https://127.0.0.1:%1/").arg(port);
        driver.go(page);
        QTRY_VERIFY_WITH_TIMEOUT(driver.text("#sonraki").contains("2. Ders"), 10000);
        QCOMPARE(driver.script("return document.documentElement.clientWidth;").toInt(), 360);
        // The countdown moves on by itself.
        const QString first = driver.text("#geriSayim");
        QVERIFY(!first.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(driver.text("#geriSayim") != first, 5000);

        // Without a PIN, a command from the page's own origin is refused.
        QCOMPARE(driver.asyncScript(postCommand, {QString()}).toInt(), 401);

        driver.type("#pin", "123456");
        driver.click("#giris");
        QTRY_VERIFY_WITH_TIMEOUT(driver
                                     .script("return !document.getElementById('islemKart')"
                                             ".hidden;")
                                     .toBool(),
                                 10000);
        QVERIFY(driver.text("#rol").contains("Yönetici"));
        const QString token =
            driver
                .asyncScript("const done = arguments[0]; fetch('/durum').then(r => r.json())"
                             ".then(d => done(d.oturum ? d.oturum.anahtar : ''));")
                .toString();
        QVERIFY(!token.isEmpty());

        driver.script("document.getElementById('zilSure').value = '3';");
        driver.click("#zilCal");
        const QString line = QStringLiteral("Şimdi çalan zil (telefondan: Yönetici, 127.0.0.1)");
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const BellEvent &e : bells->store().history(now.date(), now.date()))
                    if (e.name == line)
                        return true;
                return false;
            }(),
            10000);
        QTRY_VERIFY_WITH_TIMEOUT(driver.text("#mesaj").contains("Zil çalınıyor"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(driver.text("#kayit").contains("telefondan"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(driver.text("#islemler").contains("Zil çalındı"), 10000);

        const QByteArray picture = driver.screenshot();
        QVERIFY(picture.startsWith("\x89PNG"));
        QFile kept(fx.folder() + "telefon.png");
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write(picture) == picture.size());
        kept.close();
        if (const QString wanted = qEnvironmentVariable("ZIL_TELEFON_EKRAN"); !wanted.isEmpty()) {
            QFile::remove(wanted);
            QVERIFY(QFile::copy(kept.fileName(), wanted));
        }

        // With the token of the session that has ended, the page is refused.
        driver.click("#cikis");
        QTRY_VERIFY_WITH_TIMEOUT(driver
                                     .script("return !document.getElementById('girisKart')"
                                             ".hidden;")
                                     .toBool(),
                                 10000);
        QCOMPARE(driver.asyncScript(postCommand, {token}).toInt(), 401);

        // The classroom screen: no PIN, the lesson or break the school is in, the next bell.
        driver.go(page + QStringLiteral("sinif"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.text("#simdi") == QStringLiteral("Teneffüs"), 10000);
        QVERIFY(driver.text("#kalan").startsWith(QStringLiteral("2. Ders — ")));
        QVERIFY(QTime::fromString(driver.text("#saat"), QStringLiteral("HH:mm:ss")).isValid());
        QCOMPARE(driver.script("return document.querySelectorAll('#program li').length;").toInt(),
                 4);
        if (const QString wanted = qEnvironmentVariable("ZIL_SINIF_EKRANI"); !wanted.isEmpty()) {
            QFile::remove(wanted);
            QFile screen(wanted);
            QVERIFY(screen.open(QIODevice::WriteOnly));
            screen.write(driver.screenshot());
        }

        driver.close();
        driverProcess.terminate();
        QVERIFY(driverProcess.waitForFinished(10000));
        bells.reset();
        setProgramFolder({});
    }
};

QTEST_MAIN(TestPhoneBrowser)
#include "tst_phonebrowser.moc"
