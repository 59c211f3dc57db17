#pragma once
// QpBars: barcodes printed on a report canvas. TQPBarsBase keeps the
// symbol's geometry (anchor, justification, rotation, bar width and height,
// readable text above or below), draws strings of width codes as bars and
// spaces and prints the readable text; each symbology supplies its character
// set, patterns, check character and the order of its patterns.
//
// Sizes and positions are report units of the canvas. A pattern is a string
// of digits, one per element, alternating bar and space; GetBarWidth maps a
// digit to the element's size. In Rot0 the symbol runs left to right from
// Left with its top at Top; the rotations turn it counter-clockwise about the
// anchor (in Rot90 and Rot180 it extends towards smaller coordinates, and
// the element run follows the canvas's Y axis in Rot90 and Rot270).
//
// Print without a canvas and without an OverrideBar or OverrideText handler
// raises ESheetcaster "TBaseReport object not defined.  Printing Aborted."
// With a handler the host draws: bars go to OverrideBar (none are drawn when
// only OverrideText is set) and no readable text is printed. The canvas's
// brush and pen come back after a print, also after an exception.
#include "report/print/QpBase.h"

#include <QString>

#include <functional>
#include <memory>

enum class TBarCodeRotation : uint8_t { Rot0, Rot90, Rot180, Rot270 };
enum class TCodePage128 : uint8_t { cpCodeA, cpCodeB, cpCodeC };

// Draws one bar (report units) in the host's place.
using TOverrideBar = std::function<void(double x1, double y1, double x2, double y2)>;
using TOverrideText = std::function<void(QString& text)>;

class TQPBarsBase {
public:
    explicit TQPBarsBase(TBaseReport* baseRpt);
    virtual ~TQPBarsBase();
    TQPBarsBase(const TQPBarsBase&) = delete;
    TQPBarsBase& operator=(const TQPBarsBase&) = delete;

    virtual void Print() = 0;
    // Sets the anchor in the current justification and the top, then prints.
    void PrintXY(double x, double y);

    // ---- Horizontal geometry ---------------------------------------------------
    double Position() const { return FPosition; }
    void SetPosition(double value) { FPosition = value; }
    TPrintJustify BarCodeJustify() const { return FBarCodeJustify; }
    // Keeps the symbol where it is: the anchor moves to the new edge.
    void SetBarCodeJustify(TPrintJustify value);
    TBarCodeRotation BarCodeRotation() const { return FBarCodeRotation; }
    void SetBarCodeRotation(TBarCodeRotation value) { FBarCodeRotation = value; }
    double Left() const;
    void SetLeft(double value);
    double Right() const;
    void SetRight(double value);
    double Center() const;
    void SetCenter(double value);
    double Width() const { return GetWidth(); }

    // ---- Vertical geometry ---------------------------------------------------
    double Top() const { return FTop; }
    void SetTop(double value) { FTop = value; }
    double Bottom() const;
    void SetBottom(double value);
    double BarTop() const;
    void SetBarTop(double value);
    double BarBottom() const;
    void SetBarBottom(double value);
    // The canvas's line height when the readable text is printed, else 0.
    double ReadableHeight() const;
    double Height() const { return FBarHeight + ReadableHeight(); }

    // ---- Symbol ----------------------------------------------------------------
    TBaseReport* BaseReport() const { return FBaseReport; }
    void SetBaseReport(TBaseReport* report) { FBaseReport = report; }
    const QString& Text() const { return FText; }
    // Keeps the characters the symbology accepts.
    void SetText(const QString& value) { DoSetText(value); }
    QString Checksum() const;
    double BarWidth() const { return FBarWidth; }
    void SetBarWidth(double value) { FBarWidth = value; }
    double BarHeight() const { return FBarHeight; }
    void SetBarHeight(double value) { FBarHeight = value; }
    double WideFactor() const { return FWideFactor; }
    void SetWideFactor(double value) { FWideFactor = value; }
    bool UseChecksum() const { return FUseChecksum; }
    void SetUseChecksum(bool value) { DoSetUseChecksum(value); }
    bool PrintReadable() const { return FPrintReadable; }
    void SetPrintReadable(bool value) { DoSetPrintReadable(value); }
    bool PrintChecksum() const { return FPrintChecksum; }
    void SetPrintChecksum(bool value) { FPrintChecksum = value; }
    bool PrintTop() const { return FPrintTop; }
    void SetPrintTop(bool value) { FPrintTop = value; }
    TPrintJustify TextJustify() const { return FTextJustify; }
    void SetTextJustify(TPrintJustify value) { FTextJustify = value; }
    // The characters actually encoded: data and check.
    QString ReadableText() const;

