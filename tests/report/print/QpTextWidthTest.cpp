// Text widths through the width cache. A report with tab boxes, justified
// blocks, coded texts, truncated texts and three fonts gives, with the cache
// and without it, the same widths to the last bit, the same snapshot bytes
// and the same played-back page; on the PDF printer's device, which shapes
// text, and on the render device, which adds up its character table.
// Truncation cuts where cutting one character at a time cuts; each text is
// measured once; the cache keeps to its bound.
#include "CanvasPlayback.h"
#include "SnapshotSupport.h"

#include "report/print/QpDevice.h"
#include "report/print/QpFormat.h"
#include "report/print/QpTextWidth.h"

#include <QFontMetricsF>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

const QString kBold = QStringLiteral("\x01"
                                     "B1\x04");
const QString kPlain = QStringLiteral("\x01"
                                      "B0\x04");
const QString kBig = QStringLiteral("\x01"
                                    "Z14\x04");

// Texts that kern and shape ("AVAWAY", "ffi"), carry codes, tabs, a pair
// of surrogates and a combining mark.
const QStringList kTexts = {
    QStringLiteral("AVAWAY Tessvar ffi office"),
    QStringLiteral("Item 12\tM10x1.5 6g\t0.25 mm"),
    QStringLiteral("Go ") + kBold + QStringLiteral("9.206") + kPlain + QStringLiteral(" mm"),
    kBig + QStringLiteral("Wide ") + kBold + QStringLiteral("and bold") + kPlain,
    QStringLiteral("Gauge \U0001D70B = 3.14159 e\u0301t\u00E9"),
    QStringLiteral("two words"),
};

struct TRun {
    std::vector<double> Widths; // report units, as TextWidth and friends give them
    QStringList Cuts;
    QByteArray Bytes;
};

bool operator==(const TRun& a, const TRun& b)
{
    return a.Widths == b.Widths && a.Cuts == b.Cuts && a.Bytes == b.Bytes;
}

// The report, written on device (the global one when null) with the cache
// on or off.
TRun RunReport(bool cached, TQPBaseDevice* device)
{
    TTextWidthCache& cache = TTextWidthCache::Current();
    cache.SetEnabled(cached);
    TRun run;
    run.Bytes = WriteSnapshot(
        [&run](TZvZSFWriter& w) {
            const char* fonts[] = {"Arial", "Times New Roman", "Courier New"};
            for (int page = 1; page <= 2; ++page) {
                if (page > 1)
                    w.NewPage();
                for (int f = 0; f < 3; ++f) {
                    w.SetFont(QString::fromLatin1(fonts[f]), 9 + 2 * f);
                    w.ClearTabs();
                    w.SetTab(1, TPrintJustify::pjLeft, 1.6, 0.05, 15, 0);
                    w.SetTab(-1, TPrintJustify::pjCenter, 2, 0.05, 15, 10);
                    w.SetTab(-1, TPrintJustify::pjRight, 1.2, 0.05, 15, 0);
                    for (const QString& text : kTexts) {
                        run.Widths.push_back(w.TextWidth(text));
                        for (double room : {0.0, 0.3, 0.7, 1.1, 1.6, 9.0}) {
                            run.Cuts << w.TruncateText(text, room);
                            run.Widths.push_back(w.TextWidth(run.Cuts.last()));
                        }
                        w.PrintTab(text); // truncated to the tab's width
                        w.PrintTab(text);
                        w.PrintTab(text);
                        w.NewLine();
                        w.PrintJustify(text, 1, TPrintJustify::pjBlock, 0, 5);
                        w.NewLine();
                        w.PrintCenter(text, 4.25);
                        w.PrintRight(text, 7.5);
                        w.NewLine();
                        run.Widths.push_back(w.XPos());
                    }
                    run.Widths.push_back(QPTFTextWidth(w, kTexts.at(3)));
                    w.SelectQPFont();
                    run.Widths.push_back(TabbedTextWidth(w, kTexts.at(1), 7));
                    w.SelectCanvasFont();
                }
            }
        },
        [device](TZvZSFWriter& w) {
            w.SetAccuracyMethod(TAccuracyMethod::amPositioning); // spaced texts as justified blocks
            if (device)
                w.SetLocalDevice(device);
        });
    cache.SetEnabled(true);
    return run;
}

QImage Playback(const QByteArray& bytes, bool cached)
{
    TTextWidthCache::Current().SetEnabled(cached);
    const QImage image = PlayOnLetterPage(bytes);
    TTextWidthCache::Current().SetEnabled(true);
    return image;
}

// The cut of cutting one character at a time until the text fits: code
// blocks at the end go with the character before them, a surrogate pair
// goes whole.
QString CutOneByOne(TBaseReport& report, const QString& value, double width)
{
    QString text = value;
    while (!text.isEmpty() && report.TextWidth(text) > width) {
        while (text.endsWith(QChar(kQPTFBlockEnd)) && text.contains(QChar(kQPTFBlockStart)))
            text.truncate(text.lastIndexOf(QChar(kQPTFBlockStart)));
        if (text.isEmpty())
            break;
        const qsizetype n = text.size();
        text.chop(n >= 2 && text[n - 1].isLowSurrogate() && text[n - 2].isHighSurrogate() ? 2 : 1);
    }
    return text;
}

