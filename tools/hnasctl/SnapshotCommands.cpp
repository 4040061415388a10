// snapshot create, list, list-all, exists, delete, recover.

#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "Checks.h"
#include "Commands.h"
#include "RecordOutput.h"

namespace hnasctl {

namespace {

// Name filter used by "list-all", and by the other subcommands when neither
// --filter nor a usable --name gives one.
const char* const kDefaultFilter = "RKHNAS";

struct SnapshotArgs {
    std::string fs;
    std::string name;
    std::string filter;
    std::string searchId = "hnasctl";
    std::string objectId;
    CLI::Option* filterOption = nullptr;
};

void addFilterOption(CLI::App* app, SnapshotArgs& a) {
    a.filterOption = app->add_option(
        "--filter", a.filter,
        std::string("Name filter of the snapshot listing, sent to the gateway, which lists only "
                    "the snapshots it selects (default: the --name given, up to its first "
                    "character that cannot go into a URL path; without --name, ") +
            kDefaultFilter + ")");
}

// The name filter sent with the listing: --filter when given, else the
// display name up to its first character that cannot be part of a path
// segment (the gateway selects by the filter, so a name that starts with it
// is listed), else the default.
std::string listingFilter(const SnapshotArgs& a) {
    if (a.filterOption != nullptr && a.filterOption->count() > 0) {
        return a.filter;
    }
    const size_t end = std::find_if(a.name.begin(), a.name.end(),
                                    [](char ch) {
                                        const unsigned char c = static_cast<unsigned char>(ch);
                                        return c <= ' ' || c == 0x7f || c == '/' || c == '?' ||
                                               c == '#' || c == '%' || c == '\\';
                                    }) -
                       a.name.begin();
    const std::string prefix = a.name.substr(0, end);
    return prefix.empty() || prefix == "." || prefix == ".." ? kDefaultFilter : prefix;
}

// The listed snapshots whose display name is exactly `name`.
std::vector<__HNASFileSystemSnapshot> named(std::vector<__HNASFileSystemSnapshot> snapshots,
                                            const std::string& name) {
    snapshots.erase(std::remove_if(snapshots.begin(), snapshots.end(),
                                   [&](const auto& s) { return s.displayName != name; }),
                    snapshots.end());
    return snapshots;
}

void addCreateCommand(CLI::App* snap, Selection& sel) {
    auto a = std::make_shared<SnapshotArgs>();
    auto* c = snap->add_subcommand("create", "Create a snapshot of a file system");
    c->add_option("--fs", a->fs, "ID of the file system")->required();
    c->add_option("--name", a->name, "Display name of the new snapshot")->required();
    c->add_option("--search-id", a->searchId, "Search identifier stored with the snapshot")
        ->capture_default_str();
    c->callback([&sel, a] {
        requireNonEmpty("--fs", a->fs);
        requireNonEmpty("--name", a->name);
        requireNonEmpty("--search-id", a->searchId);
        sel = showing<__HNASFileSystemSnapshot>(
            "snapshot create", [a](RkManageHNAS& hnas, auto& snapshot) {
                return hnas.createFileSystemSnapshot(jsonContent(a->name), jsonContent(a->fs),
                                                     jsonContent(a->searchId), snapshot);
            });
    });
}

void addListCommand(CLI::App* snap, Selection& sel) {
    auto a = std::make_shared<SnapshotArgs>();
    auto* c = snap->add_subcommand(
        "list", std::string("List the snapshots of a file system that the name filter selects "
                            "(by default ") +
                    kDefaultFilter + ")");
    c->add_option("--fs", a->fs, "ID of the file system")->required();
    c->add_option("--name", a->name, "Only the snapshots of this display name (exact)");
    addFilterOption(c, *a);
    c->callback([&sel, a] {
        requirePathSegment("--fs", a->fs);
        const std::string filter = listingFilter(*a);
        requirePathSegment("--filter", filter);
        sel = showing<std::vector<__HNASFileSystemSnapshot>>(
            "snapshot list", [a, filter](RkManageHNAS& hnas, auto& snapshots) {
                if (!hnas.getFileSystemSnapshots(a->fs, filter, snapshots)) {
                    return false;
                }
                if (!a->name.empty()) {
                    snapshots = named(std::move(snapshots), a->name);
                }
                return true;
            });
    });
}

void addListAllCommand(CLI::App* snap, Selection& sel) {
    auto parallel = std::make_shared<unsigned>(8);
    auto* c = snap->add_subcommand("list-all", std::string("List the snapshots of every file "
                                                           "system under the name filter ") +
                                                   kDefaultFilter);
    addParallelOption(c, *parallel);
    c->callback([&sel, parallel] {
        sel = {"snapshot list-all", [parallel](Session& s) {
                   std::vector<__HNASFileSystemSnapshot> snapshots;
                   s.begin();
                   s.hnas().setParallelRequests(*parallel);
                   if (!s.hnas().getAllSnapshots(snapshots)) {
                       return s.fail("snapshot list-all");
                   }
                   show(s, snapshots);
                   return warnSkipped("the snapshots of", "file system", "could not be listed",
                                      s.hnas().getSkippedItems());
               }};
    });
}

void addExistsCommand(CLI::App* snap, Selection& sel) {
    auto a = std::make_shared<SnapshotArgs>();
    auto* c = snap->add_subcommand("exists",
                                   "Tell whether a file system has a snapshot of this exact name "
                                   "(exit status 0: present, 1: absent or failed)");
    c->add_option("--fs", a->fs, "ID of the file system")->required();
    c->add_option("--name", a->name, "Display name (exact, case-sensitive)")->required();
    addFilterOption(c, *a);
    c->callback([&sel, a] {
        requirePathSegment("--fs", a->fs);
        requireNonEmpty("--name", a->name);
        const std::string filter = listingFilter(*a);
        requirePathSegment("--filter", filter);
        sel = {"snapshot exists", [a, filter](Session& s) {
                   s.begin();
                   const bool present = s.hnas().isSnapshotPresent(a->fs, a->name, filter);
                   // An empty listing or no match is an answer, not a failure.
                   const bool failed =
                       !present && s.logged("Unable to get the File System snapshots list.");
                   return reportExists(s, "snapshot exists", present, failed);
               }};
    });
}

void addDeleteCommand(CLI::App* snap, Selection& sel) {
    auto a = std::make_shared<SnapshotArgs>();
    auto* c = snap->add_subcommand(
        "delete", "Delete a snapshot by its object ID (--id), or by file system and "
                  "display name (--fs, --name: the first listed snapshot of exactly that name; "
                  "when none matches, it says so, deletes nothing and exits with 0)");
    auto* id = c->add_option("--id", a->objectId, "Object ID of the snapshot");
    auto* fs = c->add_option("--fs", a->fs, "ID of the file system");
    auto* name = c->add_option("--name", a->name, "Display name (exact, case-sensitive)");
    addFilterOption(c, *a);
    id->excludes(fs)->excludes(name);
    fs->needs(name);
    name->needs(fs);
    c->callback([&sel, a, id] {
        std::string filter;
        if (id->count()) {
            requirePathSegment("--id", a->objectId);
        } else {
            if (a->fs.empty() || a->name.empty()) {
                throw UsageError("snapshot delete needs --id, or --fs with --name");
            }
            requirePathSegment("--fs", a->fs);
            filter = listingFilter(*a);
            requirePathSegment("--filter", filter);
        }
        sel = {"snapshot delete", [a, filter](Session& s) {
                   s.begin();
                   if (!a->objectId.empty()) {
                       if (!s.hnas().deleteFileSystemSnapshot(a->objectId)) {
                           return s.fail("snapshot delete");
                       }
                       reportDeletion(s, true, "Deleted snapshot " + a->objectId + ".");
                       return 0;
                   }
                   // Whether the name is listed at all is found out here: the
                   // library counts a snapshot it does not find as deleted.
                   std::vector<__HNASFileSystemSnapshot> listed;
                   if (!s.hnas().getFileSystemSnapshots(a->fs, filter, listed)) {
                       return s.fail("snapshot delete");
                   }
                   const std::vector<__HNASFileSystemSnapshot> matches = named(listed, a->name);
                   if (matches.empty()) {
                       reportDeletion(s, false,
                                      "nothing named " + a->name +
                                          " matched (listing filtered by " + filter +
                                          "): nothing was deleted");
                       return 0;
                   }
                   s.begin();
                   if (!s.hnas().deleteFileSystemSnapshot(matches.front().objectId)) {
                       return s.fail("snapshot delete");
                   }
                   reportDeletion(s, true,
                                  "Deleted snapshot " + a->name + " (" + matches.front().objectId +
                                      ") of file system " + a->fs + ".");
                   return 0;
               }};
    });
}

void addRecoverCommand(CLI::App* snap, Selection& sel) {
    auto objectId = std::make_shared<std::string>();
    auto* c = snap->add_subcommand(
        "recover", "Recover a file system from one of its snapshots (the file system "
                   "returns to the snapshot's content)");
    c->add_option("SNAPSHOT_ID", *objectId, "Object ID of the snapshot")->required();
    c->callback([&sel, objectId] {
        requirePathSegment("SNAPSHOT_ID", *objectId);
        sel = {"snapshot recover", [objectId](Session& s) {
                   s.begin();
                   if (!s.hnas().recoverFileSystemSnapshot(*objectId)) {
                       return s.fail("snapshot recover");
                   }
                   reportDone(s, "Recovered the file system from snapshot " + *objectId + ".");
                   return 0;
               }};
    });
}

} // namespace

void addSnapshotCommands(CLI::App& app, Selection& sel) {
    addCommandGroup(app, "snapshot", "File-system snapshots", sel,
                    {addCreateCommand, addListCommand, addListAllCommand, addExistsCommand,
                     addDeleteCommand, addRecoverCommand});
}

} // namespace hnasctl
