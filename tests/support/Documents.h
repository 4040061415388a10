#pragma once

// Builders of the gateway's JSON documents for scripted answers, so that a
// test names only the values it checks.

#include <string>
#include <vector>

namespace hnastest {

// {"<key>": [items]}: a listing document.
inline std::string listJson(const std::string& key, const std::vector<std::string>& items) {
    std::string out = "{\"" + key + "\": [";
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + items[i];
    return out + "]}";
}

inline std::string fileSystemJson(const std::string& objectId, const std::string& label,
                                  const std::string& id, unsigned long long capacity = 1000,
                                  unsigned long long used = 100, bool readOnly = false) {
    return "{\"objectId\": \"" + objectId + "\", \"label\": \"" + label +
           "\", \"filesystemId\": \"" + id + "\", \"status\": \"MOUNTED\", \"capacity\": " +
           std::to_string(capacity) + ", \"usedCapacity\": " + std::to_string(used) +
           ", \"freeCapacity\": " + std::to_string(capacity - used) +
           ", \"isReadOnly\": " + (readOnly ? "true" : "false") + "}";
}

inline std::string snapshotJson(const std::string& objectId, const std::string& displayName,
                                const std::string& filesystemId,
                                unsigned long long creationTime = 1700000000) {
    return "{\"objectId\": \"" + objectId + "\", \"displayName\": \"" + displayName +
           "\", \"filesystemId\": \"" + filesystemId +
           "\", \"state\": \"CREATED\", \"creationReason\": \"USER\", \"creationTime\": " +
           std::to_string(creationTime) + "}";
}

// `path` and `settings` are inserted as JSON text (escape backslashes yourself).
inline std::string shareJson(const std::string& objectId, const std::string& shareId,
                             const std::string& name, int virtualServerId,
                             const std::string& filesystemId, const std::string& path,
                             const std::string& settings = "{}") {
    return "{\"objectId\": \"" + objectId + "\", \"shareId\": \"" + shareId + "\", \"name\": \"" +
           name + "\", \"virtualServerId\": " + std::to_string(virtualServerId) +
           ", \"filesystemId\": \"" + filesystemId + "\", \"path\": \"" + path +
           "\", \"settings\": " + settings + "}";
}

} // namespace hnastest
