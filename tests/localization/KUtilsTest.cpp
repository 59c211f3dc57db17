#include "localization/KUtils.h"

#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Records its own destruction in a shared log.
struct TTracked {
    TTracked(std::string name, std::string& log) : Name(std::move(name)), Log(log) {}
    ~TTracked() { Log += "free " + Name + ";"; }
    std::string Name;
    std::string& Log;
};

struct TListFixture {
    std::string log;
    TKObjectList<TTracked> list;

    TListFixture()
    {
        list.OnChange = [this](TKObjectListBase& sender) {
            log += "change " + std::to_string(sender.Count()) + ";";
        };
        list.OnEmpty = [this](TKObjectListBase&) { log += "empty;"; };
    }
    std::unique_ptr<TTracked> Make(const char* name) { return std::make_unique<TTracked>(name, log); }
};

} // namespace

TEST(TKObjectList, DeleteHandsBackEraseFrees)
{
    TListFixture f;
    EXPECT_EQ(f.list.Add(f.Make("a")), 0);
    EXPECT_EQ(f.list.Add(f.Make("b")), 1);
    f.list.Insert(0, f.Make("c"));
    EXPECT_EQ(f.log, "change 1;change 2;change 3;");
    EXPECT_EQ(f.list.Items(0)->Name, "c");
    EXPECT_EQ(f.list.IndexOf(f.list.Items(2)), 2);

    f.log.clear();
    std::unique_ptr<TTracked> taken = f.list.Delete(0);
    EXPECT_EQ(f.log, "change 2;"); // removed, not freed
    EXPECT_EQ(taken->Name, "c");

    f.log.clear();
    f.list.Erase(0);
    EXPECT_EQ(f.log, "free a;change 1;");
    f.log.clear();
    f.list.Erase(0);
    EXPECT_EQ(f.log, "free b;change 0;empty;"); // the empty event follows the change event

    f.log.clear();
    f.list.Add(std::move(taken));
    std::unique_ptr<TTracked> last = f.list.Delete(0);
    EXPECT_EQ(f.log, "change 1;change 0;empty;");
}

TEST(TKObjectList, ClearFreeObjectsSetItemAndDestroy)
{
    TListFixture f;
    f.list.Add(f.Make("a"));
    f.list.Add(f.Make("b"));
    f.log.clear();
    f.list.FreeObjects(); // the places stay, empty, without events
    EXPECT_EQ(f.log, "free a;free b;");
    EXPECT_EQ(f.list.Count(), 2);
    EXPECT_EQ(f.list.Items(1), nullptr);

    f.log.clear();
    EXPECT_EQ(f.list.SetItem(0, f.Make("c")), nullptr); // no change event
    std::unique_ptr<TTracked> old = f.list.SetItem(0, f.Make("d"));
    EXPECT_EQ(old->Name, "c");
    EXPECT_EQ(f.log, "");
    old.reset();

    f.log.clear();
    f.list.Clear();
    EXPECT_EQ(f.log, "free d;change 0;empty;");
    EXPECT_EQ(f.list.Count(), 0);

    // Destroying a list frees what it holds and fires the events once more.
    std::string log;
    auto list = std::make_unique<TKObjectList<TTracked>>();
    list->OnChange = [&log](TKObjectListBase& sender) {
        log += "change " + std::to_string(sender.Count()) + ";";
    };
    list->OnEmpty = [&log](TKObjectListBase&) { log += "empty;"; };
    list->Add(std::make_unique<TTracked>("e", log));
    log.clear();
    list.reset();
    EXPECT_EQ(log, "free e;change 0;empty;");
}

TEST(TKObjectList, BadIndexesRaiseWithoutLeaking)
{
    TListFixture f;
    f.list.Add(f.Make("a"));
    f.log.clear();
    EXPECT_THROW(f.list.Items(1), EListError);
    EXPECT_THROW(f.list.Items(-1), EListError);
    EXPECT_THROW(f.list.Delete(1), EListError);
    EXPECT_THROW(f.list.Erase(1), EListError);
    // The list takes ownership on the call, so a refused object is freed.
    EXPECT_THROW(f.list.Insert(2, f.Make("x")), EListError);
    EXPECT_THROW((void)f.list.SetItem(1, f.Make("y")), EListError);
    EXPECT_EQ(f.log, "free x;free y;");
    f.list.Insert(1, f.Make("z")); // inserting at Count appends
    EXPECT_EQ(f.list.Items(1)->Name, "z");
    try {
        f.list.Items(5);
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (5)");
    }
}
