// The unit converter and the thermal-expansion tool of the main window.
#include "tests/app/AppFixture.h"

#include "platform/rtl/Exceptions.h"

#include <QLineEdit>
#include <QTest>

namespace {

class Tools : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        StartProgram();
    }
    struct TConverter {
        TEdit* Source;
        TComboBox* SourceUnit;
        TEdit* Target;
        TComboBox* TargetUnit;
        TButton* Swap;
    };
    static TConverter Length()
    {
        return {fTessvar->eStart, fTessvar->cStart, fTessvar->eEnd, fTessvar->cEnd, fTessvar->bSwitch};
    }
    static TConverter Temperature()
    {
        return {fTessvar->eStartT, fTessvar->cStartT, fTessvar->eEndT, fTessvar->cEndT, fTessvar->bSwitchT};
    }
    static TConverter Mass()
    {
        return {fTessvar->eStartM, fTessvar->cStartM, fTessvar->eEndM, fTessvar->cEndM, fTessvar->bSwitchM};
    }
    static TConverter Angle()
    {
        return {fTessvar->eStartA, fTessvar->cStartA, fTessvar->eEndA, fTessvar->cEndA, fTessvar->bSwitchA};
    }
    static TConverter Pressure()
    {
        return {fTessvar->eStartP, fTessvar->cStartP, fTessvar->eEndP, fTessvar->cEndP, fTessvar->bSwitchP};
    }
    // The controls of one thermal calculator.
    struct TThermalTool {
        TEdit* Length;
        TEdit* Temperature;
        TComboBox* Material;
        TEdit* Coefficient;
        TButton* Calculate;
        TEdit* LengthAt20;
        TEdit* Variation;
        TComboBox* TemperatureUnit;
    };
    static TThermalTool ThermalTool(int calculator)
    {
        TfTessvar* w = fTessvar;
        if (calculator == 1)
            return {w->eLung1, w->eTemp1,    w->cMaterial, w->eCoExp1,
                    w->bCalc1, w->eLungStd1, w->eDlung1,   w->cTunit};
        return {w->eLung2, w->eTemp2,    w->cMaterial2, w->eCoExp2,
                w->bCalc2, w->eLungStd2, w->eDlung2,    w->cTunit2};
    }
    // The user ends typing in an edit.
    static void PressEnter(TEdit* edit) { QTest::keyClick(edit->EditWidget(), Qt::Key_Return); }
    static QStringList Results(const TThermalTool& c) { return {c.LengthAt20->Text(), c.Variation->Text()}; }
    // The thermal tool: length, temperature in the given unit, material.
    static void Thermal(const char* length, const char* temperature, int unit = 0, int material = 0)
    {
        Type(fTessvar->eLung1, length);
        Choose(fTessvar->cMaterial, material);
        fTessvar->cTunit->SetItemIndex(unit);
        Type(fTessvar->eTemp1, temperature);
    }
};

