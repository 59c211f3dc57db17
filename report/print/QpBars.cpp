#include "report/print/QpBars.h"

#include <algorithm>
#include <array>

namespace {

// ---------------------------------------------------------------------------
// Symbology tables. A pattern's digits are element widths in modules (or
// width codes), bar and space alternately.

// Interleaved 2 of 5, ISO/IEC 16390:2007, Table 1 (symbol character
// encodation): the five elements of each digit, 1 narrow, 2 wide; index =
// the digit. Start N N N N, stop W N N (clause 4.3.3).
constexpr std::array<const char*, 10> k2of5Patterns = {"11221", "21112", "12112", "22111", "11212",
                                                       "21211", "12211", "11122", "21121", "12121"};
constexpr char k2of5Start[] = "1111";
constexpr char k2of5Stop[] = "211";

// Code 39, ISO/IEC 16388:2007, Table 1 (symbol character encodation): the
// nine elements of each character, 1 narrow, 2 wide, in the order of
// kCode39Chars (the check character's values, Annex A); the start/stop
// character "*" last.
constexpr char16_t kCode39Chars[] = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
constexpr std::array<const char*, 43> kCode39Patterns = {
    "111221211", "211211112", "112211112", "212211111", "111221112", "211221111", "112221111", "111211212",
    "211211211", "112211211", "211112112", "112112112", "212112111", "111122112", "211122111", "112122111",
    "111112212", "211112211", "112112211", "111122211", "211111122", "112111122", "212111121", "111121122",
    "211121121", "112121121", "111111222", "211111221", "112111221", "111121221", "221111112", "122111112",
    "222111111", "121121112", "221121111", "122121111", "121111212", "221111211", "122111211", "121212111",
    "121211121", "121112121", "111212121"};
constexpr char kCode39StartStop[] = "121121211";

// Code 39 full ASCII, ISO/IEC 16388:2007, the full ASCII annex's table: the symbol
// characters that stand for each ASCII character 0 to 127.
constexpr std::array<const char*, 128> kCode39Ascii = {
    "%U", "$A", "$B", "$C", "$D", "$E", "$F", "$G", "$H", "$I", "$J", "$K", "$L", "$M", "$N", "$O",
    "$P", "$Q", "$R", "$S", "$T", "$U", "$V", "$W", "$X", "$Y", "$Z", "%A", "%B", "%C", "%D", "%E",
    " ",  "/A", "/B", "/C", "/D", "/E", "/F", "/G", "/H", "/I", "/J", "/K", "/L", "-",  ".",  "/O",
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "/Z", "%F", "%G", "%H", "%I", "%J",
    "%V", "A",  "B",  "C",  "D",  "E",  "F",  "G",  "H",  "I",  "J",  "K",  "L",  "M",  "N",  "O",
    "P",  "Q",  "R",  "S",  "T",  "U",  "V",  "W",  "X",  "Y",  "Z",  "%K", "%L", "%M", "%N", "%O",
    "%W", "+A", "+B", "+C", "+D", "+E", "+F", "+G", "+H", "+I", "+J", "+K", "+L", "+M", "+N", "+O",
    "+P", "+Q", "+R", "+S", "+T", "+U", "+V", "+W", "+X", "+Y", "+Z", "%P", "%Q", "%R", "%S", "%T"};

// POSTNET, USPS Publication 25 (Designing Letter and Reply Mail), the
// POSTNET code table: each digit is five bars weighted 7, 4, 2, 1, 0, two of
// them full height. Here as ten codes, bar and space: 1 half bar, 2 full bar,
// 0 space; index = the digit.
constexpr std::array<const char*, 10> kPostNetPatterns = {
    "2020101010", "1010102020", "1010201020", "1010202010", "1020101020",
    "1020102010", "1020201010", "2010101020", "2010102010", "2010201010"};
constexpr char kPostNetStart[] = "20";
constexpr char kPostNetEnd[] = "2";
// Facing identification marks, USPS Publication 25, FIM patterns A, B, C:
// 3 a bar or narrow space, 4 and 5 wider spaces (see GetBarWidth).
constexpr char kFimA[] = "333535333";
constexpr char kFimB[] = "34333433343";
constexpr char kFimC[] = "33343434333";

// Code 128, ISO/IEC 15417:2007, Table 1 (Code 128 character set): the six
// element widths of symbol values 0 to 102, and Table 2 for the start
// characters A, B, C (values 103 to 105); the stop character (clause 4.3.3)
// has seven elements.
constexpr std::array<const char*, 106> kCode128Patterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232"};
constexpr char kCode128Stop[] = "2331112";

// The system's function characters of Code 128 texts.
constexpr char16_t kFnc1 = 241, kFnc2 = 242, kFnc3 = 243, kFnc4 = 244;
constexpr char16_t kCodeA = 245, kCodeB = 246, kCodeC = 247, kShift = 248;
// Symbol values of the function characters, ISO/IEC 15417:2007, Table 1.
constexpr int kValShift = 98, kValCodeC = 99, kValCodeB = 100, kValCodeA = 101, kValFnc1 = 102;

// The value of a character in code set A or B (Table 1), or -1.
int Code128Value(TCodePage128 set, char16_t c)
{
    const bool a = set == TCodePage128::cpCodeA;
    if (a) {
        if (c >= 32 && c <= 95)
            return c - 32;
        if (c < 32)
            return c + 64;
    } else if (c >= 32 && c <= 127) {
        return c - 32;
    }
    switch (c) {
    case kFnc3:
        return 96;
    case kFnc2:
        return 97;
    case kShift:
        return kValShift;
    case kCodeC:
        return kValCodeC;
    case kFnc1:
        return kValFnc1;
    case kCodeB:
        return a ? kValCodeB : -1;
    case kFnc4:
        return a ? 101 : 100;
    case kCodeA:
        return a ? -1 : kValCodeA;
    default:
        return -1;
    }
}

// UPC-A and EAN-13, ISO/IEC 15420:2009, Table 1 (number set A): the four
// element widths of each digit, space first; number set C is the same
// widths starting with a bar, number set B the widths reversed. Index = the
// digit.
constexpr std::array<const char*, 10> kUpcPatterns = {"3211", "2221", "2122", "1411", "1132",
                                                      "1231", "1114", "1312", "1213", "3112"};
constexpr char kUpcGuard[] = "111";
constexpr char kUpcCentre[] = "11111";
// ISO/IEC 15420:2009, Table 3: number sets A (L) or B (G) of the left half
// by the leading digit; 'G' marks set B.
constexpr std::array<const char*, 10> kEanParity = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                                    "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
int DigitOf(QChar c)
{
    return c.unicode() - u'0';
}

int Code39Index(QChar c)
{
    for (int i = 0; i < 43; ++i)
        if (kCode39Chars[i] == c.unicode())
            return i;
    return -1;
}

const QString kNoReport = QStringLiteral("TBaseReport object not defined.  Printing Aborted.");

} // namespace

