// What the process windows hand to the measuring tab and what a refused
// calculation leaves: the limits of every thread gauge type lie in the band
// of pitch diameters the tab accepts, only a current calculation is handed
// over, and a refused one leaves no tolerance text.
#include "app/core/Uconvert.h"
#include "app/core/Unan.h"
#include "gauges/Uprocesslayout.h"
#include "tests/gauges/ProcessRoad.h"

#include <QLocale>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

class UprocesscalcTest : public ProcessRoadTest {
protected:
    static void PickTabOf(TPageControl* pages, int index) { pages->SetActivePageIndex(index); }
    static double MainValue(TEdit* edit) { return Value(fTessvar->LengthList, edit); }

    // The first or the last size the pipe picker offers.
    static std::function<void()> PipeSizeAt(bool last, size_t fromEnd = 0)
    {
        return [last, fromEnd] {
            std::vector<TRadioButton*> shown;
            for (TRadioButton* button : fNPDia->SizeButtonList) {
                if (button->Visible() && button->Enabled())
                    shown.push_back(button);
            }
            ASSERT_FALSE(shown.empty());
            Check(last ? shown.at(shown.size() - 1 - fromEnd) : shown.front());
            Click(fNPDia->bOk);
        };
    }
    // A BSW size in the Whitworth wizard, its first class or class free.
    static std::function<void()> Whitworth(const char* size, bool free = false)
    {
        return [size, free] {
            TfTwWhitworth* s = fTwWhitworth;
            Check(s->rTBSW);
            Click(s->bNext);
            Check(Captioned({s->rBSW.begin(), s->rBSW.end()}, QString::fromLatin1(size)));
            Click(s->bNext);
            if (free)
                Check(s->rNormalFree);
            Click(s->bNext);
        };
    }
    // What a calculation leaves on a process window: the texts a card
    // prints and the values of the window's lengths (NaN for none).
    struct TShown {
        QStringList Texts;
        std::vector<double> Values;
    };
    static TShown Shown(TProcessWindow& window)
    {
        TShown shown;
        const NCLIST& values = *window.ProcessControls().ValueList;
        std::vector<const char*> names(ProcessBoundEdits.begin(), ProcessBoundEdits.end());
        names.insert(names.end(), {"dHoleW", "dAvg", "dScost", "dbDesignazione", "dbTollServ"});
        for (const char* name : names) {
            if (TEdit* edit = FindOwned<TEdit>(window.Form(), QString::fromLatin1(name))) {
                shown.Texts << edit->Text();
                shown.Values.push_back(Value(values, edit));
            }
        }
        return shown;
    }
    // The gauge window's typing: unit, diameter, pitch ("" for a plain
    // gauge, which shows none) and tolerance.
    static std::function<void()> Typing(int unit, const char* diameter, const char* pitch, const char* tolerance)
    {
        return [unit, diameter, pitch, tolerance] {
            TfProcess* w = fProcess;
            SetUnit(w->cUnit, unit);
            Type(w->dNominale, QString::fromLatin1(diameter));
            if (*pitch)
                Type(w->dPasso, QString::fromLatin1(pitch));
            Type(w->dbTollServ, QString::fromLatin1(tolerance));
        };
    }
    static void ExpectSame(const TShown& expected, const TShown& shown, const QString& what)
    {
        EXPECT_EQ(shown.Texts, expected.Texts) << what.toStdString();
        ASSERT_EQ(shown.Values.size(), expected.Values.size());
        for (size_t i = 0; i < shown.Values.size(); ++i) {
            if (std::isnan(expected.Values[i]))
                EXPECT_TRUE(std::isnan(shown.Values[i])) << what.toStdString() << " value " << i;
            else
                EXPECT_NEAR(shown.Values[i], expected.Values[i], 1e-9) << what.toStdString() << " value " << i;
        }
    }
    // After a calculation in mm: flipped to inch, calculated again, flipped
    // back, calculated again. Every text stays that of the first calculation
    // in its unit, and every value that of the first calculation.
    static void FlipAndCalculate(TProcessWindow& window, TComboBox* unit, const QString& name)
    {
        TSpeedButton* calculate = window.ProcessControls().sbCalcTol;
        ASSERT_TRUE(calculate->Down()) << name.toStdString();
        const TShown mm = Shown(window);
        SetUnit(unit, 1);
        const TShown inch = Shown(window);
        CalculateAgain(calculate);
        ASSERT_TRUE(calculate->Down()) << name.toStdString() << " in inch";
        ExpectSame(inch, Shown(window), name + " calculated in inch");
        SetUnit(unit, 0);
        ExpectSame(mm, Shown(window), name + " flipped back");
        EXPECT_TRUE(window.Calculation.Current(window.Form()));
        CalculateAgain(calculate);
        ASSERT_TRUE(calculate->Down()) << name.toStdString() << " in mm again";
        ExpectSame(mm, Shown(window), name + " calculated in mm again");
    }
    static std::function<void()> Buttress(int pitchButton)
    {
        return [pitchButton] {
            Check(fTwBR->rM.at(size_t(pitchButton)));
            Click(fTwBR->bNext);
            Check(fTwBR->rD1);
            Click(fTwBR->bNext);
        };
    }
};

// A request: the type's family button, group and item, what is typed on
// the window, and the dialogs' answers.
struct TRequest {
    TButton* TfTessvar::*Family;
    int Group;
    int Item;
    std::function<void()> Typing;
    std::vector<std::function<void()>> Answers;
    std::vector<TCustomForm**> Dialogs;
    QString Name;
};

