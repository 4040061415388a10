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

int reportExists(Session& s, const std::string& what, bool present, bool failed) {
    if (failed) {
        return s.fail(what);
    }
    if (s.json()) {
        JsonWriter json = jsonWriter();
        json.beginObject().member("exists", present).endObject();
        printJson(std::cout, json);
    } else {
        std::cout << (present ? "present" : "absent") << '\n';
    }
    return present ? 0 : 1;
}

void reportDone(Session& s, const std::string& message) {
    if (s.json()) {
        JsonWriter json = jsonWriter();
        json.beginObject().member("ok", true).member("message", message).endObject();
        printJson(std::cout, json);
    } else {
        std::cout << printable(message) << '\n';
    }
}

void addDeviceCommands(CLI::App& app, Selection& sel) {
    app.add_subcommand("info", "Show the array's identity and health")->callback([&sel] {
        sel = {"info", [](Session& s) {
                   __HNASStorageSubSystemInfo info;
                   s.begin();
                   if (!s.hnas().getFileDevice(info)) {
                       return s.fail("info");
                   }
                   return show(s, info);
               }};
    });

    auto* evs = app.add_subcommand("evs", "Virtual servers (EVS)");
    evs->require_subcommand(1);
    evs->add_subcommand("list", "List the virtual servers")->callback([&sel] {
        sel = {"evs list", [](Session& s) {
                   std::vector<__HNASVirtualServers> servers;
                   s.begin();
                   if (!s.hnas().getVirtualServers(servers)) {
                       return s.fail("evs list");
                   }
                   return show(s, servers);
               }};
    });

    auto* showCommand =
        evs->add_subcommand("show", "Find a virtual server by its name or IP address");
    auto name = std::make_shared<std::string>();
    showCommand->add_option("NAME_OR_IP", *name, "Name or IPv4 address (exact match)")->required();
    showCommand->callback([&sel, name] {
        requireNonEmpty("NAME_OR_IP", *name);
        sel = {"evs show", [name](Session& s) {
                   __HNASVirtualServers server;
                   s.begin();
                   if (!s.hnas().getVirtualServerInfo(*name, server)) {
                       return s.fail("evs show");
                   }
                   return show(s, server);
               }};
    });
}

} // namespace hnasctl
