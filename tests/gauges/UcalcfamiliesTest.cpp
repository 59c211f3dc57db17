// The calculation roads of the ANSI/ASME, spline, GAS, buttress and
// Whitworth families, driven from the family buttons of the main window.
#include "calc/Utansiasme.h"
#include "calc/Uwhitworth.h"
#include "gauges/Ucalcfamilies.h"
#include "tests/gauges/ProcessRoad.h"

#include <map>

namespace {

class UcalcfamiliesTest : public ProcessRoadTest {
protected:
    QString LastMessage() const
    {
        const auto& shown = Messages->Shown();
        return shown.empty() ? QString() : shown.back().Text;
    }
};

TEST_F(UcalcfamiliesTest, AnsiPlainGaugesByUnitAndTolerance)
{
    TfProcess* w = fProcess;
    // Inch with a typed tolerance: no entry dialog.
    std::map<QString, std::pair<double, double>> inch; // Go max and min by tolerance
    for (const QString tolerance : {"+.001 -.001 XX", "XX"}) {
        Gauge(fTessvar->bAnsiAsme, 0, 0, [w, tolerance] {
            Type(w->dNominale, "1");
            Type(w->dbTollServ, tolerance);
        }, {}, [w, &inch, tolerance] {
            EXPECT_TRUE(w->sbCalcTol->Down());
            EXPECT_EQ(w->dbTollServ->Text(), "XX");
            inch[tolerance] = {Value(w->dMaxP), Value(w->dMinP)};
        });
    }
    EXPECT_LT(inch["+.001 -.001 XX"].second, 25.4 - 0.0254 + 1e-9);

    // Millimetres: the dialog even with a typed tolerance; the deviations
    // in mm and the diameter reach the calculator in inches.
    const auto deviations = [](const char* upper, const char* lower) {
        return [upper, lower] {
            EXPECT_FALSE(fInsTol->rToll->Visible());
            EXPECT_TRUE(fInsTol->eTSup->Visible());
            EXPECT_TRUE(fInsTol->eTSup->Enabled());
            EXPECT_EQ(fInsTol->lSupInf->Caption(), "Piece Deviation (mm)");
            fInsTol->eToll->SetText("xx");
            fInsTol->eTSup->SetText(QString::fromLatin1(upper));
            fInsTol->eTInf->SetText(QString::fromLatin1(lower));
            Click(fInsTol->bOk);
        };
    };
    for (const auto& [upper, lower] : {std::pair{"0.0254", "-0.0254"}, std::pair{"", ""}}) {
        const bool typed = *upper != 0;
        // The entry dialog keeps what it last chose: the tolerance class.
        fInsTol->rToll->SetChecked(true);
        Gauge(fTessvar->bAnsiAsme, 0, 0, [w, typed] {
            SetUnit(w->cUnit, 0);
            Type(w->dNominale, "25.4");
            Type(w->dbTollServ, typed ? "XX" : "+.001 -.001 XX");
        }, {{fInsTol, deviations(upper, lower)}}, [w, &inch, typed] {
            // Without deviations the class alone counts.
            const auto expected = inch[typed ? "+.001 -.001 XX" : "XX"];
            EXPECT_TRUE(w->sbCalcTol->Down());
            EXPECT_EQ(w->dbTollServ->Text(), "XX");
            EXPECT_NEAR(Value(w->dNominale), 25.4, 1e-9);
            EXPECT_NEAR(Value(w->dMaxP), expected.first, 1e-6);
            EXPECT_NEAR(Value(w->dMinP), expected.second, 1e-6);
        });
    }
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();
}

TEST_F(UcalcfamiliesTest, UnifiedThreadsAndPipes)
{
    TfProcess* w = fProcess;
    // Go thread ring, 1/4 - 20 UNC 2A, in inch and in mm: the same values.
    for (int unit : {1, 0}) {
        Gauge(fTessvar->bAnsiAsme, 3, 0, [w, unit] { SetUnit(w->cUnit, unit); }, {{fwAnsiAsme1, Quarter20Unc()}},
              [w] {
                  EXPECT_NEAR(Value(w->dMaxP) / 25.4, 0.2164, 5e-5);
                  EXPECT_NEAR(Value(w->dMinP) / 25.4, 0.2161, 5e-5);
                  EXPECT_NEAR(Value(w->dNominale), 5.5245, 1e-9); // 0.2175 in
                  EXPECT_NEAR(Value(w->dPasso), 1.27, 1e-9);      // 1/20 in
                  EXPECT_EQ(w->dbAngolo->Text(), "60");
                  EXPECT_EQ(w->dbTollServ->Text(), "2A");
              });
    }
    // Profile J names the series UNJ.
    Gauge(fTessvar->bAnsiAsme, 3, 0, [] {}, {{fwAnsiAsme1, Quarter20Unc(true)}},
          [w] { EXPECT_TRUE(w->dbDesignazione->Text().contains("UNJC")) << w->dbDesignazione->Text().toStdString(); });

    // UNS: the entry dialog's diameter, pitch and class.
    Gauge(
        fTessvar->bAnsiAsme, 2, 0, [] {}, UnsEntry("0.3", "24"),
        [w] {
            INCHTHREAD request = fwAnsiAsme1->InchThread;
            TCalcText d, a, p, designation, tolerance, classText;
            TOLLERANCE r;
            ClearToleranceRecord(r);
            ASSERT_TRUE(CalcUnsSpecial(request, TUnsEntry{"0.3", "24", 1}, d, a, p, designation, tolerance,
                                       classText, false, r, fwAnsiAsme1->RoundFlag));
            EXPECT_EQ(w->dbDesignazione->Text(), designation.Text());
            EXPECT_NEAR(Value(w->dMaxP), r.MaxP, 1e-9);
            EXPECT_NEAR(Value(w->dNominale), d.Text().toDouble() * 25.4, 1e-9);
        });

    // NPSM limit plug, size 1/2.
    Gauge(fTessvar->bAnsiAsme, 6, 9, [] {}, {{fNPDia, PipeSize("1/2")}},
          [w] { EXPECT_EQ(w->dbDesignazione->Text(), "1/2 14 NPSM"); });

    // Cancel and any other wizard result release without a calculation.
    for (int result : {int(mrCancel), 7}) {
        Gauge(fTessvar->bAnsiAsme, 3, 0, [] {}, {{fwAnsiAsme1, [result] { fwAnsiAsme1->SetModalResult(result); }}},
              [w] {
                  EXPECT_FALSE(w->sbCalcTol->Down());
                  EXPECT_TRUE(w->dbDesignazione->Text().isEmpty());
              });
    }
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();
}

TEST_F(UcalcfamiliesTest, SplineByWizardOrTypedTolerance)
{
    TfProcess* w = fProcess;
    const auto wizard = [] {
        TfTwSCA* s = fTwSCA;
        Check(s->rM[3]); // module 1.25
        Click(s->bNext);
        for (int range = 0; range < TfTwSCA::RangeCount; ++range) {
            s->rD1Click(s->rD[size_t(range)]);
            const int index = s->lDiameter->Items()->IndexOf("25");
            if (index >= 0) {
                s->rD[size_t(range)]->SetChecked(true);
                s->lDiameter->SetItemIndex(index);
                break;
            }
        }
        Click(s->bNext);
        Check(s->rA[3]);    // H
        Check(s->rN2[1]);   // LQ 3
        Click(s->bNext);
    };
    Gauge(fTessvar->bSCA, 0, 0, [] {}, {{fTwSCA, wizard}}, [w] {
        EXPECT_EQ(w->dbDesignazione->Text(), "GD 25 X 1.25 X H-LQ3");
        EXPECT_NEAR(Value(w->dMaxP), 25.0045, 1e-9);
        EXPECT_NEAR(Value(w->dMinP), 25, 1e-9);
        EXPECT_NEAR(Value(w->dLogP), 24.9928, 1e-9);
        EXPECT_NEAR(Value(w->dNominale), 25, 1e-9);
        EXPECT_NEAR(Value(w->dPasso), 1.25, 1e-9);
    });
    for (const char* d : {"25", "26"}) {
        Gauge(fTessvar->bSCA, 0, 1, [w, d] {
            Type(w->dNominale, QString::fromLatin1(d));
            Type(w->dPasso, "1.25");
            Type(w->dbTollServ, "9-H-3");
        }, {}, [w, d] {
            EXPECT_EQ(w->sbCalcTol->Down(), QByteArray(d) == "25");
            if (w->sbCalcTol->Down()) {
                EXPECT_NEAR(Value(w->dMaxN), 25.05825, 1e-9);
                EXPECT_NEAR(Value(w->dMinN), 25.05375, 1e-9);
            }
        });
    }
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(LastMessage(), LoadStr(1056));
}

TEST_F(UcalcfamiliesTest, GasPipeSizesAndClasses)
{
    TfProcess* w = fProcess;
    Gauge(fTessvar->bGAS, 0, 0, [] {}, {{fNPDia, PipeSize("1/2")}}, [w] {
        EXPECT_NEAR(Value(w->dMaxP), 19.808, 1e-9);
        EXPECT_NEAR(Value(w->dMinP), 19.798, 1e-9);
        EXPECT_EQ(w->dbAngolo->Text(), "55");
    });
    Gauge(fTessvar->bGAS, 1, 3, [] {},
          {{fNPDia, PipeSize("1/2")},
           {fGasSelClass,
            [] {
                Check(fGasSelClass->rClassB);
                Click(fGasSelClass->bOk);
            }}},
          [w] { EXPECT_EQ(w->dbTollServ->Text(), "B"); });
    Gauge(fTessvar->bGAS, 1, 0, [] {}, {{fNPDia, PipeSize("1/2")}},
          [w] { EXPECT_EQ(w->dbTollServ->Text(), "A"); });
    // Cancel in either picker releases silently.
    Gauge(fTessvar->bGAS, 1, 3, [] {}, {{fNPDia, Cancel(fNPDia)}},
          [w] { EXPECT_FALSE(w->sbCalcTol->Down()); });
    Gauge(fTessvar->bGAS, 1, 3, [] {}, {{fNPDia, PipeSize("1/2")}, {fGasSelClass, Cancel(fGasSelClass)}},
          [w] { EXPECT_FALSE(w->sbCalcTol->Down()); });
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UcalcfamiliesTest, ButtressDiameterChecksPitchesAndLimits)
{
    TfProcess* w = fProcess;
    // The pitches offered by the diameter (inch): up to 8 in the finer,
    // above it the coarser; then the checks of the diameter.
    const auto offers = [](bool fine) {
        return [fine] {
            for (int i : {0, 1, 2})
                EXPECT_EQ(fTwBR->rM.at(size_t(i))->Enabled(), !fine) << i;
            for (int i : {11, 12, 13})
                EXPECT_EQ(fTwBR->rM.at(size_t(i))->Enabled(), fine) << i;
            fTwBR->SetModalResult(mrCancel);
        };
    };
    Road([] { Click(fTessvar->bBUTTRESS); },
         {{fCalibreSelect, Pick(fCalibreSelect, 1, 0)},
          {fProcess, [w] { Type(w->dNominale, "8"); Press(w->sbCalcTol); }},
          {fTwBR, offers(true)},
          {fProcess, [w] { Type(w->dNominale, "8.01"); Press(w->sbCalcTol); }},
          {fTwBR, offers(false)},
          {fProcess, [w] { Type(w->dNominale, "24"); Press(w->sbCalcTol); }},
          {fTwBR, Cancel(fTwBR)},
          {fProcess, [this, w] {
               EXPECT_TRUE(Messages->Shown().empty());
               for (const char* d : {"24.001", "abc", ""}) {
                   Type(w->dNominale, QString::fromLatin1(d));
                   Press(w->sbCalcTol);
                   EXPECT_FALSE(w->sbCalcTol->Down()) << d;
                   EXPECT_TRUE(w->dNominale->Enabled()) << d;
               }
               w->SetModalResult(mrCancel);
           }}});
    const auto& shown = Messages->Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].Text, "MN 170 : Diameter not valid");
    EXPECT_EQ(shown[1].Text, "MN 170 : Diameter not valid");
    EXPECT_EQ(shown[2].Text, "MN 168 : Specifiy the Diameter");
    EXPECT_EQ(shown[2].Caption, "ERROR");
    EXPECT_EQ(shown[2].Icon, TMsgIcon::Error);

    // Go ring, D 2 in (or 50.8 mm), 10 tpi, class 2A.
    for (auto [unit, d] : {std::pair{1, "2"}, std::pair{0, "50.8"}}) {
        Gauge(fTessvar->bBUTTRESS, 1, 0, [w, unit, d] {
            SetUnit(w->cUnit, unit);
            Type(w->dNominale, QString::fromLatin1(d));
        }, {{fTwBR, [] {
                Check(fTwBR->rM[10]);
                Click(fTwBR->bNext);
                EXPECT_EQ(fTwBR->rD1->Caption(), "2A");
                Check(fTwBR->rD1);
                Click(fTwBR->bNext);
            }}},
            [w] {
                EXPECT_NEAR(Value(w->dMaxP), 49.14053, 5e-6);
                EXPECT_NEAR(Value(w->dMinP), 49.13037, 5e-6);
                EXPECT_NEAR(Value(w->dNominale), 50.8, 1e-9);
                EXPECT_NEAR(Value(w->dPasso), 2.54, 1e-9);
                EXPECT_EQ(w->dbSAL->Text(), "45");
                EXPECT_EQ(w->dbSAR->Text(), "7");
                EXPECT_EQ(w->dbTollServ->Text(), "2A");
            });
    }
    EXPECT_EQ(Messages->Shown().size(), 3u);
}

