// The virtual server object of the "virtual-servers" answers.

#include "json/VirtualServerReader.h"

namespace hnasjson {

bool readVirtualServer(const JsonObject& object, __HNASVirtualServers& server) {
    JsonArray addresses;
    if (!object.readString("UUID", server.UUID) ||
        !object.readBool("isEnabled", server.isEnabled) ||
        !object.readString("name", server.name) ||
        !object.readString("objectId", server.objectId) ||
        !object.readString("status", server.status) || !object.readString("type", server.type) ||
        !object.readUInt64("virtualServerId", server.virtualServerId) ||
        !object.readArray("ipAddresses", addresses)) {
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
