#pragma once
// QpBase: TBaseReport, the device-independent report canvas every piece of
// report output passes through.
//
// Callers position and draw in report units (UnitsFactor units per inch:
// inches, millimetres, centimetres, points or a factor of their own); the
// canvas keeps every position in inches from the top-left corner of the
// physical sheet and turns it into device pixels only where output needs
// them: device pixel 0 is the first printable pixel, LeftWaste / TopWaste
// inches in. OriginX / OriginY shift all output, ScaleX, ScaleY and Zoom
// (percent) stretch the page about the sheet's corner.
//
// The canvas holds the page layout (margins, sections, cursor, line height,
// fonts) and declares the drawing and text output as abstract operations an
// output class implements (the snapshot writer records them).
//
// Flow. The cursor's Y is the baseline of the current line; lines run down
// the current section and from column to column, and a page is started by
// NewPage (which the output class wraps with its own page begin and end).
// All text output ends in PrintJustify, which calls one of OutputLeft,
// OutputCenter, OutputRight and OutputBlock. Tab stops carry boxes; the box
// lines an output class draws are buffered, merged where they touch and drawn
// once when the page ends.
//
// Fonts. The current font is a device-independent description, the base font
// (sizes in points, heights in inches). Font properties write the canvas
// font of the device; while that font is hooked (HookCanvasFont, done by an
// output class when its job starts) every change of it is copied into the base
// font. Before text is measured or output the base font is realised for the
// device through a per-canvas cache.
//
// Errors: device settings are refused while printing ("Invalid method call.
// Sheetcaster already printing."), output while not printing ("Invalid method
// call.  Sheetcaster is not printing."), both as ESheetcaster; output after
// Abort raises the silent EAbort.
#include "report/print/QpDefine.h"
#include "report/print/QpDevice.h"

#include "platform/graphics/Canvas.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/StringList.h"

#include <QDateTime>
#include <QSize>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class TStream;

// A list of tab stops; copies never share stops.
class TTabList {
public:
    TTabList() = default;
    TTabList(const TTabList& other) { Assign(other); }
    TTabList& operator=(const TTabList& other)
    {
        Assign(other);
        return *this;
    }
    void Assign(const TTabList& source);
    int Count() const { return int(FTabs.size()); }
    TTab* Items(int index) const { return FTabs.at(size_t(index)).get(); }
    TTab* Add();
    int IndexOf(const TTab* tab) const;

private:
    std::vector<std::unique_ptr<TTab>> FTabs;
};

constexpr int kSaveSlots = 10; // slots 1 to 10 of SavePos, SaveTabs, SaveFont

class TBaseReport;

// How the canvas reaches the user interface without holding widget code: the
// run controller fills these. ShowStatus writes the status line into the
// canvas's StatusLabel; ProcessMessages lets the application handle pending
// events (so that a Cancel button is seen during a run). Empty hooks do
// nothing.
struct TReportUiHooks {
    std::function<void(TComponent* label, const QString& text)> ShowStatus;
    std::function<void()> ProcessMessages;
};
TReportUiHooks& ReportUiHooks();

// The memo buffer that memo printing drives; the memo unit implements it.
class TBaseMemoBuf {
public:
    virtual ~TBaseMemoBuf() = default;
    // The next laid-out line; eol is set when it ends a paragraph.
    virtual QString GetNextLine(bool& eol) = 0;
    virtual int MemoLinesLeft() = 0;
    // Prints lines (0: the rest) and returns the height printed, report units.
    virtual double PrintLines(int lines, bool printTabs) = 0;

    TBaseReport* BaseReport = nullptr; // the canvas printed on (not owned)
    bool HardLines = false;
    TPrintJustify Justify = TPrintJustify::pjLeft;
    bool KeepSpaces = false;
    double PrintStart = 0; // report units
    double PrintEnd = 0;
    uint8_t RTFMode = 0;
};

// The events of a report run, which the report system hands on to the
// report that writes its pages.
struct TReportEvents {
    TNotifyEvent OnPrint;
    TPrintPageEvent OnPrintPage;
    TNotifyEvent OnBeforePrint;
    TNotifyEvent OnAfterPrint;
    TNotifyEvent OnNewPage;
    TNotifyEvent OnNewColumn;
    TNotifyEvent OnPrintHeader;
    TNotifyEvent OnPrintFooter;
    TNotifyEvent OnEndOfSection;
    TDecodeImageEvent OnDecodeImage;
};

class TBaseReport : public TQPBaseComponent, public TReportEvents {
public:
    explicit TBaseReport(TComponent* owner);
    ~TBaseReport() override;

