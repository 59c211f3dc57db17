#include "report/model/ZvEvent.h"

#include "ModelFixtures.h"

#include <gtest/gtest.h>

namespace {

struct Listener : TObject {
    QStringList Heard;
    void Hear(TZarvComponent* speaker, void* message)
    {
        Heard << QStringLiteral("%1:%2")
                     .arg(speaker ? speaker->Name() : "nil")
                     .arg(*static_cast<int*>(message));
    }
    void Other(TZarvComponent*, void*) { Heard << "other"; }
};

} // namespace

TEST(ZvEvent, GeneratedSource)
{
    RegisterModelForTests();
    TFakeItem item(nullptr);
    auto* text = new TTestText(&item);
    text->SetName("Text1");
    TZarvStringEvent event;
    event.SetOwner(text);
    event.SetName("OnGetText");
    // TTestText itself has no module of its own: Self is typed by the
    // nearest recorded class.
    EXPECT_EQ(event.HeaderSource(), "\r\n{ Event for Text1.OnGetText }\r\n\r\n"
                                    "function Text1_OnGetText(Self: TTestBox; var Value: string);");
    EXPECT_EQ(event.FooterSource(), "end Text1_OnGetText;");
    TZarvSimpleEvent simple;
    simple.SetOwner(text);
    simple.SetName("OnBeforePrint");
    EXPECT_TRUE(simple.HeaderSource().endsWith("function Text1_OnBeforePrint(Self: TTestBox);"));
}

TEST(ZvEvent, Execute)
{
    RegisterModelForTests();
    TFakeItem item(nullptr);
    auto* box = new TTestBox(&item);
    box->SetName("Box1");
    TZarvStringEvent event;
    event.SetOwner(box);
    event.SetPosition(40);
    event.SetValue("v");

    // Without a module owner, or with one that has no module, nothing runs.
    event.Execute();
    event.SetModuleOwner(&item);
    event.Execute();

    item.Module = std::make_unique<TFakeModule>();
    event.Execute();
    EXPECT_EQ(item.Module->Log, QStringList({"push Box1", "push var string", "exec 40"}));
    EXPECT_EQ(event.Value(), "v!"); // the script's change reaches the event

    // A script that suspends itself where that is not allowed.
    item.Module->Log.clear();
    item.Module->SuspendAt = 40;
    try {
        event.Execute();
        FAIL() << "nothing raised";
    } catch (const EZarvException& e) {
        EXPECT_EQ(e.Message(), "Suspend call not valid in this event.");
    }
    EXPECT_TRUE(event.Suspended());
    // The next run resumes without pushing the arguments again.
    event.Execute();
    EXPECT_EQ(item.Module->Log, QStringList({"push Box1", "push var string", "exec 40", "exec 40 resumed"}));
    EXPECT_FALSE(event.Suspended());

    // Assigning copies header, body and position only.
    event.SetHeader("var i: integer;");
    event.SetBody("Value := 'x';");
    TZarvStringEvent copy;
    copy.Assign(&event);
    EXPECT_EQ(copy.Header(), "var i: integer;");
    EXPECT_EQ(copy.Body(), "Value := 'x';");
    EXPECT_EQ(copy.Position(), 40);
    EXPECT_EQ(copy.ModuleOwner(), nullptr);
    EXPECT_EQ(copy.Value(), "");
}

TEST(ZvEvent, MethodLists)
{
    Listener a;
    Listener b;
    TZarvMethodList list;
    list.AddMethod(MakeListenMethod(&a, &Listener::Hear));
    list.AddMethod(MakeListenMethod(&b, &Listener::Hear));
    list.AddMethod(MakeListenMethod(&a, &Listener::Hear));
    list.AddMethod(MakeListenMethod(&a, &Listener::Other));
    list.RemoveMethod(MakeListenMethod(&a, &Listener::Hear));  // the last of the two
    list.RemoveMethod(MakeListenMethod(&b, &Listener::Other)); // none such
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Data, &a);
    EXPECT_EQ(list.Items(1).Data, &b);
    EXPECT_EQ(list.Items(2), MakeListenMethod(&a, &Listener::Other));

    TFakeItem speaker(nullptr);
    speaker.SetName("Band1");
    int row = 7;
    CallListeners(&list, &speaker, &row);
    EXPECT_EQ(a.Heard, QStringList({"Band1:7", "other"}));
    EXPECT_EQ(b.Heard, QStringList({"Band1:7"}));
    CallListeners(nullptr, &speaker, &row);

    list.ReplaceObject(&b, &a);
    list.RemoveObject(&a);
    EXPECT_EQ(list.Count(), 0);
}

TEST(ZvEvent, PersistentList)
{
    RegisterModelForTests();
    TZarvPersistentList list;
    EXPECT_EQ(list.CreateItem("TNoSuchClass", nullptr), nullptr);
    EXPECT_EQ(list.CreateItem("TZarvComponentList", nullptr), nullptr); // not persistent

    TFakeItem owner(nullptr);
    TPersistent* event = list.CreateItem("TZarvStringEvent", &owner);
    ASSERT_NE(dynamic_cast<TZarvStringEvent*>(event), nullptr);
    static_cast<TZarvStringEvent*>(event)->SetBody("x");
    list.Add(event);
    TPersistent* box = list.CreateItem("TTestBox", &owner);
    ASSERT_NE(dynamic_cast<TTestBox*>(box), nullptr);
    EXPECT_EQ(static_cast<TTestBox*>(box)->Owner(), &owner);
    list.Add(box);

    TZarvPersistentList copy;
    copy.Assign(list);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(static_cast<TZarvStringEvent*>(copy.Items(0))->Body(), "x");
    EXPECT_EQ(static_cast<TTestBox*>(copy.Items(1))->Owner(), &owner);

    // A component item that its owner deletes leaves the lists.
    delete box;
    EXPECT_EQ(list.Count(), 1);
    owner.DestroyComponents();
    EXPECT_EQ(copy.Count(), 1);
}
