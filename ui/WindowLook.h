#pragma once

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
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

// Room a desktop's title bar and borders take around a window, in the window's own pixels; the
// frame is not known before the window is first shown.
inline constexpr QSize frameAllowance(16, 40);

// The largest size a window may take on `screen` with its frame: as large as wanted, but never
// beyond the screen's free area, so no button is ever off the screen.
inline QSize sizeOnScreen(const QSize &wanted, const QRect &available) {
    return wanted.boundedTo(available.size() - frameAllowance);
}

// A window shown the first time is sized to fit the screen and centred on it, unless it was
// placed on purpose.
inline void placeOnScreen(QWidget &window) {
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    window.resize(sizeOnScreen(window.size(), available).expandedTo(window.minimumSize()));
    // A top-level window's position is its frame's.
    QRect frame(QPoint(), window.size() + frameAllowance);
    frame.moveCenter(available.center());
    window.move(frame.topLeft());
}

// A window placed on purpose is moved just enough to lie whole on a smaller screen.
inline void keepOnScreen(QWidget &window) {
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize frame = window.size() + frameAllowance;
    const int x = qMax(available.left(), qMin(window.x(), available.right() + 1 - frame.width()));
    const int y = qMax(available.top(), qMin(window.y(), available.bottom() + 1 - frame.height()));
    if (QPoint(x, y) != window.pos())
        window.move(x, y);
}

// Brings a window to the front as the user left it, also from the taskbar when minimised.
inline void bringToFront(QWidget &window) {
    if (!window.isVisible()) {
        if (window.testAttribute(Qt::WA_Moved))
            keepOnScreen(window);
        else
            placeOnScreen(window);
    }
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}
