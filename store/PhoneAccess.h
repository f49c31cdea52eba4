#pragma once

#include <QByteArray>
#include <QString>

// The phone page's settings and its TLS identity, both in the data folder.
//
// The settings (telefon.json) say whether the page is on, its port and whether the classroom
// screen is shown. The identity is an EC P-256 key and a self-signed certificate made with
// OpenSSL's libcrypto the first time the page is turned on: telefon-anahtar.pem is readable by
// its owner and the data folder's group (whoever rings the folder serves the page, with the same
// key); telefon-sertifika.pem holds nothing secret (every phone that connects receives
// it) and is readable by all, so a window of another user can show its fingerprint.
struct PhoneSettings {
    static constexpr int DefaultPort = 8443;
    bool on = false;
    int port = DefaultPort;
    bool classroom = false;
    // The one address to listen on; empty: every address of the computer. Set by hand in
    // telefon.json ("dinle") for a computer that must serve one network only.
    QString address;

    bool operator==(const PhoneSettings &) const = default;
};

struct PhoneIdentity {
    QByteArray keyPem;
    QByteArray certificatePem;
    // SHA-256 of the certificate's DER form, as "AB:CD:…", the way phones show it.
    QString fingerprint;
};

namespace PhoneAccess {

// Ports below 1024 need root, and a phone user types the port by hand.
constexpr int LowestPort = 1024;
constexpr int HighestPort = 65535;

QString settingsFile(const QString &folder);
QString keyFile(const QString &folder);
QString certificateFile(const QString &folder);

// The settings kept in `folder`; the defaults (off) when there are none or they cannot be read,
// so that damage never opens the page.
PhoneSettings readSettings(const QString &folder);
// Why `port` cannot be used, in the user's words; empty when it can.
QString portProblem(int port);
// Why `address` cannot be listened on, in the user's words; empty when it can (or is empty).
QString addressProblem(const QString &address);
// Writes the settings; throws ZilError in the user's words when the port is not usable or the
// file cannot be written; nothing is written then.
void writeSettings(const QString &folder, const PhoneSettings &settings);

// The key and certificate of `folder`, made and written when either is missing. Throws ZilError
// in the user's words when they cannot be read, made or written.
PhoneIdentity ensureIdentity(const QString &folder);
// The identity already there, without making one; empty when there is none.
PhoneIdentity readIdentity(const QString &folder);
// The SHA-256 fingerprint of a PEM certificate; empty when it is not one.
QString fingerprintOf(const QByteArray &certificatePem);

} // namespace PhoneAccess
