// The component reader and writer over the two test classes, which publish a
// property of every kind. Expected streams are given in the text form, which
// ObjectTextTest checks byte for byte against Free Pascal's converter.
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "platform/rtl/Streams.h"
#include "tests/platform/objects/TestClasses.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class FilerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterTestClasses();
        TKindsBox::LoadedLog().clear();
    }
};

QByteArray Bin(const char* text)
{
    return ObjectTextToBinary(QByteArray(text));
}

std::unique_ptr<TKindsForm> ReadForm(const char* text)
{
    TComponent* root = ReadComponentFromBytes(Bin(text), nullptr);
    auto* form = dynamic_cast<TKindsForm*>(root);
    if (!form)
        delete root;
    return std::unique_ptr<TKindsForm>(form);
}

QString WriteText(TComponent* root)
{
    return QString::fromUtf8(ObjectBinaryToText(WriteComponentToBytes(root)));
}

TKindsBox* Box(TComponent* owner, const char* name)
{
    return dynamic_cast<TKindsBox*>(owner->FindComponent(QString::fromLatin1(name)));
}

// Reads every object onto an existing one, as the localizer reads a form
// resource onto a living window.
class TOntoLivingReader : public TReader {
public:
    using TReader::TReader;
    void ReadPrefix(TFilerFlags& flags, int& childPos) override
    {
        TReader::ReadPrefix(flags, childPos);
        flags |= ffInherited;
    }
};

// A form of every property kind, as the writer must write it: published
// properties in declaration order (ancestors first), owned objects by dotted
// path, the defined properties of an object after its published ones, and no
// value that equals its default.
const char* const kEveryKind = R"(object Form1: TKindsForm
  Tag = 7
  Count = 0
  Letter = 'z'
  Align = alClient
  Enabled = False
  Anchors = [akRight, akBottom]
  Ratio = 1.25
  Scale = 2.5s
  Price = 12.3456c
  Stamp = 45000.5d
  Code = 'AB'
  Hint = 'caf'#233
  Caption = #8364'42'
  Big = 5000000000
  Extra = 'variant'
  OnClick = BoxClick
  Buddy = Box1
  Font.Name = 'Courier'
  Font.Size = 12
  Lines.Strings = (
    'one'
    ''
    'three')
  Items = <
    item
      Width = 3
      Caption = 'first'
    end
    item
    end>
  Title = 'Every kind'
  Blob = {
    00FF10}
  object Box1: TKindsBox
    Font.Name = 'Arial'
  end
end
)";

TEST_F(FilerTest, EveryKindIsWrittenAsExpectedAndReadBack)
{
    auto form = ReadForm(kEveryKind);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->Name(), "Form1");
    EXPECT_EQ(form->Tag(), 7);
    EXPECT_EQ(form->Count(), 0);
    EXPECT_EQ(form->Letter(), QLatin1Char('z'));
    EXPECT_EQ(form->Align(), TTestAlign::alClient);
    EXPECT_FALSE(form->Enabled());
    EXPECT_EQ(form->Anchors(), akRight | akBottom);
    EXPECT_EQ(form->Ratio(), 1.25);
    EXPECT_EQ(form->Scale(), 2.5f);
    EXPECT_EQ(form->Price(), 12.3456);
    EXPECT_EQ(form->Stamp(), 45000.5);
    EXPECT_EQ(form->Code(), "AB");
    EXPECT_EQ(form->Hint(), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(form->Caption(), QStringLiteral("\u20ac42"));
    EXPECT_EQ(form->Big(), 5000000000LL);
    EXPECT_EQ(form->Extra(), QVariant(QStringLiteral("variant")));
    EXPECT_EQ(form->OnClick(), (TMethod{QStringLiteral("BoxClick"), form.get()}));
    EXPECT_EQ(form->Buddy(), Box(form.get(), "Box1"));
    EXPECT_EQ(form->Font()->Name(), "Courier");
    EXPECT_EQ(form->Font()->Size(), 12);
    EXPECT_EQ(form->Lines()->ToQStringList(), QStringList({"one", "", "three"}));
    ASSERT_EQ(form->Items()->Count(), 2);
    EXPECT_EQ(static_cast<TTestItem*>(form->Items()->Items(0))->Width(), 3);
    EXPECT_EQ(static_cast<TTestItem*>(form->Items()->Items(0))->Caption(), "first");
    EXPECT_EQ(form->Title(), "Every kind");
    EXPECT_EQ(form->Blob, QByteArray::fromHex("00FF10"));
    EXPECT_FALSE(form->ComponentState().Contains(TComponentStateFlag::csLoading));
    EXPECT_FALSE(form->ComponentState().Contains(TComponentStateFlag::csReading));

    EXPECT_EQ(WriteText(form.get()), QString::fromLatin1(kEveryKind));
}

