// share list, exists, create, delete; share perms get, set, delete.

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include <CLI/CLI.hpp>

#include "Checks.h"
#include "Commands.h"
#include "RecordOutput.h"
#include "ShareSettings.h"

namespace hnasctl {

namespace {

struct ShareArgs {
    std::string evs;
    std::string type;
    std::vector<std::string> names;
    std::string name;
    std::string fs;
    std::string path;
    std::string objectId;
    bool withPermissions = false;
    unsigned parallel = 8;
    ShareSettingsArgs settingsArgs;
};

CLI::Option* addTypeOption(CLI::App* app, std::string& type, const std::string& help) {
    return app->add_option("--type", type, help)
        ->transform(CLI::IsMember({"CIFS", "NFS"}, CLI::ignore_case));
}

CLI::Option* addEvsOption(CLI::App* app, std::string& evs) {
    return app->add_option("--evs", evs, "The virtual server: its name, IP address or EVS number");
}

// Records that ask a listing for the shares of these names.
std::vector<__HNASFileSystemShares> byName(const std::vector<std::string>& names) {
    std::vector<__HNASFileSystemShares> filters(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        filters[i].name = names[i];
    }
    return filters;
}

// One share type's listing, added to `shares` with its type.
bool listShares(Session& s, __HNASVirtualServers& server, const std::string& type,
                const std::vector<std::string>& names, bool withPermissions,
                std::vector<ShareView>& shares) {
    std::vector<__HNASFileSystemShares> found = byName(names);
    if (!s.hnas().getFilesystemShares(server, type, found, withPermissions)) {
        return false;
    }
    if (names.empty() && withPermissions && type == "CIFS" && !found.empty()) {
        // Permissions come with a listing by name: ask again for every share found.
        std::vector<std::string> all;
        for (const auto& share : found) {
            all.push_back(share.name);
        }
        found = byName(all);
        if (!s.hnas().getFilesystemShares(server, type, found, true)) {
            return false;
        }
    }
    for (auto& share : found) {
        shares.push_back({std::move(share), type, std::nullopt});
    }
    return true;
}

// The shares of every type asked for, each with its type. A listing that
// fails ends the command; the CIFS shares whose permission entries could not
// be read are marked and added to `unread`.
bool listAllShares(Session& s, const ShareArgs& a, __HNASVirtualServers& server,
                   std::vector<ShareView>& shares, std::vector<__HNASSkippedItem>& unread) {
    const std::vector<std::string> wanted =
        a.type.empty() ? std::vector<std::string>{"CIFS", "NFS"} : std::vector<std::string>{a.type};
    for (const auto& type : wanted) {
        s.begin();
        const size_t first = shares.size();
        if (!listShares(s, server, type, a.names, a.withPermissions, shares)) {
            return false;
        }
        if (a.withPermissions && type == "CIFS") {
            std::set<std::string> unreadIds;
            for (const auto& item : s.hnas().getSkippedItems()) {
                unreadIds.insert(item.objectId);
                unread.push_back(item);
            }
            for (size_t i = first; i < shares.size(); ++i) {
                shares[i].permissionsRead = unreadIds.count(shares[i].objectId) == 0;
            }
        }
    }
    return true;
}

void addListCommand(CLI::App* share, Selection& sel) {
    auto a = std::make_shared<ShareArgs>();
    auto* c = share->add_subcommand("list", "List the shares of a virtual server");
    addEvsOption(c, a->evs)->required();
    addTypeOption(c, a->type, "Only CIFS or only NFS shares (default: both)");
    c->add_option("--name", a->names,
                  "Only shares of this name (any letter case); repeat for more");
    c->add_flag("--with-perms", a->withPermissions,
                "Show the permission entries of CIFS shares (those that could not be read "
                "show as (unread), are named on stderr, and make the exit status 1)");
    addParallelOption(c, a->parallel);
    c->callback([&sel, a] {
        requireNonEmpty("--evs", a->evs);
        for (const auto& name : a->names) {
            requireNonEmpty("--name", name);
        }
        sel = {"share list", [a](Session& s) {
                   __HNASVirtualServers server;
                   s.begin();
                   if (!findVirtualServer(s, a->evs, server)) {
                       return 1;
                   }
                   s.hnas().setParallelRequests(a->parallel);
                   std::vector<ShareView> shares;
                   std::vector<__HNASSkippedItem> unread;
                   if (!listAllShares(s, *a, server, shares, unread)) {
                       return s.fail("share list");
                   }
                   if (s.json()) {
                       show(s, shares);
                   } else {
                       const std::vector<std::string> without = {"PERMISSIONS"};
                       tableOf(shares, a->withPermissions ? std::vector<std::string>{} : without)
                           .print(std::cout, s.output());
                   }
                   return warnSkipped("the permission entries of", "CIFS share",
                                      "could not be read", unread);
               }};
    });
}

void addExistsCommand(CLI::App* share, Selection& sel) {
    auto a = std::make_shared<ShareArgs>();
    auto* c = share->add_subcommand("exists", "Tell whether a share of this exact name exists "
                                              "(exit status 0: present, 1: absent or failed)");
    addEvsOption(c, a->evs)->required();
    addTypeOption(c, a->type, "Share type")->required();
    c->add_option("--name", a->name, "Share name (exact, case-sensitive)")->required();
    c->callback([&sel, a] {
        requireNonEmpty("--evs", a->evs);
        requireNonEmpty("--name", a->name);
        sel = {"share exists", [a](Session& s) {
                   __HNASVirtualServers server;
                   s.begin();
                   if (!findVirtualServer(s, a->evs, server)) {
                       return 1;
                   }
                   s.begin();
                   const bool present = s.hnas().isSharePresent(a->name, server, a->type);
                   const bool absent = s.logged("Share [" + a->name + "] not found.");
                   return reportExists(s, "share exists", present, !present && !absent);
               }};
    });
}

// Reads back the permission entries of a share just created and reports the
// ones missing; returns the exit status.
int checkPermissions(Session& s, const __HNASFileSystemShares& share,
                     const std::vector<__HNASCIFSAuthentication>& wanted) {
    std::vector<__HNASCIFSAuthentication> applied;
    s.begin();
    const bool read = s.hnas().getCIFSAuthentication(share.objectId, applied);
    std::string missing;
    for (const auto& entry : wanted) {
        bool found = false;
        for (const auto& e : applied) {
            found = found || jsonContent(undoubleBackslashes(e.name)) == entry.name;
        }
        if (!found) {
            missing += " " + undoubleBackslashes(entry.name);
        }
    }
    if (read && missing.empty()) {
        return 0;
    }
    printError("the share was created, but its permission entries were not all applied" +
               (missing.empty() ? std::string() : " (missing:" + missing + ")") +
               "; see: hnasctl share perms get " + share.objectId);
    return 1;
}

void addCreateCommand(CLI::App* share, Selection& sel) {
    auto a = std::make_shared<ShareArgs>();
    auto* c = share->add_subcommand(
        "create", "Create a CIFS or NFS share; a CIFS share's permission entries (--perm or "
                  "the settings file) replace the default entry");
    c->add_option("--name", a->name, "Name of the new share")->required();
    addEvsOption(c, a->evs)->required();
    c->add_option("--fs", a->fs, "ID of the file system")->required();
    c->add_option("--path", a->path, "Directory inside the file system, e.g. /projects")
        ->required();
    addTypeOption(c, a->type, "Share type")->required();
    addShareSettingsOptions(*c, a->settingsArgs);
    c->callback([&sel, a] {
        requireNonEmpty("--name", a->name);
        requireNonEmpty("--evs", a->evs);
        requireNonEmpty("--fs", a->fs);
        requireNonEmpty("--path", a->path);
        auto settings =
            std::make_shared<__HNASFileSystemShareSettings>(buildShareSettings(a->settingsArgs));
        if (a->type != "CIFS" && !settings->cifsAuthentications.empty()) {
            throw UsageError("permission entries apply to CIFS shares only");
        }
        sel = {"share create", [a, settings](Session& s) {
                   __HNASVirtualServers server;
                   s.begin();
                   if (!findVirtualServer(s, a->evs, server)) {
                       return 1;
                   }
                   __HNASFileSystemShares share;
                   share.settings = *settings;
                   const bool withPermissions = !settings->cifsAuthentications.empty();
                   s.begin();
                   if (!s.hnas().createFileSystemShare(jsonContent(a->name),
                                                       std::to_string(server.virtualServerId),
                                                       jsonContent(a->fs), jsonContent(a->path),
                                                       a->type, share, withPermissions)) {
                       return s.fail("share create");
                   }
                   show(s, ShareView{share, "", std::nullopt, false});
                   return withPermissions
                              ? checkPermissions(s, share, settings->cifsAuthentications)
                              : 0;
               }};
    });
}

void addDeleteCommand(CLI::App* share, Selection& sel) {
    auto a = std::make_shared<ShareArgs>();
    auto* c = share->add_subcommand(
        "delete", "Delete a share by its object ID (--id), or by its exact name on a virtual "
                  "server (--name, --evs; when no share has that name, it says so, deletes "
                  "nothing and exits with 0)");
    auto* id = c->add_option("--id", a->objectId, "Object ID of the share");
    auto* name = c->add_option("--name", a->name, "Share name (exact, case-sensitive)");
    auto* evs = addEvsOption(c, a->evs);
    addTypeOption(c, a->type, "Share type")->required();
    id->excludes(name)->excludes(evs);
    name->needs(evs);
    evs->needs(name);
    c->callback([&sel, a, id] {
        if (id->count()) {
            requirePathSegment("--id", a->objectId);
        } else if (a->name.empty() || a->evs.empty()) {
            throw UsageError("share delete needs --id, or --name with --evs");
        }
        sel = {"share delete", [a](Session& s) {
                   s.begin();
                   if (!a->objectId.empty()) {
                       if (!s.hnas().deleteFileSystemShare(a->objectId, a->type)) {
                           return s.fail("share delete");
                       }
                       reportDeletion(s, true,
                                      "Deleted " + a->type + " share " + a->objectId + ".");
                       return 0;
                   }
                   __HNASVirtualServers server;
                   if (!findVirtualServer(s, a->evs, server)) {
                       return 1;
                   }
                   // Whether the name is listed at all is found out here: the
                   // library counts a share it does not find as deleted.
                   std::vector<__HNASFileSystemShares> listed(1);
                   listed[0].name = a->name;
                   s.begin();
                   if (!s.hnas().getFilesystemShares(server, a->type, listed, false)) {
                       return s.fail("share delete");
                   }
                   const auto match =
                       std::find_if(listed.begin(), listed.end(),
                                    [&](const auto& share) { return share.name == a->name; });
                   if (match == listed.end()) {
                       reportDeletion(s, false,
                                      "nothing named " + a->name + " matched (" + a->type +
                                          " shares of " + server.name + "): nothing was deleted");
                       return 0;
                   }
                   s.begin();
                   if (!s.hnas().deleteFileSystemShare(match->objectId, a->type)) {
                       return s.fail("share delete");
                   }
                   reportDeletion(s, true,
                                  "Deleted " + a->type + " share " + a->name + " (" +
                                      match->objectId + ") on " + server.name + ".");
                   return 0;
               }};
    });
}

void addPermsGetCommand(CLI::App* perms, Selection& sel) {
    auto shareId = std::make_shared<std::string>();
    auto* c = perms->add_subcommand("get", "List the permission entries of a CIFS share");
    c->add_option("SHARE_ID", *shareId, "Object ID of the CIFS share")->required();
    c->callback([&sel, shareId] {
        requirePathSegment("SHARE_ID", *shareId);
        sel = showing<std::vector<__HNASCIFSAuthentication>>(
            "share perms get", [shareId](RkManageHNAS& hnas, auto& entries) {
                return hnas.getCIFSAuthentication(*shareId, entries);
            });
    });
}

void addPermsSetCommand(CLI::App* perms, Selection& sel) {
    auto shareId = std::make_shared<std::string>();
    auto settingsArgs = std::make_shared<ShareSettingsArgs>();
    auto* c = perms->add_subcommand("set", "Add permission entries to a CIFS share");
    c->add_option("SHARE_ID", *shareId, "Object ID of the CIFS share")->required();
    c->add_option("--perm", settingsArgs->permissions,
                  "An entry NAME=PERMISSION[,TYPE[,ENCODED_NAME]] (TYPE defaults to "
                  "USER); repeat for more");
    c->add_option("--file", settingsArgs->settingsFile,
                  "JSON file {\"cifsAuthentications\": [{\"name\": ..., \"permission\": "
                  "..., \"type\": ...}]}")
        ->check(CLI::ExistingFile);
    c->callback([&sel, shareId, settingsArgs] {
        requirePathSegment("SHARE_ID", *shareId);
        auto entries = std::make_shared<std::vector<__HNASCIFSAuthentication>>(
            buildShareSettings(*settingsArgs).cifsAuthentications);
        if (entries->empty()) {
            throw UsageError("share perms set needs --perm or --file with entries");
        }
        sel = {"share perms set", [shareId, entries](Session& s) {
                   s.begin();
                   if (!s.hnas().setCIFSAuthentication(*shareId, *entries)) {
                       return s.fail("share perms set");
                   }
                   reportDone(s, "Set " + std::to_string(entries->size()) + " permission entr" +
                                     (entries->size() == 1 ? "y" : "ies") + " on share " +
                                     *shareId + ".");
                   return 0;
               }};
    });
}

// The encoded name of the entry named `name` of a share; empty (reported)
// when there is none or it cannot go into a request.
std::string findEncodedName(Session& s, const std::string& shareId, const std::string& name) {
    std::vector<__HNASCIFSAuthentication> entries;
    if (!s.hnas().getCIFSAuthentication(shareId, entries)) {
        s.fail("share perms delete");
        return std::string();
    }
    for (const auto& e : entries) {
        if (undoubleBackslashes(e.name) != name) {
            continue;
        }
        if (e.encodedName.empty() || e.encodedName.find_first_of("/?#% ") != std::string::npos) {
            printError("share perms delete failed: the entry's encoded name cannot be used in "
                       "a request: " +
                       e.encodedName);
            return std::string();
        }
        return e.encodedName;
    }
    printError("share perms delete failed: share " + shareId + " has no entry named " + name);
    return std::string();
}

void addPermsDeleteCommand(CLI::App* perms, Selection& sel) {
    auto shareId = std::make_shared<std::string>();
    auto encoded = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    auto* c = perms->add_subcommand(
        "delete", "Remove one permission entry of a CIFS share, named by its encoded name "
                  "or by its name");
    c->add_option("SHARE_ID", *shareId, "Object ID of the CIFS share")->required();
    auto* byEncoded =
        c->add_option("--encoded-name", *encoded, "The entry's encoded name (see share perms get)");
    auto* byName = c->add_option("--name", *name, "The entry's user or group name");
    byEncoded->excludes(byName);
    c->callback([&sel, shareId, encoded, name, byEncoded, byName] {
        requirePathSegment("SHARE_ID", *shareId);
        if (byEncoded->count() == 0 && byName->count() == 0) {
            throw UsageError("share perms delete needs --encoded-name or --name");
        }
        if (byEncoded->count()) {
            requirePathSegment("--encoded-name", *encoded);
        } else {
            requireNonEmpty("--name", *name);
        }
        sel = {"share perms delete", [shareId, encoded, name](Session& s) {
                   s.begin();
                   const std::string encodedName =
                       encoded->empty() ? findEncodedName(s, *shareId, *name) : *encoded;
                   if (encodedName.empty()) {
                       return 1;
                   }
                   if (!s.hnas().deleteCIFSAuthentication(*shareId, encodedName)) {
                       return s.fail("share perms delete");
                   }
                   reportDone(s, "Removed the permission entry " +
                                     (name->empty() ? encodedName : *name) + " from share " +
                                     *shareId + ".");
                   return 0;
               }};
    });
}

} // namespace

void addShareCommands(CLI::App& app, Selection& sel) {
    CLI::App* share =
        addCommandGroup(app, "share", "CIFS and NFS shares", sel,
                        {addListCommand, addExistsCommand, addCreateCommand, addDeleteCommand});
    addCommandGroup(*share, "perms", "Permission entries of a CIFS share", sel,
                    {addPermsGetCommand, addPermsSetCommand, addPermsDeleteCommand});
}

} // namespace hnasctl
