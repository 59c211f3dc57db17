// The road of one request from the main window's family button: the gauge
// picker, the process window and the entry dialog, created by the
// application object as the program creates them, with scripted message
// boxes and without settings files.
#include "gauges/Uprocess.h"

#include "app/core/Unan.h"
#include "calc/Utiso.h"
#include "gauges/Uprocesslayout.h"
#include "tests/gauges/ProcessRoad.h"

#include <QLineEdit>

namespace {

class UprocessTest : public ProcessRoadTest {
protected:
    using ProcessRoadTest::Pick;
    using ProcessRoadTest::Value;
    // Picks a gauge type in the gauge picker: a group, then an item.
    static std::function<void()> Pick(int group, int item) { return Pick(fCalibreSelect, group, item); }
    // The entry dialog answers with a tolerance class.
    static std::function<void()> Tolerance(const QString& text)
    {
        return [text] {
            fInsTol->rToll->SetChecked(true);
            fInsTol->eToll->SetText(text);
            Click(fInsTol->bOk);
        };
    }
    static double Value(TEdit* edit) { return Value(fProcess->ValueList, edit); }
    static double MainValue(TEdit* edit) { return Value(fTessvar->LengthList, edit); }
};

// ISO limit thread plug M10 x 1.5, 6H (the limits of ISO 1502 for a 6H nut
// thread; the same values as the calculator's own tests).
TEST_F(UprocessTest, IsoThreadPlugFromTheMainWindow)
{
    TfProcess* w = fProcess;
    Road([] { Click(fTessvar->bISO); },
         {{fCalibreSelect, Pick(2, 2)},
          {fProcess,
           [w] {
               EXPECT_EQ(w->Caption(), "ISO - metric|Thread gage for internal|Limit thread plug gage");
               EXPECT_EQ(w->ValueList.Count(), ProcessBoundEditCount);
               EXPECT_EQ(w->dbTollServ->Text(), ""); // the hint is only a placeholder
               EXPECT_EQ(w->dbTollServ->TextHint(), "Type Tol.HERE, then ->");
               Type(w->dbTollServ, "6H 6g long");
               QTest::mouseClick(w->dbTollServ->EditWidget(), Qt::LeftButton);
               EXPECT_EQ(w->dbTollServ->Text(), "6H 6g long"); // a click deletes nothing
               Type(w->dbTollServ, "");
               Type(w->dNominale, "10");
               Type(w->dPasso, "1.5");
               Press(w->sbCalcTol);
           }},
          {fInsTol, Tolerance("6H")},
          {fProcess, [w] {
               EXPECT_TRUE(w->sbCalcTol->Down());
               EXPECT_FALSE(w->dNominale->Enabled());
               EXPECT_NEAR(Value(w->dMaxP), 9.04322, 1e-9);
               EXPECT_NEAR(Value(w->dMinP), 9.03222, 1e-9);
               EXPECT_NEAR(Value(w->dLogP), 9.02022, 1e-9);
               EXPECT_NEAR(Value(w->dMaxN), 9.21672, 1e-9);
               EXPECT_NEAR(Value(w->dMinN), 9.20572, 1e-9);
               EXPECT_NEAR(Value(w->dLogN), 9.19972, 1e-9);
               EXPECT_NEAR(Value(w->dMaxW), 9.206, 1e-9);
               EXPECT_NEAR(Value(w->dMinW), 9.026, 1e-9);
               EXPECT_EQ(w->dbDesignazione->Text(), "M 10 X 1.5");
               EXPECT_EQ(w->dbTollServ->Text(), "6H");
               EXPECT_EQ(w->dbAngolo->Text(), "60");
               const QString mmText = w->dMaxP->Text();
               // The inch unit shows the same values.
               w->cUnit->ComboWidget()->setCurrentIndex(1);
               emit w->cUnit->ComboWidget()->activated(1);
               EXPECT_NE(w->dMaxP->Text(), mmText);
               EXPECT_EQ(w->dMaxP->Text(), w->ValueList.Readout().FormatValue(9.04322 / 25.4));
               EXPECT_NEAR(Value(w->dMaxP), 9.04322, 1e-9);
               // A second press unlocks without calculating.
               Press(w->sbCalcTol);
               EXPECT_FALSE(w->sbCalcTol->Down());
               EXPECT_TRUE(w->dNominale->Enabled());
               EXPECT_NEAR(Value(w->dMaxP), 9.04322, 1e-9);
               // Measure Gage hands the limits of a plug over: [worn, max].
               Click(w->bMeasure);
           }}});
    EXPECT_TRUE(Messages->Shown().empty());
    EXPECT_DOUBLE_EQ(MainValue(fTessvar->eTD), 10);
    EXPECT_DOUBLE_EQ(MainValue(fTessvar->eCP), 1.5);
    EXPECT_EQ(fTessvar->eNP->Text(), "1");
    EXPECT_EQ(fTessvar->eCA->Text(), "30");
    EXPECT_EQ(fTessvar->eAG->Text(), "30");
    EXPECT_NEAR(MainValue(fTessvar->eTinfP), 9.02022, 1e-9);
    EXPECT_NEAR(MainValue(fTessvar->eTsupP), 9.04322, 1e-9);
    EXPECT_NEAR(MainValue(fTessvar->eTinfNP), 9.19972, 1e-9);
    EXPECT_NEAR(MainValue(fTessvar->eTsupNP), 9.21672, 1e-9);
    EXPECT_TRUE(fTessvar->lTP->Visible());
    EXPECT_EQ(fTessvar->pTab->ActivePageIndex(), 1);
    EXPECT_FALSE(fProcess->Showing());
}

// A class typed over the calculated one while the window is locked, then
// Calculate: the press calculates the class on screen (it does not only
// unlock), which ISO 965 does not know. The calculator's message, and no
// limit of 6H stays beside "zz": every result, the designation and the
// card (Print says the values must be calculated first). A class typed
// back and calculated shows its limits again.
TEST_F(UprocessTest, AnUnknownClassTypedOverACalculatedOneLeavesNoLimits)
{
    TfProcess* w = fProcess;
    const auto onTheWindow = [this, w] {
        Type(w->dNominale, "10");
        Type(w->dPasso, "1.5");
        Type(w->dbTollServ, "6H");
        Press(w->sbCalcTol);
        ASSERT_TRUE(w->sbCalcTol->Down());
        ASSERT_NEAR(Value(w->dMaxP), 9.04322, 1e-9);

        Type(w->dbTollServ, "zz");
        Press(w->sbCalcTol);
        ASSERT_EQ(Messages->Shown().size(), 1u);
        EXPECT_EQ(Messages->Shown()[0].Text, "Quality zz non present");
        EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION");
        EXPECT_FALSE(w->sbCalcTol->Down());
        EXPECT_TRUE(w->dNominale->Enabled());
        for (const char* name : ProcessBoundEdits) {
            TEdit* edit = FindOwned<TEdit>(w, QString::fromLatin1(name));
            if (edit == w->dNominale || edit == w->dPasso)
                continue;
            EXPECT_EQ(edit->Text(), "") << name;
            EXPECT_TRUE(std::isnan(Value(edit))) << name;
        }
        EXPECT_EQ(w->dbDesignazione->Text(), "");
        EXPECT_EQ(w->dbTollServ->Text(), "zz"); // typed: it stays
        EXPECT_DOUBLE_EQ(Value(w->dNominale), 10);
        Click(w->bPrint);
        ASSERT_EQ(Messages->Shown().size(), 2u);
        EXPECT_EQ(Messages->Shown()[1].Text, "MN 192 : The values must be calculated first");

        Type(w->dbTollServ, "6H");
        Press(w->sbCalcTol);
        EXPECT_TRUE(w->sbCalcTol->Down());
        EXPECT_NEAR(Value(w->dMaxP), 9.04322, 1e-9);
        EXPECT_EQ(w->dbDesignazione->Text(), "M 10 X 1.5");
        w->SetModalResult(mrCancel);
    };
    Road([] { Click(fTessvar->bISO); }, {{fCalibreSelect, Pick(2, 2)}, {fProcess, onTheWindow}});
    EXPECT_EQ(Messages->Shown().size(), 2u);
}

TEST_F(UprocessTest, InchStartsProfileJAndEmptyInputsReachTheCalculator)
{
    TfProcess* w = fProcess;
    double withTwoStarts = 0;
    Road([] { Click(fTessvar->bISO); }, {{fCalibreSelect, Pick(2, 0)},
                                         {fProcess,
                                          [w] {
                                              w->cUnit->ComboWidget()->setCurrentIndex(1);
                                              emit w->cUnit->ComboWidget()->activated(1);
                                              Type(w->dNominale, FloatToStr(10 / 25.4));
                                              Type(w->dPasso, FloatToStr(1.5 / 25.4));
                                              Type(w->dbN1, "2");
                                              Press(w->sbCalcTol);
                                          }},
                                         {fInsTol,
                                          [] {
                                              ASSERT_TRUE(fInsTol->cJprofile->Visible());
                                              fInsTol->cJprofile->SetChecked(true);
                                              Tolerance("6H")();
                                          }},
                                         {fProcess, [&withTwoStarts, w] {
                                              EXPECT_EQ(w->dbDesignazione->Text(),
                                                        "MJ 10 X 1.5"); // profile J ticked
                                              withTwoStarts = Value(w->dMaxP);
                                              Press(w->sbCalcTol); // unlock
                                              Type(w->dNominale, "");
                                              Press(w->sbCalcTol); // no diameter: the calculator's message
                                              EXPECT_FALSE(w->sbCalcTol->Down());
                                              w->SetModalResult(mrCancel);
                                          }}});
    // Two starts widen the tolerance of a Go plug (ISO 965-1: TD2 x 1.12).
    CALIBRETYPE go;
    go.Family = 0, go.Group = 2, go.Item = 0;
    ASSERT_TRUE(fTessvar->TypeCatalogue.Find(go));
    TCalcText tolerance("6H"), classText, designation;
    TOLLERANCE r;
    ClearToleranceRecord(r);
    ASSERT_TRUE(CalcIsoMetricText(10, 1.5, tolerance, classText, designation, go, r, false, 2, true));
    EXPECT_NEAR(withTwoStarts, r.MaxP, 1e-6);
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, LoadStr(954)); // "Diameter not available"
}

