// info, evs list, evs show.

#include <iostream>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "Checks.h"
#include "Commands.h"
#include "RecordOutput.h"

namespace hnasctl {

bool findVirtualServer(Session& s, const std::string& evs, __HNASVirtualServers& server) {
    const bool isNumber = !evs.empty() && evs.find_first_not_of("0123456789") == std::string::npos;
    if (!isNumber) {
        if (s.hnas().getVirtualServerInfo(evs, server)) {
            return true;
        }
        s.fail("finding the virtual server " + quoted(evs));
        return false;
    }
    std::vector<__HNASVirtualServers> servers;
    if (!s.hnas().getVirtualServers(servers)) {
        s.fail("listing the virtual servers");
        return false;
    }
    for (const auto& candidate : servers) {
        if (std::to_string(candidate.virtualServerId) == evs) {
            server = candidate;
            return true;
        }
    }
    // A virtual server may be named with digits only.
    if (s.hnas().getVirtualServerInfo(evs, server)) {
        return true;
    }
    printError("no virtual server with the number, name or address " + evs);
    return false;
}

void printResult(Session& s, const std::string& text,
                 const std::function<void(JsonWriter&)>& members) {
    if (s.json()) {
        JsonWriter json = jsonWriter();
        members(json.beginObject());
        printJson(std::cout, json.endObject());
    } else {
        std::cout << printable(text) << '\n';
    }
}

int reportExists(Session& s, const std::string& what, bool present, bool failed) {
    if (failed) {
        return s.fail(what);
    }
    printResult(s, present ? "present" : "absent",
                [&](JsonWriter& json) { json.member("exists", present); });
    return present ? 0 : 1;
}

void addParallelOption(CLI::App* command, unsigned& parallel) {
    command
        ->add_option("--parallel", parallel,
                     "Requests in flight at once while walking the listing (1 to 64)")
        ->check(CLI::Range(1u, 64u))
        ->capture_default_str();
}

void reportDone(Session& s, const std::string& message) {
    printResult(s, message,
                [&](JsonWriter& json) { json.member("ok", true).member("message", message); });
}

int warnSkipped(const std::string& what, const std::string& noun, const std::string& failed,
                const std::vector<__HNASSkippedItem>& names) {
    if (names.empty()) {
        return 0;
    }
    constexpr size_t kMostNamed = 20;
    std::string list;
    for (size_t i = 0; i < names.size() && i < kMostNamed; ++i) {
        list += (i ? ", " : "") + names[i].name +
                (names[i].reason.empty() ? "" : " (" + names[i].reason + ")");
    }
    if (names.size() > kMostNamed) {
        list += " and " + std::to_string(names.size() - kMostNamed) + " more";
    }
    printError("warning: " + what + " " + std::to_string(names.size()) + " " + noun +
               (names.size() == 1 ? "" : "s") + " " + failed + ": " + list +
               " (run with -v for details)");
    return 1;
}

void reportDeletion(Session& s, bool deleted, const std::string& message) {
    printResult(s, message, [&](JsonWriter& json) {
        json.member("ok", true).member("deleted", deleted).member("message", message);
    });
}

CLI::App* addCommandGroup(CLI::App& parent, const std::string& name, const std::string& description,
                          Selection& sel, std::initializer_list<CommandAdder> adders) {
    auto* group = parent.add_subcommand(name, description);
    group->require_subcommand(1);
    for (CommandAdder add : adders) {
        add(group, sel);
    }
    return group;
}

namespace {

void addEvsListCommand(CLI::App* evs, Selection& sel) {
    evs->add_subcommand("list", "List the virtual servers")->callback([&sel] {
        sel = showing<std::vector<__HNASVirtualServers>>(
            "evs list",
            [](RkManageHNAS& hnas, auto& servers) { return hnas.getVirtualServers(servers); });
    });
}

void addEvsShowCommand(CLI::App* evs, Selection& sel) {
    auto* showCommand =
        evs->add_subcommand("show", "Find a virtual server by its name or IP address");
    auto name = std::make_shared<std::string>();
    showCommand->add_option("NAME_OR_IP", *name, "Name or IPv4 address (exact match)")->required();
    showCommand->callback([&sel, name] {
        requireNonEmpty("NAME_OR_IP", *name);
        sel = showing<__HNASVirtualServers>("evs show", [name](RkManageHNAS& hnas, auto& server) {
            return hnas.getVirtualServerInfo(*name, server);
        });
    });
}

} // namespace

void addDeviceCommands(CLI::App& app, Selection& sel) {
    app.add_subcommand("info", "Show the array's identity and health")->callback([&sel] {
        sel = showing<__HNASStorageSubSystemInfo>(
            "info", [](RkManageHNAS& hnas, auto& info) { return hnas.getFileDevice(info); });
    });
    addCommandGroup(app, "evs", "Virtual servers (EVS)", sel,
                    {addEvsListCommand, addEvsShowCommand});
}

} // namespace hnasctl
