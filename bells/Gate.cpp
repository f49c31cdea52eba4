#include "Gate.h"

#include "Clock.h"
#include "ProgramValues.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Far more than MaxGroups and MaxDevices entries: a bigger file is not ours.
constexpr qint64 LargestFile = 128 * 1024;
constexpr qint64 ForgetSeconds = qint64(Gate::ForgetMinutes) * 60;
constexpr qint64 DeviceSeconds = qint64(Gate::DeviceDays) * 24 * 3600;

struct Budget {
    int wrong = 0;
    qint64 last = 0; // seconds since the epoch, UTC, of the last wrong PIN counted
    bool operator==(const Budget &) const = default;
};

struct Device {
    Budget budget;
    qint64 seen = 0; // the last right PIN on it
    bool operator==(const Device &) const = default;
};

struct State {
    Budget common;
    Budget window;
    QMap<QString, Budget> groups;
    QMap<QByteArray, Device> devices; // by the SHA-256 of the cookie, in hex
    bool operator==(const State &) const = default;
};

qint64 nowSeconds() {
    return programClock().now().toSecsSinceEpoch();
}

int delayAfter(int wrong, int free) {
    if (wrong <= free)
        return 0;
    const int doublings = qMin(wrong - free - 1, 10);
    return qMin(Gate::MaxWaitSeconds, Gate::FirstWaitSeconds << doublings);
}

int secondsLeft(const Budget &budget, int free, qint64 now) {
    const qint64 left = budget.last + delayAfter(budget.wrong, free) - now;
    return left > 0 ? int(left) : 0;
}

void countWrong(Budget &budget, qint64 now) {
    ++budget.wrong;
    budget.last = now;
}

// A clock set back must not make a wait last longer than its delay from now.
void settleTime(Budget &budget, qint64 now) {
    if (budget.last > now)
        budget.last = now;
}

bool forgotten(Budget &budget, qint64 now) {
    settleTime(budget, now);
    if (budget.wrong > 0 && now - budget.last >= ForgetSeconds)
        budget = {};
    return budget.wrong == 0;
}

QJsonArray toJson(const Budget &budget) {
    return {budget.wrong, budget.last};
}

std::optional<Budget> budgetOf(const QJsonValue &value) {
    const QJsonArray pair = value.toArray();
    if (pair.size() < 2 || !pair.at(0).isDouble() || !pair.at(1).isDouble())
        return std::nullopt;
    const Budget budget{qBound(0, pair.at(0).toInt(), 1000), qint64(pair.at(1).toDouble())};
    return budget;
}

// The file as it is; nullopt when it cannot be read as ours.
std::optional<State> readState(const QString &path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return std::nullopt;
    if (!info.exists())
        return State{};
    QFile file(path);
    if (!info.isFile() || info.size() > LargestFile || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(file.read(LargestFile), &error).object();
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    State state;
    const auto common = budgetOf(object.value(QStringLiteral("ortak")));
    const auto window = budgetOf(object.value(QStringLiteral("pencere")));
    if (!common || !window)
        return std::nullopt;
    state.common = *common;
    state.window = *window;
    const QJsonObject groups = object.value(QStringLiteral("gruplar")).toObject();
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        const auto budget = budgetOf(it.value());
        if (!budget)
            return std::nullopt;
        state.groups.insert(it.key(), *budget);
    }
    const QJsonObject devices = object.value(QStringLiteral("cihazlar")).toObject();
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        const auto budget = budgetOf(it.value());
        const QJsonValue seen = it.value().toArray().at(2);
        if (!budget || !seen.isDouble())
            return std::nullopt;
        state.devices.insert(it.key().toLatin1(), {*budget, qint64(seen.toDouble())});
    }
    return state;
}

