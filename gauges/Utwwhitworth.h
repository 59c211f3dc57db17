#pragma once
// The Whitworth wizard "Whitworth": type (BSW coarse, BSF fine or
// "Whitworth S" with free diameter and pitch), size, class and wide
// tolerance. After OK the process windows pass Diameter, Tpi, ThreadKind,
// ToleranceClass and WideTolerance to CalcWhitworth and show Designation
// and ClassText. The designation's words are the standard's and stay as they
// are in every language; ClassText is the chosen class button's (translated)
// caption. They point GaugeType at the main window's current gauge
// type before showing it.
#include "app/core/Ucalibretype.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

#include <array>

struct TWhitworthSize {
    double D; // inch
    double Tpi;
};
constexpr int WhitworthSizeCount = 30;
extern const TWhitworthSize BswSizeTable[WhitworthSizeCount];
extern const TWhitworthSize BsfSizeTable[WhitworthSizeCount];

class TfTwWhitworth : public TForm {
public:
    enum { PageType, PageBsw, PageBsf, PageFree, PageClass };
    enum { ItemInch, ItemMillimetre }; // the items of cInch
    enum { SeriesBsw, SeriesBsf, SeriesFree };

    explicit TfTwWhitworth(TComponent* owner);

    void FormShow(TObject* sender);
    void bNextClick(TObject* sender);
    void bBackClick(TObject* sender);

    TPageControl* pcWW;
    TRadioButton* rTBSW;
    TRadioButton* rTBSF;
    TRadioButton* rTWS;
    std::array<TRadioButton*, WhitworthSizeCount> rBSW; // rBSW1 .. rBSW30
    std::array<TRadioButton*, WhitworthSizeCount> rBSF; // rBSF1 .. rBSF30
    TEdit* eD;
    TEdit* eTPI;
    TComboBox* cInch; // items "Inch", "mm": decided by place, the texts are translated
    TRadioButton* rClose;
    TRadioButton* rMedium;
    TRadioButton* rNormalFree;
    TCheckBox* cExtraToll;
    TButton* bCancel;
    TButton* bBack;
    TButton* bNext;

    // The request.
    const CALIBRETYPE* GaugeType = nullptr;
    int ThreadKind = 0; // 0 BSW and BSF, 2 Whitworth S
    double Diameter = 0; // inch
    double Tpi = 0;
    QString Designation;
    QString ClassText;
    int ToleranceClass = 0; // 0 close, 1 medium, 2 normal (plugs), 3 free (rings)
    bool WideTolerance = false;

private:
    bool Ring() const;
    void ReadTableSize(const std::array<TRadioButton*, WhitworthSizeCount>& buttons,
                       const TWhitworthSize* table, int series);
    void ReadFreeSize();
    void ReadClass();
    void GoToPage(int page);
};

extern TfTwWhitworth* fTwWhitworth;