// ---------------------------------------------------------------------------
// TQPBarsBase

TQPBarsBase::TQPBarsBase(TBaseReport* baseRpt) : FBaseReport(baseRpt)
{
    if (baseRpt) {
        FTop = baseRpt->YPos();
        SetLeft(baseRpt->XPos());
    }
}

TQPBarsBase::~TQPBarsBase() = default;

void TQPBarsBase::PrintXY(double x, double y)
{
    switch (FBarCodeJustify) {
    case TPrintJustify::pjCenter:
        SetCenter(x);
        break;
    case TPrintJustify::pjRight:
        SetRight(x);
        break;
    default:
        SetLeft(x);
        break;
    }
    FTop = y;
    Print();
}

bool TQPBarsBase::Rotated180() const
{
    return FBarCodeRotation == TBarCodeRotation::Rot90 || FBarCodeRotation == TBarCodeRotation::Rot180;
}

bool TQPBarsBase::Upside() const
{
    return FBarCodeRotation == TBarCodeRotation::Rot180 || FBarCodeRotation == TBarCodeRotation::Rot270;
}

void TQPBarsBase::SetBarCodeJustify(TPrintJustify value)
{
    if (value == FBarCodeJustify)
        return;
    switch (value) {
    case TPrintJustify::pjCenter:
        FPosition = Center();
        break;
    case TPrintJustify::pjRight:
        FPosition = Right();
        break;
    default:
        FPosition = Left();
        break;
    }
    FBarCodeJustify = value;
}

// The edges along the symbol: sign +1 where it runs towards larger
// coordinates (Rot0, Rot270).
double TQPBarsBase::Left() const
{
    const double w = Rotated180() ? -Width() : Width();
    switch (FBarCodeJustify) {
    case TPrintJustify::pjRight:
        return FPosition - w;
    case TPrintJustify::pjCenter:
        return FPosition - w / 2;
    default:
        return FPosition;
    }
}

double TQPBarsBase::Right() const
{
    const double w = Rotated180() ? -Width() : Width();
    switch (FBarCodeJustify) {
    case TPrintJustify::pjRight:
        return FPosition;
    case TPrintJustify::pjCenter:
        return FPosition + w / 2;
    default:
        return FPosition + w;
    }
}

double TQPBarsBase::Center() const
{
    const double w = Rotated180() ? -Width() : Width();
    switch (FBarCodeJustify) {
    case TPrintJustify::pjRight:
        return FPosition - w / 2;
    case TPrintJustify::pjCenter:
        return FPosition;
    default:
        return FPosition + w / 2;
    }
}

void TQPBarsBase::SetLeft(double value)
{
    FPosition = value;
    FBarCodeJustify = TPrintJustify::pjLeft;
}

void TQPBarsBase::SetRight(double value)
{
    FPosition = value;
    FBarCodeJustify = TPrintJustify::pjRight;
}