// Every thread gauge type with a calculator (the Special family has none)
// hands its limits to the measuring tab through "Measure Gage" and
// "Measure Piece" at the smallest and largest sizes of its family's
// requests. Each limit must be a pitch diameter the tab accepts: within
// 1.5 pitches below and half a pitch above the diameter handed over with
// it. The extremes found are printed for the record.
TEST_F(UprocesscalcTest, EveryHandedOverLimitLiesInTheMeasuringBand)
{
    TfProcess* w = fProcess;
    std::vector<TRequest> requests;
    const auto typed = [w](const char* d, const char* p, const char* tolerance) {
        return [w, d, p, tolerance] {
            Type(w->dNominale, QString::fromLatin1(d));
            Type(w->dPasso, QString::fromLatin1(p));
            Type(w->dbTollServ, QString::fromLatin1(tolerance));
        };
    };
    const auto nothing = [] {};
    const auto add = [&](TButton* TfTessvar::*family, int group, int items, const QString& name,
                         const std::function<void()>& typing, std::vector<std::function<void()>> answers,
                         std::vector<TCustomForm**> dialogs, int firstItem = 0) {
        for (int item = firstItem; item < items; ++item)
            requests.push_back({family, group, item, typing, answers, dialogs, name});
    };
    // ISO metric: plugs for 6H nuts, rings and their check plugs for 6g
    // bolts; fine and coarse, small and large.
    for (const auto& [d, p] :
         {std::pair{"3", "0.5"}, std::pair{"10", "1.5"}, std::pair{"64", "6"}, std::pair{"100", "2"}}) {
        const QString size = QStringLiteral("M%1x%2").arg(QString::fromLatin1(d), QString::fromLatin1(p));
        add(&TfTessvar::bISO, 2, 3, size, typed(d, p, "6H"), {}, {});
        add(&TfTessvar::bISO, 3, 16, size, typed(d, p, "6g"), {}, {});
    }
    // ANSI/ASME: the UN thread gauges by the inch wizard, the pipe thread
    // gauges at the smallest and largest pipe size.
    for (int group : {2, 3, 4, 5}) {
        const int items[] = {0, 0, 5, 4, 3, 2};
        add(&TfTessvar::bAnsiAsme, group, items[group], QStringLiteral("1/4-20 UNC"), nothing,
            {Quarter20Unc()}, {reinterpret_cast<TCustomForm**>(&fwAnsiAsme1)});
    }
    for (bool last : {false, true}) {
        const QString size = last ? QStringLiteral("largest pipe") : QStringLiteral("smallest pipe");
        // (NPSL 12 in, the largest size of items 12 to 16, has no gauge
        // tolerance in the tables: "MN 055"; 10 in is their largest.)
        add(&TfTessvar::bAnsiAsme, 6, 12, size, nothing, {PipeSizeAt(last)},
            {reinterpret_cast<TCustomForm**>(&fNPDia)}, 4);
        add(&TfTessvar::bAnsiAsme, 6, 17, size, nothing, {PipeSizeAt(last, 1)},
            {reinterpret_cast<TCustomForm**>(&fNPDia)}, 12);
        // GAS: ISO 7 taper rings, ISO 228 plugs (class A) and rings (B).
        add(&TfTessvar::bGAS, 0, 5, size, nothing, {PipeSizeAt(last)},
            {reinterpret_cast<TCustomForm**>(&fNPDia)}, 3);
        add(&TfTessvar::bGAS, 1, 3, size, nothing, {PipeSizeAt(last)},
            {reinterpret_cast<TCustomForm**>(&fNPDia)});
        add(&TfTessvar::bGAS, 1, 11, size, nothing,
            {PipeSizeAt(last),
             [] {
                 Check(fGasSelClass->rClassB);
                 Click(fGasSelClass->bOk);
             }},
            {reinterpret_cast<TCustomForm**>(&fNPDia), reinterpret_cast<TCustomForm**>(&fGasSelClass)}, 3);
    }
    // Buttress (inch): 3/4 in 20 tpi, 2 in 10 tpi, 10 in 2 tpi.
    for (const auto& [d, pitch] : {std::pair{"0.75", 13}, std::pair{"2", 10}, std::pair{"10", 3}}) {
        const QString size = QStringLiteral("%1 in buttress").arg(QString::fromLatin1(d));
        const auto diameter = [w, d] { Type(w->dNominale, QString::fromLatin1(d)); };
        add(&TfTessvar::bBUTTRESS, 0, 3, size, diameter, {Buttress(pitch)},
            {reinterpret_cast<TCustomForm**>(&fTwBR)});
        add(&TfTessvar::bBUTTRESS, 1, 4, size, diameter, {Buttress(pitch)},
            {reinterpret_cast<TCustomForm**>(&fTwBR)});
    }
    // Whitworth: BSW 1/4, 1/2 and 2 in.
    for (const char* size : {"1/4", "1/2", "2"}) {
        const QString name = QStringLiteral("BSW %1").arg(QString::fromLatin1(size));
        add(&TfTessvar::bWhitworth, 0, 4, name, nothing, {Whitworth(size)},
            {reinterpret_cast<TCustomForm**>(&fTwWhitworth)});
        add(&TfTessvar::bWhitworth, 1, 5, name, nothing, {Whitworth(size)},
            {reinterpret_cast<TCustomForm**>(&fTwWhitworth)});
    }

    double lowest = std::numeric_limits<double>::max(); // (limit - D) / P
    double highest = -lowest;
    int checked = 0;
    for (const TRequest& request : requests) {
        std::vector<TStep> dialogs;
        for (size_t i = 0; i < request.Answers.size(); ++i)
            dialogs.push_back({*request.Dialogs[i], request.Answers[i]});
        int limits = 0;
        TButton* family = fTessvar->*request.Family;
        Gauge(family, request.Group, request.Item, request.Typing, dialogs, [&] {
            const int key = fTessvar->CurrentType.Key();
            const std::string what = std::to_string(key) + " " + request.Name.toStdString();
            ASSERT_TRUE(w->sbCalcTol->Down()) << what;
            if (fTessvar->CurrentType.Kind != 2)
                return;
            ASSERT_TRUE(w->bMeasure->Visible()) << what;
            for (bool piece : {true, false}) {
                for (TEdit* limit :
                     {fTessvar->eTsupP, fTessvar->eTinfP, fTessvar->eTsupNP, fTessvar->eTinfNP})
                    fTessvar->LengthList.SetValue(NumberEditOf(limit), NanValue());
                piece ? w->bMeasureWpClick(w->bMeasureWp) : w->bMeasureClick(w->bMeasure);
                const double D = MainValue(fTessvar->eTD);
                const double P = MainValue(fTessvar->eCP);
                ASSERT_FALSE(std::isnan(D) || std::isnan(P)) << what;
                for (TEdit* limit :
                     {fTessvar->eTsupP, fTessvar->eTinfP, fTessvar->eTsupNP, fTessvar->eTinfNP}) {
                    const double value = MainValue(limit);
                    if (std::isnan(value))
                        continue;
                    ++limits;
                    lowest = std::min(lowest, (value - D) / P);
                    highest = std::max(highest, (value - D) / P);
                    EXPECT_TRUE(PitchDiameterInBand(D, P, value))
                        << what << " item " << request.Item << (piece ? " piece " : " gauge ")
                        << limit->Name().toStdString() << ": D " << D << " P " << P << " limit " << value
                        << " = D " << (value - D) / P << " P";
                }
            }
        });
        // (The Go gauges of group 0 item 3 hand over no limits: their Go
        // column is hidden and they have no workpiece limits.)
        checked += limits;
    }
    EXPECT_GT(checked, 600);
    std::printf("%d limits handed over, from D %+.3f P to D %+.3f P\n", checked, lowest, highest);
    EXPECT_TRUE(Messages->Shown().empty()) << Messages->Shown().front().Text.toStdString();
}