    // ---- Coordinates ------------------------------------------------------
    // Report units <-> inches <-> device pixels.
    double XU2I(double u) const { return u / FUnitsFactor; }
    double YU2I(double u) const { return u / FUnitsFactor; }
    double XI2U(double i) const { return i * FUnitsFactor; }
    double YI2U(double i) const { return i * FUnitsFactor; }
    int XI2D(double x) const;
    int YI2D(double y) const;
    double XD2I(int d) const;
    double YD2I(int d) const;
    int XU2D(double u) const { return XI2D(XU2I(u)); }
    int YU2D(double u) const { return YI2D(YU2I(u)); }
    double XD2U(int d) const { return XI2U(XD2I(d)); }
    double YD2U(int d) const { return YI2U(YD2I(d)); }

    TPrintUnits Units() const { return FUnits; }
    void SetUnits(TPrintUnits units);
    double UnitsFactor() const { return FUnitsFactor; }
    void SetUnitsFactor(double factor); // zero and negative factors are ignored

    double XPos() const { return XI2U(FCursorXPos); }
    void SetXPos(double value);
    double YPos() const { return YI2U(FCursorYPos); }
    void SetYPos(double value);
    int CursorXPos() const { return XI2D(FCursorXPos); }
    int CursorYPos() const { return YI2D(FCursorYPos); }
    void GotoXY(double x, double y);

    double OriginX() const { return FOriginX; }
    void SetOriginX(double value) { FOriginX = value; }
    double OriginY() const { return FOriginY; }
    void SetOriginY(double value) { FOriginY = value; }
    double ScaleX() const { return FScaleX; }
    virtual void SetScaleX(double percent);
    double ScaleY() const { return FScaleY; }
    virtual void SetScaleY(double percent);
    double Zoom() const { return FZoom; }
    int XDPI() const { return FXDPI; }
    int YDPI() const { return FYDPI; }

    // Margins as last set (report units of that time); the edges follow.
    double MarginLeft() const { return FLeftMarginWidth; }
    void SetMarginLeft(double value);
    double MarginRight() const { return FRightMarginWidth; }
    void SetMarginRight(double value);
    double MarginTop() const { return FTopMarginWidth; }
    void SetMarginTop(double value);
    double MarginBottom() const { return FBottomMarginWidth; }
    void SetMarginBottom(double value);

    // Section edges, report units; moving an edge past the cursor moves the
    // cursor onto it.
    double SectionLeft() const { return XI2U(FLeftSection); }
    void SetSectionLeft(double value);
    double SectionRight() const { return XI2U(FRightSection); }
    void SetSectionRight(double value);
    double SectionTop() const { return YI2U(FTopSection); }
    void SetSectionTop(double value);
    double SectionBottom() const { return YI2U(FBottomSection); }
    void SetSectionBottom(double value);
    void ResetSection();

    // The physical sheet and its unprintable edges, report units.
    double PageWidth();
    double PageHeight();
    double LeftWaste() const { return XI2U(FLeftWaste); }
    double RightWaste() const { return XI2U(FRightWaste); }
    double TopWaste() const { return YI2U(FTopWaste); }
    double BottomWaste() const { return YI2U(FBottomWaste); }
    // The page used when no printer is installed, report units (kept in
    // inches, so that it stays the same paper when the units change).
    double NoPrinterPageWidth() const { return XI2U(FNoPrinterPageWidth); }
    void SetNoPrinterPageWidth(double value) { FNoPrinterPageWidth = XU2I(value); }
    double NoPrinterPageHeight() const { return YI2U(FNoPrinterPageHeight); }
    void SetNoPrinterPageHeight(double value) { FNoPrinterPageHeight = YU2I(value); }

    int CurrentPage() const { return FCurrentPage; }
    int PageNumOffset() const { return FPageNumOffset; }
    void SetPageNumOffset(int value) { FPageNumOffset = value; }
    int RelativePage() const { return FCurrentPage + FPageNumOffset; }
    bool Printing() const { return FPrinting; }
    bool Aborted() const { return FAborted; }
    bool PageInvalid() const { return FPageInvalid; }

    // ---- Device and page settings -----------------------------------------
    bool NoPrinters() const;
    // The canvas's own device (not owned) when set, else the global device.
    TQPBaseDevice* LocalDevice() const;
    void SetLocalDevice(TQPBaseDevice* device) { FLocalDevice = device; }

