#pragma once
// Runs a test's rows in a forked child inside a user namespace, as rootless
// containers and sandboxes run the program: there every user and group the
// namespace does not map reads as the overflow id (65534), and the
// namespace's capabilities look like rights over files they do not cover.
#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

enum class TNamespaceLayout {
    AsRoot,          // the user as the namespace's root, nothing else mapped (unshare -U -r)
    AsItself,        // the user keeping its own id, nothing else mapped
    Container,       // the user as root, the namespace's 65534 standing for a
                     // made-up id (a rootless container's nobody), and its user 1
                     // for another, whose group it does not map; needs root
    ContainerNobody, // in that namespace, the process turned its nobody,
                     // whose own files read as every unmapped one does
};

// Where a table's rows run: outside any namespace (no layout), or in one.
struct TPlace {
    const char* Name;
    std::optional<TNamespaceLayout> Layout;
};

// The places a test runs its rows: outside, then the layouts this machine
// allows: the first three where the test acts as made-up users
// (madeUpUsers), with asNobodyToo the fourth, the first two as itself
// otherwise, none where no user namespace can be made. notTried says which
// were left out and why, for the test's skip (empty where none was).
std::vector<TPlace> PlacesToRun(bool madeUpUsers, QString& notTried, bool asNobodyToo = false);

// Makes this process (a forked child, root) first do first (answering as
// this does) and then enter a user namespace whose maps are uidMap and
// gidMap (lines of "inside outside count"): maps of several lines, which
// only a writer with CAP_SETUID outside may write, as newuidmap does for a
// rootless container, are written by a helper forked while this process is
// still root. An empty text, or why it could not.
QString EnterMappedNamespace(const QByteArray& uidMap, const QByteArray& gidMap,
                             const std::function<QString()>& first = {});

// The ids 65534 and 1 stand for in the container layout.
uid_t NamespaceNobody();
uid_t ContainerUser();

// Makes this process (a forked child) the user uid of group gid, a member
// of groups, where it is not that user already (root becomes it), and then,
// where place has a layout, has it enter a user namespace of that layout
// (and there become its nobody, for ContainerNobody, which then owns what
// it makes): an empty text, or why it could not. Where place has a layout,
// inNamespace (answering as this does) runs once the namespace is entered,
// with its capabilities, before the process becomes its nobody: a mount
// namespace of its own, for instance.
QString BecomeUserAt(const TPlace& place, uid_t uid, gid_t gid, const std::vector<gid_t>& groups = {},
                     const std::function<QString()>& inNamespace = {});
