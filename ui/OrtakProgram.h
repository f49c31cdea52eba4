#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

class QAction;
class RoleGate;
class SharedSchedule;
class TfrmMenu;
namespace Ui {
class TfrmOrtakProgram;
}

// OrtakProgram: "Ayarlar > Ortak program…": joins this computer to the school's shared schedule
// on a PostgreSQL server (server, port, database, school, building, user, password, and the
// certificate authority that vouches for the server), or leaves it. The program that rings
// notices the saved settings within a few seconds.
class TfrmOrtakProgram : public QDialog {
    Q_OBJECT
public:
    // The settings of `folder` (the data folder); `shared`, when given, tells how the joined
    // computer stands now.
    explicit TfrmOrtakProgram(QString folder, SharedSchedule *shared = nullptr,
                              QWidget *parent = nullptr);
    ~TfrmOrtakProgram() override;
    void setGate(RoleGate *gate) { m_gate = gate; }

    // Checks and writes the settings; false, with a message and nothing written, when they
    // cannot be used.
    bool btnKaydetClick();
    void btnCAClick();

private:
    // How the joined computer stands now: this process's link when it rings, otherwise what the
    // process that rings (the service) last wrote into the copy.
    void showState();

    std::unique_ptr<Ui::TfrmOrtakProgram> ui;
    QString m_folder;
    SharedSchedule *m_shared = nullptr;
    QTimer m_stateLook;
    RoleGate *m_gate = nullptr;
};

// Adds "Ortak program…" to the main window's Ayarlar menu; the window saves into `folder`.
QAction *addSharedScheduleCommand(TfrmMenu &menu, const QString &folder, SharedSchedule *shared);
