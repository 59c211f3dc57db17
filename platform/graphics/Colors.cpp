#include "platform/graphics/Colors.h"

#include "platform/objects/TypInfo.h"

#include <array>
#include <iterator>

namespace {

// System colours of the "Windows Classic" (Windows Standard) colour scheme of
// Windows 2000/XP, indexed by the COLOR_* number of the Win32 API (winuser.h);
// numbers 25 (unused by Windows), 29 and 30 (menu highlight and menu bar,
// which the classic scheme draws with the highlight and face colours) are
// filled as that scheme shows them. Values are RGB(r, g, b).
constexpr std::array<TColor, 31> kSystemColors = {
    RGB(212, 208, 200), // 0 COLOR_SCROLLBAR
    RGB(58, 110, 165),  // 1 COLOR_BACKGROUND
    RGB(10, 36, 106),   // 2 COLOR_ACTIVECAPTION
    RGB(128, 128, 128), // 3 COLOR_INACTIVECAPTION
    RGB(212, 208, 200), // 4 COLOR_MENU
    RGB(255, 255, 255), // 5 COLOR_WINDOW
    RGB(0, 0, 0),       // 6 COLOR_WINDOWFRAME
    RGB(0, 0, 0),       // 7 COLOR_MENUTEXT
    RGB(0, 0, 0),       // 8 COLOR_WINDOWTEXT
    RGB(255, 255, 255), // 9 COLOR_CAPTIONTEXT
    RGB(212, 208, 200), // 10 COLOR_ACTIVEBORDER
    RGB(212, 208, 200), // 11 COLOR_INACTIVEBORDER
    RGB(128, 128, 128), // 12 COLOR_APPWORKSPACE
    RGB(10, 36, 106),   // 13 COLOR_HIGHLIGHT
    RGB(255, 255, 255), // 14 COLOR_HIGHLIGHTTEXT
    RGB(212, 208, 200), // 15 COLOR_BTNFACE
    RGB(128, 128, 128), // 16 COLOR_BTNSHADOW
    RGB(128, 128, 128), // 17 COLOR_GRAYTEXT
    RGB(0, 0, 0),       // 18 COLOR_BTNTEXT
    RGB(212, 208, 200), // 19 COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255), // 20 COLOR_BTNHIGHLIGHT
    RGB(64, 64, 64),    // 21 COLOR_3DDKSHADOW
    RGB(212, 208, 200), // 22 COLOR_3DLIGHT
    RGB(0, 0, 0),       // 23 COLOR_INFOTEXT
    RGB(255, 255, 225), // 24 COLOR_INFOBK
    RGB(181, 181, 181), // 25 (unused)
    RGB(0, 0, 128),     // 26 COLOR_HOTLIGHT
    RGB(166, 202, 240), // 27 COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192), // 28 COLOR_GRADIENTINACTIVECAPTION
    RGB(10, 36, 106),   // 29 COLOR_MENUHILIGHT
    RGB(212, 208, 200), // 30 COLOR_MENUBAR
};

// The names form files give colours.
struct TColorName {
    TColor Value;
    const char* Name;
};
constexpr TColorName kColorNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"},
    {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"},
    {clMenu, "clMenu"},
    {clMenuBar, "clMenuBar"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuText, "clMenuText"},
    {clNone, "clNone"},
    {clScrollBar, "clScrollBar"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"},
};

} // namespace

const TTypeInfo& TypeInfoColor()
{
    static const TTypeInfo t = MakeIntegerType(QStringLiteral("TColor"));
    return t;
}

void RegisterColorIdents()
{
    TIdentMap map;
    map.reserve(std::size(kColorNames));
    for (const TColorName& color : kColorNames)
        map.push_back(TIdentMapEntry{color.Value, QString::fromLatin1(color.Name)});
    RegisterIntegerConsts(TypeInfoColor().Name, std::move(map));
}

uint32_t ColorToRGB(TColor color)
{
    if (color >= 0)
        return uint32_t(color);
    const uint32_t index = uint32_t(color) & 0xFF;
    return index < kSystemColors.size() ? uint32_t(kSystemColors[index]) : 0;
}

QColor ToQColor(TColor color)
{
    const uint32_t rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& color)
{
    return RGB(color.red(), color.green(), color.blue());
}