// A buttress diameter typed in mm (60 mm, 2.362205 in as the inch unit
// shows it) is calculated again after a flip to inch with the same size.
TEST_F(UcalcfamiliesTest, ButtressDiameterSurvivesAUnitFlip)
{
    TfProcess* w = fProcess;
    const auto tenTpi2A = [] {
        Check(fTwBR->rM[10]);
        Click(fTwBR->bNext);
        Check(fTwBR->rD1);
        Click(fTwBR->bNext);
    };
    QStringList first;
    const auto shown = [w] {
        return QStringList{w->dbDesignazione->Text(), FloatToStr(Value(w->dMaxP)), FloatToStr(Value(w->dMinP)),
                           FloatToStr(Value(w->dNominale))};
    };
    Road([] { Click(fTessvar->bBUTTRESS); },
         {{fCalibreSelect, Pick(fCalibreSelect, 1, 0)},
          {fProcess, [w] {
               SetUnit(w->cUnit, 0);
               Type(w->dNominale, "60");
               Press(w->sbCalcTol);
           }},
          {fTwBR, tenTpi2A},
          {fProcess, [&] {
               ASSERT_TRUE(w->sbCalcTol->Down());
               first = shown();
               SetUnit(w->cUnit, 1);
               EXPECT_EQ(w->dNominale->Text().trimmed(), "+02.362205");
               CalculateAgain(w->sbCalcTol);
           }},
          {fTwBR, tenTpi2A},
          {fProcess, [&] {
               ASSERT_TRUE(w->sbCalcTol->Down());
               EXPECT_EQ(shown(), first);
               EXPECT_EQ(Value(w->dNominale), 60.0);
               w->SetModalResult(mrCancel);
           }}});
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();
}