// "Measure Gage" and "Measure Piece" after the diameter was changed: the
// limits on the window belong to M10, not to the diameter shown; the window
// says the values must be calculated first, stays open and hands nothing
// over. After a failed calculation the same. The calculated values go.
TEST_F(UprocesscalcTest, OnlyACurrentCalculationIsHandedOver)
{
    TfProcess* w = fProcess;
    const auto refused = [this, w](TButton* button) {
        const size_t before = Messages->Shown().size();
        Click(button);
        ASSERT_EQ(Messages->Shown().size(), before + 1);
        EXPECT_EQ(Messages->Shown().back().Text, "MN 192 : The values must be calculated first");
        EXPECT_TRUE(std::isnan(MainValue(fTessvar->eTD)));
        EXPECT_TRUE(std::isnan(MainValue(fTessvar->eTsupP)));
        EXPECT_EQ(fTessvar->pTab->ActivePageIndex(), 0);
        EXPECT_EQ(w->ModalResult(), mrNone);
    };
    Gauge(
        fTessvar->bISO, 2, 2,
        [w] {
            Type(w->dNominale, "10");
            Type(w->dPasso, "1.5");
            Type(w->dbTollServ, "6H");
        },
        {},
        [&] {
            ASSERT_TRUE(w->sbCalcTol->Down());
            Press(w->sbCalcTol); // unlocks
            Type(w->dNominale, "12");
            refused(w->bMeasure);
            refused(w->bMeasureWp);
            // A failed calculation: nothing either.
            Type(w->dbTollServ, "6X");
            Press(w->sbCalcTol);
            ASSERT_FALSE(w->sbCalcTol->Down());
            EXPECT_EQ(w->dbTollServ->Text(), "6X"); // typed: an input, it stays
            refused(w->bMeasure);
            // Calculated again: handed over.
            Type(w->dbTollServ, "6H");
            Press(w->sbCalcTol);
            ASSERT_TRUE(w->sbCalcTol->Down());
            Click(w->bMeasure);
        });
    EXPECT_DOUBLE_EQ(MainValue(fTessvar->eTD), 12);
    EXPECT_EQ(fTessvar->pTab->ActivePageIndex(), 1);
    EXPECT_FALSE(std::isnan(MainValue(fTessvar->eTsupP)));
    EXPECT_FALSE(std::isnan(MainValue(fTessvar->eTsupNP)));

    // An ISO 7 Go ring hands over no limits (its Go column is hidden, it has
    // no workpiece limits): none of M12 stays beside G 1/2.
    fTessvar->pTab->SetActivePageIndex(0);
    Gauge(fTessvar->bGAS, 0, 3, [] {}, {{fNPDia, PipeSize("1/2")}}, [w] { Click(w->bMeasure); });
    EXPECT_FALSE(std::isnan(MainValue(fTessvar->eTD)));
    EXPECT_NE(MainValue(fTessvar->eTD), 12);
    for (TEdit* limit : {fTessvar->eTsupP, fTessvar->eTinfP, fTessvar->eTsupNP, fTessvar->eTinfNP})
        EXPECT_EQ(limit->Text(), "") << limit->Name().toStdString();
}

