#include "Roles.h"

#include "BellStore.h"
#include "ProgramValues.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

#include <sodium.h>

#include <cstdio>
#include <unistd.h>

namespace {
// Argon2id at libsodium's "interactive" strength: about a tenth of a second and 64 MiB on the
// school's kind of computer (bench/pin_check measures it), so a PIN dialog answers at once, yet
// trying all of 10^8 PINs against a copied file costs years of one core.
constexpr unsigned long long OpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t MemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;
// Far more than two hashes and a date: a file this big is not ours.
constexpr qint64 LargestFile = 16 * 1024;

const QString keyManager = QStringLiteral("yonetici");
const QString keyDuty = QStringLiteral("nobetci");

void initSodium() {
    // Once for the program; thread-safe as a static's first use is.
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw ZilError(QStringLiteral("PIN denetimi başlatılamadı (libsodium)."));
}

// Only hashes made with our own strength are checked: a file changed by other means cannot make
// a check take minutes or gigabytes.
bool usableHash(const QByteArray &hash) {
    return !hash.isEmpty() && hash.size() < qsizetype(crypto_pwhash_STRBYTES) &&
           crypto_pwhash_str_needs_rehash(hash.constData(), OpsLimit, MemLimit) == 0;
}

bool pinMatches(const QByteArray &hash, const QString &pin) {
    if (!usableHash(hash))
        return false;
    QByteArray bytes = pin.toUtf8();
    const bool same = crypto_pwhash_str_verify(hash.constData(), bytes.constData(),
                                               static_cast<unsigned long long>(bytes.size())) == 0;
    sodium_memzero(bytes.data(), static_cast<size_t>(bytes.size()));
    return same;
}

} // namespace

QString roleName(Role role) {
    switch (role) {
    case Role::Manager:
        return QStringLiteral("Yönetici");
    case Role::Duty:
        return QStringLiteral("Nöbetçi");
    case Role::Viewer:
        break;
    }
    return QStringLiteral("Görüntüleme");
}

QString rolesFile() {
    return dataFolder() + QStringLiteral("yetkiler.json");
}

Roles::Roles(QString file)
    : m_file(std::move(file)) {}

bool Roles::permits(Role role, Action action) {
    switch (action) {
    case Action::View:
        return true;
    case Action::StopSound:
    case Action::SilenceToday:
    case Action::RingNow:
    case Action::Alarm:
    case Action::AnnounceNow:
        return role == Role::Duty || role == Role::Manager;
    case Action::PlayMusic:
    case Action::ChangeSchedule:
    case Action::ChangeSettings:
    case Action::EndProgram:
        return role == Role::Manager;
    }
    return false;
}

Roles::State Roles::read() const {
    State state;
    const QFileInfo info(m_file);
    // A link in place of the file could point anywhere: it is not ours.
    if (info.isSymLink()) {
        state.present = state.damaged = true;
        return state;
    }
    if (!info.exists())
        return state;
    state.present = true;
    QFile file(m_file);
    if (!info.isFile() || info.size() > LargestFile || !file.open(QIODevice::ReadOnly)) {
        state.damaged = true;
        return state;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.read(LargestFile), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        state.damaged = true;
        return state;
    }
    const QJsonObject object = document.object();
    state.manager = object.value(keyManager).toString().toLatin1();
    state.duty = object.value(keyDuty).toString().toLatin1();
    // A hash we did not make, or none for a manager while the duty one is there, cannot be
    // trusted with anything.
    if ((!state.manager.isEmpty() && !usableHash(state.manager)) ||
        (!state.duty.isEmpty() && !usableHash(state.duty)) ||
        (state.manager.isEmpty() && !state.duty.isEmpty()))
        state.damaged = true;
    return state;
}

