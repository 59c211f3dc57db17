#pragma once
// QpDefine: what every unit of the report writer shares: the component base
// TQpComponent, the enumerations and small records the canvas, the devices,
// the snapshot writer and the run controller exchange, the table of standard
// paper sizes, the replaceable translation hook every message passes through,
// the exception class ESheetcaster, colour and character-set routines, and
// the named kernel objects (events, mutexes, shared memory) of the
// cross-process data channel.
#include "platform/graphics/Graphics.h"
#include "platform/objects/Component.h"
#include "platform/os/SharedObjects.h"
#include "platform/rtl/Exceptions.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

class TStream;

// ---------------------------------------------------------------------------
// Component base.

// Base of the report writer's components that an application places on a
// form. Version is fixed: writing it (from a stream, say) changes nothing.
class TQpComponent : public TComponent {
public:
    explicit TQpComponent(TComponent* owner);
    const QString& Version() const { return FVersion; }
    void SetVersion(const QString& value);

private:
    QString FVersion;
};

class TQPBaseComponent : public TQpComponent {
public:
    using TQpComponent::TQpComponent;
};

// Registers TQpComponent, with its published Version, and TQPBaseComponent
// (TComponent must be registered); a second call does nothing. Every unit
// that registers a class derived from them calls it first.
void RegisterQpComponentClasses();

// One string held as an object, for lists of objects.
class TQPStringObject {
public:
    explicit TQPStringObject(const QString& initValue) : Value(initValue) {}
    QString Value;
};

// ---------------------------------------------------------------------------
// Enumerations (one byte each; the ordinals are written into streams).

enum class TDeviceState : uint8_t { dsNone, dsIC, dsDC };
enum class TAccuracyMethod : uint8_t { amPositioning, amAppearance };
enum class TMarginMethod : uint8_t { mmScaled, mmFixed };
enum class TRulerType : uint8_t { rtNone, rtHorizCm, rtVertCm, rtBothCm, rtHorizIn, rtVertIn, rtBothIn };
enum class TPrintJustify : uint8_t { pjCenter, pjLeft, pjRight, pjBlock };
// The first four share their ordinals with TPrintJustify.
enum class TTabJustify : uint8_t { tjCenter, tjLeft, tjRight, tjBlock, tjNone };
enum class TPrintUnits : uint8_t { unInch, unMM, unCM, unPoint, unUser };
// Report units per inch of the named units (1, 25.4, 2.54, 72); unUser keeps
// the caller's own factor.
double UnitsFactorOf(TPrintUnits units, double userFactor);
enum class TLineHeightMethod : uint8_t { lhmLinesPerInch, lhmFont, lhmUser };
enum class TBKMode : uint8_t { bkTransparent, bkOpaque };
enum class TStreamMode : uint8_t { smMemory, smFile, smUser, smTempFile };
enum class TOrientation : uint8_t { poPortrait, poLandScape, poDefault };
enum class TDuplex : uint8_t { dupSimplex, dupVertical, dupHorizontal };
enum class TReportEventType : uint8_t { reBeginPage, reEndPage };
enum class TFontAlign : uint8_t { faBaseline, faTop, faBottom };
enum class TReportDest : uint8_t { rdPreview, rdPrinter, rdFile };
enum class TSystemSetup : uint8_t {
    ssAllowSetup,
    ssAllowCopies,
    ssAllowCollate,
    ssAllowDuplex,
    ssAllowDestPreview,
    ssAllowDestPrinter,
    ssAllowDestFile,
    ssAllowPrinterSetup,
    ssAllowPreviewSetup,
};
enum class TSystemOption : uint8_t {
    soUseFiler,
    soWaitForOK,
    soShowStatus,
    soAllowPrintFromPreview,
    soAllowSaveFromPreview,
    soPreviewModal,
    soNoGenerate,
};
enum class TFrameMode : uint8_t { fmInside, fmSplit, fmOutside };
enum class TQPDataType : uint8_t {
    dtString,
    dtInteger,
    dtBoolean,
    dtFloat,
    dtCurrency,
    dtBCD,
    dtDate,
    dtTime,
    dtDateTime,
    dtBlob,
    dtMemo,
    dtGraphic,
    dtInt64,
};
// The text macros of the canvas, ordinals 0 to 35.
enum class TMacroID : uint8_t {
    midCurrDateShort,
    midCurrDateLong,
    midCurrDateUS,
    midCurrDateInter,
    midCurrTimeShort,
    midCurrTimeLong,
    midCurrTimeAMPM,
    midCurrTime24,
    midFirstPage,
    midLastPage,
    midTotalPages,
    midCurrentPage,
    midRelativePage,
    midPrinterName,
    midDriverName,
    midPortName,
    midUser01,
    midUser02,
    midUser03,
    midUser04,
    midUser05,
    midUser06,
    midUser07,
    midUser08,
    midUser09,
    midUser10,
    midUser11,
    midUser12,
    midUser13,
    midUser14,
    midUser15,
    midUser16,
    midUser17,
    midUser18,
    midUser19,
    midUser20,
};