    TOrientation Orientation() const { return FOrientation; }
    virtual void SetOrientation(TOrientation orientation);
    int Copies() const { return FCopies; }
    void SetCopies(int copies);
    int PrinterIndex() const;
    void SetPrinterIndex(int index);
    // Width and Height in report units; both 0 select the paper by number.
    bool SetPaperSize(int size, double width, double height);
    bool SelectPaper(const QString& paperName);
    virtual bool SelectBin(const QString& binName);
    bool SelectPrinter(const QString& printerName);
    bool SupportBin(int binNum) const { return LocalDevice()->SupportBin(binNum); }
    bool SupportPaper(int paperNum) const { return LocalDevice()->SupportPaper(paperNum); }
    bool SupportOrientation() const { return LocalDevice()->SupportOrientation(); }
    bool SupportDuplex() const { return LocalDevice()->SupportDuplex(); }
    bool SupportCollate() const { return LocalDevice()->SupportCollate(); }
    const TStringList* Bins() const { return LocalDevice()->GetBins(); }
    const TStringList* Papers() const { return LocalDevice()->GetPapers(); }
    const TStringList* Fonts() const { return LocalDevice()->GetFonts(); }
    const TStringList* Printers() const { return LocalDevice()->GetPrinters(); }
    int MaxCopies() const { return LocalDevice()->GetMaxCopies(); }
    TDuplex Duplex() const { return LocalDevice()->GetDuplex(); }
    void SetDuplex(TDuplex duplex) { LocalDevice()->SetDuplex(duplex); }
    bool Collate() const { return LocalDevice()->GetCollate(); }
    void SetCollate(bool collate) { LocalDevice()->SetCollate(collate); }
    TDevMode* DevMode() const;
    QString DeviceName();
    QString DriverName();
    QString Port();
    const QString& OutputName() const { return FOutputName; }
    void SetOutputName(const QString& fileName);
    void ReleasePrinter();
    void RecoverPrinter();
    bool ShowPrinterSetupDialog();
    bool ShowPrintDialog();
    void ResetWaste();
    void ResetPrinter();
    void Reset();
    TColor BKColor();
    virtual void SetBKColor(TColor color);
    TBKMode TextBKMode() const { return FTextBKMode; }
    virtual void SetTextBKMode(TBKMode mode);
    TFrameMode FrameMode() const { return FFrameMode; }
    virtual void SetFrameMode(TFrameMode mode);

    // The local device's canvas; ESheetcaster "Error!  Canvas not yet
    // active." when the device has no context.
    virtual TCanvas* GetCanvas();
    // Size of the text in the device font, device pixels; (0, 0) for "".
    virtual QSize GetTextExtent(const QString& value);
    // 0 the canvas itself, 1 a preview output, 2 the snapshot writer.
    virtual int OutputMode() const { return 0; }

    // ---- The run, report events, pages ----------------------------------
    // Runs the report between Start and Finish (Finish also when a handler
    // raises): OnPrint once, or OnPrintPage page by page until it answers
    // false or the run is aborted.
    virtual void Execute();
    virtual void DoPrint();
    virtual bool DoPrintPage(); // OnPrintPage may change the page number
    virtual void DoBeforePrint();
    virtual void DoAfterPrint();
    virtual void DoNewPage();
    virtual void DoNewColumn();
    virtual void DoPrintHeader();
    virtual void DoPrintFooter();
    virtual void DoEndOfSection();
    // Begin-page and end-page handlers; the one added last runs first. A
    // handler is known by its object and method name, as RemoveReportEvent
    // finds it.
    void AddReportEvent(TReportEventType type, const void* object, const QString& method,
                        TNotifyEvent handler);
    void RemoveReportEvent(TReportEventType type, const void* object, const QString& method);
    // Output classes fire the begin-page list when a page starts and the
    // end-page list when it ends.
    void FireReportEvents(TReportEventType type);
    // The canvas's part of starting a page: page number, status, selection,
    // origin, tabs, section and cursor.
    virtual void NewPage();
    virtual void NewPara() {}
    void Abort();
    // Gives up the current page; its number is used again.
    virtual void AbortPage();
    // Output is skipped on an invalid page and for output modes not in the
    // valid destinations.
    bool OutputInvalid() const;
    virtual void AllowPreviewOnly();
    virtual void AllowPrinterOnly();
    virtual void AllowAll();
    // Whether the page is selected: FirstPage..LastPage when Selection is
    // empty, else by Selection ("1,3,5-7", "-3", "10-", "odd", "even",
    // "all"); EConvertError for a token that is neither number nor keyword.
    bool PageInSelection(int page) const;
    // Shows the status line built from StatusFormat ("%P" page, "%C" pass,
    // "%S" passes, "%F"/"%L" page range, "%D"/"%R"/"%T" device, driver,
    // port, "%0".."%9" StatusText lines, "%N" a line break, "%%" a "%").
    void UpdateStatus();
    // Lets the application process pending events, unless Threaded.
    void ProcessMessages();
    int JobPages() const { return FJobPages; }
    void SetJobPages(int pages) { FJobPages = pages; }
    // The moment the date and time macros show; the current time when unset.
    const QDateTime& ReportDateTime() const { return FReportDateTime; }
    void SetReportDateTime(const QDateTime& value) { FReportDateTime = value; }
    // The text of a macro; in the snapshot writer (OutputMode 2) a deferred
    // reference (#253 "$QPCM" and two digits) that playback replaces, except
    // for the relative page.
    QString Macro(TMacroID id);
    // Print-instance variables; the snapshot writer records and defers them.
    virtual QString PIVar(const QString& varName);
    virtual void SetPIVar(const QString& varName, const QString& varValue);
    virtual QString GetPIVar(const QString& varName);