void Roles::write(const State &state) {
    QJsonObject object;
    if (!state.manager.isEmpty())
        object.insert(keyManager, QString::fromLatin1(state.manager));
    if (!state.duty.isEmpty())
        object.insert(keyDuty, QString::fromLatin1(state.duty));
    const QByteArray text = QJsonDocument(object).toJson();

    // Written beside it and renamed over it: a half-written file never counts, and a link put
    // in its place is replaced, never followed.
    QTemporaryFile temporary(m_file + QStringLiteral(".XXXXXX"));
    const auto failed = [this] {
        return ZilError(QStringLiteral("Yetki dosyası yazılamadı: %1").arg(m_file));
    };
    if (!temporary.open() || temporary.write(text) != text.size() || !temporary.flush() ||
        ::fsync(temporary.handle()) != 0)
        throw failed();
    // The staff group keeps the schedule together; nobody else reads the hashes.
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::WriteGroup);
    temporary.close();
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(m_file).constData()) != 0)
        throw failed();
    temporary.setAutoRemove(false);
}

bool Roles::enabled() const {
    const State state = read();
    return state.damaged || !state.manager.isEmpty();
}

bool Roles::hasPin(Role role) const {
    const State state = read();
    if (role == Role::Manager)
        return state.damaged || !state.manager.isEmpty();
    if (role == Role::Duty)
        return !state.duty.isEmpty();
    return false;
}

Roles::Hashes Roles::hashes() const {
    const State state = read();
    if (state.damaged)
        return {};
    return {state.manager, state.duty};
}

Role Roles::match(const Hashes &hashes, const QString &pin) {
    initSodium();
    if (!pinProblem(pin).isEmpty())
        return Role::Viewer;
    if (pinMatches(hashes.manager, pin))
        return Role::Manager;
    if (pinMatches(hashes.duty, pin))
        return Role::Duty;
    return Role::Viewer;
}

QString Roles::damagedMessage() {
    return QStringLiteral("Yetki dosyası okunamıyor; PIN ile giriş yapılamaz. Yönetici PIN'ini "
                          "sıfırlamak için veri klasöründeki yetkiler.json dosyası silinmeli.");
}

QString Roles::pinProblem(const QString &pin, Role role) {
    if (pin.isEmpty())
        return QStringLiteral("PIN boş olamaz.");
    for (const QChar c : pin)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QStringLiteral("PIN yalnız rakamlardan oluşmalı.");
    if (pin.size() < ShortestPin || pin.size() > LongestPin)
        return QStringLiteral("PIN %1 ile %2 rakam arasında olmalı.")
            .arg(ShortestPin)
            .arg(LongestPin);
    if (role == Role::Manager && pin.size() < ShortestManagerPin)
        return QStringLiteral("Yönetici PIN'i en az %1 rakam olmalı.").arg(ShortestManagerPin);
    return {};
}

void Roles::setPin(Role role, const QString &pin) {
    if (const QString problem = pinProblem(pin, role); !problem.isEmpty())
        throw ERefused(problem);
    initSodium();
    State state = read();
    if (state.damaged)
        throw ERefused(Roles::damagedMessage());
    if (role == Role::Viewer)
        throw ERefused(QStringLiteral("Görüntüleme için PIN gerekmez."));
    if (role == Role::Duty && state.manager.isEmpty())
        throw ERefused(QStringLiteral("Önce Yönetici PIN'i belirlenmeli."));
    // One PIN for both would leave the duty teacher with the manager's rights.
    const QByteArray &other = role == Role::Manager ? state.duty : state.manager;
    if (pinMatches(other, pin))
        throw ERefused(QStringLiteral("Yönetici ve Nöbetçi PIN'leri aynı olamaz."));
    QByteArray bytes = pin.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    const int made = crypto_pwhash_str(
        hash, bytes.constData(), static_cast<unsigned long long>(bytes.size()), OpsLimit, MemLimit);
    sodium_memzero(bytes.data(), static_cast<size_t>(bytes.size()));
    if (made != 0)
        throw ZilError(QStringLiteral("PIN saklanamadı: bellek yetmedi."));
    (role == Role::Manager ? state.manager : state.duty) = QByteArray(hash);
    write(state);
}

void Roles::clearPin(Role role) {
    State state = read();
    if (state.damaged)
        throw ERefused(Roles::damagedMessage());
    if (role == Role::Manager) {
        state = State{};
    } else if (role == Role::Duty) {
        state.duty.clear();
    }
    write(state);
}