TEST_F(UcalcfamiliesTest, WhitworthFromTheWizard)
{
    TfProcess* w = fProcess;
    Gauge(fTessvar->bWhitworth, 0, 0, [] {},
          {{fTwWhitworth,
            [] {
                TfTwWhitworth* s = fTwWhitworth;
                Check(s->rTBSW);
                Click(s->bNext);
                Check(Captioned({s->rBSW.begin(), s->rBSW.end()}, "1/2"));
                Click(s->bNext);
                Click(s->bNext);
            }}},
          [w] {
              EXPECT_EQ(w->dbAngolo->Text(), "55");
              EXPECT_EQ(w->dbDesignazione->Text(), fTwWhitworth->Designation);
              EXPECT_EQ(w->dbTollServ->Text(), fTwWhitworth->ClassText);
              EXPECT_NEAR(Value(w->dNominale), 12.7, 1e-9);
              SetUnit(w->cUnit, 0);
              EXPECT_EQ(w->dNominale->Text(), w->ValueList.Readout().FormatValue(12.7));
          });
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UcalcfamiliesTest, WhitworthNotGoRingReferencePlugSetsTheNotGoRing)
{
    // 1 in BSW, the third class, narrow tolerance: the wizard passes "free"
    // to the Not-go ring (101) and "normal" to its reference plug (104).
    // The plug's pitch diameter starts at the ring's minimum and lies in
    // the ring's band, as the window shows them in mm.
    TfProcess* w = fProcess;
    const auto oneInchBswThirdClass = [] {
        TfTwWhitworth* s = fTwWhitworth;
        Check(s->rTBSW);
        Click(s->bNext);
        Check(Captioned({s->rBSW.begin(), s->rBSW.end()}, "1"));
        Click(s->bNext);
        Check(s->rNormalFree);
        s->cExtraToll->SetChecked(false);
        Click(s->bNext);
    };
    double ringMin = NAN, ringMax = NAN;
    Gauge(fTessvar->bWhitworth, 1, 1, [] {}, {{fTwWhitworth, oneInchBswThirdClass}}, [w, &ringMin, &ringMax] {
        EXPECT_EQ(fTwWhitworth->ToleranceClass, int(WhitworthFree));
        ringMin = Value(w->dMinN);
        ringMax = Value(w->dMaxN);
    });
    Gauge(fTessvar->bWhitworth, 1, 4, [] {}, {{fTwWhitworth, oneInchBswThirdClass}}, [w, ringMin, ringMax] {
        EXPECT_EQ(fTwWhitworth->ToleranceClass, int(WhitworthNormal));
        EXPECT_NEAR(Value(w->dMinP), ringMin, 1e-9);
        EXPECT_LE(Value(w->dMaxP), ringMax);
        SetUnit(w->cUnit, 0);
        EXPECT_EQ(w->dMaxP->Text().trimmed().toStdString(), "+023.100.0");
        EXPECT_EQ(w->dMinP->Text().trimmed().toStdString(), "+023.094.9");
        Screenshot(w, QStringLiteral("process-whitworth-notgo-reference"));
    });
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();
}

