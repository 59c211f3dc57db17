#include "DamagedPages.h"
#include "PreviewScrollBox.h"
#include "SnapshotSupport.h"

#include "report/print/QpRenderPreview.h"

#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Picture.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

// Three pages, each printing its number large at (1, 1).
QByteArray ThreePages()
{
    return WriteSnapshot([](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 24);
        for (int page = 1; page <= 3; ++page) {
            if (page > 1)
                w.NewPage();
            w.PrintXY(1, 1, QString::number(page));
        }
    });
}

class QpRenderPreviewTest : public NoPrinterTest {
protected:
    void SetUp() override
    {
        NoPrinterTest::SetUp();
        if (IsSkipped())
            return;
        Box = NewScrollBox(&Owner, 600, 400);
        Preview.SetScrollBox(Box);
        Preview.SetZSFStream(&Stream);
        Preview.OnPageChange = [this](TObject*) { Changes << Preview.CurrentPage(); };
    }

    QImage Picture() const { return Preview.Bitmap()->ToImage(); }
    int DPI() { return Preview.GetXDPI(); }
    int Round(double v) { return int(std::nearbyint(v)); }

    TComponent Owner{nullptr};
    TScrollBox* Box = nullptr;
    TMemoryStream Stream{ThreePages()};
    TZvRenderPreview Preview{nullptr};
    QList<int> Changes;
};

QRgb Rgb(int r, int g, int b)
{
    return qRgb(r, g, b) & 0xFFFFFF;
}

bool DarkIn(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                return true;
    return false;
}

TEST_F(QpRenderPreviewTest, SecondPageAtFullSizeWithRulersAndShadow)
{
    Preview.RulerType = TRulerType::rtBothIn;
    Preview.SetShadowDepth(4);
    Preview.MarginPercent = 5;
    Preview.RenderPage(2);
    EXPECT_EQ(Preview.CurrentPage(), 2);
    EXPECT_EQ(Preview.Pages(), 3);
    EXPECT_EQ(Changes, QList<int>{2});
    const QImage p = Picture();
    p.save(OutputPath(QStringLiteral("preview-page2.png")));
    // The paper at screen size, the shadow and the 20-pixel rulers.
    const int bw = Round(DPI() * 8.5) + 4 + 20;
    const int bh = Round(DPI() * 11.0) + 4 + 20;
    ASSERT_EQ(p.size(), QSize(bw, bh));
    const QRgb boxColour = ToQColor(clBtnFace).rgb() & 0xFFFFFF;
    struct Row {
        int line;
        int x, y;
        QRgb colour;
    };
    const Row rows[] = {
        {1, 5, 5, Rgb(192, 192, 192)},     // the rulers' corner
        {2, 26, 5, Rgb(255, 255, 128)},    // the top ruler between its first marks
        {3, 5, 26, Rgb(255, 255, 128)},    // the left ruler
        {4, 70, 70, Rgb(255, 255, 255)},   // the paper
        {5, 20, 70, Rgb(0, 0, 0)},         // its frame
        {6, bw - 2, bh / 2, Rgb(0, 0, 0)}, // the shadow on the right
        {7, bw / 2, bh - 2, Rgb(0, 0, 0)}, // and below
        {8, bw - 2, 2, boxColour},         // the shadow starts lower
        {9, 2, bh - 2, boxColour},         // and further in
    };
    for (const Row& row : rows)
        EXPECT_EQ(p.pixel(row.x, row.y) & 0xFFFFFF, row.colour) << "row " << row.line;
    // Marks: an eighth of an inch 5 pixels long, the inch 18 with its label
    // "1" just left of it.
    const int eighth = 20 + Round(DPI() / 8.0);
    const int inch = 20 + DPI();
    EXPECT_TRUE(DarkIn(p, QRect(eighth, 16, 1, 3)));
    EXPECT_FALSE(DarkIn(p, QRect(eighth, 12, 1, 2)));
    EXPECT_TRUE(DarkIn(p, QRect(inch, 4, 1, 2)));
    EXPECT_TRUE(DarkIn(p, QRect(inch - 8, 0, 7, 10)));
    // The page's text: "2" standing on the baseline 1 inch down, from 1 inch
    // in.
    EXPECT_TRUE(DarkIn(p, QRect(20 + DPI(), 20 + DPI() - 20, 16, 19)));
    EXPECT_FALSE(DarkIn(p, QRect(20 + DPI() - 12, 20 + DPI() - 30, 10, 28)));
    // The picture sits at the margin, the scroll ranges take in both.
    const int m = Round(DPI() * 8.5 * 5 / 100);
    EXPECT_EQ(Preview.Image()->Left(), m);
    EXPECT_EQ(Preview.Image()->Top(), m);
    EXPECT_EQ(HorzRange(Box), bw + 2 * m);
    EXPECT_EQ(VertRange(Box), bh + 2 * m);
}

