// How a folder for the objects is judged, and what ends the choice: a set
// XDG_RUNTIME_DIR that cannot be used is passed over for its reason, said
// once in a warning that names the folder in use; a failure of the
// process's own (no descriptor left, no memory, the disk) ends the choice at
// the folder it failed at, without a warning and without passing the folder
// over, and the next open chooses again.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"
#include "tests/support/UserNamespace.h"

#include <QScopeGuard>
#include <gtest/gtest.h>

#include <climits>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// A set XDG_RUNTIME_DIR that is refused (another user's folder) sends the
// objects to /dev/shm/tessvar-<uid>, or to a later folder of its series
// where another user holds that name: said once per process, naming the
// folder in use. The user's own folder, or none set, is taken silently.
TEST_F(SharedObjectsFolderTest, ARefusedRuntimeFolderIsSaidOnceAndTheFolderInUseIsNamed)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(3);
    const uid_t other = MadeUpUid(2);
    const QByteArray fallback = FolderOf(uid);
    const QByteArray own = "/tmp/tessvar-own-" + QByteArray::number(getpid());
    RemoveFolderOf(uid);
    const auto removed = qScopeGuard([=] {
        RemoveFolder(own);
        RemoveObjectFoldersOf(uid, other);
        RemoveFolderOf(uid);
    });
    ASSERT_EQ(mkdir(own.constData(), 0700), 0);
    ASSERT_EQ(chown(own.constData(), uid, uid), 0);
    struct Row {
        int line;
        const char* runtime; // null: not set
        QByteArray inUse;
        bool said;
        bool held; // another user's folder at the first name of the series
    };
    const Row rows[] = {
        {1, "/tmp", fallback, true, false},
        {2, own.constData(), own, false, false},
        {3, nullptr, fallback, false, false},
        {4, "/tmp", ObjectFolderOf(uid, 1), true, true},
    };
    static int said;
    static QString text;
    for (const Row& row : rows) {
        if (row.held) {
            RemoveFolderOf(uid);
            ASSERT_EQ(mkdir(fallback.constData(), 0700), 0);
            ASSERT_EQ(chown(fallback.constData(), other, other), 0);
        }
        EXPECT_EQ(AsUser(uid,
                         [&] {
                             qInstallMessageHandler(
                                 [](QtMsgType, const QMessageLogContext&, const QString& message) {
                                     ++said;
                                     text = message;
                                 });
                             if (row.runtime)
                                 setenv("XDG_RUNTIME_DIR", row.runtime, 1);
                             else
                                 unsetenv("XDG_RUNTIME_DIR");
                             for (int i = 0; i < 3; ++i) {
                                 CloseNamedObject(OpenNamedEvent(QStringLiteral("said"), false));
                                 CloseNamedObject(OpenNamedMutex(QStringLiteral("said")));
                             }
                             if (SharedObjectsFolder() != QString::fromLocal8Bit(row.inUse))
                                 return 1;
                             if (said != (row.said ? 1 : 0))
                                 return 2;
                             const QString named =
                                 QStringLiteral(
                                     "The folder %1 of XDG_RUNTIME_DIR belongs to another user; this "
                                     "process keeps its shared objects in %2.")
                                     .arg(QLatin1String(row.runtime ? row.runtime : ""),
                                          QString::fromLocal8Bit(row.inUse));
                             return !row.said || text == named ? 0 : 3;
                         }),
                  0)
            << "row " << row.line;
    }
}