TEST_F(FilerTest, DefaultValuesAreNotWritten)
{
    TKindsForm form(nullptr);
    form.SetName(QStringLiteral("Form1"));
    TKindsBox* box = new TKindsBox(&form);
    box->SetName(QStringLiteral("Box1"));
    // Every property holds its default; the font name is a non-empty
    // string, which has no default and is written.
    EXPECT_EQ(WriteText(&form), QStringLiteral("object Form1: TKindsForm\n"
                                               "  Font.Name = 'Arial'\n"
                                               "  object Box1: TKindsBox\n"
                                               "    Font.Name = 'Arial'\n"
                                               "  end\n"
                                               "end\n"));
    // The non-default neighbours of every default: 6 is written because the
    // default is 5, 0 for the set because the default is [akLeft, akTop].
    form.SetCount(6);
    form.SetAnchors(0);
    form.SetEnabled(false);
    form.SetLetter(QLatin1Char('B'));
    form.Font()->SetName(QString());
    box->SetCount(5);
    EXPECT_EQ(WriteText(&form), QStringLiteral("object Form1: TKindsForm\n"
                                               "  Count = 6\n"
                                               "  Letter = 'B'\n"
                                               "  Enabled = False\n"
                                               "  Anchors = []\n"
                                               "  object Box1: TKindsBox\n"
                                               "    Font.Name = 'Arial'\n"
                                               "  end\n"
                                               "end\n"));
}

TEST_F(FilerTest, ForwardReferencesAreResolvedBeforeLoaded)
{
    auto form = ReadForm("object Form1: TKindsForm\n"
                         "  Buddy = Box2\n"
                         "  object Box1: TKindsBox\n"
                         "    Buddy = Box2\n"
                         "  end\n"
                         "  object Box2: TKindsBox\n"
                         "    Buddy = Owner\n"
                         "  end\n"
                         "end\n");
    ASSERT_TRUE(form);
    TKindsBox* box1 = Box(form.get(), "Box1");
    TKindsBox* box2 = Box(form.get(), "Box2");
    EXPECT_EQ(form->Buddy(), box2);
    EXPECT_EQ(box1->Buddy(), box2);
    EXPECT_EQ(box2->Buddy(), form.get());
    // Loaded runs in load order, after every reference is in.
    EXPECT_EQ(TKindsBox::LoadedLog(), QStringList({"Form1->Box2", "Box1->Box2", "Box2->Form1"}));
}

TEST_F(FilerTest, FreeNotificationClearsReferences)
{
    auto form = ReadForm("object Form1: TKindsForm\n"
                         "  object Box1: TKindsBox\n"
                         "    Buddy = Box2\n"
                         "  end\n"
                         "  object Box2: TKindsBox\n"
                         "  end\n"
                         "end\n");
    ASSERT_TRUE(form);
    TKindsBox* box1 = Box(form.get(), "Box1");
    TKindsForm other(nullptr); // a reference across owners
    other.SetBuddy(box1);
    delete Box(form.get(), "Box2");
    EXPECT_EQ(box1->Buddy(), nullptr);
    EXPECT_EQ(form->ComponentCount(), 1);
    delete box1;
    EXPECT_EQ(other.Buddy(), nullptr);
}

