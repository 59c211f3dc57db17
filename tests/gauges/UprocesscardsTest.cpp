// The gauge and workpiece cards: their parameters against the report
// projects compiled into run/, and prints through the Print buttons into
// PDF files (no printer is installed here: the run's output file is set).
#include "gauges/Uprocesscards.h"
#include "report/components/QpZarv.h"
#include "report/model/ZvProj.h"
#include "report/print/QpFormPreview.h"
#include "report/print/QpSystem.h"
#include "tests/gauges/ProcessRoad.h"

#include <QCoreApplication>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

class UprocesscardsTest : public ProcessRoadTest {
protected:
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
        ProcessRoadTest::SetUp();
        FOldFolder = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(TESSVAR_REPORT_PROJECT_DIR));
        ReportSystemPrepared = [this](TZvSystem& system) {
            ++Systems;
            if (Prepare)
                Prepare(system);
        };
    }
    void TearDown() override
    {
        if (IsSkipped())
            return;
        ReportSystemPrepared = nullptr;
        QDir::setCurrent(FOldFolder);
        ProcessRoadTest::TearDown();
    }

    static QStringList Names(const TReportParams& params)
    {
        QStringList names;
        for (const auto& param : params)
            names << param.first;
        return names;
    }
    static QString Param(const TReportParams& params, const QString& name)
    {
        for (const auto& param : params) {
            if (param.first == name)
                return param.second;
        }
        ADD_FAILURE() << "no parameter " << name.toStdString();
        return QString();
    }
    // The parameters a project file declares.
    static QStringList Declared(const QString& file)
    {
        TZvProject project(nullptr);
        project.SetProjectFile(file);
        project.Open();
        QStringList names;
        const TStrings* declared = project.ProjMan()->Parameters();
        for (int i = 0; i < declared->Count(); ++i)
            names << declared->Strings(i);
        project.Close();
        return names;
    }
    // Prints through the button into a PDF; the card's parameters and the
    // PDF's text (empty when pdftotext is missing).
    QString PrintToPdf(TButton* print, const QString& name)
    {
        const QString pdf = Folder.filePath(name + QStringLiteral(".pdf"));
        Prepare = [pdf](TZvSystem& system) { system.SetOutputFileName(pdf); };
        Click(print);
        Prepare = nullptr;
        EXPECT_TRUE(QFile::exists(pdf)) << pdf.toStdString();
        // Kept for looking at it beside the window pictures.
        if (const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS"); !folder.isEmpty()) {
            QDir().mkpath(folder);
            QFile::remove(folder + u'/' + name + QStringLiteral(".pdf"));
            QFile::copy(pdf, folder + u'/' + name + QStringLiteral(".pdf"));
        }
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            return QString();
        QProcess process;
        process.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    // Every non-empty value is printed, as often as the card holds it
    // (the text's runs of blanks as one).
    static void ExpectPrinted(const TReportParams& params, const QString& pdfText)
    {
        if (pdfText.isEmpty())
            return;
        const QString text = pdfText.simplified();
        for (const auto& [name, value] : params) {
            const QString printed = value.simplified();
            if (printed.isEmpty())
                continue;
            int times = 0;
            for (const auto& other : params)
                times += other.second.simplified() == printed;
            EXPECT_EQ(text.count(printed), times) << name.toStdString() << " " << printed.toStdString();
        }
    }
    // Opens the gauge window for a gauge type, lets steps fill it and runs
    // check while it is up.
    void Gauge(TButton* family, int group, int item, std::vector<TStep> steps)
    {
        steps.insert(steps.begin(), {fCalibreSelect, Pick(fCalibreSelect, group, item)});
        Road([family] { Click(family); }, steps);
    }
    // The ISO thread plug M10 x 1.5 6H of a group item, calculated.
    std::vector<TStep> IsoThreadPlug(const std::function<void()>& check)
    {
        TfProcess* w = fProcess;
        return {{fProcess, [w] {
                     Type(w->dNominale, "10");
                     Type(w->dPasso, "1.5");
                     Type(w->dbTollServ, "6H");
                     Press(w->sbCalcTol);
                 }},
                {fProcess, [w, check] {
                     check();
                     w->SetModalResult(mrCancel);
                 }}};
    }

    // The size picker's button of a pipe size, then OK.
    static std::function<void()> PipeSize(const QString& caption)
    {
        return [caption] {
            for (TRadioButton* button : fNPDia->SizeButtonList) {
                if (button->Visible() && button->Caption() == caption) {
                    Check(button);
                    Click(fNPDia->bOk);
                    return;
                }
            }
            ADD_FAILURE() << "no pipe size " << caption.toStdString();
        };
    }
    // The texts a user reads on a window: every edit but the inputs.
    static void ExpectNoResults(TCustomForm* window, const char* const* names, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            const TEdit* edit = FindOwned<TEdit>(window, QString::fromLatin1(names[i]));
            ASSERT_NE(edit, nullptr) << names[i];
            EXPECT_EQ(edit->Text(), "") << names[i];
        }
    }
    // A size read as 0 would print as "000.000" in the readout's format.
    static void ExpectNoZeroSize(const QString& pdfText)
    {
        EXPECT_FALSE(pdfText.contains(QStringLiteral("000.000"))) << pdfText.toStdString();
    }

    static void ClosePreview(bool& maximised)
    {
        QTimer::singleShot(50, [&maximised] {
            for (TCustomForm* form : ScreenForms()) {
                if (auto* preview = dynamic_cast<TZarvPreviewForm*>(form); preview && preview->Modal()) {
                    maximised = preview->WindowState() == TWindowState::wsMaximized;
                    preview->Close();
                    return;
                }
            }
            ClosePreview(maximised);
        });
    }

    QTemporaryDir Folder;
    int Systems = 0;
    std::function<void(TZvSystem&)> Prepare;