TEST_F(UprocessTest, CancelDeviationsAndGaugesWithoutCalculation)
{
    TfProcess* w = fProcess;
    Road([] { Click(fTessvar->bISO); }, {{fCalibreSelect, Pick(0, 0)},
                                         {fProcess,
                                          [w] {
                                              Type(w->dNominale, "10");
                                              Press(w->sbCalcTol);
                                          }},
                                         {fInsTol, [] { Click(fInsTol->bCancel); }},
                                         {fProcess,
                                          [w] {
                                              EXPECT_FALSE(w->sbCalcTol->Down()); // released silently
                                              Press(w->sbCalcTol);
                                          }},
                                         {fInsTol,
                                          [] {
                                              fInsTol->rSupInf->SetChecked(true);
                                              fInsTol->eTSup->SetText("+15");
                                              fInsTol->eTInf->SetText("x");
                                              Click(fInsTol->bOk);
                                          }},
                                         {fProcess, [w] { Press(w->sbCalcTol); }},
                                         {fInsTol,
                                          [] {
                                              fInsTol->rSupInf->SetChecked(true);
                                              fInsTol->eTSup->SetText("+15");
                                              fInsTol->eTInf->SetText("0");
                                              Click(fInsTol->bOk);
                                          }},
                                         {fProcess, [w] {
                                              EXPECT_FALSE(w->sbCalcTol->Down());
                                              // Two signed deviations typed: not in the table, so the ISO
                                              // calculator reads them as a tolerance class and says so.
                                              Type(w->dbTollServ, "+0.05 -0.02");
                                              Press(w->sbCalcTol);
                                              EXPECT_FALSE(w->sbCalcTol->Down());
                                              w->SetModalResult(mrCancel);
                                          }}});
    const auto& shown = Messages->Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].Text, "MN 190 : Piece deviation not valid");
    EXPECT_EQ(shown[1].Text, "MN 191 : Piece deviations not in the gage tolerance table");
    EXPECT_EQ(shown[2].Caption, "ATTENTION");
    EXPECT_NE(shown[2].Text, shown[1].Text);

    // An ISO master plug (8) and a Special gauge open without the button.
    for (auto [family, group, item] : {std::tuple{0, 0, 8}, std::tuple{3, 2, 0}}) {
        TButton* button = family == 0 ? fTessvar->bISO : fTessvar->bSpecial;
        Road([button] { Click(button); },
             {{fCalibreSelect, Pick(group, item)}, {fProcess, [w] {
                                                        EXPECT_FALSE(w->sbCalcTol->Visible());
                                                        w->SetModalResult(mrCancel);
                                                    }}});
    }
}

