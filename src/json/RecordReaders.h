#pragma once

// Readers of one record from one JSON value, shared by the listings and the
// single-record messages. Each consumes the value and returns true when the
// value is an object carrying every key the record requires, with its type.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "hnasmgmt/json/HNASRecords.h"
#include "json/JsonScan.h"

namespace hnasjson {

// Reads `value` by the type of `out`: JsonScan's typed reads; for a list of
// texts, the strings of an array appended to it (false when the value is not
// an array or one of its elements is not a string); for a share's virtual
// server number, a number read as an int and widened.
template <typename T> bool readValue(JsonScan& scan, JsonValue& value, T& out) {
    return scan.read(value, out);
}
bool readValue(JsonScan& scan, JsonValue& value, std::vector<std::string>& out);
bool readValue(JsonScan& scan, JsonValue& value, long long& out);

// Reads `value` into the i-th of the record's Members, by its type.
template <auto... Members, typename Record>
bool readMember(JsonScan& scan, std::size_t i, JsonValue& value, Record& record) {
    std::size_t k = 0;
    bool read = false;
    auto readAt = [&](auto& member) {
        if (k++ == i) {
            read = readValue(scan, value, member);
        }
    };
    (readAt(record.*Members), ...);
    return read;
}

// Reads the object `value` into the record: the first member named keys[i]
// into the i-th of Members. True when every key was read.
template <auto... Members, typename Record, std::size_t N>
bool readMembers(JsonScan& scan, JsonValue& value, const std::string_view (&keys)[N],
                 Record& record) {
    static_assert(N == sizeof...(Members), "one member for each key");
    return scan.fields(value, keys, [&](std::size_t i, JsonValue& v) {
        return readMember<Members...>(scan, i, v, record);
    }) == allOf(keys);
}

// "isReadOnly", "capacity", "freeCapacity", "usedCapacity", "filesystemId",
// "label", "objectId", "status": all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemInfo& record);
// "displayName", "filesystemId", "objectId", "state", "creationReason",
// "creationTime": all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemSnapshot& record);
// "settings" (an object) and "virtualServerId", "filesystemId", "objectId",
// "shareId", "name", "path" are required; of the settings, "accessConfig",
// "localReadCacheOption", "snapshotOption" and
// "transferToReplicationTargetSetting" are read when they hold strings.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemShares& record);
// "objectId" is required; of a "displayName" array the first element is
// taken (required to be a string).
bool readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemDirectories& record);
// "name" (stored with every backslash doubled), "encodedName", "type",
// "permission": all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASCIFSAuthentication& record);
// "UUID", "isEnabled", "name", "objectId", "status", "type",
// "virtualServerId" and "ipAddresses" (appended to the record's addresses):
// all required.
bool readRecord(JsonScan& scan, JsonValue& value, __HNASVirtualServers& record);

} // namespace hnasjson
