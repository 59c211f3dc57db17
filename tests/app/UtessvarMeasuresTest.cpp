// The measuring tab: theoretical wire, measurement over wires, arms and
// T-sphere, tolerances over wires, and which Go and No-go fields show.
#include "tests/app/AppFixture.h"

#include "app/core/Uconvert.h"
#include "platform/rtl/Exceptions.h"
#include "tests/support/Screenshot.h"

#include <cmath>
#include <string>
#include <utility>

namespace {

class Measures : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        StartProgram();
        PickTab(fTessvar->pTab, 1);
    }
    // An M10x1.5 thread and its best wire.
    void Thread()
    {
        Type(fTessvar->eTD, "10");
        Type(fTessvar->eCP, "1.5");
        Type(fTessvar->eAD, "0.866");
    }
    // A thread typed in, lengths in the unit of the tab.
    static void Thread(const char* D, const char* P, const char* semiAngle1, const char* semiAngle2,
                       const char* wire, const char* starts)
    {
        Type(fTessvar->eTD, D);
        Type(fTessvar->eCP, P);
        Type(fTessvar->eCA, semiAngle1);
        Type(fTessvar->eAG, semiAngle2);
        Type(fTessvar->eAD, wire);
        Type(fTessvar->eNP, starts);
    }
    // The Go readings "meas.over wires" shows in its window.
    static std::pair<QString, QString> OverWires()
    {
        std::pair<QString, QString> readings;
        EXPECT_TRUE(WhileModal(
            fQfili, [] { ClickButton(fTessvar->bQfili); },
            [&] {
                readings = {fQfili->eTsupP->Text(), fQfili->eTinfP->Text()};
            }));
        return readings;
    }
    // A gauge with a No-go side copied in by a process window.
    void GoAndNoGo()
    {
        fTessvar->pTab->SetActivePageIndex(0);
        fTessvar->lTP->Show();
        fTessvar->lTNP->Show();
        fTessvar->pTab->SetActivePageIndex(1);
    }
};

TEST_F(Measures, TheoreticalWireOfAThirtyDegreeFlank)
{
    // P x 0.57735 (P / sqrt 3) for 30 and 30 degrees: 1.5 mm gives 0.866 mm.
    // The list holds the wire itself; its text is the wire rounded.
    Type(fTessvar->eCP, "1.5");
    ClickButton(fTessvar->bFiloTeor);
    EXPECT_EQ(fTessvar->eFiloTeor->Text(), "  +000.866.0");
    EXPECT_NEAR(Value(fTessvar->eFiloTeor), 1.5 / std::sqrt(3.0), 1e-12);

    // In inch the pitch is typed and the wire shown in inch: 0.1 in gives
    // 0.057735 in (2.54 mm x 0.57735 = 1.46647 mm).
    fTessvar->rINCH->SetChecked(true);
    Type(fTessvar->eCP, "0.1");
    ClickButton(fTessvar->bFiloTeor);
    EXPECT_EQ(fTessvar->eFiloTeor->Text(), "  +00.057735");
    EXPECT_NEAR(Value(fTessvar->eFiloTeor), 1.46647, 1e-4);
}

TEST_F(Measures, PitchDiameterOverThreeWires)
{
    // M10x1.5 with its best wire: the pitch diameter 9.026 mm reads about
    // M = E + 3d - 0.866 P = 10.325 mm (the lead-angle and contact
    // corrections stay below 3 micrometres here).
    Thread();
    Type(fTessvar->eRead, "10.325");
    fTessvar->cSpecial->SetChecked(false);
    ClickButton(fTessvar->Button1);
    EXPECT_NEAR(Value(fTessvar->eResult), 9.026, 0.003);
    EXPECT_TRUE(Messages->Shown().empty());

    // An empty reading computes nothing.
    Type(fTessvar->eRead, "");
    fTessvar->eResult->SetText(QString());
    ClickButton(fTessvar->Button1);
    EXPECT_EQ(fTessvar->eResult->Text(), "");

    // A semi-angle that is not a number is reported; nothing is written.
    Type(fTessvar->eRead, "10.325");
    fTessvar->eCA->SetText("3O");
    EXPECT_THROW(fTessvar->Button1Click(fTessvar->Button1), EConvertError);
    EXPECT_EQ(fTessvar->eResult->Text(), "");
}

TEST_F(Measures, NoWireStopsTheCalculationAtTheMessage)
{
    GoAndNoGo();
    Thread();
    Type(fTessvar->eAD, "0");
    Type(fTessvar->eRead, "10.3");
    Type(fTessvar->eReadNP, "10.4");
    ClickButton(fTessvar->Button1);
    ClickButton(fTessvar->Button2);
    EXPECT_EQ(fTessvar->eResult->Text(), "");
    EXPECT_EQ(fTessvar->eResultNP->Text(), "");
    ASSERT_EQ(Messages->Shown().size(), 2u);
    EXPECT_EQ(Messages->Shown()[0].Text, "Wire size not valid");
    EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION");
    EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::Question);
}

