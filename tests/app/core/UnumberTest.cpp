#include "app/core/Unumber.h"
#include "app/core/Unan.h"
#include "tests/app/core/CoreFixture.h"

namespace {

struct Edit : TNumberEdit {
    QString Value;
    explicit Edit(const QString& text = QString()) : Value(text) {}
    QString Text() const override { return Value; }
    void SetText(const QString& text) override { Value = text; }
};

class UnumberTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        list = std::make_unique<NCLIST>();
        list->Readout().Reset();
    }
    std::unique_ptr<NCLIST> list;
};

TEST_F(UnumberTest, EmptyEditGivesTheEmptyValue)
{
    Edit edit(QStringLiteral("10"));
    ASSERT_TRUE(list->Add(&edit, NanValue()));
    list->Refresh();
    EXPECT_EQ(edit.Value, QString()); // the edit opens empty whatever it held

    edit.Value = QStringLiteral("3");
    ASSERT_TRUE(list->ReadEdit(&edit));
    double v = 0;
    EXPECT_TRUE(list->GetValue(&edit, v));
    EXPECT_DOUBLE_EQ(v, 3.0);

    edit.Value.clear();
    EXPECT_TRUE(list->ReadEdit(&edit));
    v = 5;
    EXPECT_FALSE(list->GetValue(&edit, v));
    EXPECT_EQ(v, 0.0);
    list->Refresh();
    EXPECT_EQ(edit.Value, QString());

    // Text that is not a number empties the value too, without an exception.
    edit.Value = QStringLiteral("1.2,3x");
    EXPECT_TRUE(list->ReadEdit(&edit));
    EXPECT_FALSE(list->GetValue(&edit, v));
}

// Rows: unit, resolution, typed text, stored mm, text after Refresh. Source:
// inch texts are converted by 25.4; the readout's formats.
TEST_F(UnumberTest, TypedTextBecomesMillimetresAndIsShownInTheUnit)
{
    struct Row {
        int n;
        int unit, resolution;
        const char* typed;
        double mm;
        const char* shown;
    };
    const Row rows[] = {
        {1, 1, 2, "1", 25.4, "  +01.000000"},  {2, 0, 0, "12.3456", 12.3456, "  +012.345.6"},
        {3, 0, 3, "0,5", 0.5, "    +000.500"}, {4, 1, 0, "0.5", 12.7, "  +00.500000"},
        {5, 0, 0, "-2", -2.0, "  -002.000.0"},
    };
    for (const Row& row : rows) {
        SetUp();
        Edit edit;
        list->Add(&edit, NanValue());
        list->Readout().SetUnit(row.unit);
        list->Readout().SetResolution(row.resolution);
        edit.Value = QString::fromLatin1(row.typed);
        ASSERT_TRUE(list->ReadEdit(&edit)) << row.n;
        double v = 0;
        ASSERT_TRUE(list->GetValue(&edit, v)) << row.n;
        EXPECT_NEAR(v, row.mm, 1e-12) << row.n;
        list->Refresh();
        EXPECT_EQ(edit.Value, QString::fromLatin1(row.shown)) << row.n;
    }
}

TEST_F(UnumberTest, UnitChangeRewritesWithoutChangingTheValues)
{
    Edit a;
    Edit b;
    list->Add(&a, 25.4);
    list->Add(&b, NanValue());
    list->Refresh();
    EXPECT_EQ(a.Value, QStringLiteral("  +025.400.0"));
    list->Readout().SetUnit(1);
    list->Readout().SetResolution(2);
    list->Refresh();
    EXPECT_EQ(a.Value, QStringLiteral("  +01.000000"));
    EXPECT_EQ(b.Value, QString());
    double v = 0;
    EXPECT_TRUE(list->GetValue(&a, v));
    EXPECT_EQ(v, 25.4);
}

TEST_F(UnumberTest, LookUpsFindTheFirstBinding)
{
    Edit edit;
    Edit unbound(QStringLiteral("7"));
    EXPECT_FALSE(list->ReadEdit(&edit)); // nothing bound yet
    list->Add(&edit, 1.0);
    list->Add(&edit, 2.0);
    EXPECT_EQ(list->Count(), 2);
    double v = 0;
    EXPECT_TRUE(list->GetValue(&edit, v));
    EXPECT_EQ(v, 1.0);
    list->SetValue(&edit, 3.0);
    EXPECT_TRUE(list->GetValue(&edit, v));
    EXPECT_EQ(v, 3.0);

    EXPECT_FALSE(list->GetValue(&unbound, v));
    list->SetValue(&unbound, 4.0);
    EXPECT_TRUE(list->ReadEdit(&unbound));
    EXPECT_FALSE(list->GetValue(&unbound, v));
    EXPECT_EQ(unbound.Value, QStringLiteral("7"));

    // Both bindings are written; the second keeps its own value.
    list->Refresh();
    EXPECT_EQ(edit.Value, QStringLiteral("  +002.000.0"));

    list->Clear();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_FALSE(list->ReadEdit(&edit));
    EXPECT_FALSE(list->GetValue(&edit, v));
}

