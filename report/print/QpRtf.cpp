#include "report/print/QpRtf.h"

#include "report/print/QpDefine.h"
#include "report/print/QpFormat.h"

#include "platform/graphics/Colors.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Streams.h"

#include <QByteArray>
#include <QTextCursor>
#include <QTextDocument>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

namespace {

// Destinations of the Rich Text Format (version 1.9.1) whose groups hold no
// text of the document body; a group opened with "\*" is skipped as well.
constexpr std::array<const char*, 31> kSkippedDestinations = {
    "author",  "buptim",     "comment",  "creatim",  "doccomm", "footer",  "footerf",  "footerl",
    "footerr", "footnote",   "ftncn",    "ftnsep",   "ftnsepc", "header",  "headerf",  "headerl",
    "headerr", "info",       "keywords", "operator", "pict",    "printim", "private1", "revtim",
    "rxe",     "stylesheet", "subject",  "tc",       "title",   "txe",     "xe",
};

// Font numbers are 16-bit in rich text; a larger one is ignored rather than
// growing the font list without end.
constexpr int kMaxFontIndex = 32767;

enum class TTokenKind { End, GroupOpen, GroupClose, Word, Symbol, Text };

struct TToken {
    TTokenKind Kind = TTokenKind::End;
    QByteArray Word;  // a control word's letters
    QByteArray Param; // its parameter as written; empty when none
    char Symbol = 0;  // a control symbol's character
    QString Text;
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsLower(char c)
{
    return c >= 'a' && c <= 'z';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Splits the bytes into groups, control words, control symbols and runs of
// text; escaped backslashes and braces and \'hh characters belong to text.
class TRtfLexer {
public:
    TRtfLexer(const char* buffer, int length) : FBuffer(buffer), FLength(std::max(length, 0)) {}

    TToken Next()
    {
        TToken token;
        while (FPos < FLength) {
            const char c = FBuffer[FPos];
            if (c == '{' || c == '}') {
                if (!token.Text.isEmpty())
                    break;
                ++FPos;
                token.Kind = c == '{' ? TTokenKind::GroupOpen : TTokenKind::GroupClose;
                return token;
            }
            if (c != '\\') {
                ++FPos;
                if (uint8_t(c) >= 32)
                    token.Text.append(QChar(uint8_t(c)));
                continue;
            }
            if (FPos + 1 >= FLength) { // a backslash that ends the text
                FPos = FLength;
                break;
            }
            const char d = FBuffer[FPos + 1];
            if (d == '\\' || d == '{' || d == '}') {
                token.Text.append(QChar(d));
                FPos += 2;
                continue;
            }
            if (d == '\'' && FPos + 3 < FLength && HexDigit(FBuffer[FPos + 2]) >= 0 &&
                HexDigit(FBuffer[FPos + 3]) >= 0) {
                token.Text.append(QChar(HexDigit(FBuffer[FPos + 2]) * 16 + HexDigit(FBuffer[FPos + 3])));
                FPos += 4;
                continue;
            }
            if (!token.Text.isEmpty())
                break;
            return Control();
        }
        if (!token.Text.isEmpty())
            token.Kind = TTokenKind::Text;
        return token;
    }

private:
    // At a backslash followed by at least one character.
    TToken Control()
    {
        TToken token;
        ++FPos;
        if (!IsLower(FBuffer[FPos])) {
            token.Kind = TTokenKind::Symbol;
            token.Symbol = FBuffer[FPos++];
            return token;
        }
        token.Kind = TTokenKind::Word;
        const int start = FPos;
        while (FPos < FLength && IsLower(FBuffer[FPos]))
            ++FPos;
        token.Word = QByteArray(FBuffer + start, FPos - start);
        if (FPos < FLength && (FBuffer[FPos] == '-' || IsDigit(FBuffer[FPos]))) {
            const int paramStart = FPos++;
            while (FPos < FLength && IsDigit(FBuffer[FPos]))
                ++FPos;
            token.Param = QByteArray(FBuffer + paramStart, FPos - paramStart);
        }
        if (FPos < FLength && FBuffer[FPos] == ' ')
            ++FPos;
        return token;
    }

    const char* FBuffer;
    int FLength;
    int FPos = 0;
};

// A parameter's value, held inside an int.
int ParamValue(const QByteArray& param)
{
    int64_t value = 0;
    bool negative = false;
    for (char c : param) {
        if (c == '-') {
            negative = true;
            continue;
        }
        value = std::min<int64_t>(value * 10 + (c - '0'), int64_t(INT_MAX) + 1);
    }
    return int(std::clamp<int64_t>(negative ? -value : value, INT_MIN, INT_MAX));
}

class TRtfConverter {
public:
    TRtfConverter(const char* buffer, int length) : FLexer(buffer, length) {}

    QString Run()
    {
        bool groupStart = false;
        for (TToken token = FLexer.Next(); token.Kind != TTokenKind::End; token = FLexer.Next()) {
            const bool first = groupStart;
            groupStart = false;
            switch (token.Kind) {
            case TTokenKind::GroupOpen:
                FGroups.push_back({FState, FDest});
                groupStart = true;
                break;
            case TTokenKind::GroupClose:
                CloseGroup();
                break;
            case TTokenKind::Symbol:
                if (first && token.Symbol == '*')
                    SkipGroup();
                break;
            case TTokenKind::Word:
                if (first && IsSkipped(token.Word))
                    SkipGroup();
                else
                    ControlWord(token, first);
                break;
            case TTokenKind::Text:
                Text(token.Text);
                break;
            case TTokenKind::End:
                break;
            }
        }
        return FOut;
    }

private:
    enum class TDest { Normal, FontTable, ColorTable };
    struct TGroup {
        TFormatState State;
        TDest Dest;
    };

    static bool IsSkipped(const QByteArray& word)
    {
        return std::any_of(kSkippedDestinations.begin(), kSkippedDestinations.end(),
                           [&word](const char* name) { return word == name; });
    }

    // Reads up to the brace that closes the group just opened.
    void SkipGroup()
    {
        int depth = 1;
        for (TToken token = FLexer.Next(); token.Kind != TTokenKind::End; token = FLexer.Next()) {
            if (token.Kind == TTokenKind::GroupOpen) {
                ++depth;
            } else if (token.Kind == TTokenKind::GroupClose && --depth == 0) {
                CloseGroup();
                return;
            }
        }
    }

    void CloseGroup()
    {
        FHidden = false;
        if (FGroups.empty())
            return; // a closing brace too many
        const TDest inner = FDest;
        FState = FGroups.back().State;
        FDest = FGroups.back().Dest;
        FGroups.pop_back();
        if (inner == TDest::FontTable && FDest != TDest::FontTable) {
            if (FFonts.isEmpty())
                FFonts.append(QStringLiteral("Arial"));
            SetFont(FDefaultFont);
        }
    }

    void SetFont(int index)
    {
        if (index >= 0 && index < FFonts.size() && !FFonts[index].isEmpty())
            FState.Name = FFonts[index];
    }

    void ControlWord(const TToken& token, bool first)
    {
        const QByteArray& w = token.Word;
        const int p = ParamValue(token.Param);
        if (first && w == "fonttbl") {
            FDest = TDest::FontTable;
            return;
        }
        if (first && w == "colortbl") {
            FDest = TDest::ColorTable;
            return;
        }
        if (FDest == TDest::FontTable) {
            if (w == "f") {
                FFontIndex = p >= 0 && p <= kMaxFontIndex ? p : -1;
                FFontName.clear();
                FFontNameOpen = true;
            }
            return;
        }
        if (FDest == TDest::ColorTable) {
            if (w == "red")
                FRed = p;
            else if (w == "green")
                FGreen = p;
            else if (w == "blue")
                FBlue = p;
            return;
        }
        const bool on = token.Param != "0";
        const TFormatState def = NewDefaultFormatState();
        TFormatStyle& style = FState.Style;
        if (w == "b") {
            style.Bold = on;
        } else if (w == "i") {
            style.Italic = on;
        } else if (w == "ul") {
            style.Underline = on;
        } else if (w == "strike") {
            style.Strikeout = on;
        } else if (w == "ulnone") {
            style.Underline = false;
        } else if (w == "sub") {
            style.Subscript = true;
        } else if (w == "super") {
            style.Superscript = true;
        } else if (w == "nosupersub") {
            style.Subscript = false;
            style.Superscript = false;
        } else if (w == "f") {
            SetFont(p);
        } else if (w == "fs") {
            FState.Size = p / 2.0;
        } else if (w == "cf") {
            style.Color = p >= 0 && size_t(p) < FColors.size() ? FColors[size_t(p)] : 0;
        } else if (w == "plain") {
            style = def.Style;
            FState.Size = def.Size;
            SetFont(0);
        } else if (w == "pntext") {
            style = def.Style;
            SetFont(0);
        } else if (w == "deff") {
            FDefaultFont = p;
        } else if (w == "ql") {
            FState.Para.Justify = TPrintJustify::pjLeft;
        } else if (w == "qc") {
            FState.Para.Justify = TPrintJustify::pjCenter;
        } else if (w == "qr") {
            FState.Para.Justify = TPrintJustify::pjRight;
        } else if (w == "qj") {
            FState.Para.Justify = TPrintJustify::pjBlock;
        } else if (w == "pard") {
            FState.Para = def.Para;
        } else if (w == "fi") {
            FState.Para.FirstIndent = p / 1440.0; // twips
        } else if (w == "li") {
            FState.Para.LeftIndent = p / 1440.0;
        } else if (w == "ri") {
            FState.Para.RightIndent = p / 1440.0;
        } else if (w == "v") {
            FHidden = on;
        } else if (w == "par") {
            Emit(QStringLiteral("\r\n"));
        } else if (w == "tab") {
            Emit(QStringLiteral("\t"));
        } else if (w == "bullet") {
            Emit(QString(QChar(0x2022)));
        } else if (w == "endash") {
            Emit(QString(QChar(0x2013)));
        } else if (w == "emdash") {
            Emit(QString(QChar(0x2014)));
        } else if (w == "lquote") {
            Emit(QString(QChar(0x2018)));
        } else if (w == "rquote") {
            Emit(QString(QChar(0x2019)));
        } else if (w == "ldblquote") {
            Emit(QString(QChar(0x201C)));
        } else if (w == "rdblquote") {
            Emit(QString(QChar(0x201D)));
        }
    }

    void Text(const QString& text)
    {
        switch (FDest) {
        case TDest::Normal:
            Emit(text);
            return;
        case TDest::FontTable:
            for (QChar c : text) {
                if (!FFontNameOpen)
                    break;
                if (c == u';')
                    FFontNameOpen = false;
                else
                    FFontName.append(c);
            }
            if (FFontIndex >= 0) {
                while (FFonts.size() <= FFontIndex)
                    FFonts.append(QString());
                FFonts[FFontIndex] = FFontName;
            }
            return;
        case TDest::ColorTable:
            for (QChar c : text) {
                if (c == u';') {
                    FColors.push_back(RGB(FRed, FGreen, FBlue));
                    FRed = FGreen = FBlue = 0;
                }
            }
            return;
        }
    }

    void Emit(const QString& text)
    {
        if (FHidden)
            return;
        const TFormatState def = NewDefaultFormatState();
        QString full;
        AddQPTFCommand(full, QStringLiteral("R"));
        FormatStateDiff(full, def, FState);
        QString step;
        if (!FEmitted)
            AddQPTFCommand(step, QStringLiteral("R"));
        FormatStateDiff(step, FEmitted ? FLastEmitted : def, FState);
        const QString& codes = full.size() < step.size() ? full : step;
        if (!codes.isEmpty()) {
            FOut.append(codes);
            FOut.append(QChar(kQPTFBlockEnd));
        }
        FOut.append(text);
        FLastEmitted = FState;
        FEmitted = true;
    }

    TRtfLexer FLexer;
    QString FOut;
    TFormatState FState = NewDefaultFormatState();
    TFormatState FLastEmitted = NewDefaultFormatState();
    bool FEmitted = false;
    bool FHidden = false;
    TDest FDest = TDest::Normal;
    std::vector<TGroup> FGroups;
    QStringList FFonts;
    int FDefaultFont = 0;
    int FFontIndex = -1;
    QString FFontName;
    bool FFontNameOpen = false;
    std::vector<TColor> FColors;
    int FRed = 0;
    int FGreen = 0;
    int FBlue = 0;
};

} // namespace

void RTFToQPTF(const char* buffer, int length, TStream& output)
{
    const QString text = buffer ? TRtfConverter(buffer, length).Run() : QString();
    StreamWriteString(output, text);
}

namespace {

QTextCharFormat CharFormatOf(const TFormatState& state)
{
    QTextCharFormat format;
    format.setFontFamilies({state.Name});
    if (state.Size > 0)
        format.setFontPointSize(state.Size);
    format.setFontWeight(state.Style.Bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(state.Style.Italic);
    format.setFontUnderline(state.Style.Underline);
    format.setFontStrikeOut(state.Style.Strikeout);
    if (state.Style.Superscript)
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (state.Style.Subscript)
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    format.setForeground(ToQColor(state.Style.Color));
    return format;
}

Qt::Alignment AlignmentOf(TPrintJustify justify)
{
    switch (justify) {
    case TPrintJustify::pjCenter:
        return Qt::AlignHCenter;
    case TPrintJustify::pjRight:
        return Qt::AlignRight;
    case TPrintJustify::pjBlock:
        return Qt::AlignJustify;
    default:
        return Qt::AlignLeft;
    }
}

} // namespace

void RTFToDocument(const QString& rtf, QTextDocument& document)
{
    const QByteArray bytes = UnicodeToAnsi(rtf);
    TMemoryStream converted;
    RTFToQPTF(bytes.constData(), int(bytes.size()), converted);
    const QByteArray& units = converted.Bytes();
    QString text;
    text.reserve(units.size() / 2);
    for (qsizetype i = 0; i + 1 < units.size(); i += 2)
        text.append(QChar(char16_t(uint8_t(units[i]) | uint8_t(units[i + 1]) << 8)));

    document.clear();
    QTextCursor cursor(&document);
    TFormatState state = NewDefaultFormatState();
    int pos = 0;
    QString run;
    QString codes;
    while (SplitQPTFText(text, pos, run, codes)) {
        if (!codes.isEmpty())
            ApplyQPTFToFormatState(state, codes);
        const QTextCharFormat format = CharFormatOf(state);
        const QStringList paragraphs = QString(run).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
        for (qsizetype i = 0; i < paragraphs.size(); ++i) {
            if (i > 0)
                cursor.insertBlock();
            QTextBlockFormat block = cursor.blockFormat();
            block.setAlignment(AlignmentOf(state.Para.Justify));
            cursor.setBlockFormat(block);
            cursor.insertText(paragraphs[i], format);
        }
    }
}
