#include "report/print/QpMemo.h"

#include "report/print/QpFormat.h"
#include "report/print/QpRtf.h"

#include "platform/forms/RichEdit.h"
#include "platform/forms/StdCtrls.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/RtlMath.h"
#include "platform/rtl/Streams.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Words and cut pieces are bounded, as the text of one line is.
constexpr int kMaxPiece = 65520;
constexpr char16_t kCR = 13;
constexpr char16_t kLF = 10;
constexpr char16_t kTab = 9;

const QString kNoReport = QStringLiteral("TMemoBuf.BaseReport not assigned.");
const QString kBadColumn = QStringLiteral("TMemoBuf.PrintEnd must be greater than TMemoBuf.PrintStart");

// The white space a word skips in front of it: space separators, tab, and
// any other white space but CR and LF (vertical tab, form feed ...), which
// would otherwise end the line without moving on.
bool IsBlank(QChar c)
{
    return c.unicode() != kCR && c.unicode() != kLF &&
           (c.isSpace() || c.category() == QChar::Separator_Space);
}

bool IsWhite(QChar c)
{
    return c.isSpace() || c.category() == QChar::Separator_Space;
}

int LeadingBlanks(const QString& text)
{
    int n = 0;
    while (n < text.size() && IsBlank(text.at(n)))
        ++n;
    return n;
}

// The end of the code block that starts at i: the index after its #4, or
// the end when the block is not closed.
int BlockEnd(const QChar* text, int i, int size)
{
    while (i < size && text[i].unicode() != kQPTFBlockEnd)
        ++i;
    return i < size ? i + 1 : size;
}

// The width in device pixels between the print columns.
int ColumnPixels(const TBaseReport& r, double start, double end)
{
    return r.XU2D(end) - r.XU2D(start) + 1;
}

// Runs the code with the report's font selected; the canvas's font comes
// back afterwards, also after an exception.
template <class F> void WithQPFont(TBaseReport& r, F&& code)
{
    r.SelectQPFont();
    try {
        code();
    } catch (...) {
        r.SelectCanvasFont();
        throw;
    }
    r.SelectCanvasFont();
}

} // namespace

// ---------------------------------------------------------------------------
// TQPTFItem

void TQPTFItem::AddQPTF(const QString& qptfStr)
{
    if (qptfStr.isEmpty())
        return;
    if (Data.isEmpty()) {
        Data = qptfStr;
        return;
    }
    QString head = Data;
    if (head.endsWith(QChar(kQPTFBlockEnd)))
        head.chop(1);
    QString tail = qptfStr;
    if (tail.at(0).unicode() == kQPTFBlockStart)
        tail[0] = QChar(kQPTFNextCommand);
    Data = head + tail;
}

// ---------------------------------------------------------------------------
// State

TMemoBuf::TMemoBuf() = default;
TMemoBuf::~TMemoBuf() = default;

void TMemoBuf::Reset()
{
    FPos = 0;
    FNewParagraph = true;
    FNewLine = true;
}

void TMemoBuf::SaveState()
{
    FSaveFPos = FPos;
    FSaveNewParagraph = FNewParagraph;
    FSaveNewLine = FNewLine;
}

void TMemoBuf::RestoreState()
{
    FPos = FSaveFPos;
    FNewParagraph = FSaveNewParagraph;
    FNewLine = FSaveNewLine;
}

void TMemoBuf::Clear()
{
    FBuffer.clear();
    FSize = 0;
    FMaxSize = 0;
    FQPTFList.clear();
    Reset();
    FLastQPTF.clear();
}

// ---------------------------------------------------------------------------
// Loading

