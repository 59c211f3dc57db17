#pragma once
// The spline wizard "Spline - DIN 5480": module, reference diameter from
// the module's sizes, then quality, position and LQ. The process windows
// show it when no tolerance was typed and, after OK, pass its choice to
// CalcSplineDin5480Limits.
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

#include <array>

// The diameter ranges of a module with rowCount rows: group size
// rowCount div 5 + 1, five ranges of that many rows, the last one up to the
// last row. A range without rows has Last < First.
struct TSplineRange {
    int First = 0;
    int Last = -1;
    bool Empty() const { return Last < First; }
};
struct TSplineRanges {
    int GroupSize = 1;
    std::array<TSplineRange, 5> Range;
};
TSplineRanges SplineDiameterRanges(int rowCount);
// Rows of a module of the size table (up to the first diameter 0).
int SplineRowCount(int moduleIndex);

class TfTwSCA : public TForm {
public:
    static constexpr int RangeCount = 5;
    static constexpr int ModuleCount = 15;
    static constexpr int QualityCount = 9;
    static constexpr int PositionCount = 11;
    enum { PageModule, PageDiameter, PageTolerance };

    explicit TfTwSCA(TComponent* owner);

    void FormShow(TObject* sender);
    void bNextClick(TObject* sender);
    void bBackClick(TObject* sender);
    // A range button (sender), or without one the checked range: lists its
    // diameters and selects the first.
    void rD1Click(TObject* sender);
    // A quality or position button.
    void ToleranceClick(TObject* sender);

    TPageControl* PageControl1;
    TButton* bCancel;
    TButton* bBack;
    TButton* bNext;
    std::array<TRadioButton*, ModuleCount> rM;    // rM1 .. rM15
    std::array<TRadioButton*, RangeCount> rD;     // rD1 .. rD5
    TListBox* lDiameter;
    TGroupBox* gN1;
    std::array<TRadioButton*, QualityCount> rN1;  // rN11 .. rN19: qualities 4 .. 12
    std::array<TRadioButton*, PositionCount> rA;  // rA1 .. rA11
    std::array<TRadioButton*, 3> rN2;             // rN21 .. rN23: LQ 2 .. 4

    // The choice.
    int ModuleIndex = 0;       // 0..14, the order of the size table
    int DiameterRow = 0;       // row of the module
    int RowCount = 0;          // rows of the module
    int GroupSize = 1;         // rows per diameter range
    int Side = 0;              // 0 shaft letters, 1 hub letters
    int ReferenceDiameter = 0; // mm
    int Quality = -1;          // 4..12; -1 none (Go gauges)
    int LQ = 4;
    double Module = 0;         // mm
    char Position = 0;         // shaft or hub letter

private:
    void BuildDiameterRanges();
    void PrepareTolerancePage();
    void ReadChoice();
    int CheckedQuality() const;
    int CheckedPosition() const;
    void GoToPage(int page);
    void UpdateNext();

    TSplineRanges FRanges;
    int FRangeIndex = 0;
};

extern TfTwSCA* fTwSCA;
