// The memo buffer on the fixed-advance device: every character is 0.1 inch
// (30 pixels at 300 dpi) wide in the 12-point font, so a column from 1 to 2
// inches (301 pixels) holds ten characters.
#include "RecordingReport.h"

#include "report/print/QpFormat.h"
#include "report/print/QpMemo.h"
#include "report/print/QpRtf.h"
#include "tests/support/FuzzLoop.h"

#include "platform/forms/RichEdit.h"
#include "platform/forms/StdCtrls.h"
#include "platform/rtl/Streams.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>

namespace {

const QChar kB(kQPTFBlockStart);
const QChar kE(kQPTFBlockEnd);

// A code block of one command.
QString Code(const QString& command)
{
    return kB + command + kE;
}

QString StripCodes(const QString& text)
{
    QString out;
    bool inBlock = false;
    for (QChar c : text) {
        if (c == kB)
            inBlock = true;
        else if (inBlock && c == kE)
            inBlock = false;
        else if (!inBlock)
            out += c;
    }
    return out;
}

class QpMemoTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        report = std::make_unique<RecordingReport>(&device);
        report->Begin();
        memo.BaseReport = report.get();
        memo.PrintStart = 1;
        memo.PrintEnd = 2;
    }

    // The rest of the memo as laid-out lines without their codes; a "|"
    // ends a paragraph.
    QStringList Lines()
    {
        QStringList lines;
        while (!memo.Empty()) {
            bool eol = false;
            const QString line = memo.GetNextLine(eol);
            lines << StripCodes(line) + (eol ? QStringLiteral("|") : QString());
        }
        return lines;
    }
    // The text output since the last call: "Left abc", codes removed.
    QStringList Printed()
    {
        QStringList out;
        for (const QString& call : report->Calls) {
            const QString kind = call.section(u' ', 0, 0);
            const qsizetype open = call.indexOf(u'"');
            const qsizetype close = call.lastIndexOf(u'"');
            out << kind + u' ' + StripCodes(call.mid(open + 1, close - open - 1));
        }
        report->Calls.clear();
        return out;
    }

    std::unique_ptr<RecordingReport> report;
    TMemoBuf memo;
};

// ---------------------------------------------------------------------------
// Line layout

TEST_F(QpMemoTest, BreaksSpacesAndCutWords)
{
    memo.SetText(QStringLiteral("A\r\nB\nC\r\rD"));
    EXPECT_EQ(Lines(), (QStringList{"A|", "B|", "C|", "|", "D|"}));

    // Spaces lead a paragraph's first line; on a wrapped line they go.
    memo.SetText(QStringLiteral("  abc defgh ijklm"));
    EXPECT_EQ(Lines(), (QStringList{"  abc", "defgh", "ijklm|"}));
    memo.KeepSpaces = true;
    memo.Reset();
    EXPECT_EQ(Lines(), (QStringList{"  abc", " defgh", " ijklm|"}));
    memo.KeepSpaces = false;

    // A word wider than the column is cut; the space in front of a cut word
    // on a wrapped line is a piece of its own that becomes nothing.
    memo.SetText(QStringLiteral("abcdefghijklmno"));
    EXPECT_EQ(Lines(), (QStringList{"abcdefghij", "klmno|"}));
    memo.SetText(QStringLiteral("ab abcdefghijklmn"));
    EXPECT_EQ(Lines(), (QStringList{"ab", "abcdefghij", "klmn|"}));
}

TEST_F(QpMemoTest, CodesFollowTheTextAcrossLines)
{
    // An empty paragraph still carries its format.
    memo.SetText(Code("B1") + QStringLiteral("a\r\n\r\nb"));
    bool eol = false;
    memo.GetNextLine(eol);
    const QString empty = memo.GetNextLine(eol);
    EXPECT_TRUE(eol);
    EXPECT_EQ(QPTFTextLength(empty), 0);
    TFormatState state = NewDefaultFormatState();
    ApplyQPTFToFormatState(state, empty);
    EXPECT_TRUE(state.Style.Bold);

    // The codes inside a line go back in front of their characters.
    memo.SetText(QStringLiteral("ab") + Code("B1") + QStringLiteral("cd ef") + Code("B0") +
                 QStringLiteral("gh"));
    const QString line = memo.GetNextLine(eol);
    EXPECT_TRUE(line.endsWith(QStringLiteral("ab") + Code("B1") + QStringLiteral("cd ef") + Code("B0") +
                              QStringLiteral("gh")));
    EXPECT_EQ(memo.LastQPTF(), Code("B0"));
}

