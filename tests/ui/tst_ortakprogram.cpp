// "Ortak program…": settings that cannot work are refused in Turkish with nothing written; saved
// ones are readable by their owner and the data folder's group; and a computer whose settings were
// saved in the window takes its school's schedule from a real PostgreSQL server, as README tells a
// school to do.
#include "Bells.h"
#include "BoxAnswerer.h"
#include "Duzenleme.h"
#include "FakeMediaLayer.h"
#include "OrtakProgram.h"
#include "PgServer.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "SharedSchedule.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class TestOrtakProgram : public QObject {
    Q_OBJECT
    // A server with the shared place's schema in database "zil", and `school` run in it.
    static bool schoolServer(PgServer &server, const QString &school) {
        return server.start() && server.runSql(QStringLiteral("CREATE DATABASE zil")) &&
               server.runFile(QStringLiteral(":/ortak.sql"), QStringLiteral("zil")) &&
               server.runSql(school, QStringLiteral("zil"));
    }

private slots:
    void unusableSettingsAreRefused() {
        ScheduleFixture fx;
        QVERIFY(fx.isValid());
        setProgramFolder(fx.folder());
        TfrmOrtakProgram window(dataFolder());
        auto *on = window.findChild<QCheckBox *>("chkAcik");
        auto *host = window.findChild<QLineEdit *>("edtSunucu");
        auto *port = window.findChild<QLineEdit *>("edtPort");
        auto *database = window.findChild<QLineEdit *>("edtVeritabani");
        auto *user = window.findChild<QLineEdit *>("edtKullanici");
        auto *password = window.findChild<QLineEdit *>("edtParola");
        auto *ca = window.findChild<QLineEdit *>("edtCA");
        QVERIFY(on && host && port && database && user && password && ca);
        QVERIFY(!on->isChecked());
        QCOMPARE(port->text(), QStringLiteral("5432"));
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        const QString file = SharedSettings::file(dataFolder());

        on->setChecked(true);
        host->setText(QStringLiteral("zil.okul.example"));
        database->setText(QStringLiteral("zil"));
        user->setText(QStringLiteral("lise_pc"));
        password->setText(QStringLiteral("gizli"));
        const QList<std::pair<std::function<void()>, QString>> mistakes = {
            {[&] { port->setText(QStringLiteral("beş")); }, QStringLiteral("Bağlantı noktası")},
            {[&] { port->setText(QStringLiteral("70000")); }, QStringLiteral("Bağlantı noktası")},
            {[&] { port->setText(QStringLiteral("5432")); }, QStringLiteral("CA dosyası")},
            {[&] { ca->setText(fx.folder() + QStringLiteral("yok.crt")); },
             QStringLiteral("CA dosyası bulunamadı")},
            {[&] {
                 ca->setText(fx.databaseFile());
                 user->clear();
             },
             QStringLiteral("Kullanıcı")},
        };
        for (const auto &[make, said] : mistakes) {
            make();
            BoxAnswerer answer;
            QVERIFY(!window.btnKaydetClick());
            QCOMPARE(answer.texts.size(), 1);
            QVERIFY2(answer.texts.first().contains(said), qPrintable(answer.texts.first()));
            QVERIFY(!QFile::exists(file));
        }
        user->setText(QStringLiteral("lise_pc"));
        QVERIFY(window.btnKaydetClick());
        const SharedSettings saved = SharedSettings::read(dataFolder());
        QVERIFY(saved.on);
        QCOMPARE(saved.host, QStringLiteral("zil.okul.example"));
        QCOMPARE(saved.user, QStringLiteral("lise_pc"));
        QCOMPARE(saved.password, QStringLiteral("gizli"));
        QCOMPARE(saved.caFile, fx.databaseFile());
        // It holds the computer's password: the folder's group reads it, nobody else.
        QCOMPARE(QFile::permissions(file), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadUser | QFileDevice::WriteUser |
                                               QFileDevice::ReadGroup);
        setProgramFolder({});
    }

    // The window's settings, then the program that rings: it joins within seconds and rings the
    // school's schedule; a school name that is not the user's is told and nothing is loaded.
    void savedSettingsJoinTheSchool() {
        PgServer server;
        QVERIFY2(schoolServer(server, QStringLiteral(R"(
            INSERT INTO okul (ad) VALUES ('Selvanor Okulları');
            INSERT INTO bina (okul_id, ad) VALUES (1, 'Lise');
            SELECT zil_bilgisayar_ekle('lise_pc', 'uzun-parola', 1, 1, false);
            INSERT INTO zil (okul_id, gun_id, ders_saati, baslama, muzik, sure)
                VALUES (1, 2, 'Ortak Ders', '10:10:00', 'ortak.mp3', 5);
            )")),
                 qPrintable(server.why()));

        ScheduleFixture fx;
        fx.insert(0, QStringLiteral("Eski Ders"), QStringLiteral("08:00:00"),
                  QStringLiteral("eski.mp3"), 5);
        setProgramFolder(fx.folder());
        QStringList told;
        auto bells = std::make_unique<Bells>([&](const QString &m) { told << m; },
                                             std::make_unique<FakeMediaLayer>());
        QVERIFY(bells->start());
        QVERIFY(bells->shared() && !bells->shared()->running());

        TfrmOrtakProgram window(dataFolder(), bells->shared());
        window.findChild<QCheckBox *>("chkAcik")->setChecked(true);
        window.findChild<QLineEdit *>("edtSunucu")->setText(server.socketFolder());
        window.findChild<QLineEdit *>("edtPort")->setText(QString::number(server.port()));
        window.findChild<QLineEdit *>("edtVeritabani")->setText(QStringLiteral("zil"));
        window.findChild<QLineEdit *>("edtOkul")->setText(QStringLiteral("Başka Okul"));
        window.findChild<QLineEdit *>("edtKullanici")->setText(QStringLiteral("lise_pc"));
        window.findChild<QLineEdit *>("edtParola")->setText(QStringLiteral("uzun-parola"));
        QVERIFY(window.btnKaydetClick());
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, 15000);
        QVERIFY2(told.first().contains(QStringLiteral("Selvanor Okulları")),
                 qPrintable(told.first()));
        QCOMPARE(fx.rows(QStringLiteral("SELECT DersSaati FROM Dersler")).size(), 1);

        window.findChild<QLineEdit *>("edtOkul")->setText(QStringLiteral("Selvanor Okulları"));
        window.findChild<QLineEdit *>("edtBina")->setText(QStringLiteral("Lise"));
        QVERIFY(window.btnKaydetClick());
        QTRY_VERIFY_WITH_TIMEOUT(bells->shared()->reachable(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(fx.rows(QStringLiteral("SELECT DersSaati FROM Dersler")),
                                  (QList<QVariantList>{{QStringLiteral("Ortak Ders")}}), 15000);
        QCOMPARE(bells->shared()->statusLine(),
                 QStringLiteral("Ortak program: Selvanor Okulları, Lise ile bağlı"));
        QCOMPARE(told.size(), 1);

        // While the background service rings the folder, the window's copy leaves the link to
        // it, and takes it up again when the service stops.
        bells->setSharedOn(false);
        QVERIFY(!bells->shared()->running());
        // The window then shows what the process that is joined last said.
        QTRY_COMPARE_WITH_TIMEOUT(
            window.findChild<QLabel *>("lblDurum")->text(),
            QStringLiteral("Ortak program: Selvanor Okulları, Lise ile bağlı"), 5000);
        QTest::qWait(3500);
        QVERIFY(!bells->shared()->running());
        bells->setSharedOn(true);
        QVERIFY(bells->shared()->running());
        QTRY_VERIFY_WITH_TIMEOUT(bells->shared()->reachable(), 15000);
        QCOMPARE(told.size(), 1);
        bells.reset();
        setProgramFolder({});
    }

    // A manager's computer of one building keeps a bell to that building from the editor: the
    // server holds it for that building alone, and the box shows it ticked when opened again.
    void bellForOneBuildingFromTheEditor() {
        PgServer server;
        QVERIFY2(schoolServer(server, QStringLiteral(R"(
            INSERT INTO okul (ad) VALUES ('Selvanor Okulları');
            INSERT INTO bina (okul_id, ad) VALUES (1, 'Ortaokul'), (1, 'Lise');
            SELECT zil_bilgisayar_ekle('lise_pc', 'uzun-parola', 1, 2, true);
            )")),
                 qPrintable(server.why()));
        auto buildingOf = [&](const QString &name) {
            return server.rows(QStringLiteral("SELECT COALESCE(bina_id::text, 'tümü') FROM zil "
                                              "WHERE ders_saati = '%1' ORDER BY 1")
                                   .arg(name),
                               QStringLiteral("zil"));
        };

        ScheduleFixture fx;
        setProgramFolder(fx.folder());
        QStringList told;
        auto bells = std::make_unique<Bells>([&](const QString &m) { told << m; },
                                             std::make_unique<FakeMediaLayer>());
        QVERIFY(bells->start());
        TfrmDuzenleme editor(bells->store(), [] {});
        auto *only = editor.findChild<QCheckBox *>("cbYalnizBuBina");
        QVERIFY(only);
        auto openNew = [&] {
            editor.setEditorKipi(1);
            editor.ShowEditor();
        };
        openNew();
        QVERIFY(!only->isVisible()); // not joined: every bell is the computer's own
        editor.hide();

        SharedSettings s;
        s.on = true;
        s.host = server.socketFolder();
        s.port = server.port();
        s.database = QStringLiteral("zil");
        s.user = QStringLiteral("lise_pc");
        s.password = QStringLiteral("uzun-parola");
        SharedSettings::write(dataFolder(), s);
        QTRY_VERIFY_WITH_TIMEOUT(bells->shared()->reachable(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(bells->shared()->appliedVersion() >= 0, 15000);

        openNew();
        QVERIFY(only->isVisible());
        QCOMPARE(only->text(), QStringLiteral("Yalnızca bu binada çalsın (Lise)"));
        QVERIFY(!only->isChecked());
        editor.findChild<QLineEdit *>("txtDers")->setText(QStringLiteral("Lise Etüt"));
        editor.findChild<QLineEdit *>("txtMuzik")->setText(QStringLiteral("etut.mp3"));
        only->setChecked(true);
        editor.btnYeniKayitClick();
        // Copied to the other working days, as the box below it said.
        QTRY_COMPARE_WITH_TIMEOUT(buildingOf(QStringLiteral("Lise Etüt")),
                                  QStringList(5, QStringLiteral("2")), 15000);

        // The copy takes the server's ids for them with the server's next version.
        QTRY_COMPARE_WITH_TIMEOUT(
            QString::number(bells->shared()->appliedVersion()),
            server.rows(QStringLiteral("SELECT surum FROM surum"), QStringLiteral("zil")).value(0),
            15000);
        const int id = fx.rows(QStringLiteral("SELECT max(KayitID) FROM Dersler WHERE DersSaati "
                                              "= 'Lise Etüt'"))
                           .value(0)
                           .value(0)
                           .toInt();
        editor.setKayitID(id);
        editor.setEditorKipi(2);
        editor.ShowEditor();
        QVERIFY(only->isVisible() && only->isChecked());
        only->setChecked(false);
        editor.btnYeniKayitClick();
        QTRY_COMPARE_WITH_TIMEOUT(buildingOf(QStringLiteral("Lise Etüt")),
                                  (QStringList(4, QStringLiteral("2")) << QStringLiteral("tümü")),
                                  15000);
        QVERIFY2(told.isEmpty(), qPrintable(told.join('\n')));
        bells.reset();
        setProgramFolder({});
    }
};

QTEST_MAIN(TestOrtakProgram)
#include "tst_ortakprogram.moc"
