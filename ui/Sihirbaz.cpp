#include "Sihirbaz.h"
#include "ui_Sihirbaz.h"

#include "BellStore.h"
#include "Calendar.h"
#include "DateTimeTyping.h"
#include "ErrorBox.h"
#include "MusicImport.h"
#include "ProgramSounds.h"
#include "Programlar.h"
#include "Schedule.h"
#include "WindowLook.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>

#include <algorithm>

namespace {
enum Column { ColGun, ColSaat, ColZil, ColMuzik, ColSure };
} // namespace

TfrmSihirbaz::TfrmSihirbaz(BellStore &store, Calendar *calendar,
                           std::function<void()> listeyiDoldur, QWidget *parent)
    : QDialog(parent, toolWindowFlags)
    , ui(std::make_unique<Ui::TfrmSihirbaz>())
    , m_store(store)
    , m_calendar(calendar)
    , m_listeyiDoldur(std::move(listeyiDoldur)) {
    ui->setupUi(this);
    setModal(false);
    ui->tblOnizleme->verticalHeader()->hide();
    ui->tblOnizleme->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tblOnizleme->horizontalHeader()->setSectionResizeMode(ColZil, QHeaderView::Stretch);
    ChooseMusicFile = [this] {
        if (!m_musicDialog)
            m_musicDialog = makeMusicDialog(this);
        return runMusicDialog(m_musicDialog);
    };

    // The preview follows every field, so what is saved is always what is shown.
    const auto follow = [this] { runHandler([this] { Onizle(); }); };
    for (QSpinBox *spin : findChildren<QSpinBox *>())
        connect(spin, &QSpinBox::valueChanged, this, follow);
    for (QTimeEdit *time : findChildren<QTimeEdit *>()) {
        makeTypable(time);
        connect(time, &QTimeEdit::timeChanged, this, follow);
    }
    for (QCheckBox *box : findChildren<QCheckBox *>())
        connect(box, &QCheckBox::toggled, this, follow);
    connect(ui->gbIkinciDevre, &QGroupBox::toggled, this, follow);
    // A new school's week needs no file of its own: the bells start with the program's sounds.
    const std::tuple<QLineEdit *, QToolButton *, ProgramSounds::Sound> ownSounds[] = {
        {ui->txtOgrenciMuzik, ui->btnOgrenciHazir, ProgramSounds::Sound::Ogrenci},
        {ui->txtOgretmenMuzik, ui->btnOgretmenHazir, ProgramSounds::Sound::Ogretmen},
        {ui->txtCikisMuzik, ui->btnCikisHazir, ProgramSounds::Sound::Cikis},
    };
    for (const auto &[field, button, sound] : ownSounds) {
        field->setText(ProgramSounds::bellName(sound));
        offerProgramSounds(button, [field = field](const QString &name) { field->setText(name); });
    }
    connect(ui->cbToren, &QCheckBox::toggled, this, [this] { followCeremonyMusic(); });
    connect(ui->txtTorenMuzik, &QLineEdit::textChanged, this, [this] { followCeremonyMusic(); });
    followCeremonyMusic();
    const std::pair<QPushButton *, QLineEdit *> musicButtons[] = {
        {ui->btnOgrenciMuzik, ui->txtOgrenciMuzik},
        {ui->btnOgretmenMuzik, ui->txtOgretmenMuzik},
        {ui->btnCikisMuzik, ui->txtCikisMuzik},
        {ui->btnTorenMuzik, ui->txtTorenMuzik},
    };
    for (const auto &[button, field] : musicButtons) {
        connect(field, &QLineEdit::textChanged, this, follow);
        connect(button, &QPushButton::clicked, this,
                handled([this, field = field] { chooseMusic(field); }));
    }
    // Enter in a number field must not open a file dialog or save half-typed values.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    connect(ui->btnKaydet, &QPushButton::clicked, this, handled([this] { btnKaydetClick(); }));
    connect(ui->btnKapat, &QPushButton::clicked, this, &QDialog::hide);
    Onizle();
}

TfrmSihirbaz::~TfrmSihirbaz() = default;