TEST_F(UprocessTest, AnAngleThatIsNoNumberStopsTheHandOver)
{
    TfProcess* w = fProcess;
    Road([] { Click(fTessvar->bISO); },
         {{fCalibreSelect, Pick(3, 0)}, {fProcess, [w] {
                                             Type(w->dNominale, "10");
                                             Type(w->dbAngolo, "6O");
                                             Click(w->bMeasure);
                                             EXPECT_TRUE(w->Showing()); // the window stays
                                             w->SetModalResult(mrCancel);
                                         }}});
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_TRUE(Messages->Shown()[0].Text.contains("6O"));
    EXPECT_TRUE(std::isnan(MainValue(fTessvar->eTD))); // nothing copied
    EXPECT_EQ(fTessvar->pTab->ActivePageIndex(), 0);
}

// The plain numbers of the calculation: deviations become µm, starts stay
// as typed whatever the unit.
TEST(Uprocesscalc, DeviationsAndStarts)
{
    struct Row {
        const char* Upper;
        const char* Lower;
        TDeviationUnit Unit;
        bool Read;
        double UpperUm, LowerUm;
    };
    const Row rows[] = {
        /* 1 */ {"+15", "-5", TDeviationUnit::Micron, true, 15, -5},
        /* 2 */ {"0.015", "-0,005", TDeviationUnit::Millimetre, true, 15, -5},
        /* 3 */ {"0.001", "0", TDeviationUnit::Inch, true, 25.4, 0},
        /* 4 */ {"15", "", TDeviationUnit::Micron, false, 0, 0},
        /* 5 */ {"1x", "0", TDeviationUnit::Micron, false, 0, 0},
    };
    for (const Row& row : rows) {
        double upper = 0, lower = 0;
        ASSERT_EQ(ReadDeviations(row.Upper, row.Lower, row.Unit, upper, lower), row.Read) << row.Upper;
        if (row.Read) {
            EXPECT_NEAR(upper, row.UpperUm, 1e-9);
            EXPECT_NEAR(lower, row.LowerUm, 1e-9);
        }
    }
    EXPECT_EQ(ReadStarts(""), 1.0);
    EXPECT_EQ(ReadStarts("3"), 3.0);
    EXPECT_THROW(ReadStarts("two"), EConvertError);
}