    // ---- Lines and columns ------------------------------------------------
    void ClearColumns();
    void ClearTabs();
    void ResetTabs();
    void Home();
    int LineNum() const { return FLineNum; }
    void SetLineNum(int value);
    int ColumnNum() const { return FColumnNum; }
    void SetColumnNum(int value);
    // Output classes that record the line metrics extend it.
    virtual void ResetLineHeight();
    TLineHeightMethod LineHeightMethod() const { return FLineHeightMethod; }
    void SetLineHeightMethod(TLineHeightMethod method) { FLineHeightMethod = method; }
    int LinesPerInch() const { return FLinesPerInch; }
    void SetLinesPerInch(int value); // positive values only
    double LineHeight() const { return YI2U(FLineHeight); }
    void SetLineHeight(double value); // makes the method lhmUser
    double AscentHeight() const { return YI2U(FAscentHeight); }
    double DescentHeight() const { return YI2U(FDescentHeight); }
    // Where the lines of the current column start, inches.
    double LineStartPos() const { return (FColumnNum - 1) * FColumnWidth + FLeftSection; }
    void Cr();
    void Lf();
    void CrLf();
    void NewLine();
    // The next line, or the top of the next column when this one is full;
    // never a new page.
    void SoftLine();
    void GotoHeader();
    void GotoFooter();
    void SetTopOfPage();
    void AdjustLine();
    // Whole lines left down to the section bottom, in this column and in all
    // columns that follow.
    int LinesLeft() const;
    int ColumnLinesLeft() const;
    // The current line, report units; setters move the baseline.
    double FontBaseline() const { return YI2U(FCursorYPos); }
    void SetFontBaseline(double value);
    double FontTop() const { return YI2U(FCursorYPos - FAscentHeight); }
    void SetFontTop(double value);
    double FontBottom() const { return YI2U(FCursorYPos + FDescentHeight); }
    void SetFontBottom(double value);
    double LineBottom() const { return FontBottom(); }
    void SetLineBottom(double value) { SetFontBottom(value); }
    double LineTop() const { return YI2U(FCursorYPos + FDescentHeight - FLineHeight); }
    void SetLineTop(double value);
    double LineMiddle() const { return YI2U(FCursorYPos + FDescentHeight - FLineHeight / 2); }
    void SetLineMiddle(double value);
    // Between and widths in report units.
    void SetColumns(int newColumns, double between);
    void SetColumnWidth(double width, double between);
    void NewColumn();
    int Columns() const { return FColumns; }
    double ColumnStart() const { return XI2U(LineStartPos()); }
    double ColumnEnd() const { return XI2U(LineStartPos() + FColumnWidth - FColumnBetween); }
    double ColumnWidth() const { return XI2U(FColumnWidth - FColumnBetween); }
    // Cursor positions: a stack, and slots 1 to 10.
    bool PushPos();
    bool PopPos();
    bool SavePos(int index);
    bool RestorePos(int index);

    // ---- Text -------------------------------------------------------------
    // All text output ends here. X, Margin and Width in inches.
    void PrintJustify(const QString& text, double x, TPrintJustify justify, double margin, double width);
    // Positions and widths in report units.
    void PrintLeft(const QString& text, double pos);
    void PrintCenter(const QString& text, double pos);
    void PrintRight(const QString& text, double pos);
    void PrintBlock(const QString& text, double pos, double width);
    void PrintXY(double x, double y, const QString& text);
    void PrintHeader(const QString& text, TPrintJustify justify);
    void PrintFooter(const QString& text, TPrintJustify justify);
    // Aligns the first ch of the text on pos (decimal alignment).
    void PrintCharJustify(const QString& text, QChar ch, double pos);
    // Prints at the cursor, or into the tab stops that tab characters reach.
    void Print(const QString& text);
    void Println(const QString& text);
    // Tab, then the text cut to the width of the stop reached.
    virtual void PrintTab(const QString& text);
    // The longest start of the text no wider than width (report units).
    QString TruncateText(const QString& value, double width);
    // Width in report units; an empty text is one device pixel wide.
    virtual double TextWidth(const QString& text);
    // Moves the cursor past a piece of text width (report units) wide, along
    // the font's rotation.
    void AdvanceCursor(double width);
    int MemoLines(TBaseMemoBuf& memoBuf);
    QString GetMemoLine(TBaseMemoBuf& memoBuf, bool& eol);
    virtual void PrintMemo(TBaseMemoBuf& memoBuf, int lines, bool printTabs);
    void StartLink(const QString& hyperlink);
    void EndLink();
    // The display text linked by in-text codes.
    static QString MakeLink(const QString& displayText, const QString& hyperlink);