// A set XDG_RUNTIME_DIR that cannot be used is passed over, and the warning
// says why, naming the setting as judged (without trailing slashes) and the
// folder in use: it does not exist, is a file, a FIFO or a link (to a
// private folder of the user's, however it is spelt: two processes that
// spell it apart meet), has a file where its path needs a folder (told
// apart from a file at the name itself, which the open refuses alike with
// ENOTDIR), is another user's (open, or closed to the user),
// is open to others, is relative, or has a name too long for the system (a
// part of 300 bytes, or more than PATH_MAX in all). A private folder of the
// user's own is used without a word, with or without a trailing slash.
TEST_F(SharedObjectsFolderTest, ARuntimeFolderThatCannotBeUsedIsPassedOverForItsReason)
{
    const TLifetimeUser user;
    if (Withheld(user.RightsWithheld()))
        return;
    const uid_t a = user.Uid;
    const TRuntimeFolder base("reasons", a, 0755);
    // The folders made in base go before it, which removes only files.
    const auto removed = qScopeGuard([&] {
        for (const char* folder : {"/own", "/open", "/others"})
            RemoveFolder(base.Path + folder);
    });
    const QByteArray own = base.Path + "/own";
    ASSERT_EQ(mkdir(own.constData(), 0700), 0);
    ASSERT_EQ(chown(own.constData(), a, a), 0);
    const QByteArray open = base.Path + "/open";
    ASSERT_EQ(mkdir(open.constData(), 0755), 0);
    ASSERT_EQ(chown(open.constData(), a, a), 0);
    ASSERT_EQ(chmod(open.constData(), 0755), 0);
    const QByteArray file = base.Path + "/file";
    close(HeldFile(file, a, 0600));
    const QByteArray fifo = base.Path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    ASSERT_EQ(lchown(fifo.constData(), a, a), 0);
    const QByteArray link = base.Path + "/link";
    ASSERT_EQ(symlink(own.constData(), link.constData()), 0);
    ASSERT_EQ(lchown(link.constData(), a, a), 0);
    QByteArray beyondPathMax = "/tmp";
    while (beyondPathMax.size() <= PATH_MAX)
        beyondPathMax += "/x";
    struct TRow {
        QByteArray Setting;
        QByteArray Judged; // the folder the warning names; empty where none is given
        const char* Reason;
    };
    std::vector<TRow> rows{
        {base.Path + "/missing", base.Path + "/missing", "does not exist"},
        {file, file, "is not a folder (a link is not followed)"},
        {file + "/run", file + "/run", "has a file where its path needs a folder"},
        {fifo + "/run/", fifo + "/run", "has a file where its path needs a folder"},
        {fifo, fifo, "is not a folder (a link is not followed)"},
        {link, link, "is not a folder (a link is not followed)"},
        {link + '/', link, "is not a folder (a link is not followed)"},
        {link + "//", link, "is not a folder (a link is not followed)"},
        {"/", "/", "belongs to another user"},
        {open, open, "is open to others"},
        {"relative/run", "relative/run", "is not an absolute path"},
        {"/tmp/" + QByteArray(300, 'x'), "/tmp/" + QByteArray(300, 'x'),
         "has a name too long for the system"},
        {beyondPathMax, beyondPathMax, "has a name too long for the system"},
        {own, {}, nullptr},
        {own + '/', {}, nullptr},
    };
    if (a != geteuid()) {
        const QByteArray others = base.Path + "/others";
        ASSERT_EQ(mkdir(others.constData(), 0700), 0);
        ASSERT_EQ(chown(others.constData(), MadeUpUid(2), MadeUpUid(2)), 0);
        rows.push_back({others, others, "belongs to another user"});
    }
    QByteArray fallback;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Setting.left(200).constData());
        auto p =
            Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(row.Setting)});
        QByteArray answer = p->Ask("event e", 20000);
        QByteArray warning;
        if (answer.startsWith("warning ")) {
            warning = answer;
            answer = p->ReadLine(20000);
        }
        EXPECT_EQ(answer.toStdString(), "event clear");
        const QByteArray folder = p->Ask("folder", 20000).mid(7);
        if (row.Reason) {
            if (fallback.isEmpty())
                fallback = folder;
            EXPECT_EQ(folder.toStdString(), fallback.toStdString());
            EXPECT_EQ(warning.toStdString(),
                      ("warning The folder " + row.Judged + " of XDG_RUNTIME_DIR " + row.Reason +
                       "; this process keeps its shared objects in " + folder + '.')
                          .toStdString());
        } else {
            EXPECT_EQ(folder.toStdString(), own.toStdString());
            EXPECT_EQ(warning.toStdString(), "");
        }
        EXPECT_EQ(p->Ask("event f", 20000).toStdString(), "event clear"); // said once
        EXPECT_EQ(p->Finish(20000), 0);
    }
    EXPECT_TRUE(fallback.startsWith("/dev/shm/tessvar-" + QByteArray::number(a))) << fallback.constData();

    // The link spelt two ways: the two processes meet.
    auto p = Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(link)});
    auto q = Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(link) + '/'});
    const QByteArray name = Unique("spelt").toUtf8();
    EXPECT_TRUE(p->Ask("event " + name, 20000).startsWith("warning "));
    EXPECT_EQ(p->ReadLine(20000), "event clear");
    EXPECT_TRUE(q->Ask("event " + name, 20000).startsWith("warning "));
    EXPECT_EQ(q->ReadLine(20000), "event clear");
    EXPECT_EQ(q->Ask("set " + name, 20000), "done");
    EXPECT_EQ(p->Ask("wait " + name + " 5000", 20000), "signaled");
    EXPECT_EQ(q->Finish(20000), 0);
    EXPECT_EQ(p->Finish(20000), 0);
}

