#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

class RoleGate;
namespace Ui {
class TfrmTelefonAyarlari;
}

// TelefonAyarlari: "Ayarlar > Telefondan yönetim…": the phone page on or off, its port, the
// classroom screen, and the certificate's fingerprint for staff to compare on the phone. The
// process that rings the folder notices the saved settings within a second.
class TfrmTelefonAyarlari : public QDialog {
    Q_OBJECT
public:
    // The settings of `folder` (the data folder, ending in a separator).
    explicit TfrmTelefonAyarlari(QString folder, QWidget *parent = nullptr);
    ~TfrmTelefonAyarlari() override;
    void setGate(RoleGate *gate) { m_gate = gate; }

    // Checks and writes the settings; false, with a message and nothing written, when they
    // cannot be used.
    bool btnKaydetClick();

private:
    void showState();

    std::unique_ptr<Ui::TfrmTelefonAyarlari> ui;
    QString m_folder;
    QTimer m_look;
    RoleGate *m_gate = nullptr;
};