// A refused calculation (buttress 2 in, then a diameter over 24 in: "MN 170")
// empties the limits, the designation and the tolerance text "2B" that the
// calculation before wrote; so does a Whitworth size outside the gauge
// tables ("MN 180") after a computed one. (A tolerance the user typed, as
// for ISO, is an input and stays: see OnlyACurrentCalculationIsHandedOver.)
TEST_F(UprocesscalcTest, ARefusedCalculationLeavesNoToleranceText)
{
    TfProcess* w = fProcess;
    Road([] { Click(fTessvar->bBUTTRESS); }, {{fCalibreSelect, Pick(fCalibreSelect, 0, 0)},
                                              {fProcess,
                                               [w] {
                                                   Type(w->dNominale, "2");
                                                   Press(w->sbCalcTol);
                                               }},
                                              {fTwBR, Buttress(10)},
                                              {fProcess, [w] {
                                                   ASSERT_TRUE(w->sbCalcTol->Down());
                                                   EXPECT_EQ(w->dbTollServ->Text(), "2B");
                                                   EXPECT_FALSE(w->dMaxP->Text().isEmpty());
                                                   Press(w->sbCalcTol);
                                                   Type(w->dNominale, "24.001");
                                                   Press(w->sbCalcTol);
                                                   EXPECT_FALSE(w->sbCalcTol->Down());
                                                   EXPECT_EQ(w->dbTollServ->Text(), "");
                                                   EXPECT_EQ(w->dbDesignazione->Text(), "");
                                                   EXPECT_EQ(w->dMaxP->Text(), "");
                                                   EXPECT_EQ(w->dMinP->Text(), "");
                                                   w->SetModalResult(mrCancel);
                                               }}});
    // BSW 2 in, class free, computed; then 3 in, whose pitch lies outside
    // the gauge tables.
    Road([] { Click(fTessvar->bWhitworth); }, {{fCalibreSelect, Pick(fCalibreSelect, 1, 0)},
                                               {fProcess, [w] { Press(w->sbCalcTol); }},
                                               {fTwWhitworth, Whitworth("2", true)},
                                               {fProcess,
                                                [w] {
                                                    ASSERT_TRUE(w->sbCalcTol->Down());
                                                    EXPECT_FALSE(w->dbTollServ->Text().isEmpty());
                                                    CalculateAgain(w->sbCalcTol);
                                                }},
                                               {fTwWhitworth, Whitworth("3", true)},
                                               {fProcess, [w] {
                                                    EXPECT_FALSE(w->sbCalcTol->Down());
                                                    EXPECT_EQ(w->dbTollServ->Text(), "");
                                                    EXPECT_EQ(w->dbDesignazione->Text(), "");
                                                    EXPECT_EQ(w->dMaxP->Text(), "");
                                                    w->SetModalResult(mrCancel);
                                                }}});
    ASSERT_EQ(Messages->Shown().size(), 2u);
    EXPECT_EQ(Messages->Shown()[0].Text, "MN 170 : Diameter not valid");
    EXPECT_EQ(Messages->Shown()[1].Text, "MN 180 : Pitch/Diameter combination not valid");
}

