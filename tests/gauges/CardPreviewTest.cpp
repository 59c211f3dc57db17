// The gauge card in the preview window, at every zoom its buttons reach and
// at one typed into its zoom edit: the words of a justified line keep a gap
// of background between them, and at small zooms each word starts where the
// page's layout puts it.
#include "report/print/QpFormPreview.h"
#include "report/print/QpRenderPreview.h"
#include "tests/gauges/ProcessRoad.h"
#include "tests/report/print/PaperLocale.h"
#include "tests/report/print/PreviewPrint.h"

#include <QAction>
#include <QFontMetricsF>
#include <QImage>
#include <QLineEdit>
#include <QPainter>

namespace {

// The card's "Nominal diameter" line as its report project lays it out:
// Arial 10 from 1 inch, its baseline at 1.936 inches; the writer gives it
// its width measured in the writer's font.
constexpr double kLineLeft = 1.0;
constexpr double kBaseline = 1.936;
constexpr double kFontInches = 10.0 / 72;

struct TWord {
    double Start; // inches on the page
    double End;
};

// The words of the line at their layout places: each starts after the
// widths of everything before it, in proportion to the line's width. The
// proportions are those of an unhinted Arial of a large size, as the writer
// measures.
std::vector<TWord> LayoutWords(const QString& line, double width)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(600);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    const QFontMetricsF metrics(font);
    const double scale = width / metrics.horizontalAdvance(line);
    std::vector<TWord> words;
    for (qsizetype at = 0; at < line.size();) {
        while (at < line.size() && line[at] == u' ')
            ++at;
        qsizetype end = line.indexOf(u' ', at);
        if (end < 0)
            end = line.size();
        words.push_back({kLineLeft + metrics.horizontalAdvance(line.left(at)) * scale,
                         kLineLeft + metrics.horizontalAdvance(line.left(end)) * scale});
        at = end;
    }
    return words;
}

class CardPreviewTest : public ProcessRoadTest {
protected:
    void SetUp() override
    {
        ProcessRoadTest::SetUp();
        FOldFolder = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(TESSVAR_REPORT_PROJECT_DIR));
    }
    void TearDown() override
    {
        QDir::setCurrent(FOldFolder);
        ProcessRoadTest::TearDown();
    }

    // The M10 x 1.5 6H limit plug's card in the preview: check runs while
    // the preview is up, which then closes.
    void CardPreview(const std::function<void(TZarvPreviewForm*)>& check)
    {
        TfProcess* w = fProcess;
        Road([] { Click(fTessvar->bISO); },
             {{fCalibreSelect, Pick(fCalibreSelect, 2, 2)},
              {fProcess,
               [w] {
                   Type(w->dNominale, "10");
                   Type(w->dPasso, "1.5");
                   Type(w->dbTollServ, "6H");
                   Press(w->sbCalcTol);
               }},
              {fProcess, [w, check] {
                   fTessvar->cPreview->SetChecked(true);
                   WhenModal<TZarvPreviewForm>([check](TZarvPreviewForm* preview) {
                       check(preview);
                       preview->Close();
                   });
                   Click(w->bPrint);
                   w->SetModalResult(mrCancel);
               }}});
    }

    // The columns of the line's band, from the line's left edge: whether
    // each is background (white) only, whether it holds ink darker than mid
    // grey, and how much darker than white it is in all.
    struct TColumns {
        int Left = 0;
        std::vector<bool> Blank;
        std::vector<bool> Ink;
        std::vector<int> Darkness;
    };
    static TColumns Columns(const QImage& page, TZvRenderPreview* target, double right)
    {
        TColumns columns;
        columns.Left = target->XI2D(kLineLeft) - 2;
        const int top = target->YI2D(kBaseline - kFontInches);
        const int bottom = target->YI2D(kBaseline + kFontInches / 3);
        for (int x = columns.Left; x <= target->XI2D(right) + 2; ++x) {
            bool blank = true;
            bool ink = false;
            int darkness = 0;
            for (int y = top; y <= bottom; ++y) {
                const int grey = qGray(page.pixel(x, y));
                blank = blank && grey == 255;
                ink = ink || grey < 128;
                darkness += 255 - grey;
            }
            columns.Blank.push_back(blank);
            columns.Ink.push_back(ink);
            columns.Darkness.push_back(darkness);
        }
        return columns;
    }

    // A page of background with only text drawn as the preview draws the
    // card's Arial 10: the whole-pixel font scaled to the exact zoomed
    // height, its baseline and start at their layout places x zoom.
    static QImage WordAlone(QSize size, TZvRenderPreview* target, const QString& text, double start)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        const double exact = target->ZoomFactor() / 100 * target->GetYDPI() * kFontInches;
        const int whole = std::max(1, int(std::lround(exact)));
        QFont font(QStringLiteral("Arial"));
        font.setHintingPreference(QFont::PreferNoHinting);
        font.setKerning(false);
        font.setPixelSize(whole);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.translate(target->ZoomFactor() / 100 * target->GetXDPI() * start + target->AddX,
                          target->YI2D(kBaseline));
        painter.scale(exact / whole, exact / whole);
        painter.drawText(QPointF(0, 0), text);
        return image;
    }

    // The shift of drawn (in whole columns, from -3 to 3) that matches it
    // best to alone over the columns from to to.
    static int BestShift(const std::vector<int>& drawn, const std::vector<int>& alone, int from, int to)
    {
        int best = 0;
        double bestError = -1;
        for (int shift = -3; shift <= 3; ++shift) {
            double error = 0;
            for (int x = from; x <= to; ++x) {
                const int moved = x + shift;
                const double a = x >= 0 && x < int(alone.size()) ? alone[size_t(x)] : 0;
                const double d = moved >= 0 && moved < int(drawn.size()) ? drawn[size_t(moved)] : 0;
                error += (a - d) * (a - d);
            }
            if (bestError < 0 || error < bestError) {
                bestError = error;
                best = shift;
            }
        }
        return best;
    }

    static void Save(const QImage& page, TZvRenderPreview* target, const QString& name)
    {
        const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        const QRect band(QPoint(target->XI2D(0.8), target->YI2D(0.7)),
                         QPoint(target->XI2D(4.5), target->YI2D(3.3)));
        const QImage part = page.copy(band);
        part.scaled(part.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .save(QDir(folder).filePath(name));
    }

private:
    QString FOldFolder;
};