TEST_F(Measures, NoGoUsesTheMethodOfThePage)
{
    GoAndNoGo();
    Thread();
    // (A reading of 8.2 gave 7.73 here, below the minor diameter 8.376 of
    // the nut: no measurement of this thread, now refused.)
    for (int page : {1, 2}) { // arms, T-sphere
        PickTab(fTessvar->pcConvert, page);
        Type(fTessvar->eRead, "9.4914");
        Type(fTessvar->eReadNP, "9.4914");
        ClickButton(fTessvar->Button1);
        ClickButton(fTessvar->Button2);
        EXPECT_EQ(fTessvar->eResultNP->Text(), fTessvar->eResult->Text()) << page;
        EXPECT_NE(fTessvar->eResult->Text(), "") << page;
    }
}

TEST_F(Measures, SpherePagesRelabelTheWireFields)
{
    PickTab(fTessvar->pcConvert, 2);
    EXPECT_EQ(fTessvar->gbFilo->Caption(), "SPHERE");
    EXPECT_EQ(fTessvar->bFiloTeor->Caption(), "Calc Theoretical Sphere");
    EXPECT_EQ(fTessvar->lFilo->Caption(), "Reading on Sphere");
    EXPECT_FALSE(fTessvar->cSpecial->Visible());
    EXPECT_FALSE(fTessvar->bQfili->Visible());
    PickTab(fTessvar->pcConvert, 0);
    EXPECT_EQ(fTessvar->gbFilo->Caption(), "WIRE");
    EXPECT_EQ(fTessvar->bFiloTeor->Caption(), "Calc Theoretical Wire");
    EXPECT_EQ(fTessvar->lFilo->Caption(), "Reading on Wire");
    EXPECT_TRUE(fTessvar->cSpecial->Visible());
    EXPECT_TRUE(fTessvar->bQfili->Visible());
}

TEST_F(Measures, GoAndNoGoFieldsShowAfterAGaugeIsCopiedIn)
{
    TControl* noGo[] = {fTessvar->eTsupNP, fTessvar->eTinfNP,   fTessvar->lTNP2,
                        fTessvar->eReadNP, fTessvar->eResultNP, fTessvar->Button2};
    for (TControl* control : noGo)
        EXPECT_FALSE(control->Visible()) << control->Name().toStdString();
    EXPECT_FALSE(fTessvar->lTP2->Visible());
    EXPECT_TRUE(fTessvar->eRead->Visible());

    // A process window shows lTP and lTNP and switches to this page.
    GoAndNoGo();
    for (TControl* control : noGo)
        EXPECT_TRUE(control->Visible()) << control->Name().toStdString();
    EXPECT_TRUE(fTessvar->lTP2->Visible());

    // Any other tab puts the plain layout back.
    PickTab(fTessvar->pTab, 2);
    for (TControl* control : noGo)
        EXPECT_FALSE(control->Visible()) << control->Name().toStdString();
    EXPECT_FALSE(fTessvar->lTP->Visible());
    EXPECT_FALSE(fTessvar->lTNP->Visible());
    EXPECT_TRUE(fTessvar->Button1->Visible());
}