    TOverrideBar OverrideBar;
    TOverrideText OverrideText;

protected:
    virtual void DoSetText(const QString& value);
    virtual void PrintReadableText();
    virtual double GetWidth() const { return 0; }
    virtual void DoSetUseChecksum(bool value) { FUseChecksum = value; }
    virtual void GetCharPattern(QChar ch, QString& pattern) const = 0;
    virtual void GetChecksum(QString& value) const { value.clear(); }
    // The size of an element from its width code; unchanged values carry
    // over from the element before.
    virtual void GetBarWidth(QChar code, double& width, double& height, double& top) const = 0;
    virtual void GetReadableText(QString& value) const { value = FText; }
    virtual void DoSetPrintReadable(bool value) { FPrintReadable = value; }
    virtual bool IsValidChar(QChar ch) const;

    // The print frame around a symbology's drawing: the canvas check, the
    // black brush and pen, and the canvas's own given back afterwards.
    void PrintFrame(const std::function<void()>& draw);
    // Prints, in the print frame, the start pattern, the pattern of each
    // character of ReadableText, the stop pattern and the readable text.
    void PrintCharPatterns(const QString& start, const QString& stop, bool addGap);
    // Draws the elements of a pattern from CurrX along the symbol.
    void DrawPattern(const QString& pattern, bool barsOnOdd, bool addGap);
    void DrawBar(double x1, double y1, double x2, double y2);
    // The base readable text of t along the symbol.
    void PrintReadableLine(const QString& t);
    bool Rotated180() const; // Rot90 or Rot180: the symbol runs backwards
    bool Upside() const;     // Rot180 or Rot270: the symbol hangs from Top

    double FWideFactor = 0;
    double FBarWidth = 0.01;
    double FBarHeight = 0.5;
    double FPosition = 0;
    double FTop = 0;
    TBaseReport* FBaseReport = nullptr;
    QString FText;
    double CurrX = 0;
    double CurrY = 0;
    bool FUseChecksum = false;
    int Modulas = 0;
    bool FPrintReadable = true;
    bool FPrintChecksum = false;
    bool FPrintTop = false;
    TPrintJustify FTextJustify = TPrintJustify::pjCenter;
    TPrintJustify FBarCodeJustify = TPrintJustify::pjLeft;
    TBarCodeRotation FBarCodeRotation = TBarCodeRotation::Rot0;
    bool IsOverride = false;
};

// Interleaved 2 of 5: digits in pairs, the first of each pair in the bars,
// the second in the spaces; an odd count gets a leading 0.
class TQPBars2of5 : public TQPBarsBase {
public:
    explicit TQPBars2of5(TBaseReport* baseRpt);
    void Print() override;

protected:
    void PrintReadableText() override;
    double GetWidth() const override;
    void GetCharPattern(QChar ch, QString& pattern) const override;
    void GetChecksum(QString& value) const override;
    void GetBarWidth(QChar code, double& width, double& height, double& top) const override;
    void GetReadableText(QString& value) const override;
    bool IsValidChar(QChar ch) const override;
};

