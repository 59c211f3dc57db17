// Texts, memos, page numbering, sections and images printed on a recording
// canvas (every character 0.1 inch wide at 12 points).
#include "report/components/ZvCsStd.h"

#include "platform/forms/Picture.h"
#include "platform/graphics/Metafile.h"

#include "ComponentFixtures.h"

namespace {

class ZvCsStdTest : public ComponentTest {
protected:
    TZarvMemo* AddMemo(const QString& text, double width, double lines)
    {
        auto* memo = Add<TZarvMemo>(QStringLiteral("Memo1"));
        memo->Font()->SetSize(12);
        memo->SetText(text);
        Canvas.AssignFont(*memo->Font());
        memo->SetBoundsRect(ZarvRect(1, 1, 1 + width, 1 + lines * Canvas.LineHeight()));
        return memo;
    }
};

TEST_F(ZvCsStdTest, TextIsOneFifthInchHighForTwelvePointsEitherSign)
{
    auto* text = Add<TZarvText>(QStringLiteral("Text1"));
    text->Font()->SetSize(12);
    EXPECT_DOUBLE_EQ(text->GetHeight(), 0.2);
    text->Font()->SetSize(-12); // a cell height
    EXPECT_DOUBLE_EQ(text->GetHeight(), 0.2);
    // A font master's font counts, not the own one.
    auto* master = Add<TZarvFontMaster>(QStringLiteral("Master"));
    master->Font()->SetSize(24);
    text->SetFontMirror(master);
    EXPECT_DOUBLE_EQ(text->GetHeight(), 0.4);
    delete master;
    EXPECT_EQ(text->FontMirror(), nullptr);
}

// Only blanks and control characters may stand before the RTF prefix.
TEST_F(ZvCsStdTest, MemoReadsRtfOnlyAfterBlanksAndControlCharacters)
{
    const QString body = QStringLiteral("{\\RTF1\\ansi plain {\\b words}}");
    const struct {
        QString Lead;
        bool Rtf;
    } rows[] = {
        {QStringLiteral(" \t"), true},          // prefix in capitals after a blank and a tab
        {QStringLiteral("\r\n\x1f"), true},     // line break and a unit separator
        {QString(QChar(0x00A0)), false},        // a no-break space is text
        {QString(QChar(0x3000)) + u' ', false}, // so is an ideographic space
    };
    for (const auto& row : rows) {
        Canvas.Calls.clear();
        TZarvMemo* memo = AddMemo(row.Lead + body, 4, 3);
        memo->Print(&Canvas);
        const QString printed = Texts().join(QLatin1Char(' '));
        if (row.Rtf) {
            // Read as RTF: the words print without braces and control words.
            EXPECT_TRUE(printed.contains(QStringLiteral("plain")) &&
                        printed.contains(QStringLiteral("words")))
                << printed.toStdString();
            EXPECT_FALSE(printed.contains(QLatin1Char('{')) || printed.contains(QStringLiteral("ansi")))
                << printed.toStdString();
        } else {
            // Read as plain text: the text prints as written.
            EXPECT_TRUE(printed.contains(body)) << printed.toStdString();
        }
        delete memo;
    }
}

TEST_F(ZvCsStdTest, MailMergeItemsApplyInListOrder)
{
    TZarvMemo* memo = AddMemo(QStringLiteral("Dear NAME"), 4, 2);
    TZarvMailMergeList items;
    const auto add = [&items](const char* token, const char* replacement) {
        auto* item = new TZarvMailMergeItem;
        item->SetSearchToken(QString::fromLatin1(token));
        item->SetReplaceString(QString::fromLatin1(replacement)); // a data text expression
        items.Add(item);
    };
    add("NAME", "\"First\"");
    add("first", "\"Second\""); // changes the first replacement again
    memo->SetMailMergeItems(&items);
    memo->Print(&Canvas);
    EXPECT_EQ(Texts(), QStringList{QStringLiteral("Dear Second")});
}

// Five one-word lines in a memo two lines high.
TEST_F(ZvCsStdTest, MemoContinuesOrTruncates)
{
    const QString words = QStringLiteral("one two three four five");
    TZarvMemo* memo = AddMemo(words, 0.6, 2);
    memo->SetTruncate(true);
    memo->Print(&Canvas);
    EXPECT_EQ(Texts(), (QStringList{"one", "two"}));
    EXPECT_TRUE(memo->GetDonePrinting());

    // Without Truncate and ExpandParent the band asks for the memo's own
    // height, and the rest waits for the next print, before new text.
    Canvas.Calls.clear();
    memo->SetTruncate(false);
    memo->SetExpandParent(false);
    memo->BeforeReport();
    memo->SaveAdjusted();
    memo->BeginDataPass();
    EXPECT_DOUBLE_EQ(memo->HeightToPrint(), memo->AdjHeight());
    memo->Print(&Canvas);
    EXPECT_FALSE(memo->GetDonePrinting());
    memo->BeginDataPass();
    memo->Print(&Canvas);
    memo->BeginDataPass();
    memo->Print(&Canvas);
    EXPECT_EQ(Texts(), (QStringList{"one", "two", "three", "four", "five"}));
    EXPECT_TRUE(memo->GetDonePrinting());
    memo->AfterReport();
}

TEST_F(ZvCsStdTest, MemoLowerThanALineStillProgresses)
{
    TZarvMemo* memo = AddMemo(QStringLiteral("one two"), 0.6, 0.5);
    memo->Print(&Canvas);
    memo->Print(&Canvas);
    EXPECT_EQ(Texts(), (QStringList{"one", "two"}));
    EXPECT_TRUE(memo->GetDonePrinting());
}

TEST_F(ZvCsStdTest, PageNumberInitNumbersItsPageAndCountsOn)
{
    auto* init = Add<TZarvPageNumInit>(QStringLiteral("Init"));
    init->SetInitValue(5);
    Canvas.NewPage();
    Canvas.NewPage();
    ASSERT_EQ(Canvas.CurrentPage(), 3);
    init->Print(&Canvas);
    EXPECT_EQ(Canvas.RelativePage(), 5);
    Canvas.NewPage();
    EXPECT_EQ(Canvas.RelativePage(), 6);
}

TEST_F(ZvCsStdTest, WasteFitSectionMovesIntoThePrintableArea)
{
    Canvas.SetWaste(0.25);
    auto* section = Add<TZarvSection>(QStringLiteral("Section1"));
    section->SetBoundsRect(ZarvRect(0, 0, 2, 2));
    section->SetWasteFit(true);
    section->BeforePrint();
    EXPECT_NEAR(section->GetLeft(), 0.26, 1e-9);
    EXPECT_NEAR(section->GetTop(), 0.26, 1e-9);
    EXPECT_NEAR(section->GetRight(), 2.0, 1e-9);
    section->AfterPrint();
}

// A 200 x 100 pixel picture in a 2 x 2 inch image at (1, 1).
TEST_F(ZvCsStdTest, BitmapScalesByMatchSide)
{
    const struct {
        TMatchSide Side;
        const char* Expected;
    } rows[] = {
        {TMatchSide::msWidth, "Bitmap 1 1 3 2"},  // 2 wide, 1 high
        {TMatchSide::msHeight, "Bitmap 1 1 5 3"}, // 4 wide, 2 high
        {TMatchSide::msInside, "Bitmap 1 1 3 2"}, // wider than the box: as msWidth
        {TMatchSide::msBoth, "Bitmap 1 1 3 3"},
    };
    auto* image = Add<TZarvBitmap>(QStringLiteral("Bitmap1"));
    image->SetBoundsRect(ZarvRect(1, 1, 3, 3));
    TStreamedBitmap picture(200, 100);
    image->SetImage(&picture);
    for (const auto& row : rows) {
        Canvas.Calls.clear();
        image->SetMatchSide(row.Side);
        image->Print(&Canvas);
        EXPECT_EQ(Canvas.Calls, QStringList{QString::fromLatin1(row.Expected)}) << int(row.Side);
    }
}

TEST_F(ZvCsStdTest, StoredPictureSurvivesTheProjectFile)
{
    auto* image = Add<TZarvBitmap>(QStringLiteral("Bitmap1"));
    TStreamedBitmap picture(20, 10);
    image->SetImage(&picture);
    TMemoryStream stream;
    Project.SaveToStream(stream);
    TZarvProjectManager again(nullptr);
    stream.SetPosition(0);
    again.LoadFromStream(stream);
    auto* loaded = dynamic_cast<TZarvBitmap*>(
        again.ActiveReport()->LoadedPage(0)->FindComponent(QStringLiteral("Bitmap1")));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->ImageWidth(), 20);
    EXPECT_EQ(loaded->ImageHeight(), 10);
}

