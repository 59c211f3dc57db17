// The canvas's text output: which output operation each print call makes
// and with which arguments, fixed tabs inside text, tab stops, truncation
// and measuring. With the fixed-advance device a 12-point character is 0.1
// inch wide (0.6 of a 50-pixel em at 300 dpi).
#include "tests/report/print/RecordingReport.h"

#include "report/print/QpFormat.h"

namespace {

using TextTest = RecordingTest;

const QString B1 = QStringLiteral("\x01"
                                  "B1\x04");
const QString B0 = QStringLiteral("\x01"
                                  "B0\x04");

TEST_F(TextTest, PositionalPrintsCallTheMatchingOutput)
{
    RecordingReport report(&device);
    report.SetMarginLeft(1);
    report.SetMarginRight(1); // section 1 to 7.5
    report.Begin();
    report.PrintLeft(QStringLiteral("ab"), 1);
    report.PrintCenter(QStringLiteral("ab"), 4);
    report.PrintRight(QStringLiteral("ab"), 4);
    report.PrintBlock(QStringLiteral("ab"), 1, 3);
    report.PrintXY(2, 5, QStringLiteral("xy"));
    EXPECT_EQ(report.YPos(), 5);
    report.PrintHeader(QStringLiteral("h"), TPrintJustify::pjCenter);
    report.PrintFooter(QStringLiteral("f"), TPrintJustify::pjRight);
    report.PrintHeader(QStringLiteral("b"), TPrintJustify::pjBlock);
    report.PrintJustify(QStringLiteral("m"), 1, TPrintJustify::pjRight, 0.25, 2);
    report.PrintJustify(QStringLiteral("m"), 1, TPrintJustify::pjBlock, 0.25, 2);
    report.SetUnits(TPrintUnits::unMM);
    report.PrintLeft(QStringLiteral("mm"), 25.4);
    const QStringList expected = {
        QStringLiteral("Left \"ab\" 1"),        QStringLiteral("Center \"ab\" 4"),
        QStringLiteral("Right \"ab\" 4"),       QStringLiteral("Block \"ab\" 1 3"),
        QStringLiteral("Left \"xy\" 2"),
        QStringLiteral("Center \"h\" 4.25"), // centred on the section
        QStringLiteral("Right \"f\" 7.5"),      QStringLiteral("Block \"b\" 1 6.5"),
        QStringLiteral("Right \"m\" 2.75"),     // X + Width - Margin
        QStringLiteral("Block \"m\" 1.25 1.5"), // inside both margins
        QStringLiteral("Left \"mm\" 1"),        // report units in, inches out
    };
    EXPECT_EQ(report.Calls, expected);
    report.Finish();
}

TEST_F(TextTest, CharacterJustifiedTextAlignsOnTheCharacter)
{
    RecordingReport report(&device);
    report.Begin();
    report.PrintCharJustify(QStringLiteral("12.50"), u'.', 3);
    report.PrintCharJustify(QStringLiteral("1250"), u'.', 3);
    const QStringList expected = {
        QStringLiteral("Right \"12\" 3"), QStringLiteral("Left \".50\" 3"),
        QStringLiteral("Right \"1250\" 3"), // no full stop: ends at 3 as a whole
    };
    EXPECT_EQ(report.Calls, expected);
    report.Finish();
}

TEST_F(TextTest, TabCharactersInLeftTextMoveToFixedStops)
{
    struct Row {
        int line;
        const char16_t* text;
        double margin;
        double fixedTab;
        QStringList calls;
    };
    // FixedTabWidth stops counted from X = 1; a character is 0.1 inch.
    const Row rows[] = {
        {1, u"a\tb", 0, 0.5, {QStringLiteral("Left \"a\" 1"), QStringLiteral("Left \"b\" 1.5")}},
        // A piece ending on a stop (1.5) goes on to the next one.
        {2, u"abcde\tx", 0, 0.5, {QStringLiteral("Left \"abcde\" 1"), QStringLiteral("Left \"x\" 2")}},
        {3, u"\t\tz", 0, 0.5, {QStringLiteral("Left \"z\" 2")}},
        {4, u"a\t", 0, 0.5, {QStringLiteral("Left \"a\" 1"), QStringLiteral("Left \"\" 1.5")}},
        // The margin moves the text, not the stops.
        {5, u"a\tb", 0.2, 0.5, {QStringLiteral("Left \"a\" 1.2"), QStringLiteral("Left \"b\" 1.5")}},
        // A fixed tab width of 0 steps by one device pixel (1/300 inch).
        {6, u"a\tb", 0, 0, {QStringLiteral("Left \"a\" 1"), QStringLiteral("Left \"b\" 1.10333")}},
        {7, u"a\tb", 0, -1, {QStringLiteral("Left \"a\" 1"), QStringLiteral("Left \"b\" 1.10333")}},
    };
    for (const Row& row : rows) {
        RecordingReport report(&device);
        report.Begin();
        report.SetFixedTabWidth(row.fixedTab);
        report.PrintJustify(QString::fromUtf16(row.text), 1, TPrintJustify::pjLeft, row.margin, 0);
        report.Finish();
        report.Calls.removeLast(); // "Finish"
        EXPECT_EQ(report.Calls, row.calls) << "row " << row.line;
    }
}

TEST_F(TextTest, TheFontStackRestsWhileLeftTextGoesOutPieceByPiece)
{
    RecordingReport report(&device);
    report.Begin();
    // Code blocks in one piece must reach the next: an output class that
    // pushes and pops the font around each piece does nothing but on the
    // last piece.
    int pushes = 0;
    report.OnOutput = [&] {
        report.PushFont();
        ++pushes;
    };
    report.PrintLeft(QStringLiteral("a\tb\tc"), 1);
    EXPECT_EQ(pushes, 3);
    EXPECT_TRUE(report.PopFont());
    EXPECT_FALSE(report.PopFont());
    report.OnOutput = nullptr;
    report.Calls.clear();
    // Four bold characters are 0.47 inch wide: the next stop is 1.5.
    report.PrintLeft(B1 + QStringLiteral("abcd\tx"), 1);
    EXPECT_EQ(report.Calls, (QStringList{QStringLiteral("Left \"") + B1 + QStringLiteral("abcd\" 1"),
                                         QStringLiteral("Left \"x\" 1.5")}));
    report.Finish();
}

TEST_F(TextTest, PrintFillsTabStopsInTurn)
{
    RecordingReport report(&device);
    report.Begin();
    report.SetTab(1, TPrintJustify::pjLeft, 2, 10, 0, 0); // margin 0.1 inch
    report.SetTab(-1, TPrintJustify::pjRight, 1.5, 5, 0, 0);
    report.SetTab(-1, TPrintJustify::pjCenter, 1, 0, 0, 0);
    report.Print(QStringLiteral("\tone\ttwo\tthree"));
    report.Print(QStringLiteral("more")); // the tab is used up: at the cursor
    report.NewLine();
    report.Print(QStringLiteral("\t\t\t\tpast")); // past the last stop: at the cursor
    report.NewLine();
    report.SetTabJustify(TTabJustify::tjBlock);
    report.Print(QStringLiteral("\tone"));
    report.NewLine();
    report.SetTabJustify(TTabJustify::tjNone);
    report.SetColumns(2, 0); // column pitch 4.25
    report.SetColumnNum(2);
    report.Print(QStringLiteral("\tone"));
    const QStringList expected = {
        QStringLiteral("Left \"one\" 1.1"),   QStringLiteral("Right \"two\" 4.45"),
        QStringLiteral("Center \"three\" 5"),
        QStringLiteral("Left \"more\" 5.25"), // the centred text ends there
        QStringLiteral("Left \"past\" 0"),    QStringLiteral("Block \"one\" 1.1 1.8"),
        QStringLiteral("Left \"one\" 5.35"),
    };
    EXPECT_EQ(report.Calls, expected);
    report.Finish();
}

TEST_F(TextTest, PrintTabCutsTheTextToTheStop)
{
    RecordingReport report(&device);
    report.Begin();
    report.SetTab(1, TPrintJustify::pjLeft, 0.5, 0, 0, 0);
    report.SetTab(-1, TPrintJustify::pjRight, 0.3, 0, 0, 0);
    report.PrintTab(QStringLiteral("abcdefgh"));
    report.PrintTab(QStringLiteral("xy"));
    report.PrintTab(QStringLiteral("gone")); // no stop: width 0
    EXPECT_EQ(report.Calls,
              (QStringList{QStringLiteral("Left \"abcde\" 1"), QStringLiteral("Right \"xy\" 1.8"),
                           QStringLiteral("Left \"\" 1.8")}));
    report.Finish();
}

TEST_F(TextTest, TruncateTextKeepsTheLongestStartThatFits)
{
    struct Row {
        int line;
        QString text;
        double width;
        QString expected;
    };
    const QString deferred = QChar(253) + QStringLiteral("$QPCM11");
    const Row rows[] = {
        {1, QStringLiteral("abc"), 0.5, QStringLiteral("abc")}, // within the limit: unchanged
        {2, QStringLiteral("abcdefgh"), 0.5, QStringLiteral("abcde")},
        {3, QStringLiteral("abcdefgh"), 0.49, QStringLiteral("abcd")},
        {4, QStringLiteral("abc"), 0, QString()},
        // A code block at the end goes with the character before it.
        {5, QStringLiteral("abcde") + B0, 0.4, QStringLiteral("abcd")},
        // Bold characters are 35 pixels: three fit in 0.4 inch.
        {6, B1 + QStringLiteral("abcdef"), 0.4, B1 + QStringLiteral("abc")},
        // A surrogate pair is one character.
        {7, QStringLiteral("ab") + QString::fromUtf16(u"\U0001F600"), 0.3, QStringLiteral("ab")},
        // A deferred macro is only measured at playback.
        {8, deferred + QStringLiteral("abcdefgh"), 0, deferred + QStringLiteral("abcdefgh")},
    };
    RecordingReport report(&device);
    report.Begin();
    for (const Row& row : rows)
        EXPECT_EQ(report.TruncateText(row.text, row.width), row.expected) << "row " << row.line;
    report.Finish();
}

TEST_F(TextTest, TextWidthMeasuresInReportUnits)
{
    RecordingReport report(&device);
    EXPECT_THROW(report.TextWidth(QStringLiteral("ab")), ESheetcaster);
    report.Begin();
    EXPECT_DOUBLE_EQ(report.TextWidth(QStringLiteral("ab")), 0.2);
    EXPECT_DOUBLE_EQ(report.TextWidth(QString()), 1.0 / 300); // one device pixel, not 0
    // With codes the runs are measured in their own fonts: 24 points is 0.2
    // inch a character.
    EXPECT_DOUBLE_EQ(report.TextWidth(QStringLiteral("\x01Z24\x04"
                                                     "ab")),
                     0.4);
    EXPECT_DOUBLE_EQ(report.TextWidth(QStringLiteral("a\x01Z24\x04"
                                                     "b")),
                     0.3);
    report.SetScaleX(50);
    EXPECT_DOUBLE_EQ(report.TextWidth(QStringLiteral("ab")), 0.1);
    report.SetScaleX(100);
    report.SetUnits(TPrintUnits::unMM);
    EXPECT_DOUBLE_EQ(report.TextWidth(QString()), 25.4 / 300);
    report.Finish();
}

TEST_F(TextTest, RotatedTextMovesTheCursorAlongItsDirection)
{
    RecordingReport report(&device);
    report.Begin();
    report.SetYPos(5);
    report.PrintLeft(QStringLiteral("abc"), 1);
    EXPECT_NEAR(report.XPos(), 1.3, 1e-12);
    report.SetFontRotation(90);
    report.PrintLeft(QStringLiteral("abc"), 1);
    EXPECT_NEAR(report.XPos(), 1, 1e-12);
    EXPECT_NEAR(report.YPos(), 4.7, 1e-12); // up by the text's width
    report.SetFontRotation(-90);
    report.AdvanceCursor(0.5);
    EXPECT_NEAR(report.YPos(), 5.2, 1e-12);
    report.Finish();
}

TEST_F(TextTest, LinksAreCodesAroundTheDisplayText)
{
    EXPECT_EQ(TBaseReport::MakeLink(QStringLiteral("here"), QStringLiteral("http://x")),
              QStringLiteral("\x01"
                             "Ahttp://x\x04"
                             "here\x01"
                             "A\x04"));
    RecordingReport report(&device);
    report.Begin();
    int pos = 0;
    QString run;
    const QString text = TBaseReport::MakeLink(QStringLiteral("here"), QStringLiteral("http://x"));
    ASSERT_TRUE(NextQPTFSegment(report, text, pos, run));
    EXPECT_EQ(run, "here");
    EXPECT_EQ(report.HyperLink(), "http://x");
    ASSERT_TRUE(NextQPTFSegment(report, text, pos, run));
    EXPECT_EQ(report.HyperLink(), "");
    // Measuring a linked text starts no link.
    report.TextWidth(QStringLiteral("\x01"
                                    "Ahttp://y\x04"
                                    "there"));
    EXPECT_EQ(report.HyperLink(), "");
    report.Finish();
}

// The real fonts: Liberation Sans in place of Arial, measured by the
// font-width manager (text without codes) and by Qt's metrics (runs).
TEST_F(TextTest, RealFontsMeasureBothWaysAlike)
{
    TQPRenderDevice render;
    RecordingReport report(&render);
    report.Begin();
    EXPECT_EQ(report.XDPI(), 600);
    const double plain = report.TextWidth(QStringLiteral("Tessvar gauge"));
    EXPECT_GT(plain, 0.8);
    EXPECT_LT(plain, 1.2);
    EXPECT_GT(report.TextWidth(QStringLiteral("WWWW")), report.TextWidth(QStringLiteral("iiii")));
    // The same font through a code block measures within a pixel or two.
    const double coded = report.TextWidth(QStringLiteral("\x01R\x04Tessvar gauge"));
    EXPECT_NEAR(coded, plain, 2.0 / 600);
    EXPECT_GT(report.TextWidth(B1 + QStringLiteral("Tessvar gauge")), coded);
    const QString cut = report.TruncateText(QStringLiteral("Tessvar gauge"), plain / 2);
    EXPECT_LE(report.TextWidth(cut), plain / 2);
    EXPECT_GT(report.TextWidth(QStringLiteral("Tessvar gauge").left(cut.size() + 1)), plain / 2);
    report.Finish();
}

} // namespace
