// JSON objects and table rows for the library's records.

#include "RecordOutput.h"

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

std::string permissionSummary(const std::vector<__HNASCIFSAuthentication>& entries) {
    std::vector<std::string> parts;
    for (const auto& e : entries) {
        parts.push_back(undoubleBackslashes(e.name) + "=" + std::to_string(e.permission));
    }
    return joined(parts, ", ");
}

} // namespace

std::string directoryName(const __HNASFileSystemDirectories& directory) {
    return directory.displayName.empty() ? std::string() : directory.displayName.front();
}

// --- JSON ---

void writeJson(JsonWriter& json, const __HNASStorageSubSystemInfo& info) {
    json.beginObject()
        .member("name", info.name)
        .member("clusterUUID", info.clusterUUID)
        .member("firmwareVersion", info.firmwareVersion)
        .member("isCluster", info.isCluster)
        .member("model", info.model)
        .member("nodeCount", info.nodeCount)
        .member("storageHealth", info.storageHealth)
        .member("vendor", info.vendor)
        .key("licenses")
        .stringArray(info.licenses)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASVirtualServers& server) {
    json.beginObject()
        .member("virtualServerId", server.virtualServerId)
        .member("name", server.name)
        .member("objectId", server.objectId)
        .member("UUID", server.UUID)
        .member("status", server.status)
        .member("type", server.type)
        .member("isEnabled", server.isEnabled)
        .key("ipAddresses")
        .stringArray(server.ipAddresses)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemInfo& fs) {
    json.beginObject()
        .member("filesystemId", fs.filesystemId)
        .member("label", fs.label)
        .member("objectId", fs.objectId)
        .member("status", fs.status)
        .member("capacity", fs.capacity)
        .member("usedCapacity", fs.usedCapacity)
        .member("freeCapacity", fs.freeCapacity)
        .member("isReadOnly", fs.isReadOnly)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemSnapshot& s) {
    json.beginObject()
        .member("objectId", s.objectId)
        .member("displayName", s.displayName)
        .member("filesystemId", s.filesystemId)
        .member("state", s.state)
        .member("creationReason", s.creationReason)
        .member("creationTime", s.creationTime)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASCIFSAuthentication& e) {
    json.beginObject()
        .member("name", undoubleBackslashes(e.name))
        .member("encodedName", e.encodedName)
        .member("permission", e.permission)
        .member("type", e.type)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemShareSettings& s) {
    json.beginObject()
        .member("accessConfig", s.accessConfig)
        .member("comment", s.comment)
        .member("userHomeDirectoryPath", s.userHomeDirectoryPath)
        .member("cacheOption", s.cacheOption)
        .member("snapshotOption", s.snapshotOption)
        .member("transferToReplicationTargetSetting", s.transferToReplicationTargetSetting)
        .member("userHomeDirectoryMode", s.userHomeDirectoryMode)
        .member("localReadCacheOption", s.localReadCacheOption)
        .member("isFollowSymbolicLinks", s.isFollowSymbolicLinks)
        .member("isFollowGlobalSymbolicLinks", s.isFollowGlobalSymbolicLinks)
        .member("isABEEnabled", s.isABEEnabled)
        .member("isForceFileNameToLowercase", s.isForceFileNameToLowercase)
        .member("isScanForVirusesEnabled", s.isScanForVirusesEnabled)
        .member("maxConcurrentUsers", s.maxConcurrentUsers);
    json.key("cifsAuthentications").beginArray();
    for (const auto& e : s.cifsAuthentications) {
        writeJson(json, e);
    }
    json.endArray().endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemShares& share, bool withSettings,
               const std::string& type) {
    json.beginObject();
    if (!type.empty()) {
        json.member("type", type);
    }
    json.member("name", share.name)
        .member("objectId", share.objectId)
        .member("shareId", share.shareId)
        .member("virtualServerId", share.virtualServerId)
        .member("filesystemId", share.filesystemId)
        .member("path", share.path);
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
    KeyValueTable t;
    t.add("Name", info.name);
    t.add("Vendor", info.vendor);
    t.add("Model", info.model);
    t.add("Firmware", info.firmwareVersion);
    t.add("Health", info.storageHealth);
    t.add("Cluster", yesNo(info.isCluster));
    t.add("Nodes", std::to_string(info.nodeCount));
    t.add("Cluster UUID", info.clusterUUID);
    t.add("Licenses", joined(info.licenses, ", "));
    return t;
}

