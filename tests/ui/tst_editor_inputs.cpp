// Bad input typed into the bell editor: each case is either saved and read back exactly (the
// stored row, the main window's list and the editor in edit mode) or refused with a message,
// and no other row of the schedule changes.
#include "AnaSayfa.h"
#include "BoxAnswerer.h"
#include "Clock.h"
#include "Duzenleme.h"
#include "ErrorBox.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "SimulatedClock.h"
#include "Startup.h"
#include "WholeNumberEdit.h"
#include "ZilApplication.h"
#include "ui_AnaSayfa.h"
#include "ui_Duzenleme.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QtTest>

namespace {

// Wednesday 3 January 2024, 10:15:20: today's index is 2.
const QDateTime Now(QDate(2024, 1, 3), QTime(10, 15, 20));
constexpr int Today = 2;

const QString EmptyFields = QStringLiteral("Ders veya Muzik alanları boş girilemez!");

// Types text into a field one character at a time, as a keyboard or an input method delivers
// it: a character outside the basic plane comes as one event with both halves.
void typeInto(QWidget *field, const QString &text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString one(text.at(i));
        if (text.at(i).isHighSurrogate() && i + 1 < text.size())
            one += text.at(++i);
        const Qt::Key key = one == QLatin1String(" ") ? Qt::Key_Space : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, field, key, one, Qt::NoModifier);
    }
}

void writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QStringList rowTexts(QTreeWidgetItem *item) {
    QStringList texts;
    for (int c = 0; c < item->columnCount(); ++c)
        texts << item->text(c);
    return texts;
}

QString repeated(const QString &piece, int times) {
    QString s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

// 50 characters, each one UTF-16 unit.
const QString Fifty = QStringLiteral("12345678901234567890123456789012345678901234567890");
const QString FiftyTurkish = repeated(QStringLiteral("İıŞşĞğÜüÖöÇç"), 4) + QStringLiteral("Iş");
} // namespace

// The program as start-up wires it, on a temporary program folder: main window, editor, and a
// schedule that already holds other bells.
struct School {
    ScheduleFixture store;
    SimulatedClock clock;
    std::unique_ptr<Program> program;
    TfrmMenu *menu = nullptr;
    TfrmDuzenleme *editor = nullptr;
    QString chosenFile;

    School() {
        clock.at = Now;
        setProgramClock(&clock);
        setProgramFolder(store.folder());
        store.insert(0, QStringLiteral("1. Ders"), QStringLiteral("08:30:00"),
                     QStringLiteral("zil.mp3"), 30);
        store.insert(Today, QStringLiteral("Öğle \"arası\""), QStringLiteral("12:00:00"),
                     QStringLiteral("öğle.wav"), 45);
        store.insert(Today, QStringLiteral("x'); DELETE FROM Dersler; --"),
                     QStringLiteral("13:00:00"), QStringLiteral("a;b.mp3"), 5);
        store.insert(6, QStringLiteral("Pazar"), QStringLiteral("00:00:00"),
                     QStringLiteral("gece.mp3"), 0);

        program = std::make_unique<Program>([] { return false; });
        menu = &program->menu();
        editor = &program->editor();
        editor->ChooseMusicFile = [this] { return chosenFile; };
        menu->show();
    }
    ~School() {
        program.reset();
        setProgramClock(nullptr);
        setProgramFolder({});
    }

    Ui::TfrmDuzenleme &ed() { return *editor->ui; }
    Ui::TfrmMenu &win() { return menu->controls(); }

    // A music file outside the program folder, as the user would pick it.
    QString source(const QString &name) {
        const QString folder = store.folder() + QStringLiteral("kaynak/");
        QDir().mkpath(folder);
        writeFile(folder + name, "müzik: " + name.toUtf8());
        return folder + name;
    }

    QTreeWidgetItem *listRow(int kayitId) {
        QTreeWidget *list = win().ListView1;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(3) == QString::number(kayitId))
                return list->topLevelItem(i);
        return nullptr;
    }
};

class TestEditorInputs : public QObject {
    Q_OBJECT

