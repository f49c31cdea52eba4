#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "ui_AnaSayfa.h"

#include "BellClock.h"
#include "Clock.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "WindowLook.h"
#include "ZilApplication.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Monday 7 December 2026 + n days.
QDate weekday(int gunId) {
    return QDate(2026, 12, 7).addDays(gunId);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ScheduleFixture> fx;
    SimulatedClock clock;

    std::unique_ptr<Program> program;

    TfrmMenu *makeWindow(bool online = false, const QString &site = {}) {
        program = std::make_unique<Program>([online] { return online; }, nullptr, site);
        program->menu().show();
        return &program->menu();
    }
    static QStringList rowTexts(QTreeWidgetItem *item) {
        QStringList t;
        for (int c = 0; c < item->columnCount(); ++c)
            t << item->text(c);
        return t;
    }

private slots:
    void init() {
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        fx = std::make_unique<ScheduleFixture>();
        setProgramFolder(fx->folder());
        clock.at = QDateTime(weekday(0), QTime(10, 0));
        setProgramClock(&clock);
    }
    void cleanup() {
        program.reset();
        setProgramClock(nullptr);
        setProgramFolder({});
        fx.reset();
    }

    void startUpSelectsTodayAndListsItsBells_data() {
        QTest::addColumn<int>("gun");
        QTest::addColumn<QString>("name");
        for (int g = 0; g < 7; ++g)
            QTest::addRow("%d", g) << g
                                   << QStringList{"Pazartesi", "Salı",      "Çarşamba", "Perşembe",
                                                  "Cuma",      "Cumartesi", "Pazar"}
                                          .at(g);
    }
    void startUpSelectsTodayAndListsItsBells() {
        QFETCH(int, gun);
        QFETCH(QString, name);
        clock.at = QDateTime(weekday(gun), QTime(9, 0));
        const int id = fx->insert(gun, "Öğle \"arası\"", "12:00:00", "zil.mp3", 45);
        fx->insert(gun, "Gece", "00:00:00", "gece.wav", 5);
        fx->insert((gun + 1) % 7, "Başka gün", "08:00:00", "zil.mp3", 30);

        auto w = makeWindow();
        auto &ui = w->controls();
        QCOMPARE(ui.cmbGunler->currentIndex(), gun);
        QCOMPARE(ui.cmbGunler->currentText(), name);
        QCOMPARE(ui.ListView1->topLevelItemCount(), 2);
        // In time order: midnight is a time like any other.
        QCOMPARE(ui.ListView1->topLevelItem(0)->text(2), QStringLiteral("00:00:00"));
        QCOMPARE(rowTexts(ui.ListView1->topLevelItem(1)),
                 (QStringList{name, "Öğle \"arası\"", "12:00:00", QString::number(id), "45"}));
        QCOMPARE(ui.ListView1->columnWidth(3), 0);
        QCOMPARE(ui.ListView1->columnWidth(2), 90);
        QCOMPARE(ui.ListView1->columnWidth(4), 45);

        // Another day in the selector refills the list with that day's bells.
        ui.cmbGunler->setCurrentIndex((gun + 1) % 7);
        emit ui.cmbGunler->activated((gun + 1) % 7);
        QCOMPARE(ui.ListView1->topLevelItemCount(), 1);
        QCOMPARE(ui.ListView1->topLevelItem(0)->text(1), QStringLiteral("Başka gün"));
        QCOMPARE(ui.ListView1->topLevelItem(0)->text(0), ui.cmbGunler->currentText());
    }

    void offlineWindowIsCentredAtItsSize() {
        auto w = makeWindow();
        const QScreen *screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        // The platform's frame, known only once shown, may shift the window by its width.
        const QPoint off = w->geometry().center() - screen->availableGeometry().center();
        QVERIFY2(qAbs(off.x()) <= 3 && qAbs(off.y()) <= 3,
                 qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    }

    void longNameLeavesStartAndDurationInView() {
        clock.at = QDateTime(weekday(0), QTime(9, 0));
        const QString name = QStringLiteral("Uzun ad ").repeated(6).left(50);
        fx->insert(0, name, "08:30:00", "zil.mp3", 30);
        auto w = makeWindow();
        QTreeWidget *list = w->controls().ListView1;
        QTreeWidgetItem *row = list->topLevelItem(0);
        QVERIFY(row);
        QVERIFY(list->columnWidth(1) > 0);
        QVERIFY(list->columnViewportPosition(4) + list->columnWidth(4) <=
                list->viewport()->width());
        QCOMPARE(row->toolTip(1), name);
    }

    void windowLayout() {
        auto w = makeWindow();
        auto &ui = w->controls();
        QCOMPARE(w->windowTitle(), QStringLiteral("Selvanor Zil Sistemi"));
        // Offline: 90 px shorter and no browser engine.
        QCOMPARE(ui.centralwidget->size(), QSize(404, 420));
        QVERIFY(!w->WebBrowser());
        QVERIFY(ui.pnlWeb->isHidden());
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(ui.mpPlayer->geometry(), QRect(304, 128, 85, 20));
        QCOMPARE(ui.btnYeniKayit->geometry(), QRect(8, 368, 97, 41));
        QCOMPARE(ui.btnCikis->geometry(), QRect(304, 368, 89, 41));
        QCOMPARE(ui.btnSil->Caption(), QStringLiteral("Sil"));
        QCOMPARE(ui.btnDuzenle->ColorHot(), 13289415u);
        QCOMPARE(ui.btnDuzenle->ColorDown(), 14210002u);
        QCOMPARE(ui.imgLogo->pixmap().size(), QSize(414, 78));
        QCOMPARE(ui.cmbGunler->count(), 7);
        // The clock label shows the time after the first tick.
        program->clock().TimerTimer();
        QCOMPARE(ui.Saat->text(), QStringLiteral("10:00:00"));
        QStringList menus;
        for (const QAction *action : ui.MainMenu1->actions())
            menus.append(action->text());
        QCOMPARE(menus, (QStringList{"&Dosya", "Ders &Programı", "&Zil Geçmişi", "&Ayarlar",
                                     "A&cil durum", "&Hakkında"}));
    }

    void editAndDeleteNeedASelectedRow() {
        fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        auto w = makeWindow();
        QSignalSpy editor(w, &TfrmMenu::EditorIstendi);
        {
            BoxAnswerer ok("OK");
            w->btnDuzenleClick();
            QCOMPARE(ok.texts, QStringList{"Düzenlemek için lütfen bir kayıt seçin!"});
        }
        {
            BoxAnswerer ok("OK");
            w->btnSilClick();
            QCOMPARE(ok.texts, QStringList{"Silmek için lütfen bir kayıt seçin!"});
        }
        w->ListView1DblClick(nullptr);
        QCOMPARE(editor.count(), 0);
        QCOMPARE(fx->count(), 1);
    }

    void newAndEditAskForTheEditor() {
        const int id = fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        auto w = makeWindow();
        auto &ui = w->controls();
        QSignalSpy editor(w, &TfrmMenu::EditorIstendi);
        ui.cmbGunler->setCurrentIndex(3);
        w->btnYeniKayitClick();
        QCOMPARE(editor.takeFirst(), (QVariantList{1, 3, 0}));
        ui.cmbGunler->setCurrentIndex(0);
        w->ListeyiDoldur();
        ui.ListView1->setCurrentItem(ui.ListView1->topLevelItem(0));
        w->btnDuzenleClick();
        QCOMPARE(editor.takeFirst(), (QVariantList{2, 0, id}));
    }

    void deleteAsksFirst_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("left");
        QTest::newRow("yes") << "&Yes" << 1;
        QTest::newRow("no") << "&No" << 2;
        QTest::newRow("escape") << BoxAnswerer::Escape << 2;
        QTest::newRow("closed") << BoxAnswerer::Close << 2;
    }
    void deleteAsksFirst() {
        QFETCH(QString, answer);
        QFETCH(int, left);
        fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        fx->insert(0, "b", "09:00:00", "b.mp3", 30);
        auto w = makeWindow();
        auto &ui = w->controls();
        ui.ListView1->setCurrentItem(ui.ListView1->topLevelItem(0));
        BoxAnswerer box(answer);
        w->btnSilClick();
        // Titled by its window, as every box is.
        QCOMPARE(box.titles, QStringList{"Selvanor Zil Sistemi"});
        QCOMPARE(box.texts, QStringList{"Seçili Kaydı Silmek İstediğinizden Emin misiniz?"});
        QCOMPARE(fx->count(), left);
        QCOMPARE(ui.ListView1->topLevelItemCount(), left);
        if (left == 1)
            QCOMPARE(ui.ListView1->topLevelItem(0)->text(1), QStringLiteral("b"));
    }

    void confirmationDefaultsToYes() {
        fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        auto w = makeWindow();
        auto &ui = w->controls();
        ui.ListView1->setCurrentItem(ui.ListView1->topLevelItem(0));
        QTimer::singleShot(50, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->defaultButton()->text(), QStringLiteral("&Yes"));
            QTest::keyClick(box, Qt::Key_Return);
        });
        w->btnSilClick();
        QCOMPARE(fx->count(), 0);
    }

    void deleteRefusedByStoreSaysSoAndRefills() {
        fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        auto w = makeWindow();
        auto &ui = w->controls();
        ui.ListView1->setCurrentItem(ui.ListView1->topLevelItem(0));
        // The store refuses every delete, as a write-protected schedule does (root, which tests
        // run as, ignores file modes).
        fx->exec("CREATE TRIGGER korumali BEFORE DELETE ON Dersler "
                 "BEGIN SELECT RAISE(ABORT, 'salt okunur'); END");
        fx->insert(0, "b", "09:00:00", "b.mp3", 30);
        BoxAnswerer box("&Yes");
        w->btnSilClick();
        QCOMPARE(box.texts.size(), 2);
        QCOMPARE(box.texts.at(1), QStringLiteral("Kayıt Silinemedi!"));
        QCOMPARE(fx->count(), 2);
        // Refilled: the row added meanwhile shows up.
        QCOMPARE(ui.ListView1->topLevelItemCount(), 2);
    }

    void storeFailureAtStartUp() {
        QFile::remove(fx->databaseFile());
        clock.at = QDateTime(weekday(4), QTime(9, 0));
        BoxAnswerer box("OK");
        auto w = makeWindow();
        QTRY_COMPARE(box.texts.size(), 1);
        QVERIFY2(box.texts.first().contains("database.mdb"), qPrintable(box.texts.first()));
        QVERIFY(w->isVisible());
        QCOMPARE(w->controls().cmbGunler->currentIndex(), 0);
        QCOMPARE(w->controls().ListView1->topLevelItemCount(), 0);
        // The clock keeps trying without a box every second.
        for (int i = 0; i < 3; ++i)
            program->clock().TimerTimer();
        QTest::qWait(50);
        QCOMPARE(box.texts.size(), 1);
    }

    void errorInACommandIsShownWhereItHappensAndTheProgramGoesOn() {
        // Only the application's last net logs this: a handler's own guard shows the box itself.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("unhandled")));
        fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        auto w = makeWindow();
        auto &ui = w->controls();
        QVERIFY(QFile::rename(fx->databaseFile(), fx->databaseFile() + ".away"));
        ui.cmbGunler->setFocus();
        {
            BoxAnswerer ok("OK");
            QTest::keyClick(ui.cmbGunler, Qt::Key_Down);
            QCOMPARE(ok.texts.size(), 1);
            QVERIFY2(ok.texts.first().contains("database.mdb"), qPrintable(ok.texts.first()));
        }
        QVERIFY(w->isVisible());
        QVERIFY(QFile::rename(fx->databaseFile() + ".away", fx->databaseFile()));
        QTest::keyClick(ui.cmbGunler, Qt::Key_Up);
        QCOMPARE(ui.ListView1->topLevelItemCount(), 1);
    }

    void menuRunsButtonCommandsWithoutTheirFaces() {
        fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        auto w = makeWindow();
        auto &ui = w->controls();
        QSignalSpy editor(w, &TfrmMenu::EditorIstendi);
        QSignalSpy about(w, &TfrmMenu::HakkindaIstendi);
        ui.YeniKayit1->trigger();
        QCOMPARE(editor.count(), 1);
        {
            BoxAnswerer ok("OK");
            ui.Duzenle1->trigger();
            QCOMPARE(ok.texts, QStringList{"Düzenlemek için lütfen bir kayıt seçin!"});
        }
        ui.ListView1->setCurrentItem(ui.ListView1->topLevelItem(0));
        {
            BoxAnswerer yes("&Yes");
            ui.Sil1->trigger();
        }
        QCOMPARE(fx->count(), 0);
        QVERIFY(!ui.btnSil->Down());
        ui.Hakkinda1->trigger();
        QCOMPARE(about.count(), 1);
    }

    void everyWindowFitsSmallScreens_data() {
        QTest::addColumn<QSize>("screen"); // in the windows' own pixels
        QTest::newRow("1366x768 at 150%") << QSize(1366 * 2 / 3, 768 * 2 / 3);
        QTest::newRow("1024x768 at 100%") << QSize(1024, 768);
    }
    void everyWindowFitsSmallScreens() {
        QFETCH(QSize, screen);
        auto w = makeWindow();
        Program &p = *program;
        for (QWidget *window :
             std::initializer_list<QWidget *>{w, &p.editor(), &p.about(), &p.history(),
                                              &p.calendarWindow(), &p.wizard(), &p.bulk()}) {
            const QSize least = window->minimumSize().expandedTo(window->minimumSizeHint());
            QVERIFY2((least + frameAllowance).boundedTo(screen) == least + frameAllowance,
                     qPrintable(window->windowTitle()));
        }
        // The maker's page is left out where the window with it would reach below the screen.
        QCOMPARE(w->roomForWebPanel(screen), screen.height() >= 768);
        // Shown, each lies on the screen whole with its frame; one not placed on purpose centred.
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        for (QAction *item : {w->controls().Sihirbaz1, w->controls().OkulTakvimi1,
                              w->controls().ZilGecmisi1, w->controls().YeniKayit1})
            item->trigger();
        for (QWidget *window : std::initializer_list<QWidget *>{&p.wizard(), &p.calendarWindow(),
                                                                &p.history(), &p.editor()}) {
            const QRect framed(window->pos(), window->size() + frameAllowance);
            QVERIFY2(available.contains(framed), qPrintable(window->windowTitle()));
            QVERIFY(window == &p.editor() ||
                    (framed.center() - available.center()).manhattanLength() <= 40);
        }
    }

    void bellsListedInTimeOrderAndSortedByAClickedHeader() {
        fx->insert(0, "Öğle", "12:00:00", "a.mp3", 30);
        fx->insert(0, "Sabah", "08:30:00", "a.mp3", 0);
        fx->insert(0, "İkinci", "09:10:00", "a.mp3", 100);
        QTreeWidget *list = makeWindow()->controls().ListView1;
        const auto column = [list](int c) {
            QStringList texts;
            for (int row = 0; row < list->topLevelItemCount(); ++row)
                texts << list->topLevelItem(row)->text(c);
            return texts;
        };
        QCOMPARE(column(1), (QStringList{"Sabah", "İkinci", "Öğle"}));
        // A whole-file bell says so, as the wizard does, and is read whole.
        QCOMPARE(column(4), (QStringList{"tamamı", "100", "30"}));
        QVERIFY(list->columnWidth(4) > list->fontMetrics().horizontalAdvance("tamamı"));
        const QHeaderView *header = list->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(4) + 5, header->height() / 2));
        QCOMPARE(column(4), (QStringList{"tamamı", "30", "100"})); // as numbers
    }

    void keyboardReachesEveryCommand() {
        const int id = fx->insert(0, "a", "08:00:00", "a.mp3", 30);
        auto w = makeWindow();
        auto &ui = w->controls();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QSignalSpy editor(w, &TfrmMenu::EditorIstendi);
        QSignalSpy calendar(w, &TfrmMenu::OkulTakvimiIstendi);
        QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(w, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(editor.takeFirst(), (QVariantList{1, 0, 0}));
        QCOMPARE(calendar.count(), 1);
        ui.ListView1->setCurrentItem(ui.ListView1->topLevelItem(0));
        QTest::keyClick(ui.ListView1, Qt::Key_Return);
        QCOMPARE(editor.takeFirst(), (QVariantList{2, 0, id}));
        {
            BoxAnswerer yes("&Yes");
            QTest::keyClick(ui.ListView1, Qt::Key_Delete);
            QCOMPARE(yes.texts, QStringList{"Seçili Kaydı Silmek İstediğinizden Emin misiniz?"});
        }
        QCOMPARE(fx->count(), 0);
        // Alt and a menu's underlined letter open it, and so does F10.
        for (const QKeyCombination key : {Qt::ALT | Qt::Key_D, QKeyCombination(Qt::Key_F10)}) {
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::keyClick(w, key.key(), key.keyboardModifiers());
            QTRY_VERIFY(ui.Dosya1->isVisible());
            ui.Dosya1->hide();
        }
    }

    void closingAsksOrGoesToTheTray() {
        auto w = makeWindow();
        QSignalSpy toTray(w, &TfrmMenu::hiddenToTray);
        {
            // Without a tray the bells would stop: asked, and "Hayır" keeps the window.
            BoxAnswerer no("Hayır");
            QVERIFY(!w->close());
            w->controls().Cikis1->trigger();
            QCOMPARE(no.texts.size(), 2);
            QVERIFY(no.texts.first().startsWith("Program kapanırsa ziller çalmaz"));
            QCOMPARE(no.titles.first(), w->windowTitle());
        }
        // With the tray icon shown, closing hides the window there, telling so only once.
        program->tray().icon().show();
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!w->close());
            QVERIFY(w->isHidden());
            w->show();
        }
        QCOMPARE(toTray.count(), 1);
        program->tray().icon().hide();
        // While the service rings, closing costs no bell and asks nothing; its line is whole.
        program->setServiceRings(true);
        QLabel *service = w->controls().lblHizmet;
        QVERIFY(service->width() >= service->fontMetrics().horizontalAdvance(service->text()));
        QVERIFY(service->geometry().right() < w->controls().mpPlayer->x());
        {
            BoxAnswerer none;
            QVERIFY(w->close());
            QVERIFY(none.texts.isEmpty());
        }
        // "Çıkış" agreed ends the program, asked once.
        program->setServiceRings(false);
        w->show();
        BoxAnswerer yes("Evet");
        QTimer::singleShot(0, w->controls().Cikis1, &QAction::trigger);
        QTimer::singleShot(5000, [] { QCoreApplication::exit(7); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(yes.texts.size(), 1);
    }

    void traySilencesTheDayOnlyAfterAsking() {
        makeWindow();
        QAction &silence = program->silenceTodayAction();
        for (const char *answer : {"Hayır", "Evet"}) {
            BoxAnswerer box(answer);
            silence.trigger();
            QCOMPARE(box.texts.size(), 1);
            QCOMPARE(program->calendar().silencedToday(), QByteArray(answer) == "Evet");
            QCOMPARE(silence.isChecked(), QByteArray(answer) == "Evet");
        }
    }

    // Serves the maker's page on this machine, recording the requests.
    static void servePage(QTcpServer &server, QByteArray &request) {
        connect(&server, &QTcpServer::newConnection, [&] {
            QTcpSocket *s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, [s, &request] {
                request += s->readAll();
                if (!request.contains("\r\n\r\n"))
                    return;
                const QByteArray body = "<html><body>Reklam</body></html>";
                s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                         QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                s->disconnectFromHost();
            });
        });
    }

    void onlineShowsTheMakersPage() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray request;
        servePage(server, request);
        const QString site = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
        auto w = makeWindow(true, site);
        QVERIFY(w->WebBrowser());
        QVERIFY(!w->controls().pnlWeb->isHidden());
        QCOMPARE(w->controls().centralwidget->size(), QSize(404, 510));
        QTRY_VERIFY_WITH_TIMEOUT(request.startsWith("GET /ads/zil.html "), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w->WebBrowser()->property("url").toUrl().toString(),
                                  site + "/ads/zil.html", 20000);
    }

    void aPageThatFailsHidesThePanelAndIsTriedAgain() {
        // A port on this machine that nobody answers, then the page served there.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        server.close();
        auto w = makeWindow(true, QStringLiteral("http://127.0.0.1:%1").arg(port));
        w->setWebRetryInterval(500);
        QTRY_VERIFY_WITH_TIMEOUT(w->controls().pnlWeb->isHidden(), 20000);
        QCOMPARE(w->height(), 420 + w->controls().MainMenu1->sizeHint().height());
        QByteArray request;
        servePage(server, request);
        QVERIFY(server.listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY_WITH_TIMEOUT(!w->controls().pnlWeb->isHidden(), 20000);
        QCOMPARE(w->controls().centralwidget->size(), QSize(404, 510));
    }
};

int main(int argc, char **argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ZilApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
