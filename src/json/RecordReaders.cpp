// The virtual server object of the "virtual-servers" answers.

#include "json/RecordReaders.h"

#include <string_view>

namespace hnasjson {

bool readRecord(JsonScan& scan, JsonValue& value, __HNASVirtualServers& server) {
    static constexpr std::string_view kKeys[] = {
        "UUID", "isEnabled",       "name",       "objectId", "status",
        "type", "virtualServerId", "ipAddresses"};
    return scan.fields(value, kKeys, [&](std::size_t i, JsonValue& v) {
        switch (i) {
        case 0:
            return scan.read(v, server.UUID);
        case 1:
            return scan.read(v, server.isEnabled);
        case 2:
            return scan.read(v, server.name);
        case 3:
            return scan.read(v, server.objectId);
        case 4:
            return scan.read(v, server.status);
        case 5:
            return scan.read(v, server.type);
        case 6:
            return scan.read(v, server.virtualServerId);
        default: {
            bool strings = true;
            const bool isArray = scan.elements(v, [&](JsonValue& element) {
                if (!strings) {
                    scan.skip(element);
                    return;
                }
                server.ipAddresses.emplace_back();
                strings = scan.read(element, server.ipAddresses.back());
            });
            return isArray && strings;
        }
        }
    }) == allOf(kKeys);
}

} // namespace hnasjson