    // ---- Tab stops, tab boxes, box lines ----------------------------------
    // An argument of Tab that is not given: the stop's own setting applies.
    static constexpr int NA = -32768;
    // Appends a stop. NewPos < 0 follows the current stop (or starts at the
    // left margin). NewMargin in hundredths of an inch; NewLines bits 0 to 3
    // are the left, right, top and bottom lines; width 0 makes a stop without
    // box, margin or shading.
    void SetTab(double newPos, TPrintJustify newJustify, double newWidth, double newMargin, uint8_t newLines,
                uint8_t newShade);
    void ClearAllTabs();
    // 0: the current stop; 1 to the number of stops: that stop; else nullptr.
    TTab* GetTab(int index) const;
    double TabStart(int index) const;
    double TabEnd(int index) const;
    double TabWidth(int index) const;
    bool PushTabs();
    bool PopTabs();
    bool SaveTabs(int index);
    bool RestoreTabs(int index);
    bool OnTab() const { return FOnTab; }
    // Moves to the next stop, shades its box and draws its lines on the
    // current line. Widths: NA the stop's own lines with the current pen, 0
    // no line, else a line of that pen width whether the stop has it or not.
    virtual void Tab(int leftWidth = NA, int rightWidth = NA, int topWidth = NA, int bottomWidth = NA,
                     int shadeOverride = NA);
    // A top line of the given width over every stop: the closing line of a
    // table.
    void FinishTabBox(int width);
    // For output classes: keeps a vertical or horizontal line to the point
    // (report units) for the end of the page, merged with the lines it
    // touches; false for a sloping line, or when lines are not buffered.
    bool BufferLine(double x, double y);
    // Draws the buffered lines and empties the buffers; runs when the page
    // ends.
    void DrawBufferedLines();
    int BufferedLineCount() const { return int(FVLineList.size() + FHLineList.size()); }

    // ---- Font selection for measuring -----------------------------------
    // The device font in force and what SelectCanvasFont would put back.
    // Measuring routines that select fonts of their own restore both, so
    // that they nest inside a caller's SelectQPFont / SelectCanvasFont.
    struct TFontSelection {
        TCanvas::TDeviceFont Selected;
        TCanvas::TDeviceFont SaveCanvasFont;
        TColor TextColor = clBlack;
    };
    TFontSelection SaveFontSelection();
    void RestoreFontSelection(const TFontSelection& selection);
    // The base font was changed in place (GetBaseFont) and must be realised
    // again.
    void MarkBaseFontChanged() { FBaseFontChanged = true; }

    // ---- Fonts --------------------------------------------------------------
    virtual void HookCanvasFont();
    virtual void UnhookCanvasFont();
    // A change of the canvas font: its own handler first, then the record.
    virtual void CanvasFontChanged(TObject* sender);
    // The font record changed where the canvas font did not (rotation,
    // alignment, scripts, width) or after the canvas font's handler has seen
    // each of its changes: the record takes the canvas font over. Rebuilding
    // the device font here again would cost a cell-height measurement for
    // every text printed.
    virtual void FontRecordChanged();

    QString FontName() const { return FBaseFont->Name; }
    void SetFontName(const QString& name);
    TColor FontColor() const { return FBaseFont->Color; }
    void SetFontColor(TColor color);
    TFontPitch FontPitch() const { return FBaseFont->Pitch; }
    void SetFontPitch(TFontPitch pitch);
    int FontCharset() const { return FBaseFont->CharSet; }
    void SetFontCharset(int charset);
    bool Bold() const { return FBaseFont->Bold; }
    void SetBold(bool value);
    bool Italic() const { return FBaseFont->Italic; }
    void SetItalic(bool value);
    bool Underline() const { return FBaseFont->Underline; }
    void SetUnderline(bool value);
    bool Strikeout() const { return FBaseFont->Strikeout; }
    void SetStrikeout(bool value);
    double FontSize() const { return FBaseFont->Size; } // points
    void SetFontSize(double points);
    double FontHeight() const { return YI2U(FBaseFont->Height); }
    void SetFontHeight(double value);
    double FontWidth() const { return XI2U(FBaseFont->Width); }
    void SetFontWidth(double value);
    bool Superscript() const { return FBaseFont->Superscript; }
    void SetSuperscript(bool value);
    bool Subscript() const { return FBaseFont->Subscript; }
    void SetSubscript(bool value);
    int FontRotation() const { return FBaseFont->Rotation; }
    void SetFontRotation(int degrees);
    TFontAlign FontAlign() const { return FBaseFont->Align; }
    void SetFontAlign(TFontAlign align);
    // The realised font (realising it first when needed).
    int FontHandle();

