// snapshot create, list, list-all, exists, delete, recover.

#include <iostream>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "Checks.h"
#include "Commands.h"
#include "RecordOutput.h"

namespace hnasctl {

namespace {

// Name filter used by "list-all"; the default of the other subcommands too.
const char* const kDefaultFilter = "RKHNAS";

struct SnapshotArgs {
    std::string fs;
    std::string name;
    std::string filter = kDefaultFilter;
    std::string searchId = "hnasctl";
    std::string objectId;
};

void addFilterOption(CLI::App* app, SnapshotArgs& a) {
    app->add_option("--filter", a.filter,
                    "Name filter of the snapshot listing, sent to the gateway")
        ->capture_default_str();
}

// After a walk over every file system: names on stderr the file systems whose
// snapshots could not be listed; returns the exit status (1 when there are).
int warnUnlisted(const Session& s) {
    const std::string prefix = "Unable to get File System Snapshots for File System[";
    const std::vector<std::string> lines = s.linesStartingWith(prefix);
    if (lines.empty()) {
        return 0;
    }
    std::string labels;
    for (const auto& line : lines) {
        labels += (labels.empty() ? "" : ", ") +
                  line.substr(prefix.size(), line.size() - prefix.size() - 1);
    }
    printError("warning: the snapshots of " + std::to_string(lines.size()) + " file system" +
               (lines.size() == 1 ? "" : "s") + " could not be listed: " + labels +
               " (run with -v for details)");
    return 1;
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
    auto* c = snap->add_subcommand("list", "List the snapshots of a file system");
    c->add_option("--fs", a->fs, "ID of the file system")->required();
    addFilterOption(c, *a);
    c->callback([&sel, a] {
        requirePathSegment("--fs", a->fs);
        requirePathSegment("--filter", a->filter);
        sel = showing<std::vector<__HNASFileSystemSnapshot>>(
            "snapshot list", [a](RkManageHNAS& hnas, auto& snapshots) {
                return hnas.getFileSystemSnapshots(a->fs, a->filter, snapshots);
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
                   return warnUnlisted(s);
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
        requirePathSegment("--filter", a->filter);
        sel = {"snapshot exists", [a](Session& s) {
                   s.begin();
                   const bool present = s.hnas().isSnapshotPresent(a->fs, a->name, a->filter);
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
                  "display name (--fs, --name; a snapshot already gone counts as deleted)");
    auto* id = c->add_option("--id", a->objectId, "Object ID of the snapshot");
    auto* fs = c->add_option("--fs", a->fs, "ID of the file system");
    auto* name = c->add_option("--name", a->name, "Display name (exact, case-sensitive)");
    addFilterOption(c, *a);
    id->excludes(fs)->excludes(name);
    fs->needs(name);
    name->needs(fs);
    c->callback([&sel, a, id] {
        if (id->count()) {
            requirePathSegment("--id", a->objectId);
        } else {
            if (a->fs.empty() || a->name.empty()) {
                throw UsageError("snapshot delete needs --id, or --fs with --name");
            }
            requirePathSegment("--fs", a->fs);
            requirePathSegment("--filter", a->filter);
        }
        sel = {"snapshot delete", [a](Session& s) {
                   s.begin();
                   if (!a->objectId.empty()) {
                       if (!s.hnas().deleteFileSystemSnapshot(a->objectId)) {
                           return s.fail("snapshot delete");
                       }
                       reportDone(s, "Deleted snapshot " + a->objectId + ".");
                       return 0;
                   }
                   __HNASFileSystemSnapshot snapshot;
                   snapshot.filesystemId = a->fs;
                   snapshot.displayName = a->name;
                   if (!s.hnas().deleteFileSystemSnapshot(snapshot, a->filter)) {
                       return s.fail("snapshot delete");
                   }
                   reportDone(s,
                              "Snapshot " + a->name + " of file system " + a->fs + " is deleted.");
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
