#pragma once

// TfrmSesAyarlari: the "Ses ayarları…" window of the main window's Ayarlar menu. How loud every
// kind of sound plays (a master level, one per kind, and the school's ceiling) and which sound
// output each kind goes to. The outputs are listed on a thread of their own, so a sound server
// that is slow to answer never holds up the window or the bells.

#include "GstMediaLayer.h"
#include "SoundSettings.h"

#include <QDialog>
#include <QList>

#include <functional>
#include <memory>

namespace Ui {
class SesAyarlari;
}
class QComboBox;
class QTimer;
class RoleGate;
class TfrmMenu;
class QAction;
class PipelineWorker;

class TfrmSesAyarlari : public QDialog {
    Q_OBJECT
public:
    using OutputList = std::function<QList<SoundOutput>()>;
    // `settings` must outlive the window. `listOutputs` runs on a thread of its own.
    TfrmSesAyarlari(SoundSettings &settings, OutputList listOutputs, QWidget *parent = nullptr);
    ~TfrmSesAyarlari() override;

    void setGate(RoleGate *gate) { m_gate = gate; }
    // Fills the fields from the schedule; throws ZilError when it cannot be read.
    void load();
    // The values the fields hold.
    SoundSettings::Values values() const;
    // Whether the listing of the outputs has come back.
    bool outputsListed() const { return m_listed; }

    void btnKaydetClick();

private:
    void fillOutputs();
    void showEffective();
    QComboBox *outputCombo(int kind) const;

    std::unique_ptr<Ui::SesAyarlari> ui;
    SoundSettings &m_settings;
    RoleGate *m_gate = nullptr;
    SoundSettings::Values m_loaded;
    QList<SoundOutput> m_outputs;
    bool m_listed = false;
    struct Listing;
    std::shared_ptr<Listing> m_listing;
    std::unique_ptr<PipelineWorker> m_worker; // never waited for
    QTimer *m_poll = nullptr;
};

// Adds "Ses ayarları…" to the main window's Ayarlar menu; it asks for the right to change the
// settings, then shows the window (not modal: the bells go on ringing).
QAction *addSoundSettingsCommand(TfrmMenu &menu, SoundSettings &settings,
                                 TfrmSesAyarlari::OutputList listOutputs = &GstMediaLayer::outputs);
