#pragma once
// The calculation behind "Calculate Std Tolerance", shared by the gauge and
// the workpiece process windows:
//   A  thread gauges get the family's default angle and starts;
//   B  a press that lifts the button unlocks the window; when a text was
//      changed since the calculation it goes on to calculate the texts
//      shown (the button down again), as a press on an open window does;
//   C  the window's texts go into the working set and the record is cleared;
//   D  the family's road asks for what is missing and runs its calculator;
//   E  on success the window locks and shows the results.
// A failed or cancelled road releases the button and empties the results
// and the designation, so that nothing from an earlier calculation stands
// beside the inputs that failed; so does an exception, which then goes on to
// the event boundary.
//
// The ISO metric road and the Special road (no calculator) are built in.
// The other families' roads are installed with SetFamilyCalculation; a
// family without one releases the button without a message.
#include "app/core/Ucalibretype.h"
#include "app/core/Unan.h"
#include "app/core/Unumber.h"
#include "calc/Ucalcconv.h"
#include "calc/Utollerance.h"

#include <QStringList>

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

// Which values a process window shows: none calculated since it showed,
// those of its last calculation (as that calculation left the texts), or
// none after a calculation that failed. A card prints only values that no
// one has edited since they were calculated.
class TCalculationMark {
public:
    // The window shows afresh: nothing is calculated.
    void Forget();
    // A calculation has just shown its results: the texts now on the window
    // are its texts.
    void Remember(TCustomForm* window);
    // A calculation failed and emptied the results.
    void Fail();
    // true when nothing was calculated since the window showed, or when the
    // window still shows the texts of its last calculation.
    bool Current(TCustomForm* window) const;
    // After the window rewrote its lengths in another unit: the new texts
    // are the calculation's when the old ones were (wasCurrent).
    void FollowUnitChange(TCustomForm* window, bool wasCurrent);

private:
    enum class TState { None, Shown, Failed };
    static QStringList Texts(TCustomForm* window);

    TState FState = TState::None;
    QStringList FTexts;
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

    TCalculationMark Calculation;
};

// The unit of a diameter or pitch text in the working set: as typed in the
// window's unit, or as a calculator wrote it in its own unit. TypedInch is
// the number of inches a road read from the size the user typed in inch
// (a fraction the readout cannot read): the typed text stays the value's.
enum class TTextUnit { Window, Millimetre, Inch, TypedInch };

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
    // The lengths of dNominale and dPasso as Step C read them from the
    // window's list.
    TLengthInput DiameterInput = {};
    TLengthInput PitchInput = {};
};

// A family's Step D: true when the record and texts are filled (Step E
// follows), false to release the button.
using TFamilyCalculation = bool (*)(TCalcWork& work);
// Installs (or, with null, removes) the road of a family.
void SetFamilyCalculation(int family, TFamilyCalculation calculation);

// Rewrites the bound edits from the stored values, with the window's
// Refreshing flag set so that its change handler does not read them back.
void RefreshBoundLengths(const TProcessControls& controls);

// The click of "Calculate Std Tolerance" (the button has already toggled).
void CalcToleranceClick(TProcessWindow& window, CALIBRETYPE& type);

// The check of Print, "Measure Gage" and "Measure Piece": true when the
// window shows no values or those of one calculation; otherwise the message
// that the values must be calculated first, and false.
bool CardMayPrint(TProcessWindow& window);

// The value a result edit shows for a record field: none (the empty value)
// for a field the calculator did not compute (0) or marked as not applying.
double ShownLength(double value);
// Whether a record field holds a computed length.
bool IsComputedLength(double value);

// The shared parts of SetDefaults and StoreResults: enables or disables the
// inputs and results of the window and fills the empty angle and starts of
// thread gauges; writes the record into the bound result edits (major and
// minor diameters and the pitch tolerance only while their page's tab
// shows), a diameter limit that is 0 (not computed) as empty.
void SetProcessDefaults(TCustomForm* window, const TProcessControls& controls, const CALIBRETYPE& type,
                        bool enable);
void StoreProcessResults(TCustomForm* window, NCLIST& values, const TOLLERANCE& record);

// "Measure Gage" (workpiece false) and "Measure Piece" (true): diameter,
// pitch, starts and angles, then the gauge's Go and No-go ranges or the
// workpiece limits go to the main window's measuring tab, which then shows;
// the window closes (an empty length arrives empty). Values that CardMayPrint
// refuses are not handed over: the message, and the tab and the window stay
// as they are. An angle that is no number raises EConvertError before
// anything is copied.
void MeasureHandOver(TProcessWindow& window, bool workpiece);

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
// Print of values edited after their calculation, or after a failed one.
constexpr int CalculateFirstText = 1192;