bool writeState(const QString &path, const State &state) {
    QJsonObject groups;
    for (auto it = state.groups.begin(); it != state.groups.end(); ++it)
        groups.insert(it.key(), toJson(it.value()));
    QJsonObject devices;
    for (auto it = state.devices.begin(); it != state.devices.end(); ++it)
        devices.insert(QString::fromLatin1(it.key()),
                       QJsonArray{it->budget.wrong, it->budget.last, it->seen});
    const QByteArray text =
        QJsonDocument(QJsonObject{{QStringLiteral("ortak"), toJson(state.common)},
                                  {QStringLiteral("pencere"), toJson(state.window)},
                                  {QStringLiteral("gruplar"), groups},
                                  {QStringLiteral("cihazlar"), devices}})
            .toJson(QJsonDocument::Compact);
    // Written beside it and renamed over it: a half-written file never counts.
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
    if (!temporary.open() || temporary.write(text) != text.size() || !temporary.flush() ||
        ::fsync(temporary.handle()) != 0 ||
        !temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ReadGroup | QFileDevice::WriteGroup))
        return false;
    temporary.close();
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

// Forgets what is old, and keeps the tables bounded: the longest quiet make room. The common
// budget and the window's are never dropped.
void tidy(State &state, qint64 now) {
    forgotten(state.common, now);
    forgotten(state.window, now);
    for (auto it = state.groups.begin(); it != state.groups.end();)
        it = forgotten(*it, now) ? state.groups.erase(it) : std::next(it);
    while (state.groups.size() > Gate::MaxGroups) {
        auto quietest = state.groups.begin();
        for (auto it = state.groups.begin(); it != state.groups.end(); ++it)
            if (it->last < quietest->last)
                quietest = it;
        state.groups.erase(quietest);
    }
    for (auto it = state.devices.begin(); it != state.devices.end();) {
        forgotten(it->budget, now);
        if (it->seen > now)
            it->seen = now;
        it = now - it->seen >= DeviceSeconds ? state.devices.erase(it) : std::next(it);
    }
    while (state.devices.size() > Gate::MaxDevices) {
        auto oldest = state.devices.begin();
        for (auto it = state.devices.begin(); it != state.devices.end(); ++it)
            if (it->seen < oldest->seen)
                oldest = it;
        state.devices.erase(oldest);
    }
}

// A file that cannot be read is taken for one an attack has filled: everything waits the
// longest, from now.
State strictState(qint64 now) {
    State state;
    state.common = {Gate::CommonFreeWrongTries + 5, now};
    state.window = {Gate::FreeWrongTries + 5, now};
    return state;
}

// The state file's lock, shared by every process of the folder; released when it goes.
class FileLock {
public:
    explicit FileLock(const QString &path) {
        m_fd = ::open(QFile::encodeName(path).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0660);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

QByteArray randomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), bytes / 4);
    return raw.toHex();
}

// A cookie we made is 64 hex digits; anything else names no device.
QByteArray deviceKey(const QByteArray &cookie) {
    if (cookie.size() != 64)
        return {};
    for (const char c : cookie)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
    return QCryptographicHash::hash(cookie, QCryptographicHash::Sha256).toHex();
}

QString groupKey(const GateClient &client) {
    if (client.road == GateClient::Road::Socket)
        return QStringLiteral("yerel:") + client.peer.left(64);
    const QHostAddress address(client.peer);
    return address.isNull() ? client.peer.left(64) : Gate::addressGroup(address);
}

GateAnswer refused(GateAnswer::Outcome outcome, QString message, int waitSeconds = 0) {
    GateAnswer answer;
    answer.outcome = outcome;
    answer.message = std::move(message);
    answer.waitSeconds = waitSeconds;
    return answer;
}

QString waitMessage(int seconds, bool common) {
    QString text = QStringLiteral("Çok sayıda yanlış PIN girildi. Lütfen %1 saniye sonra yeniden "
                                  "deneyin.")
                       .arg(seconds);
    if (common)
        text += QStringLiteral(" Bu telefonla ya da okuldaki bilgisayarda daha önce giriş "
                               "yapıldıysa oradan beklemeden girilebilir.");
    return text;
}

// How long `client` waits before its next try is heard; `common` tells that the common budget
// is what it waits for.
int waitFor(const State &state, const GateClient &client, const QString &group,
            const QByteArray &device, qint64 now, bool &common) {
    common = false;
    if (client.road == GateClient::Road::Window)
        return secondsLeft(state.window, Gate::FreeWrongTries, now);
    // A known device waits for nobody: its own budget drops it instead.
    if (!device.isEmpty() && state.devices.contains(device))
        return 0;
    const int own = secondsLeft(state.groups.value(group), Gate::FreeWrongTries, now);
    const int shared = secondsLeft(state.common, Gate::CommonFreeWrongTries, now);
    common = shared > own;
    return qMax(own, shared);
}

