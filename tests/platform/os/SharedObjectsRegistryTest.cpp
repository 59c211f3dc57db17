// This process's handles and views of the named objects, and the open by
// name: a block opened by name is one block across processes and one view
// in a process, a block that cannot be made raises, unnamed blocks are not
// shared, bad handles fail without harm, and every error of an open is the
// system's own, naming what failed, with no descriptor left behind.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ObjectFolders.h"

#include <gtest/gtest.h>

#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

TEST_F(SharedObjectsRegistryTest, MemoryIsSharedByNameAcrossProcessesAndRemovedByTheLastClose)
{
    const QString name = Unique("mem");
    const TSharedHandle memory = OpenNamedMemory(name, 4096);
    ASSERT_NE(memory, 0u);
    EXPECT_EQ(NamedMemorySize(memory), 4096);
    auto* bytes = static_cast<char*>(MapNamedMemory(memory));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0); // a new block is zero filled
    std::strcpy(bytes, "parent");

    // The child opens the name with another size: the existing block, with its
    // own size, is what it gets.
    Child child([&] {
        const TSharedHandle h = OpenNamedMemory(name, 16);
        auto* view = static_cast<char*>(MapNamedMemory(h));
        const bool same = view && NamedMemorySize(h) == 4096 && std::strcmp(view, "parent") == 0;
        if (view)
            std::strcpy(view, "child");
        return same ? 'Y' : 'N';
    });
    EXPECT_EQ(child.Result(), 'Y');
    EXPECT_STREQ(bytes, "child");

    // A second handle in the same process shares the mapping.
    const TSharedHandle again = OpenNamedMemory(name, 0);
    EXPECT_EQ(MapNamedMemory(again), bytes);
    EXPECT_TRUE(UnmapNamedMemory(bytes));
    EXPECT_TRUE(CloseNamedObject(again));
    EXPECT_TRUE(ShmExists("M-" + name));
    EXPECT_TRUE(UnmapNamedMemory(bytes));
    EXPECT_TRUE(CloseNamedObject(memory));
    EXPECT_FALSE(ShmExists("M-" + name));
}

TEST_F(SharedObjectsRegistryTest, MemoryThatCannotBeMadeRaisesAndUnnamedBlocksAreNotShared)
{
    try {
        OpenNamedMemory(Unique("missing"), 0); // size 0 only opens
        FAIL() << "no error";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode, ENOENT);
        EXPECT_TRUE(e.Message().startsWith("System Error.  Code: 2.")) << e.Message().toStdString();
    }
    EXPECT_THROW(OpenNamedMemory(QString(), 0), EOSError);

    const TSharedHandle a = OpenNamedMemory(QString(), 64);
    const TSharedHandle b = OpenNamedMemory(QString(), 64);
    auto* va = static_cast<char*>(MapNamedMemory(a));
    auto* vb = static_cast<char*>(MapNamedMemory(b));
    ASSERT_TRUE(va && vb);
    EXPECT_NE(va, vb);
    // A forked child writes through the unnamed block it inherited.
    Child child([&] {
        va[0] = 'c';
        return 'Y';
    });
    EXPECT_EQ(child.Result(), 'Y');
    EXPECT_EQ(va[0], 'c');
    EXPECT_EQ(vb[0], 0);
    UnmapNamedMemory(va);
    UnmapNamedMemory(vb);
    CloseNamedObject(a);
    CloseNamedObject(b);
}

TEST_F(SharedObjectsRegistryTest, BadHandlesFailWithoutHarm)
{
    EXPECT_FALSE(CloseNamedObject(0));
    EXPECT_FALSE(CloseNamedObject(987654321));
    EXPECT_EQ(MapNamedMemory(987654321), nullptr);
    EXPECT_FALSE(UnmapNamedMemory(reinterpret_cast<void*>(0x1000)));
    EXPECT_FALSE(SetNamedEvent(987654321));
    EXPECT_EQ(WaitNamedObject(987654321, 0), TWaitResult::wrFailed);
    EXPECT_EQ(WaitNamedEvents({}, 0), TWaitResult::wrFailed);
    // A mutex is no event, an event no memory block.
    const TSharedHandle mutex = OpenNamedMutex(Unique("kind-m"));
    const TSharedHandle event = OpenNamedEvent(Unique("kind-e"), false);
    EXPECT_FALSE(SetNamedEvent(mutex));
    EXPECT_EQ(WaitNamedEvents({event, mutex}, 0), TWaitResult::wrFailed);
    EXPECT_EQ(MapNamedMemory(event), nullptr);
    EXPECT_FALSE(ReleaseNamedMutex(event));
    CloseNamedObject(mutex);
    CloseNamedObject(event);
    EXPECT_FALSE(CloseNamedObject(mutex)); // closed twice
}