TEST_F(Measures, TolerancesOverWires)
{
    // M10x1.5, wire 0.866, deformation compensated: pitch diameter about
    // reading - 1.299 (C = P / (2 tan 30) - 3 d = 1.29904 - 2.598), less 3
    // um for the lead angle and the flattening of wires and flanks.
    Thread();
    Type(fTessvar->eTsupP, "9.026");
    Type(fTessvar->eTinfP, "8.886");
    EXPECT_EQ(OverWires(), std::make_pair(QStringLiteral("  +010.322.0"), QStringLiteral("  +010.182.1")));
    EXPECT_FALSE(fQfili->eTsupNP->Visible() || fQfili->lTNP->Visible());
    EXPECT_TRUE(Messages->Shown().empty());

    // An empty limit that is shown: nothing happens.
    Type(fTessvar->eTinfP, "");
    EXPECT_FALSE(WhileModal(fQfili, [] { ClickButton(fTessvar->bQfili); }));

    // What Calculate refuses, or no wire, or a wire of no size: the message
    // and no window.
    Type(fTessvar->eTinfP, "8.886");
    const struct {
        TEdit* Field;
        const char* Text;
        const char* Message;
    } refusals[] = {
        {fTessvar->eAD, "", "Specify the wire size"},
        {fTessvar->eAD, "0", "Wire size not valid"},
        {fTessvar->eNP, "0", "Wire size not valid"},
        {fTessvar->eTD, "", "Specify the diameter"},
        {fTessvar->eForce, "", "Specify the measure force"},
        // A limit that is no number is no limit.
        {fTessvar->eTinfP, "8.8B6", "'8.8B6' is not a valid floating point value"},
    };
    for (const auto& refusal : refusals) {
        const QString before = refusal.Field->Text();
        Messages->Service().Shown.clear();
        Type(refusal.Field, QString::fromLatin1(refusal.Text));
        EXPECT_FALSE(WhileModal(fQfili, [] { ClickButton(fTessvar->bQfili); })) << refusal.Message;
        ASSERT_EQ(Messages->Shown().size(), 1u) << refusal.Message;
        EXPECT_EQ(Messages->Shown()[0].Text, QString::fromLatin1(refusal.Message));
        Type(refusal.Field, before);
    }

    // A limit below the band of pitch diameters (7.75 mm here) has no
    // reading; the other limit keeps its own.
    Messages->Service().Shown.clear();
    Type(fTessvar->eTinfP, "7.74");
    EXPECT_EQ(OverWires(), std::make_pair(QStringLiteral("  +010.322.0"), QString()));
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "No reading over wires gives this limit");
    EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION");

    // 6 x 2 with 8 starts, a lead of 16 mm on 6 mm: the conversion gives no
    // pitch diameter that rises with the reading near these limits. The
    // window shows without the readings, after the message.
    Messages->Service().Shown.clear();
    Thread("6", "2", "30", "30", "1.1547", "8");
    Type(fTessvar->eTsupP, "4.70");
    Type(fTessvar->eTinfP, "4.65");
    EXPECT_EQ(OverWires(), std::make_pair(QString(), QString()));
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "No reading over wires gives this limit");
}

// Each reading "meas.over wires" shows is one that Calculate turns into its
// limit, within a step of the readout, and a reading half way between the
// two lies inside the tolerance: threads whose lead angle or flattening
// matters, in mm and in inch, deformation compensated and not. (The
// readings were the limits less a fixed difference: a reading at the shown
// Go limit of the five starts gave 42 um less.)
TEST_F(Measures, ReadingsOverWiresGiveTheLimitsBack)
{
    const struct {
        const char* Name;
        bool Inch;
        const char *D, *P, *A1, *A2, *Wire, *Starts, *Upper, *Lower;
    } threads[] = {
        {"1/4-20 UNC", false, "6.35", "1.27", "30", "30", "0.7332", "1", "5.5245", "5.4331"},
        {"1/4-20 UNC in", true, "0.25", "0.05", "30", "30", "0.02887", "1", "0.2175", "0.2139"},
        {"BSW 1/2-12", false, "12.7", "2.116667", "27.5", "27.5", "1.1931", "1", "11.3448", "11.3300"},
        {"BSW 1/2-12 x 2", false, "12.7", "2.116667", "27.5", "27.5", "1.1931", "2", "11.3448", "11.3300"},
        {"2-8 buttress", false, "50.8", "3.175", "45", "7", "1.6229", "1", "49.40", "49.35"},
        {"40 x 3 x 5", false, "40", "3", "15", "15", "1.5529", "5", "38.52", "38.49"},
    };
    for (const auto& thread : threads) {
        (thread.Inch ? fTessvar->rINCH : fTessvar->rMM)->SetChecked(true);
        // One step of the readout (mm), and what its decimals add.
        const double step = (thread.Inch ? 0.000005 * 25.4 : 0.0001) + 1e-9;
        Thread(thread.D, thread.P, thread.A1, thread.A2, thread.Wire, thread.Starts);
        Type(fTessvar->eTsupP, thread.Upper);
        Type(fTessvar->eTinfP, thread.Lower);
        const double upper = Value(fTessvar->eTsupP);
        const double lower = Value(fTessvar->eTinfP);
        for (const bool compensate : {false, true}) {
            const std::string name = std::string(thread.Name) + (compensate ? " compensated" : "");
            fTessvar->cSpecial->SetChecked(compensate);
            const auto [upperText, lowerText] = OverWires();
            const auto calculate = [](const QString& reading) {
                Type(fTessvar->eRead, reading);
                ClickButton(fTessvar->Button1);
                return Value(fTessvar->eResult);
            };
            EXPECT_NEAR(calculate(upperText), upper, step) << name;
            const double upperReading = Value(fTessvar->eRead);
            EXPECT_NEAR(calculate(lowerText), lower, step) << name;
            const double inUnit = thread.Inch ? 25.4 : 1;
            const double middleReading = (upperReading + Value(fTessvar->eRead)) / 2 / inUnit;
            const double middle = calculate(fTessvar->MainDisplay.FormatValue(middleReading));
            EXPECT_TRUE(middle > lower && middle < upper) << name << ": " << middle;
            EXPECT_TRUE(Messages->Shown().empty()) << name;
        }
    }
}