const QString brokenState = QStringLiteral("Giriş denemesi kaydedilemedi; PIN ile giriş şimdi "
                                           "yapılamıyor.");
} // namespace

struct Gate::Reserved {
    QString group;
    QByteArray device; // the known device's key; empty when none
};

Gate::Gate(QString folder)
    : m_folder(QDir(folder).absolutePath() + QLatin1Char('/')) {}

QString Gate::stateFile() const {
    return m_folder + QStringLiteral("giris.json");
}

bool Gate::rolesOn() const {
    return Roles(m_folder + QStringLiteral("yetkiler.json")).enabled();
}

QString Gate::addressGroup(const QHostAddress &address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(v4).toString();
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

GateAnswer Gate::login(const QString &pin, const GateClient &client) {
    const Roles roles(m_folder + QStringLiteral("yetkiler.json"));
    if (!roles.enabled())
        return refused(GateAnswer::Outcome::NoManagerPin,
                       QStringLiteral("Henüz Yönetici PIN'i belirlenmemiş; yetkiler kapalı."));
    const Roles::Hashes hashes = roles.hashes();
    if (hashes.manager.isEmpty())
        return refused(GateAnswer::Outcome::Broken, Roles::damagedMessage());
    // A PIN that cannot be one tells nothing about the right one: refused without counting.
    if (const QString problem = Roles::pinProblem(pin); !problem.isEmpty())
        return refused(GateAnswer::Outcome::Wrong, problem);
    Reserved reserved;
    if (GateAnswer answer = reserve(client, reserved);
        answer.outcome != GateAnswer::Outcome::Granted)
        return answer;
    Role matched = Role::Viewer;
    try {
        matched = Roles::match(hashes, pin);
    } catch (const ZilError &error) {
        // The try stays counted: no answer is a wrong one.
        return refused(GateAnswer::Outcome::Broken, error.message());
    }
    // A phone is carried about and its PIN seen over a shoulder: the manager's must be long.
    const bool tooShort = client.road == GateClient::Road::Phone && matched == Role::Manager &&
                          pin.size() < ShortestPhoneManagerPin;
    GateAnswer answer = settle(client, reserved, matched, !tooShort);
    if (answer.outcome == GateAnswer::Outcome::Granted && tooShort) {
        return refused(GateAnswer::Outcome::ShortPin,
                       QStringLiteral("Yönetici telefondan ancak en az %1 rakamlı bir PIN ile "
                                      "girebilir. Lütfen programda \"Yetkiler ve PIN\" "
                                      "penceresinden daha uzun bir Yönetici PIN'i belirleyin.")
                           .arg(ShortestPhoneManagerPin));
    }
    if (answer.outcome == GateAnswer::Outcome::Granted) {
        answer.role = matched;
        answer.token = openSession(matched);
    }
    return answer;
}

GateAnswer Gate::reserve(const GateClient &client, Reserved &reserved) {
    const QMutexLocker guard(&m_fileMutex);
    const FileLock lock(m_folder + QStringLiteral("giris.kilit"));
    if (!lock.held())
        return refused(GateAnswer::Outcome::Broken, brokenState);
    const qint64 now = nowSeconds();
    std::optional<State> read = readState(stateFile());
    if (!read) {
        const State strict = strictState(now);
        if (!writeState(stateFile(), strict))
            return refused(GateAnswer::Outcome::Broken, brokenState);
        const int wait = secondsLeft(strict.common, CommonFreeWrongTries, now);
        return refused(GateAnswer::Outcome::Wait,
                       QStringLiteral("Giriş kayıtları okunamadı. ") + waitMessage(wait, false),
                       wait);
    }
    State &state = *read;
    const State before = state;
    tidy(state, now);
    using Road = GateClient::Road;
    if (client.road != Road::Window)
        reserved.group = groupKey(client);
    if (client.road == Road::Phone) {
        const QByteArray key = deviceKey(client.device);
        if (!key.isEmpty() && state.devices.contains(key))
            reserved.device = key;
    }
    bool common = false;
    if (const int wait = waitFor(state, client, reserved.group, reserved.device, now, common);
        wait > 0) {
        // Kept when tidied: a clock set back is then set back once, and what is old goes.
        if (!(state == before) && !writeState(stateFile(), state))
            return refused(GateAnswer::Outcome::Broken, brokenState);
        return refused(GateAnswer::Outcome::Wait, waitMessage(wait, common), wait);
    }

    countWrong(state.common, now);
    if (client.road == Road::Window)
        countWrong(state.window, now);
    else
        countWrong(state.groups[reserved.group], now);
    if (!reserved.device.isEmpty())
        countWrong(state.devices[reserved.device].budget, now);
    tidy(state, now);
    if (!writeState(stateFile(), state))
        return refused(GateAnswer::Outcome::Broken, brokenState);
    GateAnswer counted;
    counted.outcome = GateAnswer::Outcome::Granted;
    return counted;
}

GateAnswer Gate::settle(const GateClient &client, const Reserved &reserved, Role matched,
                        bool admit) {
    const QMutexLocker guard(&m_fileMutex);
    const FileLock lock(m_folder + QStringLiteral("giris.kilit"));
    const qint64 now = nowSeconds();
    std::optional<State> read = lock.held() ? readState(stateFile()) : std::nullopt;
    if (!read)
        return refused(GateAnswer::Outcome::Broken, brokenState);
    State &state = *read;
    using Road = GateClient::Road;
    GateAnswer answer;
    if (matched == Role::Viewer) {
        answer = refused(GateAnswer::Outcome::Wrong, QStringLiteral("PIN yanlış."));
        if (!reserved.device.isEmpty() &&
            state.devices.value(reserved.device).budget.wrong >= DeviceWrongLimit) {
            state.devices.remove(reserved.device);
            answer.deviceForgotten = true;
        }
        bool common = false;
        if (const int wait = waitFor(state, client, reserved.group, reserved.device, now, common);
            wait > 0) {
            answer.waitSeconds = wait;
            answer.message += QLatin1Char(' ') + waitMessage(wait, common);
        }
    } else {
        // A right PIN was no guess: its count is given back, and its own road starts afresh.
        state.common.wrong = qMax(0, state.common.wrong - 1);
        if (client.road == Road::Window)
            state.window = {};
        else
            state.groups.remove(reserved.group);
        if (client.road == Road::Phone && admit) {
            QByteArray key = reserved.device;
            answer.device = key.isEmpty() ? randomHex(32) : client.device;
            if (key.isEmpty())
                key = deviceKey(answer.device);
            state.devices[key] = {Budget{}, now};
        }
        answer.outcome = GateAnswer::Outcome::Granted;
    }
    tidy(state, now);
    if (!writeState(stateFile(), state))
        return refused(GateAnswer::Outcome::Broken, brokenState);
    return answer;
}

QByteArray Gate::openSession(Role role) {
    const QDateTime now = programClock().now().toUTC();
    const QMutexLocker guard(&m_sessionMutex);
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = it->ends <= now ? m_sessions.erase(it) : std::next(it);
    // The oldest make room: a flood of logins cannot grow the table.
    while (m_sessions.size() >= MaxSessions) {
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
            if (it->ends < oldest->ends)
                oldest = it;
        m_sessions.erase(oldest);
    }
    const QByteArray token = randomHex(32);
    m_sessions.insert(token, {role, now.addSecs(SessionMinutes * 60)});
    return token;
}

std::optional<Role> Gate::roleOf(const QByteArray &token) {
    const QDateTime now = programClock().now().toUTC();
    const QMutexLocker guard(&m_sessionMutex);
    const auto found = m_sessions.find(token);
    if (found == m_sessions.end())
        return std::nullopt;
    // Set back, the clock could otherwise keep a session for ever.
    if (found->ends <= now || found->ends > now.addSecs(SessionMinutes * 60)) {
        m_sessions.erase(found);
        return std::nullopt;
    }
    return found->role;
}

void Gate::logout(const QByteArray &token) {
    const QMutexLocker guard(&m_sessionMutex);
    m_sessions.remove(token);
}
