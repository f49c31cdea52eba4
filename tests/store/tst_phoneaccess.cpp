// The phone page's settings and TLS identity: a key readable by its owner only, a certificate
// and key Qt's TLS reads, a fingerprint equal to Qt's own SHA-256 of it, an identity made
// once and kept; settings that round-trip, a bad port refused with nothing written, a damaged
// file read as "off".
#include "PhoneAccess.h"
#include "ZilError.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestPhoneAccess : public QObject {
    Q_OBJECT
private slots:
    void identityIsMadeOnceWithAPrivateKey() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path() + '/';
        QVERIFY(PhoneAccess::readIdentity(folder).keyPem.isEmpty());

        const PhoneIdentity made = PhoneAccess::ensureIdentity(folder);
        struct stat key {};
        QCOMPARE(::stat(QFile::encodeName(PhoneAccess::keyFile(folder)).constData(), &key), 0);
        QCOMPARE(key.st_mode & 0777, mode_t(0640));

        const QSslCertificate certificate(made.certificatePem, QSsl::Pem);
        QVERIFY(!certificate.isNull());
        QVERIFY(certificate.isSelfSigned());
        QVERIFY(certificate.expiryDate() > QDateTime::currentDateTimeUtc().addYears(5));
        QCOMPARE(made.fingerprint,
                 QString::fromLatin1(
                     certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper()));
        const QSslKey privateKey(made.keyPem, QSsl::Ec, QSsl::Pem);
        QVERIFY(!privateKey.isNull());
        QCOMPARE(certificate.publicKey().algorithm(), QSsl::Ec);

        // Kept: the fingerprint staff compared stays the same across starts, and a key made
        // for its owner alone is opened to the folder's group by that owner.
        QVERIFY(QFile::setPermissions(PhoneAccess::keyFile(folder),
                                      QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(PhoneAccess::ensureIdentity(folder).fingerprint, made.fingerprint);
        QVERIFY(QFileInfo(PhoneAccess::keyFile(folder)).permissions() & QFile::ReadGroup);
        QCOMPARE(PhoneAccess::readIdentity(folder).fingerprint, made.fingerprint);

        // A second folder gets a key of its own.
        QTemporaryDir other;
        QVERIFY(PhoneAccess::ensureIdentity(other.path() + '/').fingerprint != made.fingerprint);
    }

    void mismatchedKeyIsRefusedNotReplaced() {
        QTemporaryDir one, two;
        const QString a = one.path() + '/', b = two.path() + '/';
        PhoneAccess::ensureIdentity(a);
        PhoneAccess::ensureIdentity(b);
        QVERIFY(QFile::remove(PhoneAccess::keyFile(a)));
        QVERIFY(QFile::copy(PhoneAccess::keyFile(b), PhoneAccess::keyFile(a)));
        const QByteArray certificate = PhoneAccess::readIdentity(a).certificatePem;
        try {
            PhoneAccess::ensureIdentity(a);
            QFAIL("a key of another certificate was used");
        } catch (const ZilError &error) {
            QVERIFY(error.message().contains("birbirini tutmuyor"));
        }
        QCOMPARE(PhoneAccess::readIdentity(a).certificatePem, certificate);

        // A key this user cannot read (here a link put in its place) is not written over.
        QVERIFY(QFile::remove(PhoneAccess::keyFile(a)));
        QVERIFY(QFile::link(PhoneAccess::keyFile(b), PhoneAccess::keyFile(a)));
        QVERIFY_THROWS_EXCEPTION(ZilError, PhoneAccess::ensureIdentity(a));
        QVERIFY(QFileInfo(PhoneAccess::keyFile(a)).isSymLink());
        QFile kept(PhoneAccess::certificateFile(a));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), certificate);
    }

    void settingsRoundTripAndBadOnesAreRefused() {
        QTemporaryDir dir;
        const QString folder = dir.path() + '/';
        QCOMPARE(PhoneAccess::readSettings(folder), PhoneSettings{});
        QVERIFY(!PhoneSettings{}.on);

        PhoneSettings wanted{true, 9443, true};
        PhoneAccess::writeSettings(folder, wanted);
        QCOMPARE(PhoneAccess::readSettings(folder), wanted);
        wanted.address = QStringLiteral("192.168.1.20");
        PhoneAccess::writeSettings(folder, wanted);
        QCOMPARE(PhoneAccess::readSettings(folder), wanted);
        try {
            PhoneAccess::writeSettings(folder, {true, 9443, true, QStringLiteral("okul.local")});
            QFAIL("a name was taken for an address");
        } catch (const ZilError &error) {
            QVERIFY(error.message().contains("bir IP adresi değil"));
        }
        QCOMPARE(PhoneAccess::readSettings(folder), wanted);

        for (const int port : {0, 80, 1023, 65536, -5}) {
            try {
                PhoneAccess::writeSettings(folder, {false, port, false});
                QFAIL("a bad port was written");
            } catch (const ZilError &error) {
                QVERIFY(error.message().contains("1024 ile 65535"));
            }
            QCOMPARE(PhoneAccess::readSettings(folder), wanted);
        }
    }

    void damagedSettingsMeanOff() {
        QTemporaryDir dir;
        const QString folder = dir.path() + '/';
        for (const QByteArray &text :
             {QByteArray("{\"acik\": true, \"port\": 80}"), QByteArray("{\"acik\": tr"),
              QByteArray("{\"acik\": true, \"dinle\": \"hepsi\"}"), QByteArray("[true]"),
              QByteArray(100000, 'x')}) {
            QFile file(PhoneAccess::settingsFile(folder));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(text);
            file.close();
            QVERIFY(!PhoneAccess::readSettings(folder).on);
        }
    }
};

QTEST_GUILESS_MAIN(TestPhoneAccess)
#include "tst_phoneaccess.moc"