// Every road of the measuring tab that has no pitch diameter to show ends in
// a message and an empty result, never in a number: the engine's fallback,
// the reading handed back, or a length read as 0. Each row starts from a
// shown result of M10x1.5 over 0.866 wires, which must go.
TEST_F(Measures, EveryFailureEndsInAMessageAndAnEmptyResult)
{
    enum { Wire, Arms, Sphere };
    struct TRow {
        int Line;
        int Page;
        TEdit* TfTessvar::*Field;
        const char* Text;
        const char* Message;
    } rows[] = {
        // Lengths that are no number: the conversion error.
        {1, Wire, &TfTessvar::eTD, "1O", "'1O' is not a valid floating point value"},
        {2, Wire, &TfTessvar::eRead, "abc", "'abc' is not a valid floating point value"},
        {3, Wire, &TfTessvar::eCP, "1,5.", "'1,5.' is not a valid floating point value"},
        {4, Wire, &TfTessvar::eAD, "O.866", "'O.866' is not a valid floating point value"},
        {5, Wire, &TfTessvar::eCA, "3O", "'3O' is not a valid floating point value"},
        {6, Wire, &TfTessvar::eForce, "1,O", "'1,O' is not a valid floating point value"},
        // Required lengths left empty: what is missing.
        {7, Wire, &TfTessvar::eTD, "", "Specify the diameter"},
        {8, Wire, &TfTessvar::eCP, "", "Specify the pitch"},
        {9, Wire, &TfTessvar::eAD, "", "Specify the wire size"},
        {10, Sphere, &TfTessvar::eAD, "", "Specify the sphere size"},
        {16, Wire, &TfTessvar::eCA, "", "Specify the semi-angles"},
        {17, Arms, &TfTessvar::eAG, " ", "Specify the semi-angles"},
        {18, Sphere, &TfTessvar::eForce, "", "Specify the measure force"},
        {19, Wire, &TfTessvar::eNP, "", "Specify the number of starts"},
        // Readings the probe cannot give: below the wire, arms spanning
        // less than half a pitch, a sphere that reaches no flank (the
        // square root of a negative number), each named by its probe.
        {11, Wire, &TfTessvar::eRead, "0.5", "Reading not valid for this thread and wire"},
        {12, Arms, &TfTessvar::eRead, "1", "Reading not valid for this thread and arms"},
        {13, Sphere, &TfTessvar::eNP, "1000", "Reading not valid for this thread and sphere"},
        // The engine's fallback: the deformation of a thread too small for
        // its wire.
        {14, Wire, &TfTessvar::eTD, "0.3", "Pitch diameter not calculable for this reading"},
        // The wire-size check as it was.
        {15, Wire, &TfTessvar::eAD, "0", "Wire size not valid"},
    };
    for (const TRow& row : rows) {
        PickTab(fTessvar->pcConvert, row.Page);
        Thread();
        fTessvar->eCA->SetText("30");
        fTessvar->eAG->SetText("30");
        fTessvar->eNP->SetText("1");
        fTessvar->eForce->SetText("1");
        Type(fTessvar->eRead, row.Page == Wire ? "10.325" : "9.4914");
        ClickButton(fTessvar->Button1);
        ASSERT_NE(fTessvar->eResult->Text(), "") << "row " << row.Line;
        Messages->Service().Shown.clear();

        TEdit* field = fTessvar->*row.Field;
        field->SetText(QString::fromLatin1(row.Text));
        ClickButton(fTessvar->Button1);
        EXPECT_EQ(fTessvar->eResult->Text(), "") << "row " << row.Line;
        EXPECT_TRUE(std::isnan(Value(fTessvar->eResult))) << "row " << row.Line;
        ASSERT_EQ(Messages->Shown().size(), 1u) << "row " << row.Line;
        EXPECT_EQ(Messages->Shown()[0].Text, QString::fromLatin1(row.Message)) << "row " << row.Line;
    }

    // The No-go side alike; an empty reading there computes nothing.
    GoAndNoGo();
    PickTab(fTessvar->pcConvert, Wire);
    Thread();
    Type(fTessvar->eReadNP, "10.4");
    ClickButton(fTessvar->Button2);
    ASSERT_NE(fTessvar->eResultNP->Text(), "");
    Messages->Service().Shown.clear();
    Type(fTessvar->eReadNP, "0.5");
    ClickButton(fTessvar->Button2);
    EXPECT_EQ(fTessvar->eResultNP->Text(), "");
    Type(fTessvar->eReadNP, "");
    ClickButton(fTessvar->Button2);
    EXPECT_EQ(fTessvar->eResultNP->Text(), "");
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "Reading not valid for this thread and wire");

    // The theoretical wire needs the pitch.
    Type(fTessvar->eCP, "");
    fTessvar->eFiloTeor->SetText("  +000.866.0");
    ClickButton(fTessvar->bFiloTeor);
    EXPECT_EQ(fTessvar->eFiloTeor->Text(), "");
    EXPECT_EQ(Messages->Shown().back().Text, "Specify the pitch");
}

