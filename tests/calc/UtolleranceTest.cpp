#include "calc/Utollerance.h"

#include "app/core/Unan.h"

#include <gtest/gtest.h>

// Every length field converts, the angle and workpiece fields do not, and an
// empty value stays empty (25.4 x NaN would be a NaN of another bit pattern,
// which IsNan no longer recognises as empty).
TEST(Utollerance, ConvertToleranceToMmSkipsAnglesWorkpieceAndEmptyValues)
{
    TOLLERANCE r;
    ClearToleranceRecord(r);
    double* fields = &r.MaxPi;
    for (int i = 0; i < 25; ++i)
        fields[i] = 1.0 + i;
    r.MedN = NanValue();

    ConvertToleranceToMm(r);

    EXPECT_DOUBLE_EQ(r.MaxPi, 25.4);
    EXPECT_DOUBLE_EQ(r.MinNe, 16 * 25.4);
    EXPECT_DOUBLE_EQ(r.TPasso, 17 * 25.4);
    EXPECT_DOUBLE_EQ(r.HMis1, 21 * 25.4);
    EXPECT_DOUBLE_EQ(r.HMis2, 22 * 25.4);
    EXPECT_TRUE(IsNan(r.MedN));
    EXPECT_EQ(r.TSA, 18);
    EXPECT_EQ(r.TSA1, 19);
    EXPECT_EQ(r.TSA2, 20);
    EXPECT_EQ(r.MaxW, 23);
    EXPECT_EQ(r.MinW, 24);
    EXPECT_EQ(r.HoleW, 25);
}