TEST_F(UcalcfamiliesTest, WhitworthPitchOutsideTheGaugeTablesShowsNoLimits)
{
    // BSW 3 in has 3 1/2 tpi, coarser than every pitch band of the gauge
    // tables: the Go ring is refused with 1180 and its limits stay empty.
    // BSW 2 in (4 1/2 tpi) lies in the coarsest band and is computed first,
    // so nothing of its limits may stay beside the refused size.
    TfProcess* w = fProcess;
    for (const char* size : {"2", "3"}) {
        Gauge(fTessvar->bWhitworth, 1, 0, [] {},
              {{fTwWhitworth,
                [size] {
                    TfTwWhitworth* s = fTwWhitworth;
                    Check(s->rTBSW);
                    Click(s->bNext);
                    Check(Captioned({s->rBSW.begin(), s->rBSW.end()}, size));
                    Click(s->bNext);
                    Check(s->rNormalFree); // class free: the ring's tolerance reads table D
                    Click(s->bNext);
                }}},
              [w, size] {
                  if (QByteArray(size) == "3") {
                      EXPECT_TRUE(w->dMaxP->Text().isEmpty());
                      EXPECT_TRUE(w->dMinP->Text().isEmpty());
                      EXPECT_TRUE(w->dbDesignazione->Text().isEmpty());
                  } else {
                      EXPECT_NEAR(Value(w->dMaxP), 1.8577 * 25.4, 5e-4);
                      EXPECT_NEAR(Value(w->dMinP), 1.8567 * 25.4, 5e-4);
                  }
              });
    }
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, "MN 180 : Pitch/Diameter combination not valid");
}

