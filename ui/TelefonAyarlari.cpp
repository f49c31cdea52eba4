#include "TelefonAyarlari.h"

#include "ErrorBox.h"
#include "PhoneAccess.h"
#include "RoleGate.h"
#include "Roles.h"
#include "ZilError.h"
#include "ui_TelefonAyarlari.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTimer>

namespace {
// The addresses a phone on the school's network can reach this computer by.
QStringList reachableAddresses() {
    QStringList addresses;
    for (const QHostAddress &address : QNetworkInterface::allAddresses())
        if (!address.isLoopback() && !address.isLinkLocal() &&
            address.protocol() == QAbstractSocket::IPv4Protocol)
            addresses << address.toString();
    return addresses;
}
} // namespace

TfrmTelefonAyarlari::TfrmTelefonAyarlari(QString folder, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmTelefonAyarlari>())
    , m_folder(std::move(folder)) {
    ui->setupUi(this);
    const PhoneSettings settings = PhoneAccess::readSettings(m_folder);
    ui->chkAcik->setChecked(settings.on);
    ui->edtPort->setText(QString::number(settings.port));
    ui->chkSinif->setChecked(settings.classroom);
    connect(ui->btnKaydet, &QPushButton::clicked, this, [this] {
        if (btnKaydetClick())
            accept();
    });
    connect(ui->btnVazgec, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->edtPort, &QLineEdit::textChanged, this, [this] { showState(); });
    // The fingerprint appears once the process that rings has made the certificate.
    m_look.setInterval(1000);
    connect(&m_look, &QTimer::timeout, this, [this] { showState(); });
    m_look.start();
    showState();
}

TfrmTelefonAyarlari::~TfrmTelefonAyarlari() = default;

void TfrmTelefonAyarlari::showState() {
    const QString fingerprint = PhoneAccess::readIdentity(m_folder).fingerprint;
    ui->lblParmakIzi->setText(fingerprint.isEmpty()
                                  ? QStringLiteral("Henüz yok; sayfa ilk açıldığında oluşturulur.")
                                  : fingerprint);
    const QStringList addresses = reachableAddresses();
    const QString port = ui->edtPort->text().trimmed();
    QStringList lines;
    for (const QString &address : addresses)
        lines << QStringLiteral("https://%1:%2").arg(address, port);
    ui->lblAdres->setText(addresses.isEmpty()
                              ? QStringLiteral("Bu bilgisayarın okul ağında bir adresi bulunamadı.")
                              : QStringLiteral("Telefondan açılacak adres: %1")
                                    .arg(lines.join(QStringLiteral(", "))));
    ui->lblUyari->setText(Roles(rolesFile()).enabled()
                              ? QString()
                              : QStringLiteral("Yönetici PIN'i belirlenmedikçe telefondan yalnız "
                                               "bakılabilir, işlem yapılamaz (Ayarlar > Yetkiler "
                                               "ve PIN…)."));
}

bool TfrmTelefonAyarlari::btnKaydetClick() {
    if (!allowedBy(m_gate, Action::ChangeSettings, this))
        return false;
    bool number = false;
    const int port = ui->edtPort->text().trimmed().toInt(&number);
    const QString problem = number ? PhoneAccess::portProblem(port)
                                   : QStringLiteral("Bağlantı noktası bir sayı olmalı (ör. %1).")
                                         .arg(PhoneSettings::DefaultPort);
    if (!problem.isEmpty()) {
        showMessage(this, problem);
        ui->edtPort->setFocus();
        return false;
    }
    // The listening address is set by hand in the file only; kept as it is.
    PhoneSettings settings = PhoneAccess::readSettings(m_folder);
    settings.on = ui->chkAcik->isChecked();
    settings.port = port;
    settings.classroom = ui->chkSinif->isChecked();
    try {
        // The key is made by the process that serves the page, within a second, so that it is
        // that process's own (readable by nobody else); the window then shows its fingerprint.
        PhoneAccess::writeSettings(m_folder, settings);
    } catch (const ZilError &error) {
        showMessage(this, error.message());
        return false;
    }
    showState();
    return true;
}
