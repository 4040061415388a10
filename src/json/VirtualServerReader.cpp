// The virtual server object of the "virtual-servers" answers.

#include "json/VirtualServerReader.h"

#include <string_view>

namespace hnasjson {

bool readVirtualServer(const JsonObject& object, __HNASVirtualServers& server) {
    static constexpr std::string_view kKeys[] = {
        "UUID", "isEnabled",       "name",       "objectId", "status",
        "type", "virtualServerId", "ipAddresses"};
    JsonValue v[8];
    JsonArray addresses;
    if (!object.lookupAll(kKeys, v) || !v[0].toString(server.UUID) ||
        !v[1].toBool(server.isEnabled) || !v[2].toString(server.name) ||
        !v[3].toString(server.objectId) || !v[4].toString(server.status) ||
        !v[5].toString(server.type) || !v[6].toUInt64(server.virtualServerId) ||
        !v[7].toArray(addresses)) {
        return false;
    }
    for (JsonValue element : addresses) {
        server.ipAddresses.emplace_back();
        if (!element.toString(server.ipAddresses.back())) {
            return false;
        }
    }
    return true;
}

} // namespace hnasjson