TEST_F(QpMemoTest, JustificationOfPrintedLines)
{
    // The last line of a block paragraph is printed left.
    memo.Justify = TPrintJustify::pjBlock;
    memo.SetText(QStringLiteral("aaa bbb ccc ddd"));
    memo.PrintLines(0, false);
    EXPECT_EQ(Printed(), (QStringList{"Block aaa bbb", "Left ccc ddd"}));

    // A justification code switches that line and the ones after it.
    memo.Justify = TPrintJustify::pjLeft;
    memo.SetText(QStringLiteral("left\r\n") + Code("JC") + QStringLiteral("centred\r\nnext"));
    memo.PrintLines(0, false);
    EXPECT_EQ(Printed(), (QStringList{"Left left", "Center centred", "Center next"}));
    EXPECT_EQ(memo.Justify, TPrintJustify::pjCenter);
}

TEST_F(QpMemoTest, LineCountsAndHeights)
{
    const double lh = report->LineHeight();
    memo.SetText(QStringLiteral("abc"));
    EXPECT_DOUBLE_EQ(memo.PrintLines(3, false), 3 * lh);
    EXPECT_EQ(Printed(), (QStringList{"Left abc", "Left ", "Left "}));
    memo.Reset();
    EXPECT_DOUBLE_EQ(memo.PrintLines(0, false), lh);
    EXPECT_EQ(Printed(), (QStringList{"Left abc"}));
    EXPECT_EQ(memo.PrintLines(-1, false), 0);

    memo.SetText(QStringLiteral("one two three four five six"));
    EXPECT_EQ(memo.MemoLinesLeft(), 3);
    EXPECT_DOUBLE_EQ(memo.MemoHeightLeft(), 3 * lh);
    EXPECT_DOUBLE_EQ(memo.ConstrainHeightLeft(2.5 * lh), 2 * lh);
    EXPECT_EQ(memo.Pos(), 0);
    // Below one line height nothing is printed (not the whole rest).
    EXPECT_EQ(memo.PrintHeight(0.5 * lh, false), 0);
    EXPECT_TRUE(Printed().isEmpty());
    EXPECT_EQ(memo.Pos(), 0);
    // Codes under fixed line heights: counted in lines too, not the rest.
    report->SetLinesPerInch(6);
    report->SetLineHeightMethod(TLineHeightMethod::lhmLinesPerInch);
    memo.SetText(Code("B1") + QStringLiteral("one\r\ntwo\r\nthree"));
    memo.PrintHeight(1.5 * report->LineHeight(), false);
    EXPECT_EQ(Printed(), (QStringList{"Left one"}));
}

TEST_F(QpMemoTest, HeightBudgetWithFontsAndContinuationAcrossPages)
{
    const double h = report->FontHeight(); // the 12-point line's tallest font
    memo.SetText(Code("B0") + QStringLiteral("one\r\ntwo\r\nthree"));
    EXPECT_DOUBLE_EQ(memo.MemoHeightLeft(), 3 * 1.2 * h);
    EXPECT_DOUBLE_EQ(memo.PrintHeight(2.25 * 1.2 * h, false), 2 * h);
    EXPECT_EQ(Printed(), (QStringList{"Left one", "Left two"}));
    // Within 0.001 of the budget the line still goes; the line refused last
    // time comes first.
    EXPECT_DOUBLE_EQ(memo.PrintHeight(1.2 * h - 0.0005, false), h);
    EXPECT_EQ(Printed(), (QStringList{"Left three"}));
    EXPECT_TRUE(memo.Empty());

    // Without codes, page by page; the last page fills its lines.
    const double lh = report->LineHeight();
    memo.SetText(QStringLiteral("l1\nl2\nl3\nl4\nl5\nl6\nl7"));
    QStringList pages;
    while (!memo.Empty()) {
        memo.PrintHeight(3 * lh, false);
        pages << QString::number(report->CurrentPage()) + u':' + Printed().join(u',');
        report->NewPage();
    }
    EXPECT_EQ(pages, (QStringList{"1:Left l1,Left l2,Left l3", "2:Left l4,Left l5,Left l6",
                                  "3:Left l7,Left ,Left "}));
}

