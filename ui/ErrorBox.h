#pragma once

#include <QString>

#include <functional>

class QWidget;

// The application's title: the program file's name up to its first full stop, its first
// character as it is and the rest in lower case ("ZIL.EXE" gives "Zil", "zil" stays "zil").
QString applicationTitle();
QString applicationTitleFrom(const QString &programFileName);

// The text the error box shows: a full stop is added unless the text already ends in one or
// in a character that sorts before it ("!", a blank).
QString errorBoxText(const QString &message);

// The one rule for every box's title: the window it speaks for (`parent`'s, else the active
// window's), or the program's name where no window is concerned.
QString boxTitle(QWidget *parent);

// The simple message box of the windows' own messages: no icon, OK, titled by its window.
void showMessage(QWidget *parent, const QString &text);

// A question with two answers, true for `yes`. Escape always answers `no`; Enter answers `yes`
// only when `yesIsDefault`, so that a step that cannot be taken back needs a deliberate click.
bool askYesNo(QWidget *parent, const QString &title, const QString &text,
              const QString &yes = QStringLiteral("Evet"),
              const QString &no = QStringLiteral("Hayır"), bool yesIsDefault = false);

// The error box of the application's central error handling: stop icon, OK, titled by the
// active window. Modal, so the event loop and with it the bell clock keep running while it is open.
void showErrorBox(const QString &message);

// The same error box, titled with the program's name, without stopping anything: it shows and
// returns at once. A message that is already on screen is not stacked a second time. For the bell
// clock, whose bells must not wait for anyone to press OK.
void showErrorNotice(const QString &message);

// Puts the notices already on screen over `window`, which has just been shown: one told before
// the window was there must not hide behind it.
void keepNoticesOver(QWidget *window);

// Runs one of our handlers where Qt called it (a slot, an event handler) and shows an error it
// raises in the error box. Exceptions must not travel through Qt's event dispatch, so every
// handler the windows and controls connect runs through here; the program then goes on.
void runHandler(const std::function<void()> &handler);

// `handler` made into a slot that runs it through runHandler.
template <class Handler> auto handled(Handler handler) {
    return [handler = std::move(handler)] { runHandler(handler); };
}