// XDG_RUNTIME_DIR is a folder of the user's own without its owner's rights
// (0500, 0000) on a read-only file system, where the mend that would give
// them is refused for good (EROFS): as the open folder is mended (root, or
// 0500 for the user) and as the folder the user may not open is mended
// before its open (0000 for a user whose rights bind it). The folder is
// passed over, as a read-only folder always is, with the warning giving the
// reason and naming the series' folder in /dev/shm, which is used: an
// EROFS taken for the process's own failure would fail every open of the
// user, and one taken for a folder the user may not open would give the
// wrong reason. Run outside any namespace as root and as a made-up user,
// and in a user namespace of its own, as its root and as the user itself
// (whose rights bind it there); each with a /dev/shm of its own.
TEST_F(SharedObjectsFolderTest, AReadOnlyRuntimeFolderWithoutItsOwnersRightsIsPassedOver)
{
    struct TRow {
        TPlace Place;
        uid_t Uid;   // the user the peer runs as, outside
        uid_t Shown; // its id as the peer sees it
        QString Withheld;
    };
    const QString mountWithheld = MountNamespaceWithheld();
    const QString madeUpWithheld = MadeUpUsersWithheld();
    const QString namespacesWithheld = UserNamespacesWithheld();
    const uid_t user = madeUpWithheld.isEmpty() ? MadeUpUid(1) : geteuid();
    const TRow rows[] = {
        {{"as root", std::nullopt},
         0,
         0,
         geteuid() != 0 ? ProbeAnswer(QStringLiteral("root"), QStringLiteral("this process is not root"))
                        : mountWithheld},
        {{"as a made-up user", std::nullopt},
         MadeUpUid(1),
         MadeUpUid(1),
         !mountWithheld.isEmpty() ? mountWithheld : madeUpWithheld},
        {{"in a user namespace, as its root", TNamespaceLayout::AsRoot}, user, 0, namespacesWithheld},
        {{"in a user namespace, as the user itself", TNamespaceLayout::AsItself},
         user,
         user,
         namespacesWithheld},
    };
    const QByteArray mountPoint = "/tmp/tessvar-ro-" + QByteArray::number(getpid());
    const QByteArray runtime = mountPoint + "/run";
    ASSERT_EQ(mkdir(mountPoint.constData(), 0755), 0) << mountPoint.constData();
    ASSERT_EQ(chmod(mountPoint.constData(), 0755), 0);
    const auto removed = qScopeGuard([&] { rmdir(mountPoint.constData()); });
    QStringList notTried;
    for (const TRow& row : rows) {
        if (!row.Withheld.isEmpty()) {
            notTried << QStringLiteral("%1 (%2)").arg(QLatin1String(row.Place.Name), row.Withheld);
            continue;
        }
        for (const mode_t mode : {mode_t(0500), mode_t(0000)}) {
            SCOPED_TRACE(QStringLiteral("%1, mode %2")
                             .arg(QLatin1String(row.Place.Name))
                             .arg(mode, 4, 8, QLatin1Char('0'))
                             .toStdString());
            const auto setUp = [&] {
                QString failure = OwnRuntimeTmpfs(mountPoint, "mode=0755", row.Shown, mode, true);
                return failure.isEmpty() ? OwnDevShm("mode=1777") : failure;
            };
            const auto become = [&] {
                if (row.Place.Layout)
                    return BecomeUserAt(row.Place, row.Uid, row.Uid, {}, setUp);
                const QString failure = setUp();
                return failure.isEmpty() ? BecomeUserAt(row.Place, row.Uid, row.Uid) : failure;
            };
            auto p = Script(row.Uid, row.Place, become,
                            {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(runtime)});
            const QByteArray series = "/dev/shm/tessvar-" + QByteArray::number(uint(row.Shown));
            QByteArray answer = p->Ask("event e", 20000);
            QByteArray warning;
            if (answer.startsWith("warning ")) {
                warning = answer;
                answer = p->ReadLine(20000);
            }
            EXPECT_EQ(warning.toStdString(),
                      ("warning The folder " + runtime +
                       " of XDG_RUNTIME_DIR lacks its owner's rights, which the system refuses to give it (a "
                       "read-only or immutable folder); this process keeps its shared objects in " +
                       series + '.')
                          .toStdString());
            EXPECT_EQ(answer.toStdString(), "event clear");
            EXPECT_EQ(p->Ask("event f", 20000).toStdString(), "event clear"); // said once
            EXPECT_EQ(p->Ask("folder", 20000).toStdString(), ("folder " + series).toStdString());
            EXPECT_EQ(p->Finish(20000), 0);
        }
    }
    if (!notTried.isEmpty())
        GTEST_SKIP() << "not tried " << notTried.join(QStringLiteral("; ")).toStdString();
}