private:
    QString FOldFolder;
};

TEST_F(UprocesscardsTest, GaugeCardOfAnIsoPlugAndABattressRing)
{
    TfProcess* w = fProcess;
    // A Go plug: the No-go rows are hidden and empty.
    Gauge(fTessvar->bISO, 2, 0, IsoThreadPlug([w] {
        const TReportParams card = GaugeCardParams(w);
        ASSERT_EQ(Names(card), Declared(GaugeCardProject));
        ASSERT_EQ(card.size(), 24u);
        EXPECT_EQ(Param(card, "Title"), "TOLLERANZE");
        EXPECT_EQ(Param(card, "Unit"), "values in mm");
        EXPECT_EQ(Param(card, "Diametro"), "Nominal diameter: " + w->dNominale->Text());
        EXPECT_EQ(Param(card, "Maxl"), "Max Nom.:");
        EXPECT_EQ(Param(card, "Mediol"), "Avg Diameter:");
        EXPECT_EQ(Param(card, "Maxp"), w->dMaxP->Text());
        EXPECT_EQ(Param(card, "TxtP"), "Go");
        for (const char* hidden : {"Maxnp", "Minnp", "Lognp", "Medionp", "TxtNP", "Hmisl", "Hmisp", "Hmisnp"})
            EXPECT_EQ(Param(card, hidden), "") << hidden;
    }));

    // The limit plug, printed.
    Gauge(fTessvar->bISO, 2, 2, IsoThreadPlug([this, w] {
        const TReportParams card = GaugeCardParams(w);
        EXPECT_EQ(Param(card, "Tolleranze"), "Gage Tolerance: 6H");
        EXPECT_EQ(Param(card, "Angolo"), "Angle (deg): 60");
        EXPECT_EQ(Param(card, "Starts"), "n.starts: 1");
        const QString text = PrintToPdf(w->bPrint, QStringLiteral("gagecard-iso"));
        ExpectPrinted(card, text);
        EXPECT_TRUE(w->Showing()); // the window stays
    }));

    // A buttress Go ring with its semi-angles, in inch.
    Gauge(fTessvar->bBUTTRESS, 1, 0,
          {{fProcess, [w] {
                Type(w->dNominale, "2");
                Press(w->sbCalcTol);
            }},
           {fTwBR, [] {
                Check(fTwBR->rM[10]);
                Click(fTwBR->bNext);
                Check(fTwBR->rD1);
                Click(fTwBR->bNext);
            }},
           {fProcess, [this, w] {
                const TReportParams card = GaugeCardParams(w);
                EXPECT_EQ(Param(card, "Unit"), "values in inches");
                EXPECT_EQ(Param(card, "Angolo"), "Semi-angle (deg): 45 | 7");
                ExpectPrinted(card, PrintToPdf(w->bPrint, QStringLiteral("gagecard-buttress")));
                w->SetModalResult(mrCancel);
            }}});
    EXPECT_EQ(Systems, 2);
    for (const auto& shown : Messages->Shown())
        ADD_FAILURE() << shown.Text.toStdString();
}