// A thread whose pitch is too large for its diameter is refused through the
// process window as every refusal is: the family's message, the results
// empty (those of an earlier calculation too) and the button up with the
// inputs open. ISO: M3 x 5 Go ring and M10 x 12 limit plug; UNS 0.06-4;
// Whitworth S 0.1 in x 4 tpi; buttress 0.1 in x 6 tpi.
TEST_F(UprocesscalcTest, APitchTooLargeForTheDiameterIsRefused)
{
    TfProcess* w = fProcess;
    const auto expectRefused = [w](const char* what) {
        EXPECT_FALSE(w->sbCalcTol->Down()) << what;
        EXPECT_TRUE(w->dNominale->Enabled()) << what;
        // Every bound result edit (all but the diameter and the pitch).
        for (const char* name : ProcessBoundEdits) {
            const QString edit = QString::fromLatin1(name);
            if (edit != "dNominale" && edit != "dPasso") {
                EXPECT_EQ(FindOwned<TEdit>(w, edit)->Text(), "") << what << " " << name;
            }
        }
        EXPECT_EQ(w->dbDesignazione->Text(), "") << what;
    };
    const auto typeThread = [w](const char* d, const char* p, const char* tolerance) {
        Type(w->dNominale, QString::fromLatin1(d));
        Type(w->dPasso, QString::fromLatin1(p));
        Type(w->dbTollServ, QString::fromLatin1(tolerance));
    };
    // ISO Go ring: M10 x 1.5 computed, then M3 x 5 refused.
    Road([] { Click(fTessvar->bISO); },
         {{fCalibreSelect, Pick(fCalibreSelect, 3, 0)}, {fProcess, [&] {
                                                             typeThread("10", "1.5", "6g");
                                                             Press(w->sbCalcTol);
                                                             ASSERT_TRUE(w->sbCalcTol->Down());
                                                             EXPECT_NEAR(Value(w->dMaxP), 8.99472, 1e-9);
                                                             Press(w->sbCalcTol);
                                                             typeThread("3", "5", "6g");
                                                             Press(w->sbCalcTol);
                                                             expectRefused("M3 x 5");
                                                             Screenshot(w, QStringLiteral("refused-m3x5"));
                                                             w->SetModalResult(mrCancel);
                                                         }}});
    // ISO limit plug M10 x 12.
    Gauge(
        fTessvar->bISO, 2, 2, [&] { typeThread("10", "12", "6H"); }, {}, [&] { expectRefused("M10 x 12"); });
    // UNS Go ring 0.06-4.
    Gauge(
        fTessvar->bAnsiAsme, 3, 0, [] {}, UnsEntry("0.06", "4"), [&] { expectRefused("UNS 0.06-4"); });
    // Whitworth S Go ring, 0.1 in x 4 tpi.
    Gauge(
        fTessvar->bWhitworth, 1, 0, [] {},
        {{fTwWhitworth,
          [] {
              TfTwWhitworth* s = fTwWhitworth;
              Check(s->rTWS);
              Click(s->bNext);
              Type(s->eD, "0.1");
              Type(s->eTPI, "4");
              Click(s->bNext);
              Click(s->bNext);
          }}},
        [&] { expectRefused("Whitworth S 0.1 x 4"); });
    // Buttress Go ring, 0.1 in x 6 tpi.
    Gauge(
        fTessvar->bBUTTRESS, 1, 0, [w] { Type(w->dNominale, "0.1"); }, {{fTwBR, Buttress(8)}},
        [&] { expectRefused("buttress 0.1 x 6"); });

    const auto& shown = Messages->Shown();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[0].Text, "Thread pitch not available for this diameter");
    EXPECT_EQ(shown[1].Text, "Thread pitch not available for this diameter");
    EXPECT_EQ(shown[2].Text, "MN 058 : Thread pitch not available for this diameter");
    EXPECT_EQ(shown[3].Text, "MN 180 : Pitch/Diameter combination not valid");
    EXPECT_EQ(shown[4].Text, "MN 169 : Pitch/Diameter combination not valid");
    EXPECT_EQ(shown[4].Caption, "ERROR");
}

