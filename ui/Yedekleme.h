#pragma once

// Yedekleme: "Yedekle…" and "Yedekten geri yükle…" of the main window's Dosya menu, and
// "Yedek ayarları…": the file dialogs, the summary, the question and the Turkish messages. The
// work runs on a thread of its own while a small progress window shows, so the clock keeps
// ringing meanwhile.

#include <QString>

#include <functional>

class QWidget;

namespace Yedekleme {

// Asks where to save and writes the backup there.
void backUp(QWidget *parent);
// Asks for a backup file, checks it whole, shows what it holds and asks; then keeps the present
// state in Yedekler and puts the backup in place. `restored` refreshes the windows afterwards.
void restore(QWidget *parent, const std::function<void()> &restored);
// How many daily and monthly copies Yedekler keeps.
void settings(QWidget *parent);

// The file dialogs unless replaced, for tests: the chosen path, or empty when cancelled.
extern std::function<QString(QWidget *parent)> chooseSaveFile;
extern std::function<QString(QWidget *parent)> chooseOpenFile;

} // namespace Yedekleme
