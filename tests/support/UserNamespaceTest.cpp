// The places a test runs its rows: PlacesToRun gives every layout it may or
// says why not, and each place it gives is the one its layout names, as a
// child that enters it sees its maps and ids.
#include "tests/support/UserNamespace.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/Privileges.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

using TLayout = std::optional<TNamespaceLayout>;

// A map of this process's user namespace (/proc/self/uid_map or gid_map),
// its lines' fields one blank apart and its lines "; " apart.
QString MapOf(const char* name)
{
    QFile map(QStringLiteral("/proc/self/") + QLatin1String(name));
    if (!map.open(QIODevice::ReadOnly))
        return QStringLiteral("<no %1>").arg(QLatin1String(name));
    QStringList lines;
    for (const QByteArray& line : map.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            lines << QString::fromLatin1(line.simplified());
    return lines.join(QStringLiteral("; "));
}

// What a process sees of its user namespace: its maps and its own ids.
QString Seen(const QString& uidMap, const QString& gidMap, uid_t uid, gid_t gid)
{
    return QStringLiteral("users %1 | groups %2 | ids %3 %4").arg(uidMap, gidMap).arg(uid).arg(gid);
}

QString SeenHere()
{
    return Seen(MapOf("uid_map"), MapOf("gid_map"), ::geteuid(), ::getegid());
}

// What a child that became uid of gid at a place of layout sees there.
QString SeenAtLayout(const TLayout& layout, uid_t uid, gid_t gid)
{
    const auto line = [](unsigned inside, unsigned outside) {
        return QStringLiteral("%1 %2 1").arg(inside).arg(outside);
    };
    const QString nobody = line(65534, NamespaceNobody());
    if (!layout) // this process's own maps
        return Seen(MapOf("uid_map"), MapOf("gid_map"), uid, gid);
    switch (*layout) {
    case TNamespaceLayout::AsRoot:
        return Seen(line(0, uid), line(0, gid), 0, 0);
    case TNamespaceLayout::AsItself:
        return Seen(line(uid, uid), line(gid, gid), uid, gid);
    case TNamespaceLayout::Container:
    case TNamespaceLayout::ContainerNobody: {
        const QString users = line(0, uid) + "; " + line(1, ContainerUser()) + "; " + nobody;
        const QString groups = line(0, gid) + "; " + nobody;
        const unsigned self = *layout == TNamespaceLayout::ContainerNobody ? 65534 : 0;
        return Seen(users, groups, self, self);
    }
    }
    return QString();
}

} // namespace

// PlacesToRun asked each way: outside, then the layouts in their order, each
// once, the container's only for a test that acts as made-up users and its
// nobody only where asked for. Where one it offers is left out notTried says
// why, and only then; a layout the test may have and does not get makes it
// skip with that reason, or with TESSVAR_TEST_ALL_PRIVILEGES=1 fail. Each
// place given, entered by a child as the test's user, shows the maps and ids
// of its layout.
TEST(UserNamespace, PlacesToRunGivesEachLayoutItMayOrSaysWhyNot)
{
    const bool allPrivileges = qEnvironmentVariable("TESSVAR_TEST_ALL_PRIVILEGES") == QLatin1String("1");
    const bool madeUpUsers = MadeUpUsersWithheld().isEmpty();
    const TLayout order[] = {std::nullopt, TNamespaceLayout::AsRoot, TNamespaceLayout::AsItself,
                             TNamespaceLayout::Container, TNamespaceLayout::ContainerNobody};
    const auto name = [](const TLayout& layout) {
        const char* const names[] = {"AsRoot", "AsItself", "Container", "ContainerNobody"};
        return std::string(layout ? names[int(*layout)] : "outside");
    };
    QStringList skipped;
    for (const bool madeUp : {true, false}) {
        for (const bool asNobodyToo : {true, false}) {
            SCOPED_TRACE(std::string(madeUp ? "made-up users" : "its own user") +
                         (asNobodyToo ? ", as nobody too" : ""));
            QString notTried;
            const std::vector<TPlace> places = PlacesToRun(madeUp, notTried, asNobodyToo);
            std::vector<TLayout> offered, wanted, given;
            for (const TLayout& layout : order) {
                const bool container =
                    layout == TNamespaceLayout::Container || layout == TNamespaceLayout::ContainerNobody;
                if (layout == TNamespaceLayout::ContainerNobody && !asNobodyToo)
                    continue;
                offered.push_back(layout);
                if (madeUp || !container)
                    wanted.push_back(layout);
            }
            std::string givenNames;
            for (const TPlace& place : places) {
                given.push_back(place.Layout);
                givenNames += std::string(" [") + place.Name + ": " + name(place.Layout) + ']';
            }
            SCOPED_TRACE("given" + givenNames + "; not tried: " + notTried.toStdString());
            // Given in order, each once, and none the test did not ask for.
            auto next = wanted.begin();
            for (const TLayout& layout : given) {
                next = std::find(next, wanted.end(), layout);
                if (next == wanted.end()) {
                    ADD_FAILURE() << name(layout) << " given out of order, twice or unasked";
                    break;
                }
                ++next;
            }
            // The names of those of layouts that are not given.
            const auto missing = [&](const std::vector<TLayout>& layouts) {
                std::string names;
                for (const TLayout& layout : layouts)
                    if (std::find(given.begin(), given.end(), layout) == given.end())
                        names += ' ' + name(layout);
                return names;
            };
            const std::string leftOut = missing(offered);
            if (!leftOut.empty() && notTried.isEmpty())
                ADD_FAILURE() << "left out without a word why:" << leftOut;
            if (leftOut.empty() && !notTried.isEmpty())
                ADD_FAILURE() << "nothing is left out, yet it says: " << notTried.toStdString();
            if (!missing(wanted).empty() && !notTried.isEmpty()) {
                if (allPrivileges)
                    ADD_FAILURE() << "left out, where TESSVAR_TEST_ALL_PRIVILEGES=1 says every privilege is "
                                     "there:"
                                  << missing(wanted) << " (" << notTried.toStdString() << ')';
                else
                    skipped << notTried;
            }
            // As the test would, a made-up user where it acts as one.
            const uid_t uid = madeUp && madeUpUsers ? MadeUpId(kFirstFreeSlot) : ::geteuid();
            const gid_t gid = madeUp && madeUpUsers ? gid_t(uid) : ::getegid();
            for (const TPlace& place : places) {
                SCOPED_TRACE(place.Name);
                EXPECT_EQ(RunInChild([&] { return BecomeUserAt(place, uid, gid); }, SeenHere).toStdString(),
                          SeenAtLayout(place.Layout, uid, gid).toStdString());
            }
        }
    }
    if (!skipped.isEmpty()) {
        skipped.removeDuplicates();
        GTEST_SKIP() << skipped.join(QStringLiteral("; ")).toStdString();
    }
}