void TMemoBuf::SetData(const QChar* buffer, int bufSize)
{
    if (ReadRTF) {
        ReadRTF = false;
        const QByteArray bytes = UnicodeToAnsi(QString(buffer, std::max(bufSize, 0)));
        SetRTF(bytes.constData(), int(bytes.size()));
        return;
    }
    Clear();
    if (!buffer || bufSize <= 0)
        return;
    const int visible = ProcessQPTF ? QPTFBufLength(buffer, bufSize) : bufSize;
    Grow(visible);
    FSize = visible;
    if (visible == bufSize) {
        std::copy(buffer, buffer + bufSize, FBuffer.begin());
        FMaxSize = FSize;
        FBuffer.resize(size_t(FSize));
        return;
    }
    FBuffer.resize(size_t(visible));
    FMaxSize = visible;
    // Codes go to the list at the position of the visible run that follows
    // them; consecutive blocks make one entry.
    QString codes;
    int out = 0;
    int i = 0;
    while (i < bufSize) {
        if (buffer[i].unicode() == kQPTFBlockStart) {
            const int end = BlockEnd(buffer, i, bufSize);
            codes.append(buffer + i, end - i);
            i = end;
            continue;
        }
        if (!codes.isEmpty()) {
            StoreQPTF(codes, out);
            codes.clear();
        }
        while (i < bufSize && buffer[i].unicode() != kQPTFBlockStart)
            FBuffer[size_t(out++)] = buffer[i++];
    }
    if (!codes.isEmpty())
        StoreQPTF(codes, FSize);
}

void TMemoBuf::SetRTF(const char* buffer, int bufSize)
{
    TMemoryStream stream;
    if (buffer && bufSize > 0)
        RTFToQPTF(buffer, bufSize, stream);
    const QByteArray& bytes = stream.Bytes();
    const int chars = int(bytes.size() / 2);
    QString text(chars, Qt::Uninitialized);
    for (int i = 0; i < chars; ++i)
        text[i] = QChar(char16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8)));
    ReadRTF = false;
    SetData(text.constData(), chars);
}

QString TMemoBuf::Text() const
{
    return QString(FBuffer.data(), std::min(FSize, kMaxPiece));
}

void TMemoBuf::SetText(const QString& value)
{
    if (value.isEmpty()) {
        ReadRTF = false;
        Clear();
        return;
    }
    SetData(value.constData(), int(value.size()));
}

void TMemoBuf::SetRTFText(const QString& value)
{
    ReadRTF = true;
    SetText(value);
}

void TMemoBuf::SetMemo(const TMemo& memo)
{
    const QString text = memo.Text();
    SetData(text.constData(), int(text.size()));
}

void TMemoBuf::SetRichEdit(const TRichEdit& richEdit)
{
    SetRTFText(richEdit.Lines()->Text());
}

void TMemoBuf::LoadFromStream(TStream& stream, int bufSize)
{
    const int64_t left = std::max<int64_t>(0, stream.Size() - stream.Position());
    const int64_t count = bufSize <= 0 ? left : std::min<int64_t>(bufSize, left);
    const QByteArray bytes = stream.ReadBytes(count);
    QString text;
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding); // drops the byte-order mark
        text = decoder.decode(bytes);
    } else {
        text = AnsiToUnicode(bytes);
    }
    SetText(text);
}

void TMemoBuf::LoadFromFile(const QString& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream, 0);
}

void TMemoBuf::RTFLoadFromStream(TStream& stream, int bufSize)
{
    ReadRTF = true;
    LoadFromStream(stream, bufSize);
}

void TMemoBuf::RTFLoadFromFile(const QString& fileName)
{
    ReadRTF = true;
    LoadFromFile(fileName);
}

void TMemoBuf::SaveToStream(TStream& stream) const
{
    QByteArray bytes(qsizetype(FSize) * 2, Qt::Uninitialized);
    for (int i = 0; i < FSize; ++i) {
        const char16_t c = FBuffer[size_t(i)].unicode();
        bytes[2 * i] = char(c & 0xFF);
        bytes[2 * i + 1] = char(c >> 8);
    }
    stream.WriteBytes(bytes);
}

// ---------------------------------------------------------------------------
// Codes

void TMemoBuf::StoreQPTF(const QString& codes, int pos)
{
    const bool replace = ReplaceQPTF;
    ReplaceQPTF = false;
    if (codes.isEmpty())
        return;
    auto it = std::find_if(FQPTFList.begin(), FQPTFList.end(),
                           [pos](const TQPTFItem& item) { return item.Pos >= pos; });
    if (it != FQPTFList.end() && it->Pos == pos) {
        if (replace)
            it->SetQPTF(codes);
        else
            it->AddQPTF(codes);
        return;
    }
    TQPTFItem item;
    item.Data = codes;
    item.Pos = pos;
    FQPTFList.insert(it, item);
}

