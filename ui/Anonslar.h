#pragma once

#include "BellStore.h"

#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

class MediaPlayerDevice;
class RoleGate;
class QButtonGroup;
class QThread;

namespace Ui {
class TfrmAnonslar;
}

// TfrmAnonslar, "Anonslar": announcements that sound at a second like a bell, every chosen
// weekday of a programme or on one date; either the school's recording or a Turkish text. A text
// is synthesised when it is saved, away from the thread that rings the bells, and kept as a WAV in
// Muzikler/Anonslar; "Dinle" plays either on this computer through the player bar's device.
// Created once, hidden; read afresh whenever it is shown.
class TfrmAnonslar : public QWidget {
    Q_OBJECT
public:
    // `store` and `player` must outlive the window.
    TfrmAnonslar(BellStore &store, MediaPlayerDevice &player, QWidget *parent = nullptr);
    ~TfrmAnonslar() override;

    Ui::TfrmAnonslar &controls() { return *ui; }
    // The open-file dialog for a recording; the path chosen, or empty. Tests answer it.
    std::function<QString()> ChooseMusicFile;

    void ShowAnnouncements();
    // What saving and deleting ask first; none: nothing is asked.
    void setGate(RoleGate *gate) { m_gate = gate; }
    // Sounds a saved announcement now through the bells' output ("Şimdi anons et"); unset, the
    // button is not offered.
    std::function<void(const Announcement &)> AnnounceNow;
    // The selected saved announcement sounded now.
    void btnSimdiClick();
    // An empty form: the next "Kaydet" adds a new announcement. Asks first when what is typed
    // has not been saved.
    void btnYeniClick();
    // Plays the text, spoken, or the recording on this computer.
    void btnDinleClick();
    // Adds the announcement the fields describe, or writes the one being edited. A text is
    // synthesised first; when that fails the reason is told and nothing is saved.
    void btnKaydetClick();
    void btnSilClick();
    // While a text is being synthesised.
    bool busy() const { return m_work != nullptr; }

signals:
    // A synthesis has ended, saved or told why not.
    void spoken();

private:
    void fill();
    void clearForm();
    void load(int id);
    // Every field, to tell whether anything was typed since the form was last filled or saved.
    QString formState() const;
    // True when nothing unsaved would be lost, or the user agreed to lose it.
    bool mayLeaveForm();
    void showKinds();
    // The fields as an announcement, its sound not yet set; nothing (after telling why) when one
    // is missing.
    std::optional<Announcement> fromFields();
    // Synthesises `text` into the file `target` on a thread of its own, then runs `then` here
    // with the reason it failed, or an empty text.
    void speak(const QString &text, const QString &target,
               std::function<void(const QString &failure)> then);
    void save(Announcement announcement);
    void play(const QString &file);
    // Removes a synthesised file that no announcement names any more.
    void forget(const QString &sound);

    std::unique_ptr<Ui::TfrmAnonslar> ui;
    BellStore &m_store;
    MediaPlayerDevice &m_player;
    RoleGate *m_gate = nullptr;
    QButtonGroup *m_what;
    QButtonGroup *m_when;
    int m_editing = 0;
    QString m_savedForm;
    QThread *m_work = nullptr;
    QTemporaryDir m_preview;
    int m_previews = 0;
};
