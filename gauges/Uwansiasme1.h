#pragma once
// The inch thread wizard "Tolerance wizard - values in INCH": type (UN
// standard series or UNS special), diameter group, size, pitch with its
// series and class of a unified inch thread for the ANSI/ASME thread gauges
// (gauge groups 2 to 5). It fills its request record InchThread page by
// page and ends with modal result 1 (UN), 2 (cancel) or 4 (UNS). The process
// windows copy the current gauge type into InchThread.GaugeType before
// showing it; the inch calculators read InchThread and RoundFlag.
#include "calc/Uinchthread.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

#include <vector>

// One unified inch size: diameter group (whole inches), the fraction of the
// size (denominator 0: a numbered size, its number in the numerator; whole
// inches 0/1), the basic major diameter D in inches, the coarse, fine and
// extra-fine pitches and up to six constant pitches in tpi (0: none, and
// ends the constant-pitch list).
struct TUnifiedSize {
    int Group;
    int Numerator;
    int Denominator;
    double D;
    double Coarse;
    int Fine;
    int ExtraFine;
    int Constant[6];
};

constexpr int UnifiedSizeCount = 71;
constexpr int UnifiedGroupCount = 7;
extern const TUnifiedSize UnifiedSizeTable[UnifiedSizeCount];
// First row of each diameter group in UnifiedSizeTable.
extern const int UnifiedGroupFirstRow[UnifiedGroupCount];

using TWizardButtonList = std::vector<TRadioButton*>;

class TfwAnsiAsme1 : public TForm {
public:
    static constexpr int FractionButtonCount = 22;
    static constexpr int PitchButtonCount = 9;
    // Pages of PageControl1.
    enum { PageType, PageDiameter, PageFraction, PagePitch, PageClass };
    // The UNS result.
    static constexpr TModalResult mrUns = 4;

    explicit TfwAnsiAsme1(TComponent* owner);

    void FormShow(TObject* sender);
    void FormDestroy(TObject* sender);
    void bNextClick(TObject* sender);
    // Back; also the click of Cancel.
    void bBackClick(TObject* sender);
    // Any diameter button: the later pages start from their first choice
    // and class 2.
    void rD0Click(TObject* sender);
    // Any fraction button: the pitch page starts from its first choice.
    void rF1Click(TObject* sender);
    // Any pitch button.
    void rTpi1Click(TObject* sender);
    void cRoundNClick(TObject* sender);

    // The page routines of Next.
    void ReadDiameterGroup();
    void FillFractionPage();
    void ReadFraction();
    void FillSeriesPage();
    void ReadSeries();
    void FillClassPage();
    void ReadClass();

    TPageControl* PageControl1;
    TRadioButton* rUN;
    TRadioButton* rUNS;
    TCheckBox* cJprofile;
    TCheckBox* cRoundN;
    TRadioButton* rD[UnifiedGroupCount]; // rD0 .. rD6
    TRadioButton* rT1;
    TRadioButton* rT2;
    TRadioButton* rT3;
    TButton* bBack;
    TButton* bNext;
    TButton* bCancel;
    TWizardButtonList FractionButtonList; // rF1 .. rF22
    TWizardButtonList PitchButtonList;    // rTpi1 .. rTpi9

    INCHTHREAD InchThread;
    bool RoundFlag = true;

private:
    int CheckedFraction() const;
    int CheckedPitch() const;
    void GoToPage(int page);
    void UpdateNext();

    int FPitchCount = 0;  // pitch buttons filled for the chosen size
    int FSeries[PitchButtonCount] = {};
    double FTpi[PitchButtonCount] = {};
};

extern TfwAnsiAsme1* fwAnsiAsme1;

// The J profile is offered for the Go, Not-go and limit plugs (group 2,
// items 0 to 2) and the Go and Not-go rings (group 3, items 0 and 1).
bool OffersProfileJ(const CALIBRETYPE& type);