TFormatState TMemoBuf::FormatStateAt(int pos) const
{
    TFormatState state = NewDefaultFormatState();
    for (const TQPTFItem& item : FQPTFList) {
        if (item.Pos > pos)
            break;
        ApplyQPTFToFormatState(state, item.Data);
    }
    return state;
}

QString TMemoBuf::FormatCodesAt(int pos) const
{
    return FormatStateToQPTF(FormatStateAt(pos));
}

// ---------------------------------------------------------------------------
// Editing

void TMemoBuf::Grow(int needed)
{
    if (needed <= FMaxSize)
        return;
    const int64_t steps = (int64_t(needed) - 1) / FBufferInc + 1;
    const int64_t capacity = std::min<int64_t>(steps * FBufferInc, std::numeric_limits<int>::max());
    FBuffer.resize(size_t(capacity), QChar(u' '));
    FMaxSize = int(capacity);
}

void TMemoBuf::Insert(int bufPos, const QString& text)
{
    bufPos = std::clamp(bufPos, 0, FSize);
    const int len = int(text.size());
    if (len == 0)
        return;
    Grow(FSize + len);
    for (TQPTFItem& item : FQPTFList)
        if (item.Pos >= bufPos)
            item.Pos += len;
    std::copy_backward(FBuffer.begin() + bufPos, FBuffer.begin() + FSize, FBuffer.begin() + FSize + len);
    std::copy(text.begin(), text.end(), FBuffer.begin() + bufPos);
    FSize += len;
}

void TMemoBuf::InsertMemoBuf(int bufPos, const TMemoBuf& memoBuf)
{
    bufPos = std::clamp(bufPos, 0, FSize);
    // Copies first: the other buffer may be this one.
    const QString text(memoBuf.FBuffer.data(), memoBuf.FSize);
    const std::vector<TQPTFItem> items = memoBuf.FQPTFList;
    const QString stateHere = items.empty() ? QString() : FormatCodesAt(bufPos);
    Insert(bufPos, text);
    if (items.empty())
        return;
    StoreQPTF(stateHere, bufPos + int(text.size()));
    for (const TQPTFItem& item : items)
        StoreQPTF(item.Data, item.Pos + bufPos);
}

void TMemoBuf::Delete(int bufPos, int delLen)
{
    if (delLen <= 0 || bufPos < 0 || bufPos >= FSize)
        return;
    delLen = std::min(delLen, FSize - bufPos);
    const int end = bufPos + delLen;
    if (HasQPTF()) {
        const QString state = FormatCodesAt(end);
        ReplaceQPTF = true;
        StoreQPTF(state, end);
        std::erase_if(FQPTFList, [&](const TQPTFItem& item) { return item.Pos >= bufPos && item.Pos < end; });
        for (TQPTFItem& item : FQPTFList)
            if (item.Pos >= end)
                item.Pos -= delLen;
    }
    std::copy(FBuffer.begin() + end, FBuffer.begin() + FSize, FBuffer.begin() + bufPos);
    FSize -= delLen;
}

void TMemoBuf::SetMaxSize(int value)
{
    if (value < 0 || value == FMaxSize)
        return;
    const int64_t capacity = ((int64_t(value) - 1) / FBufferInc + 1) * FBufferInc;
    FBuffer.resize(size_t(std::min<int64_t>(capacity, std::numeric_limits<int>::max())), QChar(u' '));
    FMaxSize = int(FBuffer.size());
    FSize = std::min(FSize, value);
    FPos = std::min(FPos, value);
}

void TMemoBuf::SetSize(int value)
{
    if (value < 0)
        return;
    if (value > FMaxSize)
        SetMaxSize(value);
    if (value > FSize)
        std::fill(FBuffer.begin() + FSize, FBuffer.begin() + value, QChar(u' '));
    FSize = value;
}

void TMemoBuf::SetPos(int value)
{
    FPos = std::min(value, FSize);
}

void TMemoBuf::SetBufferInc(int value)
{
    if (value > 0)
        FBufferInc = value;
}

