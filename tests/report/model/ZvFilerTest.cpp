#include "report/model/ZvFiler.h"

#include "ProjectFixtures.h"
#include "platform/forms/MessageService.h"
#include "platform/rtl/Extended80.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A component record built by hand: marker, class, name, byte 8, the
// properties, an empty name, the child count and the children.
QByteArray Record(const QString& className, const QString& name, const QByteArray& properties = {},
                  const std::vector<QByteArray>& children = {})
{
    QByteArray bytes = QByteArray(1, '\0') + Enc(className) + Enc(name) + QByteArray(1, char(kTagObject));
    bytes += properties + Enc(QString()) + QByteArray(1, char(children.size()));
    for (const QByteArray& child : children)
        bytes += child;
    return bytes;
}

QByteArray PageBytes(TZarvPage* page)
{
    TMemoryStream stream;
    TStreamHelper helper(stream);
    page->SaveToStreamHelper(helper);
    return stream.Bytes();
}

void LoadPage(TZarvPage* page, const QByteArray& bytes)
{
    TMemoryStream stream(bytes);
    TStreamHelper helper(stream);
    page->LoadFromStreamHelper(helper);
}

// What follows the first occurrence of the property name.
QByteArray ValueAfter(const QByteArray& bytes, const QString& name, int count)
{
    const qsizetype at = bytes.indexOf(Enc(name));
    return at < 0 ? QByteArray() : bytes.mid(at + Enc(name).size(), count);
}

class ZvFilerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProjectForTests();
        Project.New();
        Page = Project.ActiveReport()->LoadedPage(0);
        Copy.New();
        CopyPage = Copy.ActiveReport()->LoadedPage(0);
    }
    template <class T> T* Found(const QString& name) const
    {
        return dynamic_cast<T*>(CopyPage->FindComponent(name));
    }

    TZarvProjectManager Project{nullptr};
    TZarvProjectManager Copy{nullptr};
    TZarvPage* Page = nullptr;
    TZarvPage* CopyPage = nullptr;
};