// Code 39, with the full-ASCII extension when Extended is set.
class TQPBarsCode39 : public TQPBarsBase {
public:
    explicit TQPBarsCode39(TBaseReport* baseRpt);
    void Print() override;
    bool Extended() const { return FExtended; }
    void SetExtended(bool value) { FExtended = value; }
    // Text with each character replaced by its full-ASCII representation.
    QString ExtendedText() const;

protected:
    double GetWidth() const override;
    void GetCharPattern(QChar ch, QString& pattern) const override;
    void GetChecksum(QString& value) const override;
    void GetBarWidth(QChar code, double& width, double& height, double& top) const override;
    void GetReadableText(QString& value) const override;
    bool IsValidChar(QChar ch) const override;

private:
    bool FExtended = false;
};

// POSTNET: 5, 9 or 11 digits and a check digit in half and full bars; and
// the facing identification marks.
class TQPBarsPostNet : public TQPBarsBase {
public:
    explicit TQPBarsPostNet(TBaseReport* baseRpt);
    void Print() override;
    // One mark with its top-left corner at (x, y).
    void PrintFimA(double x, double y);
    void PrintFimB(double x, double y);
    void PrintFimC(double x, double y);

protected:
    void DoSetText(const QString& value) override;
    double GetWidth() const override;
    void GetCharPattern(QChar ch, QString& pattern) const override;
    void GetChecksum(QString& value) const override;
    void GetBarWidth(QChar code, double& width, double& height, double& top) const override;
    void GetReadableText(QString& value) const override;
    bool IsValidChar(QChar ch) const override;

private:
    void PrintFim(const QString& pattern, double x, double y);
    double SpaceWidth() const; // report units
};

// Code 128. Text holds characters 0 to 127 and the function characters
// #241 FNC1, #242 FNC2, #243 FNC3, #244 FNC4, #245 CODE A, #246 CODE B,
// #247 CODE C and #248 SHIFT. With Optimize the encoder picks the start set
// that gives the fewest values and ignores #245 to #248.
class TQPBarsCode128 : public TQPBarsBase {
public:
    explicit TQPBarsCode128(TBaseReport* baseRpt);
    void Print() override;
    TCodePage128 CodePage() const { return FCodePage; }
    void SetCodePage(TCodePage128 value) { FCodePage = value; }
    TCodePage128 CodePageUsed() const;
    bool Optimize() const { return FOptimize; }
    void SetOptimize(bool value) { FOptimize = value; }
    // The symbol values of Text (without start, check and stop).
    QList<int> Encoded() const;

protected:
    double GetWidth() const override;
    void GetCharPattern(QChar ch, QString& pattern) const override;
    void GetChecksum(QString& value) const override;
    void GetBarWidth(QChar code, double& width, double& height, double& top) const override;
    bool IsValidChar(QChar ch) const override;

private:
    QList<int> EncodeWith(TCodePage128 start, int limit) const;
    QList<int> Encode(TCodePage128& used) const;

    TCodePage128 FCodePage = TCodePage128::cpCodeA;
    bool FOptimize = true;
};

// UPC-A: 11 digits and a check digit; guard bars run the full height.
class TQPBarsUPC : public TQPBarsBase {
public:
    explicit TQPBarsUPC(TBaseReport* baseRpt);
    void Print() override;

protected:
    void DoSetText(const QString& value) override;
    void DoSetUseChecksum(bool value) override;
    void PrintReadableText() override;
    double GetWidth() const override;
    void GetCharPattern(QChar ch, QString& pattern) const override;
    void GetChecksum(QString& value) const override;
    void GetBarWidth(QChar code, double& width, double& height, double& top) const override;
    void GetReadableText(QString& value) const override;
    bool IsValidChar(QChar ch) const override;
    // The readable digits' font size (points) that fits the symbol.
    virtual double FitFontSize();
    bool IsEAN() const { return ValidLen == 12; }

    bool PrintingGuard = false;
    int ValidLen = 11;
};

// EAN-13: 12 digits and a check digit; the first digit selects the L and G
// sets of the left half.
class TQPBarsEAN : public TQPBarsUPC {
public:
    explicit TQPBarsEAN(TBaseReport* baseRpt);
};