// Layout moves on whatever the text holds, so printing the rest ends.
TEST_F(QpMemoTest, LayoutAlwaysAdvances)
{
    memo.PrintEnd = 1.05; // 16 pixels: narrower than any character
    memo.SetText(QStringLiteral("abc"));
    EXPECT_EQ(memo.MemoLinesLeft(), 3);
    memo.PrintLines(0, false);
    EXPECT_EQ(Printed(), (QStringList{"Left a", "Left b", "Left c"}));

    // A code block without its end (kept as text) runs to the end.
    memo.ProcessQPTF = false;
    memo.SetText(QStringLiteral("ab") + kB + QStringLiteral("Bcd"));
    EXPECT_EQ(memo.MemoLinesLeft(), 3);
    memo.ProcessQPTF = true;

    // Vertical tab and form feed separate words as spaces do.
    memo.PrintEnd = 2;
    memo.SetText(QStringLiteral("ab\x0B") + QStringLiteral("cd\x0C\x0C") + QStringLiteral("efgh ijk"));
    EXPECT_EQ(memo.MemoLinesLeft(), 2);
    EXPECT_EQ(memo.ConstrainHeightLeft(1e9), 2 * report->LineHeight());
}

TEST_F(QpMemoTest, PrintingNeedsACanvasAndAColumn)
{
    memo.SetText(QStringLiteral("abc"));
    memo.PrintEnd = memo.PrintStart;
    try {
        memo.PrintLines(0, false);
        FAIL();
    } catch (const ESheetcaster& e) {
        EXPECT_EQ(e.Message(), u"TMemoBuf.PrintEnd must be greater than TMemoBuf.PrintStart");
    }
    memo.BaseReport = nullptr;
    try {
        memo.MemoLinesLeft();
        FAIL();
    } catch (const ESheetcaster& e) {
        EXPECT_EQ(e.Message(), u"TMemoBuf.BaseReport not assigned.");
    }
    EXPECT_EQ(memo.Text(), u"abc");
}

// ---------------------------------------------------------------------------
// Buffer, codes, search

TEST_F(QpMemoTest, CodesAreKeptApartFromTheText)
{
    TQPTFItem item;
    item.Data = Code("A");
    item.AddQPTF(Code("B"));
    EXPECT_EQ(item.Data, kB + QStringLiteral("A") + QChar(kQPTFNextCommand) + QStringLiteral("B") + kE);

    memo.SetText(Code("B1") + Code("I1") + QStringLiteral("xy") + Code("U1"));
    EXPECT_EQ(memo.Text(), u"xy");
    ASSERT_EQ(memo.QPTFList().size(), size_t(2));
    EXPECT_EQ(memo.QPTFList()[0].Data, Code("B1") + Code("I1")); // consecutive blocks, one entry
    EXPECT_EQ(memo.QPTFList()[1].Pos, 2);                        // codes at the end of the text

    // Deleting across a font change keeps the font after the deleted text.
    memo.SetText(QStringLiteral("aa") + Code("B1") + QStringLiteral("bb") + Code("B0") +
                 QStringLiteral("cc"));
    memo.Delete(1, 2);
    EXPECT_EQ(memo.Text(), u"abcc");
    auto boldAt = [&](int pos) {
        TFormatState state = NewDefaultFormatState();
        for (const TQPTFItem& i : memo.QPTFList())
            if (i.Pos <= pos)
                ApplyQPTFToFormatState(state, i.Data);
        return state.Style.Bold;
    };
    EXPECT_FALSE(boldAt(0));
    EXPECT_TRUE(boldAt(1));
    EXPECT_FALSE(boldAt(2));

    // Inserting another memo keeps the format of the text after it.
    TMemoBuf other;
    other.SetText(Code("B1") + QStringLiteral("XY"));
    memo.SetText(QStringLiteral("abcd"));
    memo.InsertMemoBuf(2, other);
    EXPECT_EQ(memo.Text(), u"abXYcd");
    EXPECT_TRUE(boldAt(2));
    EXPECT_FALSE(boldAt(4));
}