    void addCase(const char *tag, const QString &name, const QTime &start, const QString &music,
                 const QString &duration, const QString &refusal, const QString &savedName = {},
                 int savedSure = 0, bool copy = false) {
        QTest::newRow(tag) << name << start << music << duration << refusal << savedName
                           << savedSure << copy;
    }
    void saved(const char *tag, const QString &name, const QString &savedName = {}) {
        addCase(tag, name, QTime(8, 45), QStringLiteral("zil.mp3"), QStringLiteral("30"), {},
                savedName.isNull() ? name : savedName, 30);
    }
    void refused(const char *tag, const QString &name, const QString &duration,
                 const QString &message) {
        addCase(tag, name, QTime(8, 45), QStringLiteral("zil.mp3"), duration, message);
    }
    void duration(const char *tag, const QString &typed, int stored) {
        addCase(tag, QStringLiteral("Teneffüs"), QTime(9, 20), QStringLiteral("t.mp3"), typed, {},
                QStringLiteral("Teneffüs"), stored);
    }
    void badDuration(const char *tag, const QString &typed) {
        refused(
            tag, QStringLiteral("Teneffüs"), typed,
            errorBoxText(QStringLiteral("Süre '%1' okunamadı: saniyeyi rakamla yazın").arg(typed)));
    }
    void music(const char *tag, const QString &file) {
        addCase(tag, QStringLiteral("Müzikli"), QTime(7, 5, 9), file, QStringLiteral("12"), {},
                QStringLiteral("Müzikli"), 12);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey)); }

    void corpus_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QString>("music");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("savedName");
        QTest::addColumn<int>("savedSure");
        QTest::addColumn<bool>("copy");

        // Names: stored as typed, whatever the store's own language would make of them.
        saved("double quotes", QStringLiteral("1. Ders \"Günaydın\""));
        saved("single quotes", QStringLiteral("O'nun 'zili'"));
        saved("quote injection", QStringLiteral("\"a' OR '1'='1"));
        saved("semicolons", QStringLiteral("a; b;; c;"));
        saved("statement end", QStringLiteral("\"); DROP TABLE Dersler; --"));
        saved("SQL words", QStringLiteral("SELECT * FROM Dersler WHERE 1=1"));
        saved("SQL update", QStringLiteral("UPDATE Dersler SET Sure=0"));
        saved("NULL as text", QStringLiteral("NULL"));
        saved("like wildcards", QStringLiteral("%_% 100%"));
        saved("backslashes", QStringLiteral("C:\\Muzik\\zil \\\" \\'"));
        saved("markup", QStringLiteral("<b>kalın</b> &amp; &lt;"));
        saved("Turkish letters", QStringLiteral("İıŞşĞğÜüÖöÇç"));
        saved("Turkish words", QStringLiteral("Öğle Arası Çıkışı İçin Şarkı"));
        saved("emoji", QStringLiteral("🔔 Teneffüs 🎉"));
        saved("emoji alone", QStringLiteral("🔔"));
        saved("other scripts", QStringLiteral("Ders αβγ жи مرحبا 中文"));
        saved("blanks around", QStringLiteral("  1. Ders  "));
        saved("digits only", QStringLiteral("0"));
        saved("exactly 50", Fifty);
        saved("exactly 50 Turkish", FiftyTurkish);
        // The field takes no 51st character, so what is saved is what the user saw in it.
        saved("51 characters", Fifty + QStringLiteral("x"), Fifty);
        saved("51 Turkish", FiftyTurkish + QStringLiteral("ş"), FiftyTurkish);
        // An emoji needs two of the 50 places; one that does not fit is left out whole.
        saved("emoji past the limit", Fifty.left(49) + QStringLiteral("🔔"), Fifty.left(49));
        saved("emoji at the limit", Fifty.left(48) + QStringLiteral("🔔"));
        refused("empty name", QString(), QStringLiteral("30"), EmptyFields);
        refused("one blank", QStringLiteral(" "), QStringLiteral("30"), EmptyFields);
        refused("only blanks", QStringLiteral("     "), QStringLiteral("30"), EmptyFields);
        refused("fifty blanks", QString(50, u' '), QStringLiteral("30"), EmptyFields);
        addCase("quotes on every working day", QStringLiteral("\"Sabah\" 'töreni'; --"),
                QTime(8, 0), QStringLiteral("zil.mp3"), QStringLiteral("30"), {},
                QStringLiteral("\"Sabah\" 'töreni'; --"), 30, true);

        // Durations, typed key by key into the whole-number field.
        refused("empty duration", QStringLiteral("Teneffüs"), QString(), EmptyFields);
        badDuration("minus alone", QStringLiteral("-"));
        badDuration("plus alone", QStringLiteral("+"));
        badDuration("decimal comma", QStringLiteral("1,5"));
        badDuration("above int", QStringLiteral("2147483648"));
        badDuration("far above int", QStringLiteral("99999999999"));
        badDuration("below int", QStringLiteral("-2147483649"));
        badDuration("two signs", QStringLiteral("+-5"));
        // The field refuses the "." with a beep, so the user sees 15 before saving.
        duration("decimal point", QStringLiteral("1.5"), 15);
        duration("leading zeros", QStringLiteral("007"), 7);
        duration("minus zero", QStringLiteral("-0"), 0);
        duration("zero", QStringLiteral("0"), 0);
        duration("negative", QStringLiteral("-7"), 7);
        duration("plus sign", QStringLiteral("+30"), 30);
        duration("largest", QStringLiteral("2147483647"), 2147483647);
        duration("largest negative", QStringLiteral("-2147483647"), 2147483647);

        // Start times at both ends of the day.
        addCase("midnight", QStringLiteral("Gece"), QTime(0, 0), QStringLiteral("g.mp3"),
                QStringLiteral("3"), {}, QStringLiteral("Gece"), 3);
        addCase("last second", QStringLiteral("Gün sonu"), QTime(23, 59, 59),
                QStringLiteral("son.mp3"), QStringLiteral("3"), {}, QStringLiteral("Gün sonu"), 3);

        // Music files, imported through the editor.
        music("music with blanks", QStringLiteral("okul zili  sabah .mp3"));
        music("music with quotes", QStringLiteral("\"tırnaklı\" 'zil'.wav"));
        music("music with statement text", QStringLiteral("a\";DROP TABLE Dersler;--.mp3"));
        music("music in Turkish", QStringLiteral("Çalış Şarkısı İıŞşĞğÜüÖöÇç.Mp3"));
        music("music with emoji", QStringLiteral("🔔 zil 🎵.mp3"));
        music("music with a backslash", QStringLiteral("a\\b.mp3"));
        music("music of 200 characters", QString(196, u'm') + QStringLiteral(".mp3"));
        music("music of 125 Turkish letters", QString(125, u'ş') + QStringLiteral(".mp3"));
        music("music without extension", QStringLiteral("zil"));
        addCase("no music", QStringLiteral("Sessiz"), QTime(8, 45), QString(), QStringLiteral("30"),
                EmptyFields);
    }

    void corpus() {
        QFETCH(QString, name);
        QFETCH(QTime, start);
        QFETCH(QString, music);
        QFETCH(QString, duration);
        QFETCH(QString, refusal);
        QFETCH(QString, savedName);
        QFETCH(int, savedSure);
        QFETCH(bool, copy);

        School p;
        const QList<QVariantList> before = p.store.rows();

        // "Yeni Kayıt" in the main window.
        p.menu->btnYeniKayitClick();
        QVERIFY(p.editor->isVisible());
        QCOMPARE(p.ed().cmbGunler->currentIndex(), Today);
        if (p.ed().cbDigerlereUygula->isChecked() != copy)
            QTest::mouseClick(p.ed().cbDigerlereUygula, Qt::LeftButton, {},
                              QPoint(5, p.ed().cbDigerlereUygula->height() / 2));
        QCOMPARE(p.ed().cbDigerlereUygula->isChecked(), copy);

        p.ed().txtDers->setFocus();
        typeInto(p.ed().txtDers, name);
        p.ed().dtpBaslamaSaati->setTime(start);
        if (!music.isEmpty()) {
            p.chosenFile = p.source(music);
            QTest::mouseClick(p.ed().btnDosyaAc, Qt::LeftButton);
            QCOMPARE(p.ed().txtMuzik->text(), music);
        }
        p.ed().txtSure->lineEdit()->clear();
        typeInto(p.ed().txtSure->lineEdit(), duration);

        BoxAnswerer boxes;
        QTest::mouseClick(p.ed().btnYeniKayit, Qt::LeftButton);

        if (!refusal.isEmpty()) {
            QCOMPARE(boxes.texts, QStringList{refusal});
            QCOMPARE(p.store.rows(), before);
            QVERIFY(p.editor->isVisible());
            // Nothing the user typed is lost.
            QCOMPARE(p.ed().txtDers->text(), name);
            QCOMPARE(p.ed().txtMuzik->text(), music);
            return;
        }

        QCOMPARE(boxes.texts, QStringList());
        QVERIFY(p.editor->isHidden());
        const QList<int> days = copy ? QList<int>{Today, 0, 1, 3, 4} : QList<int>{Today};
        const QList<QVariantList> after = p.store.rows();
        QCOMPARE(after.size(), before.size() + days.size());
        QCOMPARE(after.mid(0, before.size()), before);
        const QString stored = start.toString(QStringLiteral("HH:mm:ss"));
        for (int i = 0; i < days.size(); ++i) {
            const QVariantList &row = after.at(before.size() + i);
            QCOMPARE(row.mid(1), (QVariantList{days[i], savedName, stored, music, savedSure}));
            QCOMPARE(row.at(2).typeId(), QMetaType::QString);
        }
        const int id = after.at(before.size()).at(0).toInt();

        // The list, filled again from the store, shows the bell as saved.
        QCOMPARE(p.win().cmbGunler->currentIndex(), Today);
        p.menu->ListeyiDoldur();
        QTreeWidgetItem *row = p.listRow(id);
        QVERIFY(row);
        // A bell of 0 seconds plays its whole music, and the list says so.
        QCOMPARE(
            rowTexts(row),
            (QStringList{GunAdlari().at(Today), savedName, TimeText(start), QString::number(id),
                         savedSure == 0 ? QStringLiteral("tamamı") : QString::number(savedSure)}));

        // Edited from the list, every field comes back as saved ...
        p.win().ListView1->setCurrentItem(row);
        p.menu->btnDuzenleClick();
        QVERIFY(p.editor->isVisible());
        QCOMPARE(p.editor->windowTitle(), QStringLiteral("Kayıt Düzenleme"));
        QCOMPARE(p.ed().cmbGunler->currentIndex(), Today);
        QCOMPARE(p.ed().txtDers->text(), savedName);
        QCOMPARE(p.ed().dtpBaslamaSaati->time(), start);
        QCOMPARE(p.ed().txtMuzik->text(), music);
        QCOMPARE(p.ed().txtSure->text(), QString::number(savedSure));

        // ... and saving it unchanged changes nothing.
        QTest::mouseClick(p.ed().btnYeniKayit, Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList());
        QVERIFY(p.editor->isHidden());
        QCOMPARE(p.store.rows(), after);
    }

    // A name that is all blanks is as empty when the bell is edited.
    void editToBlanksIsRefused() {
        School p;
        const QList<QVariantList> before = p.store.rows();
        p.menu->ListeyiDoldur();
        QTreeWidgetItem *row = p.listRow(before.at(1).at(0).toInt());
        QVERIFY(row);
        p.win().ListView1->setCurrentItem(row);
        p.menu->btnDuzenleClick();
        QCOMPARE(p.ed().txtDers->text(), QStringLiteral("Öğle \"arası\""));
        p.ed().txtDers->clear();
        p.ed().txtDers->setFocus();
        typeInto(p.ed().txtDers, QStringLiteral("   "));
        BoxAnswerer boxes;
        QTest::mouseClick(p.ed().btnYeniKayit, Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList{EmptyFields});
        QCOMPARE(p.store.rows(), before);
        QVERIFY(p.editor->isVisible());
    }
};

int main(int argc, char **argv) {
    ZilApplication app(argc, argv);
    TestEditorInputs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editor_inputs.moc"