// The spline size table is in mm whatever the window shows: after a flip to
// inch the calculation gives the mm result, a size typed in inch is
// converted as typed and named by the table's row, and the table's numbers
// typed into an inch window are inches, which no spline has.
TEST_F(UcalcfamiliesTest, SplineSizesAreMillimetresInEitherUnit)
{
    TfProcess* w = fProcess;
    QStringList mmTexts;
    double limits[2] = {};
    const auto typed = [w](int unit, const char* diameter, const char* module) {
        return [w, unit, diameter, module] {
            SetUnit(w->cUnit, unit);
            Type(w->dNominale, QString::fromLatin1(diameter));
            Type(w->dPasso, QString::fromLatin1(module));
            Type(w->dbTollServ, "9-H-3");
        };
    };
    Gauge(fTessvar->bSCA, 0, 1, typed(0, "25", "1.25"), {}, [&] {
        ASSERT_TRUE(w->sbCalcTol->Down());
        EXPECT_EQ(w->dbDesignazione->Text(), "GR 25 X 1.25 X 9H-LQ3");
        limits[0] = Value(w->dMaxN);
        limits[1] = Value(w->dMinN);
        EXPECT_NEAR(limits[0], 25.05825, 1e-9);
        EXPECT_NEAR(limits[1], 25.05375, 1e-9);
        mmTexts = QStringList{w->dMaxN->Text(), w->dMinN->Text(), w->dNominale->Text(), w->dPasso->Text()};
        SetUnit(w->cUnit, 1);
        CalculateAgain(w->sbCalcTol);
        ASSERT_TRUE(w->sbCalcTol->Down());
        EXPECT_EQ(w->dbDesignazione->Text(), "GR 25 X 1.25 X 9H-LQ3");
        EXPECT_NEAR(Value(w->dMaxN), limits[0], 1e-9);
        EXPECT_NEAR(Value(w->dMinN), limits[1], 1e-9);
        EXPECT_NEAR(Value(w->dNominale), 25, 1e-12);
        EXPECT_NEAR(Value(w->dPasso), 1.25, 1e-12);
        SetUnit(w->cUnit, 0);
        EXPECT_EQ(mmTexts,
                  (QStringList{w->dMaxN->Text(), w->dMinN->Text(), w->dNominale->Text(), w->dPasso->Text()}));
    });
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();

    Gauge(fTessvar->bSCA, 0, 1, typed(1, "0.984252", "0.049213"), {}, [&] {
        ASSERT_TRUE(w->sbCalcTol->Down());
        EXPECT_EQ(w->dbDesignazione->Text(), "GR 25 X 1.25 X 9H-LQ3");
        EXPECT_NEAR(Value(w->dMaxN), limits[0], 1e-9);
        EXPECT_NEAR(Value(w->dMinN), limits[1], 1e-9);
        EXPECT_NEAR(Value(w->dNominale), 0.984252 * 25.4, 1e-12); // as typed
    });
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();

    Gauge(fTessvar->bSCA, 0, 1, typed(1, "25", "1.25"), {}, [&] {
        EXPECT_FALSE(w->sbCalcTol->Down());
        EXPECT_EQ(w->dMaxN->Text(), "");
        EXPECT_EQ(w->dbDesignazione->Text(), "");
        EXPECT_NEAR(Value(w->dNominale), 635, 1e-9);
    });
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(LastMessage(), LoadStr(1056));
}

