// fs list, fs id, fs evs.

#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "Checks.h"
#include "Commands.h"
#include "RecordOutput.h"

namespace hnasctl {

namespace {

struct FsIdArgs {
    std::string label;
    std::string share;
    std::string evs;
    std::string type = "CIFS";
};

void addListCommand(CLI::App* fs, Selection& sel) {
    auto* list = fs->add_subcommand("list", "List the file systems (or one, with --id)");
    auto id = std::make_shared<std::string>();
    list->add_option("--id", *id, "Show only the file system with this ID");
    list->callback([&sel, id] {
        if (!id->empty()) {
            requirePathSegment("--id", *id);
        }
        sel = showing<std::vector<__HNASFileSystemInfo>>(
            "fs list", [id](RkManageHNAS& hnas, auto& filesystems) {
                return hnas.getFileSystemsInfo(*id, filesystems);
            });
    });
}

void addIdCommand(CLI::App* fs, Selection& sel) {
    auto* fsid = fs->add_subcommand(
        "id", "Find a file system's ID by its label (--label), or by a share on a virtual "
              "server (--share, --evs, --type); names match whatever their letter case");
    auto a = std::make_shared<FsIdArgs>();
    auto* label = fsid->add_option("--label", a->label, "The file system's label");
    auto* share = fsid->add_option("--share", a->share, "Name of a share on the file system");
    auto* evs = fsid->add_option("--evs", a->evs,
                                 "Virtual server of the share: name, IP or "
                                 "EVS number");
    fsid->add_option("--type", a->type, "Share type")
        ->transform(CLI::IsMember({"CIFS", "NFS"}, CLI::ignore_case))
        ->capture_default_str();
    label->excludes(share);
    share->needs(evs);
    evs->needs(share);
    fsid->callback([&sel, a, label, share] {
        if (label->count() == 0 && share->count() == 0) {
            throw UsageError("fs id needs --label, or --share with --evs");
        }
        if (label->count()) {
            requireNonEmpty("--label", a->label);
        } else {
            requireNonEmpty("--share", a->share);
            requireNonEmpty("--evs", a->evs);
        }
        sel = {"fs id", [a](Session& s) {
                   std::string filesystemId;
                   s.begin();
                   bool ok = false;
                   if (!a->label.empty()) {
                       ok = s.hnas().getFileSystemID(a->label, filesystemId);
                   } else {
                       __HNASVirtualServers server;
                       if (!findVirtualServer(s, a->evs, server)) {
                           return 1;
                       }
                       s.begin();
                       ok = s.hnas().getFileSystemID(server, a->share, a->type, filesystemId);
                   }
                   if (!ok) {
                       // Not found is no failure of the listing.
                       if (!a->label.empty() && !s.logged("Unable to get the File Systems list.")) {
                           printError("fs id: no file system with the label " + a->label);
                           return 1;
                       }
                       return s.fail("fs id");
                   }
                   printResult(s, filesystemId, [&](JsonWriter& json) {
                       json.member("filesystemId", filesystemId);
                   });
                   return 0;
               }};
    });
}

void addEvsCommand(CLI::App* fs, Selection& sel) {
    auto* fsevs = fs->add_subcommand("evs", "Show the number of the virtual server that serves "
                                            "a file system");
    auto fsId = std::make_shared<std::string>();
    fsevs->add_option("FILESYSTEM_ID", *fsId, "The file system's ID")->required();
    fsevs->callback([&sel, fsId] {
        requirePathSegment("FILESYSTEM_ID", *fsId);
        sel = {"fs evs", [fsId](Session& s) {
                   unsigned long long evsId = 0;
                   s.begin();
                   if (!s.hnas().getEVSIdAssociatedWithFileSystemID(*fsId, evsId)) {
                       return s.fail("fs evs");
                   }
                   printResult(s, std::to_string(evsId), [&](JsonWriter& json) {
                       json.member("filesystemId", *fsId).member("virtualServerId", evsId);
                   });
                   return 0;
               }};
    });
}

} // namespace

void addFileSystemCommands(CLI::App& app, Selection& sel) {
    addCommandGroup(app, "fs", "File systems", sel, {addListCommand, addIdCommand, addEvsCommand});
}

} // namespace hnasctl
