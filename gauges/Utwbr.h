#pragma once
// The buttress wizard "BUTTRESS": pitch in tpi, then class 2 or 3. The
// process windows enable the pitches that apply to the diameter and set the
// class captions before showing it; after OK they read the checked pitch
// button and rD1 (class 2).
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

#include <array>

class TfTwBR : public TForm {
public:
    static constexpr int PitchCount = 14;
    enum { PagePitch, PageClass };

    explicit TfTwBR(TComponent* owner);

    // Page 0 with no pitch chosen: a pitch is chosen on every showing.
    void FormShow(TObject* sender);
    void bNextClick(TObject* sender);
    void bBackClick(TObject* sender);

    TPageControl* PageControl1;
    std::array<TRadioButton*, PitchCount> rM; // rM1 .. rM14: 1 .. 20 tpi
    TRadioButton* rD1;
    TRadioButton* rD2;
    TButton* bCancel;
    TButton* bBack;
    TButton* bNext;

private:
    bool PitchChosen() const;
};

extern TfTwBR* fTwBR;
