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
        s.fail("finding the virtual server " + JsonWriter::quote(evs));
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
    std::cerr << "hnasctl: no virtual server with the number, name or address " << evs << '\n';
    return false;
}

int reportExists(Session& s, const std::string& what, bool present, bool failed) {
    if (failed) {
        return s.fail(what);
    }
    if (s.json()) {
        JsonWriter json(std::cout);
        json.beginObject().field("exists", present).endObject();
    } else {
        std::cout << (present ? "present" : "absent") << '\n';
    }
    return present ? 0 : 1;
}

void reportDone(Session& s, const std::string& message) {
    if (s.json()) {
        JsonWriter json(std::cout);
        json.beginObject().field("ok", true).field("message", message).endObject();
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
                   if (s.json()) {
                       JsonWriter json(std::cout);
                       writeJson(json, info);
                   } else {
                       printTable(std::cout, info);
                   }
                   return 0;
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
                   if (s.json()) {
                       writeJsonArray(std::cout, servers);
                   } else {
                       printTable(std::cout, servers);
                   }
                   return 0;
               }};
    });

    auto show = evs->add_subcommand("show", "Find a virtual server by its name or IP address");
    auto name = std::make_shared<std::string>();
    show->add_option("NAME_OR_IP", *name, "Name or IPv4 address (exact match)")->required();
    show->callback([&sel, name] {
        requireNonEmpty("NAME_OR_IP", *name);
        sel = {"evs show", [name](Session& s) {
                   __HNASVirtualServers server;
                   s.begin();
                   if (!s.hnas().getVirtualServerInfo(*name, server)) {
                       return s.fail("evs show");
                   }
                   if (s.json()) {
                       JsonWriter json(std::cout);
                       writeJson(json, server);
                   } else {
                       printTable(std::cout, server);
                   }
                   return 0;
               }};
    });
}

} // namespace hnasctl
