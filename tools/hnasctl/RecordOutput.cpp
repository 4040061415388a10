// JSON objects and table rows for the library's records.

#include "RecordOutput.h"

#include <cstdio>
#include <ctime>
#include <sstream>

#include "Checks.h"

namespace hnasctl {

namespace {

std::string yesNo(bool flag) {
    return flag ? "yes" : "no";
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i ? separator : "") + items[i];
    }
    return out;
}

// A count of bytes for people: IEC units with one decimal ("1.5 GiB"), the
// raw number for CSV.
Cell capacity(unsigned long long bytes) {
    const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof units / sizeof units[0]) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%llu B", bytes);
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    }
    return Cell(text, std::to_string(bytes));
}

// Seconds since 1970 for people: ISO 8601 in UTC ("2025-12-06T00:00:00Z");
// the raw number for CSV. 0 (not reported) shows as nothing.
Cell timestamp(unsigned long long seconds) {
    const std::string raw = std::to_string(seconds);
    const time_t t = static_cast<time_t>(seconds);
    struct tm utc {};
    char text[40];
    if (seconds == 0 || static_cast<unsigned long long>(t) != seconds ||
        gmtime_r(&t, &utc) == nullptr || std::strftime(text, sizeof text, "%FT%TZ", &utc) == 0) {
        return Cell(seconds == 0 ? std::string() : raw, raw);
    }
    return Cell(text, raw);
}

// A directory path with each run of slashes made one ("//a//b" -> "/a/b").
std::string oneSlash(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (c != '/' || out.empty() || out.back() != '/') {
            out += c;
        }
    }
    return out;
}

std::string permissionSummary(const std::vector<__HNASCIFSAuthentication>& entries) {
    std::vector<std::string> parts;
    for (const auto& e : entries) {
        parts.push_back(undoubleBackslashes(e.name) + "=" + std::to_string(e.permission));
    }
    return joined(parts, ", ");
}

// A table with `headers` and the row `row(record)` of each record.
template <typename Record, typename Row>
Table rowsOf(std::vector<std::string> headers, const std::vector<Record>& records, Row row) {
    Table t(std::move(headers));
    for (const auto& record : records) {
        t.addRow(row(record));
    }
    return t;
}

} // namespace

std::string directoryName(const __HNASFileSystemDirectories& directory) {
    return directory.displayName.empty() ? std::string() : directory.displayName.front();
}

// --- JSON ---

void writeJson(JsonWriter& json, const __HNASStorageSubSystemInfo& info) {
    HNASTOOLS_JSON_FIELDS(json.beginObject(), info, name, clusterUUID, firmwareVersion, isCluster,
                          model, nodeCount, storageHealth, vendor)
        .key("licenses")
        .stringArray(info.licenses)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASVirtualServers& server) {
    HNASTOOLS_JSON_FIELDS(json.beginObject(), server, virtualServerId, name, objectId, UUID, status,
                          type, isEnabled)
        .key("ipAddresses")
        .stringArray(server.ipAddresses)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemInfo& fs) {
    HNASTOOLS_JSON_FIELDS(json.beginObject(), fs, filesystemId, label, objectId, status, capacity,
                          usedCapacity, freeCapacity, isReadOnly)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemSnapshot& s) {
    HNASTOOLS_JSON_FIELDS(json.beginObject(), s, objectId, displayName, filesystemId, state,
                          creationReason, creationTime)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASCIFSAuthentication& e) {
    HNASTOOLS_JSON_FIELDS(json.beginObject().member("name", undoubleBackslashes(e.name)), e,
                          encodedName, permission, type)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemShareSettings& s) {
    HNASTOOLS_JSON_FIELDS(json.beginObject(), s, accessConfig, comment, userHomeDirectoryPath,
                          cacheOption, snapshotOption, transferToReplicationTargetSetting,
                          userHomeDirectoryMode, localReadCacheOption, isFollowSymbolicLinks,
                          isFollowGlobalSymbolicLinks, isABEEnabled, isForceFileNameToLowercase,
                          isScanForVirusesEnabled, maxConcurrentUsers)
        .key("cifsAuthentications");
    writeJson(json, s.cifsAuthentications);
    json.endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemShares& share, bool withSettings,
               const std::string& type, std::optional<bool> permissionsRead) {
    json.beginObject();
    if (!type.empty()) {
        json.member("type", type);
    }
    HNASTOOLS_JSON_FIELDS(json, share, name, objectId, shareId, virtualServerId, filesystemId,
                          path);
    if (permissionsRead) {
        json.member("permissionsRead", *permissionsRead);
    }
    if (withSettings) {
        json.key("settings");
        writeJson(json, share.settings);
    }
    json.endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemDirectories& d) {
    json.beginObject()
        .member("name", directoryName(d))
        .member("objectId", d.objectId)
        .key("displayName")
        .stringArray(d.displayName)
        .endObject();
}