// A value that is not finite (not the empty value) shows as "" instead of
// digits of nonsense.
TEST_F(UnumberTest, NonFiniteValueShowsEmpty)
{
    Edit edit(QStringLiteral("x"));
    list->Add(&edit, INFINITY);
    list->Refresh();
    EXPECT_EQ(edit.Value, QString());
}

// An edit that shows the text the list wrote holds its value exactly, in
// whatever unit the text rounds it to. A text typed since that reads as the
// same number (blanks or not) is no change; another number, however close,
// is the user's, and so is a text written over a value set since.
TEST_F(UnumberTest, AnEditHoldsItsValueWhileItsTextReadsAsTheWindowsOwn)
{
    Edit edit;
    Edit never(QStringLiteral("5"));
    list->Add(&edit, NanValue());
    list->Add(&never, 5.0);
    EXPECT_FALSE(list->ShowsValue(&never)); // never refreshed: its text is not the list's
    EXPECT_FALSE(list->LengthOf(&never).Held);
    EXPECT_FALSE(list->ShowsValue(nullptr));
    EXPECT_TRUE(IsNan(list->LengthOf(nullptr).Value));

    edit.Value = QStringLiteral("100");
    list->ReadEdit(&edit);
    EXPECT_FALSE(list->ShowsValue(&edit));
    TLengthInput input = list->LengthOf(&edit);
    EXPECT_FALSE(input.Held);
    EXPECT_EQ(input.Value, 100.0);
    EXPECT_EQ(input.Typed, "100");
    EXPECT_EQ(input.TypedUnit, 0);

    // Flipped to inch: the text rounds 100 mm to 3.937008 in, the value
    // stays 100 and the typed text stays that of the value.
    list->Readout().SetUnit(1);
    list->Readout().SetResolution(2);
    list->Refresh();
    EXPECT_EQ(edit.Value, "  +03.937008");
    EXPECT_TRUE(list->ShowsValue(&edit));
    input = list->LengthOf(&edit);
    EXPECT_TRUE(input.Held);
    EXPECT_EQ(input.Value, 100.0);
    EXPECT_EQ(input.Typed, "100");
    EXPECT_EQ(input.TypedUnit, 0);

    // Typed back key by key, with or without the blanks or with more
    // digits: the same number, the value held and its typed text.
    for (const char* same : {"  +03.937008", "+03.937008", "3.937008", "3.93700800", "+3,937008"}) {
        edit.Value = QStringLiteral("+03.9");
        list->ReadEdit(&edit);
        edit.Value = QString::fromLatin1(same);
        list->ReadEdit(&edit);
        double v = 0;
        ASSERT_TRUE(list->GetValue(&edit, v)) << same;
        EXPECT_EQ(v, 100.0) << same;
        input = list->LengthOf(&edit);
        EXPECT_TRUE(input.Held) << same;
        EXPECT_EQ(input.Value, 100.0) << same;
        EXPECT_EQ(input.Typed, "100") << same;
        EXPECT_EQ(input.TypedUnit, 0) << same;
    }
    // Another number, however close, is read as typed.
    for (const char* other : {"+03.937009", "3.9370079", "3.937"}) {
        edit.Value = QString::fromLatin1(other);
        list->ReadEdit(&edit);
        input = list->LengthOf(&edit);
        EXPECT_FALSE(input.Held) << other;
        EXPECT_EQ(input.Value, ReadNumber(QString::fromLatin1(other)) * 25.4) << other;
        EXPECT_EQ(input.Typed, QString::fromLatin1(other)) << other;
        EXPECT_EQ(input.TypedUnit, 1) << other;
        double v = 0;
        ASSERT_TRUE(list->GetValue(&edit, v));
        EXPECT_EQ(v, input.Value) << other;
    }
    // A text written without the list's change handler is read as it stands.
    edit.Value = QStringLiteral("  +03.937000");
    EXPECT_FALSE(list->ShowsValue(&edit));
    EXPECT_NEAR(list->LengthOf(&edit).Value, 3.937 * 25.4, 1e-12);
    edit.Value = QStringLiteral("  +03.937008");
    EXPECT_TRUE(list->LengthOf(&edit).Held);

    // A value set (or typed) since the last refresh: the old text is no
    // longer the window's text for the value held now.
    list->SetValue(&edit, 50.0);
    EXPECT_FALSE(list->ShowsValue(&edit));
    input = list->LengthOf(&edit);
    EXPECT_FALSE(input.Held);
    EXPECT_NEAR(input.Value, 3.937008 * 25.4, 1e-12);
    list->Refresh();
    EXPECT_TRUE(list->ShowsValue(&edit));
    list->SetTypedValue(&edit, 60.0);
    EXPECT_FALSE(list->ShowsValue(&edit));
    EXPECT_FALSE(list->LengthOf(&edit).Held);

    // An empty value shows as "", which is the list's text too, with no
    // typed text behind it.
    edit.Value = QStringLiteral("abc");
    list->ReadEdit(&edit);
    list->Refresh();
    EXPECT_EQ(edit.Value, "");
    EXPECT_TRUE(list->ShowsValue(&edit));
    input = list->LengthOf(&edit);
    EXPECT_TRUE(input.Held);
    EXPECT_TRUE(IsNan(input.Value));
    EXPECT_EQ(input.Typed, "");
}