TEST(QpTextWidthTest, CachedWidthsBytesAndPagesEqualFreshOnesOnThePdfDevice)
{
    const TRun fresh = RunReport(false, nullptr);
    const TRun cached = RunReport(true, nullptr);
    const TRun again = RunReport(true, nullptr); // every width from the cache now
    EXPECT_EQ(fresh.Widths, cached.Widths);
    EXPECT_EQ(fresh.Cuts, cached.Cuts);
    EXPECT_EQ(fresh.Bytes, cached.Bytes);
    EXPECT_TRUE(cached == again);
    const auto cutShort = [](const QString& cut) { return !cut.isEmpty() && !kTexts.contains(cut); };
    EXPECT_TRUE(std::any_of(fresh.Cuts.begin(), fresh.Cuts.end(), cutShort));
    EXPECT_EQ(Playback(fresh.Bytes, false), Playback(fresh.Bytes, true));
}

TEST(QpTextWidthTest, CachedWidthsAndBytesEqualFreshOnesOnTheRenderDevice)
{
    TQPRenderDevice device;
    const TRun fresh = RunReport(false, &device);
    const TRun cached = RunReport(true, &device);
    EXPECT_EQ(fresh.Widths, cached.Widths);
    EXPECT_EQ(fresh.Cuts, cached.Cuts);
    EXPECT_EQ(fresh.Bytes, cached.Bytes);
    // The two devices measure differently: their widths are kept apart.
    EXPECT_NE(RunReport(true, nullptr).Widths, cached.Widths);
}

// Every room from nothing to the whole text in steps of 0.01 inch, each
// font: the halving search finds the cut the one-by-one cutting finds.
TEST(QpTextWidthTest, TruncationCutsWhereCuttingOneCharacterAtATimeCuts)
{
    int checked = 0;
    WriteSnapshot([&checked](TZvZSFWriter& w) {
        for (const char* font : {"Arial", "Times New Roman", "Courier New"}) {
            w.SetFont(QString::fromLatin1(font), 10);
            for (const QString& text : kTexts) {
                const double whole = w.TextWidth(text);
                for (double room = -0.01; room <= whole + 0.02; room += 0.01) {
                    ASSERT_EQ(w.TruncateText(text, room), CutOneByOne(w, text, room))
                        << font << " " << text.toStdString() << " " << room;
                    ++checked;
                }
            }
        }
    });
    EXPECT_GT(checked, 1000);
}

// The cache knows a font asked for again as the same object without
// comparing it; the same object changed after it was asked for (or another
// font equal to it by value) still gets its own width.
TEST(QpTextWidthTest, AFontChangedInPlaceIsMeasuredAsTheFontItHasBecome)
{
    TTextWidthCache& cache = TTextWidthCache::Current();
    cache.Clear();
    const QString text = QStringLiteral("AVAWAY 0.0125 mm");
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(40);
    const double small = CachedAdvance(font, text);
    EXPECT_EQ(small, QFontMetricsF(font).horizontalAdvance(text));
    font.setPixelSize(83);
    const double large = CachedAdvance(font, text);
    EXPECT_EQ(large, QFontMetricsF(font).horizontalAdvance(text));
    EXPECT_GT(large, small);
    font.setBold(true);
    EXPECT_EQ(CachedAdvance(font, text), QFontMetricsF(font).horizontalAdvance(text));
    // Equal by value, made apart: the width measured for the first.
    QFont again(QStringLiteral("Arial"));
    again.setPixelSize(40);
    const int64_t before = cache.Measured();
    EXPECT_EQ(CachedAdvance(again, text), small);
    EXPECT_EQ(cache.Measured(), before);
}

TEST(QpTextWidthTest, EachTextIsMeasuredOnceAndTheCacheKeepsToItsBound)
{
    TTextWidthCache& cache = TTextWidthCache::Current();
    cache.Clear();
    WriteSnapshot([&cache](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 10);
        const int64_t before = cache.Measured();
        for (int i = 0; i < 100; ++i)
            w.Println(QStringLiteral("Item 42"));
        EXPECT_EQ(cache.Measured() - before, 1);
        // Another font is another width (setting it measures the font's
        // reference text).
        w.SetFont(QStringLiteral("Arial"), 12);
        const int64_t other = cache.Measured();
        w.Println(QStringLiteral("Item 42"));
        w.Println(QStringLiteral("Item 42"));
        EXPECT_EQ(cache.Measured() - other, 1);

        for (int i = 0; i <= TTextWidthCache::kMaxEntries; ++i)
            w.TextWidth(QString::number(i));
        EXPECT_LE(cache.Count(), TTextWidthCache::kMaxEntries);
        EXPECT_GT(cache.Count(), 0);
    });
}

} // namespace
