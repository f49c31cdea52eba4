#pragma once

#include <QFont>
#include <QWidget>

// What the program's windows share in their looks and in how they come up.

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

// Brings a window to the front as the user left it, also from the taskbar when minimised.
inline void bringToFront(QWidget &window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}