// Every error of an open is the system's own, naming what failed, and no
// open leaves a descriptor behind. A create that the user's own folder
// refuses (made 0500) says EACCES. A mended open (an event's file of the
// user's own without the owner's rights, held by another process) and a
// refused one (a file of the user's own open to its group) leave the
// process as many descriptors as before; a FIFO of the user's own without
// rights at an object's name is neither given rights nor opened. With one,
// two or three descriptors free, a process's first open (its folder chosen,
// the wake-up block and the event made), one that first mends its folder
// (0300), and one that mends an event's file each work or fail with EMFILE
// naming what they failed at, never with EACCES or EAGAIN.
TEST_F(SharedObjectsRegistryTest, EveryErrorOfAnOpenIsTheSystemsOwn)
{
    const TLifetimeUser user;
    if (Withheld(user.RightsWithheld()))
        return;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("errors", a);
    const QByteArray denied = "error 13 System Error.  Code: 13. Permission denied ";

    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    ASSERT_EQ(chmod(runtime.Path.constData(), 0500), 0);
    EXPECT_EQ(p->Ask("memory m 64", 20000), denied + runtime.File(a, "M-m"));
    ASSERT_EQ(chmod(runtime.Path.constData(), 0700), 0);

    const QByteArray before = p->Ask("descriptors", 20000);
    int held = HeldFile(runtime.File(a, "E-mended"), a, 0400);
    EXPECT_EQ(p->Ask("event mended", 20000), "event clear");
    EXPECT_EQ(ModeAndOwner(runtime.File(a, "E-mended")), "100600 " + QByteArray::number(a));
    EXPECT_EQ(p->Ask("close mended", 20000), "closed");
    close(held);
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a mended open";
    held = HeldFile(runtime.File(a, "E-group"), a, 0070);
    EXPECT_EQ(p->Ask("event group", 20000), denied + runtime.File(a, "E-group"));
    close(held);
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a refused open";
    const QByteArray fifo = runtime.File(a, "X-fifo");
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    ASSERT_EQ(lchown(fifo.constData(), a, a), 0);
    ASSERT_EQ(chmod(fifo.constData(), 0), 0);
    EXPECT_EQ(p->Ask("mutex fifo", 20000), denied + fifo);
    EXPECT_EQ(ModeAndOwner(fifo), "10000 " + QByteArray::number(a));
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a FIFO refused";
    unlink(fifo.constData());
    EXPECT_EQ(p->Finish(20000), 0);

    struct TRoad {
        const char* Name;
        mode_t Folder;  // the folder's mode before the open
        bool EventFile; // the event's file is there, held, without its owner's rights
    };
    const TRoad roads[] = {
        {"a first open", 0700, false},
        {"a first open that mends its folder", 0300, false},
        {"an open that mends the event's file", 0700, true},
    };
    for (const TRoad& road : roads) {
        for (const int free : {1, 2, 3}) {
            SCOPED_TRACE(QStringLiteral("%1, %2 descriptors free")
                             .arg(QLatin1String(road.Name))
                             .arg(free)
                             .toStdString());
            for (const QByteArray& name : NamesIn(runtime.Path))
                unlink((runtime.Path + '/' + name).constData());
            ASSERT_EQ(chmod(runtime.Path.constData(), road.Folder), 0);
            auto q = Script(a, runtime);
            int eventFile = -1;
            if (road.EventFile) {
                ASSERT_EQ(q->Ask("mutex first", 20000), "mutex taken");
                eventFile = HeldFile(runtime.File(a, "E-e"), a, 0400);
            }
            const QByteArray answer = q->Ask("tight " + QByteArray::number(free) + " event e", 20000);
            if (answer != "event clear") {
                EXPECT_TRUE(answer.startsWith("error 24 System Error.  Code: 24. Too many open files " +
                                              runtime.Path))
                    << answer.constData();
            }
            EXPECT_EQ(q->Ask("event e", 20000), "event clear");
            EXPECT_EQ(q->Ask("folder", 20000), "folder " + runtime.Path);
            if (eventFile >= 0)
                close(eventFile);
            EXPECT_EQ(q->Finish(20000), 0);
        }
    }
}

} // namespace
