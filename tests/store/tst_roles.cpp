// Staff roles: who may do what, PINs kept as slow hashes, and the lock after wrong tries.

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

        QCOMPARE(roles.tryPin(QStringLiteral("13572468")), Role::Manager);
        QCOMPARE(Roles(file()).tryPin(QStringLiteral("2468")), Role::Duty);
        QCOMPARE(roles.tryPin(QStringLiteral("1357")), Role::Viewer);

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
    }
    void badPinsAreRefusedInWords() {
        QFETCH(QString, pin);
        Roles roles(file());
        QVERIFY(!Roles::pinProblem(pin).isEmpty());
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.setPin(Role::Manager, pin));
        QVERIFY(!QFile::exists(file()));
    }

    void fiveWrongTriesLockForAMinuteAcrossRestarts() {
        Roles(file()).setPin(Role::Manager, QStringLiteral("9876"));
        for (int i = 0; i < Roles::MaxWrongTries; ++i)
            QCOMPARE(Roles(file()).tryPin(QStringLiteral("1111")), Role::Viewer);
        // A program started afresh finds the lock; the right PIN does not open it.
        Roles restarted(file());
        QCOMPARE(restarted.lockedSeconds(), Roles::LockSeconds);
        QVERIFY_THROWS_EXCEPTION(ERefused, restarted.tryPin(QStringLiteral("9876")));
        m_clock.at = m_clock.at.addSecs(59);
        QVERIFY_THROWS_EXCEPTION(ERefused, restarted.tryPin(QStringLiteral("9876")));
        m_clock.at = m_clock.at.addSecs(1);
        QCOMPARE(restarted.lockedSeconds(), 0);
        QCOMPARE(restarted.tryPin(QStringLiteral("9876")), Role::Manager);
        // A right PIN starts the count again.
        for (int i = 0; i < Roles::MaxWrongTries - 1; ++i)
            restarted.tryPin(QStringLiteral("1111"));
        QCOMPARE(restarted.tryPin(QStringLiteral("9876")), Role::Manager);
        QCOMPARE(restarted.lockedSeconds(), 0);
    }

    void aTryCutShortStillCounts() {
        Roles roles(file());
        roles.setPin(Role::Manager, QStringLiteral("9876"));
        // The window closed while the PIN was being checked: beginTry without endTry.
        for (int i = 0; i < Roles::MaxWrongTries; ++i)
            roles.beginTry();
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.beginTry());
        QCOMPARE(roles.lockedSeconds(), Roles::LockSeconds);
    }

    void aClockSetBackDoesNotLockForever() {
        Roles roles(file());
        roles.setPin(Role::Manager, QStringLiteral("9876"));
        for (int i = 0; i < Roles::MaxWrongTries; ++i)
            roles.tryPin(QStringLiteral("1111"));
        m_clock.at = m_clock.at.addDays(-30);
        QCOMPARE(Roles(file()).lockedSeconds(), Roles::LockSeconds);
        m_clock.at = m_clock.at.addSecs(Roles::LockSeconds);
        QCOMPARE(Roles(file()).lockedSeconds(), 0);
        QCOMPARE(roles.tryPin(QStringLiteral("9876")), Role::Manager);
    }

    void aDamagedFileOpensNothing() {
        Roles roles(file());
        roles.setPin(Role::Manager, QStringLiteral("9876"));
        // A lock whose start cannot be read neither locks for ever nor opens the count.
        QFile stored(file());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray good = stored.readAll();
        stored.close();
        QFile edited(file());
        QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
        edited.write(QByteArray(good).replace("\"yanlisDeneme\"",
                                              "\"kilitBaslangici\": \"dün\", \"yanlisDeneme\""));
        edited.close();
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.tryPin(QStringLiteral("9876")));
        QCOMPARE(roles.lockedSeconds(), 0);
        QFile damaged(file());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // A hash of another strength would make a check take as long as its writer wished.
        damaged.write(R"({"yonetici": "$argon2id$v=19$m=4194304,t=4000,p=1$AAAAAAAAAAAAAAAAAAAAAA$)"
                      R"(AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"})");
        damaged.close();
        QVERIFY(roles.enabled());
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.tryPin(QStringLiteral("9876")));
        QVERIFY(QFile::resize(file(), 3));
        QVERIFY(roles.enabled());
        QVERIFY_THROWS_EXCEPTION(ERefused, roles.setPin(Role::Manager, QStringLiteral("1234")));
        // Deleting the file is the reset.
        QVERIFY(QFile::remove(file()));
        QVERIFY(!roles.enabled());
    }
};

QTEST_GUILESS_MAIN(TestRoles)
#include "tst_roles.moc"
