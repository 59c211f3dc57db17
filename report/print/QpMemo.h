#pragma once
// QpMemo: TMemoBuf, the text of one memo (a multi-line text block of a
// report) and its layout into printed lines on a report canvas.
//
// The text may carry in-text formatting codes (QpFormat). Loading takes them
// out of the text and keeps them in a list indexed by the position of the
// visible character they apply to, so that searching, inserting and deleting
// work on visible characters only; each laid-out line gets its codes back, so
// fonts, justification and indents follow the text across line breaks.
//
// Positions and lengths count UTF-16 code units, 0-based. PrintStart and
// PrintEnd are report units; LeftIndent and RightIndent inches. Printing
// without a canvas raises ESheetcaster "TMemoBuf.BaseReport not assigned.",
// printing into a column with PrintEnd <= PrintStart raises ESheetcaster
// "TMemoBuf.PrintEnd must be greater than TMemoBuf.PrintStart" (both through
// the translation hook).
//
// Layout always advances: a character that fits no line is a line of its
// own, and white space other than space separators, tab, CR and LF counts as
// a space, so printing the rest of a memo always ends.
#include "report/print/QpBase.h"

#include <QString>

#include <functional>
#include <vector>

class TMemo;
class TRichEdit;
class TStream;

// Saved codes: one or more code blocks that apply from the visible character
// at Pos on.
class TQPTFItem {
public:
    // Merges a further block into Data: #1 A #4 and #1 B #4 become
    // #1 A #2 B #4.
    void AddQPTF(const QString& qptfStr);
    void SetQPTF(const QString& qptfStr) { Data = qptfStr; }

    QString Data;
    int Pos = 0;
};

class TMemoBuf : public TBaseMemoBuf {
public:
    TMemoBuf();
    ~TMemoBuf() override;
    TMemoBuf(const TMemoBuf&) = delete;
    TMemoBuf& operator=(const TMemoBuf&) = delete;

    // ---- Reader state ------------------------------------------------------
    void Reset(); // Pos 0, at the start of a paragraph and of a line
    void SaveState();
    void RestoreState();
    bool HasQPTF() const { return !FQPTFList.empty(); }
    bool Empty() const { return FSize == 0 || FPos >= FSize; }
    bool NewParagraph() const { return FNewParagraph; }

    // ---- Loading -------------------------------------------------------------
    // The loader behind all others: takes the codes out of the characters
    // (unless ProcessQPTF is off) or, when ReadRTF is set, converts them as
    // rich text (each character one byte).
    void SetData(const QChar* buffer, int bufSize);
    // Rich text bytes, converted to text with codes.
    void SetRTF(const char* buffer, int bufSize);
    // The visible text, at most its first 65520 characters.
    QString Text() const;
    void SetText(const QString& value); // "" clears the buffer
    void SetRTFText(const QString& value);
    void SetMemo(const TMemo& memo);
    // The control's lines (its RTF) as RTFText.
    void SetRichEdit(const TRichEdit& richEdit);
    // BufSize bytes from the stream's position (0: to its end); a byte-order
    // mark selects UTF-8, UTF-16 or UTF-32, else the ANSI code page.
    void LoadFromStream(TStream& stream, int bufSize);
    void LoadFromFile(const QString& fileName);
    void RTFLoadFromStream(TStream& stream, int bufSize);
    void RTFLoadFromFile(const QString& fileName);
    // The visible characters as UTF-16LE, no byte-order mark, no codes.
    void SaveToStream(TStream& stream) const;

    // ---- Editing ---------------------------------------------------------------
    // Text goes in as plain characters; positions out of range are clamped.
    void Insert(int bufPos, const QString& text);
    void Append(const QString& text) { Insert(FSize, text); }
    // Inserts the other buffer's characters and codes; the text after the
    // insertion keeps its format.
    void InsertMemoBuf(int bufPos, const TMemoBuf& memoBuf);
    void AppendMemoBuf(const TMemoBuf& memoBuf) { InsertMemoBuf(FSize, memoBuf); }
    // The text after the deleted piece keeps its format.
    void Delete(int bufPos, int delLen);

    const QChar* Buffer() const { return FBuffer.data(); }
    int Size() const { return FSize; }
    void SetSize(int value); // a larger size grows the buffer with spaces
    int MaxSize() const { return FMaxSize; }
    void SetMaxSize(int value);
    int Pos() const { return FPos; }
    void SetPos(int value); // at most Size
    int BufferInc() const { return FBufferInc; }
    void SetBufferInc(int value); // values <= 0 are refused
    void SaveBuffer();
    void RestoreBuffer();
    void FreeSaved();
    const std::vector<TQPTFItem>& QPTFList() const { return FQPTFList; }
    // The last code block inside the most recent line.
    const QString& LastQPTF() const { return FLastQPTF; }

    // ---- Search ----------------------------------------------------------------
    // Moves Pos to the first match; false (Pos unchanged) when none.
    bool SearchFirst(const QString& searchText, bool caseMatters);
    bool SearchNext();
    void ReplaceAll(const QString& searchText, const QString& replaceText, bool caseMatters);

    // ---- Layout and printing ---------------------------------------------------
    QString GetNextLine(bool& eol) override;
    int MemoLinesLeft() override;
    // Lines > 0 prints that many lines (empty ones past the text), 0 the rest.
    double PrintLines(int lines, bool printTabs) override;
    // Prints the whole lines that fit in Height (report units); below one
    // line height nothing.
    double PrintHeight(double height, bool printTabs);
    double MemoHeightLeft();
    double ConstrainHeightLeft(double constraint);

    bool NoNewLine = false; // PrintLines does not end its last line
    bool& NoCRLF = NoNewLine;
    bool ProcessQPTF = true;
    bool ReadRTF = false;     // the next load converts rich text first
    bool ReplaceQPTF = false; // the next storing of codes replaces, not merges
    double LeftIndent = 0;    // inches: the indents of the line laid out last
    double RightIndent = 0;

private:
    void Clear();
    void Grow(int needed);
    void StoreQPTF(const QString& codes, int pos);
    TFormatState FormatStateAt(int pos) const;
    QString FormatCodesAt(int pos) const;
    QString GetWord();
    void GetLine(int width, bool& eol, QString& line);
    void ScanLinesAhead(TBaseReport& r, const std::function<bool(const QString& line)>& next);
    QString PutBackCodes(const QString& text, int firstVisible);
    int Measure(const QString& trial) const;
    void CheckReport() const;
    void EndLine();
    bool Matches(int start) const;

    std::vector<QChar> FBuffer; // MaxSize characters, Size of them used
    int FSize = 0;
    int FMaxSize = 0;
    int FBufferInc = 256;
    int FPos = 0;
    bool FNewParagraph = true;
    bool FNewLine = true;
    std::vector<TQPTFItem> FQPTFList; // sorted by Pos, one item per position
    QString FLastQPTF;
    int FNonSpacePos = 0;
    double FMaxHeight = 0; // report units: the budget of the current PrintLines
    QString FSearchText;
    bool FCaseMatters = false;
    // The copy kept by SaveBuffer.
    bool FHasSaved = false;
    std::vector<QChar> FSaveBuffer;
    std::vector<TQPTFItem> FSaveQPTFList;
    // The reader state kept by SaveState.
    int FSaveFPos = 0;
    bool FSaveNewParagraph = true;
    bool FSaveNewLine = true;
};