// A set of an enumeration, bit n standing for ordinal n, stored in Bits (the
// width the set has in streams).
template <class E, class Bits> class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            Include(v);
    }
    constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
    constexpr void Include(E v) { FBits = Bits(FBits | Bit(v)); }
    constexpr void Exclude(E v) { FBits = Bits(FBits & ~Bit(v)); }
    constexpr Bits ToBits() const { return FBits; }
    static constexpr TEnumSet FromBits(Bits bits)
    {
        TEnumSet s;
        s.FBits = bits;
        return s;
    }
    friend constexpr bool operator==(TEnumSet, TEnumSet) = default;

private:
    static constexpr Bits Bit(E v) { return Bits(Bits(1) << unsigned(v)); }
    Bits FBits = 0;
};

using TSystemSetups = TEnumSet<TSystemSetup, uint16_t>;
using TSystemOptions = TEnumSet<TSystemOption, uint8_t>;

// ---------------------------------------------------------------------------
// Events.

class TBitmap;
// May change the page number; false ends the run.
using TPrintPageEvent = std::function<bool(TObject* sender, int& pageNum)>;
using TDecodeImageEvent =
    std::function<void(TObject* sender, TStream* imageStream, const QString& imageType, TBitmap* bitmap)>;

// ---------------------------------------------------------------------------
// Records and small classes. Lengths are inches unless said otherwise.

struct TSaveBrush {
    TColor Color = clBlack;
    TBrushStyle Style = TBrushStyle::bsSolid;
    bool Bitmap = false; // a pattern bitmap is in use
};

struct TSavePen {
    TColor Color = clBlack;
    TPenMode Mode = TPenMode::pmCopy;
    TPenStyle Style = TPenStyle::psSolid;
    double Width = 0;
};

struct TFormatPara {
    TPrintJustify Justify = TPrintJustify::pjCenter;
    double FirstIndent = 0;
    double LeftIndent = 0;
    double RightIndent = 0;
};

struct TFormatStyle {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strikeout = false;
    bool Subscript = false;
    bool Superscript = false;
    TFontPitch Pitch = TFontPitch::fpDefault;
    TColor Color = clBlack;
};

// One saved cursor position.
class TPosition {
public:
    TPosition() = default;
    TPosition(double x, double y) : X(x), Y(y) {}
    void Assign(const TPosition& source) { *this = source; }
    double X = 0;
    double Y = 0;
};

// A tab stop.
class TTab {
public:
    void Assign(const TTab& source) { *this = source; }
    double Pos = 0; // from the left paper edge of the first column
    TPrintJustify Justify = TPrintJustify::pjCenter;
    double Width = 0;  // 0 = no box
    double Margin = 0; // inner margin on both sides
    bool Left = false; // which box lines the tab draws
    bool Right = false;
    bool Top = false;
    bool Bottom = false;
    uint8_t Shade = 0; // percent of the tab colour filling the box; 0 = none
    uint16_t RefCount = 0;
};

// The font every report canvas starts with, and every device's canvas
// before a report sets one: text measured before any font is set is
// measured in it.
inline const QString kBaseFontName = QStringLiteral("Arial");
constexpr double kBaseFontSize = 10; // points

// A font as the canvas describes it, independent of any device.
class TSaveFont {
public:
    void Assign(const TSaveFont& source) { *this = source; }
    QString Name;
    TColor Color = clBlack;
    TFontPitch Pitch = TFontPitch::fpDefault;
    double Size = 0;   // points
    double Height = 0; // inches
    double Width = 0;  // inches; 0 = the font's own width
    double Ascent = 0; // inches; these three are filled when the font is realised
    double Descent = 0;
    double InternalLeading = 0;
    bool Bold = false;
    bool Underline = false;
    bool Italic = false;
    bool Strikeout = false;
    bool Subscript = false;
    bool Superscript = false;
    int16_t Rotation = 0; // degrees counter-clockwise
    TFontAlign Align = TFontAlign::faBaseline;
    uint16_t Index = 0; // position of the realised font in the canvas's font cache
    int Handle = 0;     // the realised font; 0 = not realised
    int32_t CharSet = DEFAULT_CHARSET;
};