    virtual void SetFont(const QString& name, double size);
    void AssignFont(const TFont& font);
    TSaveFont* GetBaseFont() const { return FBaseFont.get(); }
    void SetBaseFont(const TSaveFont& font);
    static std::unique_ptr<TFont> CreateFont(const QString& name, int size);
    bool PushFont();
    bool PopFont();
    bool SaveFont(int index);
    bool RestoreFont(int index);
    // Makes the base font the device font (realising it through the cache),
    // and puts the canvas's own font back.
    void SelectQPFont();
    // The base font's device font, realised but not selected.
    const QFont& RealiseQPFont();
    void SelectCanvasFont();
    // The realised fonts, by Handle - 1.
    int FontCacheCount() const { return int(FFontList.size()); }

    // ---- Pens and brushes -------------------------------------------------
    // Width >= 0: device pixels; -10000..-1: hundredths of an inch; below
    // -10000: ten-thousandths of an inch after adding 10000.
    virtual void SetPen(TColor color, TPenStyle style, int width, TPenMode mode);
    std::unique_ptr<TPen> CreatePen(TColor color, TPenStyle style, int width, TPenMode mode) const;
    // bitmap nullptr keeps the brush's pattern.
    virtual void SetBrush(TColor color, TBrushStyle style, const TBitmap* bitmap);
    static std::unique_ptr<TBrush> CreateBrush(TColor color, TBrushStyle style, const TBitmap* bitmap);

    // ---- Graphics routines ------------------------------------------------
    // The size that keeps a picture's aspect ratio; 0 for an empty picture.
    static double CalcGraphicHeight(double width, const TGraphic& graphic);
    static double CalcGraphicWidth(double height, const TGraphic& graphic);
    TPoint CreatePoint(double x, double y) const;
    TRect CreateRect(double x1, double y1, double x2, double y2) const;

