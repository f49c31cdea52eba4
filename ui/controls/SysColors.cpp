#include "SysColors.h"

QColor systemColor(int n, const QPalette &palette) {
    switch (n) {
    case 0: // scroll bar
        return palette.color(QPalette::Mid);
    case 1:  // desktop
    case 12: // application workspace
        return palette.color(QPalette::Dark);
    case 2:  // active caption
    case 13: // highlight
    case 26: // hot-tracked item
    case 27: // active caption gradient
    case 29: // menu highlight
        return palette.color(QPalette::Highlight);
    case 3:  // inactive caption
    case 28: // inactive caption gradient
        return palette.color(QPalette::Inactive, QPalette::Highlight);
    case 4:  // menu
    case 10: // active border
    case 11: // inactive border
    case 15: // button face
    case 30: // menu bar
        return palette.color(QPalette::Button);
    case 5: // window
        return palette.color(QPalette::Base);
    case 6:  // window frame
    case 21: // 3-D dark shadow
        return palette.color(QPalette::Shadow);
    case 7: // menu text
    case 8: // window text
        return palette.color(QPalette::WindowText);
    case 9:  // caption text
    case 14: // highlighted text
        return palette.color(QPalette::HighlightedText);
    case 16: // button shadow
        return palette.color(QPalette::Dark);
    case 17: // grey text
        return palette.color(QPalette::Disabled, QPalette::Text);
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    case 19: // inactive caption text
        return palette.color(QPalette::Inactive, QPalette::HighlightedText);
    case 20: // button highlight
        return palette.color(QPalette::Light);
    case 22: // 3-D light
        return palette.color(QPalette::Midlight);
    case 23: // tool tip text
        return palette.color(QPalette::ToolTipText);
    case 24: // tool tip background
        return palette.color(QPalette::ToolTipBase);
    default:
        return QColor(Qt::black);
    }
}

QColor resolveColor(TColor c, const QPalette &palette) {
    if (c == clNone)
        return QColor(Qt::transparent);
    if (isSystemColor(c))
        return systemColor(int(c & 0xFF), palette);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

TColor colorFromQColor(const QColor &c) {
    return rgbColor(c.red(), c.green(), c.blue());
}