// A plain inch gauge keeps the size as it was typed, fraction and all,
// however often it is calculated and whatever unit it was shown in since.
TEST_F(UcalcfamiliesTest, AnsiPlainSizeStaysAsTyped)
{
    TfProcess* w = fProcess;
    double limits[2] = {};
    const auto again = [w, &limits](const char* what) {
        CalculateAgain(w->sbCalcTol);
        ASSERT_TRUE(w->sbCalcTol->Down()) << what;
        EXPECT_EQ(w->dbDesignazione->Text(), "1 1/2\"") << what;
        EXPECT_NEAR(Value(w->dMaxP), limits[0], 1e-12) << what;
        EXPECT_NEAR(Value(w->dMinP), limits[1], 1e-12) << what;
        EXPECT_NEAR(Value(w->dNominale), 38.1, 1e-12) << what;
    };
    std::vector<TStep> steps{{fCalibreSelect, Pick(fCalibreSelect, 0, 0)},
                             {fProcess,
                              [w] {
                                  SetUnit(w->cUnit, 1);
                                  Type(w->dNominale, "1 1/2");
                                  Type(w->dbTollServ, "XX");
                                  Press(w->sbCalcTol);
                              }},
                             {fProcess,
                              [&] {
                                  ASSERT_TRUE(w->sbCalcTol->Down());
                                  EXPECT_EQ(w->dbDesignazione->Text(), "1 1/2\"");
                                  EXPECT_EQ(w->dNominale->Text().trimmed(), "+01.500000");
                                  limits[0] = Value(w->dMaxP);
                                  limits[1] = Value(w->dMinP);
                                  again("pressed again");
                                  SetUnit(w->cUnit, 0);
                                  SetUnit(w->cUnit, 1);
                                  again("flipped to mm and back");
                                  // In mm the entry dialog asks for the deviations.
                                  SetUnit(w->cUnit, 0);
                                  CalculateAgain(w->sbCalcTol);
                              }},
                             {fInsTol,
                              [] {
                                  fInsTol->eToll->SetText("XX");
                                  fInsTol->eTSup->SetText("");
                                  fInsTol->eTInf->SetText("");
                                  Click(fInsTol->bOk);
                              }},
                             {fProcess, [&] {
                                  ASSERT_TRUE(w->sbCalcTol->Down());
                                  EXPECT_EQ(w->dbDesignazione->Text(), "1 1/2\"");
                                  EXPECT_NEAR(Value(w->dMaxP), limits[0], 1e-12);
                                  EXPECT_NEAR(Value(w->dNominale), 38.1, 1e-12);
                                  w->SetModalResult(mrCancel);
                              }}};
    Road([] { Click(fTessvar->bAnsiAsme); }, steps);
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();
}