void TMemoBuf::SaveBuffer()
{
    FSaveBuffer.assign(FBuffer.begin(), FBuffer.begin() + FSize);
    FSaveQPTFList = FQPTFList;
    FHasSaved = true;
}

void TMemoBuf::RestoreBuffer()
{
    if (!FHasSaved)
        return;
    const int saveSize = int(FSaveBuffer.size());
    SetMaxSize(saveSize);
    std::copy(FSaveBuffer.begin(), FSaveBuffer.end(), FBuffer.begin());
    FQPTFList = FSaveQPTFList;
    FSize = saveSize;
    Reset();
}

void TMemoBuf::FreeSaved()
{
    FSaveBuffer.clear();
    FSaveQPTFList.clear();
    FHasSaved = false;
}

// ---------------------------------------------------------------------------
// Search

bool TMemoBuf::SearchFirst(const QString& searchText, bool caseMatters)
{
    FCaseMatters = caseMatters;
    FSearchText = searchText;
    if (!caseMatters)
        for (QChar& c : FSearchText)
            c = c.toUpper();
    const int savePos = FPos;
    FPos = -1;
    if (SearchNext())
        return true;
    FPos = savePos;
    return false;
}

bool TMemoBuf::Matches(int start) const
{
    for (int k = 0; k < FSearchText.size(); ++k) {
        const QChar c = FBuffer[size_t(start + k)];
        if ((FCaseMatters ? c : c.toUpper()) != FSearchText.at(k))
            return false;
    }
    return true;
}

// An empty search text matches nothing (it would match everywhere, and
// ReplaceAll would never end).
bool TMemoBuf::SearchNext()
{
    const int len = int(FSearchText.size());
    if (len == 0)
        return false;
    for (int start = std::max(FPos + 1, 0); start <= FSize - len; ++start) {
        if (Matches(start)) {
            FPos = start;
            return true;
        }
    }
    return false;
}

void TMemoBuf::ReplaceAll(const QString& searchText, const QString& replaceText, bool caseMatters)
{
    const int savePos = FPos;
    if (SearchFirst(searchText, caseMatters)) {
        do {
            const int start = FPos;
            const bool codes = HasQPTF();
            const QString state = codes ? FormatCodesAt(start) : QString();
            Delete(start, int(FSearchText.size()));
            Insert(start, replaceText);
            if (codes) {
                ReplaceQPTF = true;
                StoreQPTF(state, start);
            }
            FPos = start + int(replaceText.size()) - 1;
        } while (SearchNext());
    }
    FPos = std::min(savePos, FSize);
}

// ---------------------------------------------------------------------------
// Layout

void TMemoBuf::CheckReport() const
{
    if (!BaseReport)
        RaiseError(Translate(kNoReport));
}

QString TMemoBuf::GetWord()
{
    if (FPos < 0)
        FPos = 0;
    if (FBuffer.empty() || FPos >= FSize)
        return {};
    int start = FPos;
    int skipped = 0;
    while (FPos < FSize && skipped < kMaxPiece && IsBlank(FBuffer[size_t(FPos)])) {
        ++FPos;
        ++skipped;
    }
    FNonSpacePos = FPos;
    if (FNewLine) {
        if (!FNewParagraph && !KeepSpaces)
            start = FPos;
        FNewParagraph = false;
        FNewLine = false;
    }
    if (FPos < FSize) {
        const char16_t c = FBuffer[size_t(FPos)].unicode();
        if (c == kCR || c == kLF) {
            FNewParagraph = true;
            ++FPos;
            if (c == kCR && FPos < FSize && FBuffer[size_t(FPos)].unicode() == kLF)
                ++FPos;
            return QString(QChar(kCR));
        }
    }
    while (FPos < FSize && FPos - start < kMaxPiece && !IsWhite(FBuffer[size_t(FPos)]))
        ++FPos;
    return QString(FBuffer.data() + start, FPos - start);
}

QString TMemoBuf::PutBackCodes(const QString& text, int firstVisible)
{
    const int textStart = firstVisible - LeadingBlanks(text);
    const int lastPos = textStart + int(text.size()) - 1;
    QString result = text;
    bool first = true;
    for (auto it = FQPTFList.rbegin(); it != FQPTFList.rend(); ++it) {
        if (it->Pos > lastPos)
            continue;
        result.insert(std::max(0, it->Pos - textStart), it->Data);
        if (first) {
            FLastQPTF = it->Data;
            first = false;
        }
        if (it->Pos <= firstVisible)
            break;
    }
    return result;
}

