#pragma once

// Choosing a bell's music and bringing it into Muzikler, the same for every window that does it.

#include <QString>

#include <functional>

class QFileDialog;
class QToolButton;
class QWidget;

// The open-file dialog for music: Qt's own, offering WAV, MP3 and MDI files, MP3 first.
QFileDialog *makeMusicDialog(QWidget *parent);

// Runs the dialog with an empty file name, so the last file chosen is not offered again; the
// chosen path, or an empty text when cancelled.
QString runMusicDialog(QFileDialog *dialog);

// The name under which the file at source goes into musicFolder: its own name when no file of
// that name is there or the one there has the same content, otherwise the first free
// "name (n).ext". Nothing is copied here.
QString musicImportName(const QString &source, const QString &musicFolder);

// Copies the chosen file into Muzikler, never over another file, and gives the bare name the
// bells use; an empty text when nothing was chosen. Muzikler is made even then, so it is there
// for the next import.
QString importMusic(const QString &chosen);

// "Programın sesleri": `button` opens a menu of the program's own sounds; the one chosen is
// written into Muzikler when missing, and its bell name handed to `chosen`.
void offerProgramSounds(QToolButton *button, std::function<void(const QString &name)> chosen);
