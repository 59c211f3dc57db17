#include "gauges/Ucalibreselect2.h"

#include "gauges/Ugaugefamily.h"
#include "platform/os/Modules.h"

TfCalibreSelect2* fCalibreSelect2 = nullptr;

namespace {

constexpr int CalculateWorkpieceText = 10000; // "Calculate Workpiece Tolerance"

} // namespace

TfCalibreSelect2::TfCalibreSelect2(TComponent* owner)
    : TfCalibreSelect(owner, QStringLiteral("TFCALIBRESELECT2"))
{
}

int TfCalibreSelect2::GroupCount(int family) const
{
    return GaugeFamily(family).WorkpieceGroups;
}

int TfCalibreSelect2::GroupCaptionBase(int family) const
{
    return GaugeFamily(family).WorkpieceCaptionBase;
}

void TfCalibreSelect2::FillTypes(int, int)
{
    TypeButtons = {bCal1};
    bCal1->SetCaption(LoadStr(CalculateWorkpieceText));
}