void TfrmSihirbaz::ShowWizard(int programme) {
    if (m_title.isEmpty())
        m_title = windowTitle();
    m_programme = programme;
    QString title = m_title;
    // Another programme's days are made here too; the title says whose, lest Normal's be meant.
    if (programme != Programme::Normal)
        for (const Programme &each : m_store.programmes())
            if (each.id == programme)
                title = QStringLiteral("%1 - %2 programı").arg(m_title, each.name);
    setWindowTitle(title);
    if (m_calendar) {
        // What the calendar keeps, so saving the week never turns a ceremony off unasked.
        const Calendar::CeremonyRule rule = m_calendar->ceremony(programme);
        const QString anthem = m_calendar->istiklalMarsi();
        if (!anthem.isEmpty())
            ui->txtTorenMuzik->setText(anthem);
        ui->cbToren->setChecked(rule.on && !ui->txtTorenMuzik->text().isEmpty());
        ui->txtTorenOnce->setValue(rule.beforeMinutes);
        ui->txtTorenSonra->setValue(rule.afterMinutes);
    }
    bringToFront(*this);
}

QList<int> TfrmSihirbaz::chosenDays() const {
    const QCheckBox *boxes[] = {ui->cbGun0, ui->cbGun1, ui->cbGun2, ui->cbGun3,
                                ui->cbGun4, ui->cbGun5, ui->cbGun6};
    QList<int> days;
    for (int gunId = 0; gunId < 7; ++gunId)
        if (boxes[gunId]->isChecked())
            days << gunId;
    return days;
}

TimetablePlan TfrmSihirbaz::plan() const {
    TimetablePlan p;
    p.days = chosenDays();
    p.morning = {ui->dtpIlkDers->time(),
                 ui->txtDersSayisi->value(),
                 ui->txtDersSuresi->value(),
                 ui->txtTeneffus->value(),
                 ui->cbFarkliTeneffus->isChecked() ? ui->txtFarkliDers->value() : 0,
                 ui->txtFarkliSure->value(),
                 ui->cbOgleArasi->isChecked() ? ui->txtOgleDers->value() : 0,
                 ui->txtOgleSure->value()};
    if (ui->gbIkinciDevre->isChecked())
        p.afternoon = LessonBlock{ui->dtpIkinciDevre->time(), ui->txtIkinciDersSayisi->value(),
                                  ui->txtIkinciDersSuresi->value(), ui->txtIkinciTeneffus->value()};
    p.student = {ui->cbOgrenci->isChecked(), ui->txtOgrenciMuzik->text(),
                 ui->txtOgrenciSure->value()};
    p.teacher = {ui->cbOgretmen->isChecked(), ui->txtOgretmenMuzik->text(),
                 ui->txtOgretmenSure->value()};
    p.teacherAfterMinutes = ui->txtOgretmenDakika->value();
    p.exit = {ui->cbCikis->isChecked(), ui->txtCikisMuzik->text(), ui->txtCikisSure->value()};
    p.ceremony = ui->cbToren->isChecked();
    p.ceremonyMusic = ui->txtTorenMuzik->text();
    p.ceremonyBeforeMinutes = ui->txtTorenOnce->value();
    p.ceremonyAfterMinutes = ui->txtTorenSonra->value();
    return p;
}

void TfrmSihirbaz::Onizle() {
    m_timetable = makeTimetable(plan());
    QTableWidget *table = ui->tblOnizleme;
    table->setRowCount(0);
    table->setRowCount(int(m_timetable.bells.size()));
    for (int row = 0; row < m_timetable.bells.size(); ++row) {
        const Bell &b = m_timetable.bells.at(row);
        const int seconds = b.duration().value_or(0);
        const QString texts[] = {
            GunAdlari().value(b.gunId), TimeText(b.startTime()), b.name, b.music,
            seconds == 0 ? QStringLiteral("tamamı") : QStringLiteral("%1 sn").arg(seconds)};
        for (int column = ColGun; column <= ColSure; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            table->setItem(row, column, item);
        }
        table->item(row, ColGun)
            ->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        table->item(row, ColGun)->setCheckState(Qt::Checked);
    }
    const bool refused = !m_timetable.refusal.isEmpty();
    ui->lblDurum->setStyleSheet(refused ? QStringLiteral("color: #b00000") : QString());
    ui->lblDurum->setText(refused ? m_timetable.refusal
                                  : QStringLiteral("%1 zil: %2")
                                        .arg(m_timetable.bells.size())
                                        .arg(GunAdlariOf(plan().days)));
}

QList<Bell> TfrmSihirbaz::tickedBells() const {
    QList<Bell> bells;
    for (int row = 0; row < m_timetable.bells.size(); ++row)
        if (ui->tblOnizleme->item(row, ColGun)->checkState() == Qt::Checked)
            bells << m_timetable.bells.at(row);
    return bells;
}