// Pictures of the windows for looking at them: with TESSVAR_SCREENSHOTS set
// to a folder (under xvfb-run with QT_QPA_PLATFORM=xcb, and with
// QT_SCALE_FACTOR=1.5 for the large-text check). Skipped otherwise.
TEST_F(UprocessTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TESSVAR_SCREENSHOTS is not set";
    QDir().mkpath(folder);
    const auto grab = [&folder](TCustomForm* window, const char* name) {
        QCoreApplication::processEvents();
        EXPECT_TRUE(
            window->Widget()->grab().save(folder + u'/' + QLatin1String(name) + QStringLiteral(".png")));
    };
    fTessvar->UsaUsaFlag = true;
    fTessvar->CurrentType.Family = 0;
    fCalibreSelect->Show();
    fCalibreSelect->bType1Click(fCalibreSelect->GroupButtons[3]);
    grab(fCalibreSelect, "picker-iso");
    fCalibreSelect->Hide();
    fTessvar->CurrentType.Family = 1;
    fCalibreSelect->Show();
    grab(fCalibreSelect, "picker-ansiasme");
    fCalibreSelect->Hide();
    auto* workpiece = NewForm<TfCalibreSelect2>(nullptr);
    workpiece->Show();
    grab(workpiece, "picker-workpiece");
    workpiece->Hide();
    DestroyForm(workpiece);

    const struct {
        int Family, Group, Item;
        const char* Name;
    } gauges[] = {
        {0, 2, 2, "process-iso-plug"}, {5, 1, 0, "process-buttress-ring"}, {1, 7, 11, "process-ansi-taper"}};
    for (const auto& gauge : gauges) {
        CALIBRETYPE& type = fTessvar->CurrentType;
        type.Family = gauge.Family, type.Group = gauge.Group, type.Item = gauge.Item;
        ASSERT_TRUE(fTessvar->TypeCatalogue.Find(type));
        fProcess->Show();
        if (gauge.Family == 0) {
            fProcess->dNominale->SetText("10");
            fProcess->dPasso->SetText("1.5");
            Road([] { Press(fProcess->sbCalcTol); }, {{fInsTol, Tolerance("6H")}});
        }
        grab(fProcess, gauge.Name);
        fProcess->Hide();
    }
}

} // namespace
