// Identifier maps of integer types: registration and look-up both ways, and
// integer properties read from and written as names by the component reader
// and writer, through the binary stream and its text form.
#include "tests/platform/objects/TestClasses.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "platform/objects/ObjectsRegistration.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A component with an integer property of a type with names (Shade) and one
// of the plain Integer type (Plain).
class TShadeBox : public TComponent {
public:
    using TComponent::TComponent;
    int Shade() const { return FShade; }
    void SetShade(int v) { FShade = v; }
    int Plain() const { return FPlain; }
    void SetPlain(int v) { FPlain = v; }

private:
    int FShade = 0;
    int FPlain = 0;
};

const TTypeInfo& ShadeType()
{
    static const TTypeInfo t = MakeIntegerType(QStringLiteral("TTestShade"));
    return t;
}

// shLight and shPale share a value: the first name is the one written.
TIdentMap ShadeNames()
{
    return {{0, "shNone"},  {1, "shLight"},       {1, "shPale"},
            {-5, "shDark"}, {INT32_MAX, "shMax"}, {INT32_MIN, "shMin"}};
}

class IdentMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterObjectsClasses();
        RegisterIntegerConsts(QStringLiteral("TTestShade"), ShadeNames());
        if (FindClass(QStringLiteral("TShadeBox")))
            return;
        TClassInfo& box = RegisterClass<TShadeBox>(QStringLiteral("TShadeBox"), QStringLiteral("TComponent"));
        PublishProperty(box, "Shade", ShadeType(), &TShadeBox::Shade, &TShadeBox::SetShade);
        PublishProperty(box, "Plain", TypeInfoInteger(), &TShadeBox::Plain, &TShadeBox::SetPlain);
    }
};

// "TPF0", object A: TShadeBox with the given properties, no children.
QByteArray BoxStream(const QByteArray& properties)
{
    return QByteArray::fromHex("5450463009") + "TShadeBox" + QByteArray::fromHex("0141") + properties +
           QByteArray(2, '\0');
}

QByteArray Prop(const QByteArray& name, const QByteArray& value)
{
    return char(name.size()) + name + value;
}

QByteArray Ident(const QByteArray& name)
{
    return char(TValueType::vaIdent) + (char(name.size()) + name);
}

TEST_F(IdentMap, LooksUpBothWays)
{
    const TIdentMap* map = FindIdentMap(ShadeType());
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(IdentToInt(*map, "shDark"), -5);
    EXPECT_EQ(IdentToInt(*map, "SHDARK"), -5); // names compare without regard to case
    EXPECT_EQ(IdentToInt(*map, "shDarker"), std::nullopt);
    EXPECT_EQ(IntToIdent(*map, 1), QStringLiteral("shLight"));
    EXPECT_EQ(IntToIdent(*map, INT32_MIN), QStringLiteral("shMin"));
    EXPECT_EQ(IntToIdent(*map, 2), std::nullopt);
    // A value beyond 32 bits never matches a 32-bit one of the same low bits.
    EXPECT_EQ(IntToIdent(*map, int64_t(1) << 32), std::nullopt);

    // The type is found by its name without regard to case; other integer
    // types, and types of other kinds with the same name, have no map.
    EXPECT_EQ(FindIdentMap(MakeIntegerType("ttestshade")), map);
    EXPECT_EQ(FindIdentMap(TypeInfoInteger()), nullptr);
    EXPECT_EQ(FindIdentMap(MakeEnumType("TTestShade", {"a"})), nullptr);
    EXPECT_EQ(FindIdentMap(TypeInfoInt64()), nullptr);
}

TEST_F(IdentMap, RegistrationRefusesNamesTheStreamCannotCarry)
{
    struct Row {
        int No;
        QString Name;
        bool Accepted;
    };
    // Names must read back as identifiers: the text form's identifier syntax,
    // the short string's 255 bytes, and the tags the stream keeps for
    // False, True, nil and Null (ValueStream.h).
    const Row rows[] = {
        {1, "_x9", true},
        {2, QString(255, 'a'), true},
        {3, QString(256, 'a'), false},
        {4, "", false},
        {5, "9lives", false},
        {6, "two words", false},
        {7, "true", false},
        {8, "NIL", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.No);
        const TIdentMap map = {{0, "shFirst"}, {1, row.Name}};
        if (row.Accepted) {
            EXPECT_NO_THROW(RegisterIntegerConsts("TTestCheck", map));
        } else {
            RegisterIntegerConsts("TTestCheck", {{7, "shKept"}});
            EXPECT_THROW(RegisterIntegerConsts("TTestCheck", map), EPropertyError);
            // A refused map leaves the one before in place.
            const TIdentMap* kept = FindIdentMap(MakeIntegerType("TTestCheck"));
            ASSERT_NE(kept, nullptr);
            EXPECT_EQ(IdentToInt(*kept, "shKept"), 7);
        }
    }
    EXPECT_THROW(RegisterIntegerConsts("", {{0, "shNone"}}), EPropertyError);
}

