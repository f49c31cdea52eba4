// "Telefondan yönetim…": a bad port is refused in Turkish with nothing written; a good one is
// written with the two ticks; the fingerprint shows once the serving process made a certificate.
#include "BoxAnswerer.h"
#include "PhoneAccess.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "TelefonAyarlari.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class TestTelefonAyarlari : public QObject {
    Q_OBJECT
private slots:
    void badPortIsRefusedGoodOneWritten() {
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        setProgramFolder(fx.folder());
        TfrmTelefonAyarlari window(dataFolder());
        auto *on = window.findChild<QCheckBox *>("chkAcik");
        auto *port = window.findChild<QLineEdit *>("edtPort");
        auto *classroom = window.findChild<QCheckBox *>("chkSinif");
        QVERIFY(on && port && classroom);
        QVERIFY(!on->isChecked());
        QCOMPARE(port->text(), QStringLiteral("8443"));

        on->setChecked(true);
        for (const QString &bad :
             {QStringLiteral("80"), QStringLiteral("70000"), QStringLiteral("abc"), QString()}) {
            port->setText(bad);
            BoxAnswerer user;
            QVERIFY(!window.btnKaydetClick());
            QCOMPARE(user.texts.size(), 1);
            QVERIFY2(user.texts.first().contains("Bağlantı noktası"), qPrintable(bad));
            QVERIFY(!QFile::exists(PhoneAccess::settingsFile(dataFolder())));
        }
        port->setText(QStringLiteral("9443"));
        classroom->setChecked(true);
        QVERIFY(window.btnKaydetClick());
        QCOMPARE(PhoneAccess::readSettings(dataFolder()), (PhoneSettings{true, 9443, true}));
        // An address set by hand in the file stays.
        PhoneAccess::writeSettings(dataFolder(), {true, 9443, true, QStringLiteral("127.0.0.1")});
        classroom->setChecked(false);
        QVERIFY(window.btnKaydetClick());
        QCOMPARE(PhoneAccess::readSettings(dataFolder()),
                 (PhoneSettings{true, 9443, false, QStringLiteral("127.0.0.1")}));

        // The window shows the fingerprint of the certificate the serving process made.
        auto *fingerprint = window.findChild<QLabel *>("lblParmakIzi");
        QVERIFY(fingerprint->text().contains("Henüz yok"));
        const PhoneIdentity made = PhoneAccess::ensureIdentity(dataFolder());
        QTRY_COMPARE(fingerprint->text(), made.fingerprint);
        setProgramFolder({});
    }
};

QTEST_MAIN(TestTelefonAyarlari)
#include "tst_telefonayarlari.moc"
