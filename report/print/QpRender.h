#pragma once
// QpRender: playing a snapshot stream back (see QpFiler.h for the format).
//
// TQPConverter reads the stream's header, finds the pages it is asked for
// through the page chain and calls, for every command of a page, the
// matching operation of one render target. It replaces the deferred macros
// and page-independent variables in every text and lays out texts with
// in-text formatting codes itself, run by run. TQPRender is the base of the
// render targets: one virtual operation per drawing command (positions in
// inches from the paper's top-left corner, rectangles in device pixels), the
// document and page brackets, the destination filter (preview-only and
// printer-only output) and the playback driver. TQPRenderStream adds an
// output stream for targets that write files. Each playback reads the
// stream through a reader of its own, so what it checks and draws was read
// during that playback.
//
// A snapshot is a file a user may hand the program: every count and link is
// checked against the stream, links only run in one direction, variable
// references and macro expansion stop at a fixed depth, and a bad stream is
// refused with EReadError "Stream read error", ESheetcaster "Unexpected code
// [%d] found in report file." (or the header form) or EInvalidGraphic.
#include "report/print/QpDefine.h"
#include "report/print/QpFiler.h"

#include "platform/graphics/Canvas.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"

#include <QFont>
#include <QPointF>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class TQPRender;

// The file header as read (lengths in inches). The four device-mode words
// are kept in the order copies, paper size, paper length, paper width.
struct TQPReportHeader {
    uint16_t FileVer = 0;
    QString Title;
    int32_t PageCount = 0;
    int32_t FirstPage = 0;
    int32_t LastPage = 0;
    double PaperWidth = 0;
    double PaperHeight = 0;
    double LeftWaste = 0;
    double RightWaste = 0;
    double TopWaste = 0;
    double BottomWaste = 0;
    TOrientation Orientation = TOrientation::poPortrait;
    int Bin = 0; // the current bin: page headers and code 88 change it
    bool Collate = false;
    TDuplex Duplex = TDuplex::dupSimplex;
    int Copies = 1;
    int DMPaperSize = 1;
    int DMPaperLength = 0;
    int DMPaperWidth = 0;
    QString OutputName;
};

struct TQPPageHeader {
    int32_t PrevPagePos = 0;
    int32_t NextPagePos = 0;
    int32_t PageNo = 0;
    double PaperWidth = 0; // inches
    double PaperHeight = 0;
    uint8_t OldOrientation = 0; // files below version 2000
};

// A page header as read, with the orientation and bin the page plays in:
// its own from version 5130 on, else the file's.
struct TQPPageHeaderRead {
    TQPPageHeader Header;
    TOrientation Orientation = TOrientation::poPortrait;
    int Bin = 0;
};

// The pages of one open snapshot stream: where each page header stands, in
// chain order, as one walk over the headers found and checked them. The
// render target that holds the stream keeps it, and targets handed the same
// stream share it, so the stream's first playback walks the chain and every
// later one goes to its pages directly. An index fits a stream only while
// the stream's size, first page, page count and text form are those it was
// made for.
class TQPPageIndex {
public:
    bool Fits(int64_t streamSize, int64_t firstPage, int pageCount, uint16_t fileVer, bool ansi) const
    {
        return FStreamSize == streamSize && FFirstPage == firstPage && Count() == pageCount &&
               FFileVer == fileVer && FAnsi == ansi;
    }
    int Count() const { return int(FPositions.size()); }
    // The stream position of a page's header, page 1..Count().
    int64_t Position(int page) const { return FPositions.at(size_t(page - 1)); }
    void Set(int64_t streamSize, int64_t firstPage, uint16_t fileVer, bool ansi,
             std::vector<int64_t> positions)
    {
        FStreamSize = streamSize;
        FFirstPage = firstPage;
        FFileVer = fileVer;
        FAnsi = ansi;
        FPositions = std::move(positions);
    }
    void Clear() { Set(-1, -1, 0, false, {}); }

private:
    int64_t FStreamSize = -1;
    int64_t FFirstPage = -1;
    uint16_t FFileVer = 0;
    bool FAnsi = false;
    std::vector<int64_t> FPositions;
};

// The device font of a font description at a height in pixels: face,
// styles and pitch, without hinting and kerning.
QFont ZsfQFont(const TSaveFont& font, int pixelHeight);

class TQPConverter {
public:
    // Neither is owned.
    TQPConverter(TStream* stream, TQPRender* renderer);
    virtual ~TQPConverter();
    TQPConverter(const TQPConverter&) = delete;
    TQPConverter& operator=(const TQPConverter&) = delete;

