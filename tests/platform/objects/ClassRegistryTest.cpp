// The class registry, published properties and access by name and path.
#include "platform/objects/ClassRegistry.h"
#include "platform/objects/ObjectsRegistration.h"
#include "tests/platform/objects/TestClasses.h"

#include <gtest/gtest.h>

namespace {

class ClassRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterTestClasses(); }
};

class TUnregistered : public TComponent {
public:
    using TComponent::TComponent;
};

TEST_F(ClassRegistryTest, ClassesAreFoundByNameWithoutRegardToCase)
{
    const TClassInfo* box = FindClass(QStringLiteral("tkindsBOX"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->ClassName(), "TKindsBox");
    EXPECT_EQ(FindClass(QStringLiteral("TNope")), nullptr);
    try {
        RequireClass(QStringLiteral("TNope"));
        FAIL() << "no error";
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), "Class TNope not found");
    }
    EXPECT_EQ(FindClassOfType(typeid(TKindsForm)), FindClass(QStringLiteral("TKindsForm")));

    std::unique_ptr<TObject> created(box->Create(nullptr));
    EXPECT_EQ(created->ClassName(), "TKindsBox");
    EXPECT_TRUE(created->InheritsFrom(QStringLiteral("tcomponent")));
    EXPECT_FALSE(created->InheritsFrom(FindClass(QStringLiteral("TKindsForm"))));
    TUnregistered unregistered(nullptr);
    EXPECT_EQ(unregistered.ClassType(), nullptr);
    EXPECT_EQ(unregistered.ClassName(), QString());
}

TEST_F(ClassRegistryTest, AncestorChainsMayBeRegisteredByNameOnly)
{
    // As the forms layer registers its ancestors, some without a C++ class.
    RegisterClassInfo(QStringLiteral("TTestScrollingWinControl"), QStringLiteral("TComponent"));
    RegisterClassInfo(QStringLiteral("TTestCustomForm"), QStringLiteral("TTestScrollingWinControl"));
    const TClassInfo& form =
        RegisterClassInfo(QStringLiteral("TTestForm"), QStringLiteral("TTestCustomForm"));
    EXPECT_EQ(form.AncestorNames(), QStringList({"TTestForm", "TTestCustomForm", "TTestScrollingWinControl",
                                                 "TComponent", "TPersistent", "TObject"}));
    EXPECT_TRUE(form.InheritsFrom(QStringLiteral("TTESTCUSTOMFORM")));
    EXPECT_FALSE(form.CanCreate());
    try {
        form.Create(nullptr);
        FAIL() << "no error";
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), "Class TTestForm cannot be created");
    }
    // Registering again is harmless; a different class of the same name is not.
    EXPECT_EQ(&RegisterClassInfo(QStringLiteral("TTestForm"), QStringLiteral("TTestCustomForm")), &form);
    RegisterObjectsClasses();

    struct Row {
        int Line;
        const char* Name;
        const char* Parent;
        const char* Message;
    };
    const Row rows[] = {
        {1, "TTestForm", "TComponent", "A class named TTestForm already exists"},
        {2, "TOrphan", "TNoParent", "Class TNoParent not found"},
        {3, "1Bad", "TComponent", "'1Bad' is not a valid class name"},
        {4, "", "TComponent", "'' is not a valid class name"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        try {
            RegisterClassInfo(QString::fromLatin1(row.Name), QString::fromLatin1(row.Parent));
            ADD_FAILURE() << "no error";
        } catch (const EFilerError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.Message));
        }
    }
    EXPECT_THROW(RegisterClass<TKindsForm>(QStringLiteral("TKindsForm2"), QStringLiteral("TKindsBox")),
                 EFilerError);
}