void TfrmSihirbaz::chooseMusic(QLineEdit *field) {
    const QString name = importMusic(ChooseMusicFile ? ChooseMusicFile() : QString());
    if (name.isEmpty())
        return;
    field->setText(name);
    // Choosing the anthem is asking for the ceremony.
    if (field == ui->txtTorenMuzik)
        ui->cbToren->setChecked(true);
}

void TfrmSihirbaz::followCeremonyMusic() {
    // The İstiklal Marşı is the school's own recording: with none chosen the ceremony would have
    // nothing to play, so it cannot be turned on, and the note says what is missing.
    const bool chosen = !ui->txtTorenMuzik->text().isEmpty();
    if (!chosen)
        ui->cbToren->setChecked(false);
    ui->cbToren->setEnabled(chosen);
    ui->lblTorenNot->setVisible(!chosen);
    ui->txtTorenOnce->setEnabled(ui->cbToren->isChecked());
    ui->txtTorenSonra->setEnabled(ui->cbToren->isChecked());
}

void TfrmSihirbaz::btnKaydetClick() {
    if (!m_timetable.refusal.isEmpty()) {
        showMessage(this, m_timetable.refusal);
        return;
    }
    if (!programmeStillThere(m_store, m_programme, this))
        return;
    QList<Bell> bells = tickedBells();
    if (bells.isEmpty()) {
        showMessage(this, QStringLiteral("Yazılacak zil yok: önizlemede en az bir zili "
                                         "işaretleyin!"));
        return;
    }
    // Written before a bell names them, should one have gone since the program started.
    for (const Bell &b : bells)
        if (ProgramSounds::Sound sound; ProgramSounds::isProgramSound(b.music, &sound))
            ProgramSounds::ensure(sound);
    const QList<int> days = chosenDays();
    qsizetype existing = 0;
    QSet<std::pair<int, QTime>> taken;
    for (int gunId : days) {
        const QList<Bell> old = m_store.dayBells(gunId, m_programme);
        existing += old.size();
        for (const Bell &b : old)
            taken.insert({gunId, b.startTime()});
    }
    // Added beside a bell of the same second, one of the two would never be heard.
    const auto clashes = std::count_if(bells.begin(), bells.end(), [&](const Bell &b) {
        return taken.contains({b.gunId, b.startTime()});
    });

    bool replace = false;
    if (existing > 0) {
        QMessageBox ask(QMessageBox::Question, windowTitle(),
                        QStringLiteral("Seçilen günlerde (%1) kayıtlı %2 zil var.\n\n"
                                       "Değiştir: bu %2 zil silinir, yerine %3 yeni zil yazılır.\n"
                                       "Ekle: var olan ziller kalır, %3 yeni zil eklenir.%4")
                            .arg(GunAdlariOf(days))
                            .arg(existing)
                            .arg(bells.size())
                            .arg(clashes == 0
                                     ? QString()
                                     : QStringLiteral(" Bunların %1 tanesi var olan bir zille "
                                                      "aynı saniyede: o saniyede yalnız biri "
                                                      "çalar.")
                                           .arg(clashes)),
                        QMessageBox::NoButton, this);
        QPushButton *degistir = ask.addButton(QStringLiteral("Değiştir"), QMessageBox::YesRole);
        QPushButton *ekle = ask.addButton(QStringLiteral("Ekle"), QMessageBox::NoRole);
        QPushButton *vazgec = ask.addButton(QStringLiteral("Vazgeç"), QMessageBox::RejectRole);
        ask.setDefaultButton(vazgec);
        ask.setEscapeButton(vazgec);
        ask.exec();
        if (ask.clickedButton() != degistir && ask.clickedButton() != ekle)
            return;
        replace = ask.clickedButton() == degistir;
    }
    for (Bell &b : bells)
        b.programme = m_programme;
    if (replace)
        m_store.replaceDays(days, bells, m_programme);
    else
        m_store.add(bells);
    if (m_calendar) {
        const TimetablePlan p = plan();
        if (p.ceremony)
            m_calendar->setIstiklalMarsi(p.ceremonyMusic);
        m_calendar->setCeremony(m_programme,
                                {p.ceremony, p.ceremonyBeforeMinutes, p.ceremonyAfterMinutes});
    }
    // Told first: should the refill fail, the user still knows the bells were saved. The
    // window stays open for another set of days; saving again asks first, as the days now
    // hold bells.
    ui->lblDurum->setStyleSheet(QStringLiteral("color: #006000"));
    ui->lblDurum->setText(
        QStringLiteral("%1 zil kaydedildi: %2").arg(bells.size()).arg(GunAdlariOf(days)));
    if (m_listeyiDoldur)
        m_listeyiDoldur();
}