// A text the readout cannot read but the window read itself (an inch size
// "1 1/2") is a third state: held as typed, kept through a refresh in its
// unit, shown as its value in the other unit, and no longer held once the
// text or the unit is another. In mm the same text is read as ever.
TEST_F(UnumberTest, ATypedTextTheWindowReadIsHeldAsTyped)
{
    Edit edit;
    Edit other;
    list->Add(&edit, NanValue());
    list->Add(&other, 10.0);
    list->Readout().SetUnit(1);
    list->Readout().SetResolution(2);
    list->Refresh();

    edit.Value = QStringLiteral("1 1/2");
    list->ReadEdit(&edit);
    EXPECT_TRUE(IsNan(list->LengthOf(&edit).Value));
    list->HoldTypedValue(&edit, 38.1);
    const auto expectHeld = [&](const char* what) {
        const TLengthInput input = list->LengthOf(&edit);
        EXPECT_TRUE(input.Held) << what;
        EXPECT_EQ(input.Value, 38.1) << what;
        EXPECT_EQ(input.Typed, "1 1/2") << what;
        EXPECT_EQ(input.TypedUnit, 1) << what;
    };
    expectHeld("held");
    EXPECT_FALSE(list->ShowsValue(&edit)); // not the window's text
    list->Refresh();
    list->Refresh(&edit);
    EXPECT_EQ(edit.Value, "1 1/2");
    EXPECT_EQ(other.Value, "  +00.393701");
    expectHeld("refreshed in inch");
    list->ReadEdit(&edit); // the change handler again, with the same text
    expectHeld("read again");
    double v = 0;
    ASSERT_TRUE(list->GetValue(&edit, v));
    EXPECT_EQ(v, 38.1);

    // Another text is the user's, until the window reads it.
    edit.Value = QStringLiteral("1 1/4");
    list->ReadEdit(&edit);
    EXPECT_FALSE(list->LengthOf(&edit).Held);
    EXPECT_FALSE(list->GetValue(&edit, v));
    edit.Value = QStringLiteral("1 1/2");
    list->ReadEdit(&edit);
    EXPECT_FALSE(list->LengthOf(&edit).Held);
    list->HoldTypedValue(&edit, 38.1);

    // Flipped to mm: the value in mm, the window's text; the typed text
    // stays the value's.
    list->Readout().SetUnit(0);
    list->Readout().SetResolution(0);
    list->Refresh();
    EXPECT_EQ(edit.Value, "  +038.100.0");
    EXPECT_TRUE(list->ShowsValue(&edit));
    expectHeld("flipped to mm");
    list->Readout().SetUnit(1);
    list->Readout().SetResolution(2);
    list->Refresh();
    EXPECT_EQ(edit.Value, "  +01.500000");
    expectHeld("flipped back");

    // Typed in mm, the fraction is no number.
    list->Readout().SetUnit(0);
    list->Readout().SetResolution(0);
    list->Refresh();
    edit.Value = QStringLiteral("1 1/2");
    list->ReadEdit(&edit);
    EXPECT_FALSE(list->LengthOf(&edit).Held);
    EXPECT_FALSE(list->GetValue(&edit, v));

    // A value held for a text typed in inch is the user's in mm.
    list->Readout().SetUnit(1);
    list->HoldTypedValue(&edit, 38.1);
    list->Readout().SetUnit(0);
    EXPECT_FALSE(list->LengthOf(&edit).Held);
    list->Refresh();
    EXPECT_EQ(edit.Value, "  +038.100.0");
}

// A set value was not typed; a value set for the typed text (a fraction the
// readout cannot read) keeps that text.
TEST_F(UnumberTest, SetValuesAndTypedValues)
{
    Edit edit;
    list->Add(&edit, NanValue());
    list->Readout().SetUnit(1);
    edit.Value = QStringLiteral("1 1/2");
    list->ReadEdit(&edit);
    double v = 0;
    EXPECT_FALSE(list->GetValue(&edit, v));
    list->SetTypedValue(&edit, 38.1);
    list->Refresh();
    EXPECT_TRUE(list->ShowsValue(&edit));
    ASSERT_TRUE(list->GetValue(&edit, v));
    EXPECT_EQ(v, 38.1);
    QString typed;
    int unit = 0;
    ASSERT_TRUE(list->TypedText(&edit, typed, unit));
    EXPECT_EQ(typed, "1 1/2");
    EXPECT_EQ(unit, 1);

    list->SetValue(&edit, 25.4);
    EXPECT_FALSE(list->TypedText(&edit, typed, unit));
    EXPECT_EQ(typed, "");
    Edit unbound;
    list->SetTypedValue(&unbound, 1.0);
    EXPECT_FALSE(list->GetValue(&unbound, v));
    EXPECT_FALSE(list->TypedText(&unbound, typed, unit));
}

} // namespace
