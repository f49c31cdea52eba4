// The main window as a keyboard reaches it: every underlined letter leads to one place only, no
// run of Alt, arrows and Enter sounds the alarm, and "Şimdi durdur" stops what sounds.

#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "ProgramValues.h"
#include "ScheduleFixture.h"
#include "Startup.h"
#include "ZilApplication.h"
#include "ui_AnaSayfa.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QTabBar>
#include <QtTest>

namespace {

// The key that reaches `text` (Alt and the letter, or the bare letter in an open menu); 0: none.
int letterOf(const QString &text) {
    const QKeySequence key = QKeySequence::mnemonic(text);
    return key.isEmpty() ? 0 : key[0].key();
}

// Collects, scope by scope, the texts whose underlined letters are one key.
struct Repeats {
    QStringList found;
    void check(const QString &scope, const QStringList &texts) {
        QHash<int, QString> seen;
        for (const QString &text : texts) {
            const int key = letterOf(text);
            if (!key)
                continue;
            if (seen.contains(key))
                found << QStringLiteral("%1: \"%2\" / \"%3\"").arg(scope, seen[key], text);
            else
                seen[key] = text;
        }
    }
};

// What Alt reaches in `window`: its buttons, labelled fields, group boxes, tabs and menu titles.
QStringList windowTexts(QWidget *window) {
    QStringList texts;
    const auto widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (w->window() != window || !w->isVisibleTo(window))
            continue;
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            texts << button->text();
        else if (auto *label = qobject_cast<QLabel *>(w); label && label->buddy())
            texts << label->text();
        else if (auto *group = qobject_cast<QGroupBox *>(w))
            texts << group->title();
        else if (auto *bar = qobject_cast<QMenuBar *>(w))
            for (const QAction *a : bar->actions())
                texts << a->text();
        else if (auto *tabs = qobject_cast<QTabBar *>(w))
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i);
    }
    return texts;
}

} // namespace

class TestMainMenu : public QObject {
    Q_OBJECT
    std::unique_ptr<ScheduleFixture> fx;
    FakeMediaLayer *layer = nullptr;
    std::unique_ptr<Program> program;

    TfrmMenu &start() {
        layer = new FakeMediaLayer;
        program =
            std::make_unique<Program>([] { return false; }, std::unique_ptr<MediaLayer>(layer));
        program->clock().Timer().stop();
        program->menu().show();
        program->menu().activateWindow();
        if (!QTest::qWaitForWindowActive(&program->menu()))
            qFatal("the main window did not become active");
        return program->menu();
    }

    QMenu *alarmMenu() { return program->menu().findChild<QMenu *>(QStringLiteral("AcilDurum1")); }

    static void checkMenu(Repeats &repeats, const QString &path, QMenu *menu) {
        emit menu->aboutToShow();
        QStringList texts;
        for (QAction *a : menu->actions()) {
            texts << a->text();
            if (QMenu *sub = a->menu<QMenu *>())
                checkMenu(repeats, path + QStringLiteral(" > ") + a->text(), sub);
        }
        repeats.check(path, texts);
    }

private slots:
    void init() {
        fx = std::make_unique<ScheduleFixture>();
        setProgramFolder(fx->folder());
    }
    void cleanup() {
        program.reset();
        setProgramFolder({});
        fx.reset();
    }