// Every number a user types on the measuring tab, in the converter, the
// thermal tool, the process windows and their dialogs takes "." or "," as
// its decimal separator whatever the locale: each row types the same value
// both ways under de_DE and en_US and gets the same result.
TEST_F(UprocesscalcTest, NumbersTakeEitherSeparatorInEveryLocale)
{
    TfTessvar* m = fTessvar;
    TfProcess* w = fProcess;
    // The measuring tab: M10 x 1.5, 30/30 degrees, wire 0.866, reading
    // 10.325, compensated at 1; then one field typed.
    const auto measure = [m](TEdit* field, TButton* button, TEdit* result) {
        return [=](const QString& text) {
            PickTabOf(m->pcConvert, 0);
            for (const auto& [edit, value] :
                 {std::pair{m->eTD, "10"}, std::pair{m->eCP, "1.5"}, std::pair{m->eAD, "0.866"},
                  std::pair{m->eRead, "10.325"}, std::pair{m->eCA, "30"}, std::pair{m->eAG, "30"},
                  std::pair{m->eForce, "1"}, std::pair{m->eNP, "1"}})
                edit->SetText(QString::fromLatin1(value));
            m->cSpecial->SetChecked(true);
            field->SetText(text);
            button->Click();
            return MainValue(result);
        };
    };
    const auto converter = [](TEdit* source, TEdit* target) {
        return [=](const QString& text) {
            source->SetText(text);
            return ParseNumber(target->Text());
        };
    };
    const auto thermal = [m](int calculator, int field) {
        return [=](const QString& text) {
            TEdit* length = calculator == 1 ? m->eLung1 : m->eLung2;
            TEdit* temperature = calculator == 1 ? m->eTemp1 : m->eTemp2;
            TEdit* coefficient = calculator == 1 ? m->eCoExp1 : m->eCoExp2;
            TComboBox* material = calculator == 1 ? m->cMaterial : m->cMaterial2;
            material->SetItemIndex(10); // custom
            coefficient->SetText("11.5");
            length->SetText("100");
            temperature->SetText("30");
            (field == 0 ? length : field == 1 ? temperature : coefficient)->SetText(text);
            (calculator == 1 ? m->bCalc1 : m->bCalc2)->Click();
            return MainValue(calculator == 1 ? m->eDlung1 : m->eDlung2);
        };
    };
    // A process window: what is typed there, the dialogs' answers, and the
    // value of the result.
    const auto process = [this, w](TButton* family, int group, int item,
                                   const std::function<void(const QString&)>& typing,
                                   const std::function<std::vector<TStep>(const QString&)>& dialogs) {
        return [=, this](const QString& text) {
            double result = NAN;
            Gauge(
                family, group, item, [&] { typing(text); }, dialogs(text), [&] { result = Value(w->dMaxP); });
            return result;
        };
    };
    const auto none = [](const QString&) { return std::vector<TStep>{}; };
    // Handed over to the measuring tab uncalculated, then measured there.
    const auto handedOver = [m, w](TButton* family, int group, TEdit* field, TEdit* other,
                                   const char* otherText) {
        return [=](const QString& text) {
            Road([family] { Click(family); }, {{fCalibreSelect, Pick(fCalibreSelect, group, 0)},
                                               {fProcess, [=] {
                                                    Type(w->dNominale, "10");
                                                    Type(w->dPasso, "1.5");
                                                    Type(w->dbN1, "1");
                                                    if (other)
                                                        Type(other, QString::fromLatin1(otherText));
                                                    Type(field, text);
                                                    Click(w->bMeasure);
                                                }}});
            m->eAD->SetText("0.866");
            m->eRead->SetText("10.325");
            m->Button1->Click();
            return MainValue(m->eResult);
        };
    };

    // The dialogs' numbers: two fields each, one typed by the row, the other
    // given (first: whether the row types the first).
    const auto ansiDeviations = [&](bool first) {
        return process(
            m->bAnsiAsme, 0, 0,
            [w](const QString&) {
                SetUnit(w->cUnit, 0);
                Type(w->dNominale, "25.4");
                Type(w->dbTollServ, "XX");
            },
            [first](const QString& text) {
                return std::vector<TStep>{
                    {fInsTol, [first, text] {
                         fInsTol->eToll->SetText("xx");
                         fInsTol->eTSup->SetText(first ? text : QStringLiteral("0.0254"));
                         fInsTol->eTInf->SetText(first ? QStringLiteral("-0.0254") : text);
                         Click(fInsTol->bOk);
                     }}};
            });
    };
    const auto unsEntry = [&](bool first) {
        return process(
            m->bAnsiAsme, 2, 0, [](const QString&) {},
            [first](const QString& text) {
                return std::vector<TStep>{{fwAnsiAsme1,
                                           [] {
                                               Check(fwAnsiAsme1->rUNS);
                                               Click(fwAnsiAsme1->bNext);
                                           }},
                                          {fInsUNS, [first, text] {
                                               Type(fInsUNS->eDia, first ? text : QStringLiteral("0.3"));
                                               Type(fInsUNS->eStep, first ? QStringLiteral("24") : text);
                                               Check(fInsUNS->rT2);
                                               Click(fInsUNS->bOk);
                                           }}};
            });
    };
    const auto whitworthFree = [&](bool first) {
        return process(
            m->bWhitworth, 0, 0, [](const QString&) {},
            [first](const QString& text) {
                return std::vector<TStep>{{fTwWhitworth, [first, text] {
                                               TfTwWhitworth* s = fTwWhitworth;
                                               Check(s->rTWS);
                                               Click(s->bNext);
                                               s->eD->SetText(first ? text : QStringLiteral("0.75"));
                                               s->eTPI->SetText(first ? QStringLiteral("10") : text);
                                               Click(s->bNext);
                                               Click(s->bNext);
                                           }}};
            });
    };

    struct TRow {
        const char* Name;
        const char* Text; // with "."; the same with "," is typed too
        std::function<double(const QString&)> Result;
    };
    const std::vector<TRow> rows = {
        {"eTD", "10.5", measure(m->eTD, m->Button1, m->eResult)},
        {"eCP", "1.5", measure(m->eCP, m->Button1, m->eResult)},
        {"eAD", "0.866", measure(m->eAD, m->Button1, m->eResult)},
        {"eRead", "10.325", measure(m->eRead, m->Button1, m->eResult)},
        {"eCA", "29.5", measure(m->eCA, m->Button1, m->eResult)},
        {"eAG", "29.5", measure(m->eAG, m->Button1, m->eResult)},
        {"eForce", "29.5", measure(m->eForce, m->Button1, m->eResult)},
        {"eNP", "1.5", measure(m->eNP, m->Button1, m->eResult)},
        {"eCA theoretical wire", "29.5", measure(m->eCA, m->bFiloTeor, m->eFiloTeor)},
        {"eStart", "29.5", converter(m->eStart, m->eEnd)},
        {"eStartT", "29.5", converter(m->eStartT, m->eEndT)},
        {"eStartM", "29.5", converter(m->eStartM, m->eEndM)},
        {"eStartA", "29.5", converter(m->eStartA, m->eEndA)},
        {"eStartP", "29.5", converter(m->eStartP, m->eEndP)},
        {"eLung1", "29.5", thermal(1, 0)},
        {"eTemp1", "29.5", thermal(1, 1)},
        {"eCoExp1", "29.5", thermal(1, 2)},
        {"eLung2", "29.5", thermal(2, 0)},
        {"eTemp2", "29.5", thermal(2, 1)},
        {"eCoExp2", "29.5", thermal(2, 2)},
        {"dNominale (ISO plain)", "29.5",
         process(
             m->bISO, 0, 0,
             [w](const QString& text) {
                 Type(w->dNominale, text);
                 Type(w->dbTollServ, "H7");
             },
             none)},
        {"dPasso", "1.5",
         process(
             m->bISO, 2, 0,
             [w](const QString& text) {
                 Type(w->dNominale, "10");
                 Type(w->dPasso, text);
                 Type(w->dbTollServ, "6H");
             },
             none)},
        {"dbN1", "1.5",
         process(
             m->bISO, 2, 0,
             [w](const QString& text) {
                 Type(w->dNominale, "10");
                 Type(w->dPasso, "1.5");
                 Type(w->dbN1, text);
                 Type(w->dbTollServ, "6H");
             },
             none)},
        {"dNominale (buttress)", "2.5",
         process(
             m->bBUTTRESS, 0, 0, [w](const QString& text) { Type(w->dNominale, text); },
             [](const QString&) {
                 return std::vector<TStep>{{fTwBR, Buttress(10)}};
             })},
        {"eTSup", "0.0254", ansiDeviations(true)},
        {"eTInf", "-0.0254", ansiDeviations(false)},
        {"eDia", "0.3", unsEntry(true)},
        {"eStep", "24.0", unsEntry(false)},
        {"eD (Whitworth)", "0.75", whitworthFree(true)},
        {"eTPI (Whitworth)", "10.0", whitworthFree(false)},
        {"dbAngolo (ISO, handed over)", "59.5", handedOver(m->bISO, 2, w->dbAngolo, nullptr, nullptr)},
        {"dbSAL (Special, handed over)", "29.5", handedOver(m->bSpecial, 2, w->dbSAL, w->dbSAR, "30")},
        {"dbSAR (Special, handed over)", "29.5", handedOver(m->bSpecial, 2, w->dbSAR, w->dbSAL, "30")},
    };
    for (const char* locale : {"de_DE", "en_US"}) {
        const QLocale system(QString::fromLatin1(locale));
        SetDecimalSeparator(system.decimalPoint().at(0));
        SetThousandSeparator(system.groupSeparator().at(0));
        for (const TRow& row : rows) {
            const QString dot = QString::fromLatin1(row.Text);
            QString comma = dot;
            comma.replace(u'.', u',');
            const double withDot = row.Result(dot);
            const double withComma = row.Result(comma);
            EXPECT_FALSE(std::isnan(withDot)) << locale << " " << row.Name;
            EXPECT_EQ(withDot, withComma) << locale << " " << row.Name;
        }
    }
    EXPECT_TRUE(Messages->Shown().empty()) << Messages->Shown().front().Text.toStdString();
}

