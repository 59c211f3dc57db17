#include "app/core/Uplvzero.h"
#include "app/core/Unan.h"
#include "tests/app/core/CoreFixture.h"

#include <cmath>
#include <limits>

namespace {

const QString DisplayKeyFile = QStringLiteral("lm_iregistry.ini");

class UplvzeroTest : public CoreTest {
protected:
    // Display settings as the display program leaves them.
    void WriteDisplaySettings(const QByteArray& values)
    {
        WriteFile(LocalFile(OstrivalDataFolder, DisplayKeyFile),
                  "[Software\\Dravinel\\Pelloview\\8.0]\r\n" + values);
    }
};

// Rows: unit, resolution, number format, value in the unit, text. Source:
// the readout's formats (half a step added, digits truncated, blanks in
// front up to 12 characters); rows 1 to 4 are the readout's own examples.
TEST_F(UplvzeroTest, FormatsEveryUnitAndResolution)
{
    struct Row {
        int n;
        int unit, resolution, numFormat;
        double value;
        const char* text;
    };
    const Row rows[] = {
        {1, 0, 0, 0, 12.34567, "  +012.345.7"},
        {2, 1, 2, 0, 0.5, "  +00.500000"},
        {3, 0, 3, 0, -0.0004, "    -000.000"},  // rounds to zero and keeps its sign
        {4, 0, 3, 0, 1234.0, "   +1234.000"},   // three-digit widths are minimums
        {5, 0, 1, 0, 12.34567, " +012.345.65"}, // last digit in steps of 5
        {6, 0, 1, 0, 12.34562, " +012.345.60"},
        {7, 0, 2, 0, 1.23456, " +001.234.56"},
        {8, 0, 0, 1, 12.34567, "  +012.345 7"},
        {9, 0, 0, 2, 12.34567, "  +012,345 7"},
        {10, 0, 3, 2, 0.9996, "    +001,000"},    // half a step carries into the integer
        {11, 1, 0, 0, 0.1234567, "  +00.123455"}, // steps of 0.000005 in
        {12, 1, 1, 0, 0.1234567, "  +00.123456"}, // steps of 0.000002 in
        {13, 1, 3, 0, 0.1234567, "   +00.12345"},
        {14, 1, 2, 0, -12.0, "  -12.000000"},
        {15, 0, 0, 0, 123456789.0, "+123456789.000.0"}, // longer than 12: no blanks
        {16, 0, 0, 0, 5.0e12, "+5000000000000.000.0"},  // beyond 32-bit integers
        {17, 2, 0, 0, 1.0, "           +"},             // unknown unit: the sign alone
        {18, 0, 4, 0, 1.0, "           +"},             // unknown resolution
        {19, 0, 0, 0, std::numeric_limits<double>::infinity(), ""},
        {20, 0, 0, 0, NanValue(), ""},
        {21, 0, 2, 0, 1.0e300, ""}, // too many digits for 64-bit integers
    };
    for (const Row& row : rows) {
        SetUp();
        WriteDisplaySettings("NumFormat=" + QByteArray::number(row.numFormat) + "\r\n");
        DISPLAY display;
        ASSERT_EQ(display.NumFormat(), row.numFormat) << row.n;
        display.SetUnit(row.unit);
        display.SetResolution(row.resolution);
        EXPECT_EQ(display.FormatValue(row.value), QString::fromLatin1(row.text)) << row.n;
    }
}

// Rows: unit, number format, typed text, result of the preset, value read
// back in mm. Source: the readout's own text can be typed back; inch values
// are multiplied by 25.4.
TEST_F(UplvzeroTest, PresetTextReadsBackInMillimetres)
{
    struct Row {
        int n;
        int unit, numFormat;
        const char* text;
        bool parsed;
        double mm;
    };
    const Row rows[] = {
        {1, 0, 2, "012,345 6", true, 12.3456},
        {2, 0, 0, "  +012.345.7", true, 12.3457},
        {3, 0, 0, "1.2.3", true, 1.23}, // a second point is dropped, not rejected
        {4, 1, 0, "1", true, 25.4},
        {5, 1, 0, "+01.000000", true, 25.4},
        {6, 0, 0, "-0,5", true, -0.5},
        {7, 0, 0, "", false, 0.0},
        {8, 0, 0, "abc", false, 0.0},   // not a number: false, no exception
        {9, 0, 0, "1,2,3", false, 0.0}, // commas are not cleaned
    };
    for (const Row& row : rows) {
        SetUp();
        WriteDisplaySettings("NumFormat=" + QByteArray::number(row.numFormat) + "\r\n");
        DISPLAY display;
        display.Reset();
        display.SetUnit(row.unit);
        display.SetZero(99.0);
        EXPECT_EQ(display.PresetText(QString::fromLatin1(row.text)), row.parsed) << row.n;
        EXPECT_NEAR(display.ReadValue(), row.mm, 1e-12) << row.n;
    }
}

// Rows: stored text, machine coefficient, workpiece coefficient, number
// format. Source: defaults 8.0, 11.5, 0; ranges 0..15 and 0..30.
TEST_F(UplvzeroTest, ReadsTheDisplaySettings)
{
    struct Row {
        int n;
        const char* values;
        double machine, workpiece;
        int numFormat;
    };
    const Row rows[] = {
        {1, "", 8.0, 11.5, 0},
        {2, "C_TMac=12.5\r\nC_TPez=20,5\r\nNumFormat=1.9\r\n", 12.5, 20.5, 1},
        {3, "C_TMac=15\r\nC_TPez=30\r\n", 15.0, 30.0, 0},
        {4, "C_TMac=15.01\r\nC_TPez=-1\r\n", 8.0, 11.5, 0},
        {5, "C_TMac=abc\r\nNumFormat=x\r\n", 8.0, 11.5, 0}, // unreadable: as if missing
        {6, "C_TPez=\r\n", 8.0, 0.0, 0},                    // an empty text reads as 0
        {7, "NumFormat=7\r\n", 8.0, 11.5, 7},               // kept, formats of 0
        {8, "NumFormat=1e20\r\n", 8.0, 11.5, 0},
    };
    for (const Row& row : rows) {
        SetUp();
        WriteDisplaySettings(row.values);
        DISPLAY display;
        EXPECT_DOUBLE_EQ(display.MachineCoefficient(), row.machine) << row.n;
        EXPECT_DOUBLE_EQ(display.WorkpieceCoefficient(), row.workpiece) << row.n;
        EXPECT_EQ(display.NumFormat(), row.numFormat) << row.n;
    }
    EXPECT_EQ(DISPLAY().MmFormat(0), QStringLiteral("%03ld.%03ld.%1ld"));
}

// The display settings come from the Ostrival folder even when the store's
// global folder has been moved to the Tessvar folder.
TEST_F(UplvzeroTest, SettingsComeFromTheOstrivalFolder)
{
    WriteDisplaySettings("NumFormat=2\r\n");
    WriteFile(LocalFile(TessvarDataFolder, DisplayKeyFile),
              "[Software\\Dravinel\\Pelloview\\8.0]\r\nNumFormat=1\r\n");
    SetIRegistryFolder(TessvarDataFolder);
    DISPLAY display;
    EXPECT_EQ(display.NumFormat(), 2);
    EXPECT_EQ(IRegistryFolder(), TessvarDataFolder);
}

TEST_F(UplvzeroTest, AssignKeepsTheTargetsFormats)
{
    DISPLAY source;
    source.Reset();
    source.SetUnit(0);
    source.SetResolution(0);
    source.SetZero(-1.0);
    WriteDisplaySettings("NumFormat=2\r\n");
    DISPLAY target;
    target.Assign(source);
    EXPECT_EQ(target.GetUnit(), 0);
    EXPECT_DOUBLE_EQ(target.Zero(), 1.0);
    EXPECT_DOUBLE_EQ(target.ReadValue(), -1.0); // the stub source came along
    EXPECT_EQ(target.NumFormat(), 2);
    EXPECT_EQ(target.ReadFormatted(), QStringLiteral("  -001,000 0"));
}

struct FakeNotice : TZeroSearchNotice {
    bool Shown = false;
    int Shows = 0;
    bool IsShown() const override { return Shown; }
    void ShowNotice() override { Shown = true, ++Shows; }
    void HideNotice() override { Shown = false; }
};

int SourceStatus = 0;
double SourceValue = 0;
int Source(uint16_t, double& value)
{
    value = SourceValue;
    return SourceStatus;
}

// An attached instrument: the zero search shows the notice and reads 0 until
// it ends; the direction turns the reading.
TEST_F(UplvzeroTest, InstrumentZeroSearchAndDirection)
{
    FakeNotice notice;
    SetZeroSearchNotice(&notice);
    DISPLAY display;
    display.SetValueSource(Source, nullptr);
    SourceValue = 5.0;
    SourceStatus = 1;
    EXPECT_EQ(display.ReadValue(), 0.0);
    EXPECT_EQ(display.ReadValueInUnit(), 0.0);
    EXPECT_TRUE(notice.Shown);
    EXPECT_EQ(notice.Shows, 1);
    SourceStatus = 0;
    display.SetDirection(-1);
    EXPECT_DOUBLE_EQ(display.ReadValue(), -5.0);
    EXPECT_FALSE(notice.Shown);

    // After Reset the notice is off: a zero search reads on.
    display.Reset();
    display.SetValueSource(Source, nullptr);
    SourceStatus = 1;
    EXPECT_DOUBLE_EQ(display.ReadValue(), -5.0);
    EXPECT_FALSE(notice.Shown);
    SetZeroSearchNotice(nullptr);
}

} // namespace