TEST_F(UprocesscardsTest, WorkpieceCard)
{
    TfProcess2* w = fProcess2;
    fTessvar->rWorkpiece->SetChecked(true);
    // An ANSI/ASME plain hole: the hidden workpiece rows still print.
    Road([] { Click(fTessvar->bAnsiAsme); },
         {{fCalibreSelect2, Pick(fCalibreSelect2, 0, 0)},
          {fProcess2, [w] {
               EXPECT_FALSE(w->dMaxW->Visible());
               const TReportParams card = WorkpieceCardParams(w);
               ASSERT_EQ(Names(card), Declared(WorkpieceCardProject));
               ASSERT_EQ(card.size(), 12u);
               EXPECT_EQ(Param(card, "Maxl"), "Max:");
               EXPECT_EQ(Param(card, "Minl"), "Min:");
               EXPECT_EQ(Param(card, "TxtP"), "Hole deviation: Workpiece Tolerance");
               w->SetModalResult(mrCancel);
           }}});
    // An ISO nut thread, calculated and printed.
    Road([] { Click(fTessvar->bISO); },
         {{fCalibreSelect2, Pick(fCalibreSelect2, 2, 0)},
          {fProcess2, [w] {
               Type(w->dNominale, "10");
               Type(w->dPasso, "1.5");
               Type(w->dbTollServ, "6H");
               Press(w->sbCalcTol);
           }},
          {fProcess2, [this, w] {
               const TReportParams card = WorkpieceCardParams(w);
               EXPECT_EQ(Param(card, "TxtP"), "Nut screw deviation: Workpiece Tolerance");
               EXPECT_EQ(Param(card, "Maxp"), w->dMaxW->Text());
               EXPECT_FALSE(Param(card, "Maxp").isEmpty());
               ExpectPrinted(card, PrintToPdf(w->bPrint, QStringLiteral("piececard-iso")));
               w->SetModalResult(mrCancel);
           }}});
    EXPECT_EQ(Systems, 1);
}

// A failed calculation empties what an earlier one showed; a card prints
// only what one calculation showed, unedited (Print after an edit says the
// values must be calculated first); a unit change is no edit.
TEST_F(UprocesscardsTest, ACardPrintsOneCalculation)
{
    TfProcess* w = fProcess;
    static const char* const results[] = {"dMaxP", "dMinP", "dLogP", "dMedP", "dMaxN", "dMinN",
                                          "dLogN", "dMedN", "dMaxW", "dMinW", "dMaxPe", "dMinPe",
                                          "dMaxNe", "dMinNe", "dMaxPi", "dMinPi", "dMaxNi", "dMinNi",
                                          "dTPasso", "dHMis1", "dHMis2", "dbDesignazione"};
    Gauge(fTessvar->bISO, 2, 2, IsoThreadPlug([this, w] {
        ASSERT_EQ(w->dbDesignazione->Text(), "M 10 X 1.5");
        PrintToPdf(w->bPrint, QStringLiteral("gagecard-m10"));
        EXPECT_EQ(Systems, 1);

        // Unlocked, a diameter the table does not hold: its message, and
        // nothing of M10 stays beside 10000.
        Press(w->sbCalcTol);
        Type(w->dNominale, "10000");
        Press(w->sbCalcTol);
        EXPECT_FALSE(w->sbCalcTol->Down());
        ASSERT_EQ(Messages->Shown().size(), 1u);
        EXPECT_EQ(Messages->Shown()[0].Text, LoadStr(954)); // "Diameter not available"
        ExpectNoResults(w, results, std::size(results));
        EXPECT_TRUE(std::isnan(Value(w->dMaxP)));
        EXPECT_DOUBLE_EQ(Value(w->dNominale), 10000); // the input stays
        Click(w->bPrint);
        EXPECT_EQ(Systems, 1);
        ASSERT_EQ(Messages->Shown().size(), 2u);
        EXPECT_EQ(Messages->Shown()[1].Text, "MN 192 : The values must be calculated first");
        EXPECT_EQ(Messages->Shown()[1].Caption, "ATTENTION");

        // Calculated again: it prints, in either unit.
        Type(w->dNominale, "10");
        Press(w->sbCalcTol);
        ASSERT_TRUE(w->sbCalcTol->Down());
        SetUnit(w->cUnit, 1);
        const QString text = PrintToPdf(w->bPrint, QStringLiteral("gagecard-m10-inch"));
        ExpectPrinted(GaugeCardParams(w), text);
        EXPECT_EQ(Systems, 2);

        // An input or a result edited after the calculation: no card.
        Press(w->sbCalcTol);
        Type(w->dbAngolo, "55");
        Click(w->bPrint);
        Type(w->dbAngolo, "60");
        Type(w->dMaxP, "9.1");
        Click(w->bPrint);
        EXPECT_EQ(Systems, 2);
        ASSERT_EQ(Messages->Shown().size(), 4u);
        EXPECT_EQ(Messages->Shown()[3].Text, Messages->Shown()[1].Text);
    }));
}