// Width in device pixels of a trial line, with codes or without.
int TMemoBuf::Measure(const QString& trial) const
{
    return trial.contains(QChar(kQPTFBlockStart)) ? QPTFTextWidth(*BaseReport, trial)
                                                  : TabbedTextWidth(*BaseReport, trial, 0);
}

void TMemoBuf::GetLine(int width, bool& eol, QString& line)
{
    TBaseReport& r = *BaseReport;
    eol = false;
    FNewLine = true;
    const bool paragraphStart = FNewParagraph;
    line.clear();
    QString prefix;
    QString collected;
    int available = width;
    int firstVisible = 0;
    bool first = true;
    bool stopped = false;
    while (!stopped) {
        const int wordStart = FPos;
        const QString word = GetWord();
        if (first) {
            first = false;
            firstVisible = FNonSpacePos;
            LeftIndent = 0;
            RightIndent = 0;
            if (HasQPTF()) {
                const TFormatState state = FormatStateAt(wordStart);
                prefix = FormatStateToQPTF(state);
                LeftIndent =
                    paragraphStart ? state.Para.FirstIndent + state.Para.LeftIndent : state.Para.LeftIndent;
                RightIndent = state.Para.RightIndent;
                available = std::max(width - int(Round((LeftIndent + RightIndent) * r.XDPI())), r.XDPI());
            }
        }
        if (word.isEmpty() || (word.size() == 1 && word.at(0).unicode() == kCR)) {
            eol = true;
            if (line.isEmpty())
                line = prefix;
            return;
        }
        collected += word;
        const QString trial = prefix + PutBackCodes(collected, firstVisible);
        if (available >= Measure(trial)) {
            line = trial;
        } else {
            FPos = wordStart;
            stopped = true;
        }
    }
    if (QPTFTextLength(line) > 0)
        return;

    // Not even the first word fits: cut it by characters. A character that
    // fits no line at all makes a line of its own, so that layout moves on.
    QString result = line.mid(prefix.size());
    bool any = false;
    while (FPos < FSize) {
        const int before = FPos;
        QString piece = result;
        while (FPos < FSize && FBuffer[size_t(FPos)].unicode() == kQPTFBlockStart) {
            const int end = BlockEnd(FBuffer.data(), FPos, FSize);
            piece.append(FBuffer.data() + FPos, end - FPos);
            FPos = end;
        }
        if (FPos >= FSize) {
            result = piece;
            break;
        }
        piece += FBuffer[size_t(FPos)];
        const int measured = Measure(prefix + piece);
        if (available < measured && any) {
            FPos = before; // the codes go with the character to the next line
            break;
        }
        result = piece == u" " ? QString() : piece;
        ++FPos;
        any = true;
        if (available <= measured)
            break;
    }
    line = prefix + result;
}

QString TMemoBuf::GetNextLine(bool& eol)
{
    CheckReport();
    TBaseReport& r = *BaseReport;
    const int width = ColumnPixels(r, PrintStart, PrintEnd);
    QString line;
    WithQPFont(r, [&] { GetLine(width, eol, line); });
    return line;
}

int TMemoBuf::MemoLinesLeft()
{
    CheckReport();
    TBaseReport& r = *BaseReport;
    int count = 0;
    ScanLinesAhead(r, [&](const QString&) {
        ++count;
        return true;
    });
    return count;
}

// Reads the lines from the read position on, while the handler asks for
// more, and puts the read position back afterwards.
void TMemoBuf::ScanLinesAhead(TBaseReport& r, const std::function<bool(const QString& line)>& next)
{
    const int width = ColumnPixels(r, PrintStart, PrintEnd);
    SaveState();
    try {
        WithQPFont(r, [&] {
            bool eol = false;
            QString line;
            while (FPos < FSize) {
                GetLine(width, eol, line);
                if (!next(line))
                    break;
            }
        });
    } catch (...) {
        RestoreState();
        throw;
    }
    RestoreState();
}