void TQPBarsBase::SetCenter(double value)
{
    FPosition = value;
    FBarCodeJustify = TPrintJustify::pjCenter;
}

double TQPBarsBase::ReadableHeight() const
{
    if (!FPrintReadable || !FBaseReport)
        return 0;
    FBaseReport->ResetLineHeight();
    return FBaseReport->LineHeight();
}

double TQPBarsBase::Bottom() const
{
    const double h = FBarHeight + ReadableHeight();
    return Upside() ? FTop - h : FTop + h;
}

void TQPBarsBase::SetBottom(double value)
{
    FTop = value - FBarHeight - ReadableHeight();
}

double TQPBarsBase::BarTop() const
{
    if (!FPrintTop)
        return FTop;
    return Upside() ? FTop - ReadableHeight() : FTop + ReadableHeight();
}

void TQPBarsBase::SetBarTop(double value)
{
    FTop = FPrintTop ? value - ReadableHeight() : value;
}

double TQPBarsBase::BarBottom() const
{
    return Upside() ? BarTop() - FBarHeight : BarTop() + FBarHeight;
}

void TQPBarsBase::SetBarBottom(double value)
{
    FTop = FPrintTop ? value - FBarHeight - ReadableHeight() : value - FBarHeight;
}

QString TQPBarsBase::Checksum() const
{
    QString value;
    GetChecksum(value);
    return value;
}

QString TQPBarsBase::ReadableText() const
{
    QString value;
    GetReadableText(value);
    return value;
}

void TQPBarsBase::DoSetText(const QString& value)
{
    FText.clear();
    for (QChar c : value)
        if (IsValidChar(c))
            FText += c;
}

bool TQPBarsBase::IsValidChar(QChar /*ch*/) const
{
    return true;
}

