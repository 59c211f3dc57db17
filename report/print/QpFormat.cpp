#include "report/print/QpFormat.h"

#include "report/print/QpBase.h"

#include "platform/rtl/NumberText.h"
#include "platform/rtl/RtlMath.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

bool IsCodeChar(QChar c)
{
    return c.unicode() == kQPTFBlockStart || c.unicode() == kQPTFNextCommand || c.unicode() == kQPTFBlockEnd;
}

bool FlagValue(const QString& value)
{
    return value == u"1";
}

double FontSizeValue(const QString& value)
{
    return std::clamp(QPTFNumber(value), 0.0, kQPTFMaxFontSize);
}

// Runs f(cmd, value) for every command of a block.
template <class F> void ForEachCommand(const QString& codes, F f)
{
    int pos = 0;
    QChar cmd;
    QString value;
    while (NextQPTFCommand(codes, pos, cmd, value))
        f(cmd, value);
}

// The one place where the width of the tab grid is settled: a step of 0
// (FixedTabWidth 0, which scripts can set) would never move on.
int64_t TabStep(TBaseReport& report)
{
    const double step = report.XU2I(report.FixedTabWidth()) * report.XDPI();
    if (!(step >= 1))
        return 1;
    return step > INT_MAX ? INT_MAX : Round(step);
}

int64_t NextTabStop(int64_t width, int64_t step)
{
    if (width <= 0)
        return step;
    if (width % step == 0)
        return width;
    return (width / step + 1) * step;
}

