// The workpiece process window from the family buttons in workpiece mode.
#include "app/core/Unan.h"
#include "calc/Utiso.h"
#include "tests/gauges/ProcessRoad.h"

namespace {

class Uprocess2Test : public ProcessRoadTest {
protected:
    void SetUp() override
    {
        ProcessRoadTest::SetUp();
        fTessvar->rWorkpiece->SetChecked(true);
    }
    // Opens the workpiece window for a group of a family and runs the steps
    // on it (and its dialogs); the last step leaves the window.
    static void Workpiece(TButton* family, int group, std::vector<TStep> steps)
    {
        steps.insert(steps.begin(), {fCalibreSelect2, Pick(fCalibreSelect2, group, 0)});
        Road([family] { Click(family); }, steps);
    }
    using ProcessRoadTest::Value;
    static double Value(TEdit* edit) { return Value(fProcess2->ValueList, edit); }
    // The sketch shown, as the index of its picture in Iwp; -1 for none.
    static int Sketch()
    {
        TfProcess2* w = fProcess2;
        if (w->Imwp->Picture()->Empty())
            return -1;
        const QImage shown = w->Imwp->Picture()->ToImage().convertToFormat(QImage::Format_ARGB32);
        for (int i = 0; i < w->Iwp->Count(); ++i) {
            if (w->Iwp->Image(i).convertToFormat(QImage::Format_ARGB32) == shown)
                return i;
        }
        return -2;
    }
};

TEST_F(Uprocess2Test, SketchesAndTheDrillingRowByGaugeType)
{
    TfProcess2* w = fProcess2;
    struct Row {
        TButton* Family;
        int Group;
        int Sketch;
        bool HoleRow;
        const char* Piece;
    };
    const Row rows[] = {
        {fTessvar->bISO, 0, TfProcess2::SketchHole, false, "Hole deviation"},
        {fTessvar->bISO, 1, TfProcess2::SketchShaft, false, "Shaft deviation"},
        {fTessvar->bISO, 2, TfProcess2::SketchNut, true, "Nut screw deviation"},
        {fTessvar->bISO, 3, TfProcess2::SketchBolt, false, "Bolt deviation"},
        {fTessvar->bBUTTRESS, 0, TfProcess2::SketchNut, false, "Nut screw deviation"},
    };
    for (const Row& row : rows) {
        Workpiece(row.Family, row.Group, {{fProcess2, [w, row] {
                      ASSERT_EQ(w->Iwp->Count(), 4);
                      EXPECT_EQ(Sketch(), row.Sketch) << row.Group;
                      EXPECT_EQ(w->dHoleW->Visible(), row.HoleRow) << row.Group;
                      EXPECT_EQ(w->lHoleW3->Visible(), row.HoleRow) << row.Group;
                      EXPECT_EQ(w->dHoleW2->Text(), "90");
                      EXPECT_EQ(w->lPieceTxt->Caption(), row.Piece);
                      EXPECT_FALSE(w->pcTolleranze->Visible());
                      EXPECT_EQ(w->ValueList.Count(), TfProcess2::BoundEditCount);
                      Screenshot(w, QStringLiteral("process2-%1-%2").arg(row.Family->Name()).arg(row.Group));
                      w->SetModalResult(mrCancel);
                  }}});
    }
}

TEST_F(Uprocess2Test, AverageDeviationAndHandOver)
{
    TfProcess2* w = fProcess2;
    Workpiece(fTessvar->bISO, 1, {{fProcess2, [w] {
                  SetUnit(w->cUnit, 0);
                  TOLLERANCE r;
                  ClearToleranceRecord(r);
                  r.MaxW = 10.02;
                  r.MinW = 9.98;
                  w->StoreResults(r);
                  w->ValueList.Refresh();
                  const DISPLAY& readout = w->ValueList.Readout();
                  EXPECT_EQ(w->dAvg->Text(), readout.FormatValue(10.0));
                  EXPECT_EQ(w->dScost->Text(), readout.FormatValue(0.02));
                  EXPECT_NEAR(Value(w->dScost), 0.02, 1e-12);
                  // An empty or an uncomputed (0) limit: no mean, no half range.
                  for (double minimum : {NanValue(), 0.0}) {
                      r.MinW = minimum;
                      w->StoreResults(r);
                      w->ValueList.Refresh();
                      EXPECT_EQ(w->dMinW->Text(), "");
                      EXPECT_EQ(w->dAvg->Text(), "");
                      EXPECT_EQ(w->dScost->Text(), "");
                      EXPECT_EQ(w->dHoleW->Text(), "");
                  }
              }},
              {fProcess2, [w] {
                  // Measure Piece: [Min, Max] of the workpiece.
                  TOLLERANCE r;
                  ClearToleranceRecord(r);
                  r.MaxW = 10.02;
                  r.MinW = 9.98;
                  w->StoreResults(r);
                  Type(w->dNominale, "10"); // and no pitch: none arrives
                  w->bMeasureWp->SetVisible(true);
                  Click(w->bMeasureWp);
              }}});
    EXPECT_FALSE(w->Showing());
    EXPECT_NEAR(Value(fTessvar->LengthList, fTessvar->eTsupP), 10.02, 1e-12);
    EXPECT_NEAR(Value(fTessvar->LengthList, fTessvar->eTinfP), 9.98, 1e-12);
    EXPECT_NEAR(Value(fTessvar->LengthList, fTessvar->eTD), 10, 1e-12);
    EXPECT_EQ(fTessvar->eCP->Text(), "");
    EXPECT_EQ(fTessvar->pTab->ActivePageIndex(), 1);
}

// The nut thread M10 x 1.5 6H calculated, then "zz" typed over the class
// and Calculate pressed on the locked window: the calculator's message, and
// none of the limits of 6H, their mean or their half range stays beside
// "zz"; no card of them prints.
TEST_F(Uprocess2Test, AnUnknownClassTypedOverACalculatedOneLeavesNoLimits)
{
    TfProcess2* w = fProcess2;
    const auto onTheWindow = [this, w] {
        TEdit* const results[] = {w->dMaxW, w->dMinW, w->dAvg, w->dScost, w->dbDesignazione};
        Type(w->dNominale, "10");
        Type(w->dPasso, "1.5");
        Type(w->dbTollServ, "6H");
        Press(w->sbCalcTol);
        ASSERT_TRUE(w->sbCalcTol->Down());
        ASSERT_NEAR(Value(w->dMaxW), 9.206, 1e-9);
        for (TEdit* result : results)
            ASSERT_NE(result->Text(), "") << result->Name().toStdString();

        Type(w->dbTollServ, "zz");
        Press(w->sbCalcTol);
        ASSERT_EQ(Messages->Shown().size(), 1u);
        EXPECT_EQ(Messages->Shown()[0].Text, "Quality zz non present");
        EXPECT_FALSE(w->sbCalcTol->Down());
        EXPECT_TRUE(w->dNominale->Enabled());
        for (TEdit* result : results) {
            EXPECT_EQ(result->Text(), "") << result->Name().toStdString();
            if (result != w->dbDesignazione) {
                EXPECT_TRUE(std::isnan(Value(result))) << result->Name().toStdString();
            }
        }
        Click(w->bPrint);
        ASSERT_EQ(Messages->Shown().size(), 2u);
        EXPECT_EQ(Messages->Shown()[1].Text, "MN 192 : The values must be calculated first");
        w->SetModalResult(mrCancel);
    };
    Workpiece(fTessvar->bISO, 2, {{fProcess2, onTheWindow}});
}

TEST_F(Uprocess2Test, UnifiedShaftAndTheWorkpiecePickersOption)
{
    TfProcess2* w = fProcess2;
    Workpiece(fTessvar->bAnsiAsme, 3,
              {{fProcess2, [w] {
                    EXPECT_EQ(w->lPieceTxt->Caption(), "Bolt deviation");
                    Press(w->sbCalcTol);
                }},
               {fwAnsiAsme1, [] {
                    TfwAnsiAsme1* s = fwAnsiAsme1;
                    Check(s->rUN);
                    Click(s->bNext);
                    Check(s->rD[0]);
                    Click(s->bNext);
                    Check(s->FractionButtonList.at(10)); // 1/4
                    Click(s->bNext);
                    Click(s->bNext); // 20 UNC
                    Click(s->bNext); // class 2A
                }},
               {fProcess2, [w] {
                    SetUnit(w->cUnit, 0);
                    EXPECT_NEAR(Value(w->dMaxW), 5.497, 1e-9);
                    EXPECT_NEAR(Value(w->dMinW), 5.403, 1e-9);
                    EXPECT_EQ(w->dAvg->Text(), w->ValueList.Readout().FormatValue(5.450));
                    EXPECT_NEAR(Value(w->dScost), 0.047, 1e-9);
                    Screenshot(w, QStringLiteral("process2-unified-shaft"));
                    w->SetModalResult(mrCancel);
                }}});

    // The ISO calculator gets the option of the workpiece picker, where the
    // user set it.
    CALIBRETYPE type;
    type.Family = 0, type.Group = 2, type.Item = 0;
    ASSERT_TRUE(fTessvar->TypeCatalogue.Find(type));
    double limits[2] = {};
    for (bool american : {false, true}) {
        TCalcText tolerance("6H"), classText, designation;
        TOLLERANCE r;
        ClearToleranceRecord(r);
        ASSERT_TRUE(CalcIsoMetricText(10, 1.5, tolerance, classText, designation, type, r, american, 1, false));
        limits[american] = r.MaxP;
    }
    ASSERT_NE(limits[0], limits[1]);
    fCalibreSelect->cTolUsa->SetChecked(false);
    Road([] { Click(fTessvar->bISO); },
         {{fCalibreSelect2, [] {
               fCalibreSelect2->cTolUsa->SetChecked(true);
               Pick(fCalibreSelect2, 2, 0)();
           }},
          {fProcess2, [w] {
               Type(w->dNominale, "10");
               Type(w->dPasso, "1.5");
               Type(w->dbTollServ, "6H");
               Press(w->sbCalcTol);
           }},
          {fProcess2, [w, &limits] {
               EXPECT_NEAR(Value(RequireOwned<TEdit>(w, "dMaxP")), limits[1], 1e-9);
               w->SetModalResult(mrCancel);
           }}});
}

} // namespace
