#include "PhoneAccess.h"

#include "ZilError.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <ifaddrs.h>
#include <memory>
#include <netinet/in.h>
#include <unistd.h>

namespace {
// More than a few settings or one key and certificate: not ours.
constexpr qint64 LargestFile = 64 * 1024;
// Phones warn about a self-signed certificate whatever its life; ten years spares the school a
// new fingerprint to compare every year.
constexpr int CertificateDays = 3650;

const QString keyOn = QStringLiteral("acik");
const QString keyPort = QStringLiteral("port");
const QString keyClassroom = QStringLiteral("sinifEkrani");
const QString keyAddress = QStringLiteral("dinle");

template <typename T, void (*Free)(T *)> struct Freer {
    void operator()(T *p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Number = std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>>;

ZilError madeNot(const char *step) {
    return ZilError(QStringLiteral("Telefon sayfası için güvenlik sertifikası oluşturulamadı (%1).")
                        .arg(QLatin1String(step)));
}

QByteArray bioBytes(BIO *bio) {
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, size);
}

QByteArray readSmall(const QString &path) {
    QFile file(path);
    if (QFileInfo(path).isSymLink() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.read(LargestFile);
}

// Whoever rings the folder serves the page: the service's user or a staff member's window, all
// of the data folder's group. One key for them all keeps the fingerprint phones accepted; the
// folder itself is closed to everyone outside the group.
constexpr QFileDevice::Permissions keyPermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;

// Written beside it and renamed over it, so that a half-written file never counts; the
// temporary file is made readable by its owner only, before a byte of the key is in it.
void writeFile(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions) {
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
    const auto failed = [&] { return ZilError(QStringLiteral("Dosya yazılamadı: %1").arg(path)); };
    if (!temporary.open() || temporary.write(bytes) != bytes.size() || !temporary.flush() ||
        ::fsync(temporary.handle()) != 0 || !temporary.setPermissions(permissions))
        throw failed();
    temporary.close();
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        throw failed();
    temporary.setAutoRemove(false);
}

Certificate certificateOf(const QByteArray &pem) {
    Bio bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (!bio)
        return nullptr;
    return Certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

bool addName(X509_NAME *name, const char *field, const QString &value) {
    const QByteArray utf8 = value.toUtf8();
    return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char *>(utf8.constData()),
                                      int(utf8.size()), -1, 0) == 1;
}

// What a phone may type to reach this computer: its host name (also as host.local, as
// multicast DNS gives it), localhost and every address of its interfaces but link-local ones.
QByteArray alternativeNames() {
    QByteArrayList names{"DNS:localhost"};
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) {
        const QByteArray name(host);
        const bool plain = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
        });
        if (plain && name != "localhost") {
            names << "DNS:" + name;
            if (!name.contains('.'))
                names << "DNS:" + name + ".local";
        }
    }
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (const ifaddrs *it = list; it; it = it->ifa_next) {
            if (!it->ifa_addr)
                continue;
            char text[INET6_ADDRSTRLEN] = {};
            if (it->ifa_addr->sa_family == AF_INET) {
                const auto *v4 = reinterpret_cast<const sockaddr_in *>(it->ifa_addr);
                ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            } else if (it->ifa_addr->sa_family == AF_INET6) {
                const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(it->ifa_addr);
                if (IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr))
                    continue;
                ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            }
            const QByteArray entry = "IP:" + QByteArray(text);
            if (text[0] && !names.contains(entry))
                names << entry;
        }
        ::freeifaddrs(list);
    }
    return names.join(',');
}

bool addExtension(X509 *certificate, int nid, const QByteArray &value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    const bool added = extension && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

PhoneIdentity makeIdentity() {
    Key key(EVP_EC_gen("P-256"));
    if (!key)
        throw madeNot("anahtar");
    Certificate certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), 2) != 1)
        throw madeNot("sertifika");
    // A random serial, so that a phone that saw an earlier certificate of this name does not
    // take the new one for it.
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        throw madeNot("rastgele sayı");
    serial[0] &= 0x7f;
    Number number(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!number || !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())))
        throw madeNot("seri numarası");
    // A day back, for a phone whose clock is a little behind.
    if (!X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24L * 3600) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), CertificateDays, 0, nullptr))
        throw madeNot("geçerlilik");
    X509_NAME *name = X509_get_subject_name(certificate.get());
    if (!addName(name, "CN", QStringLiteral("Selvanor Zil Sistemi")) ||
        !addName(name, "O", QStringLiteral("Selvanor Zil Sistemi")) ||
        X509_set_issuer_name(certificate.get(), name) != 1 ||
        X509_set_pubkey(certificate.get(), key.get()) != 1)
        throw madeNot("ad");
    // Browsers match the address typed against the alternative names only, never the CN.
    if (!addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !addExtension(certificate.get(), NID_subject_alt_name, alternativeNames()) ||
        X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0)
        throw madeNot("imza");

    Bio keyBio(BIO_new(BIO_s_mem()));
    Bio certificateBio(BIO_new(BIO_s_mem()));
    if (!keyBio || !certificateBio ||
        PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        PEM_write_bio_X509(certificateBio.get(), certificate.get()) != 1)
        throw madeNot("PEM");
    PhoneIdentity identity;
    identity.keyPem = bioBytes(keyBio.get());
    identity.certificatePem = bioBytes(certificateBio.get());
    identity.fingerprint = PhoneAccess::fingerprintOf(identity.certificatePem);
    return identity;
}