TEST_F(ZvFilerTest, IntegersTakeTheSmallestForm)
{
    // Expected forms from the value table of the component record: tag 1
    // with an index up to 0x0FFFFFFF, tag 2 with the magnitude below
    // 0x10000000, tag 3 with an Int32 for everything else.
    struct Row {
        int Number;
        int32_t Value;
        QByteArray Expected; // empty: not written
    };
    const Row rows[] = {
        {1, 7, {}}, // the declared default
        {2, 0, Bytes({1, 0})},
        {3, 5, Bytes({1, 5})},
        {4, -5, Bytes({2, 5})},
        {5, 0x0FFFFFFF, Bytes({1, 0xEF, 0xFF, 0xFF, 0xFF})},
        {6, 0x10000000, Bytes({3, 0x00, 0x00, 0x00, 0x10})},
        {7, -0x0FFFFFFF, Bytes({2, 0xEF, 0xFF, 0xFF, 0xFF})},
        {8, -0x10000000, Bytes({3, 0x00, 0x00, 0x00, 0xF0})},
        {9, std::numeric_limits<int32_t>::min(), Bytes({3, 0x00, 0x00, 0x00, 0x80})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        auto* box = MakeOn<TKindBox>(Page, QStringLiteral("Box%1").arg(row.Number));
        box->SetCount(row.Value);
        const QByteArray bytes = PropertyBytes(box);
        if (row.Expected.isEmpty()) {
            EXPECT_EQ(bytes.indexOf(Enc(QStringLiteral("Count"))), -1);
            continue;
        }
        EXPECT_EQ(ValueAfter(bytes, QStringLiteral("Count"), int(row.Expected.size())), row.Expected);
        auto* back = MakeOn<TKindBox>(Page, QStringLiteral("Back%1").arg(row.Number));
        ReadPropertyBytes(back, bytes);
        EXPECT_EQ(back->Count(), row.Value);
    }
}

TEST_F(ZvFilerTest, EveryKindHasItsForm)
{
    auto* box = MakeOn<TKindBox>(Page, QStringLiteral("Box1"));
    box->SetLetter(u'x');
    box->SetBig(5);
    box->SetMode(TKindMode::kmTwo);
    box->SetStyles(0b101);
    const QByteArray bytes = PropertyBytes(box);
    // The value table: a character as tag 4 and a string of one character,
    // an enumeration as tag 0 and its name, a set as tag 7 and its members,
    // a float always (even 0) as tag 5 and 10 bytes, a 64-bit integer in
    // the integer forms.
    const std::pair<QString, QByteArray> rows[] = {
        {QStringLiteral("Letter"), QByteArray(1, 4) + Enc(QStringLiteral("x"))},
        {QStringLiteral("Big"), Bytes({1, 5})},
        {QStringLiteral("Mode"), QByteArray(1, 0) + Enc(QStringLiteral("kmTwo"))},
        {QStringLiteral("Styles"),
         QByteArray(1, 7) + Enc(QStringLiteral("ksA")) + Enc(QStringLiteral("ksC")) + Enc(QString())},
        {QStringLiteral("Ratio"), QByteArray(1, 5) + QByteArray(10, 0)},
    };
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(ValueAfter(bytes, name, int(expected.size())), expected) << name.toStdString();
    // An empty string and a component reference that is nil are not written.
    EXPECT_EQ(bytes.indexOf(Enc(QStringLiteral("Label"))), -1);
    EXPECT_EQ(bytes.indexOf(Enc(QStringLiteral("Target"))), -1);
    EXPECT_EQ(bytes.indexOf(Enc(QStringLiteral("Name"))), -1);
}

TEST_F(ZvFilerTest, ATreeReadsBackWithItsReferences)
{
    // Box1 refers to Box2 and Box3, which come after it in the record.
    auto* box1 = MakeOn<TKindBox>(Page, QStringLiteral("Box1"));
    auto* box2 = MakeOn<TKindBox>(Page, QStringLiteral("Box2"));
    auto* box3 = MakeOn<TTestText>(box2, QStringLiteral("Box3"));
    box3->SetRotation(9);
    box1->SetLetter(QChar(0x00E9));
    box1->SetBig(-3);
    box1->SetMode(TKindMode::kmThree);
    box1->SetStyles(0b101);
    box1->SetRatio(2.5);
    box1->SetLabel(QStringLiteral("Label \u20AC"));
    box1->SetTarget(box2);
    TZarvComponentList links;
    links.Add(box2);
    links.Add(box3);
    box1->SetLinks(&links);
    for (const char* body : {"first", "second"}) {
        auto* event = new TZarvSimpleEvent;
        event->SetBody(QString::fromLatin1(body));
        box1->Items()->Add(event);
    }
    box1->Lines()->Add(QStringLiteral("a"));
    box1->Lines()->Add(QStringLiteral("b"));
    TZarvSimpleEvent onPrint;
    onPrint.SetBody(QStringLiteral("print"));
    box1->SetOnBeforePrint(&onPrint);
    box1->OnBeforePrint()->SetModuleOwner(Page);

    LoadPage(CopyPage, PageBytes(Page));

    auto* copy1 = Found<TKindBox>(QStringLiteral("Box1"));
    auto* copy2 = Found<TKindBox>(QStringLiteral("Box2"));
    auto* copy3 = Found<TTestText>(QStringLiteral("Box3"));
    ASSERT_TRUE(copy1 && copy2 && copy3);
    EXPECT_EQ(copy3->Parent(), copy2);
    EXPECT_EQ(copy3->Rotation(), 9);
    EXPECT_EQ(copy1->Letter(), QChar(0x00E9));
    EXPECT_EQ(copy1->Big(), -3);
    EXPECT_EQ(copy1->Mode(), TKindMode::kmThree);
    EXPECT_EQ(copy1->Styles(), 0b101u);
    EXPECT_EQ(copy1->Ratio(), 2.5);
    EXPECT_EQ(copy1->Label(), QStringLiteral("Label \u20AC"));
    EXPECT_EQ(copy1->Target(), copy2);
    ASSERT_EQ(copy1->Links()->Count(), 2);
    EXPECT_EQ(copy1->Links()->Items(0), copy2);
    EXPECT_EQ(copy1->Links()->Items(1), copy3);
    ASSERT_EQ(copy1->Items()->Count(), 2);
    EXPECT_EQ(dynamic_cast<TZarvEvent*>(copy1->Items()->Items(1))->Body(), QStringLiteral("second"));
    EXPECT_EQ(copy1->Lines()->Text(), QStringLiteral("a\r\nb\r\n"));
    // The event is the component's own, owned by it and bound to the page
    // of the copy.
    ASSERT_NE(copy1->OnBeforePrint(), nullptr);
    EXPECT_EQ(copy1->OnBeforePrint()->Body(), QStringLiteral("print"));
    EXPECT_EQ(copy1->OnBeforePrint()->Owner(), copy1);
    EXPECT_EQ(copy1->OnBeforePrint()->ModuleOwner(), CopyPage);
    EXPECT_EQ(Copy.ForwardRefCount(), 0);
}

TEST_F(ZvFilerTest, ReferencesAreNamedFromTheRecordsOwner)
{
    auto* home = Project.ActiveReport()->LoadedPage(0);
    auto* page2 = Project.ActiveReport()->NewPage();
    auto* report2 = Project.NewReport();
    auto* onPage2 = MakeOn<TKindBox>(page2, QStringLiteral("Box9"));
    auto* ownedByReport = new TKindBox(report2);
    ownedByReport->SetName(QStringLiteral("Text1"));
    auto* sibling = MakeOn<TKindBox>(home, QStringLiteral("Box2"));
    auto* never = MakeOn<TNeverBox>(home, QStringLiteral("Never1"));
    auto* box = MakeOn<TKindBox>(home, QStringLiteral("Box1"));
    // Rows from the reference rule of the property stream.
    struct Row {
        int Number;
        TZarvControl* Target;
        QString Expected;
    };
    const Row rows[] = {
        {1, sibling, QStringLiteral("Box2")},                // owned by the record's owner
        {2, ownedByReport, QStringLiteral("Report2.Text1")}, // owned by another report
        {3, onPage2, QStringLiteral("Page2.Box9")},          // on another page of the same report
        {4, never, QStringLiteral("*Never1")},               // never copied into a run's project
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        box->SetTarget(row.Target);
        const QByteArray expected = Enc(QStringLiteral("Target")) + QByteArray(1, 0) + Enc(row.Expected);
        EXPECT_TRUE(PageBytes(home).contains(expected));
    }
}

TEST_F(ZvFilerTest, ReadingDropsWhatTheClassCannotTake)
{
    auto* box = MakeOn<TKindBox>(Page, QStringLiteral("Box1"));
    box->SetMode(TKindMode::kmTwo);
    box->SetCount(3);
    const QByteArray bytes =
        QByteArray(1, 8) + Enc(QStringLiteral("Mode")) + QByteArray(1, 0) +
        Enc(QStringLiteral("kmNine")) + // unknown value: kept
        Enc(QStringLiteral("Styles")) + QByteArray(1, 7) + Enc(QStringLiteral("ksB")) +
        Enc(QStringLiteral("ksZ")) + Enc(QString()) + // unknown member: dropped
        Enc(QStringLiteral("Nope")) + QByteArray(1, 8) + Enc(QStringLiteral("Label")) + QByteArray(1, 6) +
        Enc(QStringLiteral("inner")) + Enc(QString()) + // unknown object: dropped whole
        Enc(QStringLiteral("Gone")) + QByteArray(1, 9) + Enc(QStringLiteral("X")) + Enc(QString()) +
        Enc(QStringLiteral("Count")) + QByteArray(1, 0) + // tag 0 for an integer is 0
        Enc(QStringLiteral("Letter")) + QByteArray(1, 4) + Enc(QStringLiteral("q")) +
        Enc(QStringLiteral("Font")) + QByteArray(1, 8) + Enc(QString()) + // a nested object first ...
        Enc(QStringLiteral("OldLabel")) + QByteArray(1, 6) +
        Enc(QStringLiteral("old")) + // ... then an override
        Enc(QString());
    ReadPropertyBytes(box, bytes);
    EXPECT_EQ(box->Mode(), TKindMode::kmTwo);
    EXPECT_EQ(box->Styles(), 0b010u);
    EXPECT_EQ(box->Count(), 0);
    EXPECT_EQ(box->Letter(), u'q');
    EXPECT_EQ(box->Label(), QStringLiteral("old"));
}

TEST_F(ZvFilerTest, LeftAndTopAreNeverOfferedToDefinedProperties)
{
    auto* box = MakeOn<TKindBox>(Page, QStringLiteral("Box1"));
    box->SetLeft(1);
    box->SetTop(2);
    box->SetLabel(QStringLiteral("x"));
    LoadPage(CopyPage, PageBytes(Page));
    const QStringList offered = Found<TKindBox>(QStringLiteral("Box1"))->Offered;
    EXPECT_TRUE(offered.contains(QStringLiteral("Label")));
    EXPECT_FALSE(offered.contains(QStringLiteral("Left")));
    EXPECT_FALSE(offered.contains(QStringLiteral("Top")));
}

TEST_F(ZvFilerTest, AnUnknownClassIsSkippedWithItsChildren)
{
    MakeOn<TKindBox>(Page, QStringLiteral("Box1"));
    auto* unknown = MakeOn<TTestBox>(Page, QStringLiteral("Box2"));
    MakeOn<TTestBox>(unknown, QStringLiteral("Child1"));
    MakeOn<TTestBox>(unknown, QStringLiteral("Child2"));
    MakeOn<TKindBox>(Page, QStringLiteral("Box3"))->SetLabel(QStringLiteral("third"));
    QByteArray bytes = PageBytes(Page);
    bytes.replace(Enc(QStringLiteral("TTestBox")), Enc(QStringLiteral("TMissing")));

    TScriptedMessages messages;
    LoadPage(CopyPage, bytes);
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(
        messages.Shown().front().Text,
        QStringLiteral("Unknown class \"TMissing\" found.  You will need to include the unit containing this "
                       "component to your uses clause."));
    ASSERT_EQ(CopyPage->GetChildCount(), 2);
    EXPECT_EQ(Found<TKindBox>(QStringLiteral("Box3"))->Label(), QStringLiteral("third"));
    EXPECT_EQ(CopyPage->FindComponent(QStringLiteral("Child1")), nullptr);
}

TEST_F(ZvFilerTest, RefusedPlacementsAreSkippedSilently)
{
    // A line keeps no children, and pages are made by their report only.
    const QByteArray bytes = Record(QStringLiteral("TZarvPage"), QStringLiteral("Page1"), {},
                                    {Record(QStringLiteral("TTestLine"), QStringLiteral("Line1"), {},
                                            {Record(QStringLiteral("TKindBox"), QStringLiteral("Inner"))}),
                                     Record(QStringLiteral("TZarvPage"), QStringLiteral("Sneaky")),
                                     Record(QStringLiteral("TKindBox"), QStringLiteral("After"))});
    TScriptedMessages messages;
    LoadPage(CopyPage, bytes);
    EXPECT_TRUE(messages.Shown().empty());
    ASSERT_EQ(CopyPage->GetChildCount(), 2);
    EXPECT_EQ(Found<TTestLine>(QStringLiteral("Line1"))->GetChildCount(), 0);
    EXPECT_NE(Found<TKindBox>(QStringLiteral("After")), nullptr);
    EXPECT_EQ(CopyPage->FindComponent(QStringLiteral("Inner")), nullptr);
    EXPECT_EQ(CopyPage->FindComponent(QStringLiteral("Sneaky")), nullptr);
}

TEST_F(ZvFilerTest, FormatErrorsRaiseTheirMessages)
{
    QByteArray deep = Record(QStringLiteral("TKindBox"), QStringLiteral("Box0"));
    for (int i = 1; i < 300; ++i)
        deep = Record(QStringLiteral("TKindBox"), QStringLiteral("Box%1").arg(i), {}, {deep});
    const QByteArray nan = QByteArray::fromHex("0000000000000000ffff"); // an extended that is no number
    struct Row {
        int Number;
        QByteArray Page; // a page record
        QString Message;
    };
    const Row rows[] = {
        {1,
         Record(QStringLiteral("TZarvPage"), QStringLiteral("Page1"), {},
                {Record(QStringLiteral("TKindBox"), QStringLiteral("B"),
                        Enc(QStringLiteral("Nope")) + QByteArray(1, 11))}),
         QStringLiteral("Attempt to read invalid property type.  TTypeKind = 0")},
        {2,
         Record(QStringLiteral("TZarvPage"), QStringLiteral("Page1"), {},
                {Record(QStringLiteral("TKindBox"), QStringLiteral("B"),
                        Enc(QStringLiteral("Ratio")) + QByteArray(1, 5) + nan)}),
         QStringLiteral("Invalid floating point value for property Ratio")},
        {3, Record(QStringLiteral("TZarvPage"), QStringLiteral("Page1"), {}, {deep}),
         QStringLiteral("Components nested deeper than 200 levels")},
        {4, Record(QStringLiteral("TZarvPage"), QStringLiteral("Page1")).replace(0, 1, "\x01"),
         QStringLiteral("Invalid component record marker 1")},
        {5, Record(QStringLiteral("TZarvPage"), QStringLiteral("Page1")).left(20),
         QStringLiteral("Stream read error")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        try {
            LoadPage(CopyPage, row.Page);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), row.Message);
        }
    }
    auto* variant = MakeOn<TVariantBox>(Page, QStringLiteral("Variant1"));
    try {
        PropertyBytes(variant);
        ADD_FAILURE() << "no exception";
    } catch (const EZarvException& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Attempt to write invalid property type.  TTypeKind = 12"));
    }
}