TEST_F(FilerTest, ReadingOntoALivingFormUpdatesIt)
{
    auto form = ReadForm("object Form1: TKindsForm\n"
                         "  Title = 'old'\n"
                         "  Lines.Strings = (\n"
                         "    'a'\n"
                         "    'b')\n"
                         "  object Box1: TKindsBox\n"
                         "    Count = 1\n"
                         "    Caption = 'kept'\n"
                         "  end\n"
                         "end\n");
    ASSERT_TRUE(form);
    TKindsBox* box1 = Box(form.get(), "Box1");

    TMemoryStream stream(Bin("object Form1: TKindsForm\n"
                             "  Title = 'new'\n"
                             "  Lines.Strings = (\n"
                             "    'c')\n"
                             "  object Box1: TKindsBox\n"
                             "    Count = 9\n"
                             "  end\n"
                             "end\n"));
    TOntoLivingReader reader(stream);
    EXPECT_EQ(reader.ReadRootComponent(form.get()), form.get());
    EXPECT_EQ(form->Title(), "new");
    EXPECT_EQ(form->Lines()->ToQStringList(), QStringList({"c"}));
    EXPECT_EQ(form->ComponentCount(), 1);
    EXPECT_EQ(Box(form.get(), "Box1"), box1);
    EXPECT_EQ(box1->Count(), 9);
    EXPECT_EQ(box1->Caption(), "kept"); // not in the stream: left alone

    TMemoryStream missing(Bin("object Form1: TKindsForm\n"
                              "  object Box9: TKindsBox\n"
                              "  end\n"
                              "end\n"));
    TOntoLivingReader failing(missing);
    try {
        failing.ReadRootComponent(form.get());
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Ancestor for 'Box9' not found");
    }
    EXPECT_FALSE(form->ComponentState().Contains(TComponentStateFlag::csLoading));
}

// Streams that read to an error, with the error's class and message; none
// leaves a component behind (the sanitizer's leak check sees to the roots).
TEST_F(FilerTest, BadStreamsRaiseClearErrors)
{
    struct Row {
        int Line;
        const char* Text;
        const char* Message;
    };
    const Row rows[] = {
        {1, "object Form1: TKindsForm\n  Nope = 1\nend\n",
         "Error reading Form1.Nope: Property Nope does not exist"},
        {2, "object Form1: TKindsForm\n  Font.Nope = 1\nend\n",
         "Error reading Form1.Font.Nope: Property Font.Nope does not exist"},
        {3, "object Form1: TKindsForm\n  Count.Size = 1\nend\n",
         "Error reading Form1.Count.Size: Property Count.Size does not exist"},
        {4, "object Form1: TKindsForm\n  Count = 'x'\nend\n",
         "Error reading Form1.Count: Invalid property value: vaString found at offset 27"},
        {5, "object Form1: TKindsForm\n  Count = 5000000000\nend\n",
         "Error reading Form1.Count: Invalid property value: 5000000000 does not fit in 32 bits at offset "
         "27"},
        {6, "object Form1: TKindsForm\n  Align = alDiagonal\nend\n",
         "Error reading Form1.Align: Invalid property value: alDiagonal is no value of TTestAlign"},
        {7, "object Form1: TKindsForm\n  Anchors = [akLeft, akUp]\nend\n",
         "Error reading Form1.Anchors: Invalid property value: akUp is no element of TAnchors"},
        {8, "object Form1: TKindsForm\n  Serial = 1\nend\n",
         "Error reading Form1.Serial: Property Serial is read-only"},
        {9, "object Form1: TKindsForm\n  OnClick = Nope\nend\n",
         "Error reading Form1.OnClick: Method Nope not found in class TKindsForm"},
        {10, "object Form1: TKindsForm\n  Letter = 'ab'\nend\n",
         "Error reading Form1.Letter: Invalid property value: a string of 2 characters for a character at "
         "offset "
         "28"},
        {11, "object Form1: TKindsForm\n  Items = <\n    item\n      Nope = 1\n    end>\nend\n",
         "Error reading Form1.Items[0].Nope: Property Nope does not exist"},
        {12, "object Form1: TKindsForm\n  Buddy = Nowhere\nend\n", nullptr}, // stays pending, no error
        {13, "object Form1: TTestFont\nend\n", "Class TTestFont is no component class"},
        {14, "object Form1: TKindsForm\n  object Box1: TTestFont\n  end\nend\n",
         "Class TTestFont is no component class"},
        {15, "object Form1: TKindsForm\n  object Box1: TKindsBox\n    Nope = 1\n  end\nend\n",
         "Error reading Box1.Nope: Property Nope does not exist"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        try {
            std::unique_ptr<TComponent> root(ReadComponentFromBytes(Bin(row.Text), nullptr));
            EXPECT_EQ(row.Message, nullptr);
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.Message));
        }
    }
    EXPECT_EQ(PendingFixupCount(), 0); // row 12's reference went with its root
}

