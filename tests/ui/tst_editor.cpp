#include "AdvToolBtn.h"
#include "BellStore.h"
#include "BoxAnswerer.h"
#include "Clock.h"
#include "Duzenleme.h"
#include "ErrorBox.h"
#include "MusicImport.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "WholeNumberEdit.h"
#include "ZilError.h"
#include "ui_Duzenleme.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <unistd.h>

namespace {

void writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList folderEntries(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

bool runningAsRoot() {
    return geteuid() == 0;
}
} // namespace

// One editor on a fresh schedule in a temporary program folder, on Wednesday 3 January 2024 at
// 10:15:20.
struct Editor {
    ScheduleFixture store;
    SimulatedClock clock;
    BellStore bells;
    int refills = 0;
    QString chosenFile;
    TfrmDuzenleme dialog;
    Ui::TfrmDuzenleme &ui;

    Editor()
        : dialog(bells, [this] { ++refills; })
        , ui(*dialog.ui) {
        clock.at = QDateTime(QDate(2024, 1, 3), QTime(10, 15, 20));
        setProgramClock(&clock);
        setProgramFolder(store.folder());
        bells.setFile(store.databaseFile());
        dialog.ChooseMusicFile = [this] { return chosenFile; };
    }
    ~Editor() {
        setProgramClock(nullptr);
        setProgramFolder(QString());
    }

    QString musicFolder() const { return store.folder() + QStringLiteral("Muzikler"); }
    QString sourceFolder() const { return store.folder() + QStringLiteral("kaynak/"); }

    // A music file outside the program folder, as the user would pick it.
    QString source(const QString &name, const QByteArray &content) {
        QDir().mkpath(sourceFolder());
        writeFile(sourceFolder() + name, content);
        return sourceFolder() + name;
    }