TEST_F(QpRenderPreviewTest, FitsTheWidthAndThePage)
{
    Preview.RulerType = TRulerType::rtBothCm;
    Preview.SetShadowDepth(4);
    Preview.MarginPercent = 5;
    Preview.RenderPage(2);
    Preview.SetZoomFactor(-2);
    QImage p = Picture();
    p.save(OutputPath(QStringLiteral("preview-page2-width.png")));
    const int m = Round(DPI() * 8.5 * 5 / 100);
    // The page is taller than the box: its width fills the box less the
    // frame and the vertical scroll bar.
    EXPECT_NEAR(p.width() + 2 * m, 600 - Preview.HorzAdj - Preview.ScrollBarWidth, 1);
    EXPECT_GT(p.height() + 2 * m, 400);
    EXPECT_EQ(Preview.CurrentPage(), 2);

    Preview.SetZoomFactor(-1);
    p = Picture();
    EXPECT_LE(p.width() + 2 * m, 600);
    EXPECT_NEAR(p.height() + 2 * m, 400 - 4, 1); // the box less its frame
}

TEST_F(QpRenderPreviewTest, ZoomValues)
{
    Preview.RenderPage(1);
    Preview.OnZoomChange = [](TObject*) {}; // no redrawing
    const double width = Preview.ZoomPageWidthFactor();
    const double page = Preview.ZoomPageFactor();
    EXPECT_LT(page, width);
    struct Row {
        int line;
        double value;
        double zoom;
    };
    const Row rows[] = {
        {1, -2, width}, {2, -1.9, width},  {3, -1.8, page}, {4, -1, page},    {5, 0, 10},     {6, 9.99, 10},
        {7, 10, 10},    {8, 123.4, 123.4}, {9, 200, 200},   {10, 200.5, 200}, {11, 250, 200},
    };
    for (const Row& row : rows) {
        Preview.SetZoomFactor(row.value);
        EXPECT_DOUBLE_EQ(Preview.ZoomFactor(), row.zoom) << "row " << row.line;
    }
    Preview.SetZoomFactor(10);
    Preview.ZoomOut(); // at ZoomInc: stays
    EXPECT_EQ(Preview.ZoomFactor(), 10);
    Preview.ZoomIn();
    EXPECT_EQ(Preview.ZoomFactor(), 20);
}

TEST_F(QpRenderPreviewTest, Navigation)
{
    struct Row {
        int line;
        std::function<void(TZvRenderPreview&)> step;
        int page;
    };
    const Row rows[] = {
        {1, [](TZvRenderPreview& p) { p.RenderPage(0); }, 1},
        {2, [](TZvRenderPreview& p) { p.NextPage(); }, 2},
        {3, [](TZvRenderPreview& p) { p.RenderPage(9); }, 3}, // beyond the count: the last
        {4, [](TZvRenderPreview& p) { p.NextPage(); }, 1},    // wraps to the first
        {5, [](TZvRenderPreview& p) { p.PrevPage(); }, 3},    // and to the last
        {6,
         [](TZvRenderPreview& p) {
             p.PageInc = 2;
             p.PrevPage();
         },
         1},
        {7, [](TZvRenderPreview& p) { p.NextPage(); }, 3},
        {8, [](TZvRenderPreview& p) { p.NextPage(); }, 1},
    };
    for (const Row& row : rows) {
        row.step(Preview);
        EXPECT_EQ(Preview.CurrentPage(), row.page) << "row " << row.line;
        // The page played is the page shown: its number stands at 1 inch.
        EXPECT_TRUE(DarkIn(Picture(), QRect(DPI(), DPI() - 20, 16, 19))) << "row " << row.line;
    }
    EXPECT_EQ(Changes, (QList<int>{1, 2, 3, 1, 3, 1, 3, 1}));
}

TEST_F(QpRenderPreviewTest, MonochromeHasNoShadowAndAScrollBoxIsNeeded)
{
    Preview.SetShadowDepth(4);
    Preview.SetMonochrome(true);
    EXPECT_EQ(Preview.ShadowDepth(), 0);
    Preview.RenderPage(1);
    EXPECT_EQ(Picture().width(), Round(DPI() * 8.5));
    Preview.SetShadowDepth(3);
    EXPECT_FALSE(Preview.Monochrome());

    TZvRenderPreview alone(nullptr);
    TMemoryStream stream(ThreePages());
    alone.SetZSFStream(&stream);
    try {
        alone.RenderPage(1);
        ADD_FAILURE() << "no scroll box";
    } catch (const ESheetcaster& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("ScrollBox must be assigned for RenderPreview component"));
    }
    EXPECT_FALSE(alone.Rendering());
}