TEST_F(QpMemoTest, SearchAndReplace)
{
    memo.SetText(QStringLiteral("xx ABC aBc abc"));
    memo.SetPos(1);
    QList<int> found;
    for (bool ok = memo.SearchFirst(QStringLiteral("abc"), false); ok; ok = memo.SearchNext())
        found << memo.Pos();
    EXPECT_EQ(found, (QList<int>{3, 7, 11}));
    EXPECT_TRUE(memo.SearchFirst(QStringLiteral("abc"), true));
    EXPECT_EQ(memo.Pos(), 11);
    memo.SetPos(2);
    EXPECT_FALSE(memo.SearchFirst(QStringLiteral("abd"), false));
    EXPECT_EQ(memo.Pos(), 2);
    // An empty search text finds nothing, and replacing it ends.
    EXPECT_FALSE(memo.SearchFirst(QString(), false));
    memo.ReplaceAll(QString(), QStringLiteral("y"), false);

    memo.ReplaceAll(QStringLiteral("abc"), QStringLiteral("abcabc"), false);
    EXPECT_EQ(memo.Text(), u"xx abcabc abcabc abcabc");
    EXPECT_EQ(memo.Pos(), 2);
}

TEST_F(QpMemoTest, BufferLimitsAndEdits)
{
    memo.SetText(QString(70000, u'x'));
    EXPECT_EQ(memo.Size(), 70000);
    EXPECT_EQ(memo.Text().size(), 65520);

    memo.SetText(QStringLiteral("abc"));
    memo.SetBufferInc(0); // refused
    EXPECT_EQ(memo.BufferInc(), 256);
    memo.Append(QStringLiteral("de"));
    EXPECT_EQ(memo.MaxSize(), 256);
    memo.Insert(-4, QStringLiteral(">"));
    memo.Insert(99, QStringLiteral("<"));
    EXPECT_EQ(memo.Text(), u">abcde<");
    // Out-of-range values change nothing; growing fills with spaces.
    memo.SetSize(-1);
    memo.SetMaxSize(-1);
    memo.Delete(2, -3);
    memo.Delete(-1, 2);
    EXPECT_EQ(memo.Text(), u">abcde<");
    memo.SetSize(9);
    EXPECT_EQ(memo.Text(), u">abcde<  ");
    memo.SetMaxSize(3);
    EXPECT_EQ(memo.Text(), u">ab");

    // A negative position reads from the start.
    memo.SetText(QStringLiteral("first second third"));
    memo.SetPos(-5);
    bool eol = false;
    EXPECT_EQ(memo.GetNextLine(eol), u"first");

    memo.SaveBuffer();
    memo.SetText(QStringLiteral("other"));
    memo.RestoreBuffer();
    EXPECT_EQ(memo.Text(), u"first second third");
    EXPECT_EQ(memo.Pos(), 0);
}

TEST_F(QpMemoTest, LoadingAndSaving)
{
    const QString text = QStringLiteral("\u20ACuro \u00E9t\u00E9");
    auto load = [&](const QByteArray& bytes) {
        TMemoryStream stream(bytes);
        memo.LoadFromStream(stream, 0);
        return memo.Text();
    };
    EXPECT_EQ(load(QByteArray("\xEF\xBB\xBF") + text.toUtf8()), text);
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_EQ(load(utf16), text);
    EXPECT_EQ(load(QByteArray("\x80uro \xE9t\xE9")), text); // the ANSI code page, 1252

    TMemoryStream out;
    memo.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), utf16.mid(2));

    TMemo control(nullptr);
    control.SetText(QStringLiteral("a\r\nb"));
    memo.SetMemo(control);
    EXPECT_EQ(memo.Text(), u"a\r\nb");

    memo.SetRTFText(QStringLiteral("{\\rtf1 plain \\b bold\\b0}"));
    EXPECT_EQ(memo.Text(), u"plain bold");
    EXPECT_TRUE(memo.HasQPTF());
    memo.SetText(QStringLiteral("x"));
    EXPECT_FALSE(memo.HasQPTF()); // the rich-text flag went with that load
}

