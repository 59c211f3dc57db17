// Reports to PDF and to the preview beside bare Qt doing the same drawing:
// a data-band report of 10,000 rows (three texts and a rule a row, 50 rows
// a page, every row's values its own) and the gauge card, each to a PDF file
// through the "Print to PDF" printer as the print buttons print (the data
// band also as the writer places it, without justified blocks) against a
// bare QPdfWriter, and a
// preview page against a bare QPainter on a picture of the same size. The
// bare side draws what the report's own snapshot draws, at the same places,
// on the same paper. The side-by-side benchmarks alternate the two and give
// the ratio of their times (min and median of the iterations).
// Run by hand on a release build, not by ctest.
#include "PdfSystem.h"
#include "PreviewScrollBox.h"
#include "report/components/QpZarv.h"
#include "report/components/ZvCsData.h"
#include "report/components/ZvCsDraw.h"
#include "report/components/ZvCsRpt.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvProj.h"
#include "report/print/QpFiler.h"
#include "report/print/QpRender.h"
#include "report/print/QpRenderPreview.h"
#include "report/print/QpRenderPrinter.h"
#include "report/print/QpSystem.h"
#include "report/print/QpTextWidth.h"

#include "platform/forms/Forms.h"
#include "platform/forms/MessageService.h"
#include "platform/forms/Picture.h"
#include "platform/graphics/Graphics.h"
#include "platform/rtl/Streams.h"
#include "tests/support/MemoryDataView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

constexpr int kRows = 10000;
constexpr int kRowsPerPage = 50;
constexpr double kBandHeight = 0.2;
constexpr int kPdfDpi = 600;

// The files written; TESSVAR_BENCHMARK_KEEP keeps them to be looked at.
QTemporaryDir& Folder()
{
    static QTemporaryDir folder = [] {
        QTemporaryDir dir;
        if (qEnvironmentVariableIsSet("TESSVAR_BENCHMARK_KEEP")) {
            dir.setAutoRemove(false);
            qInfo("files in %s", qPrintable(dir.path()));
        }
        return dir;
    }();
    return folder;
}

QString PathOf(const QString& name)
{
    return QDir(Folder().path()).filePath(name);
}

// ---------------------------------------------------------------------------
// What a snapshot draws, recorded for the bare side.

struct TBareText {
    QString Text;
    double X, Y; // inches; Y the baseline
    int Align;   // 0 left, 1 centre, 2 right
    int Font;    // index into TBarePages::Fonts
};
struct TBareLine {
    double X1, Y1, X2, Y2;
    bool Box;
};
struct TBarePage {
    std::vector<TBareText> Texts;
    std::vector<TBareLine> Lines;
};
struct TBarePages {
    double Width = 8.5, Height = 11; // inches
    std::vector<QFont> Fonts;        // em heights in inches x 1000 as pixel sizes
    std::vector<double> FontHeights;
    std::vector<TBarePage> Pages;
};

class TBareRecorder : public TQPRender {
public:
    TBareRecorder() : TQPRender(nullptr) {}
    TBarePages Result;

    void PageBegin() override
    {
        Result.Width = snPaperWidth;
        Result.Height = snPaperHeight;
        Result.Pages.emplace_back();
    }
    void LeftText(const QString& t, double x, double y) override { Text(t, x, y, 0); }
    void CenterText(const QString& t, double x, double y) override { Text(t, x, y, 1); }
    void RightText(const QString& t, double x, double y) override { Text(t, x, y, 2); }
    void PrintSpaces(const QString& t, double x, double y, double) override { Text(t, x, y, 0); }
    void MoveTo(double x, double y) override { FAt = {x, y}; }
    void LineTo(double x, double y) override
    {
        Result.Pages.back().Lines.push_back({FAt.x(), FAt.y(), x, y, false});
        FAt = {x, y};
    }
    void Rectangle(double x1, double y1, double x2, double y2) override
    {
        Result.Pages.back().Lines.push_back({x1, y1, x2, y2, true});
    }

private:
    void Text(const QString& t, double x, double y, int align)
    {
        const TSaveFont& f = Converter->FontData();
        QFont font(f.Name);
        font.setBold(f.Bold);
        font.setItalic(f.Italic);
        int index = -1;
        for (size_t i = 0; i < Result.Fonts.size(); ++i) {
            if (Result.Fonts[i] == font && Result.FontHeights[i] == f.Height)
                index = int(i);
        }
        if (index < 0) {
            index = int(Result.Fonts.size());
            Result.Fonts.push_back(font);
            Result.FontHeights.push_back(f.Height);
        }
        Result.Pages.back().Texts.push_back({t, x, y, align, index});
    }