// A state of the in-text formatting codes; Prev is the enclosing state (not
// owned: the formatting code that pushes a state keeps the chain).
class TFormatState {
public:
    void Assign(const TFormatState& source) { *this = source; }
    QString Name;
    double Size = 0; // points
    TFormatStyle Style;
    TFormatPara Para;
    TFormatState* Prev = nullptr;
};

// One buffered box line: P1 <= P2 along it, C1 across it (report units with
// the origin included) and the pen it was drawn with.
class TLineList {
public:
    void Assign(const TLineList& source) { *this = source; }
    double P1 = 0;
    double P2 = 0;
    double C1 = 0;
    TColor Color = clBlack;
    TPenMode Mode = TPenMode::pmCopy;
    TPenStyle Style = TPenStyle::psSolid;
    int Width = 1; // device pixels
};

// ---------------------------------------------------------------------------
// Paper table: the Win32 paper numbers (DMPAPER_*) with their sizes in
// inches, portrait. Row 0 is "Default" (-1), row 1 "Custom" (256, the Win32
// user-defined size); both have no size.

struct TPaperSize {
    const char16_t* Name;
    int32_t PaperCode;
    double Width;  // inches
    double Height; // inches
};

constexpr int kPaperSizeCount = 43;
extern const std::array<TPaperSize, kPaperSizeCount> PaperSizes;
// The row of a paper number, or nullptr.
const TPaperSize* FindPaperSize(int paperCode);

// ---------------------------------------------------------------------------
// Translation hook and errors.

RTL_EXCEPTION_CLASS(ESheetcaster, Exception);

// Every message, caption and fixed text of the report writer passes through
// TranslateHook before it is shown, stored or raised. It holds
// DefaultTranslate (the text unchanged) unless an application replaces it.
using TTranslateProc = std::function<void(const QString& text, QString& result)>;
extern TTranslateProc TranslateHook;
void DefaultTranslate(const QString& text, QString& result);
// The text through TranslateHook (unchanged when the hook is empty).
QString Translate(const QString& text);

// Raises ESheetcaster with the message as given; callers translate it first.
[[noreturn]] void RaiseError(const QString& message);

// ---------------------------------------------------------------------------
// Named kernel objects. The full name of an object is NamedObjectPrefix
// followed by the name; the prefix is empty in this program.

extern QString NamedObjectPrefix;

// Open the object of that name, creating it (an event not signalled, a mutex
// not owned) when none exists. An empty full name gives 0 at once; failures
// give 0 and raise nothing.
TSharedHandle OpenSharedEvent(const QString& name);       // creates auto-reset
TSharedHandle OpenSharedManualEvent(const QString& name); // creates manual-reset
TSharedHandle OpenSharedMutex(const QString& name);
// Opens the memory block of that name, or creates one of size bytes. An
// empty name makes an unnamed block. Raises EOSError when the block can be
// neither opened nor made (a size of 0 only opens).
TSharedHandle OpenSharedMemory(const QString& name, int size);
// The whole block, readable and writable; nullptr on failure.
void* MapSharedMemory(TSharedHandle mapping);
void CloseSharedEvent(TSharedHandle event);
void CloseSharedMutex(TSharedHandle mutex); // does not release it
void CloseSharedMemory(TSharedHandle mapping, void* view);

// ---------------------------------------------------------------------------
// Colours, character sets and strings.

// Blends a colour towards white: shade 100 (or more) gives the colour, 0
// white. Returns an RGB colour.
TColor ShadeToColor(TColor color, uint8_t shade);

// The Win32 character set of the system's Ansi code page.
int CodePageCharset();
// Charset unchanged, except DEFAULT_CHARSET (1), which becomes the character
// set of the user's locale.
int LocaleCharset(int charset);
// The user's locale as a Windows locale number (1033 for English (United
// States), ...); 1033 when the locale has no Windows number here.
int UserDefaultLCID();

QString AnsiUpper(const QString& text);
int AnsiCompare(const QString& s1, const QString& s2);  // without regard to case
int AnsiPosOf(const QString& subStr, const QString& s); // 1-based; 0 when absent
// Writes the UTF-16 code units of text, 2 bytes each (little-endian), with
// no length and no terminator.
void StreamWriteString(TStream& stream, const QString& text);