void TMemoBuf::EndLine()
{
    if (FNewParagraph || HardLines)
        BaseReport->NewLine();
    else
        BaseReport->SoftLine();
}

double TMemoBuf::PrintLines(int lines, bool printTabs)
{
    if (lines < 0)
        return 0;
    CheckReport();
    TBaseReport& r = *BaseReport;
    QString tabText;
    if (printTabs)
        for (int k = 1; r.GetTab(k); ++k)
            tabText += QChar(kTab);
    if (PrintEnd <= PrintStart)
        RaiseError(Translate(kBadColumn));
    const int width = ColumnPixels(r, PrintStart, PrintEnd);
    const bool limited = FMaxHeight > 0;
    const bool byFont = HasQPTF() && r.LineHeightMethod() == TLineHeightMethod::lhmFont;
    double height = 0;
    int printed = 0;
    while ((lines > 0 && printed < lines) || (lines == 0 && FPos < FSize)) {
        SaveState();
        bool eol = false;
        QString line;
        WithQPFont(r, [&] { GetLine(width, eol, line); });
        if (byFont) {
            const double h = QPTFMaxFontHeight(r, line);
            if (limited) {
                FMaxHeight -= 1.2 * h;
                if (FMaxHeight + 0.001 < 0) {
                    RestoreState();
                    break;
                }
            }
            if (printed > 0)
                EndLine();
            r.SetFontHeight(h);
            height += h;
            r.AdjustLine();
        } else {
            if (printed > 0)
                EndLine();
            height += r.LineHeight();
        }
        ++printed;
        if (!tabText.isEmpty())
            r.Print(tabText);
        if (HasQPTF())
            Justify = QPTFJustify(line, Justify);
        const TPrintJustify justify =
            eol && Justify == TPrintJustify::pjBlock ? TPrintJustify::pjLeft : Justify;
        const double x = r.XU2I(PrintStart) + LeftIndent + r.LineStartPos() - r.XU2I(r.SectionLeft());
        const double w = r.XU2I(PrintEnd - PrintStart) - (LeftIndent + RightIndent);
        r.PrintJustify(line, x, justify, 0, w);
    }
    if (!NoNewLine) {
        if (FNewParagraph || HardLines || FPos >= FSize)
            r.NewLine();
        else
            r.SoftLine();
    }
    return height;
}

// With codes and font line heights the lines are printed until their fonts
// use up the height; otherwise by whole line heights, and a height below one
// line prints nothing (a count of 0 would print the rest of the memo).
double TMemoBuf::PrintHeight(double height, bool printTabs)
{
    CheckReport();
    TBaseReport& r = *BaseReport;
    r.AdjustLine();
    if (HasQPTF() && r.LineHeightMethod() == TLineHeightMethod::lhmFont) {
        FMaxHeight = height;
        double printed = 0;
        try {
            printed = PrintLines(0, printTabs);
        } catch (...) {
            FMaxHeight = 0;
            throw;
        }
        FMaxHeight = 0;
        return printed;
    }
    FMaxHeight = 0;
    const double lineHeight = r.LineHeight();
    if (lineHeight <= 0)
        return 0;
    const double lines = std::trunc(height / lineHeight + 0.00001);
    if (lines < 1)
        return 0;
    return PrintLines(int(std::min(lines, double(std::numeric_limits<int>::max()))), printTabs);
}

double TMemoBuf::MemoHeightLeft()
{
    return ConstrainHeightLeft(99999999.0);
}

double TMemoBuf::ConstrainHeightLeft(double constraint)
{
    CheckReport();
    TBaseReport& r = *BaseReport;
    if (HasQPTF() && r.LineHeightMethod() == TLineHeightMethod::lhmFont) {
        double total = 0;
        ScanLinesAhead(r, [&](const QString& line) {
            const double h = 1.2 * QPTFMaxFontHeight(r, line);
            if (total + h > constraint)
                return false;
            total += h;
            return true;
        });
        return total;
    }
    const double lineHeight = r.LineHeight();
    const double total = MemoLinesLeft() * lineHeight;
    if (total > constraint && lineHeight > 0)
        return std::trunc(constraint / lineHeight) * lineHeight;
    return total;
}