// Every zoom the Zoom In and Zoom Out buttons reach from 100 %, and 64.2 %
// typed into the zoom edit.
TEST_F(CardPreviewTest, WordsKeepTheirGapsAtEveryZoom)
{
    TPaperLocale paper("de_DE.UTF-8");
    bool shown = false;
    CardPreview([&](TZarvPreviewForm* preview) {
        shown = true;
        TZvRenderPreview* target = preview->ZvRenderPreview;
        ASSERT_EQ(target->ZoomFactor(), 100.0);
        std::vector<double> zooms;
        auto look = [&] {
            const double zoom = target->ZoomFactor();
            zooms.push_back(zoom);
            const QImage page = target->Bitmap()->ToImage();
            Save(page, target, QStringLiteral("card-preview-%1.png").arg(zoom, 0, 'f', 1));
            // The line's width at 100 % is the width the writer gave it:
            // the zoomed font's text fills it as the page's does.
            const QString line = QStringLiteral("Nominal diameter:   +010.000.0");
            const std::vector<TWord> words = LayoutWords(line, 1.933333);
            ASSERT_EQ(words.size(), 3u);
            const TColumns columns = Columns(page, target, words.back().End);
            auto column = [&](double inches) { return target->XI2D(inches) - columns.Left; };
            for (size_t k = 0; k + 1 < words.size(); ++k) {
                if (zoom >= 50) {
                    // Background between the last ink of a word and the first of the next.
                    int last = column(words[k].End) + 1;
                    while (last > 0 && !columns.Ink[size_t(last)])
                        --last;
                    int first = column(words[k + 1].Start) - 1;
                    while (first + 1 < int(columns.Ink.size()) && !columns.Ink[size_t(first)])
                        ++first;
                    int blank = 0;
                    for (int x = last + 1; x < first; ++x)
                        blank += columns.Blank[size_t(x)] ? 1 : 0;
                    EXPECT_GE(blank, 1) << "zoom " << zoom << " after word " << k;
                } else {
                    // Text of a few pixels leaves no white column between
                    // words; the palest column about the gap lies in it.
                    const int lo = column(words[k].End) - 2;
                    const int hi = column(words[k + 1].Start) + 2;
                    int palest = lo;
                    for (int x = lo; x <= hi; ++x)
                        if (columns.Darkness[size_t(x)] < columns.Darkness[size_t(palest)])
                            palest = x;
                    EXPECT_GE(palest, lo + 1) << "zoom " << zoom << " after word " << k;
                    EXPECT_LE(palest, hi - 1) << "zoom " << zoom << " after word " << k;
                }
            }
            // Below 50 % each word starts within a pixel of its layout
            // place x zoom: its ink, column by column, matches the word
            // drawn alone at that place best when shifted by a pixel at most.
            // At 10 % the text is little more than a pixel tall and its words
            // touch, so that only the palest column above tells the gap.
            if (zoom < 50 && zoom >= 20) {
                const QStringList texts = line.split(u' ', Qt::SkipEmptyParts);
                for (size_t k = 0; k < words.size(); ++k) {
                    const TColumns alone =
                        Columns(WordAlone(page.size(), target, texts[qsizetype(k)], words[k].Start), target,
                                words.back().End);
                    const int from = column(words[k].Start) - 1;
                    const int to = column(words[k].End) + 1;
                    EXPECT_LE(std::abs(BestShift(columns.Darkness, alone.Darkness, from, to)), 1)
                        << "zoom " << zoom << " word " << k;
                }
            }
        };
        look();
        while (target->ZoomFactor() > target->ZoomInc) {
            preview->actnZoom_Out->QtAction()->trigger();
            look();
        }
        preview->actnZoom_Page->QtAction()->trigger();
        look();
        preview->actnZoom_PageWidth->QtAction()->trigger();
        look();
        while (target->ZoomFactor() < 200) {
            preview->actnZoom_In->QtAction()->trigger();
            look();
        }
        // Typed into the zoom edit.
        QLineEdit* edit = preview->ZoomEdit->EditWidget();
        QApplication::setActiveWindow(preview->Widget()); // keys reach the window in focus
        preview->ZoomEdit->SetFocus();
        preview->ZoomEdit->SelectAll();
        QTest::keyClicks(edit, QStringLiteral("64.2"));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_DOUBLE_EQ(target->ZoomFactor(), 64.2);
        look();
        EXPECT_GE(zooms.size(), 22u);
    });
    EXPECT_TRUE(shown);
}

} // namespace
