// In-text formatting codes: the grammar, format states and their codes,
// numbers under any locale, and measuring runs in the fonts the codes select.
// In expected texts "[" stands for character 1, "|" for 2 and "]" for 4.
#include "report/print/QpFormat.h"

#include "tests/report/print/RecordingReport.h"
#include "tests/support/FuzzLoop.h"

#include "platform/rtl/NumberText.h"

namespace {

QString Codes(const QString& shown)
{
    QString text = shown;
    text.replace(u'[', QChar(1));
    text.replace(u'|', QChar(2));
    text.replace(u']', QChar(4));
    return text;
}

QString Codes(const char16_t* shown)
{
    return Codes(QString::fromUtf16(shown));
}

QString Shown(QString text)
{
    text.replace(QChar(1), u'[');
    text.replace(QChar(2), u'|');
    text.replace(QChar(4), u']');
    return text;
}

TEST(QpFormatTest, CommandsAreALetterAndAValue)
{
    struct Row {
        int line;
        const char16_t* text;
        const char16_t* commands; // "letter=value;" each
    };
    const Row rows[] = {
        {1, u"[B1|Z14]Hello", u"B=1;Z=14;"},
        {2, u"[NTimes\x03 New]x[B0]", u"N=Times New;B=0;"}, // character 3 is dropped
        {3, u"[]x[|Z9]", u"Z=9;"},                          // no letter: no command
        {4, u"x[Z1", u"Z=1;"},                              // the text ends the block
        {5, u"x[", u""},
        {6, u"[R|r]", u"R=;r=;"},
    };
    for (const Row& row : rows) {
        const QString text = Codes(row.text);
        QString found;
        int pos = 0;
        QChar cmd;
        QString value;
        while (NextQPTFCommand(text, pos, cmd, value))
            found += cmd + u'=' + value + u';';
        EXPECT_EQ(found, QString::fromUtf16(row.commands)) << "row " << row.line;
        EXPECT_EQ(cmd, u' ') << "row " << row.line;
        EXPECT_EQ(pos, text.size()) << "row " << row.line;
    }
}

TEST(QpFormatTest, SegmentsAreBlocksWithTheRunAfterThem)
{
    struct Row {
        int line;
        const char16_t* text;
        const char16_t* segments; // "codes/run;" each
        int visible;
    };
    const Row rows[] = {
        {1, u"[B1|Z14]Hello", u"[B1|Z14]/Hello;", 5},
        {2, u"ab[B1]cd[B0|I1]ef", u"/ab;[B1]/cd;[B0|I1]/ef;", 6},
        {3, u"[B1][Z9]x", u"[B1][Z9]/x;", 1}, // blocks standing together
        {4, u"a[B1", u"/a;[B1/;", 1},
        {5, u"", u"", 0},
        {6, u"a]b", u"/a]b;", 3}, // a lone character 4 is text
    };
    for (const Row& row : rows) {
        const QString text = Codes(row.text);
        QString found;
        int pos = 0;
        QString run;
        QString codes;
        while (SplitQPTFText(text, pos, run, codes))
            found += Shown(codes + u'/' + run + u';');
        EXPECT_EQ(found, QString::fromUtf16(row.segments)) << "row " << row.line;
        EXPECT_EQ(QPTFTextLength(text), row.visible) << "row " << row.line;
        EXPECT_EQ(QPTFBufLength(text.constData(), int(text.size())), row.visible) << "row " << row.line;
    }
}

TEST(QpFormatTest, StatesBecomeCodesAndBack)
{
    const TFormatState def = NewDefaultFormatState();
    EXPECT_EQ(Shown(FormatStateToQPTF(def)), "[R]");

    TFormatState state = def;
    state.Name = QStringLiteral("Times New Roman");
    state.Size = 10.5;
    state.Style.Bold = state.Style.Italic = state.Style.Underline = true;
    state.Style.Strikeout = state.Style.Subscript = state.Style.Superscript = true;
    state.Style.Color = 255;
    state.Para.Justify = TPrintJustify::pjBlock;
    state.Para.FirstIndent = -0.25;
    state.Para.LeftIndent = 0.5;
    state.Para.RightIndent = 0.125;
    const QString codes = FormatStateToQPTF(state);
    EXPECT_EQ(Shown(codes), "[R|F-0.25|L0.5|G0.125|NTimes New Roman|Z10.5|B1|I1|U1|K1|S1|P1|C255|JB]");

    TFormatState back = def;
    ApplyQPTFToFormatState(back, Codes(u"[B1|Z30]"));
    ApplyQPTFToFormatState(back, codes); // R first: the earlier codes go
    EXPECT_EQ(Shown(FormatStateToQPTF(back)), Shown(codes));

    // Names compare without regard to case; pitch has no code of its own.
    TFormatState other = def;
    other.Name = QStringLiteral("ARIAL");
    other.Style.Pitch = TFontPitch::fpFixed;
    QString diff;
    FormatStateDiff(diff, def, other);
    EXPECT_EQ(diff, "");
    AddQPTFCommand(diff, QStringLiteral("B1"));
    AddQPTFCommand(diff, QStringLiteral("I0"));
    EXPECT_EQ(Shown(diff), "[B1|I0");
}

TEST(QpFormatTest, CommandsChangeAFormatState)
{
    TFormatState enclosing = NewDefaultFormatState();
    TFormatState state = NewDefaultFormatState();
    state.Prev = &enclosing;
    ApplyQPTFToFormatState(state, Codes(u"[B1|I1|NCourier New|Z8|HF|JR|L1|Q7]"));
    EXPECT_TRUE(state.Style.Bold);
    EXPECT_EQ(state.Style.Pitch, TFontPitch::fpFixed);
    EXPECT_EQ(state.Para.Justify, TPrintJustify::pjRight);
    EXPECT_EQ(state.Para.LeftIndent, 1);
    ApplyQPTFToFormatState(state, Codes(u"[B2]")); // anything but 1 is off
    EXPECT_FALSE(state.Style.Bold);
    ApplyQPTFToFormatState(state, Codes(u"[r]")); // styles only
    EXPECT_FALSE(state.Style.Italic);
    EXPECT_EQ(state.Style.Pitch, TFontPitch::fpDefault);
    EXPECT_EQ(state.Name, "Courier New");
    EXPECT_EQ(state.Size, 8);
    EXPECT_EQ(state.Para.Justify, TPrintJustify::pjRight);
    ApplyQPTFToFormatState(state, Codes(u"[R]"));
    EXPECT_EQ(state.Name, "Arial");
    EXPECT_EQ(state.Size, 12);
    EXPECT_EQ(state.Para.Justify, TPrintJustify::pjLeft);
    EXPECT_EQ(state.Para.LeftIndent, 0);
    EXPECT_EQ(state.Prev, &enclosing); // still in its stack
}

TEST(QpFormatTest, NumbersReadTheSameUnderEveryLocale)
{
    struct Row {
        int line;
        QChar separator;
        const char16_t* value;
        double size;
    };
    const Row rows[] = {
        {1, u'.', u"10.5", 10.5},
        {2, u'.', u"10,5", 10.5},
        {3, u',', u"10.5", 10.5},
        {4, u',', u"10,5", 10.5},
        {5, u',', u" 9 ", 9},
        // Sizes stay between 0 and 1000 points.
        {6, u'.', u"99999", 1000},
        {7, u'.', u"-3", 0},
    };
    for (const Row& row : rows) {
        SetDecimalSeparator(row.separator);
        TFormatState state = NewDefaultFormatState();
        ApplyQPTFToFormatState(state, Codes(QStringLiteral("[Z") + QString::fromUtf16(row.value) + u']'));
        EXPECT_EQ(state.Size, row.size) << "row " << row.line;
    }
    SetDecimalSeparator(u',');
    TFormatState state = NewDefaultFormatState();
    state.Para.LeftIndent = 0.75;
    EXPECT_EQ(Shown(FormatStateToQPTF(state)), "[R|L0.75]");
    EXPECT_EQ(QPTFNumberText(-1.5e-7), "-1.5E-7");
    ResetNumberSeparators();

    const char16_t* bad[] = {u"[Zbig]", u"[Z]", u"[ZINF]", u"[ZNAN]", u"[Cred]", u"[L1..5]"};
    for (const char16_t* codes : bad) {
        TFormatState s = NewDefaultFormatState();
        EXPECT_THROW(ApplyQPTFToFormatState(s, Codes(codes)), EConvertError)
            << Shown(Codes(codes)).toStdString();
    }
    try {
        QPTFNumber(QStringLiteral("1,2,3"));
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'1,2,3' is not a valid floating point value");
    }
}

TEST(QpFormatTest, JustificationIsTheFirstJ)
{
    struct Row {
        int line;
        const char16_t* text;
        TPrintJustify expected;
    };
    const Row rows[] = {
        {1, u"plain", TPrintJustify::pjRight}, // the default
        {2, u"[JC]x", TPrintJustify::pjCenter},   {3, u"[R]x", TPrintJustify::pjLeft},
        {4, u"[R|JB]x", TPrintJustify::pjBlock},  {5, u"[JR]x[JC]y", TPrintJustify::pjRight},
        {6, u"[B1]x[JL]", TPrintJustify::pjLeft},
    };
    for (const Row& row : rows)
        EXPECT_EQ(QPTFJustify(Codes(row.text), TPrintJustify::pjRight), row.expected) << "row " << row.line;
}

using QpFormatMeasureTest = RecordingTest;

TEST_F(QpFormatMeasureTest, RunsAreMeasuredInTheirOwnFonts)
{
    RecordingReport report(&device);
    report.Begin();
    // Bold 14 points: a 58-pixel em (14 / 72 * 300, rounded), 0.7 of it a
    // character; five letters are 203 pixels.
    const QString hello = Codes(u"[B1|Z14]Hello");
    EXPECT_EQ(QPTFTextWidth(report, hello), 203);
    EXPECT_EQ(QPTFTextWidth(report, QString()), 1);
    EXPECT_DOUBLE_EQ(QPTFMaxFontHeight(report, Codes(u"a[Z24]b[Z6]c")), 24.0 / 72);
    EXPECT_DOUBLE_EQ(QPTFMaxFontHeight(report, QStringLiteral("abc")), 12.0 / 72);
    // The text goes out whole; the codes are the output class's to apply.
    report.Print(hello);
    EXPECT_EQ(report.Calls, QStringList{QStringLiteral("Left \"") + hello + QStringLiteral("\" 0")});

    // Measuring leaves the font as it was, also inside a caller's own
    // selection of the base font.
    TCanvas* canvas = report.GetCanvas();
    const QFont own = canvas->DeviceFont().Font;
    report.SelectQPFont();
    const QFont selected = canvas->DeviceFont().Font;
    QPTFTextWidth(report, Codes(u"[Z30|B1]x"));
    EXPECT_EQ(canvas->DeviceFont().Font, selected);
    report.SelectCanvasFont();
    EXPECT_EQ(canvas->DeviceFont().Font, own);
    EXPECT_FALSE(report.Bold());
    EXPECT_EQ(report.FontSize(), 12);
    report.Finish();
}

TEST_F(QpFormatMeasureTest, TabsMoveToTheNextMultipleOfTheStep)
{
    struct Row {
        int line;
        const char16_t* text;
        double fixedTab; // inches
        int start;
        int width;
    };
    // 0.5 inch is a step of 150 pixels; a character is 30.
    const Row rows[] = {
        {1, u"ab\tc", 0.5, 0, 180}, {2, u"\tc", 0.5, 0, 180}, // 0 moves a whole step
        {3, u"\tc", 0.5, 150, 180},                           // on a stop: stays
        {4, u"\tc", 0.5, 151, 330}, {5, u"abcdef\t\tc", 0.5, 0, 330},
        {6, u"ab\tc", 0, 0, 90}, // a step of 0 is one pixel
        {7, u"\t\t", -2, 0, 1},
    };
    RecordingReport report(&device);
    report.Begin();
    report.SelectQPFont();
    for (const Row& row : rows) {
        report.SetFixedTabWidth(row.fixedTab);
        EXPECT_EQ(TabbedTextWidth(report, QString::fromUtf16(row.text), row.start), row.width)
            << "row " << row.line;
    }
    report.SetFixedTabWidth(0.5);
    // Runs continue on one tab grid.
    EXPECT_EQ(QPTFTextWidth(report, Codes(u"ab[Z24]\tc")), 150 + 60);
    report.SelectCanvasFont();
    report.Finish();
}

TEST(QpFormatFuzzTest, AnyTextParsesOrRaisesAConversionError)
{
    const std::vector<QByteArray> seeds = {
        QByteArray("\x01\0B\0001\0\x02\0Z\0001\0004\0\x04\0H\0i\0", 20),
        QByteArray("\x01\0L\0000\0.\0005\0\x04\0", 12),
    };
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            const QString text =
                QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
            TFormatState state = NewDefaultFormatState();
            int pos = 0;
            QString run;
            QString codes;
            while (SplitQPTFText(text, pos, run, codes))
                ApplyQPTFToFormatState(state, codes);
            QPTFTextLength(text);
            QPTFJustify(text, TPrintJustify::pjLeft);
            FormatStateToQPTF(state);
        },
        seeds, 1.0);
    EXPECT_GT(stats.runs, 100);
}

} // namespace