// A unit flip rewrites the lengths in another unit; the calculation reads
// the values they stand for, not their rounded texts. Rows: the sizes where
// a diameter read back from its inch text lands across a table's edge, or
// changes the designation. Gauge picker groups: 0 plain plugs, 1 plain rings,
// 3 thread rings.
TEST_F(UprocesscalcTest, AUnitFlipNeverChangesANumber)
{
    TfProcess* w = fProcess;
    struct Row {
        int Group, Item;
        const char *Diameter, *Pitch, *Tolerance;
        bool American;
        const char* Designation; // null: not checked
    };
    const Row rows[] = {
        {1, 0, "100", "", "s6", false, nullptr}, // deviations 71/93 µm, 79/101 off the edge
        {0, 2, "100", "", "S7", false, nullptr}, // limit plug; workpiece 99.942 / 99.907
        {1, 0, "160", "", "r6", false, nullptr},
        {1, 0, "225", "", "s6", false, nullptr},
        {0, 0, "50", "", "H7", false, nullptr},
        {0, 0, "30", "", "H7", false, "30 mm"},
        {3, 0, "10", "1.5", "6g", false, "M 10 X 1.5"},
        {3, 0, "45", "1.25", "6g", false, nullptr}, // its formula compares D with 45
        {3, 0, "355", "6", "6g", false, nullptr},   // the last row of the ISO 965-1 table
        {3, 0, "39", "4", "6g", true, nullptr},     // American rules: X
        {3, 0, "90", "6", "6g", true, "M 90 X 6"},
    };
    for (const Row& row : rows) {
        const QString name = QStringLiteral("%1 x %2 %3").arg(row.Diameter, row.Pitch, row.Tolerance);
        fCalibreSelect->cTolUsa->SetChecked(row.American);
        Gauge(fTessvar->bISO, row.Group, row.Item, Typing(0, row.Diameter, row.Pitch, row.Tolerance), {},
              [w, row, name] {
                  if (row.Designation) {
                      EXPECT_EQ(w->dbDesignazione->Text(), row.Designation);
                  }
                  FlipAndCalculate(*w, w->cUnit, name);
                  EXPECT_NEAR(Value(w->dNominale), ReadNumber(row.Diameter), 1e-12);
                  if (row.Designation && *row.Pitch) {
                      SetUnit(w->cUnit, 1);
                      CalculateAgain(w->sbCalcTol);
                      EXPECT_EQ(w->dbDesignazione->Text(), row.Designation);
                      Screenshot(w, QStringLiteral("process-flipped-M%1").arg(row.Diameter));
                  }
              });
    }
    fCalibreSelect->cTolUsa->SetChecked(false);
    EXPECT_TRUE(Messages->Shown().empty()) << Messages->Shown().back().Text.toStdString();

    // The limit plug 100 S7 calculated in inch shows the workpiece limits
    // 99.942 and 99.907 mm at the inch resolution.
    Gauge(fTessvar->bISO, 0, 2, Typing(0, "100", "", "S7"), {}, [w] {
        SetUnit(w->cUnit, 1);
        CalculateAgain(w->sbCalcTol);
        EXPECT_EQ(w->dMaxW->Text().trimmed(), "+03.934725");
        EXPECT_EQ(w->dMinW->Text().trimmed(), "+03.933345");
        EXPECT_NEAR(Value(w->dMaxW), 99.942, 1e-9);
        EXPECT_NEAR(Value(w->dMinW), 99.907, 1e-9);
        Screenshot(w, QStringLiteral("process-flipped-100S7"));
    });
}

