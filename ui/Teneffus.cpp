#include "Teneffus.h"

#include "AnaSayfa.h"
#include "ErrorBox.h"
#include "ProgramValues.h"
#include "RoleGate.h"
#include "ui_AnaSayfa.h"
#include "ui_Teneffus.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>

namespace {
QList<QCheckBox *> dayBoxes(Ui::TfrmTeneffus &ui) {
    return {ui.chkGun0, ui.chkGun1, ui.chkGun2, ui.chkGun3, ui.chkGun4, ui.chkGun5, ui.chkGun6};
}
} // namespace

TfrmTeneffus::TfrmTeneffus(BreakMusic &music, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TfrmTeneffus)
    , m_music(music) {
    ui->setupUi(this);
    connect(ui->btnKaydet, &QPushButton::clicked, this, handled([this] { btnKaydetClick(); }));
    connect(ui->btnVazgec, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnKlasor, &QPushButton::clicked, this, handled([this] { btnKlasorClick(); }));
    connect(ui->txtKlasor, &QLineEdit::textChanged, this, &TfrmTeneffus::showFileCount);
    connect(ui->rbSaatler, &QRadioButton::toggled, ui->txtSaatler, &QWidget::setEnabled);
}

TfrmTeneffus::~TfrmTeneffus() {
    delete ui;
}

void TfrmTeneffus::ShowBreakMusic() {
    const BreakMusic::Settings s = m_music.settings();
    ui->chkAcik->setChecked(s.on);
    ui->txtKlasor->setText(s.folder);
    ui->rbKarisik->setChecked(s.shuffle);
    ui->rbSirali->setChecked(!s.shuffle);
    const QList<QCheckBox *> days = dayBoxes(*ui);
    for (int day = 0; day < days.size(); ++day)
        days[day]->setChecked(s.days.contains(day));
    ui->rbSaatler->setChecked(!s.spans.isEmpty());
    ui->rbZillerle->setChecked(s.spans.isEmpty());
    ui->txtSaatler->setEnabled(!s.spans.isEmpty());
    ui->txtSaatler->setText(BreakMusic::spansText(s.spans));
    showFileCount();
    show();
    raise();
    activateWindow();
}

void TfrmTeneffus::showFileCount() {
    const QDir folder(musicFolder() + ui->txtKlasor->text().trimmed());
    if (!folder.exists()) {
        ui->lblDosyalar->setText(QStringLiteral("Bu klasör yok: müzik dosyalarınızı Muzikler "
                                                "içinde bir klasöre koyun."));
        return;
    }
    const qsizetype count = folder.entryList(QDir::Files).size();
    ui->lblDosyalar->setText(QStringLiteral("Klasörde %1 dosya var.").arg(count));
}

void TfrmTeneffus::btnKlasorClick() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Teneffüs müziği klasörü"), musicFolder() + ui->txtKlasor->text());
    if (chosen.isEmpty())
        return;
    const QString inside = QDir(musicFolder()).relativeFilePath(chosen);
    if (inside.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(inside) ||
        inside == QLatin1String(".")) {
        showMessage(this, QStringLiteral("Lütfen Muzikler klasörünün içinde bir klasör seçin: %1")
                              .arg(QDir::toNativeSeparators(musicFolder())));
        return;
    }
    ui->txtKlasor->setText(inside);
}

void TfrmTeneffus::btnKaydetClick() {
    if (!allowedBy(m_gate, Action::ChangeSettings, this))
        return;
    BreakMusic::Settings s;
    s.on = ui->chkAcik->isChecked();
    s.folder = ui->txtKlasor->text();
    s.shuffle = ui->rbKarisik->isChecked();
    s.days.clear();
    const QList<QCheckBox *> days = dayBoxes(*ui);
    for (int day = 0; day < days.size(); ++day)
        if (days[day]->isChecked())
            s.days.append(day);
    if (ui->rbSaatler->isChecked()) {
        const auto spans = BreakMusic::readSpans(ui->txtSaatler->text());
        if (!spans || spans->isEmpty()) {
            showMessage(this, QStringLiteral("Teneffüs saatlerini \"10:10-10:20, 12:00-12:40\" "
                                             "gibi yazın; her birinin bitişi başlangıcından "
                                             "sonra olmalı."));
            ui->txtSaatler->setFocus();
            return;
        }
        s.spans = *spans;
    }
    m_music.setSettings(s);
    accept();
}

QAction *addBreakMusicCommand(TfrmMenu &menu, TfrmTeneffus &window) {
    QAction *command = menu.controls().Ayarlar1->addAction(QStringLiteral("Teneffüs &müziği…"));
    command->setObjectName(QStringLiteral("TeneffusMuzigi1"));
    QObject::connect(command, &QAction::triggered, &window, handled([&menu, &window] {
                         if (menu.allowed(Action::ChangeSettings))
                             window.ShowBreakMusic();
                     }));
    return command;
}
