// Staff roles: who may do what, PINs kept as slow hashes, a manager PIN of six digits or more.

#include "BellStore.h"
#include "ProgramValues.h"
#include "Roles.h"
#include "SimulatedClock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(Action)

class TestRoles : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    SimulatedClock m_clock;
    QString file() const { return m_dir.filePath(QStringLiteral("yetkiler.json")); }

private slots:
    void init() {
        QFile::remove(file());
        m_clock.at = QDateTime(QDate(2026, 9, 14), QTime(10, 0), Qt::UTC);
        setProgramClock(&m_clock);
    }
    void cleanupTestCase() { setProgramClock(nullptr); }

    void actionsByRole_data() {
        QTest::addColumn<Action>("action");
        QTest::addColumn<bool>("viewer");
        QTest::addColumn<bool>("duty");
        QTest::addColumn<bool>("manager");
        QTest::newRow("bakmak") << Action::View << true << true << true;
        QTest::newRow("müziği durdurmak") << Action::StopSound << false << true << true;
        QTest::newRow("bugün zil çalmasın") << Action::SilenceToday << false << true << true;
        QTest::newRow("şimdi çal") << Action::RingNow << false << true << true;
        QTest::newRow("alarm") << Action::Alarm << false << true << true;
        QTest::newRow("şimdi anons") << Action::AnnounceNow << false << true << true;
        QTest::newRow("müzik çalmak") << Action::PlayMusic << false << false << true;
        QTest::newRow("programı değiştirmek") << Action::ChangeSchedule << false << false << true;
        QTest::newRow("ayarlar") << Action::ChangeSettings << false << false << true;
        QTest::newRow("programı kapatmak") << Action::EndProgram << false << false << true;
    }
    void actionsByRole() {
        QFETCH(Action, action);
        QFETCH(bool, viewer);
        QFETCH(bool, duty);
        QFETCH(bool, manager);
        QCOMPARE(Roles::permits(Role::Viewer, action), viewer);
        QCOMPARE(Roles::permits(Role::Duty, action), duty);
        QCOMPARE(Roles::permits(Role::Manager, action), manager);
    }

    void pinsFindTheirRoleAndAreNotStored() {
        Roles roles(file());
        QVERIFY(!roles.enabled());
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.setPin(Role::Duty, QStringLiteral("2468")));
        roles.setPin(Role::Manager, QStringLiteral("13572468"));
        QVERIFY(roles.enabled());
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.setPin(Role::Duty, QStringLiteral("13572468")));
        roles.setPin(Role::Duty, QStringLiteral("2468"));

        QFile stored(file());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray text = stored.readAll();
        QVERIFY(!text.contains("13572468"));
        QVERIFY(!text.contains("2468"));
        QCOMPARE(text.count("$argon2id$"), 2);
        // Nobody outside the owner and the staff group reads it.
        QCOMPARE(stored.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther),
                 QFileDevice::Permissions());

        QCOMPARE(Roles::match(roles.hashes(), QStringLiteral("13572468")), Role::Manager);
        QCOMPARE(Roles::match(Roles(file()).hashes(), QStringLiteral("2468")), Role::Duty);
        QCOMPARE(Roles::match(roles.hashes(), QStringLiteral("1357")), Role::Viewer);

        roles.clearPin(Role::Manager);
        QVERIFY(!roles.enabled());
        QVERIFY(!roles.hasPin(Role::Duty));
    }

    void badPinsAreRefusedInWords_data() {
        QTest::addColumn<QString>("pin");
        QTest::newRow("kısa") << QStringLiteral("123");
        QTest::newRow("uzun") << QStringLiteral("123456789");
        QTest::newRow("harf") << QStringLiteral("12a4");
        QTest::newRow("arapça rakam") << QStringLiteral("١٢٣٤");
        QTest::newRow("boş") << QString();
        QTest::newRow("yönetici için kısa") << QStringLiteral("12345");
    }
    void badPinsAreRefusedInWords() {
        QFETCH(QString, pin);
        Roles roles(file());
        QVERIFY(!Roles::pinProblem(pin, Role::Manager).isEmpty());
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.setPin(Role::Manager, pin));
        QVERIFY(!QFile::exists(file()));
    }

    void aDamagedFileOpensNothing() {
        Roles roles(file());
        roles.setPin(Role::Manager, QStringLiteral("987654"));
        // A file of an older program, with its own count of wrong tries, still reads.
        QFile stored(file());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray good = stored.readAll();
        stored.close();
        QFile edited(file());
        QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
        edited.write(QByteArray(good).replace(
            "{", "{\"kilitBaslangici\": \"2026-09-14T09:59:30Z\", \"yanlisDeneme\": 3,"));
        edited.close();
        QCOMPARE(Roles::match(roles.hashes(), QStringLiteral("987654")), Role::Manager);
        QFile damaged(file());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // A hash of another strength would make a check take as long as its writer wished.
        damaged.write(R"({"yonetici": "$argon2id$v=19$m=4194304,t=4000,p=1$AAAAAAAAAAAAAAAAAAAAAA$)"
                      R"(AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"})");
        damaged.close();
        QVERIFY(roles.enabled());
        QVERIFY(roles.hashes().manager.isEmpty());
        QCOMPARE(Roles::match(roles.hashes(), QStringLiteral("987654")), Role::Viewer);
        QVERIFY(QFile::resize(file(), 3));
        QVERIFY(roles.enabled());
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.setPin(Role::Manager, QStringLiteral("123456")));
        // Deleting the file is the reset.
        QVERIFY(QFile::remove(file()));
        QVERIFY(!roles.enabled());
    }
};

QTEST_GUILESS_MAIN(TestRoles)
#include "tst_roles.moc"