// The workpiece window reads its lengths as the gauge window does.
TEST_F(UprocesscalcTest, AUnitFlipNeverChangesAWorkpieceNumber)
{
    fTessvar->rWorkpiece->SetChecked(true);
    TfProcess2* w = fProcess2;
    Road([] { Click(fTessvar->bISO); }, {{fCalibreSelect2, Pick(fCalibreSelect2, 3, 0)},
                                         {fProcess2, [w] {
                                              SetUnit(w->cUnit, 0);
                                              Type(w->dNominale, "45");
                                              Type(w->dPasso, "4.5");
                                              Type(w->dbTollServ, "6g");
                                              Press(w->sbCalcTol);
                                              FlipAndCalculate(*w, w->cUnit, "M45 x 4.5 6g workpiece");
                                              EXPECT_EQ(w->dbDesignazione->Text(), "M 45 X 4.5");
                                              w->SetModalResult(mrCancel);
                                          }}});
    EXPECT_TRUE(Messages->Shown().empty());
}

// A diameter typed in inch is the diameter typed: 3.9370 in is 99.9998 mm,
// also when calculated again.
TEST_F(UprocesscalcTest, ADiameterTypedInInchIsReadAsTyped)
{
    TfProcess* w = fProcess;
    Gauge(fTessvar->bISO, 1, 0, Typing(1, "3.9370", "", "s6"), {}, [w] {
        ASSERT_TRUE(w->sbCalcTol->Down());
        EXPECT_NEAR(Value(w->dNominale), 99.9998, 1e-9);
        EXPECT_EQ(w->dbDesignazione->Text(), "99.9998 mm");
        CalculateAgain(w->sbCalcTol);
        EXPECT_NEAR(Value(w->dNominale), 99.9998, 1e-9);
        EXPECT_EQ(w->dbDesignazione->Text(), "99.9998 mm");
    });
}

// A text typed back as the window shows it is no change: 100 S7 flipped to
// inch shows +03.937010; typed back over an emptied field, key by key, it is
// still 100 mm (the band and the designation of 100 mm), as it is without
// its blanks. Read as typed it was 99.999854 mm, whose band lies 8 um
// lower. Another number, however close, is the user's. The workpiece
// window likewise keeps M10 typed back as +00.393700.
TEST_F(UprocesscalcTest, ATextTypedBackAsShownKeepsTheValue)
{
    TfProcess* w = fProcess;
    const auto typeBack = [](TEdit* edit, const QString& text) {
        for (const QString& step : {QString(), text.left(4), text})
            Type(edit, step);
    };
    Gauge(fTessvar->bISO, 0, 2, Typing(0, "100", "", "S7"), {}, [&] {
        ASSERT_TRUE(w->sbCalcTol->Down());
        SetUnit(w->cUnit, 1);
        const QString shown = w->dNominale->Text();
        ASSERT_EQ(shown, "  +03.937010");
        for (const QString& typed : {shown, shown.trimmed()}) {
            Press(w->sbCalcTol); // released: the inputs open
            typeBack(w->dNominale, typed);
            Press(w->sbCalcTol);
            ASSERT_TRUE(w->sbCalcTol->Down()) << typed.toStdString();
            EXPECT_EQ(w->dMaxW->Text().trimmed(), "+03.934725") << typed.toStdString();
            EXPECT_EQ(w->dMinW->Text().trimmed(), "+03.933345") << typed.toStdString();
            EXPECT_EQ(Value(w->dNominale), 100.0) << typed.toStdString();
            EXPECT_EQ(w->dbDesignazione->Text(), "100 mm") << typed.toStdString();
        }
        Press(w->sbCalcTol);
        typeBack(w->dNominale, "+03.937011");
        Press(w->sbCalcTol);
        ASSERT_TRUE(w->sbCalcTol->Down());
        EXPECT_NEAR(Value(w->dNominale), 3.937011 * 25.4, 1e-12);
    });

    fTessvar->rWorkpiece->SetChecked(true);
    TfProcess2* p = fProcess2;
    Road([] { Click(fTessvar->bISO); }, {{fCalibreSelect2, Pick(fCalibreSelect2, 3, 0)},
                                         {fProcess2, [&] {
                                              SetUnit(p->cUnit, 0);
                                              Type(p->dNominale, "10");
                                              Type(p->dPasso, "1.5");
                                              Type(p->dbTollServ, "6g");
                                              Press(p->sbCalcTol);
                                              const QString mmMax = p->dMaxW->Text();
                                              SetUnit(p->cUnit, 1);
                                              ASSERT_EQ(p->dNominale->Text().trimmed(), "+00.393700");
                                              Press(p->sbCalcTol);
                                              typeBack(p->dNominale, "+00.393700");
                                              Press(p->sbCalcTol);
                                              ASSERT_TRUE(p->sbCalcTol->Down());
                                              EXPECT_EQ(p->dbDesignazione->Text(), "M 10 X 1.5");
                                              SetUnit(p->cUnit, 0);
                                              EXPECT_EQ(p->dMaxW->Text(), mmMax);
                                              p->SetModalResult(mrCancel);
                                          }}});
    fTessvar->rCalibri->SetChecked(true);
    EXPECT_TRUE(Messages->Shown().empty()) << Messages->Shown().back().Text.toStdString();
}

} // namespace