// A measuring force below 0 is no force a probe can apply: every page
// refuses it as it refuses a wire below 0, on the Go and the No-go side and
// for the readings over wires, with its message and no result (the engine
// gave 9.0379 for 10.325 over three wires at -5, deformation compensated).
// A force of 0, no flattening, computes.
TEST_F(Measures, ANegativeForceIsRefusedAsANegativeWire)
{
    enum { Wire, Arms, Sphere };
    struct TRow {
        int Line;
        int Page;
        bool Compensate;
        const char* Wire;
        const char* Force;
        const char* Message; // null: computed
    } rows[] = {
        {1, Wire, false, "0.866", "0", nullptr},
        {2, Wire, true, "0.866", "-5", "Measure force not valid"},
        {3, Wire, false, "0.866", "-0.001", "Measure force not valid"},
        {4, Wire, true, "-0.866", "1", "Wire size not valid"},
        {5, Arms, false, "0.866", "0", nullptr},
        {6, Arms, false, "0.866", "-5", "Measure force not valid"},
        {7, Sphere, false, "0.866", "0", nullptr},
        {8, Sphere, false, "0.866", "-0.001", "Measure force not valid"},
    };
    GoAndNoGo();
    for (const TRow& row : rows) {
        PickTab(fTessvar->pcConvert, row.Page);
        Thread();
        fTessvar->cSpecial->SetChecked(row.Compensate);
        Type(fTessvar->eAD, QString::fromLatin1(row.Wire));
        Type(fTessvar->eForce, QString::fromLatin1(row.Force));
        const QString reading = row.Page == Wire ? QStringLiteral("10.325") : QStringLiteral("9.4914");
        Type(fTessvar->eRead, reading);
        Type(fTessvar->eReadNP, reading);
        Messages->Service().Shown.clear();
        ClickButton(fTessvar->Button1);
        ClickButton(fTessvar->Button2);
        if (!row.Message) {
            EXPECT_NE(fTessvar->eResult->Text(), "") << "row " << row.Line;
            EXPECT_NE(fTessvar->eResultNP->Text(), "") << "row " << row.Line;
            EXPECT_TRUE(Messages->Shown().empty()) << "row " << row.Line;
            continue;
        }
        EXPECT_EQ(fTessvar->eResult->Text(), "") << "row " << row.Line;
        EXPECT_EQ(fTessvar->eResultNP->Text(), "") << "row " << row.Line;
        ASSERT_EQ(Messages->Shown().size(), 2u) << "row " << row.Line;
        for (const auto& shown : Messages->Shown()) {
            EXPECT_EQ(shown.Text, QString::fromLatin1(row.Message)) << "row " << row.Line;
            EXPECT_EQ(shown.Caption, "ATTENTION") << "row " << row.Line;
        }
    }

    // The readings over wires are those Calculate gives: none at -5.
    PickTab(fTessvar->pcConvert, Wire);
    Type(fTessvar->eForce, "-5");
    Type(fTessvar->eTsupP, "9.026");
    Type(fTessvar->eTinfP, "8.886");
    Type(fTessvar->eTsupNP, "9.2");
    Type(fTessvar->eTinfNP, "9.1");
    Messages->Service().Shown.clear();
    EXPECT_FALSE(WhileModal(fQfili, [] { ClickButton(fTessvar->bQfili); }));
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "Measure force not valid");
}