int ClampToInt(int64_t value)
{
    return int(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

// Saves the base font and the device-font selection of a canvas while codes
// are applied for measuring, and puts both back however the measuring ends.
class TMeasureGuard {
public:
    explicit TMeasureGuard(TBaseReport& report)
        : FReport(report), FFont(*report.GetBaseFont()), FSelection(report.SaveFontSelection())
    {
    }
    ~TMeasureGuard()
    {
        *FReport.GetBaseFont() = FFont;
        FReport.MarkBaseFontChanged();
        try {
            FReport.RestoreFontSelection(FSelection);
        } catch (const Exception&) {
            // The canvas went inactive while measuring; there is no
            // selection left to restore, and nothing may leave a destructor.
        }
    }
    TMeasureGuard(const TMeasureGuard&) = delete;
    TMeasureGuard& operator=(const TMeasureGuard&) = delete;

private:
    TBaseReport& FReport;
    TSaveFont FFont;
    TBaseReport::TFontSelection FSelection;
};

// The style commands that fonts and format states share (bold, colour,
// pitch, italic, strikeout, super- and subscript, underline); false for any
// other command.
template <class Style> bool ApplyStyleCommand(Style& style, QChar cmd, const QString& value)
{
    switch (cmd.unicode()) {
    case u'B': style.Bold = FlagValue(value); return true;
    case u'C': style.Color = TColor(StrToInt(value)); return true;
    case u'H':
        if (value == u"D")
            style.Pitch = TFontPitch::fpDefault;
        else if (value == u"F")
            style.Pitch = TFontPitch::fpFixed;
        else if (value == u"V")
            style.Pitch = TFontPitch::fpVariable;
        return true;
    case u'I': style.Italic = FlagValue(value); return true;
    case u'K': style.Strikeout = FlagValue(value); return true;
    case u'P': style.Superscript = FlagValue(value); return true;
    case u'S': style.Subscript = FlagValue(value); return true;
    case u'U': style.Underline = FlagValue(value); return true;
    default: return false;
    }
}

} // namespace

TFormatState NewDefaultFormatState()
{
    TFormatState state;
    state.Name = QStringLiteral("Arial");
    state.Size = 12;
    state.Style = TFormatStyle();
    state.Style.Color = 0;
    state.Para.Justify = TPrintJustify::pjLeft;
    state.Para.FirstIndent = 0;
    state.Para.LeftIndent = 0;
    state.Para.RightIndent = 0;
    state.Prev = nullptr;
    return state;
}

bool NextQPTFCommand(const QString& text, int& pos, QChar& cmd, QString& value)
{
    const int n = int(text.size());
    int i = std::max(pos, 0);
    value.clear();
    for (;;) {
        while (i < n && text[i].unicode() != kQPTFBlockStart && text[i].unicode() != kQPTFNextCommand)
            ++i;
        if (i + 1 >= n)
            break;
        ++i;
        // A block or separator with no letter after it holds no command.
        if (IsCodeChar(text[i]))
            continue;
        cmd = text[i++];
        while (i < n && text[i].unicode() != kQPTFNextCommand && text[i].unicode() != kQPTFBlockEnd) {
            if (text[i].unicode() != kQPTFIgnored)
                value.append(text[i]);
            ++i;
        }
        pos = i;
        return true;
    }
    pos = n;
    cmd = QChar(u' ');
    return false;
}

bool SplitQPTFText(const QString& text, int& pos, QString& run, QString& codes)
{
    const int n = int(text.size());
    run.clear();
    codes.clear();
    pos = std::max(pos, 0);
    if (pos >= n)
        return false;
    while (pos < n && text[pos].unicode() == kQPTFBlockStart) {
        const int end = int(text.indexOf(QChar(kQPTFBlockEnd), pos));
        const int next = end < 0 ? n : end + 1;
        codes.append(QStringView(text).mid(pos, next - pos));
        pos = next;
    }
    int next = int(text.indexOf(QChar(kQPTFBlockStart), pos));
    if (next < 0)
        next = n;
    run = text.mid(pos, next - pos);
    pos = next;
    return true;
}

void ApplyQPTFToFont(TSaveFont& font, const QString& codes,
                     const std::function<void(const QString& link)>& onLink)
{
    auto resetStyles = [&font] {
        font.Bold = false;
        font.Underline = false;
        font.Italic = false;
        font.Strikeout = false;
        font.Superscript = false;
        font.Subscript = false;
        font.Color = 0;
        font.Pitch = TFontPitch::fpDefault;
        font.CharSet = DEFAULT_CHARSET;
        font.Rotation = 0;
        font.Width = 0;
        font.Align = TFontAlign::faBaseline;
    };
    ForEachCommand(codes, [&](QChar cmd, const QString& value) {
        if (ApplyStyleCommand(font, cmd, value))
            return;
        switch (cmd.unicode()) {
        case u'A':
            if (onLink)
                onLink(value);
            break;
        case u'N':
            font.Name = value;
            break;
        case u'Z':
            font.Size = FontSizeValue(value);
            font.Height = font.Size / 72;
            break;
        case u'R':
            resetStyles();
            font.Name = QStringLiteral("Arial");
            font.Size = 12;
            font.Height = 12.0 / 72;
            break;
        case u'r':
            resetStyles();
            break;
        default:
            break; // J and the paragraph commands do not concern a font
        }
    });
}

void ApplyQPTFToBaseFont(TBaseReport& report, const QString& codes, bool followLinks)
{
    std::function<void(const QString&)> onLink;
    if (followLinks) {
        onLink = [&report](const QString& link) {
            if (link.isEmpty())
                report.EndLink();
            else
                report.StartLink(link);
        };
    }
    ApplyQPTFToFont(*report.GetBaseFont(), codes, onLink);
    report.MarkBaseFontChanged();
}

bool NextQPTFSegment(TBaseReport& report, const QString& text, int& pos, QString& run)
{
    QString codes;
    if (!SplitQPTFText(text, pos, run, codes))
        return false;
    if (!codes.isEmpty())
        ApplyQPTFToBaseFont(report, codes);
    return true;
}

void ApplyQPTFToFormatState(TFormatState& state, const QString& codes)
{
    ForEachCommand(codes, [&state](QChar cmd, const QString& value) {
        TFormatStyle& style = state.Style;
        if (ApplyStyleCommand(style, cmd, value))
            return;
        switch (cmd.unicode()) {
        case u'F':
            state.Para.FirstIndent = QPTFNumber(value);
            break;
        case u'G':
            state.Para.RightIndent = QPTFNumber(value);
            break;
        case u'J':
            if (value == u"C")
                state.Para.Justify = TPrintJustify::pjCenter;
            else if (value == u"L")
                state.Para.Justify = TPrintJustify::pjLeft;
            else if (value == u"R")
                state.Para.Justify = TPrintJustify::pjRight;
            else if (value == u"B")
                state.Para.Justify = TPrintJustify::pjBlock;
            break;
        case u'L':
            state.Para.LeftIndent = QPTFNumber(value);
            break;
        case u'N':
            state.Name = value;
            break;
        case u'Z':
            state.Size = FontSizeValue(value);
            break;
        case u'R': {
            TFormatState* prev = state.Prev;
            state = NewDefaultFormatState();
            state.Prev = prev;
            break;
        }
        case u'r':
            style = NewDefaultFormatState().Style;
            break;
        default:
            break; // A links belong to the font
        }
    });
}

int QPTFTextLength(const QString& text)
{
    return QPTFBufLength(text.constData(), int(text.size()));
}

int QPTFBufLength(const QChar* buffer, int length)
{
    int count = 0;
    bool inBlock = false;
    for (int i = 0; i < length; ++i) {
        const char16_t c = buffer[i].unicode();
        if (inBlock) {
            if (c == kQPTFBlockEnd)
                inBlock = false;
        } else if (c == kQPTFBlockStart) {
            inBlock = true;
        } else {
            ++count;
        }
    }
    return count;
}

void AddQPTFCommand(QString& codes, const QString& command)
{
    codes.append(QChar(codes.isEmpty() ? kQPTFBlockStart : kQPTFNextCommand));
    codes.append(command);
}

void FormatStateDiff(QString& codes, const TFormatState& oldState, const TFormatState& newState)
{
    const TFormatPara& o = oldState.Para;
    const TFormatPara& n = newState.Para;
    if (o.FirstIndent != n.FirstIndent)
        AddQPTFCommand(codes, u'F' + QPTFNumberText(n.FirstIndent));
    if (o.LeftIndent != n.LeftIndent)
        AddQPTFCommand(codes, u'L' + QPTFNumberText(n.LeftIndent));
    if (o.RightIndent != n.RightIndent)
        AddQPTFCommand(codes, u'G' + QPTFNumberText(n.RightIndent));
    if (oldState.Name.compare(newState.Name, Qt::CaseInsensitive) != 0)
        AddQPTFCommand(codes, u'N' + newState.Name);
    if (oldState.Size != newState.Size)
        AddQPTFCommand(codes, u'Z' + QPTFNumberText(newState.Size));
    auto flag = [&codes](char16_t letter, bool before, bool after) {
        if (before != after)
            AddQPTFCommand(codes, QString(QChar(letter)) + (after ? u'1' : u'0'));
    };
    const TFormatStyle& os = oldState.Style;
    const TFormatStyle& ns = newState.Style;
    flag(u'B', os.Bold, ns.Bold);
    flag(u'I', os.Italic, ns.Italic);
    flag(u'U', os.Underline, ns.Underline);
    flag(u'K', os.Strikeout, ns.Strikeout);
    flag(u'S', os.Subscript, ns.Subscript);
    flag(u'P', os.Superscript, ns.Superscript);
    if (os.Color != ns.Color)
        AddQPTFCommand(codes, u'C' + IntToStr(ns.Color));
    if (o.Justify != n.Justify) {
        static constexpr char16_t kLetters[] = {u'C', u'L', u'R', u'B'};
        AddQPTFCommand(codes, QStringLiteral("J") + QChar(kLetters[size_t(n.Justify) & 3]));
    }
}

QString FormatStateToQPTF(const TFormatState& state)
{
    QString codes;
    AddQPTFCommand(codes, QStringLiteral("R"));
    FormatStateDiff(codes, NewDefaultFormatState(), state);
    codes.append(QChar(kQPTFBlockEnd));
    return codes;
}

int TabbedTextWidth(TBaseReport& report, const QString& text, int startWidth)
{
    const int64_t step = TabStep(report);
    int64_t width = startWidth;
    qsizetype from = 0;
    for (qsizetype tab = text.indexOf(u'\t'); tab >= 0; tab = text.indexOf(u'\t', from)) {
        width += report.GetTextExtent(text.mid(from, tab - from)).width();
        width = NextTabStop(width, step);
        from = tab + 1;
    }
    width += report.GetTextExtent(text.mid(from)).width();
    return ClampToInt(width);
}

int QPTFTextWidth(TBaseReport& report, const QString& text)
{
    TMeasureGuard guard(report);
    int width = 0;
    int pos = 0;
    QString run;
    QString codes;
    while (SplitQPTFText(text, pos, run, codes)) {
        if (!codes.isEmpty())
            ApplyQPTFToBaseFont(report, codes, false);
        report.SelectQPFont();
        width = TabbedTextWidth(report, run, width);
    }
    return std::max(width, 1);
}

double QPTFMaxFontHeight(TBaseReport& report, const QString& text)
{
    TMeasureGuard guard(report);
    double height = 0;
    int pos = 0;
    QString run;
    QString codes;
    while (SplitQPTFText(text, pos, run, codes)) {
        if (!codes.isEmpty())
            ApplyQPTFToBaseFont(report, codes, false);
        height = std::max(height, report.FontHeight());
    }
    return height;
}

TPrintJustify QPTFJustify(const QString& text, TPrintJustify def)
{
    TPrintJustify result = def;
    int pos = 0;
    QChar cmd;
    QString value;
    while (NextQPTFCommand(text, pos, cmd, value)) {
        if (cmd == u'R') {
            result = TPrintJustify::pjLeft;
        } else if (cmd == u'J') {
            if (value == u"C")
                return TPrintJustify::pjCenter;
            if (value == u"L")
                return TPrintJustify::pjLeft;
            if (value == u"R")
                return TPrintJustify::pjRight;
            if (value == u"B")
                return TPrintJustify::pjBlock;
            return result;
        }
    }
    return result;
}

QString QPTFNumberText(double value)
{
    QString text = FloatToStr(value);
    const QChar separator = DecimalSeparator();
    if (separator != u'.')
        text.replace(separator, u'.');
    return text;
}

double QPTFNumber(const QString& text)
{
    QString normalised = text;
    const QChar separator = DecimalSeparator();
    normalised.replace(u'.', separator);
    normalised.replace(u',', separator);
    double value = 0;
    if (!TryStrToFloat(normalised, value) || !std::isfinite(value))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}
