#pragma once
// Colours in the framework's form: a TColor is a 32-bit value $00BBGGRR for
// an RGB colour, or $FF0000nn for the system colour number nn, which
// ColorToRGB resolves through a fixed table (the classic Windows scheme), so
// that output never depends on the desktop theme of the machine.
#include <QColor>

#include <cstdint>

struct TTypeInfo;

using TColor = int32_t;

constexpr TColor RGB(int r, int g, int b)
{
    return TColor((uint32_t(r) & 0xFF) | ((uint32_t(g) & 0xFF) << 8) | ((uint32_t(b) & 0xFF) << 16));
}
constexpr int GetRValue(uint32_t rgb)
{
    return int(rgb & 0xFF);
}
constexpr int GetGValue(uint32_t rgb)
{
    return int((rgb >> 8) & 0xFF);
}
constexpr int GetBValue(uint32_t rgb)
{
    return int((rgb >> 16) & 0xFF);
}

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours: clSystemColor or'ed with the system colour number.
constexpr TColor clSystemColor = TColor(0xFF000000);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
constexpr TColor clHotLight = clSystemColor | 26;
constexpr TColor clGradientActiveCaption = clSystemColor | 27;
constexpr TColor clGradientInactiveCaption = clSystemColor | 28;
constexpr TColor clMenuHighlight = clSystemColor | 29;
constexpr TColor clMenuBar = clSystemColor | 30;

// The integer type "TColor" of colour properties. RegisterColorIdents
// registers the names above for it (clBlack ... clWhite, the system colours
// clScrollBar ... clMenuBar, clNone, clDefault), so that form files write
// "Color = clBtnFace"; the forms layer calls it at start-up.
const TTypeInfo& TypeInfoColor();
void RegisterColorIdents();

// The RGB value ($00BBGGRR) of a colour: system colours (negative values)
// through the fixed table, a number beyond the table giving black; every other
// value unchanged.
uint32_t ColorToRGB(TColor color);
// The colour as Qt draws it (the low 24 bits of ColorToRGB, opaque).
QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
