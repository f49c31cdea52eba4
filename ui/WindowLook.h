#pragma once

#include <QFont>

// What the program's windows share in their looks.

// The program's own font, the same on every machine.
inline QFont programFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

// A tool window of the main window: a title bar with its close button, nothing else.
constexpr Qt::WindowFlags toolWindowFlags = Qt::Dialog | Qt::CustomizeWindowHint |
                                            Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                            Qt::WindowCloseButtonHint;