KeyValueTable tableOf(const __HNASVirtualServers& s) {
    KeyValueTable t;
    t.add("EVS", std::to_string(s.virtualServerId));
    t.add("Name", s.name);
    t.add("Status", s.status);
    t.add("Enabled", yesNo(s.isEnabled));
    t.add("Type", s.type);
    t.add("IP addresses", joined(s.ipAddresses, ", "));
    t.add("Object ID", s.objectId);
    if (!s.UUID.empty()) {
        t.add("UUID", s.UUID);
    }
    return t;
}

Table tableOf(const std::vector<__HNASVirtualServers>& servers) {
    Table t({"EVS", "NAME", "STATUS", "ENABLED", "TYPE", "IP ADDRESSES", "OBJECT ID"});
    for (const auto& s : servers) {
        t.addRow({std::to_string(s.virtualServerId), s.name, s.status, yesNo(s.isEnabled), s.type,
                  joined(s.ipAddresses, ","), s.objectId});
    }
    return t;
}

Table tableOf(const std::vector<__HNASFileSystemInfo>& filesystems) {
    Table t(
        {"FILESYSTEM ID", "LABEL", "STATUS", "CAPACITY", "USED", "FREE", "READ-ONLY", "OBJECT ID"});
    for (const auto& fs : filesystems) {
        t.addRow({fs.filesystemId, fs.label, fs.status, std::to_string(fs.capacity),
                  std::to_string(fs.usedCapacity), std::to_string(fs.freeCapacity),
                  yesNo(fs.isReadOnly), fs.objectId});
    }
    return t;
}

KeyValueTable tableOf(const __HNASFileSystemSnapshot& s) {
    KeyValueTable t;
    t.add("Name", s.displayName);
    t.add("Object ID", s.objectId);
    t.add("File system", s.filesystemId);
    t.add("State", s.state);
    t.add("Reason", s.creationReason);
    t.add("Created", std::to_string(s.creationTime));
    return t;
}

Table tableOf(const std::vector<__HNASFileSystemSnapshot>& snapshots) {
    Table t({"NAME", "OBJECT ID", "FILESYSTEM ID", "STATE", "REASON", "CREATED"});
    for (const auto& s : snapshots) {
        t.addRow({s.displayName, s.objectId, s.filesystemId, s.state, s.creationReason,
                  std::to_string(s.creationTime)});
    }
    return t;
}

Table tableOf(const std::vector<__HNASCIFSAuthentication>& entries) {
    Table t({"NAME", "PERMISSION", "TYPE", "ENCODED NAME"});
    for (const auto& e : entries) {
        t.addRow(
            {undoubleBackslashes(e.name), std::to_string(e.permission), e.type, e.encodedName});
    }
    return t;
}

KeyValueTable tableOf(const __HNASFileSystemShares& s) {
    KeyValueTable t;
    t.add("Name", s.name);
    t.add("Object ID", s.objectId);
    t.add("Share ID", s.shareId);
    t.add("EVS", std::to_string(s.virtualServerId));
    t.add("File system", s.filesystemId);
    t.add("Path", s.path);
    return t;
}

Table tableOf(const std::vector<__HNASFileSystemShares>& shares,
              const std::vector<std::string>& types, bool withPermissions) {
    std::vector<std::string> headers = {"TYPE",          "NAME",   "PATH",
                                        "FILESYSTEM ID", "ACCESS", "OBJECT ID"};
    if (withPermissions) {
        headers.push_back("PERMISSIONS");
    }
    Table t(headers);
    for (size_t i = 0; i < shares.size(); ++i) {
        const auto& s = shares[i];
        std::vector<std::string> row = {
            types[i], s.name, s.path, s.filesystemId, s.settings.accessConfig, s.objectId};
        if (withPermissions) {
            row.push_back(permissionSummary(s.settings.cifsAuthentications));
        }
        t.addRow(row);
    }
    return t;
}

Table tableOf(const std::vector<__HNASFileSystemDirectories>& directories) {
    Table t({"NAME", "OBJECT ID"});
    for (const auto& d : directories) {
        t.addRow({directoryName(d), d.objectId});
    }
    return t;
}

} // namespace hnasctl
