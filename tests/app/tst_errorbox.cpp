#include "ErrorBox.h"
#include "ZilApplication.h"
#include "ZilError.h"

#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class TestErrorBox : public QObject {
    Q_OBJECT
private slots:
    void fullStopRule_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "Dosya bulunamadı"
                               << "Dosya bulunamadı.";
        QTest::newRow("already full stop") << "Bitti."
                                           << "Bitti.";
        QTest::newRow("exclamation sorts before") << "Kayıt Silinemedi!"
                                                  << "Kayıt Silinemedi!";
        QTest::newRow("trailing blank") << "Hata "
                                        << "Hata ";
        QTest::newRow("comma sorts before") << "a,"
                                            << "a,";
        QTest::newRow("slash sorts after") << "a/"
                                           << "a/.";
        QTest::newRow("digit") << "kod 5"
                               << "kod 5.";
        QTest::newRow("Turkish letter") << "Çıkış"
                                        << "Çıkış.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fullStopRule() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(errorBoxText(message), shown);
    }

    void titleFromProgramName() {
        QCOMPARE(applicationTitleFrom("ZIL.EXE"), QStringLiteral("Zil"));
        QCOMPARE(applicationTitleFrom("zil"), QStringLiteral("zil"));
        QCOMPARE(applicationTitleFrom("Selvanor.Zil.exe"), QStringLiteral("Selvanor"));
        QCOMPARE(applicationTitleFrom("iSTANBUL"), QStringLiteral("istanbul"));
        QCOMPARE(applicationTitle(), QStringLiteral("tst_errorbox"));
    }

    void exceptionLeavingHandlerIsShownAndLoopGoesOn() {
        QString shownText;
        QString shownTitle;
        // Answer the error box as a user would, recording what it said.
        QTimer closer;
        closer.setInterval(10);
        connect(&closer, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shownText = box->text();
                shownTitle = box->windowTitle();
                QCOMPARE(box->icon(), QMessageBox::Critical);
                box->accept();
            }
        });
        closer.start();

        bool ranAfter = false;
        QTimer::singleShot(0, [] { throw ZilError(QStringLiteral("Müzik açılamadı")); });
        QTimer::singleShot(50, [&] { ranAfter = true; });
        QTRY_VERIFY(ranAfter);
        QCOMPARE(shownText, QStringLiteral("Müzik açılamadı."));
        // No window concerned: the program's name.
        QCOMPARE(shownTitle, QStringLiteral("Selvanor Zil Sistemi"));

        // From a window: titled by it, as its questions are.
        QWidget window;
        window.setWindowTitle(QStringLiteral("Okul Takvimi"));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        shownTitle.clear();
        QTimer::singleShot(0, [] { throw ZilError(QStringLiteral("Kaydedilemedi")); });
        QTRY_COMPARE(shownTitle, QStringLiteral("Okul Takvimi"));
    }
};

int main(int argc, char **argv) {
    ZilApplication app(argc, argv);
    TestErrorBox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorbox.moc"