TEST_F(FilerTest, FailedReadsLeaveNoComponentBehind)
{
    auto form = ReadForm("object Form1: TKindsForm\n  object Box1: TKindsBox\n  end\nend\n");
    ASSERT_TRUE(form);
    // Onto the living form: a new component is read whole or not at all,
    // with what it owns, however deep the error.
    const char* const failing[] = {
        "object Form1: TKindsForm\n"
        "  inherited Box1: TKindsBox\n"
        "    object Inner: TKindsBox\n"
        "      Count = 'bad'\n"
        "    end\n"
        "  end\n"
        "end\n",
        "object Form1: TKindsForm\n"
        "  object Box2: TKindsBox\n"
        "    object Deeper: TKindsBox\n"
        "      Count = 'bad'\n"
        "    end\n"
        "  end\n"
        "end\n",
    };
    for (const char* text : failing) {
        TMemoryStream stream(Bin(text));
        TReader reader(stream);
        EXPECT_THROW(reader.ReadRootComponent(form.get()), EReadError);
        EXPECT_EQ(form->ComponentCount(), 1);
    }

    EXPECT_THROW(ReadComponentFromBytes(Bin("object Form1: TNope\nend\n"), nullptr), EClassNotFound);
    try {
        ReadComponentFromBytes(Bin("object Form1: TKindsForm\n"
                                   "  object Box1: TKindsBox\n  end\n"
                                   "  object box1: TKindsBox\n  end\n"
                                   "end\n"),
                               nullptr);
        FAIL() << "no error";
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "A component named box1 already exists");
    }
}

TEST_F(FilerTest, ReferencesToOtherRootsWaitUntilTheyAreLoaded)
{
    std::unique_ptr<TComponent> other;
    struct Finder {
        int Token;
        ~Finder() { UnregisterFindGlobalComponentProc(Token); }
    } finder{RegisterFindGlobalComponentProc([&other](const QString& name) -> TComponent* {
        return other && name.compare(other->Name(), Qt::CaseInsensitive) == 0 ? other.get() : nullptr;
    })};
    auto form = ReadForm("object Form1: TKindsForm\n  Buddy = Other.Box7\nend\n");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->Buddy(), nullptr);
    EXPECT_EQ(PendingFixupCount(), 1);

    // Made first and then read, as windows are, so the finder knows it
    // while its stream is read.
    other = std::make_unique<TKindsForm>(nullptr);
    ReadComponentFromBytes(Bin("object Other: TKindsForm\n"
                               "  object Box7: TKindsBox\n  end\n"
                               "end\n"),
                           other.get());
    EXPECT_EQ(form->Buddy(), Box(other.get(), "Box7"));
    EXPECT_EQ(PendingFixupCount(), 0);

    // A pending reference goes with the object that holds it.
    auto waiting = ReadForm("object Form2: TKindsForm\n  Buddy = Later.Box1\nend\n");
    EXPECT_EQ(PendingFixupCount(), 1);
    waiting.reset();
    EXPECT_EQ(PendingFixupCount(), 0);

    other.reset();
    EXPECT_EQ(form->Buddy(), nullptr);

    // A waiting reference that turns out to name a component of the wrong
    // class is dropped; the stream that supplied the component still loads.
    auto wrong = ReadForm("object Form3: TKindsForm\n  Buddy = Other.Plain\nend\n");
    other = std::make_unique<TKindsForm>(nullptr);
    ReadComponentFromBytes(Bin("object Other: TKindsForm\n  object Plain: TComponent\n  end\nend\n"),
                           other.get());
    EXPECT_EQ(other->ComponentCount(), 1);
    EXPECT_EQ(wrong->Buddy(), nullptr);
    EXPECT_EQ(PendingFixupCount(), 0);
}

TEST_F(FilerTest, DefinedPropertiesWorkThroughAnyFiler)
{
    // A filer of another format sees the same defined properties.
    class TListingFiler : public TFiler {
    public:
        QStringList Seen;
        void DefineProperty(const QString& name, const TReaderProc&, const TWriterProc&,
                            bool hasData) override
        {
            Seen << name + (hasData ? "+" : "-");
        }
        void DefineBinaryProperty(const QString& name, const TStreamProc&, const TStreamProc&,
                                  bool hasData) override
        {
            Seen << name + (hasData ? "+" : "-");
        }
        void FlushBuffer() override {}
    };
    TKindsBox box(nullptr);
    box.Lines()->Add(QStringLiteral("x"));
    TListingFiler filer;
    box.DefineProperties(filer);
    box.Lines()->DefineProperties(filer);
    EXPECT_EQ(filer.Seen, QStringList({"Blob-", "Strings+"}));
}

} // namespace
