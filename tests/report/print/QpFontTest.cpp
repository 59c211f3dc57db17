#include "report/print/QpFont.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

std::unique_ptr<TFont> MakeFont(const QString& name, int height, int ppi = 96, TFontStyles style = {})
{
    auto font = std::make_unique<TFont>();
    font->SetName(name);
    font->SetPixelsPerInch(ppi);
    font->SetHeight(height);
    font->SetStyle(style);
    return font;
}

TEST(QpFontTest, ArialIsMeasuredOnItsMetricCompatibleFace)
{
    const auto arialFont = MakeFont(QStringLiteral("Arial"), -12);
    const TFont& arial = *arialFont;
    EXPECT_EQ(QFontInfo(TQPBaseFontHandler::MeasuringFont(arial)).family(), "Liberation Sans");
    auto* handler = dynamic_cast<TQPTrueTypeFontHandler*>(FontManager().FindHandler(arial));
    ASSERT_NE(handler, nullptr);
    // "A" advances 1366 of 2048 units in Arial: 400.2 at 600.
    EXPECT_NEAR(QFontMetricsF(TQPBaseFontHandler::MeasuringFont(arial)).horizontalAdvance(u'A'), 400.2, 0.5);
    EXPECT_EQ(handler->CharWidth('A'), 400);
    EXPECT_EQ(handler->CharWidth(' '), 167); // 569 units
    // Characters the face lacks measure as its missing-glyph box.
    EXPECT_GT(handler->CharWidth(1), 0);
}

TEST(QpFontTest, WidthsScaleWithSizeAndResolution)
{
    const QString text = QStringLiteral("Thread gauge M12x1.5 6H");
    // 8 and 24 points at 96 dpi: one handler, widths in the ratio 3.
    const auto small = MakeFont(QStringLiteral("Arial"), -MulDiv(8, 96, 72)); // 11 px = 8.25 pt
    const auto large = MakeFont(QStringLiteral("Arial"), -33);                // 24.75 pt
    EXPECT_EQ(FontManager().FindHandler(*small), FontManager().FindHandler(*large));
    const int w8 = FontManager().TextWidth(*small, text);
    const int w24 = FontManager().TextWidth(*large, text);
    EXPECT_NEAR(w24, 3 * w8, 2);
    // The sign of the height does not count.
    EXPECT_EQ(FontManager().TextWidth(*MakeFont(QStringLiteral("Arial"), 12), text),
              FontManager().TextWidth(*MakeFont(QStringLiteral("Arial"), -12), text));
    // Width in device units: the sum of the 600-unit widths scaled by
    // size * dpi / 43200. "A" at 10 points and 600 dpi: 400 * 10 * 600 / 43200.
    auto* handler = FontManager().FindHandler(*small);
    EXPECT_EQ(handler->TextWidth(QStringLiteral("A"), 10, 600), 56); // 55.56
    EXPECT_EQ(handler->TextWidth(QString(), 10, 600), 0);
    // A character above 255 counts as character 1.
    auto* table = dynamic_cast<TQPTrueTypeFontHandler*>(handler);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(handler->TextWidth(QStringLiteral("\u4e00"), 72, 600), table->CharWidth(1) * 72 * 600 / 43200);
    // A font without a resolution counts 100 pixels per inch.
    EXPECT_EQ(FontManager().TextWidth(*MakeFont(QStringLiteral("Arial"), -100, 0), QStringLiteral("A")),
              handler->TextWidth(QStringLiteral("A"), 72, 100));
}

TEST(QpFontTest, RoundingGoesToTheEvenNeighbour)
{
    // A fixed-pitch face: every character is as wide as "A". Its 360 units
    // at 120 points and 1 dpi are 1 device unit exactly, at 60 points and
    // 3 dpi 1.5 (rounded to 2), at 60 points and 5 dpi 2.5 (rounded to 2).
    const auto courier = MakeFont(QStringLiteral("Courier New"), -12);
    auto* fixed = dynamic_cast<TQPNonProportionalFontHandler*>(FontManager().FindHandler(*courier));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->CharWidth(), 360); // 1229 of 2048 units
    // n characters of 360 at 120 points and 1 dpi: n * 1.0.
    EXPECT_EQ(fixed->TextWidth(QStringLiteral("iiii"), 120, 1), 4);
    EXPECT_EQ(fixed->TextWidth(QStringLiteral("i"), 60, 3), 2);       // 1.5 -> 2
    EXPECT_EQ(fixed->TextWidth(QStringLiteral("i"), 60, 5), 2);       // 2.5 -> 2
    EXPECT_EQ(fixed->TextWidth(QStringLiteral("\u4e00"), 120, 1), 1); // one code unit
}

TEST(QpFontTest, KeysSeparateWhatWidthsDependOn)
{
    struct Row {
        int line;
        TFontStyles style;
        TFontPitch pitch;
        int charset;
        const char* key;
    };
    const Row rows[] = {
        {1, {}, TFontPitch::fpDefault, 1, "Arial|1"},
        {2, {TFontStyle::fsBold}, TFontPitch::fpDefault, 1, "Arial|1|B"},
        {3, {TFontStyle::fsBold, TFontStyle::fsItalic}, TFontPitch::fpVariable, 0, "Arial|0|B|I|V"},
        {4, {TFontStyle::fsUnderline, TFontStyle::fsStrikeOut}, TFontPitch::fpFixed, 238, "Arial|238|F"},
    };
    for (const Row& row : rows) {
        const auto font = MakeFont(QStringLiteral("Arial"), -20, 96, row.style);
        font->SetPitch(row.pitch);
        font->SetCharset(TFontCharset(row.charset));
        EXPECT_EQ(TQPFontManager::FontKey(*font), row.key) << "row " << row.line;
    }
    const auto regular = MakeFont(QStringLiteral("Arial"), -20);
    const auto bold = MakeFont(QStringLiteral("Arial"), -20, 96, {TFontStyle::fsBold});
    EXPECT_NE(FontManager().FindHandler(*regular), FontManager().FindHandler(*bold));
    EXPECT_GT(FontManager().TextWidth(*bold, QStringLiteral("Wide")),
              FontManager().TextWidth(*regular, QStringLiteral("Wide")));
}

TEST(QpFontTest, ThreadsThatMissTheSameKeyShareOneHandler)
{
    const auto font = MakeFont(QStringLiteral("Liberation Serif"), -20, 96, {TFontStyle::fsItalic});
    std::vector<TQPBaseFontHandler*> found(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < found.size(); ++i)
        threads.emplace_back([&, i] { found[i] = FontManager().FindHandler(*font); });
    for (std::thread& t : threads)
        t.join();
    for (TQPBaseFontHandler* h : found)
        EXPECT_EQ(h, found[0]);
}

} // namespace
