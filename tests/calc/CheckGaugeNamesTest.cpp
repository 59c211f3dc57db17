// The check, setting, wear and master gauges of every family against the
// gauge their name says they check or set: each is computed through its
// family's calculator beside that gauge, at one or two sizes per family,
// and must sit where its name puts it. A name that drifts from its formula
// (a wear check plug named after the other ring) fails here.
#include "calc/Ugas.h"
#include "calc/Utansiasme.h"
#include "calc/Utsca.h"
#include "tests/calc/CalcFixture.h"
#include "tests/calc/CatalogueTypes.h"

namespace {

// The sizes the gauges are computed at.
enum class TSize {
    IsoPlain,      // 25 h7
    IsoPlainLarge, // 250 h7: over 180 mm the safety zone alpha enters
    IsoThread,     // M10 x 1.5 6g
    UnThread,      // 1/4-20 UNC, class 2A or 2B by the gauge's group
    InchPipe,      // 1/2 inch
    Spline,        // 25 x 1.25, 9H, LQ 3
    GasA,          // G 1/4, class A
    GasB,          // G 1, class B
};

constexpr int GasQuarter = 2; // size index of 1/4 in the ISO 228 table
constexpr int GasOne = 8;     // 1
constexpr int InchPipeHalf = 4;

// The limits of one gauge: those of its role's side (No-go fields for role
// 2, Go fields otherwise).
struct TBand {
    bool Ok = false;
    double Max = 0, Min = 0, Worn = 0;
    double Centre() const { return (Max + Min) / 2; }
};

TBand Compute(int key, TSize size)
{
    const CALIBRETYPE type = CatalogueType(key);
    TOLLERANCE r;
    ClearToleranceRecord(r);
    TCalcText diameter, angle, pitch, designation, tolerance, classText;
    bool ok = false;
    switch (size) {
    case TSize::IsoPlain:
    case TSize::IsoPlainLarge:
        tolerance = QStringLiteral("h7");
        ok = CalcIsoMetricText(size == TSize::IsoPlain ? 25 : 250, 0, tolerance, classText, designation, type,
                               r, false, 1, false);
        break;
    case TSize::IsoThread:
        tolerance = QStringLiteral("6g");
        ok = CalcIsoMetricText(10, 1.5, tolerance, classText, designation, type, r, false, 1, false);
        break;
    case TSize::UnThread:
    case TSize::InchPipe: {
        INCHTHREAD request;
        request.GaugeType = type;
        request.Diameter = 0.25;
        request.Tpi = 20;
        request.Series = 0;         // UNC
        request.ToleranceClass = 1; // 2A, 2B
        ok = size == TSize::UnThread
                 ? CalcUnSeries(request, diameter, angle, pitch, designation, tolerance, classText, false, r,
                                false)
                 : CalcPipeThread(request, InchPipeHalf, diameter, angle, pitch, designation, r);
        break;
    }
    case TSize::Spline:
        ok = CalcSplineDin5480(25, 1.25, TCalcText(QStringLiteral("9-H-3")), classText, designation, type, r);
        break;
    case TSize::GasA:
    case TSize::GasB: {
        const int index = size == TSize::GasA ? GasQuarter : GasOne;
        ok = type.Item < 3 ? CalcGasParallelPlug(type, index, false, diameter, angle, pitch, designation, r)
                           : CalcGasParallelRing(type, index, size == TSize::GasA, false, diameter, angle,
                                                 pitch, designation, r);
        break;
    }
    }
    if (type.Role == 2)
        return {ok, r.MaxN, r.MinN, r.LogN};
    return {ok, r.MaxP, r.MinP, r.LogP};
}

// The second size a family's rows are also computed at.
TSize SecondSize(TSize size)
{
    switch (size) {
    case TSize::IsoPlain:
        return TSize::IsoPlainLarge;
    case TSize::GasA:
        return TSize::GasB;
    default:
        return size;
    }
}

// Where a check gauge sits against the gauge it checks.
enum class TPlace {
    OnWornLimit,  // centred on its wear limit
    OnMaximum,    // centred on its maximum
    OnCentre,     // centred on its middle
    Inside,       // within its limits
    BelowMinimum, // wholly below its minimum: a new plug or ring enters
    AboveMaximum, // wholly above its maximum
};

// Rows: the check gauge's key and name, the gauge its name says it checks or
// sets, where it sits against it, the size. The places follow the names:
// a wear check sits on the wear limit, a Not-go check on the maximum of the
// ring, a Go check clear of the new gauge's limit; masters and setting
// gauges within the band they set.
struct TRow {
    int Key;
    const char* Name;
    int Checked;
    TPlace Place;
    TSize Size;
};

const TRow Rows[] = {
    {107, "Check plug for go gap gage", 102, TPlace::OnCentre, TSize::IsoPlain},
    {108, "Check plug for not-go gap gage", 103, TPlace::OnCentre, TSize::IsoPlain},
    {109, "Check plug for wear gap gage", 102, TPlace::OnWornLimit, TSize::IsoPlain},
    {306, "Go check plug for new go screw ring", 300, TPlace::BelowMinimum, TSize::IsoThread},
    {307, "Not-go check plug for new go screw ring gage", 300, TPlace::OnMaximum, TSize::IsoThread},
    {308, "Wear check plug for solid or adj. go screw ring", 300, TPlace::OnWornLimit, TSize::IsoThread},
    {309, "Setting plug for adjustable go screw ring gage", 302, TPlace::Inside, TSize::IsoThread},
    {310, "Setting plug for adjustable not-go screw ring gage", 303, TPlace::Inside, TSize::IsoThread},
    {311, "Wear check plug for solid or adj. not-go screw ring", 301, TPlace::OnWornLimit, TSize::IsoThread},
    {312, "Go check plug for new not-go screw ring gage", 301, TPlace::BelowMinimum, TSize::IsoThread},
    {313, "Not-go check plug for new not-go screw ring gage", 301, TPlace::OnMaximum, TSize::IsoThread},
    {315, "Setting plug for not-go caliper gage", 305, TPlace::Inside, TSize::IsoThread},
    {1203, "Go setting ring gage for go plug gage", 1200, TPlace::Inside, TSize::UnThread},
    {1204, "Go setting ring gage for no-go plug gage", 1201, TPlace::Inside, TSize::UnThread},
    {1302, "Go check plug gage for go ring gage", 1300, TPlace::Inside, TSize::UnThread},
    {1303, "Go setting plug gage for no-go ring gage", 1301, TPlace::Inside, TSize::UnThread},
    {1602, "Master thread plug gage for NPT", 1600, TPlace::Inside, TSize::InchPipe},
    {1603, "Master thread ring gage for NPT", 1601, TPlace::Inside, TSize::InchPipe},
    {1709, "Master thread plug gage for NPTF", 1700, TPlace::Inside, TSize::InchPipe},
    {1710, "Master thread ring gage for NPTF", 1701, TPlace::Inside, TSize::InchPipe},
    {2100, "Go setting ring gage for go plug gage", 2000, TPlace::AboveMaximum, TSize::Spline},
    {2101, "Wear check ring gage for go plug gage", 2000, TPlace::OnWornLimit, TSize::Spline},
    {2102, "Go check plug gage for go ring gage", 2003, TPlace::BelowMinimum, TSize::Spline},
    {2103, "Wear check plug gage for go ring gage", 2003, TPlace::OnWornLimit, TSize::Spline},
    // ISO 228, also at G 1 class B
    {4105, "Go check plug gage for go ring gage", 4103, TPlace::BelowMinimum, TSize::GasA},
    {4106, "Not-go check plug gage for go ring gage", 4103, TPlace::OnMaximum, TSize::GasA},
    {4107, "Wear check plug for solid or adj. go screw ring", 4103, TPlace::OnWornLimit, TSize::GasA},
    {4108, "Go check plug gage for not-go ring gage", 4104, TPlace::BelowMinimum, TSize::GasA},
    {4109, "Not-go check plug gage for not-go ring gage", 4104, TPlace::OnMaximum, TSize::GasA},
    {4110, "Wear check plug for solid or adj. not-go screw ring", 4104, TPlace::OnWornLimit, TSize::GasA},
};

using CheckGaugeNamesTest = CalcTest;

void ExpectPlace(const TRow& row, TSize size)
{
    const TBand check = Compute(row.Key, size);
    const TBand checked = Compute(row.Checked, size);
    ASSERT_TRUE(check.Ok && checked.Ok) << row.Key;
    EXPECT_EQ(CatalogueType(row.Key).Name.toStdString(), row.Name) << row.Key;
    constexpr double Exact = 1e-9;
    switch (row.Place) {
    case TPlace::OnWornLimit:
        EXPECT_NEAR(check.Centre(), checked.Worn, Exact) << row.Key;
        break;
    case TPlace::OnMaximum:
        EXPECT_NEAR(check.Centre(), checked.Max, Exact) << row.Key;
        break;
    case TPlace::OnCentre:
        EXPECT_NEAR(check.Centre(), checked.Centre(), Exact) << row.Key;
        break;
    case TPlace::Inside:
        EXPECT_GE(check.Min, checked.Min - Exact) << row.Key;
        EXPECT_LE(check.Max, checked.Max + Exact) << row.Key;
        EXPECT_LT(check.Max - check.Min, checked.Max - checked.Min) << row.Key;
        break;
    case TPlace::BelowMinimum:
        EXPECT_LE(check.Max, checked.Min + Exact) << row.Key;
        break;
    case TPlace::AboveMaximum:
        EXPECT_GE(check.Min, checked.Max - Exact) << row.Key;
        break;
    }
}

TEST_F(CheckGaugeNamesTest, EachCheckGaugeSitsOnTheGaugeItsNameSays)
{
    for (const TRow& row : Rows) {
        ExpectPlace(row, row.Size);
        if (SecondSize(row.Size) != row.Size)
            ExpectPlace(row, SecondSize(row.Size));
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