TEST_F(ClassRegistryTest, PropertiesListAncestorsFirstWithTheirKindNumbers)
{
    TKindsForm form(nullptr);
    QStringList names;
    for (const TPropInfo* prop : GetPropList(form))
        names << prop->Name;
    EXPECT_EQ(names,
              QStringList({"Name",    "Tag",   "Count", "Letter", "Align", "Enabled", "Anchors", "Ratio",
                           "Scale",   "Price", "Stamp", "Code",   "Hint",  "Caption", "Big",     "Extra",
                           "OnClick", "Buddy", "Font",  "Lines",  "Items", "Serial",  "Title"}));

    // The framework's type-kind numbers, which messages print.
    struct Row {
        int Line;
        const char* Property;
        int Kind;
    };
    const Row rows[] = {
        {1, "Count", 1},   {2, "Letter", 2}, {3, "Align", 3},   {4, "Ratio", 4},   {5, "Code", 5},
        {6, "Anchors", 6}, {7, "Buddy", 7},  {8, "Font", 7},    {9, "OnClick", 8}, {10, "Hint", 10},
        {11, "Extra", 12}, {12, "Big", 16},  {13, "Title", 18},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        const TPropInfo* prop = GetPropInfo(form, QString::fromLatin1(row.Property).toUpper());
        ASSERT_NE(prop, nullptr);
        EXPECT_EQ(int(prop->Kind()), row.Kind);
    }
    EXPECT_TRUE(GetPropInfo(form, QStringLiteral("Serial"))->IsReadOnly());
    EXPECT_TRUE(GetPropInfo(form, QStringLiteral("Font"))->IsReadOnly());
    EXPECT_FALSE(GetPropInfo(form, QStringLiteral("Buddy"))->IsReadOnly());

    // A redeclared property keeps its ancestor's place with its own default.
    TClassInfo& redeclared =
        RegisterClassInfo(QStringLiteral("TTestRedeclared"), QStringLiteral("TKindsBox"));
    if (redeclared.OwnProperties().empty())
        PublishProperty(redeclared, "Count", TypeInfoInteger(), &TKindsBox::Count, &TKindsBox::SetCount)
            .WithDefault(0);
    const std::vector<const TPropInfo*> list = redeclared.Properties();
    EXPECT_EQ(list.at(2)->Name, "Count");
    EXPECT_EQ(list.at(2)->Default, 0);
    EXPECT_EQ(redeclared.FindProperty(QStringLiteral("count"))->Default, 0);
    EXPECT_THROW(PublishProperty(redeclared, "Count", TypeInfoInteger(), &TKindsBox::Count), EPropertyError);
    // Accessors must fit the kind of the type.
    EXPECT_THROW(PublishProperty(redeclared, "Wrong", TypeInfoString(), &TKindsBox::Count), EPropertyError);
}