void TQPBarsBase::PrintFrame(const std::function<void()>& draw)
{
    IsOverride = bool(OverrideBar) || bool(OverrideText);
    if (!IsOverride && !FBaseReport)
        RaiseError(Translate(kNoReport));
    if (IsOverride) {
        draw();
        return;
    }
    TCanvas* canvas = FBaseReport->GetCanvas();
    TBrush saveBrush;
    saveBrush.Assign(canvas->Brush());
    TPen savePen;
    savePen.Assign(canvas->Pen());
    auto restore = [&] {
        canvas->Pen()->Assign(&savePen);
        canvas->Brush()->Assign(&saveBrush);
    };
    try {
        FBaseReport->SetBrush(clBlack, TBrushStyle::bsSolid, nullptr);
        FBaseReport->SetPen(clBlack, TPenStyle::psInsideFrame, 1, TPenMode::pmCopy);
        draw();
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TQPBarsBase::PrintCharPatterns(const QString& start, const QString& stop, bool addGap)
{
    PrintFrame([&] {
        const QString s = ReadableText();
        CurrX = Left();
        CurrY = BarTop();
        DrawPattern(start, true, addGap);
        for (QChar c : s) {
            QString pattern;
            GetCharPattern(c, pattern);
            DrawPattern(pattern, true, addGap);
        }
        DrawPattern(stop, true, addGap);
        PrintReadableText();
    });
}

void TQPBarsBase::DrawPattern(const QString& pattern, bool barsOnOdd, bool addGap)
{
    const bool forward = !Rotated180();
    double w = FBarWidth;
    double h = FBarHeight;
    double y = CurrY;
    for (int i = 0; i < pattern.size(); ++i) {
        GetBarWidth(pattern.at(i), w, h, y);
        const bool odd = i % 2 == 0; // 1-based index i + 1
        if (odd == barsOnOdd) {
            switch (FBarCodeRotation) {
            case TBarCodeRotation::Rot0:
                DrawBar(CurrX, y, CurrX + w, y + h);
                break;
            case TBarCodeRotation::Rot90:
                DrawBar(y, CurrX, y + h, CurrX - w);
                break;
            case TBarCodeRotation::Rot180:
                DrawBar(CurrX, y, CurrX - w, y - h);
                break;
            case TBarCodeRotation::Rot270:
                DrawBar(y, CurrX, y - h, CurrX + w);
                break;
            }
        }
        CurrX += forward ? w : -w;
    }
    if (addGap)
        CurrX += forward ? FBarWidth : -FBarWidth;
}

void TQPBarsBase::DrawBar(double x1, double y1, double x2, double y2)
{
    if (IsOverride) {
        // Only OverrideText assigned: the host draws, and no bar is drawn.
        if (OverrideBar)
            OverrideBar(x1, y1, x2, y2);
        return;
    }
    // One device pixel of an inch report off the second X, as the device
    // fills the rectangle up to and including that edge.
    FBaseReport->Rectangle(x1, y1, x2 - 1.0 / FBaseReport->XDPI(), y2);
}

void TQPBarsBase::PrintReadableText()
{
    QString t = FText;
    if (FPrintChecksum)
        t += Checksum();
    PrintReadableLine(t);
}

void TQPBarsBase::PrintReadableLine(const QString& text)
{
    if (IsOverride || !FPrintReadable || !FBaseReport)
        return;
    TBaseReport& r = *FBaseReport;
    const int saveRotation = r.FontRotation();
    if (FPrintTop)
        r.SetLineBottom(BarTop());
    else
        r.SetLineTop(BarBottom());
    QString t;
    for (QChar c : text)
        if (c.unicode() <= 200)
            t += c;
    // Where the text starts along the symbol, for a text running in the
    // symbol's direction.
    auto along = [&](double sign) {
        switch (FTextJustify) {
        case TPrintJustify::pjCenter:
            return Center() + sign * r.TextWidth(t) / 2;
        case TPrintJustify::pjRight:
            return Right() + sign * r.TextWidth(t);
        default:
            return Left();
        }
    };
    switch (FBarCodeRotation) {
    case TBarCodeRotation::Rot0:
        r.SetFontRotation(0);
        switch (FTextJustify) {
        case TPrintJustify::pjCenter:
            r.PrintCenter(t, Center());
            break;
        case TPrintJustify::pjRight:
            r.PrintRight(t, Right());
            break;
        default:
            r.PrintLeft(t, Left());
            break;
        }
        break;
    case TBarCodeRotation::Rot90:
        r.SetFontRotation(90);
        r.SetXPos(FPrintTop ? FTop + r.LineHeight() - r.DescentHeight()
                            : FTop + FBarHeight + r.LineHeight() - r.DescentHeight());
        r.SetYPos(along(1));
        r.Print(t);
        break;
    case TBarCodeRotation::Rot180:
        r.SetFontRotation(180);
        r.SetYPos((FPrintTop ? BarTop() : Bottom()) + r.DescentHeight());
        r.SetXPos(along(1));
        r.Print(t);
        break;
    case TBarCodeRotation::Rot270:
        r.SetFontRotation(270);
        r.SetXPos(FPrintTop ? FTop - r.LineHeight() + r.DescentHeight()
                            : FTop - FBarHeight - r.LineHeight() + r.DescentHeight());
        r.SetYPos(along(-1));
        r.Print(t);
        break;
    }
    r.SetFontRotation(saveRotation);
}

// ---------------------------------------------------------------------------
// Interleaved 2 of 5

TQPBars2of5::TQPBars2of5(TBaseReport* baseRpt) : TQPBarsBase(baseRpt)
{
    FWideFactor = 3.0;
    Modulas = 10;
}

bool TQPBars2of5::IsValidChar(QChar ch) const
{
    return IsAsciiDigit(ch);
}

void TQPBars2of5::GetCharPattern(QChar ch, QString& pattern) const
{
    pattern = IsAsciiDigit(ch) ? QString::fromLatin1(k2of5Patterns.at(size_t(DigitOf(ch)))) : QString();
}

void TQPBars2of5::GetBarWidth(QChar code, double& width, double& /*height*/, double& /*top*/) const
{
    width = code == u'2' ? FBarWidth * FWideFactor : FBarWidth;
}

// Weight 3 for the last digit and every second one to its left.
void TQPBars2of5::GetChecksum(QString& value) const
{
    int sum = 0;
    int weight = 3;
    for (int i = int(FText.size()) - 1; i >= 0; --i) {
        sum += DigitOf(FText.at(i)) * weight;
        weight = 4 - weight;
    }
    const int r = sum % Modulas;
    value = QString::number(r == 0 ? 0 : 10 - r);
}

void TQPBars2of5::GetReadableText(QString& value) const
{
    value = FText;
    if (FUseChecksum)
        value += Checksum();
    if (value.size() % 2 == 1)
        value.prepend(u'0');
}

double TQPBars2of5::GetWidth() const
{
    const int n = ((int(FText.size()) + (FUseChecksum ? 1 : 0) + 1) / 2) * 2;
    return ((2 * FWideFactor + 3) * n + 6 + FWideFactor) * FBarWidth;
}

void TQPBars2of5::Print()
{
    PrintFrame([this] {
        const QString s = ReadableText();
        CurrX = Left();
        CurrY = BarTop();
        DrawPattern(QString::fromLatin1(k2of5Start), true, false);
        for (int i = 0; i + 1 < s.size(); i += 2) {
            QString bars, spaces, both;
            GetCharPattern(s.at(i), bars);
            GetCharPattern(s.at(i + 1), spaces);
            for (int k = 0; k < bars.size() && k < spaces.size(); ++k)
                both += QString(bars.at(k)) + spaces.at(k);
            DrawPattern(both, true, false);
        }
        DrawPattern(QString::fromLatin1(k2of5Stop), true, false);
        PrintReadableText();
    });
}

void TQPBars2of5::PrintReadableText()
{
    QString t = FText;
    if (FPrintChecksum) {
        t += Checksum();
        if (t.size() % 2 == 1)
            t.prepend(u'0');
    }
    PrintReadableLine(t);
}

// ---------------------------------------------------------------------------
// Code 39

TQPBarsCode39::TQPBarsCode39(TBaseReport* baseRpt) : TQPBarsBase(baseRpt)
{
    FWideFactor = 3.0;
    Modulas = 43;
}

bool TQPBarsCode39::IsValidChar(QChar ch) const
{
    return FExtended ? ch.unicode() <= 127 : Code39Index(ch) >= 0;
}

QString TQPBarsCode39::ExtendedText() const
{
    QString out;
    for (QChar c : FText)
        if (c.unicode() <= 127)
            out += QString::fromLatin1(kCode39Ascii.at(c.unicode()));
    return out;
}

void TQPBarsCode39::GetCharPattern(QChar ch, QString& pattern) const
{
    const int index = Code39Index(ch);
    pattern = index >= 0 ? QString::fromLatin1(kCode39Patterns.at(size_t(index))) : QString();
}

void TQPBarsCode39::GetBarWidth(QChar code, double& width, double& /*height*/, double& /*top*/) const
{
    width = code == u'2' ? FBarWidth * FWideFactor : FBarWidth;
}

// The sum of the character values mod 43, over the symbol characters that
// are encoded (the full-ASCII pairs in extended mode); characters without a
// symbol character add nothing.
void TQPBarsCode39::GetChecksum(QString& value) const
{
    const QString encoded = FExtended ? ExtendedText() : FText;
    int sum = 0;
    for (QChar c : encoded)
        sum += std::max(0, Code39Index(c));
    value = QChar(kCode39Chars[sum % Modulas]);
}

void TQPBarsCode39::GetReadableText(QString& value) const
{
    value = FExtended ? ExtendedText() : FText;
    if (FUseChecksum)
        value += Checksum();
}

double TQPBarsCode39::GetWidth() const
{
    const int n =
        int((FExtended ? ExtendedText() : FText).size()) + (FUseChecksum ? int(Checksum().size()) : 0);
    return ((3 * FWideFactor + 6) * (n + 2) + (n + 1)) * FBarWidth;
}

void TQPBarsCode39::Print()
{
    const QString startStop = QString::fromLatin1(kCode39StartStop);
    PrintCharPatterns(startStop, startStop, true);
}

// ---------------------------------------------------------------------------
// POSTNET

TQPBarsPostNet::TQPBarsPostNet(TBaseReport* baseRpt) : TQPBarsBase(baseRpt)
{
    FBarWidth = 0.02;
    FBarHeight = 0.125;
    Modulas = 10;
    FUseChecksum = true;
}

bool TQPBarsPostNet::IsValidChar(QChar ch) const
{
    return IsAsciiDigit(ch);
}

void TQPBarsPostNet::DoSetText(const QString& value)
{
    TQPBarsBase::DoSetText(value);
    if (FText.size() >= 12)
        FText.truncate(11);
    while (FText.size() < 5)
        FText.prepend(u'0');
}

void TQPBarsPostNet::GetCharPattern(QChar ch, QString& pattern) const
{
    pattern = IsAsciiDigit(ch) ? QString::fromLatin1(kPostNetPatterns.at(size_t(DigitOf(ch)))) : QString();
}

double TQPBarsPostNet::SpaceWidth() const
{
    return FBaseReport ? FBaseReport->XI2U(0.0254) : 0.0254;
}

void TQPBarsPostNet::GetBarWidth(QChar code, double& width, double& height, double& top) const
{
    auto inches = [this](double value) { return FBaseReport ? FBaseReport->XI2U(value) : value; };
    switch (code.unicode()) {
    case u'0':
        width = SpaceWidth();
        break;
    case u'1':
        width = FBarWidth;
        height = 0.4 * FBarHeight;
        top = Upside() ? CurrY - FBarHeight + height : CurrY + FBarHeight - height;
        break;
    case u'2':
        width = FBarWidth;
        height = FBarHeight;
        top = CurrY;
        break;
    case u'3':
        width = inches(0.03125);
        height = inches(0.625);
        break;
    case u'4':
        width = inches(0.09375);
        height = inches(0.625);
        break;
    case u'5':
        width = inches(0.15625);
        height = inches(0.625);
        break;
    default:
        break;
    }
}

void TQPBarsPostNet::GetChecksum(QString& value) const
{
    int sum = 0;
    for (QChar c : FText)
        sum += DigitOf(c);
    value = QString::number((10 - sum % Modulas) % Modulas);
}

void TQPBarsPostNet::GetReadableText(QString& value) const
{
    value = FText;
    if (FUseChecksum)
        value += Checksum();
}

double TQPBarsPostNet::GetWidth() const
{
    const int n = int(FText.size());
    const double s = SpaceWidth();
    double width = (5 * n + 2) * FBarWidth + (5 * n + 1) * s;
    if (FUseChecksum)
        width += 5 * FBarWidth + 5 * s;
    return width;
}

void TQPBarsPostNet::Print()
{
    PrintCharPatterns(QString::fromLatin1(kPostNetStart), QString::fromLatin1(kPostNetEnd), false);
}

void TQPBarsPostNet::PrintFim(const QString& pattern, double x, double y)
{
    PrintFrame([&] {
        CurrX = x;
        CurrY = y;
        DrawPattern(pattern, true, false);
    });
}

void TQPBarsPostNet::PrintFimA(double x, double y)
{
    PrintFim(QString::fromLatin1(kFimA), x, y);
}

void TQPBarsPostNet::PrintFimB(double x, double y)
{
    PrintFim(QString::fromLatin1(kFimB), x, y);
}

void TQPBarsPostNet::PrintFimC(double x, double y)
{
    PrintFim(QString::fromLatin1(kFimC), x, y);
}

// ---------------------------------------------------------------------------
// Code 128

TQPBarsCode128::TQPBarsCode128(TBaseReport* baseRpt) : TQPBarsBase(baseRpt)
{
    Modulas = 103;
    FUseChecksum = true;
}

bool TQPBarsCode128::IsValidChar(QChar ch) const
{
    return ch.unicode() <= 127 || (ch.unicode() >= kFnc1 && ch.unicode() <= kShift);
}

void TQPBarsCode128::GetCharPattern(QChar ch, QString& pattern) const
{
    pattern = ch.unicode() < kCode128Patterns.size() ? QString::fromLatin1(kCode128Patterns.at(ch.unicode()))
                                                     : QString();
}

void TQPBarsCode128::GetBarWidth(QChar code, double& width, double& /*height*/, double& /*top*/) const
{
    width = DigitOf(code) * FBarWidth;
}

// One pass of the encoder from one start set; stops once the result holds
// limit values (limit 0: no limit).
QList<int> TQPBarsCode128::EncodeWith(TCodePage128 start, int limit) const
{
    using enum TCodePage128;
    const QString& text = FText;
    const int n = int(text.size());
    auto digit = [&](int i) { return i < n && IsAsciiDigit(text.at(i)); };
    auto digitsAfter = [&](int i, int count) {
        for (int k = 1; k <= count; ++k)
            if (!digit(i + k))
                return false;
        return true;
    };
    QList<int> result;
    TCodePage128 set = start;
    int i = 0;
    // A character in set A or B; a SHIFT takes the next character from the
    // other set, for that one character only, and is dropped when that
    // character has no value there.
    auto put = [&](TCodePage128 in, char16_t c) {
        const int v = Code128Value(in, c);
        if (v != kValShift) {
            result.append(v);
            return v;
        }
        const TCodePage128 other = in == cpCodeA ? cpCodeB : cpCodeA;
        if (i < n) {
            const char16_t next = text.at(i).unicode();
            const int shifted = Code128Value(other, next);
            if (shifted >= 0 && !(next >= kCodeA && next <= kShift)) {
                result.append(kValShift);
                result.append(shifted);
                ++i;
            }
        }
        return v;
    };
    while (i < n) {
        if (limit > 0 && result.size() >= limit)
            break;
        const char16_t c = text.at(i).unicode();
        ++i;
        if (FOptimize && c >= kCodeA && c <= kShift)
            continue;
        if (FOptimize && set != cpCodeC) {
            int run = 0;
            while (digit(i - 1 + run))
                ++run;
            if (run >= 6 && run % 2 == 0) {
                result.append(kValCodeC);
                set = cpCodeC;
            }
        }
        if (set == cpCodeC) {
            if (c == kCodeC)
                continue;
            if (digit(i - 1) && digit(i)) {
                result.append(10 * DigitOf(text.at(i - 1)) + DigitOf(text.at(i)));
                ++i;
            } else if (c == kFnc1) {
                result.append(kValFnc1);
            } else if (c == kCodeA) {
                result.append(kValCodeA);
                set = cpCodeA;
            } else if (c == kCodeB) {
                result.append(kValCodeB);
                set = cpCodeB;
            } else {
                const TCodePage128 to = Code128Value(cpCodeB, c) >= 0   ? cpCodeB
                                        : Code128Value(cpCodeA, c) >= 0 ? cpCodeA
                                                                        : cpCodeC;
                if (to == cpCodeC)
                    continue;
                result.append(to == cpCodeB ? kValCodeB : kValCodeA);
                const int pos = i - 1;
                put(to, c);
                if (digitsAfter(pos, 4) && i == pos + 1)
                    result.append(kValCodeC);
                else
                    set = to;
            }
            continue;
        }
        const TCodePage128 other = set == cpCodeA ? cpCodeB : cpCodeA;
        if (c == (set == cpCodeA ? kCodeA : kCodeB))
            continue;
        if (Code128Value(set, c) >= 0) {
            const int v = put(set, c);
            if (v == kValCodeC)
                set = cpCodeC;
            else if (c == kCodeA)
                set = cpCodeA;
            else if (c == kCodeB)
                set = cpCodeB;
        } else if (Code128Value(other, c) >= 0) {
            result.append(other == cpCodeA ? kValCodeA : kValCodeB);
            result.append(Code128Value(other, c));
            set = other;
        }
    }
    return result;
}

QList<int> TQPBarsCode128::Encode(TCodePage128& used) const
{
    if (!FOptimize) {
        used = FCodePage;
        return EncodeWith(FCodePage, 0);
    }
    QList<int> best = EncodeWith(TCodePage128::cpCodeA, 0);
    used = TCodePage128::cpCodeA;
    for (TCodePage128 set : {TCodePage128::cpCodeB, TCodePage128::cpCodeC}) {
        const QList<int> trial = EncodeWith(set, int(best.size()));
        if (trial.size() < best.size()) {
            best = trial;
            used = set;
        }
    }
    return best;
}

QList<int> TQPBarsCode128::Encoded() const
{
    TCodePage128 used;
    return Encode(used);
}

TCodePage128 TQPBarsCode128::CodePageUsed() const
{
    TCodePage128 used;
    Encode(used);
    return used;
}

void TQPBarsCode128::GetChecksum(QString& value) const
{
    TCodePage128 used;
    const QList<int> values = Encode(used);
    int sum = 103 + int(used);
    for (int k = 0; k < values.size(); ++k)
        sum += values.at(k) * (k + 1);
    value = QChar(char16_t(sum % Modulas));
}

double TQPBarsCode128::GetWidth() const
{
    return (11.0 * double(Encoded().size()) + 35) * FBarWidth;
}

void TQPBarsCode128::Print()
{
    PrintFrame([this] {
        CurrX = Left();
        CurrY = BarTop();
        TCodePage128 used;
        const QList<int> values = Encode(used);
        auto draw = [this](int value) {
            DrawPattern(QString::fromLatin1(kCode128Patterns.at(size_t(value))), true, false);
        };
        draw(103 + int(used));
        for (int v : values)
            draw(v);
        draw(Checksum().at(0).unicode());
        DrawPattern(QString::fromLatin1(kCode128Stop), true, false);
        PrintReadableText();
    });
}

// ---------------------------------------------------------------------------
// UPC-A and EAN-13

TQPBarsUPC::TQPBarsUPC(TBaseReport* baseRpt) : TQPBarsBase(baseRpt)
{
    Modulas = 10;
    FUseChecksum = true;
}

TQPBarsEAN::TQPBarsEAN(TBaseReport* baseRpt) : TQPBarsUPC(baseRpt)
{
    ValidLen = 12;
}

bool TQPBarsUPC::IsValidChar(QChar ch) const
{
    return IsAsciiDigit(ch);
}

void TQPBarsUPC::DoSetText(const QString& value)
{
    TQPBarsBase::DoSetText(value);
    if (FText.size() > ValidLen)
        FText.truncate(ValidLen);
    while (FText.size() < ValidLen)
        FText.prepend(u'0');
}

void TQPBarsUPC::DoSetUseChecksum(bool /*value*/)
{
    FUseChecksum = true;
}

double TQPBarsUPC::GetWidth() const
{
    return 95 * FBarWidth;
}

void TQPBarsUPC::GetCharPattern(QChar ch, QString& pattern) const
{
    pattern = IsAsciiDigit(ch) ? QString::fromLatin1(kUpcPatterns.at(size_t(DigitOf(ch)))) : QString();
}

void TQPBarsUPC::GetBarWidth(QChar code, double& width, double& height, double& /*top*/) const
{
    width = DigitOf(code) * FBarWidth;
    height = !PrintingGuard && FPrintReadable ? FBarHeight - ReadableHeight() / 2 : FBarHeight;
}

// EAN-13's leading digit counts once and stays out of the alternation; of
// the rest the 1st, 3rd, ... count three times.
void TQPBarsUPC::GetChecksum(QString& value) const
{
    int total = 0;
    int from = 0;
    if (IsEAN() && !FText.isEmpty()) {
        total = DigitOf(FText.at(0));
        from = 1;
    }
    for (int i = from; i < FText.size(); ++i)
        total += DigitOf(FText.at(i)) * ((i - from) % 2 == 0 ? 3 : 1);
    value = QString::number((10 - total % Modulas) % Modulas);
}

void TQPBarsUPC::GetReadableText(QString& value) const
{
    value = FText + Checksum();
}

double TQPBarsUPC::FitFontSize()
{
    TBaseReport& r = *FBaseReport;
    const double saved = r.FontSize();
    double size = saved;
    const QString sample(IsEAN() ? 12 : 10, u'0');
    const double room = Width() - 11 * FBarWidth;
    while (r.TextWidth(sample) > room) {
        size -= 0.1;
        if (size <= 0) {
            size = saved;
            break;
        }
        r.SetFontSize(size);
    }
    r.SetFontSize(saved);
    return 0.9 * size;
}

void TQPBarsUPC::Print()
{
    PrintFrame([this] {
        QString s = ReadableText();
        int lead = 0;
        if (IsEAN()) {
            lead = DigitOf(s.at(0));
            s.remove(0, 1);
        }
        double savedSize = 0;
        if (!IsOverride) {
            savedSize = FBaseReport->FontSize();
            FBaseReport->SetFontSize(FitFontSize());
        }
        auto restoreSize = [&] {
            if (!IsOverride)
                FBaseReport->SetFontSize(savedSize);
        };
        try {
            CurrX = Left();
            CurrY = BarTop();
            PrintingGuard = true;
            DrawPattern(QString::fromLatin1(kUpcGuard), true, false);
            const char* parity = kEanParity.at(size_t(lead));
            for (int i = 0; i < 12 && i < s.size(); ++i) {
                PrintingGuard = false;
                QString pattern;
                GetCharPattern(s.at(i), pattern);
                if (i < 6) {
                    if (parity[i] == 'G')
                        std::reverse(pattern.begin(), pattern.end());
                    DrawPattern(pattern, false, false);
                    if (i == 5) {
                        PrintingGuard = true;
                        DrawPattern(QString::fromLatin1(kUpcCentre), false, false);
                    }
                } else {
                    DrawPattern(pattern, true, false);
                }
            }
            PrintingGuard = true;
            DrawPattern(QString::fromLatin1(kUpcGuard), true, false);
            if (FPrintReadable)
                PrintReadableText();
        } catch (...) {
            restoreSize();
            throw;
        }
        restoreSize();
    });
}

void TQPBarsUPC::PrintReadableText()
{
    if (IsOverride || !FBaseReport)
        return;
    TBaseReport& r = *FBaseReport;
    const int saveRotation = r.FontRotation();
    const double fullSize = r.FontSize();
    const double k = fullSize / 3;
    const double bw = FBarWidth;
    const double lh = r.LineHeight();
    const double a = IsEAN() ? 2.0 / 3 : 0.5;
    const QString t = IsEAN() ? FText + Checksum() : FText;
    const QString first = t.left(1);
    const QString leftGroup = IsEAN() ? t.mid(1, 6) : t.mid(1, 5);
    const QString rightGroup = IsEAN() ? t.mid(7, 6) : t.mid(6, 5);
    const QString check = Checksum();
    auto small = [&](bool on) {
        if (!IsEAN())
            r.SetFontSize(on ? fullSize - k : fullSize);
    };
    // The text line across the symbol, then each piece along it.
    switch (FBarCodeRotation) {
    case TBarCodeRotation::Rot0:
        r.SetFontRotation(0);
        r.SetLineTop(BarBottom() - lh / 2);
        break;
    case TBarCodeRotation::Rot90:
        r.SetFontRotation(90);
        r.SetXPos(Bottom() - a * lh);
        break;
    case TBarCodeRotation::Rot180:
        r.SetFontRotation(180);
        r.SetYPos(Bottom() + a * lh);
        break;
    case TBarCodeRotation::Rot270:
        r.SetFontRotation(270);
        r.SetXPos(Bottom() + a * lh);
        break;
    }
    const double left = Left();
    const double right = Right();
    auto piece = [&](const QString& text, int which) {
        const double tw = r.TextWidth(text);
        const double group = 42 * bw - tw;
        switch (FBarCodeRotation) {
        case TBarCodeRotation::Rot0:
            if (which == 0)
                r.PrintRight(text, left - 2 * bw);
            else if (which == 1)
                r.PrintCenter(text, left + 24 * bw);
            else if (which == 2)
                r.PrintCenter(text, left + 71 * bw);
            else
                r.PrintLeft(text, right + 2 * bw);
            return;
        case TBarCodeRotation::Rot90: {
            const double y[] = {left + 2 * bw + tw, left - 6 * bw - group / 2, left - 50 * bw - group / 2,
                                right - 2 * bw};
            r.SetYPos(y[which]);
            break;
        }
        case TBarCodeRotation::Rot180: {
            const double x[] = {left + tw, left - 3 * bw - group / 2, left - 50 * bw - group / 2,
                                right - 2 * bw};
            r.SetXPos(x[which]);
            break;
        }
        case TBarCodeRotation::Rot270: {
            const double y[] = {left - 2 * bw - tw, left + 4 * bw + group / 2, left + 50 * bw + group / 2,
                                right + 2 * bw};
            r.SetYPos(y[which]);
            break;
        }
        }
        r.Print(text);
    };
    try {
        small(true);
        piece(first, 0);
        small(false);
        piece(leftGroup, 1);
        piece(rightGroup, 2);
        if (!IsEAN()) {
            small(true);
            piece(check, 3);
            small(false);
        }
    } catch (...) {
        r.SetFontSize(fullSize);
        r.SetFontRotation(saveRotation);
        throw;
    }
    r.SetFontRotation(saveRotation);
}