    // Each "Render".
    virtual QString GetPrinterName();
    virtual QString GetDriverName();
    virtual QString GetPortName();

    // Plays pages: pageNo 0 the pages the target selects (see
    // NextPlayedPage), else that page (a page beyond the last shows the
    // last). Once the headers are read and checked, and before anything
    // else reaches the target, the target's CheckPlayback may refuse. A
    // stream without pages plays nothing (no DocBegin). A stream whose page
    // chain disagrees with its page count, or with itself (links, page
    // numbers), plays nothing and raises "Unexpected code found in report
    // file.", as does a page whose header differs from the one indexed when
    // the stream was first played. pageCount has no effect.
    virtual void Generate(int pageNo, int pageCount = 0);
    // Reads the stream once through, as playbacks of all its pages onto
    // targets that draw nothing read it, and refuses it as the first of them
    // to fail does: the same error at the same place. It stands for targets
    // of every kind, so what only the printer or only the preview shows is
    // read as that one reads it. Nothing reaches the target but its
    // destination filter, and no work is done whose result only drawing
    // uses (macros in texts that cannot fail, pictures built from decoded
    // images, text widths); pictures are still decoded. The page index is
    // filled from the same reads.
    void Check();

    // Whether the target's Selection (or its FirstPage..LastPage) holds the
    // page; EConvertError for a token that is neither number nor keyword.
    bool PageInRange(int pageNum) const;
    // While a playback runs: the page it plays after `after` (0, or a page
    // it plays; 0 asks for its first page), or 0 when it plays no more. One
    // page asked for plays alone; else the target's Selection picks the
    // pages; else its FirstPage..LastPage, where a LastPage of 0 or 9999
    // means every page, a range that starts beyond the last page plays
    // nothing and one that ends before it starts plays its first page.
    int NextPlayedPage(int after) const;
    // How many pages the playback plays. It reads the whole selection, so
    // a token that is no page raises here (EConvertError).
    int PlayedPageCount() const;
    // Leaves the reader at the header of that page (clamped to the pages
    // there are), after checking the header against the page index; only
    // while a playback runs.
    void GotoPage(int pageNum);
    // Width of a text with formatting codes, inches, in the current font.
    double QPTFTextWidth(const QString& value);
    // The text with its macro and variable references replaced.
    QString ExpandMacros(const QString& text);
    // The value of a page-independent variable ("" when unknown).
    QString Variable(const QString& name) const;

    const TQPReportHeader& ReportHeader() const { return FReportHeader; }
    TQPReportHeader& ReportHeader() { return FReportHeader; }
    const TQPPageHeader& PageHeader() const { return FPageHeader; }
    int PageNo() const { return FPageNo; }
    int PageCount() const { return FPageCount; }
    int FirstPage() const { return FFirstPage; }
    int LastPage() const { return FLastPage; }
    const QString& Title() const { return FTitle; }
    uint16_t FileVer() const { return FFileVer; }
    bool AnsiStrings() const { return FAnsiStrings; }
    // The drawing state the targets read.
    TFont* Font() { return &FFont; }
    TBrush* Brush() { return &FBrush; }
    TPen* Pen() { return &FPen; }
    const TSaveFont& FontData() const { return FFontData; }
    double LineHeight() const { return FLineHeight; } // inches
    TDateTime ReportDateTime() const { return FReportDateTime; }
    // The moment the date and time macros show; Generate sets it to now.
    void SetReportDateTime(TDateTime moment) { FReportDateTime = moment; }
    QString Hyperlink;