    QPointF FAt;
};

TBarePages Record(const QByteArray& snapshot)
{
    TBareRecorder recorder;
    TMemoryStream stream(snapshot);
    recorder.Render(&stream);
    recorder.SetZSFStream(nullptr);
    return std::move(recorder.Result);
}

// Draws the pages at dpi pixels an inch; newPage between pages.
void DrawBare(QPainter& p, const TBarePages& pages, double dpi, const std::function<void()>& newPage)
{
    std::vector<QFont> fonts = pages.Fonts;
    for (size_t i = 0; i < fonts.size(); ++i)
        fonts[i].setPixelSize(std::max(1, int(pages.FontHeights[i] * dpi + 0.5)));
    bool first = true;
    for (const TBarePage& page : pages.Pages) {
        if (!first)
            newPage();
        first = false;
        p.setPen(QPen(Qt::black, dpi / 100));
        for (const TBareLine& l : page.Lines) {
            if (l.Box)
                p.drawRect(QRectF(QPointF(l.X1 * dpi, l.Y1 * dpi), QPointF(l.X2 * dpi, l.Y2 * dpi)));
            else
                p.drawLine(QPointF(l.X1 * dpi, l.Y1 * dpi), QPointF(l.X2 * dpi, l.Y2 * dpi));
        }
        int font = -1;
        for (const TBareText& t : page.Texts) {
            if (t.Font != font) {
                font = t.Font;
                p.setFont(fonts[size_t(font)]);
            }
            const QPointF at(t.X * dpi, t.Y * dpi);
            if (t.Align == 0) {
                p.drawText(at, t.Text);
            } else {
                const double w = p.fontMetrics().horizontalAdvance(t.Text);
                p.drawText(at - QPointF(t.Align == 1 ? w / 2 : w, 0), t.Text);
            }
        }
    }
}

void BarePdf(const TBarePages& pages, const QString& file)
{
    QPdfWriter writer(file);
    writer.setResolution(kPdfDpi);
    writer.setPageSize(QPageSize(QSizeF(pages.Width, pages.Height), QPageSize::Inch));
    writer.setPageMargins(QMarginsF());
    QPainter p(&writer);
    DrawBare(p, pages, kPdfDpi, [&writer] { writer.newPage(); });
}

// ---------------------------------------------------------------------------
// The reports.

// Runs a report on engine: the writer into memory (placing spaced texts as
// justified blocks, as the system's filer does, or as they come), or the
// system as the print buttons use it, to the "Print to PDF" printer and file.
QByteArray SnapshotOf(const std::function<void(TQpComponent*)>& run,
                      TAccuracyMethod accuracy = TAccuracyMethod::amPositioning)
{
    TMemoryStream stream;
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    writer.SetAccuracyMethod(accuracy);
    run(&writer);
    return stream.Bytes();
}

void PrintToPdf(const std::function<void(TQpComponent*)>& run, const QString& file)
{
    TZvSystem system(nullptr);
    PrintStraightToPdf(system, file);
    run(&system);
}

// A report that runs on any engine, to a snapshot or to a PDF file.
class TBenchReport {
public:
    virtual ~TBenchReport() = default;
    virtual void Run(TQpComponent* engine) = 0;

    QByteArray Snapshot()
    {
        return SnapshotOf([this](TQpComponent* engine) { Run(engine); });
    }
    void ToPdf(const QString& file)
    {
        PrintToPdf([this](TQpComponent* engine) { Run(engine); }, file);
    }
    // Through the writer's own placing into memory, then played back on the
    // printer render target into file: no justified blocks.
    void ToPdfAsWritten(const QString& file)
    {
        TMemoryStream stream(
            SnapshotOf([this](TQpComponent* engine) { Run(engine); }, TAccuracyMethod::amAppearance));
        TZvRenderPrinter printer(nullptr);
        printer.PrintRender(&stream, file);
    }
};