TEST_F(Tools, ConvertersTurnTheSourceIntoTheTargetUnit)
{
    struct TRow {
        int Line;
        TConverter (*Converter)();
        int From;
        int To;
        const char* Source;
        const char* Target;
    } rows[] = {
        // Exact factors: 1 in = 25.4 mm, 1 ft = 304.8 mm, 1 mile = 1609.344 m.
        {1, Length, 3, 0, "1", "25.4"},
        {2, Length, 5, 2, "1", "1.609344"},
        {3, Length, 4, 0, "1", "304.8"},
        {4, Length, 1, 3, "0.0254", "1"},
        // Temperature: F = C x 1.8 + 32, K = C + 273.15.
        {5, Temperature, 0, 1, "100", "212"},
        {6, Temperature, 2, 0, "0", "-273.15"},
        {7, Temperature, 1, 2, "32", "273.15"},
        // Mass: the international pound is 0.45359237 kg.
        {8, Mass, 2, 0, "1", "0.45359237"},
        {9, Mass, 0, 1, "2.5", "2500"},
        // Angle: whole seconds, rounded before splitting; the sign once.
        {10, Angle, 0, 1, "30.5", "30.30.00"},
        {11, Angle, 0, 1, "1.5", "01.30.00"},
        {12, Angle, 0, 1, "10.2", "10.12.00"},
        {13, Angle, 0, 1, "-30.5", "-30.30.00"},
        {14, Angle, 0, 1, "-0.0001", "00.00.00"},
        {15, Angle, 0, 2, "180", "3.14159265358979"},
        {16, Angle, 2, 0, "3.141592653589793", "180"},
        // Pressure: 1 atm = 1.01325 bar = 14.6959487755 psi.
        {17, Pressure, 0, 1, "1", "1.01325"},
        {18, Pressure, 0, 2, "2", "29.391897551"},
    };
    for (const TRow& row : rows) {
        const TConverter c = row.Converter();
        c.Source->SetText(QString());
        c.SourceUnit->SetItemIndex(row.From);
        c.TargetUnit->SetItemIndex(row.To);
        Type(c.Source, QString::fromLatin1(row.Source));
        EXPECT_EQ(c.Target->Text(), QString::fromLatin1(row.Target)) << "row " << row.Line;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(Tools, EmptySwapAndTargetUnit)
{
    const TConverter c = Length(); // mm to inches at start
    Type(c.Source, "1");
    EXPECT_EQ(c.Target->Text(), "0.0393700787401575");
    ClickButton(c.Swap);
    EXPECT_EQ(c.SourceUnit->ItemIndex(), 3);
    EXPECT_EQ(c.TargetUnit->ItemIndex(), 0);
    EXPECT_EQ(c.Source->Text(), "0.0393700787401575");
    EXPECT_EQ(c.Target->Text(), "1");

    Type(c.Source, "");
    EXPECT_EQ(c.Target->Text(), "");

    // Choosing another target unit converts again; the source unit alone
    // does not.
    Type(c.Source, "2");
    Choose(c.TargetUnit, 1);
    EXPECT_EQ(c.Target->Text(), "0.0508");
    Choose(c.SourceUnit, 0);
    EXPECT_EQ(c.Target->Text(), "0.0508");
}

TEST_F(Tools, ASourceThatIsNoNumberLeavesNoTarget)
{
    // Every converter: a text that is no number (whole or half typed) has
    // no conversion, so no earlier one stays beside it; no message while
    // typing.
    for (TConverter (*converter)() : {Length, Temperature, Mass, Angle, Pressure}) {
        const TConverter c = converter();
        for (const char* text : {"100x", "-", "1e+", "1O"}) {
            Type(c.Source, "100");
            EXPECT_NE(c.Target->Text(), "");
            Type(c.Source, text);
            EXPECT_EQ(c.Target->Text(), "") << c.Source->Name().toStdString() << " " << text;
        }
    }
    EXPECT_TRUE(Messages->Shown().empty());

    const TConverter c = Temperature();
    Type(c.Source, "100");
    EXPECT_EQ(c.Target->Text(), "212");
    Type(c.Source, "100x");
    EXPECT_EQ(c.Target->Text(), "");
    Type(c.Source, "1e+"); // "1" converts, "1e" and "1e+" are no number yet
    EXPECT_EQ(c.Target->Text(), "");
    Type(c.Source, "1e1");
    EXPECT_EQ(c.Target->Text(), "50");
    EXPECT_TRUE(Messages->Shown().empty());
    // Choosing a target unit reports what cannot be converted, through the
    // application's exception dialog.
    Type(c.Source, "-");
    Choose(c.TargetUnit, 2);
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "'-' is not a valid floating point value");
    EXPECT_EQ(Messages->Shown()[0].Caption, "Tessvar");
    EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(c.Target->Text(), "");
}

TEST_F(Tools, ASexagesimalSourceIsNotTaken)
{
    const TConverter c = Angle();
    c.SourceUnit->SetItemIndex(1);
    Type(c.Source, "3");
    EXPECT_EQ(c.Source->Text(), "");
    EXPECT_EQ(c.Target->Text(), "0"); // the conversion of 0 to rad
}

TEST_F(Tools, ThermalExpansionBackTo20Degrees)
{
    struct TRow {
        int Line;
        const char* Temperature;
        int Unit; // 0 degC, 1 degF
        const char* LengthAt20;
        const char* Variation;
        bool Warning;
    } rows[] = {
        // Steel (11.5e-6 / K), 100 mm: dL = (T - 20) x 100 x 11.5e-6.
        {1, "30", 0, "  +099.988.5", "  +000.011.5", false},
        {2, "86", 1, "  +099.988.5", "  +000.011.5", false}, // 86 degF = 30 degC
        {3, "20", 0, "  +100.000.0", "  +000.000.0", false},
        // The coefficients hold between -20 and 300 degC, limits included;
        // outside them Calculate warns (typing does not).
        {4, "-20", 0, "  +100.046.0", "  -000.046.0", false},
        {5, "-20.5", 0, "  +100.046.6", "  -000.046.6", true},
        {6, "300", 0, "  +099.678.0", "  +000.322.0", false},
        {7, "300.5", 0, "  +099.677.4", "  +000.322.6", true},
    };
    for (const TRow& row : rows) {
        Messages->Service().Shown.clear();
        Thermal("100", row.Temperature, row.Unit);
        EXPECT_EQ(fTessvar->eLungStd1->Text(), QString::fromLatin1(row.LengthAt20)) << "row " << row.Line;
        EXPECT_EQ(fTessvar->eDlung1->Text(), QString::fromLatin1(row.Variation)) << "row " << row.Line;
        EXPECT_TRUE(Messages->Shown().empty()) << "row " << row.Line;
        ClickButton(fTessvar->bCalc1);
        EXPECT_EQ(fTessvar->eLungStd1->Text(), QString::fromLatin1(row.LengthAt20)) << "row " << row.Line;
        ASSERT_EQ(Messages->Shown().size(), row.Warning ? 1u : 0u) << "row " << row.Line;
        if (row.Warning) {
            EXPECT_EQ(Messages->Shown()[0].Text, "Temperature Estreme: il risulato non \u00E8 accurato");
            EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION");
        }
    }
}

TEST_F(Tools, ThermalMaterialsUnitsAndPartialInput)
{
    Thermal("100", "30");
    Choose(fTessvar->cMaterial, 1);
    EXPECT_EQ(fTessvar->eCoExp1->Text(), "23.6");
    EXPECT_FALSE(fTessvar->eCoExp1->Enabled());
    Choose(fTessvar->cMaterial, 10); // custom: the edit opens with its text
    EXPECT_TRUE(fTessvar->eCoExp1->Enabled());
    EXPECT_EQ(fTessvar->eCoExp1->Text(), "23.6");
    fTessvar->eCoExp1->SetText("10");
    ClickButton(fTessvar->bCalc1);
    EXPECT_DOUBLE_EQ(Value(fTessvar->eDlung1), 0.01); // 10 K x 100 mm x 10e-6

    // A temperature or custom coefficient that is no number leaves no
    // result; Calculate reports it.
    for (const char* temperature : {"-", "30x"}) {
        Type(fTessvar->eTemp1, "30");
        EXPECT_DOUBLE_EQ(Value(fTessvar->eDlung1), 0.01);
        Type(fTessvar->eTemp1, temperature);
        EXPECT_EQ(fTessvar->eDlung1->Text(), "") << temperature;
        EXPECT_EQ(fTessvar->eLungStd1->Text(), "") << temperature;
    }
    EXPECT_TRUE(Messages->Shown().empty());
    EXPECT_THROW(fTessvar->bCalc1Click(fTessvar->bCalc1), EConvertError);
    Type(fTessvar->eTemp1, "30");
    fTessvar->eCoExp1->SetText("1O");
    EXPECT_THROW(fTessvar->bCalc1Click(fTessvar->bCalc1), EConvertError);
    EXPECT_EQ(fTessvar->eDlung1->Text(), "");
    EXPECT_EQ(fTessvar->eLungStd1->Text(), "");

    // Another temperature unit empties the temperature and the results.
    Type(fTessvar->eTemp1, "30");
    Choose(fTessvar->cTunit, 1);
    EXPECT_EQ(fTessvar->eTemp1->Text(), "");
    EXPECT_EQ(fTessvar->eDlung1->Text(), "");
    EXPECT_EQ(fTessvar->eLungStd1->Text(), "");

    // The second calculator is its own.
    Type(fTessvar->eLung2, "50");
    Type(fTessvar->eTemp2, "40");
    EXPECT_EQ(fTessvar->eDlung2->Text(), "  +000.011.5"); // 20 K x 50 mm x 11.5e-6
    EXPECT_EQ(fTessvar->eDlung1->Text(), "");
}

// Typing "-250" passes "-25" on the way: the change handler computes each
// text without a box, so no key is swallowed, and Calculate warns once, for
// the value the field shows. Steel, 100 mm: dL = -270 K x 100 x 11.5e-6 =
// -0.3105 mm.
TEST_F(Tools, TheTemperatureWarningWaitsForCalculate)
{
    Type(fTessvar->eLung1, "100");
    Type(fTessvar->eTemp1, "-250");
    EXPECT_EQ(fTessvar->eTemp1->Text(), "-250");
    EXPECT_TRUE(Messages->Shown().empty());
    EXPECT_EQ(fTessvar->eDlung1->Text(), "  -000.310.5");
    ClickButton(fTessvar->bCalc1);
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "Temperature Estreme: il risulato non \u00E8 accurato");
    EXPECT_EQ(fTessvar->eDlung1->Text(), "  -000.310.5");
    EXPECT_EQ(fTessvar->eLungStd1->Text(), "  +100.310.5");
}