    // ---- Output, implemented by output classes ------------------------------
    // Text at X (inches) on the current baseline.
    virtual void OutputCenter(const QString& text, double x) = 0;
    virtual void OutputLeft(const QString& text, double x) = 0;
    virtual void OutputRight(const QString& text, double x) = 0;
    virtual void OutputBlock(const QString& text, double x, double width) = 0;
    virtual void TabRectangle(double x1, double y1, double x2, double y2) = 0;
    // Drawing primitives; coordinates in report units, rectangles and points
    // in device pixels (CreateRect, CreatePoint).
    virtual void BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& source, TColor color) = 0;
    virtual void FloodFill(double x, double y, TColor color, TFillStyle fillStyle) = 0;
    virtual void FrameRect(const TRect& rect) = 0;
    virtual void CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source) = 0;
    virtual void FillRect(const TRect& rect) = 0;
    virtual void DrawFocusRect(const TRect& rect) = 0;
    virtual void Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                     double y4) = 0;
    virtual void Chord(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                       double y4) = 0;
    virtual void Draw(double x, double y, TGraphic* graphic) = 0;
    virtual void Ellipse(double x1, double y1, double x2, double y2) = 0;
    virtual void LineTo(double x, double y) = 0;
    virtual void MoveTo(double x, double y) = 0;
    virtual void Pie(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                     double y4) = 0;
    virtual void Polygon(const std::vector<TPoint>& points) = 0;
    virtual void Polyline(const std::vector<TPoint>& points) = 0;
    virtual void PrintBitmap(double x, double y, double scaleX, double scaleY, TBitmap* bitmap) = 0;
    virtual void PrintBitmapRect(double x1, double y1, double x2, double y2, TBitmap* bitmap) = 0;
    virtual void PrintImageRect(double x1, double y1, double x2, double y2, TStream* imageStream,
                                const QString& imageType) = 0;
    virtual void Rectangle(double x1, double y1, double x2, double y2) = 0;
    virtual void RoundRect(double x1, double y1, double x2, double y2, double x3, double y3) = 0;
    virtual void StretchDraw(const TRect& rect, TGraphic* graphic) = 0;
    virtual void TextRect(const TRect& rect, double x, double y, const QString& text) = 0;
    virtual void PrintData(const QString& value) = 0;
    virtual void PrintDataStream(TStream& stream, int bufSize) = 0;
    virtual void Start() = 0;
    virtual void Finish() = 0;

    virtual void HyperlinkChanged() {}
    // Slots 1 to 10 of graphics an output class stores once and refers to
    // again: RegisterGraphic keeps the graphic output last under the index,
    // ReuseGraphic makes the next graphic output refer to it.
    virtual void UnregisterGraphic(int /*index*/) {}
    virtual void RegisterGraphic(int /*index*/) {}
    virtual void ReuseGraphic(int /*index*/) {}

    // ---- Plain settings -------------------------------------------------
    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& title) { FTitle = title; }
    int FirstPage() const { return FFirstPage; }
    void SetFirstPage(int page) { FFirstPage = page; }
    int LastPage() const { return FLastPage; }
    void SetLastPage(int page) { FLastPage = page; }
    const QString& Selection() const { return FSelection; }
    void SetSelection(const QString& selection) { FSelection = selection; }
    const QString& StatusFormat() const { return FStatusFormat; }
    void SetStatusFormat(const QString& format) { FStatusFormat = format; }
    TStringList& StatusText() { return FStatusText; }
    TStringList& MacroData() { return FMacroData; }
    // The label that shows the status line (not owned; cleared when it goes).
    TComponent* StatusLabel() const { return FStatusLabel; }
    void SetStatusLabel(TComponent* label);
    int TabShade() const { return FTabShade; }
    void SetTabShade(int shade) { FTabShade = shade; }
    TColor TabColor() const { return FTabColor; }
    void SetTabColor(TColor color) { FTabColor = color; }
    TColor BoxLineColor() const { return FBoxLineColor; }
    void SetBoxLineColor(TColor color) { FBoxLineColor = color; }
    TTabJustify TabJustify() const { return FTabJustify; }
    void SetTabJustify(TTabJustify justify) { FTabJustify = justify; }
    TTabJustify ParaJustify() const { return FParaJustify; }
    void SetParaJustify(TTabJustify justify) { FParaJustify = justify; }
    double FixedTabWidth() const { return FFixedTabWidth; }
    void SetFixedTabWidth(double value) { FFixedTabWidth = value; }
    bool TransparentBitmaps() const { return FTransparentBitmaps; }
    void SetTransparentBitmaps(bool value) { FTransparentBitmaps = value; }
    bool IgnoreQPTF() const { return FIgnoreQPTF; }
    void SetIgnoreQPTF(bool value) { FIgnoreQPTF = value; }
    bool UseDrawText() const { return FUseDrawText; }
    void SetUseDrawText(bool value) { FUseDrawText = value; }
    bool NoNTColorFix() const { return FNoNTColorFix; }
    void SetNoNTColorFix(bool value) { FNoNTColorFix = value; }
    bool NoBufferLine() const { return FNoBufferLine; }
    void SetNoBufferLine(bool value) { FNoBufferLine = value; }
    double TextFieldWidth() const { return FTextFieldWidth; }
    void SetTextFieldWidth(double value) { FTextFieldWidth = value; }
    int CurrentPass() const { return FCurrentPass; }
    void SetCurrentPass(int value) { FCurrentPass = value; }
    int TotalPasses() const { return FTotalPasses; }
    void SetTotalPasses(int value) { FTotalPasses = value; }
    const QString& HyperLink() const { return FHyperLink; }
    bool Threaded() const { return FThreaded; }
    void SetThreaded(bool value) { FThreaded = value; }