// The warning that a set XDG_RUNTIME_DIR is passed over names the folder in
// use: where the setting is refused (relative, or missing) and the series
// then fails for the process's own reason (no descriptor left, EMFILE, at
// its first name: the kernel's own in the first case, a tracer's in the
// second, where the open of the missing setting would meet the full table
// first), no folder is in use. The open fails naming the series' folder,
// with no warning, which would name an empty folder and be given up for the
// process; the next open, which finds the folder, gives it, naming it.
TEST_F(SharedObjectsFolderTest, NoFallbackIsSaidWhereTheSeriesFailedForTheProcesssOwnReason)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const QByteArray first = ObjectFolderOf(a, 0);
    {
        SCOPED_TRACE("a relative setting, the descriptor table full");
        auto p = Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=relative/run")});
        EXPECT_EQ(p->Ask("tight 0 event e", 20000).toStdString(),
                  ("error 24 System Error.  Code: 24. Too many open files " + first).toStdString());
        QByteArray answer = p->Ask("event e", 20000);
        QByteArray warning;
        if (answer.startsWith("warning ")) {
            warning = answer;
            answer = p->ReadLine(20000);
        }
        EXPECT_EQ(answer.toStdString(), "event clear");
        const QByteArray folder = p->Ask("folder", 20000).mid(7);
        EXPECT_TRUE(folder.startsWith(first)) << folder.constData();
        EXPECT_EQ(warning.toStdString(),
                  ("warning The folder relative/run of XDG_RUNTIME_DIR is not an absolute path; this process "
                   "keeps its shared objects in " +
                   folder + '.')
                      .toStdString());
        EXPECT_EQ(p->Finish(20000), 0);
    }
    QStringList notTried;
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        notTried << withheld;
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        notTried << withheld;
    if (!notTried.isEmpty())
        GTEST_SKIP() << "a missing setting not tried: " << notTried.join(QStringLiteral("; ")).toStdString();
    SCOPED_TRACE("a missing setting, EMFILE at the series");
    const QByteArray missing = "/tmp/tessvar-missing-" + QByteArray::number(getpid());
    TTracedChild child([&] {
        static int said = 0;
        static QString text;
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            ++said;
            text = message;
        });
        BecomeWithoutRuntime(a);
        setenv("XDG_RUNTIME_DIR", missing.constData(), 1);
        if (OpenNamedEvent(QStringLiteral("e"), false) != 0)
            _exit(2);
        const EOSError failed = LastSharedObjectError();
        if (failed.ErrorCode != EMFILE ||
            failed.Message() != QStringLiteral("System Error.  Code: %1.\n%2\n%3")
                                    .arg(EMFILE)
                                    .arg(qt_error_string(EMFILE), QString::fromLocal8Bit(first)))
            _exit(3);
        if (said != 0)
            _exit(4);
        if (OpenNamedEvent(QStringLiteral("e"), false) == 0)
            _exit(5);
        const QString expected =
            QStringLiteral("The folder %1 of XDG_RUNTIME_DIR does not exist; this process "
                           "keeps its shared objects in %2.")
                .arg(QString::fromLocal8Bit(missing), QString::fromLocal8Bit(first));
        if (said != 1 || text != expected)
            _exit(6);
    });
    ASSERT_TRUE(child.Refused().isEmpty()) << child.Refused().toStdString();
    ASSERT_TRUE(child.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_openat && call.TextAt(call.Argument(1)) == first;
    })) << "no open of "
        << first.constData();
    if (!child.FailCall(EMFILE))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    EXPECT_EQ(child.Finish(), 0);
}