// A region of 50 bands a page; the band shows three data texts (truncated
// to their widths) and a rule under them.
class TDataBandReport : public TBenchReport {
public:
    TDataBandReport()
    {
        RecordReportWriterProcs();
        RunZarvProcs(QStringLiteral("*"));
        TMemoryDataView::Register();
        Project.New();
        Report = Project.ActiveReport();
        TZarvPage* page = Report->LoadedPage(0);
        page->SetPaperSize(9); // A4
        QStringList rows;
        rows.reserve(kRows);
        for (int i = 1; i <= kRows; ++i)
            rows << QStringLiteral("Item %1|M%2x%3 6g lot %4|%5 mm")
                        .arg(i)
                        .arg(3 + i % 61)
                        .arg(0.25 + (i % 13) * 0.25)
                        .arg(100000 + i * 7)
                        .arg(i * 0.0125, 0, 'f', 4);
        TMemoryDataView* view =
            TMemoryDataView::Make(Project, QStringLiteral("Rows"), QStringLiteral("A|B|C"), rows.join(u';'));

        auto* region = new TZarvRegion(page);
        region->SetName(QStringLiteral("Region1"));
        region->SetParent(page);
        region->SetLeft(0.5);
        region->SetTop(0.5);
        region->SetWidth(7);
        region->SetHeight(kRowsPerPage * kBandHeight + 0.001);
        auto* band = new TZarvDataBand(page);
        band->SetName(QStringLiteral("Rows1"));
        band->SetParent(region);
        band->SetHeight(kBandHeight);
        band->SetDataView(view);
        const struct {
            const char* Field;
            double Left, Width;
        } columns[] = {{"A", 0.1, 1.5}, {"B", 1.8, 2.5}, {"C", 4.5, 2.3}};
        int n = 0;
        for (const auto& c : columns) {
            auto* text = new TZarvDataText(page);
            text->SetName(QStringLiteral("Text%1").arg(++n));
            text->SetParent(band);
            text->SetLeft(c.Left);
            text->SetTop(0.02);
            text->SetWidth(c.Width);
            text->SetDataView(view);
            text->SetDataField(QString::fromLatin1(c.Field));
            text->SetTruncate(true);
        }
        auto* rule = new TZarvHLine(page);
        rule->SetName(QStringLiteral("Rule1"));
        rule->SetParent(band);
        rule->SetLeft(0.1);
        rule->SetTop(0.19);
        rule->SetWidth(6.7);
    }

    // The rows need no data channel, whose mutex every process shares.
    void Run(TQpComponent* engine) override
    {
        TZarvDataSystem* channel = std::exchange(DataSystem, nullptr);
        Report->Execute(engine);
        DataSystem = channel;
    }

    TZarvProjectManager Project{nullptr};
    TZarvReport* Report = nullptr;
};

TDataBandReport& DataBand()
{
    static TDataBandReport report;
    return report;
}

// The gauge card with a value in each of its parameters.
class TGaugeCard : public TBenchReport {
public:
    TGaugeCard()
    {
        RecordReportWriterProcs();
        RegisterProjectComponentClass();
    }
    void Open(TZvProject& project)
    {
        project.SetProjectFile(
            QDir(QStringLiteral(TESSVAR_REPORT_PROJECTS)).filePath(QStringLiteral("gagecard.zrf")));
        project.Open();
        const char* params[] = {"Title",      "Unit",  "Diametro", "Passo",  "Angolo", "Starts",
                                "Tolleranze", "Maxl",  "Minl",     "Logl",   "Mediol", "Hmisl",
                                "Maxp",       "Minp",  "Logp",     "Mediop", "Hmisp",  "Maxnp",
                                "Minnp",      "Lognp", "Medionp",  "Hmisnp", "TxtP",   "TxtNP"};
        const char* values[] = {"Gauge card", "mm",     "10.000", "1.500",  "60",    "1",
                                "6H",         "9.026",  "8.917",  "+0.006", "9.017", "",
                                "9.206",      "9.188",  "+0.010", "9.197",  "",      "9.371",
                                "9.355",      "+0.012", "9.363",  "",       "Go",    "No go"};
        for (size_t i = 0; i < std::size(params); ++i)
            project.SetParam(QString::fromLatin1(params[i]), QString::fromLatin1(values[i]));
    }
    // As the print button does when given the system.
    void Run(TQpComponent* engine) override
    {
        TZvProject project(nullptr);
        Open(project);
        project.SetEngine(engine);
        project.Execute();
        project.Close();
    }

