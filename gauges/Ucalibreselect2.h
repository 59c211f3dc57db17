#pragma once
// The workpiece picker: the groups of the family as in the gauge picker
// (with the workpiece captions), and for every group the one button
// "Calculate Workpiece Tolerance", which chooses item 0.
#include "gauges/Ucalibreselect.h"

class TfCalibreSelect2 : public TfCalibreSelect {
public:
    explicit TfCalibreSelect2(TComponent* owner);

protected:
    int GroupCount(int family) const override;
    int GroupCaptionBase(int family) const override;
    void FillTypes(int family, int group) override;
};

extern TfCalibreSelect2* fCalibreSelect2;