    void openNew() {
        dialog.setEditorKipi(1);
        dialog.ShowEditor();
    }
    void openEdit(int kayitId) {
        dialog.setKayitID(kayitId);
        dialog.setEditorKipi(2);
        dialog.ShowEditor();
    }
    void fill(const QString &name, const QTime &start, const QString &music,
              const QString &duration) {
        ui.txtDers->setText(name);
        ui.dtpBaslamaSaati->setTime(start);
        ui.txtMuzik->setText(music);
        ui.txtSure->setText(duration);
    }
    void chooseDay(int index) {
        ui.cmbGunler->setCurrentIndex(index);
        dialog.cmbGunlerChange();
    }
    void clickSave() { QTest::mouseClick(ui.btnYeniKayit, Qt::LeftButton); }
};

class TestEditor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Turkish numbers, so the decimal separator is ",".
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    }

    // --- The window ---------------------------------------------------------------------------

    void windowGeometryAndLook() {
        Editor e;
        TfrmDuzenleme &d = e.dialog;
        QVERIFY(d.isHidden());
        QVERIFY(!d.isModal());
        QCOMPARE(d.windowTitle(), QStringLiteral("Düzenleme"));
        QCOMPARE(d.pos(), QPoint(490, 324));
        QCOMPARE(d.size(), QSize(305, 269));
        QCOMPARE(d.minimumSize(), QSize(305, 269));
        QCOMPARE(d.maximumSize(), QSize(305, 269));
        const Qt::WindowFlags flags = d.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(d.font().family(), QStringLiteral("MS Sans Serif"));

        const QList<std::pair<QWidget *, QRect>> placed = {
            {e.ui.cmbGunler, QRect(120, 16, 145, 21)},
            {e.ui.txtDers, QRect(120, 48, 145, 21)},
            {e.ui.dtpBaslamaSaati, QRect(120, 80, 145, 21)},
            {e.ui.txtMuzik, QRect(120, 112, 145, 21)},
            {e.ui.btnDosyaAc, QRect(264, 112, 25, 21)},
            {e.ui.btnYeniKayit, QRect(64, 212, 89, 41)},
            {e.ui.btnCikis, QRect(161, 212, 89, 41)},
        };
        for (const auto &[widget, rect] : placed)
            QCOMPARE(widget->geometry(), rect);
        // The check box takes the room its caption needs, never less than laid out.
        QCOMPARE(e.ui.cbDigerlereUygula->pos(), QPoint(16, 184));
        QVERIFY(e.ui.cbDigerlereUygula->width() >= 193);
        QVERIFY(e.ui.cbDigerlereUygula->width() >= e.ui.cbDigerlereUygula->sizeHint().width());

        const QList<std::tuple<QLabel *, QPoint, QString>> labels = {
            {e.ui.lblGun, {16, 24}, QStringLiteral("Gün")},
            {e.ui.Label1, {16, 56}, QStringLiteral("Zil Adı")},
            {e.ui.Label2, {16, 88}, QStringLiteral("Başlama Saati")},
            {e.ui.Label4, {16, 120}, QStringLiteral("Müzik")},
            {e.ui.Label3, {16, 152}, QStringLiteral("Müzik Çalma Süresi")},
            {e.ui.Label5, {200, 152}, QStringLiteral("sn")},
        };
        // The duration field and its unit follow the longest caption, which stays on one line.
        const int shift = qMax(0, e.ui.Label3->geometry().right() + 6 - 120);
        QCOMPARE(e.ui.txtSure->geometry(), QRect(120 + shift, 144, 73, 25));
        for (const auto &[label, at, text] : labels) {
            QCOMPARE(label->text(), text);
            QVERIFY(!label->wordWrap());
            QCOMPARE(label->pos(), label == e.ui.Label5 ? at + QPoint(shift, 0) : at);
            QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
        }
        QVERIFY(e.ui.Label3->geometry().right() < e.ui.txtSure->x());
        QVERIFY(e.ui.Label5->geometry().right() < e.dialog.width());
    }

    void controlsStartAsDesigned() {
        Editor e;
        QStringList days;
        for (int i = 0; i < e.ui.cmbGunler->count(); ++i)
            days << e.ui.cmbGunler->itemText(i);
        QCOMPARE(days, GunAdlari());
        QCOMPARE(e.ui.cmbGunler->currentIndex(), -1);
        QVERIFY(!e.ui.cmbGunler->isEditable());
        QCOMPARE(e.ui.txtDers->maxLength(), 50);
        QVERIFY(!e.ui.txtMuzik->isEnabled());
        QCOMPARE(e.ui.btnDosyaAc->text(), QStringLiteral("..."));
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("30"));
        QCOMPARE(e.ui.cbDigerlereUygula->text(),
                 QStringLiteral("Bu Zili Diğer Bütün Günlere Uygula"));
        QVERIFY(e.ui.cbDigerlereUygula->isChecked());
        QCOMPARE(e.ui.dtpBaslamaSaati->displayFormat(), QStringLiteral("HH:mm:ss"));

        QCOMPARE(e.ui.btnYeniKayit->Caption(), QStringLiteral("Kaydet"));
        QCOMPARE(e.ui.btnCikis->Caption(), QStringLiteral("Çıkış"));
        for (TAdvToolButton *button : {e.ui.btnYeniKayit, e.ui.btnCikis}) {
            QCOMPARE(button->Color(), clBtnFace);
            QCOMPARE(button->ColorDown(), TColor(14210002));
            QCOMPARE(button->ColorHot(), TColor(13289415));
            QVERIFY(!button->Glyph().isNull());
            QVERIFY(!button->GlyphDisabled().isNull());
        }
        QCOMPARE(e.ui.btnYeniKayit->Glyph(), QImage(QStringLiteral(":/buttons/kaydet.png")));
        QCOMPARE(e.ui.btnCikis->Glyph(), QImage(QStringLiteral(":/buttons/cikis.png")));
    }

    void musicDialogOffersEveryKindThatPlays() {
        Editor e;
        QFileDialog *od = e.dialog.odMuzikDosyasi();
        QCOMPARE(od->objectName(), QStringLiteral("odMuzikDosyasi"));
        const QString allKinds = QStringLiteral("Ses dosyaları (*.wav *.mp3 *.ogg *.flac)");
        QCOMPARE(od->nameFilters().value(0), allKinds);
        QCOMPARE(od->selectedNameFilter(), allKinds);
        // Started where the user keeps files, not beside the program.
        QVERIFY(
            !QDir(od->directory()).absolutePath().startsWith(QDir(programFolder()).absolutePath()));
        QCOMPARE(od->acceptMode(), QFileDialog::AcceptOpen);
        QVERIFY(!od->filter().testFlag(QDir::CaseSensitive));
        QVERIFY(od->isHidden());

        // The first filter offers every kind the player plays, whatever the case of the
        // extension, and no others.
        QDir().mkpath(e.sourceFolder());
        for (const char *name : {"a.mp3", "b.MP3", "c.Mp3", "d.wav", "e.OGG", "f.flac", "g.txt"})
            writeFile(e.sourceFolder() + QLatin1String(name), "x");
        od->setDirectory(e.sourceFolder());
        auto *model = od->findChild<QFileSystemModel *>();
        QVERIFY(model);
        const auto offered = [&] {
            const QModelIndex folder = model->index(e.sourceFolder());
            QStringList names;
            for (int row = 0; row < model->rowCount(folder); ++row) {
                const QModelIndex index = model->index(row, 0, folder);
                if (model->flags(index).testFlag(Qt::ItemIsEnabled))
                    names << index.data().toString();
            }
            names.sort();
            return names;
        };
        QTRY_COMPARE(offered(),
                     QStringList({"a.mp3", "b.MP3", "c.Mp3", "d.wav", "e.OGG", "f.flac"}));
    }

    // --- The whole-number field ------------------------------------------------------------

    void durationTyping_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("refused");
        QTest::newRow("digits") << "1234567890"
                                << "1234567890" << 0;
        QTest::newRow("signs") << "+-5"
                               << "+-5" << 0;
        QTest::newRow("decimal separator") << "1,5"
                                           << "1,5" << 0;
        QTest::newRow("other separator") << "1.5"
                                         << "15" << 1;
        QTest::newRow("letters") << "a1b"
                                 << "1" << 2;
        QTest::newRow("blank") << " 7"
                               << "7" << 1;
        QTest::newRow("Turkish letter") << "ş9"
                                        << "9" << 1;
        QTest::newRow("backspace") << "12\b"
                                   << "1" << 0;
    }
    void durationTyping() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, refused);
        WholeNumberEdit field;
        QSignalSpy refusals(&field, &WholeNumberEdit::keyRefused);
        field.setText(QString());
        for (const QChar c : typed) {
            if (c == QLatin1Char('\b'))
                QTest::keyClick(field.lineEdit(), Qt::Key_Backspace);
            else
                QTest::sendKeyEvent(QTest::Click, field.lineEdit(), Qt::Key_unknown, c,
                                    Qt::NoModifier);
        }
        QCOMPARE(field.text(), shown);
        QCOMPARE(refusals.count(), refused);
    }

    void enterIsRefusedAndGoesNoFurther() {
        Editor e;
        e.openNew();
        e.fill(QStringLiteral("1. Ders"), QTime(8, 30), QStringLiteral("zil.mp3"),
               QStringLiteral("30"));
        QSignalSpy refusals(e.ui.txtSure, &WholeNumberEdit::keyRefused);
        QTest::keyClick(e.ui.txtSure->lineEdit(), Qt::Key_Return);
        QTest::keyClick(e.ui.txtSure->lineEdit(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(refusals.count(), 2);
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("30"));
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.store.count(), 0);
    }

    void durationSteps_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("result");
        QTest::newRow("up key") << "30"
                                << "key up"
                                << "31";
        QTest::newRow("down key") << "30"
                                  << "key down"
                                  << "29";
        QTest::newRow("up arrow") << "30"
                                  << "arrow up"
                                  << "31";
        QTest::newRow("down arrow") << "30"
                                    << "arrow down"
                                    << "29";
        QTest::newRow("below zero") << "0"
                                    << "arrow down"
                                    << "-1";
        QTest::newRow("letters count as 0") << "abc"
                                            << "key up"
                                            << "1";
        QTest::newRow("decimal counts as 0") << "1,5"
                                             << "arrow down"
                                             << "-1";
        QTest::newRow("sign alone counts as 0") << "-"
                                                << "key up"
                                                << "1";
        QTest::newRow("empty counts as 0") << ""
                                           << "arrow up"
                                           << "1";
        QTest::newRow("plus sign") << "+4"
                                   << "key up"
                                   << "5";
        QTest::newRow("top of int") << "2147483647"
                                    << "arrow up"
                                    << "2147483647";
        QTest::newRow("bottom of int") << "-2147483648"
                                       << "key down"
                                       << "-2147483648";
    }
    void durationSteps() {
        QFETCH(QString, start);
        QFETCH(QString, how);
        QFETCH(QString, result);
        WholeNumberEdit field;
        field.resize(73, 25);
        field.setText(start);
        if (how == QLatin1String("key up"))
            QTest::keyClick(field.lineEdit(), Qt::Key_Up);
        else if (how == QLatin1String("key down"))
            QTest::keyClick(field.lineEdit(), Qt::Key_Down);
        else if (how == QLatin1String("arrow up"))
            QTest::mouseClick(field.upButton(), Qt::LeftButton);
        else
            QTest::mouseClick(field.downButton(), Qt::LeftButton);
        QCOMPARE(field.text(), result);
    }

    void holdingAnArrowRepeats() {
        WholeNumberEdit field;
        field.resize(73, 25);
        field.setValue(30);
        QToolButton *up = field.upButton();
        QCOMPARE(up->autoRepeatDelay(), 400);
        QCOMPARE(up->autoRepeatInterval(), 100);
        QCOMPARE(field.downButton()->autoRepeatDelay(), 400);
        QCOMPARE(field.downButton()->autoRepeatInterval(), 100);

        QTest::mousePress(up, Qt::LeftButton);
        QCOMPARE(field.value(), 31);
        QTest::qWait(250);
        QCOMPARE(field.value(), 31);
        QTRY_VERIFY_WITH_TIMEOUT(field.value() >= 34, 3000);
        QTest::mouseRelease(up, Qt::LeftButton);
        const int released = field.value();
        QTest::qWait(300);
        QCOMPARE(field.value(), released);
    }

    // --- Showing ------------------------------------------------------------------------------

    void newBellPreselectsToday_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("index");
        QTest::newRow("Wednesday") << QDate(2024, 1, 3) << 2;
        QTest::newRow("Monday") << QDate(2024, 1, 1) << 0;
        QTest::newRow("Saturday") << QDate(2024, 1, 6) << 5;
        QTest::newRow("Sunday") << QDate(2024, 1, 7) << 6;
    }
    void newBellPreselectsToday() {
        QFETCH(QDate, today);
        QFETCH(int, index);
        Editor e;
        e.clock.at = QDateTime(today, QTime(10, 15, 20, 600));
        e.fill(QStringLiteral("eski"), QTime(7, 0), QStringLiteral("eski.mp3"),
               QStringLiteral("45"));
        // The main window puts its own day there first.
        e.ui.cmbGunler->setCurrentIndex(index == 4 ? 3 : 4);
        e.openNew();
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.dialog.windowTitle(), QStringLiteral("Yeni Kayıt"));
        QCOMPARE(e.ui.cmbGunler->currentIndex(), index);
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), QTime(10, 15, 20));
        QVERIFY(e.ui.txtDers->text().isEmpty());
        QVERIFY(e.ui.txtMuzik->text().isEmpty());
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("45"));
        QVERIFY(e.ui.cbDigerlereUygula->isVisible());
        // The copy option follows the preselected day.
        QCOMPARE(e.ui.cbDigerlereUygula->isEnabled(), index <= 4);
    }

    void editLoadsEveryField_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QString>("name");
        QTest::newRow("midnight") << "00:00:00" << QTime(0, 0) << "Gece \"nöbeti\"";
        QTest::newRow("morning") << "08:30:00" << QTime(8, 30) << "1. Ders";
        QTest::newRow("last second") << "23:59:59" << QTime(23, 59, 59) << "Çıkış zili";
        QTest::newRow("long name") << "12:00:05" << QTime(12, 0, 5) << QString(60, u'ğ');
    }
    void editLoadsEveryField() {
        QFETCH(QString, stored);
        QFETCH(QTime, start);
        QFETCH(QString, name);
        Editor e;
        const int id = e.store.insert(4, name, stored, QStringLiteral("okul zili.mp3"), 25);
        e.store.insert(1, QStringLiteral("başka"), QStringLiteral("09:00:00"),
                       QStringLiteral("b.mp3"), 5);
        e.ui.dtpBaslamaSaati->setTime(QTime(13, 14, 15));
        e.openEdit(id);
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.dialog.windowTitle(), QStringLiteral("Kayıt Düzenleme"));
        QCOMPARE(e.ui.cmbGunler->currentIndex(), 4);
        QCOMPARE(e.ui.txtDers->text(), name);
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), start);
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("okul zili.mp3"));
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("25"));
        QVERIFY(e.ui.cbDigerlereUygula->isHidden());
        QCOMPARE(e.refills, 0);
    }

    void editWithUnreadableTimeStillShows() {
        Editor e;
        const int id = e.store.insert(3, QStringLiteral("Bozuk"), QStringLiteral("sabah"),
                                      QStringLiteral("zil.mp3"), 12);
        e.ui.dtpBaslamaSaati->setTime(QTime(13, 14, 15));
        e.dialog.setKayitID(id);
        e.dialog.setEditorKipi(2);
        try {
            e.dialog.ShowEditor();
            QFAIL("no error for a start time that is not a time");
        } catch (const EConvertError &error) {
            QCOMPARE(error.message(),
                     QStringLiteral("Başlama saati 'sabah' okunamadı: saati yeniden seçin"));
        }
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.ui.cmbGunler->currentIndex(), 3);
        QCOMPARE(e.ui.txtDers->text(), QStringLiteral("Bozuk"));
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("zil.mp3"));
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("12"));
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), QTime(13, 14, 15));
    }

    void editOfMissingBellSaysSo() {
        Editor e;
        e.store.insert(0, QStringLiteral("var"), QStringLiteral("08:00:00"),
                       QStringLiteral("a.mp3"), 5);
        e.dialog.setKayitID(999);
        e.dialog.setEditorKipi(2);
        try {
            e.dialog.ShowEditor();
            QFAIL("no error for a bell that is not there");
        } catch (const ZilError &error) {
            QVERIFY(error.message().contains(QStringLiteral("bulunamadı")));
        }
        QVERIFY(e.dialog.isHidden());
        QCOMPARE(e.refills, 1);
    }

    void otherModesLeaveTheFields() {
        Editor e;
        e.fill(QStringLiteral("kalsın"), QTime(9, 9, 9), QStringLiteral("k.mp3"),
               QStringLiteral("7"));
        e.ui.cmbGunler->setCurrentIndex(5);
        e.dialog.setEditorKipi(0);
        e.dialog.ShowEditor();
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.dialog.windowTitle(), QStringLiteral("Düzenleme"));
        QCOMPARE(e.ui.txtDers->text(), QStringLiteral("kalsın"));
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("k.mp3"));
        QCOMPARE(e.ui.cmbGunler->currentIndex(), 5);
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), QTime(9, 9, 9));
    }

    void commandsWhileOpenReloadTheFields() {
        Editor e;
        const int id = e.store.insert(1, QStringLiteral("2. Ders"), QStringLiteral("09:40:00"),
                                      QStringLiteral("b.wav"), 20);
        e.openNew();
        e.fill(QStringLiteral("yarım"), QTime(7, 7), QStringLiteral("y.mp3"), QStringLiteral("9"));

        // Edit while the new-bell dialog is open.
        e.openEdit(id);
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.dialog.windowTitle(), QStringLiteral("Kayıt Düzenleme"));
        QCOMPARE(e.ui.txtDers->text(), QStringLiteral("2. Ders"));
        QCOMPARE(e.ui.cmbGunler->currentIndex(), 1);
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), QTime(9, 40));
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("b.wav"));
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("20"));
        QVERIFY(e.ui.cbDigerlereUygula->isHidden());

        // New while the edit dialog is open: today's day, not the main window's.
        e.ui.cmbGunler->setCurrentIndex(6);
        e.openNew();
        QCOMPARE(e.dialog.windowTitle(), QStringLiteral("Yeni Kayıt"));
        QCOMPARE(e.ui.cmbGunler->currentIndex(), 2);
        QVERIFY(e.ui.txtDers->text().isEmpty());
        QVERIFY(e.ui.txtMuzik->text().isEmpty());
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), QTime(10, 15, 20));
        QVERIFY(e.ui.cbDigerlereUygula->isVisible());

        // Saving now writes a new bell, not the edited one.
        e.fill(QStringLiteral("yeni"), QTime(11, 0), QStringLiteral("n.mp3"), QStringLiteral("10"));
        e.ui.cbDigerlereUygula->setChecked(false);
        e.clickSave();
        QCOMPARE(e.store.count(), 2);
        QCOMPARE(e.store.rows().at(0).at(2).toString(), QStringLiteral("2. Ders"));
    }

    void dayChangeSetsTheCopyOption_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("enabled");
        for (int i = 0; i < 7; ++i)
            QTest::addRow("%s", qPrintable(GunAdlari().at(i))) << i << (i <= 4);
    }
    void dayChangeSetsTheCopyOption() {
        QFETCH(int, index);
        QFETCH(bool, enabled);
        Editor e;
        e.openNew();
        for (bool checked : {true, false}) {
            e.ui.cbDigerlereUygula->setChecked(checked);
            e.ui.cmbGunler->setCurrentIndex(index == 0 ? 1 : 0);
            e.dialog.cmbGunlerChange();
            // The user's choice through the list itself.
            QSignalSpy activated(e.ui.cmbGunler, &QComboBox::activated);
            e.ui.cmbGunler->setFocus();
            while (e.ui.cmbGunler->currentIndex() != index)
                QTest::keyClick(e.ui.cmbGunler,
                                index > e.ui.cmbGunler->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
            QVERIFY(activated.count() > 0);
            QCOMPARE(e.ui.cbDigerlereUygula->isEnabled(), enabled);
            QCOMPARE(e.ui.cbDigerlereUygula->isChecked(), checked && enabled);
        }
    }

    // --- Saving -------------------------------------------------------------------------------

    void newBellRows_data() {
        QTest::addColumn<int>("day");
        QTest::addColumn<bool>("copy");
        QTest::addColumn<QList<int>>("days");
        QTest::newRow("Wednesday, copied") << 2 << true << QList<int>{2, 0, 1, 3, 4};
        QTest::newRow("Wednesday alone") << 2 << false << QList<int>{2};
        QTest::newRow("Monday, copied") << 0 << true << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("Friday, copied") << 4 << true << QList<int>{4, 0, 1, 2, 3};
        QTest::newRow("Saturday, box checked before") << 5 << true << QList<int>{5};
        QTest::newRow("Sunday alone") << 6 << false << QList<int>{6};
    }
    void newBellRows() {
        QFETCH(int, day);
        QFETCH(bool, copy);
        QFETCH(QList<int>, days);
        Editor e;
        e.openNew();
        e.ui.cbDigerlereUygula->setChecked(copy);
        e.chooseDay(day);
        const QString name = QStringLiteral("1. Ders \"Günaydın\" 'ş'");
        e.fill(name, QTime(8, 30), QStringLiteral("okul zili.mp3"), QStringLiteral("30"));
        e.clickSave();

        const QList<QVariantList> rows = e.store.rows();
        QCOMPARE(rows.size(), days.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i][1].toInt(), days[i]);
            QCOMPARE(rows[i][2].toString(), name);
            QCOMPARE(rows[i][3].toString(), QStringLiteral("08:30:00"));
            QCOMPARE(rows[i][4].toString(), QStringLiteral("okul zili.mp3"));
            QCOMPARE(rows[i][5].toInt(), 30);
        }
        QVERIFY(e.dialog.isHidden());
        QCOMPARE(e.refills, 1);
        QVERIFY(e.ui.txtDers->text().isEmpty());
        QVERIFY(e.ui.txtMuzik->text().isEmpty());
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("30"));
    }

    void newBellOnAWeekendIsNotCopiedByABoxLeftTicked() {
        Editor e;
        e.clock.at = QDateTime(QDate(2024, 1, 6), QTime(9, 0)); // a Saturday
        e.ui.cbDigerlereUygula->setChecked(true);               // from a working day's bell before
        e.openNew();
        QVERIFY(!e.ui.cbDigerlereUygula->isEnabled());
        QVERIFY(!e.ui.cbDigerlereUygula->isChecked());
        e.fill(QStringLiteral("Nöbet"), QTime(9, 30), QStringLiteral("a.mp3"),
               QStringLiteral("30"));
        e.clickSave();
        const QList<QVariantList> rows = e.store.rows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][1].toInt(), 5);
    }

    void midnightStartIsSavedAndLoaded() {
        Editor e;
        e.openNew();
        e.ui.cbDigerlereUygula->setChecked(false);
        e.fill(QStringLiteral("Gece"), QTime(0, 0), QStringLiteral("g.mp3"), QStringLiteral("3"));
        e.clickSave();
        const QList<QVariantList> rows = e.store.rows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][3].toString(), QStringLiteral("00:00:00"));
        e.ui.dtpBaslamaSaati->setTime(QTime(5, 5, 5));
        e.openEdit(rows[0][0].toInt());
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), QTime(0, 0));
    }

    void durationOnSave_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("negative") << "-7" << 7 << "";
        QTest::newRow("zero") << "0" << 0 << "";
        QTest::newRow("minus zero") << "-0" << 0 << "";
        QTest::newRow("plus sign") << "+12" << 12 << "+12";
        QTest::newRow("leading zeros") << "007" << 7 << "007";
        QTest::newRow("largest") << "2147483647" << 2147483647 << "2147483647";
        QTest::newRow("sign alone") << "-" << -1 << "-";
        QTest::newRow("decimal") << "1,5" << -1 << "1,5";
        QTest::newRow("pasted letters") << "abc" << -1 << "abc";
        QTest::newRow("too large") << "99999999999" << -1 << "99999999999";
        QTest::newRow("lowest int") << "-2147483648" << -1 << "-2147483648";
    }
    void durationOnSave() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(QString, shownAfter);
        Editor e;
        e.openNew();
        e.ui.cbDigerlereUygula->setChecked(false);
        e.fill(QStringLiteral("Teneffüs"), QTime(9, 20), QStringLiteral("t.mp3"), typed);
        if (stored < 0) {
            try {
                e.dialog.btnYeniKayitClick();
                QFAIL("no conversion error");
            } catch (const EConvertError &error) {
                QCOMPARE(error.message(),
                         QStringLiteral("Süre '%1' okunamadı: saniyeyi rakamla yazın").arg(typed));
            }
            QCOMPARE(e.store.count(), 0);
            QVERIFY(e.dialog.isVisible());
            QCOMPARE(e.ui.txtSure->text(), shownAfter);
            QCOMPARE(e.ui.txtDers->text(), QStringLiteral("Teneffüs"));
            QCOMPARE(e.refills, 0);
            return;
        }
        e.clickSave();
        const QList<QVariantList> rows = e.store.rows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][5].toInt(), stored);
        QCOMPARE(rows[0][5].typeId(), QMetaType::LongLong);
        QCOMPARE(e.ui.txtSure->text(), shownAfter.isEmpty() ? QString::number(stored) : shownAfter);
    }

    void emptyFieldsAreRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("music");
        QTest::addColumn<QString>("duration");
        QTest::newRow("name") << ""
                              << "a.mp3"
                              << "30";
        QTest::newRow("music") << "1. Ders"
                               << ""
                               << "30";
        QTest::newRow("duration") << "1. Ders"
                                  << "a.mp3"
                                  << "";
        QTest::newRow("all") << ""
                             << ""
                             << "";
    }
    void emptyFieldsAreRefused() {
        QFETCH(QString, name);
        QFETCH(QString, music);
        QFETCH(QString, duration);
        for (int kip : {1, 2}) {
            Editor e;
            const int id = e.store.insert(0, QStringLiteral("eski"), QStringLiteral("08:00:00"),
                                          QStringLiteral("e.mp3"), 5);
            if (kip == 1)
                e.openNew();
            else
                e.openEdit(id);
            e.fill(name, QTime(8, 30), music, duration);
            BoxAnswerer messages;
            e.clickSave();
            QCOMPARE(messages.texts,
                     QStringList{QStringLiteral("Ders veya Muzik alanları boş girilemez!")});
            QCOMPARE(messages.titles, QStringList{e.dialog.windowTitle()});
            QCOMPARE(e.store.rows(), (QList<QVariantList>{{id, 0, QStringLiteral("eski"),
                                                           QStringLiteral("08:00:00"),
                                                           QStringLiteral("e.mp3"), 5}}));
            QVERIFY(e.dialog.isVisible());
            QCOMPARE(e.refills, 0);
        }
    }

    void controlCharactersInTheNameAndPastedLettersInTheDurationAreRefused() {
        Editor e;
        e.openNew();
        e.fill(QStringLiteral("3. Ders\tÖğle"), QTime(8, 30), QStringLiteral("a.mp3"),
               QStringLiteral("30"));
        {
            BoxAnswerer boxes;
            e.clickSave();
            QCOMPARE(boxes.texts, QStringList{QStringLiteral(
                                      "Ders adında sekme, satır sonu gibi görünmeyen denetim "
                                      "karakterleri olamaz!")});
        }
        QCOMPARE(e.store.count(), 0);
        QVERIFY(e.dialog.isVisible());

        QSignalSpy refused(e.ui.txtSure, &WholeNumberEdit::keyRefused);
        QGuiApplication::clipboard()->setText(QStringLiteral("12abc"));
        e.ui.txtSure->lineEdit()->selectAll();
        e.ui.txtSure->lineEdit()->paste();
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("30"));
        QCOMPARE(refused.count(), 1);
    }

    void ctrlSSavesAsKaydetDoes() {
        Editor e;
        e.openNew();
        e.ui.cbDigerlereUygula->setChecked(false);
        e.fill(QStringLiteral("1. Ders"), QTime(8, 30), QStringLiteral("a.mp3"),
               QStringLiteral("30"));
        QVERIFY(QTest::qWaitForWindowActive(&e.dialog));
        QTest::keyClick(e.ui.txtDers, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(e.store.count(), 1);
        QVERIFY(e.dialog.isHidden());
        QCOMPARE(e.refills, 1);
    }

    void digitsTypedAfterAClickReplaceTheTimeFromThere() {
        Editor e;
        e.openNew();
        QVERIFY(QTest::qWaitForWindowActive(&e.dialog));
        QLineEdit *text = e.ui.dtpBaslamaSaati->findChild<QLineEdit *>();
        QVERIFY(text);
        // Into the hours, between their two digits.
        QTest::mouseClick(text, Qt::LeftButton, {},
                          QPoint(text->fontMetrics().horizontalAdvance(QStringLiteral("1")) + 2,
                                 text->height() / 2));
        QTest::keyClicks(e.ui.dtpBaslamaSaati, QStringLiteral("083000"));
        QCOMPARE(e.ui.dtpBaslamaSaati->time(), QTime(8, 30, 0));
    }

    void saveWithoutADayIsRefused() {
        Editor e;
        e.dialog.setEditorKipi(1);
        e.fill(QStringLiteral("1. Ders"), QTime(8, 30), QStringLiteral("a.mp3"),
               QStringLiteral("30"));
        QCOMPARE(e.ui.cmbGunler->currentIndex(), -1);
        BoxAnswerer messages;
        e.dialog.btnYeniKayitClick();
        QCOMPARE(messages.texts, QStringList{QStringLiteral("Lütfen bir gün seçin!")});
        QCOMPARE(e.store.count(), 0);
        QCOMPARE(e.refills, 0);
    }

    void editWritesEveryFieldAndNoMoreRows() {
        Editor e;
        const int id = e.store.insert(1, QStringLiteral("1. Ders"), QStringLiteral("08:30:00"),
                                      QStringLiteral("eski.mp3"), 30);
        const int other = e.store.insert(2, QStringLiteral("öteki"), QStringLiteral("10:00:00"),
                                         QStringLiteral("o.mp3"), 15);
        e.openEdit(id);
        QVERIFY(e.ui.cbDigerlereUygula->isChecked());
        e.chooseDay(3);
        e.ui.txtDers->setText(QStringLiteral("Öğle arası"));
        e.ui.dtpBaslamaSaati->setTime(QTime(12, 5, 9));
        e.ui.txtSure->setText(QStringLiteral("-45"));
        e.chosenFile = e.source(QStringLiteral("yeni zil.mp3"), "yeni");
        e.dialog.btnDosyaAcClick();
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("yeni zil.mp3"));
        e.clickSave();

        const QList<QVariantList> rows = e.store.rows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0],
                 (QVariantList{id, 3, QStringLiteral("Öğle arası"), QStringLiteral("12:05:09"),
                               QStringLiteral("yeni zil.mp3"), 45}));
        QCOMPARE(rows[1], (QVariantList{other, 2, QStringLiteral("öteki"),
                                        QStringLiteral("10:00:00"), QStringLiteral("o.mp3"), 15}));
        QVERIFY(e.dialog.isHidden());
        QCOMPARE(e.refills, 1);
    }

    void savingAnEditOfADeletedBellSaysSo() {
        Editor e;
        const int id = e.store.insert(1, QStringLiteral("1. Ders"), QStringLiteral("08:30:00"),
                                      QStringLiteral("a.mp3"), 30);
        e.openEdit(id);
        e.ui.txtDers->setText(QStringLiteral("değişti"));
        e.store.exec(QStringLiteral("DELETE FROM Dersler WHERE KayitID=?"), {id});
        try {
            e.dialog.btnYeniKayitClick();
            QFAIL("no message for a bell that was deleted");
        } catch (const ZilError &error) {
            QVERIFY(error.message().contains(QStringLiteral("silinmiş")));
        }
        QCOMPARE(e.store.count(), 0);
        QCOMPARE(e.refills, 1);
        QVERIFY(e.dialog.isHidden());
    }

    void storeFailureWritesNothing() {
        Editor e;
        // Thursday's copy is refused, after the chosen day and two copies went in.
        e.store.exec(QStringLiteral("CREATE TRIGGER perşembe_yok BEFORE INSERT ON Dersler "
                                    "WHEN NEW.GunID = 3 BEGIN SELECT RAISE(ABORT, 'kapalı'); "
                                    "END"));
        e.openNew();
        e.fill(QStringLiteral("1. Ders"), QTime(8, 30), QStringLiteral("a.mp3"),
               QStringLiteral("30"));
        QVERIFY(e.ui.cbDigerlereUygula->isChecked());
        try {
            e.dialog.btnYeniKayitClick();
            QFAIL("the refused copy went unnoticed");
        } catch (const EStoreError &error) {
            QVERIFY(error.message().contains(QStringLiteral("kapalı")));
        }
        QCOMPARE(e.store.count(), 0);
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.refills, 0);
        QCOMPARE(e.ui.txtDers->text(), QStringLiteral("1. Ders"));

        // With the day fixed, the same bell goes in whole.
        e.store.exec(QStringLiteral("DROP TRIGGER perşembe_yok"));
        e.clickSave();
        QCOMPARE(e.store.count(), 5);
    }

    void storeFailureOfAnEditChangesNothing() {
        Editor e;
        const int id = e.store.insert(1, QStringLiteral("1. Ders"), QStringLiteral("08:30:00"),
                                      QStringLiteral("a.mp3"), 30);
        e.store.exec(QStringLiteral("CREATE TRIGGER degismez BEFORE UPDATE ON Dersler BEGIN "
                                    "SELECT RAISE(ABORT, 'salt okunur'); END"));
        e.openEdit(id);
        e.ui.txtDers->setText(QStringLiteral("yeni ad"));
        QVERIFY_THROWS_EXCEPTION(EStoreError, e.dialog.btnYeniKayitClick());
        QCOMPARE(e.store.rows().at(0).at(2).toString(), QStringLiteral("1. Ders"));
        QVERIFY(e.dialog.isVisible());
        QCOMPARE(e.refills, 0);
    }

    void closingKeepsTheFieldsAndWritesNothing() {
        Editor e;
        e.openNew();
        e.fill(QStringLiteral("taslak"), QTime(8, 0), QStringLiteral("t.mp3"),
               QStringLiteral("12"));
        QTest::mouseClick(e.ui.btnCikis, Qt::LeftButton);
        QVERIFY(e.dialog.isHidden());
        QCOMPARE(e.store.count(), 0);
        QCOMPARE(e.ui.txtDers->text(), QStringLiteral("taslak"));
        e.dialog.ShowEditor();
        QCOMPARE(e.ui.txtSure->text(), QStringLiteral("12"));
        QTest::keyClick(&e.dialog, Qt::Key_Escape);
        QVERIFY(e.dialog.isHidden());
        QCOMPARE(e.store.count(), 0);
    }

    // --- Importing music -----------------------------------------------------------------------

    void cancelledImportOnlyMakesTheFolder() {
        Editor e;
        e.ui.txtMuzik->setText(QStringLiteral("önceki.mp3"));
        QVERIFY(!QFileInfo::exists(e.musicFolder()));
        e.chosenFile.clear();
        e.dialog.btnDosyaAcClick();
        QVERIFY(QFileInfo(e.musicFolder()).isDir());
        QVERIFY(folderEntries(e.musicFolder()).isEmpty());
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("önceki.mp3"));
    }

    void importKeepsTheWholeName_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "zil.mp3";
        QTest::newRow("blanks") << "okul zili  sabah.mp3";
        QTest::newRow("quotes") << "\"tırnaklı\" 'zil'.wav";
        QTest::newRow("Turkish letters") << "Çalış Şarkısı ğüİıÖ.Mp3";
        QTest::newRow("statement text") << "a\";DROP TABLE Dersler;--.mp3";
        QTest::newRow("long") << QString(120, u'ş') + QStringLiteral(".mp3");
        QTest::newRow("no extension") << "zil";
    }
    void importKeepsTheWholeName() {
        QFETCH(QString, name);
        Editor e;
        e.openNew();
        e.chosenFile = e.source(name, "müzik " + name.toUtf8());
        e.dialog.btnDosyaAcClick();
        QCOMPARE(e.ui.txtMuzik->text(), name);
        QCOMPARE(folderEntries(e.musicFolder()), QStringList{name});
        QCOMPARE(readFile(e.musicFolder() + QLatin1Char('/') + name), "müzik " + name.toUtf8());
        QVERIFY(QFileInfo::exists(e.chosenFile));

        e.ui.cbDigerlereUygula->setChecked(false);
        e.fill(QStringLiteral("1. Ders"), QTime(8, 0), e.ui.txtMuzik->text(), QStringLiteral("30"));
        e.clickSave();
        QCOMPARE(e.store.rows().at(0).at(4).toString(), name);
    }

    void importOfTheSameFileReusesIt() {
        Editor e;
        QDir().mkpath(e.musicFolder());
        writeFile(e.musicFolder() + QStringLiteral("/zil.mp3"), "aynı içerik");
        const QDateTime before =
            QFileInfo(e.musicFolder() + QStringLiteral("/zil.mp3")).lastModified();
        e.chosenFile = e.source(QStringLiteral("zil.mp3"), "aynı içerik");
        e.dialog.btnDosyaAcClick();
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("zil.mp3"));
        QCOMPARE(folderEntries(e.musicFolder()), QStringList{QStringLiteral("zil.mp3")});
        QCOMPARE(QFileInfo(e.musicFolder() + QStringLiteral("/zil.mp3")).lastModified(), before);

        // A file picked from Muzikler itself is its own copy.
        e.ui.txtMuzik->clear();
        e.chosenFile = e.musicFolder() + QStringLiteral("/zil.mp3");
        e.dialog.btnDosyaAcClick();
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("zil.mp3"));
        QCOMPARE(folderEntries(e.musicFolder()), QStringList{QStringLiteral("zil.mp3")});
    }

    void importOfAnotherFileOfTheSameNameTakesAFreeName() {
        Editor e;
        QDir().mkpath(e.musicFolder());
        writeFile(e.musicFolder() + QStringLiteral("/zil.mp3"), "birinci");

        e.chosenFile = e.source(QStringLiteral("zil.mp3"), "ikinci");
        e.dialog.btnDosyaAcClick();
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("zil (2).mp3"));
        QCOMPARE(readFile(e.musicFolder() + QStringLiteral("/zil.mp3")), "birinci");
        QCOMPARE(readFile(e.musicFolder() + QStringLiteral("/zil (2).mp3")), "ikinci");

        writeFile(e.chosenFile, "üçüncü, biraz daha uzun");
        e.dialog.btnDosyaAcClick();
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("zil (3).mp3"));
        QCOMPARE(readFile(e.musicFolder() + QStringLiteral("/zil (3).mp3")),
                 "üçüncü, biraz daha uzun");

        // The second file again: its earlier copy is used.
        writeFile(e.chosenFile, "ikinci");
        e.dialog.btnDosyaAcClick();
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("zil (2).mp3"));
        QCOMPARE(folderEntries(e.musicFolder()),
                 QStringList({QStringLiteral("zil (2).mp3"), QStringLiteral("zil (3).mp3"),
                              QStringLiteral("zil.mp3")}));
    }

    void freeNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("second");
        QTest::newRow("extension") << "zil.mp3"
                                   << "zil (2).mp3";
        QTest::newRow("dots") << "okul.zili.wav"
                              << "okul.zili (2).wav";
        QTest::newRow("no extension") << "zil"
                                      << "zil (2)";
        QTest::newRow("dot file") << ".mp3"
                                  << ".mp3 (2)";
    }
    void freeNames() {
        QFETCH(QString, name);
        QFETCH(QString, second);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/Muzikler");
        QDir().mkpath(folder);
        QDir().mkpath(dir.path() + QStringLiteral("/k"));
        const QString source = dir.path() + QStringLiteral("/k/") + name;
        writeFile(source, "yeni");
        QCOMPARE(musicImportName(source, folder), name);
        writeFile(folder + QLatin1Char('/') + name, "eski");
        QCOMPARE(musicImportName(source, folder), second);
        writeFile(folder + QLatin1Char('/') + name, "yeni");
        QCOMPARE(musicImportName(source, folder), name);
    }

    void importOfAMissingFileSaysSo() {
        Editor e;
        e.ui.txtMuzik->setText(QStringLiteral("önceki.mp3"));
        e.chosenFile = e.sourceFolder() + QStringLiteral("olmayan.mp3");
        try {
            e.dialog.btnDosyaAcClick();
            QFAIL("no message for a missing file");
        } catch (const ZilError &error) {
            QVERIFY(error.message().startsWith(QStringLiteral("Seçilen müzik dosyası bulunamadı")));
            QVERIFY(error.message().contains(QStringLiteral("olmayan.mp3")));
        }
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("önceki.mp3"));
        QVERIFY(QFileInfo(e.musicFolder()).isDir());
        QVERIFY(folderEntries(e.musicFolder()).isEmpty());
    }

    void importOfAnUnreadableFileSaysSo() {
        if (runningAsRoot())
            QSKIP("file permissions do not bind root");
        Editor e;
        e.ui.txtMuzik->setText(QStringLiteral("önceki.mp3"));
        e.chosenFile = e.source(QStringLiteral("gizli.mp3"), "gizli");
        QFile::setPermissions(e.chosenFile, QFileDevice::Permissions());
        try {
            e.dialog.btnDosyaAcClick();
            QFAIL("no message for an unreadable file");
        } catch (const ZilError &error) {
            QVERIFY(error.message().startsWith(QStringLiteral("Seçilen müzik dosyası okunamadı")));
        }
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("önceki.mp3"));
        QVERIFY(folderEntries(e.musicFolder()).isEmpty());
    }

    void importIntoAReadOnlyFolderSaysSo() {
        Editor e;
        e.ui.txtMuzik->setText(QStringLiteral("önceki.mp3"));
        QDir().mkpath(e.musicFolder());
        QFile::setPermissions(e.musicFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QFileInfo(e.musicFolder()).isWritable()) {
            // Permissions do not bind root: Muzikler then leads into a file system that takes no
            // new files.
            QVERIFY(QDir().rmdir(e.musicFolder()));
            QVERIFY(QFile::link(QStringLiteral("/proc"), e.musicFolder()));
        }
        e.chosenFile = e.source(QStringLiteral("zil.mp3"), "zil");
        try {
            e.dialog.btnDosyaAcClick();
            QFAIL("no message for a folder that cannot be written");
        } catch (const ZilError &error) {
            QVERIFY(error.message().contains(QStringLiteral("kopyalanamadı")));
            QVERIFY(error.message().contains(QStringLiteral("zil.mp3")));
        }
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("önceki.mp3"));
        QVERIFY(!QFileInfo::exists(e.musicFolder() + QStringLiteral("/zil.mp3")));
        QFile::setPermissions(e.musicFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner);
    }

    void importWhenTheFolderCannotBeMadeSaysSo() {
        Editor e;
        e.ui.txtMuzik->setText(QStringLiteral("önceki.mp3"));
        // A plain file where the folder belongs.
        writeFile(e.musicFolder(), "dosya");
        e.chosenFile = e.source(QStringLiteral("zil.mp3"), "zil");
        try {
            e.dialog.btnDosyaAcClick();
            QFAIL("no message for a folder that cannot be made");
        } catch (const ZilError &error) {
            QVERIFY(error.message().startsWith(QStringLiteral("Muzikler klasörü oluşturulamadı")));
        }
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("önceki.mp3"));
        QCOMPARE(readFile(e.musicFolder()), QByteArray("dosya"));
    }

    void programSoundFromItsMenu() {
        Editor e;
        e.openNew();
        QVERIFY(e.ui.btnProgramSesleri->menu());
        QStringList titles;
        QAction *siren = nullptr;
        for (QAction *action : e.ui.btnProgramSesleri->menu()->actions()) {
            if (!action->isSeparator())
                titles << action->text();
            if (action->text() == QStringLiteral("Dalgalı siren"))
                siren = action;
        }
        QCOMPARE(titles, QStringList({"Öğrenci zili", "Öğretmen zili", "Çıkış zili", "Sabit siren",
                                      "Dalgalı siren", "Kesik siren", "Anons çanı",
                                      "Deprem tatbikatı sinyali", "Tahliye sinyali"}));
        siren->trigger();
        const QString name = QStringLiteral("Programın sesleri/Dalgalı siren.wav");
        QCOMPARE(e.ui.txtMuzik->text(), name);
        const QString file = e.musicFolder() + QLatin1Char('/') + name;
        // Gone before the bell is saved: made again, so the bell never names a missing file.
        QVERIFY(QFile::remove(file));
        e.ui.txtDers->setText(QStringLiteral("Tatbikat"));
        e.clickSave();
        QCOMPARE(e.bells.dayBells(2).value(0).music, name);
        QVERIFY(QFileInfo(file).size() > 1'000'000);
    }

    void importButtonRunsTheImport() {
        Editor e;
        e.openNew();
        e.chosenFile = e.source(QStringLiteral("düğme.wav"), "wav");
        QTest::mouseClick(e.ui.btnDosyaAc, Qt::LeftButton);
        QCOMPARE(e.ui.txtMuzik->text(), QStringLiteral("düğme.wav"));
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