    // The measuring resolution of texts with formatting codes.
    static constexpr int kMeasureDPI = 1248;

private:
    // Ties the converter to the target and reads the file header; false
    // without a stream or a target.
    bool Start();
    void ReadFileHeader();
    void ReadHeaderFields(bool ansi);
    bool HeaderPlausible() const;
    // Raises "Unexpected code found in report file." unless the page chain
    // holds the pages the file header counts, linked both ways and numbered
    // in order; keeps where each stands.
    void IndexPages();
    std::vector<int64_t> NoPositions() const;
    // Raises as IndexPages does for a stream without pages that holds
    // some; else the positions become the page index.
    void KeepIndex(int64_t first, std::vector<int64_t> positions);
    // The header of that page at the position, checked against the chain
    // as IndexPages checks it; the reader is left after it.
    TQPPageHeaderRead ChainedPageHeader(int page, int64_t position, int64_t previous);
    // The chain from that page on, checked as IndexPages checks it; each
    // page's position goes to positions when given.
    void WalkChain(int page, int64_t position, int64_t previous, std::vector<int64_t>* positions);
    void CheckLanding(int page) const;
    void ReadPageHeader(bool apply);
    void TakePageHeader(const TQPPageHeaderRead& header, bool apply);
    void ProcessPage(int page);
    void PlayCommands();
    void SkimCommands();
    int64_t PlainTextSize(const uchar* operands, const uchar* end, int trail) const;
    void Dispatch(uint8_t code);
    // A text as the stream gives it, with its references replaced; in a
    // check only passed over (empty).
    QString ReadText();
    // The formatting codes of the text applied in order to a copy of the
    // current font; with measure the width of the text (inches), else 0.
    double CodesWidth(const QString& value, bool measure);
    TRect ReadRect();
    std::unique_ptr<TGraphic> ReadGraphic();
    bool ReadVariableData(QString& value, int depth);
    void ReadVariable();
    void ReadFont();
    void SetLineHeight(double ascent, double descent, double lineHeight);
    void FontChanged();
    void BrushChanged();
    void PenChanged();
    void SyncFont();
    void PlainOrFormatted(uint8_t code, const QString& text, double x, double y, double width);
    void FormattedText(uint8_t code, const QString& text, double x, double y, double width);
    double RunWidth(const QString& run, const TSaveFont& font) const;
    QString Expand(const QString& text, int depth);
    QString MacroText(int ordinal);
    // The target shows nothing here; never in a check.
    bool Suppressed() const;
    // Drawing calls are left out: in a check, or while the target is
    // suppressed.
    bool Quiet() const;

    TStream* FStream;
    TQPRender* FRenderer;
    std::unique_ptr<TZsfReader> FReader;
    TQPPageIndex* FIndex = nullptr; // the target's, or FOwnIndex
    TQPPageIndex FOwnIndex;
    bool FCheck = false; // the playback is a check (see Check)
    TDateTime FReportDateTime = 0;
    int FFirstPage = 0;
    int FLastPage = 0;
    int FPageNo = 0;
    int FPageCount = 0;
    int FOnePage = 0; // the one page asked for, else 0
    QString FTitle;
    uint16_t FFileVer = 0;
    int64_t FCurrPagePos = 0;
    int32_t FPrevPagePos = 0;
    int32_t FNextPagePos = 0;
    double FXPos = 0; // the current drawing position, inches
    double FYPos = 0;
    std::map<QString, QString> FVarList; // by lower-case name
    bool FAnsiStrings = false;
    TQPReportHeader FReportHeader;
    TQPPageHeader FPageHeader;
    double FCurrX = 0; // the last MoveTo
    double FCurrY = 0;
    TFont FFont;
    TSaveFont FFontData;
    double FLineHeight = 0;
    TBrush FBrush;
    TPen FPen;
};

// A render target. The drawing operations of the base do nothing.
class TQPRender : public TQpComponent {
public:
    explicit TQPRender(TComponent* owner);
    ~TQPRender() override;

    // Output kinds allowed to draw (bit n: kind n); kind 0 prints, kind 1
    // previews.
    uint8_t ValidDestination = 0x1F;
    double snPaperWidth = 0; // inches, from the page header
    double snPaperHeight = 0;
    double snPenWidth = 0; // inches (code 74)
    TFrameMode snFrameMode = TFrameMode::fmInside;
    TBKMode FTextBKMode = TBKMode::bkTransparent;
    TColor FBKColor = clWhite;
    bool FTransparentBitmaps = false;
    // The converter while a playback runs, else null.
    TQPConverter* Converter = nullptr;