TEST_F(ZvCsStdTest, ImageWithoutDrawablePictureShowsAGreyCross)
{
    const QStringList placeholder = {"Pen 808080 0 1 4", "Brush 000000 1", "Rect 1 1 3 2", "MoveTo 1 1 w1",
                                     "LineTo 3 2 w1",    "MoveTo 1 2 w1",  "LineTo 3 1 w1"};
    auto* bitmap = Add<TZarvBitmap>(QStringLiteral("Bitmap1"));
    bitmap->SetBoundsRect(ZarvRect(1, 1, 3, 2));
    bitmap->SetFileLink(QStringLiteral("  /no/such/picture.bmp "));
    EXPECT_EQ(bitmap->FileLink(), QStringLiteral("/no/such/picture.bmp"));
    bitmap->Print(&Canvas);
    EXPECT_EQ(Canvas.Calls, placeholder);

    // A metafile keeps its bytes but cannot be drawn here.
    Canvas.Calls.clear();
    auto* metafile = Add<TZarvMetaFile>(QStringLiteral("MetaFile1"));
    metafile->SetBoundsRect(ZarvRect(1, 1, 3, 2));
    TMetafile emf;
    emf.SetBytes(QByteArray(100, '\1'));
    metafile->SetImage(&emf);
    metafile->Print(&Canvas);
    EXPECT_EQ(Canvas.Calls, placeholder);
    EXPECT_EQ(dynamic_cast<TMetafile*>(metafile->Image())->Bytes(), emf.Bytes());
}

} // namespace
