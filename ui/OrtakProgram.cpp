#include "OrtakProgram.h"

#include "AnaSayfa.h"
#include "ErrorBox.h"
#include "RoleGate.h"
#include "Roles.h"
#include "SharedSchedule.h"
#include "ZilError.h"
#include "ui_AnaSayfa.h"
#include "ui_OrtakProgram.h"

#include <QFileDialog>

TfrmOrtakProgram::TfrmOrtakProgram(QString folder, SharedSchedule *shared, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmOrtakProgram>())
    , m_folder(std::move(folder))
    , m_shared(shared) {
    ui->setupUi(this);
    const SharedSettings s = SharedSettings::read(m_folder);
    ui->chkAcik->setChecked(s.on);
    ui->edtSunucu->setText(s.host);
    ui->edtPort->setText(QString::number(s.port));
    ui->edtVeritabani->setText(s.database);
    ui->edtOkul->setText(s.school);
    ui->edtBina->setText(s.building);
    ui->edtKullanici->setText(s.user);
    ui->edtParola->setText(s.password);
    ui->edtCA->setText(s.caFile);
    showState();
    m_stateLook.setInterval(2000);
    connect(&m_stateLook, &QTimer::timeout, this, &TfrmOrtakProgram::showState);
    m_stateLook.start();
    connect(ui->btnKaydet, &QPushButton::clicked, this, [this] {
        if (btnKaydetClick())
            accept();
    });
    connect(ui->btnVazgec, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnCA, &QPushButton::clicked, this, [this] { btnCAClick(); });
}

TfrmOrtakProgram::~TfrmOrtakProgram() = default;

void TfrmOrtakProgram::showState() {
    QString state = m_shared && m_shared->running() ? m_shared->statusLine()
                                                    : SharedSchedule::savedStatus(m_folder);
    if (state.isEmpty())
        state = QStringLiteral("Bu bilgisayar ortak programa bağlı değil; kendi programıyla "
                               "çalıyor.");
    ui->lblDurum->setText(state);
}

void TfrmOrtakProgram::btnCAClick() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("CA dosyasını seçin"), ui->edtCA->text(),
        QStringLiteral("Sertifikalar (*.crt *.pem);;Tüm dosyalar (*)"));
    if (!file.isEmpty())
        ui->edtCA->setText(file);
}

bool TfrmOrtakProgram::btnKaydetClick() {
    if (!allowedBy(m_gate, Action::ChangeSettings, this))
        return false;
    SharedSettings s;
    s.on = ui->chkAcik->isChecked();
    s.host = ui->edtSunucu->text().trimmed();
    bool number = false;
    s.port = ui->edtPort->text().trimmed().toInt(&number);
    if (!number && s.on) {
        showMessage(this, QStringLiteral("Bağlantı noktası bir sayı olmalı (ör. %1).")
                              .arg(SharedSettings::DefaultPort));
        ui->edtPort->setFocus();
        return false;
    }
    if (!number)
        s.port = SharedSettings::DefaultPort;
    s.database = ui->edtVeritabani->text().trimmed();
    s.school = ui->edtOkul->text().trimmed();
    s.building = ui->edtBina->text().trimmed();
    s.user = ui->edtKullanici->text().trimmed();
    s.password = ui->edtParola->text();
    s.caFile = ui->edtCA->text().trimmed();
    try {
        SharedSettings::write(m_folder, s);
    } catch (const ZilError &error) {
        showMessage(this, error.message());
        return false;
    }
    return true;
}

QAction *addSharedScheduleCommand(TfrmMenu &menu, const QString &folder, SharedSchedule *shared) {
    QAction *command = menu.controls().Ayarlar1->addAction(QStringLiteral("Ortak &program…"));
    command->setObjectName(QStringLiteral("OrtakProgram1"));
    QObject::connect(command, &QAction::triggered, &menu,
                     menu.gated(Action::ChangeSettings, [&menu, folder, shared] {
                         auto *window = new TfrmOrtakProgram(folder, shared, &menu);
                         window->setAttribute(Qt::WA_DeleteOnClose);
                         window->setGate(&menu.gate());
                         window->open();
                     }));
    return command;
}