// A size typed in inch as a fraction is never erased: a calculation that
// fails (class "ZZ" is in no table) leaves "1 1/2" as typed, and the next
// one takes it; typed and flipped to mm before any calculation, it shows as
// +038.100.0 and calculates there. (The readout cannot read a fraction: the
// field came back empty, and in mm the calculation failed.)
TEST_F(UcalcfamiliesTest, AnsiPlainFractionIsNeverErased)
{
    TfProcess* w = fProcess;
    // The size typed in inch with a tolerance, the window then left in unit.
    const auto fraction = [w](const char* tolerance, int unit) {
        return [w, tolerance, unit] {
            SetUnit(w->cUnit, 1);
            Type(w->dNominale, "1 1/2");
            Type(w->dbTollServ, QString::fromLatin1(tolerance));
            SetUnit(w->cUnit, unit);
        };
    };
    double maxP = 0;
    Gauge(
        fTessvar->bAnsiAsme, 0, 0, fraction("ZZ", 1), {},
        [&] {
            EXPECT_FALSE(w->sbCalcTol->Down());
            EXPECT_EQ(LastMessage(), "MN 055 : Error calculating tolerance from tabel");
            EXPECT_EQ(w->dNominale->Text(), "1 1/2");
            EXPECT_EQ(w->dMaxP->Text(), "");
            Screenshot(w, QStringLiteral("process-ansi-fraction-failed"));
            Messages->Service().Shown.clear();
            Type(w->dbTollServ, "XX");
            Press(w->sbCalcTol);
            ASSERT_TRUE(w->sbCalcTol->Down());
            EXPECT_EQ(w->dbDesignazione->Text(), "1 1/2\"");
            EXPECT_EQ(w->dNominale->Text().trimmed(), "+01.500000");
            maxP = Value(w->dMaxP);
        });

    Gauge(
        fTessvar->bAnsiAsme, 0, 0, fraction("XX", 0),
        {{fInsTol,
          [w] {
              EXPECT_EQ(w->dNominale->Text(), "  +038.100.0"); // flipped, not yet calculated
              fInsTol->eToll->SetText("XX");
              fInsTol->eTSup->SetText("");
              fInsTol->eTInf->SetText("");
              Click(fInsTol->bOk);
          }}},
        [&] {
            ASSERT_TRUE(w->sbCalcTol->Down());
            EXPECT_EQ(w->dbDesignazione->Text(), "1 1/2\"");
            EXPECT_EQ(w->dNominale->Text(), "  +038.100.0");
            EXPECT_NEAR(Value(w->dNominale), 38.1, 1e-12);
            EXPECT_NEAR(Value(w->dMaxP), maxP, 1e-12);
            Screenshot(w, QStringLiteral("process-ansi-fraction-flipped"));
        });

    // The neighbour whose window opens in inch too: a buttress size typed as
    // a fraction is 1.5 in, as 1.5 typed is, and then shows as a value.
    QStringList decimal;
    for (const char* size : {"1.5", "1 1/2"}) {
        Gauge(
            fTessvar->bBUTTRESS, 1, 0, [w, size] { Type(w->dNominale, size); },
            {{fTwBR,
              [] {
                  Check(fTwBR->rM[10]);
                  Click(fTwBR->bNext);
                  Check(fTwBR->rD1);
                  Click(fTwBR->bNext);
              }}},
            [&] {
                ASSERT_TRUE(w->sbCalcTol->Down()) << size;
                EXPECT_EQ(w->dNominale->Text().trimmed(), "+01.500000") << size;
                const QStringList shown = {w->dbDesignazione->Text(), w->dMaxP->Text(), w->dMinP->Text()};
                if (decimal.isEmpty())
                    decimal = shown;
                EXPECT_EQ(shown, decimal) << size;
            });
    }
    EXPECT_TRUE(Messages->Shown().empty()) << LastMessage().toStdString();
}

} // namespace