    virtual void SetBKColor(TColor color);
    virtual void AllowPreviewOnly();
    virtual void AllowPrinterOnly();
    virtual void AllowAll();
    virtual int RenderKind() { return 0; }
    virtual void SetHyperlink(const QString& link);
    virtual void Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4);
    virtual void BrushChanged(TBrush& brush);
    virtual void Chord(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                       double y4);
    virtual void CenterText(const QString& text, double x, double y);
    virtual void Ellipse(double x1, double y1, double x2, double y2);
    virtual void FontChanged(TFont& font);
    virtual void LeftText(const QString& text, double x, double y);
    virtual void LineTo(double x, double y);
    virtual void MoveTo(double x, double y);
    virtual void Pie(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4);
    virtual void Polyline(const std::vector<QPointF>& points);
    virtual void Polygon(const std::vector<QPointF>& points);
    virtual void RightText(const QString& text, double x, double y);
    virtual void PenChanged(TPen& pen);
    // Decodes the image through OnDecodeImage and draws it with
    // PrintBitmapRect; without the event nothing is drawn.
    virtual void PrintImageRect(double x1, double y1, double x2, double y2, TStream& image,
                                const QString& imageType);
    virtual void PrintBitmapRect(double x1, double y1, double x2, double y2, const TBitmap& bitmap);
    virtual void PrintBitmap(double x, double y, double scaleX, double scaleY, const TBitmap& bitmap);
    virtual void StretchDraw(const TRect& rect, const TGraphic& graphic);
    virtual void Draw(double x, double y, const TGraphic& graphic);
    // Text justified to width (inches).
    virtual void PrintSpaces(const QString& text, double x, double y, double width);
    virtual void Rectangle(double x1, double y1, double x2, double y2);
    virtual void FillRect(const TRect& rect);
    virtual bool TextRect(const TRect& rect, double x, double y, const QString& text);
    // Corner width and height in inches.
    virtual void RoundRect(double x1, double y1, double x2, double y2, double x3, double y3);
    virtual int CountInnerSpaces(const QString& text);
    // Word := the leading spaces and the first word; text keeps the rest,
    // starting with the space after the word.
    virtual void NextWord(QString& text, QString& word);
    virtual void LeadingSpaces(QString& text, QString& lead);
    // Moves (x, y) by width inches along the font's rotation.
    virtual void TextSegmentPos(double& x, double& y, double width);
    // Moves (x, y) by advance inches, then draws the text right-aligned
    // there.
    virtual void TextSegmentOut(const QString& text, double& x, double& y, double advance);
    virtual bool SetBin(const QString& binName);
    virtual void SetHeaderBin(int binNum);
    virtual bool PrintData(const QString& value);
    // bufSize bytes at the stream's position; the stream holds exactly the
    // command's data.
    virtual void PrintDataStream(TStream& stream, int bufSize);
    virtual void FrameRect(const TRect& rect);
    virtual void FloodFill(double x, double y, TColor color, TFillStyle fillStyle);
    virtual void BrushCopy(const TRect& dest, const TBitmap& bitmap, const TRect& source, TColor color);
    // The source canvas is null when played from a snapshot.
    virtual void CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source);
    virtual void DrawFocusRect(const TRect& rect);
    // Called by a playback once the stream's headers and page chain are
    // read and checked, before the header bin and DocBegin; Converter tells
    // which pages will play. A target that must not start raises here.
    virtual void CheckPlayback() {}
    virtual void DocBegin() {}
    virtual void DocEnd() {}
    virtual void PageBegin() {}
    virtual void PageEnd() {}
    virtual int GetXDPI() { return 72; }
    virtual int GetYDPI() { return 72; }
    virtual QString GetFileExtension() { return FFileExtension; }
    // Plays the stream (or, without one, InputFileName); nothing while a
    // playback runs. A file that cannot be opened is named in the error.
    virtual void Render(TStream* zsfStream);
    void Render(const QString& inputFileName);
    // One page; 0: the selected pages. Nothing without a stream. An error
    // that ends the playback names the snapshot's file (when the stream is
    // one), whichever road handed the stream over, unless it is the
    // target's own (see TOwnCall): a refusal names only what it is about.
    virtual void RenderPage(int pageNum);
    // Checks the stream (or, without one, InputFileName) as
    // TQPConverter::Check does, filling its page index, so that a target
    // that shares the stream then goes to any page directly; an error
    // names the file as RenderPage names it. Nothing while a playback
    // runs.
    void CheckRender(TStream* zsfStream);
    virtual void PrintRender(TStream* zsfStream, const QString& outputFileName);
    // Inches to device pixels.
    virtual int XI2D(double pos);
    virtual int YI2D(double pos);

    bool IsSuppressed();
    bool Rendering() const { return FRendering; }
    // True while DocEnd runs for a playback that an error ended: a target
    // that writes a file then leaves the file that stood there.
    bool PlaybackFailed() const { return FPlaybackFailed; }
    void SetPlaybackFailed(bool failed) { FPlaybackFailed = failed; }

    bool Active() const { return FActive; }
    void SetActive(bool active) { FActive = active; }
    const QString& DisplayName() const { return FDisplayName; }
    void SetDisplayName(const QString& name);
    const QString& FileExtension() const { return FFileExtension; }
    void SetFileExtension(const QString& extension) { FFileExtension = extension; }
    TStringList& MacroData() { return FMacroData; }
    const QString& OutputFileName() const { return FOutputFileName; }
    void SetOutputFileName(const QString& fileName) { FOutputFileName = fileName; }
    const QString& InputFileName() const { return FInputFileName; }
    void SetInputFileName(const QString& fileName) { FInputFileName = fileName; }
    const QString& Selection() const { return FSelection; }
    void SetSelection(const QString& selection) { FSelection = selection; }
    int FirstPage() const { return FFirstPage; }
    void SetFirstPage(int page) { FFirstPage = page; }
    int LastPage() const { return FLastPage; }
    void SetLastPage(int page) { FLastPage = page; }
    bool ForceAnsi() const { return FForceAnsi; }
    void SetForceAnsi(bool force) { FForceAnsi = force; }
    // The snapshot played (not owned unless opened from InputFileName). A
    // stream set anew gets an empty page index, which its first playback
    // fills.
    TStream* ZSFStream() const { return FZSFStream; }
    void SetZSFStream(TStream* stream);
    // Plays the stream another target holds, sharing its page index.
    void ShareZSFStream(const TQPRender& source);
    // The page index of the stream, or null without one.
    TQPPageIndex* PageIndex() const { return FPageIndex.get(); }
    TDecodeImageEvent OnDecodeImage;

    // The file the snapshot stream reads ("" when it is not a file), which
    // a failed playback names.
    QString ZSFFileName() const;