// A report length (a page's width) larger than a page snapshot can carry is
// refused where it is read. The largest length a snapshot carries, and a
// huge value of a property that is no length, load as stored.
TEST_F(ZvFilerTest, LengthsBeyondWhatASnapshotCarriesAreRefused)
{
    const auto floatValue = [](double value) {
        const TExtended80Rec extended = DoubleToExtended(value);
        return QByteArray(1, char(kTagFloat)) +
               QByteArray(reinterpret_cast<const char*>(extended.data()), qsizetype(extended.size()));
    };
    struct Row {
        int Number;
        double Width;
        bool Refused;
    };
    const Row rows[] = {{1, 4.08e42, true}, {2, -4.08e42, true}, {3, 100000, true}, {4, 99999, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        const QString box = QStringLiteral("Box%1").arg(row.Number);
        const QByteArray page = Record(
            QStringLiteral("TZarvPage"), QStringLiteral("Page1"),
            Enc(QStringLiteral("PageWidth")) + floatValue(row.Width),
            {Record(QStringLiteral("TKindBox"), box, Enc(QStringLiteral("Ratio")) + floatValue(4.08e42))});
        try {
            LoadPage(CopyPage, page);
            EXPECT_FALSE(row.Refused) << "no exception";
            EXPECT_EQ(CopyPage->PageWidth(), row.Width);
            ASSERT_NE(Found<TKindBox>(box), nullptr);
            EXPECT_EQ(Found<TKindBox>(box)->Ratio(), 4.08e42);
        } catch (const EZarvException& error) {
            EXPECT_TRUE(row.Refused);
            EXPECT_EQ(error.Message(), QStringLiteral("Invalid floating point value for property PageWidth"));
        }
    }
}

} // namespace
