// Components: names, the owner tree, free notification and reference paths.
#include "platform/objects/Component.h"
#include "tests/platform/objects/TestClasses.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Logs the notifications it hears.
class TListener : public TComponent {
public:
    using TComponent::TComponent;
    QStringList Log;

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        Log << (operation == TOperation::opInsert ? "+" : "-") + component->Name();
    }
};

TComponent* Named(TComponent* owner, const char* name)
{
    auto* component = new TComponent(owner);
    component->SetName(QString::fromLatin1(name));
    return component;
}

TEST(ComponentTest, NamesAreIdentifiersUniquePerOwner)
{
    struct Row {
        int Line;
        const char* Name;
        bool Valid;
    };
    const Row rows[] = {
        {1, "Button1", true}, {2, "_x", true},   {3, "a1_", true},          {4, "1abc", false},
        {5, "a b", false},    {6, "a.b", false}, {7, "caf\xc3\xa9", false}, {8, "", true}, // empty is allowed
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        TComponent component(nullptr);
        const QString name = QString::fromUtf8(row.Name);
        if (row.Valid) {
            component.SetName(name);
            EXPECT_EQ(component.Name(), name);
        } else {
            try {
                component.SetName(name);
                ADD_FAILURE() << "no error";
            } catch (const EComponentError& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid component name").arg(name));
            }
        }
    }

    TComponent owner(nullptr);
    TComponent* a = Named(&owner, "Box");
    TComponent* b = Named(&owner, "Other");
    EXPECT_THROW(b->SetName(QStringLiteral("BOX")), EComponentError);
    EXPECT_EQ(b->Name(), "Other");
    a->SetName(QStringLiteral("BOX")); // its own name in another case
    EXPECT_EQ(owner.FindComponent(QStringLiteral("box")), a);
    b->SetName(QString());
    b->SetName(QString()); // several unnamed components may share an owner
    Named(&owner, "");
    TComponent elsewhere(nullptr);
    Named(&elsewhere, "Box"); // names repeat across owners
    // A component moved to an owner that has its name is refused and stays.
    TComponent* clash = Named(&elsewhere, "Other2");
    clash->SetName(QStringLiteral("BOX2"));
    TComponent* twin = Named(&owner, "Box2");
    EXPECT_THROW(elsewhere.InsertComponent(twin), EComponentError);
    EXPECT_EQ(twin->Owner(), &owner);
}

TEST(ComponentTest, OwnersDeleteLastFirstAndEveryoneHears)
{
    auto owner = std::make_unique<TListener>(nullptr);
    auto* watcher = new TListener(owner.get());
    watcher->SetName(QStringLiteral("Watcher"));
    TComponent* a = Named(owner.get(), "A");
    TComponent* b = Named(owner.get(), "B");
    EXPECT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(b->ComponentIndex(), 2);
    EXPECT_THROW(owner->Components(3), EListError);

    delete a; // leaves its owner; owner and siblings hear it
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->Components(1), b);
    EXPECT_TRUE(owner->Log.contains("-A"));
    EXPECT_TRUE(watcher->Log.contains("-A"));

    TListener other(nullptr);
    other.InsertComponent(b); // moves between owners
    EXPECT_EQ(b->Owner(), &other);
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_TRUE(other.Log.contains("+B"));
    other.RemoveComponent(b);
    EXPECT_EQ(b->Owner(), nullptr);
    delete b;

    // A partner outside the tree hears of the owner's components going.
    TListener outside(nullptr);
    Named(owner.get(), "C")->FreeNotification(&outside);
    owner.reset();
    EXPECT_EQ(outside.Log, QStringList({"-C"}));
}

TEST(ComponentTest, FreeNotificationIsForgottenByEitherSide)
{
    auto a = std::make_unique<TListener>(nullptr);
    auto b = std::make_unique<TListener>(nullptr);
    a->SetName(QStringLiteral("A"));
    b->SetName(QStringLiteral("B"));
    a->FreeNotification(b.get());
    a->FreeNotification(b.get()); // once is enough
    b.reset();                    // a must not notify the deleted b later
    EXPECT_EQ(a->Log, QStringList({"-B"}));
    a.reset();

    TListener c(nullptr);
    auto d = std::make_unique<TListener>(nullptr);
    d->FreeNotification(&c);
    d->RemoveFreeNotification(&c);
    d.reset();
    EXPECT_TRUE(c.Log.isEmpty());
}

TEST(ComponentTest, ReferencePaths)
{
    TComponent root(nullptr);
    root.SetName(QStringLiteral("Form1"));
    TComponent* panel = Named(&root, "Panel");
    TComponent* inner = Named(panel, "Inner");
    TComponent* button = Named(&root, "Button1");
    TComponent other(nullptr);
    other.SetName(QStringLiteral("Form2"));
    TComponent* far = Named(&other, "Far");
    struct Finder {
        int Token;
        ~Finder() { UnregisterFindGlobalComponentProc(Token); }
    } finder{RegisterFindGlobalComponentProc(
        [&other](const QString& name) { return name == "Form2" ? &other : nullptr; })};

    struct Row {
        int Line;
        const char* Path;
        TComponent* Expected;
    };
    const Row rows[] = {
        {1, "Button1", button}, {2, "BUTTON1", button},    {3, "Panel.Inner", inner},
        {4, "Owner", &root},    {5, "Panel.Owner", &root}, {6, "Form2.Far", far},
        {7, "Form2", &other},   {8, "Nowhere", nullptr},   {9, "Panel.Nowhere", nullptr},
        {10, "", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        EXPECT_EQ(FindNestedComponent(&root, QString::fromLatin1(row.Path)), row.Expected);
    }
}

} // namespace