// Calculate with a length, temperature or custom coefficient that is no
// number: the conversion message and no result; typing the same leaves the
// results empty without a message.
TEST_F(Tools, CalculateReportsEveryFieldThatIsNoNumber)
{
    struct TRow {
        int Line;
        TEdit* TfTessvar::*Field;
        const char* Text;
    } rows[] = {
        {1, &TfTessvar::eLung1, "1O0"},
        {2, &TfTessvar::eTemp1, "3O"},
        {3, &TfTessvar::eCoExp1, "1O"},
        {4, &TfTessvar::eLung1, "1,0.0"},
    };
    for (const TRow& row : rows) {
        Choose(fTessvar->cMaterial, 10); // custom
        fTessvar->eCoExp1->SetText("11.5");
        Thermal("100", "30", 0, 10);
        ClickButton(fTessvar->bCalc1);
        ASSERT_EQ(fTessvar->eDlung1->Text(), "  +000.011.5") << "row " << row.Line;
        Messages->Service().Shown.clear();

        Type(fTessvar->*row.Field, QString::fromLatin1(row.Text));
        EXPECT_TRUE(Messages->Shown().empty()) << "row " << row.Line;
        ClickButton(fTessvar->bCalc1);
        ASSERT_EQ(Messages->Shown().size(), 1u) << "row " << row.Line;
        EXPECT_EQ(Messages->Shown()[0].Text,
                  QStringLiteral("'%1' is not a valid floating point value").arg(QString::fromLatin1(row.Text)))
            << "row " << row.Line;
        EXPECT_EQ(fTessvar->eDlung1->Text(), "") << "row " << row.Line;
        EXPECT_EQ(fTessvar->eLungStd1->Text(), "") << "row " << row.Line;
    }
}