// Where its descriptor table is full at its first open of a named object,
// a process fails with EMFILE naming the user's folder, which is there, and
// makes no name of the series; once its descriptors are free, its next open
// chooses again and works in the user's folder. The same where the folder
// is XDG_RUNTIME_DIR (the process is not sent to /dev/shm, away from its
// peers), and for a user that a namespace of its own shows as root beside
// the real root's folder, where another user's namespace still starts
// afterwards.
TEST_F(SharedObjectsFolderTest, AFullDescriptorTableEndsTheChoiceOfFolderAndTheNextOpenChoosesAgain)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    const uid_t b = MadeUpUid(2);
    const QByteArray runtime = "/tmp/tessvar-run-" + QByteArray::number(getpid());
    const auto clear = [=] {
        RemoveFolderOf(a);
        RemoveObjectFoldersOf(0, a);
        RemoveObjectFoldersOf(0, b);
        RemoveFolder(runtime);
    };
    const auto cleared = qScopeGuard(clear);
    struct TRow {
        TPlace Place;
        bool Runtime; // XDG_RUNTIME_DIR is a private folder of A's
    };
    QString notTried;
    std::vector<TRow> rows{{{"outside a user namespace", std::nullopt}, false},
                           {{"with XDG_RUNTIME_DIR the user's own", std::nullopt}, true}};
    if (const QString withheld = UserNamespacesWithheld(); withheld.isEmpty())
        rows.push_back({{"as a user namespace's root", TNamespaceLayout::AsRoot}, false});
    else
        notTried = withheld;
    for (const TRow& row : rows) {
        const TPlace& place = row.Place;
        SCOPED_TRACE(place.Name);
        const uid_t shown = place.Layout ? 0 : a; // the uid A's processes have
        clear();
        const auto ownedByA = [&] {
            QList<QByteArray> folders;
            struct stat st {};
            for (int n = 0; n < kObjectFolderSeries; ++n)
                if (lstat(ObjectFolderOf(shown, n).constData(), &st) == 0 && st.st_uid == a)
                    folders << ObjectFolderOf(shown, n);
            return folders;
        };
        // The user's folder is there: A's own, or the real root's (made
        // where missing, as a run of root's leaves it, and never removed).
        const QByteArray first = row.Runtime ? runtime : ObjectFolderOf(shown, 0);
        struct stat st {};
        if (lstat(first.constData(), &st) != 0) {
            ASSERT_EQ(mkdir(first.constData(), 0700), 0);
            ASSERT_EQ(chown(first.constData(), row.Runtime ? a : shown, row.Runtime ? a : shown), 0);
        }
        const QList<QByteArray> before = ownedByA();
        const QStringList environment =
            row.Runtime ? QStringList{"XDG_RUNTIME_DIR=" + QString::fromLocal8Bit(runtime)} : QStringList{};
        auto p = Script(a, place, {}, environment);
        EXPECT_EQ(p->Ask("tight 0 event e", 20000),
                  "error 24 System Error.  Code: 24. Too many open files " + first);
        EXPECT_EQ(ownedByA(), before);
        EXPECT_EQ(p->Ask("event e", 20000), "event clear");
        const QByteArray folder = p->Ask("folder", 20000).mid(7);
        if (!place.Layout) {
            EXPECT_EQ(folder, first);
            EXPECT_EQ(ownedByA(), before);
        } else {
            EXPECT_EQ(ownedByA(), QList<QByteArray>{folder});
            EXPECT_EQ(ModeAndOwner(folder), "40700 " + QByteArray::number(a));
            auto q = Script(b, place);
            EXPECT_EQ(q->Ask("event e", 20000), "event clear");
            const QByteArray other = q->Ask("folder", 20000).mid(7);
            EXPECT_TRUE(other.startsWith(first + '.')) << other.constData();
            EXPECT_NE(other, folder);
            EXPECT_EQ(ModeAndOwner(other), "40700 " + QByteArray::number(b));
            EXPECT_EQ(q->Finish(20000), 0);
        }
        EXPECT_EQ(p->Finish(20000), 0);
    }
    if (!notTried.isEmpty())
        GTEST_SKIP() << "not tried in a user namespace: " << notTried.toStdString();
}