// The deformation correction of M10x1.5 over 0.866 steel wires (reading
// 10.325) at the force typed, in the unit the tab shows beside it. Source:
// the engine's Hertzian correction, which takes newtons: 1.02 um at 1 N,
// 4.66 um at 9.8 N (1 kgf); it grows with the force to the power 2/3.
TEST_F(Measures, DeformationCorrectionTakesTheForceInTheUnitShown)
{
    const TLabel* unit = FindOwned<TLabel>(fTessvar, QStringLiteral("Label11"));
    ASSERT_NE(unit, nullptr);
    double newtonsPerUnit = 0;
    if (unit->Caption() == "N")
        newtonsPerUnit = 1;
    else if (unit->Caption() == "kgf")
        newtonsPerUnit = 9.8;
    ASSERT_NE(newtonsPerUnit, 0) << unit->Caption().toStdString();

    // Readings to 0.01 um.
    fTessvar->MmResolution = 2;
    fTessvar->rMMClick(fTessvar->rMM);
    Thread();
    Type(fTessvar->eRead, "10.325");
    const auto correction = [](const char* force) {
        fTessvar->eForce->SetText(QString::fromLatin1(force));
        fTessvar->cSpecial->SetChecked(false);
        ClickButton(fTessvar->Button1);
        const double plain = Value(fTessvar->eResult);
        fTessvar->cSpecial->SetChecked(true);
        ClickButton(fTessvar->Button1);
        return (Value(fTessvar->eResult) - plain) * 1000; // um
    };
    const double atOneNewton_um = 1.02;
    for (const char* force : {"1", "2.5"}) {
        const double newtons = std::stod(force) * newtonsPerUnit;
        EXPECT_NEAR(correction(force), atOneNewton_um * std::pow(newtons, 2.0 / 3.0), 0.02) << force;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

// A unit switch shows both results in the new unit and back again, as the
// other lengths: it empties neither.
TEST_F(Measures, AUnitSwitchConvertsTheResults)
{
    GoAndNoGo();
    Thread();
    Type(fTessvar->eRead, "10.325");
    Type(fTessvar->eReadNP, "10.4");
    ClickButton(fTessvar->Button1);
    ClickButton(fTessvar->Button2);
    const QString goMm = fTessvar->eResult->Text();
    const QString noGoMm = fTessvar->eResultNP->Text();
    const double go = Value(fTessvar->eResult);
    const double noGo = Value(fTessvar->eResultNP);
    ASSERT_FALSE(std::isnan(go) || std::isnan(noGo));

    fTessvar->rINCH->SetChecked(true);
    EXPECT_NEAR(fTessvar->eResult->Text().toDouble(), go / 25.4, 0.0000025); // steps of 5 millionths
    EXPECT_NEAR(fTessvar->eResultNP->Text().toDouble(), noGo / 25.4, 0.0000025);
    EXPECT_EQ(Value(fTessvar->eResult), go);
    EXPECT_EQ(Value(fTessvar->eResultNP), noGo);
    fTessvar->rMM->SetChecked(true);
    EXPECT_EQ(fTessvar->eResult->Text(), goMm);
    EXPECT_EQ(fTessvar->eResultNP->Text(), noGoMm);
}

// M6 x 0.25, 5 starts, 9e: the bolt's limits are 5.5926 to 5.7926, 1.64 P
// under D at the lowest; 0.144 wires over 5.810 give 5.5940 (by hand,
// M - 3 d + 0.866 P = 5.5945, less 0.5 um for the lead angle of 1.25 mm on
// about 6 mm). The same reading on a single start is refused: its pitch
// diameter cannot lie 1.62 P under D.
TEST_F(Measures, AFineFiveStartThreadIsMeasured)
{
    Type(fTessvar->eTD, "6");
    Type(fTessvar->eCP, "0.25");
    Type(fTessvar->eAD, "0.144");
    Type(fTessvar->eNP, "5");
    fTessvar->cSpecial->SetChecked(false);
    Type(fTessvar->eRead, "5.810");
    ClickButton(fTessvar->Button1);
    EXPECT_TRUE(Messages->Shown().empty());
    EXPECT_EQ(fTessvar->eResult->Text(), "  +005.594.0");

    Type(fTessvar->eNP, "1");
    ClickButton(fTessvar->Button1);
    EXPECT_EQ(fTessvar->eResult->Text(), "");
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "Reading not valid for this thread and wire");
}

// Each page refuses what its probe cannot give on the thread of the tab,
// M10 x 1.5 at 30/30 degrees: a reading of 0 or below (the engine would
// take it as 0), one that leaves no gap between reading and probe (or, for
// the arms, a chord below half a pitch), a pitch of 0, and a reading whose
// pitch diameter lies outside 7.75 to 10.75 mm (1.5 pitches below to half a
// pitch above the diameter). The message names the page's probe; the
// result stays empty. The rows of the T-sphere with a sphere of 1 mm and of
// the arms are the readings a new user tried: 0.1, 0.5 and 1.2 gave
// -0.9351, -0.5431 and 1.0412 (sphere), 0.1 and 0 gave 1.5815 and 1.5954
// (arms); three wires over 20 gave 18.7053, and a pitch of 0 over 10.325
// gave 7.7314.
TEST_F(Measures, EachPageRefusesWhatItsProbeCannotGive)
{
    enum { Wire, Arms, Sphere };
    const char* const refusal[] = {"Reading not valid for this thread and wire",
                                   "Reading not valid for this thread and arms",
                                   "Reading not valid for this thread and sphere"};
    struct TRow {
        int Line;
        int Page;
        const char* Probe;
        const char* Reading;
        const char* Pitch;
    } rows[] = {
        {1, Wire, "0.866", "0", "1.5"},     {2, Wire, "0.866", "-0.5", "1.5"},
        {3, Wire, "0.866", "-10", "1.5"},   {4, Wire, "0.866", "0.866", "1.5"}, // no gap
        {5, Wire, "0.866", "3", "1.5"},     // 1.70: far below
        {6, Wire, "0.866", "20", "1.5"},    // 18.71: far above
        {7, Wire, "0.866", "10.325", "0"},  {8, Wire, "0.866", "10.325", "-1.5"},
        {9, Arms, "0.866", "0", "1.5"},     {10, Arms, "0.866", "-0.5", "1.5"},
        {11, Arms, "1", "0.1", "1.5"},      {12, Arms, "0.866", "1.6", "1.5"}, // chord below P / 2
        {13, Arms, "0.866", "2", "1.5"},    // 1.28: far below
        {14, Arms, "0.866", "20", "1.5"},   {15, Arms, "0.866", "9.4914", "0"},
        {16, Sphere, "1", "0", "1.5"},      {17, Sphere, "1", "-10", "1.5"},
        {18, Sphere, "1", "0.1", "1.5"},    {19, Sphere, "1", "0.5", "1.5"},
        {20, Sphere, "1", "1", "1.5"},      // no gap
        {21, Sphere, "1", "1.2", "1.5"},    // 1.04: far below
        {22, Sphere, "0.866", "20", "1.5"}, {23, Sphere, "0.866", "9.4914", "0"},
    };
    for (const TRow& row : rows) {
        PickTab(fTessvar->pcConvert, row.Page);
        Thread();
        Type(fTessvar->eRead, row.Page == Wire ? "10.325" : "9.4914");
        ClickButton(fTessvar->Button1);
        ASSERT_NE(fTessvar->eResult->Text(), "") << "row " << row.Line;
        Messages->Service().Shown.clear();

        Type(fTessvar->eAD, QString::fromLatin1(row.Probe));
        Type(fTessvar->eCP, QString::fromLatin1(row.Pitch));
        Type(fTessvar->eRead, QString::fromLatin1(row.Reading));
        ClickButton(fTessvar->Button1);
        EXPECT_EQ(fTessvar->eResult->Text(), "") << "row " << row.Line;
        ASSERT_EQ(Messages->Shown().size(), 1u) << "row " << row.Line;
        EXPECT_EQ(Messages->Shown()[0].Text, QString::fromLatin1(refusal[row.Page])) << "row " << row.Line;
    }
}

// The good readings of the three pages show the engine's pitch diameter to
// the last digit of the readout, on the Go and the No-go side: the checks
// of the tab take nothing from a measurement. Source: the values shown for
// these readings before the checks came (the engine itself is unchanged).
TEST_F(Measures, GoodReadingsShowTheEnginesPitchDiameter)
{
    GoAndNoGo();
    fTessvar->MmResolution = 2; // 0.01 um
    fTessvar->rMMClick(fTessvar->rMM);
    struct TRow {
        int Page;
        bool Compensate;
        const char* Reading;
        double Expected; // mm
    } rows[] = {
        {0, false, "10.325", 0}, {0, true, "10.325", 0}, {0, false, "10.4", 0},
        {1, false, "9.4914", 0}, {2, false, "9.4914", 0}, {2, false, "9.4587", 0},
    };
    for (TRow& row : rows) {
        PickTab(fTessvar->pcConvert, row.Page);
        Thread();
        fTessvar->cSpecial->SetChecked(row.Compensate);
        CONVERT engine;
        engine.SetForce(1, row.Page == 0 && row.Compensate ? 0 : 1);
        if (row.Page == 0)
            engine.SetThreeWire(10, 30, 30, 1.5, 0.866, 0, 1);
        else if (row.Page == 1)
            engine.SetArms(10, 30, 30, 1.5, 0.866, 0.0, 0, 0, 1);
        else
            engine.SetTSphere(10, 30, 30, 1.5, 0.866, 0.0, 0, 0, 1);
        row.Expected = engine.Convert(std::stod(row.Reading));
        ASSERT_EQ(engine.Status(), TConvertStatus::Computed);
        Type(fTessvar->eRead, QString::fromLatin1(row.Reading));
        Type(fTessvar->eReadNP, QString::fromLatin1(row.Reading));
        ClickButton(fTessvar->Button1);
        ClickButton(fTessvar->Button2);
        const QString shown = fTessvar->MainDisplay.FormatValue(row.Expected);
        EXPECT_EQ(fTessvar->eResult->Text(), shown) << row.Reading;
        EXPECT_EQ(fTessvar->eResultNP->Text(), shown) << row.Reading;
    }
    // The same digits as before the checks came.
    EXPECT_EQ(fTessvar->MainDisplay.FormatValue(rows[0].Expected), " +009.024.30");
    EXPECT_EQ(fTessvar->MainDisplay.FormatValue(rows[3].Expected), " +009.027.60");
    EXPECT_TRUE(Messages->Shown().empty());
}

// A unit flip changes no result of the tab: each page calculated in mm,
// flipped to inch and calculated there (the inch text just shown stays),
// flipped back: the mm texts again. The lengths are read as the values the
// window holds for its texts, and a result shown in inch is the held mm
// result rounded once. (Read back from their inch texts, M10 x 1.5 over
// 0.866 wires at 10.325 came back as +009.028.9.)
TEST_F(Measures, AUnitFlipChangesNoResult)
{
    GoAndNoGo();
    const struct {
        int Page; // 0 three wires, 1 arms, 2 T-sphere
        const char* Reading;
        const char* Result;
    } rows[] = {
        {0, "10.325", "  +009.029.0"},
        {1, "10.325", "  +009.863.8"},
        {2, "9.4914", "  +009.060.3"},
    };
    for (const auto& row : rows) {
        fTessvar->rMM->SetChecked(true);
        PickTab(fTessvar->pcConvert, row.Page);
        Thread();
        Type(fTessvar->eRead, row.Reading);
        Type(fTessvar->eReadNP, "10.4");
        const auto calculate = [] {
            ClickButton(fTessvar->Button1);
            ClickButton(fTessvar->Button2);
            ClickButton(fTessvar->bFiloTeor);
        };
        const auto texts = [] {
            return QStringList{fTessvar->eResult->Text(), fTessvar->eResultNP->Text(),
                               fTessvar->eFiloTeor->Text()};
        };
        calculate();
        ASSERT_EQ(fTessvar->eResult->Text(), row.Result) << row.Page;
        const QStringList mm = texts();
        const double result = Value(fTessvar->eResult);
        if (row.Page == 0)
            SaveScreenshot(fTessvar, QStringLiteral("main-measures-mm"));

        fTessvar->rINCH->SetChecked(true);
        const QStringList inch = texts();
        EXPECT_EQ(inch[0], fTessvar->MainDisplay.FormatValue(result / 25.4)) << row.Page;
        calculate();
        EXPECT_EQ(texts(), inch) << row.Page;
        EXPECT_EQ(Value(fTessvar->eResult), result) << row.Page;
        if (row.Page == 0)
            SaveScreenshot(fTessvar, QStringLiteral("main-measures-inch-calculated"));

        fTessvar->rMM->SetChecked(true);
        EXPECT_EQ(texts(), mm) << row.Page;
        if (row.Page == 0)
            SaveScreenshot(fTessvar, QStringLiteral("main-measures-flipped-back"));
        calculate();
        EXPECT_EQ(texts(), mm) << row.Page;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

// "meas.over wires" in inch reads the limits the window holds, not their
// inch texts: each reading it shows in inch and in mm is the same reading
// rounded once in each unit, and back in mm the readings are those of mm.
// (Read back from their inch texts, the limits moved the readings by up to
// a step of the inch readout.)
TEST_F(Measures, ReadingsOverWiresChangeWithNoUnitFlip)
{
    Thread();
    // Texts at the default resolutions stand for half a step either side
    // of their number: 0.05 um in mm, 0.0000025 in.
    const auto overlap = [](const QString& mm, const QString& inch) {
        return std::fabs(TextLength(mm, 0) - TextLength(inch, 1)) <= 0.00005 + 0.0000025 * 25.4 + 1e-12;
    };
    const std::pair<const char*, const char*> limits[] = {
        {"9.026", "8.886"},   {"9.0201", "8.8807"}, {"9.0123", "8.9012"}, {"9.0213", "8.8791"},
        {"9.0247", "8.8833"}, {"9.0188", "8.8904"}, {"9.0139", "8.8956"}, {"9.0176", "8.8865"},
    };
    for (const auto& [upper, lower] : limits) {
        fTessvar->rMM->SetChecked(true);
        Type(fTessvar->eTsupP, upper);
        Type(fTessvar->eTinfP, lower);
        const auto mm = OverWires();
        fTessvar->rINCH->SetChecked(true);
        const auto inch = OverWires();
        EXPECT_TRUE(overlap(mm.first, inch.first))
            << upper << ": " << mm.first.toStdString() << " " << inch.first.toStdString();
        EXPECT_TRUE(overlap(mm.second, inch.second))
            << lower << ": " << mm.second.toStdString() << " " << inch.second.toStdString();
        fTessvar->rMM->SetChecked(true);
        EXPECT_EQ(OverWires(), mm) << upper;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