// A unit flip changes no length of the thermal tool: calculated in mm,
// flipped to inch and calculated there (the inch texts just shown stay),
// flipped back: the mm texts again. Calculate takes the length the window
// holds for its text (read back from its inch text, 100 mm came back as
// 100.000054 mm and the length at 20 degC as +099.988.6). Both calculators.
TEST_F(Tools, AUnitFlipChangesNoThermalLength)
{
    for (int calculator : {1, 2}) {
        fTessvar->rMM->SetChecked(true);
        const TThermalTool c = ThermalTool(calculator);
        const auto shown = [&c] { return QStringList({c.Length->Text()}) + Results(c); };
        Type(c.Length, "100");
        Type(c.Temperature, "30");
        ClickButton(c.Calculate);
        const QStringList mm = shown();
        ASSERT_EQ(mm, QStringList({"  +100.000.0", "  +099.988.5", "  +000.011.5"})) << calculator;

        fTessvar->rINCH->SetChecked(true);
        const QStringList inch = shown();
        ClickButton(c.Calculate);
        EXPECT_EQ(shown(), inch) << calculator;
        EXPECT_EQ(Value(c.Length), 100.0) << calculator;

        fTessvar->rMM->SetChecked(true);
        EXPECT_EQ(shown(), mm) << calculator;
        ClickButton(c.Calculate);
        EXPECT_EQ(shown(), mm) << calculator;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

// Whatever input changes, the results are those of the inputs on screen,
// with no click: L20 = L - (T - 20) x L x alpha x 1e-6, at 30 degC on 100 mm
// the variation is alpha x 1e-3 mm. A custom coefficient that is no number
// leaves no result, without a box. Both calculators.
TEST_F(Tools, ThermalResultsFollowEveryInput)
{
    enum Action { TypeLength, TypeCoefficient, PickMaterial };
    struct TRow {
        int Line;
        Action Do;
        const char* Text; // what is typed
        int Material;     // what is picked
        const char* LengthAt20;
        const char* Variation;
    } rows[] = {
        {1, PickMaterial, "", 1, "  +099.976.4", "  +000.023.6"},  // Alluminum 23.6
        {2, PickMaterial, "", 4, "  +099.984.0", "  +000.016.0"},  // Inox 16.0
        {3, PickMaterial, "", 10, "  +099.984.0", "  +000.016.0"}, // custom keeps "16.0"
        {4, TypeCoefficient, "20", 0, "  +099.980.0", "  +000.020.0"},
        {5, TypeCoefficient, "2x", 0, "", ""},
        {6, TypeCoefficient, "", 0, "", ""},
        {7, TypeCoefficient, "11.5", 0, "  +099.988.5", "  +000.011.5"},
        {8, PickMaterial, "", 2, "  +099.995.5", "  +000.004.5"}, // Carbide 4.5
        {9, PickMaterial, "", 0, "  +099.988.5", "  +000.011.5"}, // Steel 11.5
        // 200 mm of steel: dL = 10 x 200 x 11.5e-6 = 0.023 mm.
        {10, TypeLength, "200", 0, "  +199.977.0", "  +000.023.0"},
        {11, TypeLength, "2O0", 0, "", ""},
        {12, TypeLength, "", 0, "", ""},
        {13, TypeLength, "100", 0, "  +099.988.5", "  +000.011.5"},
    };
    for (int calculator : {1, 2}) {
        const TThermalTool c = ThermalTool(calculator);
        Type(c.Length, "100");
        Type(c.Temperature, "30");
        ASSERT_EQ(Results(c), QStringList({"  +099.988.5", "  +000.011.5"})) << calculator;
        for (const TRow& row : rows) {
            if (row.Do == PickMaterial)
                Choose(c.Material, row.Material);
            else
                Type(row.Do == TypeLength ? c.Length : c.Coefficient, QString::fromLatin1(row.Text));
            EXPECT_EQ(Results(c), QStringList({row.LengthAt20, row.Variation}))
                << "calculator " << calculator << " row " << row.Line;
            // A length being typed is not written over under the user's keys.
            if (row.Do == TypeLength) {
                EXPECT_EQ(c.Length->Text(), QString::fromLatin1(row.Text))
                    << calculator << " row " << row.Line;
            }
        }
        EXPECT_EQ(c.Coefficient->Text(), "11.5");
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

// An input typed while another is missing computes nothing and asks for
// nothing; the results come when the last input does, from the material
// picked meanwhile.
TEST_F(Tools, ThermalInputsTypedWhileOneIsMissing)
{
    for (int calculator : {1, 2}) {
        const TThermalTool c = ThermalTool(calculator);
        Type(c.Temperature, "");
        Type(c.Length, "150");
        EXPECT_EQ(Results(c), QStringList({"", ""})) << calculator;

        Type(c.Temperature, "30");
        Type(c.Length, "");
        Choose(c.Material, 10);
        Type(c.Coefficient, "12");
        EXPECT_EQ(Results(c), QStringList({"", ""})) << calculator;
        Choose(c.Material, 1);
        EXPECT_EQ(Results(c), QStringList({"", ""})) << calculator;
        Type(c.Length, "100");
        EXPECT_EQ(Results(c), QStringList({"  +099.976.4", "  +000.023.6"})) << calculator;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

// The unit flip rewrites the length in inch and computes nothing; a
// material picked then computes from the 100 mm held, not from its inch
// text (which reads back as 100.000054 mm). Aluminium at 30 degC: 99.9764
// mm = 3.936079 in and 0.0236 mm = 0.000929 in, shown in steps of 5
// millionths.
TEST_F(Tools, AMaterialPickedAfterAUnitFlipComputesFromTheLengthHeld)
{
    for (int calculator : {1, 2}) {
        fTessvar->rMM->SetChecked(true);
        const TThermalTool c = ThermalTool(calculator);
        Choose(c.Material, 0);
        Type(c.Length, "100");
        Type(c.Temperature, "30");
        fTessvar->rINCH->SetChecked(true);
        const QString lengthText = c.Length->Text();
        EXPECT_EQ(lengthText, "  +03.937010") << calculator;

        Choose(c.Material, 1);
        EXPECT_EQ(Results(c), QStringList({"  +03.936080", "  +00.000930"})) << calculator;
        EXPECT_DOUBLE_EQ(Value(c.LengthAt20), 100 - 10 * 100 * 23.6e-6) << calculator;
        EXPECT_DOUBLE_EQ(Value(c.Variation), 10 * 100 * 23.6e-6) << calculator;
        EXPECT_EQ(c.Length->Text(), lengthText) << calculator;
        EXPECT_EQ(Value(c.Length), 100.0) << calculator;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

// The thermal tool has no result for a part that cannot be: a length
// below 0, or a temperature below absolute zero (-273.15 degC, -459.67
// degF). Typed, either leaves both results empty without a box; Calculate
// says why in the program's words, the length first, and shows none. A
// length of 0 and absolute zero itself compute, absolute zero with the
// warning of extreme temperatures. In mm and in inch, both calculators.
// (-100 mm was brought back to 20 degC; at -300 degC the warning came,
// then the results.)
TEST_F(Tools, ThermalRefusesAPartThatCannotBe)
{
    enum { C, F };
    const char* const Extreme = "Temperature Estreme: il risulato non \u00E8 accurato";
    struct TRow {
        int Line;
        bool Inch;
        const char* Length;
        int Unit;
        const char* Temperature;
        bool Computed;
        double Variation;    // mm, when computed
        const char* Message; // the box of Calculate; null for none
    } rows[] = {
        {1, false, "0", C, "30", true, 0.0, nullptr},
        {2, false, "-0.0001", C, "30", false, 0, "Length not valid"},
        {3, false, "-100", C, "30", false, 0, "Length not valid"},
        {4, true, "0", F, "86", true, 0.0, nullptr},
        {5, true, "-0.000005", C, "30", false, 0, "Length not valid"},
        {6, true, "-4", F, "86", false, 0, "Length not valid"},
        // Steel, 100 mm at absolute zero: dL = -293.15 K x 100 mm x 11.5e-6.
        {7, false, "100", C, "-273.15", true, -0.3371225, Extreme},
        {8, false, "100", C, "-273.16", false, 0, "Temperature below absolute zero"},
        {9, true, "4", C, "-300", false, 0, "Temperature below absolute zero"},
        {10, false, "100", F, "-459.67", true, -0.3371225, Extreme},
        {11, false, "100", F, "-459.68", false, 0, "Temperature below absolute zero"},
        {12, false, "-100", C, "-300", false, 0, "Length not valid"},
    };
    for (int calculator : {1, 2}) {
        const TThermalTool c = ThermalTool(calculator);
        for (const TRow& row : rows) {
            const std::string where = std::to_string(calculator) + " row " + std::to_string(row.Line);
            (row.Inch ? fTessvar->rINCH : fTessvar->rMM)->SetChecked(true);
            Choose(c.TemperatureUnit, row.Unit);
            Type(c.Length, "100");
            Type(c.Temperature, "86");
            ASSERT_NE(c.Variation->Text(), "") << where;
            Messages->Service().Shown.clear();

            Type(c.Length, QString::fromLatin1(row.Length));
            Type(c.Temperature, QString::fromLatin1(row.Temperature));
            EXPECT_TRUE(Messages->Shown().empty()) << where;
            EXPECT_EQ(c.Variation->Text().isEmpty(), !row.Computed) << where;
            ClickButton(c.Calculate);
            if (row.Computed) {
                EXPECT_NEAR(Value(c.Variation), row.Variation, 1e-9) << where;
            } else {
                EXPECT_EQ(Results(c), QStringList({"", ""})) << where;
                EXPECT_TRUE(std::isnan(Value(c.Variation))) << where;
            }
            ASSERT_EQ(Messages->Shown().size(), row.Message ? 1u : 0u) << where;
            if (row.Message) {
                EXPECT_EQ(Messages->Shown()[0].Text, QString::fromUtf8(row.Message)) << where;
                EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION") << where;
            }
        }
        Choose(c.TemperatureUnit, C);
    }
}

// Absolute zero is -273.15 degC = -459.67 degF = 0 K: a source below it in
// its unit has no conversion (-300 degC gave -508 degF). Typed, the target
// stays empty without a box, which would take the next key; Enter says why,
// as choosing a target unit does. Absolute zero itself converts.
TEST_F(Tools, ATemperatureBelowAbsoluteZeroIsNotConverted)
{
    enum { C, F, K };
    struct TRow {
        int Line;
        int From;
        int To;
        const char* Source;
        const char* Target; // null: refused
    } rows[] = {
        {1, C, F, "-273.15", "-459.67"}, {2, C, F, "-273.16", nullptr}, {3, C, K, "-300", nullptr},
        {4, F, C, "-459.67", "-273.15"}, {5, F, K, "-459.68", nullptr}, {6, F, C, "-1000", nullptr},
        {7, K, C, "0", "-273.15"},       {8, K, F, "-0.01", nullptr},   {9, F, K, "-459.67", "0"},
    };
    const TConverter c = Temperature();
    for (const TRow& row : rows) {
        c.SourceUnit->SetItemIndex(row.From);
        c.TargetUnit->SetItemIndex(row.To);
        Type(c.Source, "20");
        ASSERT_NE(c.Target->Text(), "") << "row " << row.Line;
        Messages->Service().Shown.clear();

        Type(c.Source, QString::fromLatin1(row.Source));
        PressEnter(c.Source);
        if (row.Target) {
            EXPECT_EQ(c.Target->Text(), QString::fromLatin1(row.Target)) << "row " << row.Line;
            EXPECT_TRUE(Messages->Shown().empty()) << "row " << row.Line;
            continue;
        }
        EXPECT_EQ(c.Target->Text(), "") << "row " << row.Line;
        ASSERT_EQ(Messages->Shown().size(), 1u) << "row " << row.Line;
        EXPECT_EQ(Messages->Shown()[0].Text, "Temperature below absolute zero") << "row " << row.Line;
        EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION");
        Choose(c.TargetUnit, row.To);
        EXPECT_EQ(c.Target->Text(), "") << "row " << row.Line;
        EXPECT_EQ(Messages->Shown().size(), 2u) << "row " << row.Line;
    }
    // Typing alone shows no box.
    Messages->Service().Shown.clear();
    Type(c.Source, "-500");
    EXPECT_EQ(c.Target->Text(), "");
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