// --- tables ---

KeyValueTable tableOf(const __HNASStorageSubSystemInfo& info) {
    return {{"Name", info.name},
            {"Vendor", info.vendor},
            {"Model", info.model},
            {"Firmware", info.firmwareVersion},
            {"Health", info.storageHealth},
            {"Cluster", yesNo(info.isCluster)},
            {"Nodes", std::to_string(info.nodeCount)},
            {"Cluster UUID", info.clusterUUID},
            {"Licenses", joined(info.licenses, ", ")}};
}

KeyValueTable tableOf(const __HNASVirtualServers& s) {
    KeyValueTable t{{"EVS", std::to_string(s.virtualServerId)},
                    {"Name", s.name},
                    {"Status", s.status},
                    {"Enabled", yesNo(s.isEnabled)},
                    {"Type", s.type},
                    {"IP addresses", joined(s.ipAddresses, ", ")},
                    {"Object ID", s.objectId}};
    if (!s.UUID.empty()) {
        t.add("UUID", s.UUID);
    }
    return t;
}

Table tableOf(const std::vector<__HNASVirtualServers>& servers) {
    return rowsOf(
        {"EVS", "NAME", "STATUS", "ENABLED", "TYPE", "IP ADDRESSES", "OBJECT ID"}, servers,
        [](const auto& s) {
            return std::vector<std::string>{
                std::to_string(s.virtualServerId), s.name,    s.status, yesNo(s.isEnabled), s.type,
                joined(s.ipAddresses, ","),        s.objectId};
        });
}

Table tableOf(const std::vector<__HNASFileSystemInfo>& filesystems) {
    return rowsOf(
        {"FILESYSTEM ID", "LABEL", "STATUS", "CAPACITY", "USED", "FREE", "READ-ONLY", "OBJECT ID"},
        filesystems, [](const auto& fs) {
            return std::vector<Cell>{fs.filesystemId,
                                     fs.label,
                                     fs.status,
                                     capacity(fs.capacity),
                                     capacity(fs.usedCapacity),
                                     capacity(fs.freeCapacity),
                                     yesNo(fs.isReadOnly),
                                     fs.objectId};
        });
}

KeyValueTable tableOf(const __HNASFileSystemSnapshot& s) {
    return {{"Name", s.displayName},         {"Object ID", s.objectId},
            {"File system", s.filesystemId}, {"State", s.state},
            {"Reason", s.creationReason},    {"Created", timestamp(s.creationTime)}};
}

Table tableOf(const std::vector<__HNASFileSystemSnapshot>& snapshots) {
    return rowsOf({"NAME", "OBJECT ID", "FILESYSTEM ID", "STATE", "REASON", "CREATED"}, snapshots,
                  [](const auto& s) {
                      return std::vector<Cell>{s.displayName,    s.objectId,
                                               s.filesystemId,   s.state,
                                               s.creationReason, timestamp(s.creationTime)};
                  });
}

Table tableOf(const std::vector<__HNASCIFSAuthentication>& entries) {
    return rowsOf({"NAME", "PERMISSION", "TYPE", "ENCODED NAME"}, entries, [](const auto& e) {
        return std::vector<std::string>{undoubleBackslashes(e.name), std::to_string(e.permission),
                                        e.type, e.encodedName};
    });
}

KeyValueTable tableOf(const __HNASFileSystemShares& s) {
    return {{"Name", s.name},
            {"Object ID", s.objectId},
            {"Share ID", s.shareId},
            {"EVS", std::to_string(s.virtualServerId)},
            {"File system", s.filesystemId},
            {"Path", s.path}};
}

Table tableOf(const std::vector<__HNASFileSystemShares>& shares,
              const std::vector<std::string>& types, bool withPermissions,
              const std::set<std::string>& unread) {
    std::vector<std::string> headers = {"TYPE",          "NAME",   "PATH",
                                        "FILESYSTEM ID", "ACCESS", "OBJECT ID"};
    if (withPermissions) {
        headers.push_back("PERMISSIONS");
    }
    Table t(headers);
    for (size_t i = 0; i < shares.size(); ++i) {
        const auto& s = shares[i];
        std::vector<Cell> row = {types[i],  s.name, s.path, s.filesystemId, s.settings.accessConfig,
                                 s.objectId};
        if (withPermissions) {
            const bool failed = types[i] == "CIFS" && unread.count(s.objectId) > 0;
            row.push_back(failed ? "(unread)" : permissionSummary(s.settings.cifsAuthentications));
        }
        t.addRow(row);
    }
    return t;
}

Table tableOf(const std::vector<__HNASFileSystemDirectories>& directories) {
    return rowsOf({"NAME", "OBJECT ID"}, directories, [](const auto& d) {
        return std::vector<Cell>{oneSlash(directoryName(d)), d.objectId};
    });
}

} // namespace hnasctl
