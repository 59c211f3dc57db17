#pragma once
// Runs a test's rows in a forked child inside a user namespace, as rootless
// containers and sandboxes run the program: there every user and group the
// namespace does not map reads as the overflow id (65534), and the
// namespace's capabilities look like rights over files they do not cover.
#include <QString>

#include <optional>
#include <sys/types.h>
#include <vector>

enum class TNamespaceLayout {
    AsRoot,    // the user as the namespace's root, nothing else mapped (unshare -U -r)
    AsItself,  // the user keeping its own id, nothing else mapped
    Container, // the user as root, and the namespace's 65534 standing for a
               // made-up id (a rootless container's nobody); needs root
};

// Where a table's rows run: outside any namespace (no layout), or in one.
struct TPlace {
    const char* Name;
    std::optional<TNamespaceLayout> Layout;
};

// The places a test runs its rows: outside, then the layouts this machine
// allows: all three where the test acts as made-up users (madeUpUsers), the
// first two as itself otherwise, none where no user namespace can be made.
// notTried says which were left out and why, for the test's skip (empty
// where none was).
std::vector<TPlace> PlacesToRun(bool madeUpUsers, QString& notTried);

// The id 65534 stands for in the container layout.
uid_t NamespaceNobody();

// Makes this process (a forked child) the user uid of group gid, a member
// of groups, where it is not that user already (root becomes it), and then,
// where place has a layout, has it enter a user namespace of that layout:
// an empty text, or why it could not.
QString BecomeUserAt(const TPlace& place, uid_t uid, gid_t gid, const std::vector<gid_t>& groups = {});