// The pipe calculators leave the workpiece limits of G 1/2 uncomputed (0):
// they are empty on the gauge window, on the workpiece window and its card,
// and nothing reaches the measuring tab as a size.
TEST_F(UprocesscardsTest, UncomputedPipeLimitsStayEmpty)
{
    TfProcess* w = fProcess;
    Gauge(fTessvar->bGAS, 1, 2,
          {{fProcess, [w] { Press(w->sbCalcTol); }},
           {fNPDia, PipeSize("1/2")},
           {fProcess, [this, w] {
                ASSERT_TRUE(w->sbCalcTol->Down());
                EXPECT_TRUE(w->dMaxW->Visible());
                EXPECT_EQ(w->dMaxW->Text(), "");
                EXPECT_EQ(w->dMinW->Text(), "");
                EXPECT_FALSE(w->dMaxP->Text().isEmpty());
                const QString text = PrintToPdf(w->bPrint, QStringLiteral("gagecard-g12"));
                ExpectPrinted(GaugeCardParams(w), text);
                ExpectNoZeroSize(text);
                Click(w->bMeasureWp);
            }}});
    EXPECT_EQ(fTessvar->eTsupP->Text(), "");
    EXPECT_EQ(fTessvar->eTinfP->Text(), "");
    EXPECT_TRUE(std::isnan(Value(fTessvar->LengthList, fTessvar->eTsupP)));

    // The workpiece window of the same type (its family button is hidden in
    // workpiece mode; its handler runs as a click would).
    TfProcess2* w2 = fProcess2;
    fTessvar->rWorkpiece->SetChecked(true);
    Road([] { fTessvar->bISOClick(fTessvar->bGAS); },
         {{fCalibreSelect2, Pick(fCalibreSelect2, 1, 0)},
          {fProcess2, [w2] { Press(w2->sbCalcTol); }},
          {fNPDia, PipeSize("1/2")},
          {fProcess2, [this, w2] {
               ASSERT_TRUE(w2->sbCalcTol->Down());
               for (TEdit* edit : {w2->dMaxW, w2->dMinW, w2->dAvg, w2->dScost, w2->dHoleW})
                   EXPECT_EQ(edit->Text(), "") << edit->Name().toStdString();
               const TReportParams card = WorkpieceCardParams(w2);
               EXPECT_EQ(Param(card, "Maxp"), "");
               EXPECT_EQ(Param(card, "Minp"), "");
               ExpectNoZeroSize(PrintToPdf(w2->bPrint, QStringLiteral("piececard-g12")));
               w2->SetModalResult(mrCancel);
           }}});
    EXPECT_EQ(Systems, 2);
    EXPECT_TRUE(Messages->Shown().empty());
}

