#pragma once

#include <QColor>
#include <QPalette>
#include <QtGlobal>

// TColor holds colours as the controls store them: red in the low byte, then green, then blue. A
// value of 0x80000000 + n names system colour n and is looked up in the palette only when drawn,
// so a palette change shows at the next paint.
using TColor = quint32;

constexpr TColor clNone = 0x1FFFFFFF; // "not set"
constexpr TColor clBlack = 0x000000;
constexpr TColor clGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clBtnShadow = 0x80000010;
constexpr TColor clBtnText = 0x80000012;
constexpr TColor clBtnHighlight = 0x80000014;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;

constexpr bool isSystemColor(TColor c) {
    return (c & 0x80000000u) != 0;
}

// The stored form of an RGB colour.
constexpr TColor rgbColor(int red, int green, int blue) {
    return TColor(red & 0xFF) | (TColor(green & 0xFF) << 8) | (TColor(blue & 0xFF) << 16);
}

// The palette colour standing for system colour n; black for numbers the system does not have.
QColor systemColor(int n, const QPalette &palette);

// The colour to draw with. clNone resolves to fully transparent, so an unset colour that
// reaches a painter draws nothing instead of an arbitrary colour.
QColor resolveColor(TColor c, const QPalette &palette);

// The stored form of a QColor (alpha is dropped).
TColor colorFromQColor(const QColor &c);