protected:
    void AssignTo(TPersistent* dest) const override;
    void Notification(TComponent* component, TOperation operation) override;

    // The run state: raise unless printing (EAbort after Abort), and unless
    // not printing.
    void CheckPrinting() const;
    void CheckNotPrinting() const;
    void ApplyOrientation();
    // Prints a piece of text at the cursor, or into the stop Tab reached.
    void PrintSegment(const QString& text);

    // The fields below are shared with the output classes.
    std::unique_ptr<TTabList> FCurrentTabList;
    std::array<std::unique_ptr<TPosition>, kSaveSlots> FSavePosArr;
    std::array<std::unique_ptr<TTabList>, kSaveSlots> FSaveTabsArr;
    std::array<std::unique_ptr<TSaveFont>, kSaveSlots> FSaveFontArr;
    std::vector<TPosition> FPosStack;
    std::vector<TSaveFont> FFontStack;
    std::vector<TTabList> FTabsStack;
    bool FBlockTextOp = false;
    std::unique_ptr<TSaveFont> FBaseFont;
    std::vector<TSaveFont> FFontList; // realised fonts; Handle = index + 1
    std::vector<TCanvas::TDeviceFont> FRealisedFonts;
    TNotifyEvent FFontSaveOnChange;
    bool FFontHooked = false;
    std::shared_ptr<int> FAlive = std::make_shared<int>(0); // expires with this canvas
    bool FBaseFontChanged = true;
    bool FDisableFontChange = false;
    TCanvas::TDeviceFont FSaveCanvasFont;
    uint8_t FValidDestination = 0x1F; // output modes 0 to 4
    int FJobPages = 9999;
    TStringList FMacroData;
    TTabJustify FParaJustify = TTabJustify::tjNone;
    double FFixedTabWidth = 0.5;
    TFrameMode FFrameMode = TFrameMode::fmInside;
    TTab* FCurrentTab = nullptr;
    bool FOnTab = false;
    bool FBeforeTabs = false;
    int FAddX = 0; // device pixels added to every converted position
    int FAddY = 0;
    bool FNoBufferLine = false;
    bool FNoNTColorFix = false;
    bool FUseDrawText = false;
    double FLeftWaste = 0; // inches
    double FRightWaste = 0;
    double FTopWaste = 0;
    double FBottomWaste = 0;
    double FAscentHeight = 0; // inches
    double FDescentHeight = 0;
    double FLineHeight = 0;
    QString FOutputName;
    int FPrinterIndex = -1;
    double FLeftMargin = 0; // margin edges, inches from the sheet's edges
    double FRightMargin = 0;
    double FTopMargin = 0;
    double FBottomMargin = 0;
    double FLeftSection = 0; // section edges, inches
    double FRightSection = 0;
    double FTopSection = 0;
    double FBottomSection = 0;
    double FCursorXPos = 0; // inches; Y is the baseline of the current line
    double FCursorYPos = 0;
    double FColumnWidth = 0; // inches: the pitch of columns, and their gap
    double FColumnBetween = 0;
    bool FThreaded = false;
    QDateTime FReportDateTime;
    TTabJustify FTabJustify = TTabJustify::tjNone;
    int FCurrentPage = 0;
    bool FPageInvalid = false;
    int FXDPI = 300;
    int FYDPI = 300;
    int FLineNum = 0;
    int FColumnNum = 1;
    int FColumns = 1;
    QString FDevice; // printer identification
    QString FDriver;
    QString FPort;
    bool FAborted = false;
    bool FPrinting = false;
    double FOriginX = 0; // report units
    double FOriginY = 0;
    int FFirstPage = 1;
    int FLastPage = 9999;
    QString FSelection;
    TComponent* FStatusLabel = nullptr;
    QString FStatusFormat;
    TStringList FStatusText;
    TLineHeightMethod FLineHeightMethod = TLineHeightMethod::lhmFont;
    int FLinesPerInch = 6;
    TPrintUnits FUnits = TPrintUnits::unInch;
    double FUnitsFactor = 1.0;
    double FLeftMarginWidth = 0; // margins as last set, report units
    double FRightMarginWidth = 0;
    double FTopMarginWidth = 0;
    double FBottomMarginWidth = 0;
    int FTabShade = 0;
    TColor FTabColor = clBlack;
    TColor FBoxLineColor = clBlack;
    QString FTitle;
    TBKMode FTextBKMode = TBKMode::bkTransparent;
    TOrientation FOrientation = TOrientation::poDefault;
    TOrientation FNewOrientation = TOrientation::poDefault;
    int FCopies = 1;
    double FScaleX = 100; // percent
    double FScaleY = 100;
    double FZoom = 100;
    double FNoPrinterPageHeight = 11; // inches
    double FNoPrinterPageWidth = 8.5;
    bool FTransparentBitmaps = false;
    bool FIgnoreQPTF = false;
    int FCurrentPass = 1;
    int FTotalPasses = 1;
    double FTextFieldWidth = 0;
    int FPageNumOffset = 0;
    TQPBaseDevice* FLocalDevice = nullptr;
    QString FHyperLink;

    // A begin-page or end-page handler.
    struct TReportEvent {
        const void* Object = nullptr;
        QString Method;
        TNotifyEvent Handler;
    };
    std::vector<TReportEvent> FBeginPageList;
    std::vector<TReportEvent> FEndPageList;
    std::vector<TLineList> FVLineList; // buffered box lines of the page
    std::vector<TLineList> FHLineList;
    double FLastLineX = 0; // report units, origin included: the line buffer's pen
    double FLastLineY = 0;

private:
    void SetLeftSectionInches(double inches);
    void SetRightSectionInches(double inches);
    void SetTopSectionInches(double inches);
    void SetBottomSectionInches(double inches);
    double DevicePageWidthInches();
    double DevicePageHeightInches();
    void SetCanvasFontStyle(TFontStyle style, bool on);
    int PenWidthPixels(int width) const;
    void ApplyRequestedOrientation();
    TDateTime ReportDateTimeValue() const;
    double FixedTabStep() const;
    static int WholeLines(double distance, double lineHeight);
    std::vector<TReportEvent>& EventList(TReportEventType type);
    void DrawTabBoxLine(bool flag, int width, const TPen& savedPen, double x, double y, double dx, double dy);
    void AddBufferedLine(std::vector<TLineList>& list, double c, double p1, double p2);
    void DrawLineList(std::vector<TLineList>& list, bool vertical);
};