    // Opens every window the menus lead to, and reads each window's and each menu's letters.
    void everyLetterLeadsToOnePlace() {
        TfrmMenu &menu = start();
        Repeats repeats;
        // Dialogs that wait for an answer are gone once answered: what was read is kept by name.
        QStringList read;
        const auto readWindow = [&](QWidget *window) {
            const QString name = QString::fromLatin1(window->metaObject()->className());
            // Qt's own dialogs (files, numbers, printing) are not ours to letter.
            if (window->property("lettersRead").toBool() ||
                (!name.startsWith(QLatin1String("Tfrm")) && name != QLatin1String("QMessageBox")))
                return;
            window->setProperty("lettersRead", true);
            read << name;
            repeats.check(window->windowTitle() + " (" + name + ")", windowTexts(window));
        };
        // A window that waits for an answer is read, then sent away unanswered.
        QTimer modal;
        connect(&modal, &QTimer::timeout, [&] {
            QWidget *window = QApplication::activeModalWidget();
            if (!window || !window->isVisible())
                return;
            readWindow(window);
            if (auto *dialog = qobject_cast<QDialog *>(window))
                dialog->reject();
            else
                window->close();
        });
        modal.start(10);
        readWindow(&menu);
        const QSet<QAction *> notOpening{menu.controls().Cikis1, menu.controls().SimdiDurdur1};
        std::function<void(QMenu *)> openAll = [&](QMenu *from) {
            for (QAction *a : from->actions()) {
                if (QMenu *sub = a->menu<QMenu *>()) {
                    openAll(sub);
                    continue;
                }
                if (a->isSeparator() || a->isCheckable() || !a->isVisible() ||
                    notOpening.contains(a) || a->text().contains(QLatin1String("durdur")))
                    continue;
                a->trigger();
                QCoreApplication::processEvents();
                for (QWidget *window : QApplication::topLevelWidgets())
                    if (window->isVisible())
                        readWindow(window);
            }
        };
        for (QAction *a : menu.controls().MainMenu1->actions()) {
            if (QMenu *sub = a->menu<QMenu *>()) {
                checkMenu(repeats, menu.windowTitle() + " > " + a->text(), sub);
                openAll(sub);
            } else {
                a->trigger();
                for (QWidget *window : QApplication::topLevelWidgets())
                    if (window->isVisible())
                        readWindow(window);
            }
        }
        checkMenu(repeats, QStringLiteral("tray"), &program->tray().menu());
        // Each of our windows was reached (Qt's own file, number and print dialogs aside).
        const QStringList ours = read.filter(QRegularExpression(QStringLiteral("^Tfrm")));
        QVERIFY2(ours.size() >= 16, qPrintable(ours.join(QLatin1Char(' '))));
        QVERIFY2(repeats.found.isEmpty(), qPrintable(repeats.found.join(QLatin1Char('\n'))));
    }

    // The alarm menu opened by its letter, an entry chosen with the arrows and Enter: the
    // question that follows takes Enter and Space as "Vazgeç".
    void keysAloneNeverSoundTheAlarm() {
        TfrmMenu &menu = start();
        const Alarm &alarm = program->bells().alarm();
        QMenu *alarms = alarmMenu();
        QVERIFY(alarms);
        const int letter = letterOf(alarms->title());
        QVERIFY(letter);
        QStringList asked;
        Qt::Key answerKey = Qt::Key_Return;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->property("answered").toBool())
                return;
            box->setProperty("answered", true);
            asked << box->text();
            QWidget *focus = box->focusWidget();
            QTest::keyClick(focus ? focus : box, answerKey);
        });
        answer.start(10);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
            answerKey = key;
            for (int downs = 0; downs < 3; ++downs) {
                // The box gone, the window is active again, as on a desktop.
                menu.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&menu));
                QTest::keyClick(&menu, Qt::Key(letter), Qt::AltModifier);
                QTRY_VERIFY(alarms->isVisible());
                for (int i = 0; i < downs; ++i)
                    QTest::keyClick(alarms, Qt::Key_Down);
                QTest::keyClick(alarms, Qt::Key_Return);
                QTRY_COMPARE(asked.size(), 1);
                QVERIFY2(asked.takeFirst().contains(Alarm::title(Alarm::Kinds[downs])),
                         qPrintable(Alarm::title(Alarm::Kinds[downs])));
                QVERIFY(!alarm.sounding());
            }
        }
        answer.stop();
        // Chosen on purpose, it sounds; stopping asks nothing.
        {
            BoxAnswerer sound(QStringLiteral("Alarmı çal"));
            program->alarmCommands().windowActions().first()->trigger();
            QCOMPARE(sound.texts.size(), 1);
        }
        QCOMPARE(alarm.sounding(), Alarm::Kind::Yangin);
        BoxAnswerer none;
        program->alarmCommands().windowActions().last()->trigger();
        QVERIFY(!alarm.sounding());
        QVERIFY(none.texts.isEmpty());
    }

    // "Şimdi durdur" in the window, with its key: there while something sounds, and it stops it.
    void theWindowStopsWhatSounds() {
        TfrmMenu &menu = start();
        QAction *stop = menu.controls().SimdiDurdur1;
        const QKeySequence key = stop->shortcut();
        QVERIFY(!key.isEmpty());
        program->clock().TimerTimer();
        QVERIFY(!stop->isEnabled());
        LayerBellPlayer &bell = program->bells().bellPlayer();
        QVERIFY(!bell.play(fx->folder() + "Muzikler/zil.mp3", 30));
        QVERIFY(bell.playing());
        program->clock().TimerTimer();
        QVERIFY(stop->isEnabled());
        QTest::keySequence(&menu, key);
        QVERIFY(!bell.playing());
        QVERIFY(layer->openDevices().isEmpty());
        QTRY_VERIFY(!stop->isEnabled());
        // While the background service rings, what it plays is unknown here: the entry stays.
        program->setServiceRings(true);
        QVERIFY(stop->isEnabled());
    }
};

int main(int argc, char **argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    ZilApplication app(argc, argv);
    TestMainMenu test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainmenu.moc"
