#include "gauges/Utadvtol.h"

#include "app/core/Ucalibretype.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// A small table in the layout of the program's table (its own values are
// not published): set 0 and set 1 alike, two diameter ranges (3, 6] and
// (6, 10], each with the width ranges [0, 10) and [10, 20) µm.
std::unique_ptr<TAdvancedToleranceTable> TestTable()
{
    auto table = std::make_unique<TAdvancedToleranceTable>();
    for (TAdvancedToleranceSet& set : *table) {
        set[0].Lower = 3;
        set[0].Upper = 6;
        set[1].Lower = 6;
        set[1].Upper = 10;
        for (int d = 0; d < 2; ++d) {
            const float step = d == 0 ? 1.0f : 2.0f; // the second diameter range doubles the offsets
            set[d].Widths[0] = {0, 10, {1 * step, 2 * step, 3 * step, 4 * step, 5 * step}};
            set[d].Widths[1] = {10, 20, {10 * step, 20 * step, 30 * step, 40 * step, 50 * step}};
        }
    }
    return table;
}

CALIBRETYPE Gauge(int group, int item)
{
    CALIBRETYPE type;
    type.Group = group;
    type.Item = item;
    return type;
}

TEST(Utadvtol, DeviationPairs)
{
    float a = 1, b = 1;
    EXPECT_FALSE(ParseDeviationPair("6H", a, b));      // no sign
    EXPECT_FALSE(ParseDeviationPair("+10 +10", a, b)); // equal
    ASSERT_TRUE(ParseDeviationPair("+15", a, b));
    EXPECT_EQ(a, 15.0f);
    EXPECT_EQ(b, 0.0f);                             // no second number
    EXPECT_FALSE(ParseDeviationPair("+abc", a, b)); // nothing read: 0 and 0
}

TEST(Utadvtol, LimitsFromTheRanges)
{
    const auto table = TestTable();
    TOLLERANCE r{}, swapped{};
    // Hole gauge, D 5, deviations 0 and +15: width 15 lies in [10, 20), so
    // G = 10..50 µm added to the lower (Go) and upper (No-go) deviation.
    ASSERT_TRUE(LookupAdvancedTolerance(Gauge(0, 0), 5, 0, 15, r, *table));
    EXPECT_DOUBLE_EQ(r.MaxP, 5.010);
    EXPECT_DOUBLE_EQ(r.MinP, 5.020);
    EXPECT_DOUBLE_EQ(r.LogP, 5.030);
    EXPECT_DOUBLE_EQ(r.MaxN, 5.055);
    EXPECT_DOUBLE_EQ(r.MinN, 5.065);
    // Either order gives the same limits.
    ASSERT_TRUE(LookupAdvancedTolerance(Gauge(0, 0), 5, 15, 0, swapped, *table));
    EXPECT_EQ(0, std::memcmp(&r, &swapped, sizeof r));
    // Shaft gauge: offsets taken off the upper (Go) and lower (No-go) ends.
    TOLLERANCE s{};
    ASSERT_TRUE(LookupAdvancedTolerance(Gauge(1, 0), 5, -15, 0, s, *table));
    EXPECT_DOUBLE_EQ(s.MaxP, 5 - 0.020);
    EXPECT_DOUBLE_EQ(s.MinP, 5 - 0.010);
    EXPECT_DOUBLE_EQ(s.LogP, 5 - 0.030);
    EXPECT_DOUBLE_EQ(s.MaxN, 5 - 0.015 - 0.050);
    EXPECT_DOUBLE_EQ(s.MinN, 5 - 0.015 - 0.040);

    // A diameter on a lower bound belongs to the range before; a width on an
    // upper bound to the range after.
    TOLLERANCE onBound{};
    ASSERT_TRUE(LookupAdvancedTolerance(Gauge(0, 0), 6, 0, 10, onBound, *table));
    EXPECT_DOUBLE_EQ(onBound.MaxP, 6 + 0.010); // diameter range 1, width range [10, 20)
    ASSERT_TRUE(LookupAdvancedTolerance(Gauge(0, 0), 6.5f, 0, 9.5f, onBound, *table));
    EXPECT_DOUBLE_EQ(onBound.MaxP, double(6.5f) + 0.002); // diameter range 2, width range [0, 10)
    // Outside: below the first range, past the last, and a width of 20 or more.
    EXPECT_FALSE(LookupAdvancedTolerance(Gauge(0, 0), 3, 0, 5, onBound, *table));
    EXPECT_FALSE(LookupAdvancedTolerance(Gauge(0, 0), 10.5f, 0, 5, onBound, *table));
    EXPECT_FALSE(LookupAdvancedTolerance(Gauge(0, 0), 5, 0, 20, onBound, *table));
}

TEST(Utadvtol, CalculationTexts)
{
    const auto table = TestTable();
    TOLLERANCE r{};
    TCalcText tolerance("+15"), classText("x"), designation;
    ASSERT_TRUE(CalcAdvancedToleranceText(10, tolerance, classText, designation, Gauge(0, 0), r, *table));
    EXPECT_EQ(designation.Text(), "10.000000 15 0");
    EXPECT_TRUE(tolerance.IsEmpty());
    EXPECT_TRUE(classText.IsEmpty());

    // Master and reference gauges never use the table.
    for (int key : {8, 107, 108, 109, 110}) {
        TCalcText t("+15"), c, d("kept");
        EXPECT_FALSE(CalcAdvancedToleranceText(5, t, c, d, Gauge(key / 100, key % 100), r, *table)) << key;
        EXPECT_EQ(d.Text(), "kept");
        EXPECT_EQ(t.Text(), "+15");
    }
    TCalcText t("6H"), c, d;
    EXPECT_FALSE(CalcAdvancedToleranceText(5, t, c, d, Gauge(0, 0), r, *table));
}

TEST(Utadvtol, TheProgramsTableIsEmpty)
{
    TOLLERANCE r{};
    for (int group : {0, 1}) {
        for (float d : {0.5f, 5.0f, 100.0f, 500.0f}) {
            EXPECT_FALSE(LookupAdvancedTolerance(Gauge(group, 0), d, 0, 15, r));
            TCalcText t("+15 -5"), c, des;
            EXPECT_FALSE(CalcAdvancedToleranceText(d, t, c, des, Gauge(group, 0), r));
            EXPECT_FALSE(CalcAdvancedTolerance(d, 15, -5, t, c, des, Gauge(group, 0), r));
        }
    }
}

} // namespace