// XDG_RUNTIME_DIR is a folder of the user's own without the owner's rights
// (0300), and a process has one descriptor free at its first open: the mend
// gives the folder its rights, but the open fails for want of a descriptor
// (EMFILE, naming the folder), with no warning and no folder made in
// /dev/shm. Its next open uses the folder, where another process of the
// user meets it.
TEST_F(SharedObjectsFolderTest, AMendThatFailsForWantOfADescriptorEndsTheChoiceAtTheRuntimeFolder)
{
    const TLifetimeUser user;
    if (Withheld(user.RightsWithheld()))
        return;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("mend", a, 0300);
    auto p = Script(a, runtime);
    EXPECT_EQ(p->Ask("tight 1 event e", 20000),
              "error 24 System Error.  Code: 24. Too many open files " + runtime.Path);
    if (a != geteuid()) {
        struct stat st {};
        EXPECT_NE(lstat(ObjectFolderOf(a, 0).constData(), &st), 0); // nothing made in /dev/shm
    }
    EXPECT_EQ(p->Ask("event e", 20000), "event clear");
    EXPECT_EQ(p->Ask("folder", 20000), "folder " + runtime.Path);
    EXPECT_EQ(ModeAndOwner(runtime.Path), "40700 " + QByteArray::number(a));
    auto q = Script(a, runtime);
    EXPECT_EQ(q->Ask("event e", 20000), "event clear");
    EXPECT_EQ(q->Ask("set e", 20000), "done");
    EXPECT_EQ(p->Ask("wait e 5000", 20000), "signaled");
    EXPECT_EQ(q->Finish(20000), 0);
    EXPECT_EQ(p->Finish(20000), 0);
}

// The open of the user's folder fails for want of memory (ENOMEM) or by the
// disk (EIO), as a tracer makes it fail: the process's open fails with
// that error naming the folder and makes no further folder, and its next
// open uses the folder.
TEST_F(SharedObjectsFolderTest, AFolderThatFailsToOpenForWantOfMemoryOrByTheDiskEndsTheChoice)
{
    if (Withheld(MadeUpUsersWithheld, TracingWithheld, TracedMemoryWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    const QByteArray folder = ObjectFolderOf(a, 0);
    KeepFolderClean(a);
    for (const int error : {ENOMEM, EIO}) {
        SCOPED_TRACE(error);
        RemoveFolderOf(a);
        ASSERT_EQ(mkdir(folder.constData(), 0700), 0);
        ASSERT_EQ(chown(folder.constData(), a, a), 0);
        TTracedChild child([&] {
            BecomeWithoutRuntime(a);
            if (OpenNamedEvent(QStringLiteral("e"), false) != 0)
                _exit(2);
            const EOSError failed = LastSharedObjectError();
            const QString expected = QStringLiteral("System Error.  Code: %1.\n%2\n%3")
                                         .arg(error)
                                         .arg(qt_error_string(error), QString::fromLocal8Bit(folder));
            if (failed.ErrorCode != error || failed.Message() != expected)
                _exit(3);
            if (SomethingAt(ObjectFolderOf(a, 1)))
                _exit(4);
            if (OpenNamedEvent(QStringLiteral("e"), false) == 0 ||
                SharedObjectsFolder() != QString::fromLocal8Bit(folder))
                _exit(5);
        });
        ASSERT_TRUE(child.Refused().isEmpty()) << child.Refused().toStdString();
        const bool opening = child.RunTo([&](const TTracedChild& call) {
            return call.Call() == SYS_openat && call.TextAt(call.Argument(1)) == folder;
        });
        ASSERT_TRUE(opening) << "no open of " << folder.constData();
        if (!child.FailCall(error))
            GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
        EXPECT_EQ(child.Finish(), 0);
    }
}

} // namespace