TEST_F(IdentMap, ReaderTakesNamesAndNumbers)
{
    struct Row {
        int No;
        const char* Prop;
        QByteArray Value;
        int Shade;
        int Plain;
        const char* Message; // empty: read
    };
    // Values from ShadeNames(); the bytes of row 1 are what Free Pascal's
    // text converter writes for "Shade = shDark".
    const Row rows[] = {
        {1, "Shade", Ident("shDark"), -5, 0, ""},
        {2, "Shade", Ident("SHPALE"), 1, 0, ""},
        {3, "Shade", Ident("shMin"), INT32_MIN, 0, ""},
        {4, "Shade", QByteArray::fromHex("02FB"), -5, 0, ""}, // a number still reads
        {5, "Shade", Ident("shDarker"), 0, 0,
         "Error reading A.Shade: Invalid property value: shDarker is no value of TTestShade"},
        {6, "Plain", Ident("shDark"), 0, 0,
         "Error reading A.Plain: Invalid property value: shDark is no value of Integer"},
        {7, "Plain", QByteArray::fromHex("02FB"), 0, -5, ""},
        // True and nil carry tags of their own and are no names of a value.
        {8, "Shade", QByteArray::fromHex("09"), 0, 0, "Error reading A.Shade: Invalid property value"},
        {9, "Shade", QByteArray::fromHex("0D"), 0, 0, "Error reading A.Shade: Invalid property value"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.No);
        TShadeBox box(nullptr);
        const QByteArray bytes = BoxStream(Prop(row.Prop, row.Value));
        if (*row.Message) {
            try {
                ReadComponentFromBytes(bytes, &box);
                ADD_FAILURE() << "read";
            } catch (const EReadError& e) {
                EXPECT_TRUE(e.Message().startsWith(QString::fromLatin1(row.Message)))
                    << e.Message().toStdString();
            }
            continue;
        }
        ReadComponentFromBytes(bytes, &box);
        EXPECT_EQ(box.Shade(), row.Shade);
        EXPECT_EQ(box.Plain(), row.Plain);
    }
    // Every cut of a named value fails as a damaged stream.
    const QByteArray whole = BoxStream(Prop("Shade", Ident("shDark")));
    for (qsizetype length = 0; length < whole.size(); ++length) {
        TShadeBox box(nullptr);
        EXPECT_THROW(ReadComponentFromBytes(whole.left(length), &box), EReadError) << length;
    }
}

TEST_F(IdentMap, WriterWritesTheFirstNameOfAValue)
{
    struct Row {
        int No;
        int Shade;
        QByteArray Value; // empty: not written (the default)
    };
    const Row rows[] = {
        {1, -5, Ident("shDark")},
        {2, 1, Ident("shLight")}, // shPale has the same value and comes later
        {3, INT32_MAX, Ident("shMax")},
        {4, 2, QByteArray::fromHex("0202")}, // no name: a number
        {5, 0, {}},                          // shNone is the default 0
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.No);
        TShadeBox box(nullptr);
        box.SetName("A");
        box.SetShade(row.Shade);
        const QByteArray bytes = WriteComponentToBytes(&box);
        EXPECT_EQ(bytes, BoxStream(row.Value.isEmpty() ? QByteArray() : Prop("Shade", row.Value)));
        TShadeBox back(nullptr);
        ReadComponentFromBytes(bytes, &back);
        EXPECT_EQ(back.Shade(), row.Shade);
    }
    // A plain Integer keeps its number even where a name has the value.
    TShadeBox box(nullptr);
    box.SetName("A");
    box.SetPlain(-5);
    EXPECT_EQ(WriteComponentToBytes(&box), BoxStream(Prop("Plain", QByteArray::fromHex("02FB"))));
}

TEST_F(IdentMap, TextFormCarriesNames)
{
    const QByteArray text = "object A: TShadeBox\n  Shade = shDark\n  Plain = 3\nend\n";
    // Source: Free Pascal's converter (tests/platform/objects/oracle) gives
    // these bytes for the text above: the name as an identifier value.
    const QByteArray binary = ObjectTextToBinary(text);
    EXPECT_EQ(binary, BoxStream(Prop("Shade", Ident("shDark")) + Prop("Plain", QByteArray::fromHex("0203"))));
    TShadeBox box(nullptr);
    ReadComponentFromBytes(binary, &box);
    EXPECT_EQ(box.Shade(), -5);
    EXPECT_EQ(box.Plain(), 3);
    EXPECT_EQ(ObjectBinaryToText(WriteComponentToBytes(&box)), text);
}

} // namespace