// A rich-edit control keeps the RTF it was given, set or loaded, as its
// lines: a memo filled from it prints what the same RTF given as RTFText
// prints, and the control shows the text with its formatting.
TEST_F(QpMemoTest, RichEditGivesItsRtfToTheMemo)
{
    const QString rtf = QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
                                       "\\f0\\fs20 plain \\b bold\\b0\\par\r\n"
                                       "\\qc centred\\par}");
    SetRichTextReader(RTFToDocument);
    TRichEdit control(nullptr);
    control.SetText(rtf);
    EXPECT_EQ(control.Lines()->Text(), rtf + QStringLiteral("\r\n"));
    memo.SetRichEdit(control);
    memo.PrintLines(0, false);
    const QStringList fromControl = Printed();
    memo.SetRTFText(rtf);
    memo.PrintLines(0, false);
    EXPECT_EQ(fromControl, Printed());
    EXPECT_EQ(fromControl.join(u'|'), QStringLiteral("Left plain bold|Center centred"));

    const QTextDocument& shown = *control.RichWidget()->document();
    EXPECT_TRUE(shown.toPlainText().startsWith(QStringLiteral("plain bold\ncentred")));
    QTextCursor cursor(control.RichWidget()->document());
    cursor.setPosition(int(shown.toPlainText().indexOf(QStringLiteral("bold"))) + 1);
    EXPECT_EQ(cursor.charFormat().fontWeight(), QFont::Bold);
    cursor.setPosition(2);
    EXPECT_EQ(cursor.charFormat().fontWeight(), QFont::Normal);
    EXPECT_TRUE(shown.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(control.RichWidget()->isReadOnly()); // typing could not be given back as RTF

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("text.rtf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\\rtf1 from a \\i file\\i0}");
    file.close();
    control.LoadFromFile(file.fileName());
    EXPECT_EQ(control.Lines()->Text(), QStringLiteral("{\\rtf1 from a \\i file\\i0}\r\n"));
    memo.SetRichEdit(control);
    EXPECT_EQ(memo.Text(), u"from a file");
}

// Random texts of codes, breaks, spaces and letters, loaded and laid out in
// a narrow and a normal column, edited and searched.
TEST_F(QpMemoTest, FuzzLoadingAndLayout)
{
    static const char16_t alphabet[] = {1,   2,   3,   4,   9,   10,  11,  12,  13,     ' ', ' ',
                                        'a', 'B', 'Z', '1', '.', 'J', 'C', 'L', 0x2028, 0xA0};
    const FuzzStats stats = RunFuzzLoop(
        [&](const QByteArray& bytes) {
            if (bytes.isEmpty())
                return;
            QString text;
            for (char b : bytes.mid(1))
                text += QChar(alphabet[uint8_t(b) % std::size(alphabet)]);
            const uint8_t mode = uint8_t(bytes[0]);
            memo.ProcessQPTF = (mode & 1) == 0;
            memo.KeepSpaces = (mode & 2) != 0;
            memo.PrintEnd = (mode & 4) ? 1.05 : 2;
            memo.SetText(text);
            memo.MemoLinesLeft();
            memo.ConstrainHeightLeft(1e9);
            memo.Delete(mode % 7, mode % 5);
            memo.Insert(mode % 11, QStringLiteral("\x01Z3\x04 x"));
            memo.ReplaceAll(QStringLiteral("a"), QStringLiteral("aa "), mode & 8);
            memo.Reset();
            memo.PrintHeight(3 * report->LineHeight(), (mode & 16) != 0);
            memo.PrintLines(0, false);
            report->Calls.clear();
        },
        {QByteArray("\x00\x01\x42\x04 abc\x0d\x0a", 9), QByteArray("\x05 aaaa bbbb\x0b\x0c cc"),
         QByteArray("\x02\x01J\x02Z\x04xx yy zz")});
    EXPECT_GT(stats.runs, 50);
}

} // namespace