    TScriptedMessages Messages;
};

TGaugeCard& GaugeCard()
{
    static TGaugeCard card;
    return card;
}

// ---------------------------------------------------------------------------
// Side by side: each iteration times the report, then the bare side; the
// counters are the min and median ratio and each side's median in ms.

// fresh: each report run starts with no width known, as the first report
// a program prints does (otherwise a run finds the widths of the one
// before, which flatters the width cache).
void SideBySide(benchmark::State& state, const std::function<void()>& report,
                const std::function<void()>& bare, bool fresh = false)
{
    report(); // fonts and the first file
    bare();
    std::vector<double> reportMs, bareMs, ratios;
    for (auto _ : state) {
        if (fresh)
            TTextWidthCache::Current().Clear();
        QElapsedTimer timer;
        timer.start();
        report();
        const double r = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        bare();
        const double b = double(timer.nsecsElapsed()) / 1e6;
        state.SetIterationTime(r / 1000);
        reportMs.push_back(r);
        bareMs.push_back(b);
        ratios.push_back(r / b);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_median"] = median(ratios);
    state.counters["report_ms"] = median(reportMs);
    state.counters["bare_ms"] = median(bareMs);
}

void BM_DataBandReportToPdf(benchmark::State& state)
{
    for (auto _ : state)
        DataBand().ToPdf(PathOf(QStringLiteral("databand.pdf")));
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_DataBandSnapshot(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DataBand().Snapshot());
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_DataBandBarePdfWriter(benchmark::State& state)
{
    const TBarePages pages = Record(DataBand().Snapshot());
    for (auto _ : state)
        BarePdf(pages, PathOf(QStringLiteral("databand-bare.pdf")));
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_DataBandSideBySide(benchmark::State& state)
{
    const TBarePages pages = Record(DataBand().Snapshot());
    SideBySide(
        state, [] { DataBand().ToPdf(PathOf(QStringLiteral("databand.pdf"))); },
        [&pages] { BarePdf(pages, PathOf(QStringLiteral("databand-bare.pdf"))); }, true);
}

void BM_DataBandAsWrittenSideBySide(benchmark::State& state)
{
    const TBarePages pages = Record(DataBand().Snapshot());
    SideBySide(
        state, [] { DataBand().ToPdfAsWritten(PathOf(QStringLiteral("databand-as-written.pdf"))); },
        [&pages] { BarePdf(pages, PathOf(QStringLiteral("databand-bare.pdf"))); }, true);
}

void BM_GaugeCardSideBySide(benchmark::State& state)
{
    const TBarePages pages = Record(GaugeCard().Snapshot());
    SideBySide(
        state, [] { GaugeCard().ToPdf(PathOf(QStringLiteral("gagecard.pdf"))); },
        [&pages] { BarePdf(pages, PathOf(QStringLiteral("gagecard-bare.pdf"))); });
}

// A page of the gauge card in the preview at 100 %, against a bare painter
// filling a picture of the preview's size and drawing the same page.
void BM_PreviewPageSideBySide(benchmark::State& state)
{
    const QByteArray snapshot = GaugeCard().Snapshot();
    const TBarePages pages = Record(snapshot);
    TForm owner(nullptr);
    TZvRenderPreview preview(nullptr);
    preview.SetScrollBox(NewScrollBox(&owner, 900, 700));
    TMemoryStream stream(snapshot);
    preview.SetZSFStream(&stream);
    preview.RenderPage(1);
    const QSize size = preview.Bitmap()->ToImage().size();
    const double dpi = preview.GetXDPI() * preview.ZoomFactor() / 100;
    QImage picture(size, QImage::Format_RGB32);
    SideBySide(
        state, [&preview] { preview.RenderPage(1); },
        [&] {
            picture.fill(Qt::white);
            QPainter p(&picture);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            DrawBare(p, pages, dpi, [] {});
        });
    preview.SetZSFStream(nullptr);
}

BENCHMARK(BM_DataBandSnapshot)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DataBandReportToPdf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DataBandBarePdfWriter)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DataBandSideBySide)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_DataBandAsWrittenSideBySide)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_GaugeCardSideBySide)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(21);
BENCHMARK(BM_PreviewPageSideBySide)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(41);

} // namespace
