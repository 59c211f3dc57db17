#pragma once
// The calculation behind "Calculate Std Tolerance", shared by the gauge and
// the workpiece process windows:
//   A  thread gauges get the family's default angle and starts;
//   B  a press that lifts the button only unlocks the window;
//   C  the window's texts go into the working set and the record is cleared;
//   D  the family's road asks for what is missing and runs its calculator;
//   E  on success the window locks and shows the results.
// A failed or cancelled road releases the button and leaves the window as
// it was; so does an exception, which then goes on to the event boundary.
//
// The ISO metric road and the Special road (no calculator) are built in.
// The other families' roads are installed with SetFamilyCalculation; a
// family without one releases the button without a message.
#include "app/core/Ucalibretype.h"
#include "calc/Ucalcconv.h"
#include "calc/Utollerance.h"

class DISPLAY;
class NCLIST;
class TCustomForm;
class TEdit;
class TSpeedButton;

// The controls of a process window that the calculation reads and writes.
struct TProcessControls {
    TEdit* dNominale = nullptr; // diameter (bound length)
    TEdit* dPasso = nullptr;    // pitch or module (bound length)
    TEdit* dbAngolo = nullptr;  // thread angle, degrees
    TEdit* dbSAL = nullptr;     // semi-angles, degrees
    TEdit* dbSAR = nullptr;
    TEdit* dbN1 = nullptr; // number of starts
    TEdit* dbTollServ = nullptr;
    TEdit* dbDesignazione = nullptr;
    TSpeedButton* sbCalcTol = nullptr;
    NCLIST* ValueList = nullptr; // the window's bound lengths and its readout
    // The window's flag that keeps its change handler from reading the
    // bound edits back while they are rewritten; null for none.
    bool* Refreshing = nullptr;
};

// What a process window offers the calculation.
class TProcessWindow {
public:
    virtual ~TProcessWindow();
    virtual TCustomForm* Form() = 0;
    virtual const TProcessControls& ProcessControls() const = 0;
    // Unlocks (true) or locks (false) inputs and results.
    virtual void SetDefaults(bool enable) = 0;
    // Puts the record's values into the bound result edits.
    virtual void StoreResults(TOLLERANCE record) = 0;
    // The "American tolerance" option of the picker that chose the gauge
    // type (the gauge picker's unless a window says otherwise).
    virtual bool AmericanTolerance() const;
};

// The unit of a diameter or pitch text in the working set: as typed in the
// window's unit, or as a calculator wrote it in its own unit.
enum class TTextUnit { Window, Millimetre, Inch };

// The working set of one calculation.
struct TCalcWork {
    CALIBRETYPE& Type; // the main window's current gauge type
    TProcessWindow& Window;
    DISPLAY& Readout; // the readout of the window's length list
    TCalcText Diameter;
    TCalcText Pitch;
    TCalcText Angle;
    TCalcText Tolerance;
    TCalcText Designation;
    TCalcText Class;
    TCalcText InchDiameter; // inch diameter text of the ANSI/ASME plain gauges
    TOLLERANCE Record;
    // Step E stores a diameter or pitch text of a calculator's unit in mm
    // and shows it in the window's unit.
    TTextUnit DiameterUnit = TTextUnit::Window;
    TTextUnit PitchUnit = TTextUnit::Window;
};

// A family's Step D: true when the record and texts are filled (Step E
// follows), false to release the button.
using TFamilyCalculation = bool (*)(TCalcWork& work);
// Installs (or, with null, removes) the road of a family.
void SetFamilyCalculation(int family, TFamilyCalculation calculation);

// The click of "Calculate Std Tolerance" (the button has already toggled).
void CalcToleranceClick(TProcessWindow& window, CALIBRETYPE& type);

// The shared parts of SetDefaults and StoreResults: enables or disables the
// inputs and results of the window and fills the empty angle and starts of
// thread gauges; writes the record into the bound result edits (major and
// minor diameters and the pitch tolerance only while their page's tab
// shows).
void SetProcessDefaults(TCustomForm* window, const TProcessControls& controls, const CALIBRETYPE& type,
                        bool enable);
void StoreProcessResults(TCustomForm* window, NCLIST& values, const TOLLERANCE& record);

// "Measure Gage" (workpiece false) and "Measure Piece" (true): diameter,
// pitch, starts and angles, then the gauge's Go and No-go ranges or the
// workpiece limits go to the main window's measuring tab, which then shows;
// the window closes. An angle that is no number raises EConvertError before
// anything is copied.
void MeasureHandOver(TCustomForm* window, const TProcessControls& controls, bool workpiece);

// The length a text gives through a readout, in mm; the empty value when
// the text is empty or no number.
double ReadLength(DISPLAY& readout, const QString& text);
// The number a text gives through a readout, in the readout's unit; the
// empty value when the text is empty or no number.
double ReadLengthInUnit(DISPLAY& readout, const QString& text);
// The workpiece deviations typed in the entry dialog, in µm: typed in µm,
// in mm (the dialog's "mm" choice) or in inch (the window's inch unit).
// false when either text is empty or no number.
enum class TDeviationUnit { Micron, Millimetre, Inch };
bool ReadDeviations(const QString& upperText, const QString& lowerText, TDeviationUnit unit, double& upper,
                    double& lower);
// The number of starts of a text: 1 when empty; EConvertError when the
// text is no number.
double ReadStarts(const QString& text);

// String-table texts of the ISO deviation entry.
constexpr int DeviationNotANumberText = 1190;
constexpr int DeviationNotInTableText = 1191;
