// The readers of values that JsonScan has no typed read for, and the virtual
// server object of the "virtual-servers" answers.

#include "json/RecordReaders.h"

namespace hnasjson {

bool readValue(JsonScan& scan, JsonValue& value, std::vector<std::string>& out) {
    bool strings = true;
    const bool isArray = scan.elements(value, [&](JsonValue& element) {
        if (!strings) {
            scan.skip(element);
            return;
        }
        out.emplace_back();
        strings = scan.read(element, out.back());
    });
    return isArray && strings;
}

bool readValue(JsonScan& scan, JsonValue& value, long long& out) {
    int number = 0;
    if (!scan.read(value, number)) {
        return false;
    }
    out = number; // saturated to 32 bits, then widened
    return true;
}

bool readRecord(JsonScan& scan, JsonValue& value, __HNASVirtualServers& server) {
    using R = __HNASVirtualServers;
    static constexpr std::string_view kKeys[] = {
        "UUID", "isEnabled",       "name",       "objectId", "status",
        "type", "virtualServerId", "ipAddresses"};
    return readMembers<&R::UUID, &R::isEnabled, &R::name, &R::objectId, &R::status, &R::type,
                       &R::virtualServerId, &R::ipAddresses>(scan, value, kKeys, server);
}

} // namespace hnasjson