// The ISO 228 check plugs of the rings go by the names of the rings they
// check, from the picker's button to the window, and the card prints their
// limits in the column of their role: G 1/4 class A, the wear check plug of
// the Go ring on its wear limit 12.317, the Not-go check plug of the Not-go
// ring on its maximum 12.176 and its wear check plug on its wear limit
// 12.1815.
TEST_F(UprocesscardsTest, IsoParallelCheckPlugsGoByTheirRingsNames)
{
    const struct {
        int Item;
        const char* Name;
        const char* Max; // as the window and the card show it
        const char* Min;
    } rows[] = {
        {7, "Wear check plug for solid or adj. go screw ring", "+012.321.5", "+012.312.5"},
        {9, "Not-go check plug gage for not-go ring gage", "+012.180.5", "+012.171.5"},
        {10, "Wear check plug for solid or adj. not-go screw ring", "+012.186.0", "+012.177.0"},
    };
    TfProcess* w = fProcess;
    for (const auto& row : rows) {
        const QString name = QString::fromLatin1(row.Name);
        Road([] { Click(fTessvar->bGAS); },
             {{fCalibreSelect,
               [&row, name] {
                   fCalibreSelect->bType1Click(fCalibreSelect->GroupLabels.at(1));
                   TButton* button = fCalibreSelect->TypeButtons.at(size_t(row.Item));
                   EXPECT_EQ(button->Caption().toStdString(), row.Name);
                   Click(button);
               }},
              {fProcess,
               [w, name] {
                   EXPECT_TRUE(w->Caption().endsWith(u'|' + name)) << w->Caption().toStdString();
                   Press(w->sbCalcTol);
               }},
              {fNPDia, PipeSize("1/4")},
              {fGasSelClass,
               [] {
                   Check(fGasSelClass->rClassA);
                   Click(fGasSelClass->bOk);
               }},
              {fProcess, [this, w, &row] {
                   ASSERT_TRUE(w->sbCalcTol->Down());
                   // A Not-go gauge shows its limits in the No-go column.
                   const bool noGo = row.Item == 9;
                   EXPECT_EQ((noGo ? w->dMaxN : w->dMaxP)->Text().simplified().toStdString(), row.Max);
                   EXPECT_EQ((noGo ? w->dMinN : w->dMinP)->Text().simplified().toStdString(), row.Min);
                   const QString text =
                       PrintToPdf(w->bPrint, QStringLiteral("gagecard-g14-%1").arg(row.Item));
                   ExpectPrinted(GaugeCardParams(w), text);
                   if (!text.isEmpty()) {
                       const QString column = noGo ? QStringLiteral("No-go") : QStringLiteral("Go");
                       EXPECT_TRUE(text.simplified().contains(
                           column + QStringLiteral(" Max Nom.: ") + QLatin1String(row.Max) +
                           QStringLiteral(" Min Nom: ") + QLatin1String(row.Min)))
                           << text.toStdString();
                   }
                   w->SetModalResult(mrCancel);
               }}});
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UprocesscardsTest, PreviewMissingProjectAndAFailedRun)
{
    TfProcess* w = fProcess;
    const QString missing = Folder.path();
    Gauge(fTessvar->bISO, 2, 2,
          {{fProcess, [this, w, missing] {
                // Preview: maximised, without the output options window.
                fTessvar->cPreview->SetChecked(true);
                bool maximised = false;
                Prepare = [&maximised](TZvSystem& system) {
                    EXPECT_EQ(system.DefaultDest(), TReportDest::rdPreview);
                    EXPECT_FALSE(system.SystemSetups().Contains(TSystemSetup::ssAllowSetup));
                    // The user closes the preview once it shows.
                    ClosePreview(maximised);
                };
                Click(w->bPrint);
                EXPECT_TRUE(maximised);
                EXPECT_EQ(Systems, 1);
                fTessvar->cPreview->SetChecked(false);

                // A run that fails leaves nothing open for the next print.
                Prepare = [](TZvSystem& system) { system.SetDefaultDest(TReportDest::rdFile); };
                Click(w->bPrint);
                EXPECT_EQ(Messages->Shown().size(), 1u);
                EXPECT_FALSE(w->ZvProject1->Active());
                PrintToPdf(w->bPrint, QStringLiteral("gagecard-after-failure"));
                EXPECT_EQ(Systems, 3);

                // No project in the current folder: its error, no run controller.
                QDir::setCurrent(missing);
                Click(w->bPrint);
                EXPECT_EQ(Systems, 3);
                w->SetModalResult(mrCancel);
            }}});
    const auto& shown = Messages->Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].Text, "The following reporting project does not exist:\r\"" +
                                 QDir(missing).absoluteFilePath(GaugeCardProject) + "\"\r\"" +
                                 QCoreApplication::applicationDirPath() + "/run/" + GaugeCardProject + "\"");
}

} // namespace