// Whether the key is the one the certificate was made for.
bool belongTogether(const PhoneIdentity &identity) {
    Bio bio(BIO_new_mem_buf(identity.keyPem.constData(), int(identity.keyPem.size())));
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    const Certificate certificate = certificateOf(identity.certificatePem);
    return key && certificate && X509_check_private_key(certificate.get(), key.get()) == 1;
}
} // namespace

namespace PhoneAccess {

QString settingsFile(const QString &folder) {
    return folder + QStringLiteral("telefon.json");
}
QString keyFile(const QString &folder) {
    return folder + QStringLiteral("telefon-anahtar.pem");
}
QString certificateFile(const QString &folder) {
    return folder + QStringLiteral("telefon-sertifika.pem");
}

PhoneSettings readSettings(const QString &folder) {
    PhoneSettings settings;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(readSmall(settingsFile(folder)), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return settings;
    const QJsonObject object = document.object();
    const int port = object.value(keyPort).toInt(PhoneSettings::DefaultPort);
    if (!portProblem(port).isEmpty())
        return settings;
    const QString address = object.value(keyAddress).toString();
    if (!addressProblem(address).isEmpty())
        return settings;
    settings.address = address;
    settings.port = port;
    settings.on = object.value(keyOn).toBool(false);
    settings.classroom = object.value(keyClassroom).toBool(false);
    return settings;
}

QString portProblem(int port) {
    if (port < LowestPort || port > HighestPort)
        return QStringLiteral("Bağlantı noktası %1 ile %2 arasında bir sayı olmalı.")
            .arg(LowestPort)
            .arg(HighestPort);
    return {};
}

QString addressProblem(const QString &address) {
    // Checked as the system reads it, so that the store needs no network library.
    const QByteArray text = address.toLatin1();
    unsigned char binary[16];
    if (!address.isEmpty() && inet_pton(AF_INET, text.constData(), binary) != 1 &&
        inet_pton(AF_INET6, text.constData(), binary) != 1)
        return QStringLiteral("\"%1\" bir IP adresi değil.").arg(address);
    return {};
}

void writeSettings(const QString &folder, const PhoneSettings &settings) {
    if (const QString problem = portProblem(settings.port); !problem.isEmpty())
        throw ZilError(problem);
    if (const QString problem = addressProblem(settings.address); !problem.isEmpty())
        throw ZilError(problem);
    QJsonObject object;
    object.insert(keyOn, settings.on);
    object.insert(keyPort, settings.port);
    object.insert(keyClassroom, settings.classroom);
    if (!settings.address.isEmpty())
        object.insert(keyAddress, settings.address);
    writeFile(settingsFile(folder), QJsonDocument(object).toJson(),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                  QFileDevice::WriteGroup | QFileDevice::ReadOther);
}

PhoneIdentity readIdentity(const QString &folder) {
    PhoneIdentity identity;
    identity.keyPem = readSmall(keyFile(folder));
    identity.certificatePem = readSmall(certificateFile(folder));
    identity.fingerprint = fingerprintOf(identity.certificatePem);
    if (identity.keyPem.isEmpty() || identity.fingerprint.isEmpty())
        return {};
    return identity;
}

PhoneIdentity ensureIdentity(const QString &folder) {
    PhoneIdentity identity = readIdentity(folder);
    const QFileInfo key(keyFile(folder));
    if (identity.keyPem.isEmpty() && (key.isSymLink() || key.exists()))
        // Another user's key, a key turned into a link: a new one written over it would change
        // the fingerprint every phone has accepted, and leave the other user without a key.
        throw ZilError(QStringLiteral("Telefon sayfasının anahtarı (telefon-anahtar.pem) "
                                      "okunamıyor. Dosya, veri klasörünün grubundan okunabilir "
                                      "olmalı: bilgisayarın yöneticisi \"chmod 640\" ile "
                                      "düzeltebilir."));
    if (!identity.keyPem.isEmpty()) {
        if (!belongTogether(identity))
            throw ZilError(QStringLiteral("Telefon sayfasının anahtarı ile sertifikası "
                                          "birbirini tutmuyor. Veri klasöründeki "
                                          "telefon-anahtar.pem ve telefon-sertifika.pem "
                                          "silinirse yenileri oluşturulur."));
        // A key made before it was shared with the group: its owner opens it to the others
        // that may serve the folder.
        if (key.isFile() && !(key.permissions() & QFileDevice::ReadGroup) &&
            key.ownerId() == ::geteuid())
            QFile::setPermissions(key.filePath(), keyPermissions);
        return identity;
    }
    identity = makeIdentity();
    // The key first: a certificate without its key would be taken for a whole identity.
    writeFile(keyFile(folder), identity.keyPem, keyPermissions);
    writeFile(certificateFile(folder), identity.certificatePem,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                  QFileDevice::ReadOther);
    return identity;
}

QString fingerprintOf(const QByteArray &certificatePem) {
    const Certificate certificate = certificateOf(certificatePem);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!certificate || X509_digest(certificate.get(), EVP_sha256(), digest, &size) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(digest), int(size)).toHex(':').toUpper());
}

} // namespace PhoneAccess
