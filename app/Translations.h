#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

// Loads Qt's own translations for `locale` (the file dialog, standard buttons the program does
// not name itself) into `translator` and installs it in `app`; false when the system has none
// for that language (Debian: qt6-translations-l10n). The program's own texts are fixed and stay.
bool loadQtTranslations(QCoreApplication &app, QTranslator &translator,
                        const QLocale &locale = QLocale::system());