// A page step refused part way down the page's body, where the heading, the
// first line, a middle line or the last line of page 2 or page 12 is a
// command no reader knows: the page shown before stays shown, the same
// picture pixel for pixel, in the same place with the same scroll ranges,
// and stays the current page. Each good step shows its page as a preview of
// the undamaged report shows it, and a zoom change after the refusals
// redraws the page shown.
TEST_F(QpRenderPreviewTest, ARefusedPageKeepsThePictureShownBefore)
{
    auto setUp = [](TZvRenderPreview& preview) {
        preview.RulerType = TRulerType::rtBothIn;
        preview.SetShadowDepth(4);
        preview.MarginPercent = 5;
    };
    const QByteArray good = HeadedPages(12);
    TMemoryStream goodStream(good);
    TZvRenderPreview reference(nullptr);
    setUp(reference);
    reference.SetScrollBox(NewScrollBox(&Owner, 600, 400));
    reference.SetZSFStream(&goodStream);
    auto pictureOf = [&reference](int page, double zoom) {
        reference.SetZoomFactor(zoom);
        reference.RenderPage(page);
        return reference.Bitmap()->ToImage();
    };
    setUp(Preview);
    auto place = [this] {
        const TImage* image = Preview.Image();
        return QRect(image->Left(), image->Top(), image->Width(), image->Height());
    };

    struct Step {
        int line;
        const char* name;
        int from;
        std::function<void(TZvRenderPreview&)> go;
    };
    const Step steps[] = {
        {1, "Next", 11, [](TZvRenderPreview& p) { p.NextPage(); }},
        {2, "Previous", 3, [](TZvRenderPreview& p) { p.PrevPage(); }},
        {3, "Previous from the first", 1, [](TZvRenderPreview& p) { p.PrevPage(); }}, // wraps to 12
        {4, "Last", 5, [](TZvRenderPreview& p) { p.RenderPage(p.Pages()); }},
        {5, "page 12", 7, [](TZvRenderPreview& p) { p.RenderPage(12); }},
        {6, "a page past the last", 7, [](TZvRenderPreview& p) { p.RenderPage(40); }},
    };
    struct Damage {
        const char* where;
        QString page2, page12;
    };
    const Damage damages[] = {
        {"the heading", QStringLiteral("PAGE 2"), QStringLiteral("PAGE 12")},
        {"the first line", LineText(2, 1), LineText(12, 1)},
        {"a middle line", LineText(2, 4), LineText(12, 4)},
        {"the last line", LineText(2, kDamagedLines), LineText(12, kDamagedLines)},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.where);
        const QByteArray damaged = WithUnknownCommands(good, {damage.page2, damage.page12});
        ASSERT_FALSE(damaged.isEmpty());
        TMemoryStream stream(damaged);
        Preview.SetZSFStream(&stream);
        for (const Step& step : steps) {
            SCOPED_TRACE(testing::Message() << "row " << step.line << ", " << step.name);
            Preview.RenderPage(step.from);
            ASSERT_EQ(Preview.CurrentPage(), step.from);
            const QImage before = Picture();
            EXPECT_TRUE(before == pictureOf(step.from, 100));
            const QRect placed = place();
            const QSize ranges(HorzRange(Box), VertRange(Box));
            try {
                step.go(Preview);
                ADD_FAILURE() << "shown";
            } catch (const ESheetcaster& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("Unexpected code [238] found in report file."));
            }
            EXPECT_EQ(Preview.CurrentPage(), step.from);
            EXPECT_EQ(Changes.back(), step.from);
            EXPECT_TRUE(Picture() == before);
            EXPECT_EQ(place(), placed);
            EXPECT_EQ(QSize(HorzRange(Box), VertRange(Box)), ranges);
        }
        Preview.SetZoomFactor(50);
        EXPECT_EQ(Preview.CurrentPage(), 7);
        EXPECT_TRUE(Picture() == pictureOf(7, 50));
        Preview.NextPage();
        EXPECT_TRUE(Picture() == pictureOf(8, 50));
        Preview.SetZoomFactor(100);
        Preview.SetZSFStream(nullptr);
    }
}

// A preview target without its scroll box refuses to draw with its own
// message, whichever road the snapshot file came by, where the reader's
// refusal of a damaged file names the file.
TEST_F(QpRenderPreviewTest, OnlyTheReadersRefusalNamesTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.zsf"));
    SaveBytesToFile(path, ThreePages());
    const QString noBox = QStringLiteral("ScrollBox must be assigned for RenderPreview component");
    auto refusal = [](const std::function<void()>& show) {
        try {
            show();
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("shown");
    };
    TZvRenderPreview alone(nullptr);
    EXPECT_EQ(refusal([&] { alone.Render(path); }), noBox);
    TFileStream file(path, fmOpenRead);
    alone.SetZSFStream(&file);
    EXPECT_EQ(refusal([&] { alone.RenderPage(2); }), noBox);
    alone.SetZSFStream(nullptr);

    SaveBytesToFile(path, WithUnknownCommands(HeadedPages(3), {LineText(1, 2)}));
    const QString damaged = QStringLiteral("Unexpected code [238] found in report file.\n") + path;
    Preview.SetZSFStream(nullptr);
    EXPECT_EQ(refusal([&] { Preview.Render(path); }), damaged);
    TFileStream damagedFile(path, fmOpenRead);
    Preview.SetZSFStream(&damagedFile);
    EXPECT_EQ(refusal([&] { Preview.RenderPage(1); }), damaged);
    Preview.SetZSFStream(nullptr);
}

} // namespace