TEST_F(ClassRegistryTest, PropertiesByNameAndPath)
{
    TKindsForm form(nullptr);
    struct Row {
        int Line;
        const char* Path;
        QVariant Set;
        QVariant Get;
    };
    const Row rows[] = {
        {1, "Count", 7, qlonglong(7)},
        {2, "count", QStringLiteral("-3"), qlonglong(-3)},
        {3, "Align", QStringLiteral("ALTOP"), QStringLiteral("alTop")},
        {4, "Align", 2, QStringLiteral("alBottom")},
        {5, "Enabled", false, false},
        {6, "Anchors", QStringLiteral("[akLeft, akBottom]"), QStringLiteral("akLeft,akBottom")},
        {7, "Anchors", 6, QStringLiteral("akTop,akRight")},
        {8, "Letter", QStringLiteral("x"), QStringLiteral("x")},
        {9, "Ratio", 1.5, 1.5},
        {10, "Caption", QStringLiteral("Hello"), QStringLiteral("Hello")},
        {11, "Big", qlonglong(1) << 40, qlonglong(1) << 40},
        {12, "Font.Name", QStringLiteral("Times"), QStringLiteral("Times")},
        {13, "FONT.SIZE", 14, qlonglong(14)},
        {14, "Lines.Strings", QStringLiteral("a\r\nb"), QStringLiteral("a\r\nb\r\n")},
        {15, "Lines.Strings", QStringList({"c", "d"}), QStringLiteral("c\r\nd\r\n")},
        {16, "Extra", QVariant(2.5), QVariant(2.5)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        SetPropValue(&form, QString::fromLatin1(row.Path), row.Set);
        EXPECT_EQ(GetPropValue(&form, QString::fromLatin1(row.Path)), row.Get);
    }

    struct ErrorRow {
        int Line;
        const char* Path;
        QVariant Set;
        const char* Message;
    };
    const ErrorRow errors[] = {
        {1, "Nope", 1, "Property Nope does not exist"},
        {2, "Font.Nope", 1, "Property Font.Nope does not exist"},
        {3, "Count.Size", 1, "Property Count.Size does not exist"},
        {4, "Align", QStringLiteral("alNowhere"), "Invalid value 'alNowhere' for property Align"},
        {5, "Align", 4, "Invalid value '4' for property Align"},
        {6, "Count", QStringLiteral("ten"), "Invalid value 'ten' for property Count"},
        {7, "Anchors", QStringLiteral("[akUp]"), "Invalid set element name 'akUp' for TAnchors"},
        {8, "Serial", 1, "Property Serial is read-only"},
        {9, "Buddy", QStringLiteral("Box1"), "Property Buddy cannot be set from a value (TTypeKind = 7)"},
        {10, "Letter", QStringLiteral("xy"), "Invalid value 'xy' for property Letter"},
    };
    for (const ErrorRow& row : errors) {
        SCOPED_TRACE(row.Line);
        try {
            SetPropValue(&form, QString::fromLatin1(row.Path), row.Set);
            ADD_FAILURE() << "no error";
        } catch (const EPropertyError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.Message));
        }
    }

    // Objects go through the typed setter, which checks their class.
    TTestFont font;
    try {
        SetObjectProp(form, *GetPropInfo(form, QStringLiteral("Buddy")), &font);
        FAIL() << "no error";
    } catch (const EPropertyError& e) {
        EXPECT_EQ(e.Message(), "Property Buddy takes a TKindsBox, not a TTestFont");
    }
}

// An accessor remembers the classes it served; that must never let an
// object of another class through.
TEST_F(ClassRegistryTest, AccessorsServeDescendantsAndRefuseForeignObjectsAfterUse)
{
    TKindsBox box(nullptr);
    TKindsForm form(nullptr);
    box.SetCount(4);
    const TPropInfo& count = *GetPropInfo(box, QStringLiteral("Count"));
    for (int round = 0; round < 2; ++round) {
        form.SetCount(9);
        EXPECT_EQ(GetOrdProp(form, count), 9);
        EXPECT_EQ(GetOrdProp(box, count), 4);
        SetOrdProp(form, count, 11 + round);
        EXPECT_EQ(form.Count(), 11 + round);
        TTestFont font;
        EXPECT_THROW(GetOrdProp(font, count), EInvalidCast);
        EXPECT_THROW(SetOrdProp(font, count, 1), EInvalidCast);
    }
}

TEST_F(ClassRegistryTest, AssignCopiesOrRefuses)
{
    TStrings a;
    a.Add(QStringLiteral("x"));
    TStrings b;
    b.Assign(&a);
    EXPECT_EQ(b.ToQStringList(), QStringList({"x"}));

    TKindsBox box(nullptr);
    box.Items()->Add();
    static_cast<TTestItem*>(box.Items()->Add())->SetWidth(3);
    TCollection copy(QStringLiteral("TTestItem"));
    copy.Assign(box.Items());
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(static_cast<TTestItem*>(copy.Items(1))->Width(), 3);
    EXPECT_EQ(copy.Items(1)->Index(), 1);
    EXPECT_EQ(copy.Items(1)->Collection(), &copy);

    TTestFont font;
    try {
        b.Assign(&font);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TTestFont to a TStrings");
    }
    try {
        font.Assign(nullptr);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a nil to a TTestFont");
    }
    TCollection wrong(QStringLiteral("TTestFont"));
    EXPECT_THROW(wrong.Add(), EClassNotFound);
}

} // namespace