protected:
    // Put at the top of every operation of a target that works its device
    // or refuses by itself: an exception that leaves it is the target's
    // own, and keeps its message. The DocEnd of a playback that already
    // failed does not count, since its error is dropped for the one that
    // ended the playback.
    class TOwnCall {
    public:
        explicit TOwnCall(TQPRender& target);
        ~TOwnCall();
        TOwnCall(const TOwnCall&) = delete;
        TOwnCall& operator=(const TOwnCall&) = delete;

    private:
        TQPRender& FTarget;
        int FInFlight;
    };

    // Forgets the stream, freeing it when opened here.
    void ReleaseZSFStream();

    bool FActive = true;
    QString FDisplayName;
    QString FFileExtension;
    TStringList FMacroData;
    QString FOutputFileName;
    QString FInputFileName;
    bool FRendering = false;
    bool FPlaybackFailed = false;
    TStream* FZSFStream = nullptr;
    std::unique_ptr<TStream> FInternalZSFStream;
    std::shared_ptr<TQPPageIndex> FPageIndex; // of FZSFStream
    QString FSelection;
    int FFirstPage = 1;
    int FLastPage = 9999;
    bool FForceAnsi = false;

private:
    void OpenInputFile();
    void UseStream(TStream* zsfStream);
    void Play(int pageNum, bool check);
    void EndPlayback();

    bool FOwnFailure = false; // the playback's error is the target's own
};

// A target that writes a file: text in the system's 8-bit code page.
class TQPRenderStream : public TQPRender {
public:
    using TQPRender::TQPRender;
    ~TQPRenderStream() override;

    // Makes the file the output, owned by the target. The file is replaced
    // only when CloseStream ends a complete output; a target that fails lets
    // the stream go unclosed (with the target or the next InitFileStream),
    // which leaves the old file as it was.
    void InitFileStream(const QString& fileName);
    TStream* OutputStream() const { return FOutputStream; }
    void SetOutputStream(TStream* stream);
    // The text in the system's 8-bit code page, written to the active stream.
    virtual void PrintAnsi(const QString& text);
    virtual void PrintAnsiLn(const QString& text); // with CR LF
    // The same with the arguments formatted into the text first (Format).
    virtual void PrintAnsiF(const QString& format, const std::vector<FormatArg>& args);
    virtual void PrintAnsiLnF(const QString& format, const std::vector<FormatArg>& args);
    virtual void CloseStream();

protected:
    TStream* FActiveStream = nullptr;
    TStream* FOutputStream = nullptr;
    std::unique_ptr<TSafeFileStream> FOwnedStream;
};

// The registry of targets for format lists and file-dialog filters. A target
// registers itself when made (with an empty name) and unregisters when it
// goes; DisplayName registers it anew.
void RegisterRender(const QString& displayName, TQPRender* render);
void UnregisterRender(TQPRender* render);
// Clears the list and adds every registered, active target with its name
// (the target as the object).
void GetRenderList(TStringList& list);
// "name|extension|name|extension..." over the registered, active targets.
QString GetRenderFilter();
