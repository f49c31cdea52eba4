// The gate's count of wrong PINs: a budget shared by every address, one per address group
// (IPv6 /64, IPv4-mapped folded), waits that grow and are forgotten, the owner's device and the
// window let in while strangers wait, one state for every gate of a folder, a damaged state
// that waits, and the manager's six digits on the phone.
#include "Gate.h"
#include "ProgramValues.h"
#include "Roles.h"
#include "SimulatedClock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sodium.h>

namespace {
const QString ManagerPin = QStringLiteral("581379");
const QString DutyPin = QStringLiteral("4750");
using Outcome = GateAnswer::Outcome;

GateClient phone(const QString &address, const QByteArray &device = {}) {
    return {GateClient::Road::Phone, address, device};
}
const GateClient window{GateClient::Road::Window, {}, {}};
} // namespace

class TestGate : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    SimulatedClock m_clock;
    QString folder() const { return m_dir.path(); }

    // Wrong PINs from `client` until the gate makes it wait.
    void wrongUntilWait(Gate &gate, const GateClient &client) {
        for (int i = 0; i < 20; ++i)
            if (gate.login(QStringLiteral("0000"), client).outcome == Outcome::Wait)
                return;
        QFAIL("never waited");
    }

private slots:
    void init() {
        QFile::remove(m_dir.filePath(QStringLiteral("giris.json")));
        m_clock.at = QDateTime(QDate(2026, 9, 14), QTime(10, 0), Qt::UTC);
        setProgramClock(&m_clock);
    }
    void initTestCase() {
        Roles roles(m_dir.filePath(QStringLiteral("yetkiler.json")));
        roles.setPin(Role::Manager, ManagerPin);
        roles.setPin(Role::Duty, DutyPin);
    }
    void cleanupTestCase() { setProgramClock(nullptr); }

    // 10,000 guesses in an hour, a sweep of every 4-digit PIN from 4,096 addresses, each of them
    // under its own free tries: the common budget hears only a few.
    void manyAddressesShareOneBudget() {
        Gate gate(folder());
        int heard = 0;
        for (int i = 0; i < 10000; ++i) {
            const QString guess =
                QStringLiteral("%1").arg((4650 + i) % 10000, 4, 10, QLatin1Char('0'));
            const QString from = QStringLiteral("10.0.%1.%2").arg(i % 4096 / 256).arg(i % 256);
            const GateAnswer answer = gate.login(guess, phone(from));
            QVERIFY2(answer.outcome != Outcome::Granted, qPrintable(guess));
            heard += answer.outcome == Outcome::Wrong;
            m_clock.at = m_clock.at.addMSecs(360);
        }
        qInfo("%d of 10000 guesses checked", heard);
        QVERIFY(heard <= Gate::CommonFreeWrongTries + 8);
        // The window at the computer is not kept out.
        QCOMPARE(gate.login(DutyPin, window).outcome, Outcome::Granted);
    }

    void addressGroups() {
        QCOMPARE(Gate::addressGroup(QHostAddress("2001:db8:1:2:aaaa::1")),
                 QStringLiteral("2001:db8:1:2::/64"));
        QCOMPARE(Gate::addressGroup(QHostAddress("::ffff:10.1.2.3")), QStringLiteral("10.1.2.3"));
        QCOMPARE(Gate::addressGroup(QHostAddress("10.1.2.3")), QStringLiteral("10.1.2.3"));
        Gate gate(folder());
        // Every address of one /64 counts as one.
        for (int i = 0; i < Gate::FreeWrongTries; ++i)
            QCOMPARE(
                gate.login("0000", phone(QStringLiteral("2001:db8:1:2::%1").arg(i + 1))).outcome,
                Outcome::Wrong);
        const GateAnswer fifth = gate.login("0000", phone("2001:db8:1:2::99"));
        QCOMPARE(fifth.waitSeconds, Gate::FirstWaitSeconds);
        QCOMPARE(gate.login(DutyPin, phone("2001:db8:1:2:ffff::7")).outcome, Outcome::Wait);
        QCOMPARE(gate.login(DutyPin, phone("2001:db8:1:3::1")).outcome, Outcome::Granted);
        // An IPv4 address waits the same, however it is written.
        wrongUntilWait(gate, phone("::ffff:10.9.9.9"));
        QCOMPARE(gate.login(DutyPin, phone("10.9.9.9")).outcome, Outcome::Wait);
    }

    void waitsGrowAndAreForgotten() {
        Gate gate(folder());
        for (int i = 0; i < Gate::FreeWrongTries; ++i)
            QCOMPARE(gate.login("0000", window).waitSeconds, 0);
        QCOMPARE(gate.login("0000", window).waitSeconds, Gate::FirstWaitSeconds);
        const GateAnswer waiting = gate.login(DutyPin, window);
        QCOMPARE(waiting.outcome, Outcome::Wait);
        QVERIFY(waiting.message.contains("60 saniye sonra"));
        m_clock.at = m_clock.at.addSecs(Gate::FirstWaitSeconds);
        QCOMPARE(gate.login("0000", window).waitSeconds, 2 * Gate::FirstWaitSeconds);
        // A clock set back waits no longer than the delay from now.
        m_clock.at = m_clock.at.addDays(-30);
        QCOMPARE(gate.login(DutyPin, window).waitSeconds, 2 * Gate::FirstWaitSeconds);
        m_clock.at = m_clock.at.addSecs(Gate::ForgetMinutes * 60);
        QCOMPARE(gate.login("0000", window).waitSeconds, 0);
    }

    void theOwnersDeviceAndTheWindowGetInDuringAnAttack() {
        Gate gate(folder());
        const GateAnswer first = gate.login(DutyPin, phone("192.168.1.20"));
        QCOMPARE(first.outcome, Outcome::Granted);
        QCOMPARE(first.device.size(), 64);
        QCOMPARE(gate.roleOf(first.token), Role::Duty);
        for (int i = 0; i <= Gate::CommonFreeWrongTries; ++i)
            gate.login("0000", phone(QStringLiteral("10.1.0.%1").arg(i)));
        QCOMPARE(gate.login(DutyPin, phone("192.168.1.77")).outcome, Outcome::Wait);
        QCOMPARE(gate.login(DutyPin, phone("192.168.1.77", first.device)).outcome,
                 Outcome::Granted);
        QCOMPARE(gate.login(ManagerPin, window).outcome, Outcome::Granted);
        // A stolen device gets a few guesses, then it is a stranger.
        GateAnswer wrong;
        for (int i = 0; i < Gate::DeviceWrongLimit; ++i)
            wrong = gate.login("1111", phone("192.168.1.77", first.device));
        QCOMPARE(wrong.outcome, Outcome::Wrong);
        QVERIFY(wrong.deviceForgotten);
        QCOMPARE(gate.login(DutyPin, phone("192.168.1.77", first.device)).outcome, Outcome::Wait);
    }

    void everyGateOfAFolderSharesTheCount() {
        Gate one(folder());
        Gate other(folder());
        wrongUntilWait(one, window);
        QCOMPARE(other.login(DutyPin, window).outcome, Outcome::Wait);
        // Sessions belong to the gate that opened them, for SessionMinutes.
        const GateAnswer in = other.login(DutyPin, phone("10.2.2.2"));
        QCOMPARE(other.roleOf(in.token), Role::Duty);
        QCOMPARE(one.roleOf(in.token), std::nullopt);
        m_clock.at = m_clock.at.addSecs(Gate::SessionMinutes * 60);
        QCOMPARE(other.roleOf(in.token), std::nullopt);
        // A state that cannot be read waits; it never opens.
        QFile damaged(other.stateFile());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{bozuk");
        damaged.close();
        QCOMPARE(one.login(DutyPin, window).outcome, Outcome::Wait);
        QCOMPARE(one.login(DutyPin, phone("10.3.3.3")).outcome, Outcome::Wait);
    }

    void theManagerNeedsSixDigitsOnThePhone() {
        QTemporaryDir old;
        // A manager PIN of four digits, set by an earlier program.
        char hash[crypto_pwhash_STRBYTES];
        QCOMPARE(crypto_pwhash_str(hash, "1357", 4, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                   crypto_pwhash_MEMLIMIT_INTERACTIVE),
                 0);
        QFile file(old.filePath("yetkiler.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("{\"yonetici\": \"") + hash + "\"}");
        file.close();
        Gate gate(old.path());
        const GateAnswer refused = gate.login("1357", phone("10.4.4.4"));
        QCOMPARE(refused.outcome, Outcome::ShortPin);
        QVERIFY(refused.message.contains("en az 6 rakam"));
        QVERIFY(refused.token.isEmpty() && refused.device.isEmpty());
        QCOMPARE(gate.login("1357", window).role, Role::Manager);
    }
};

QTEST_GUILESS_MAIN(TestGate)
#include "tst_gate.moc"
