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
        .field("name", info.name)
        .field("clusterUUID", info.clusterUUID)
        .field("firmwareVersion", info.firmwareVersion)
        .field("isCluster", info.isCluster)
        .field("model", info.model)
        .field("nodeCount", info.nodeCount)
        .field("storageHealth", info.storageHealth)
        .field("vendor", info.vendor)
        .stringArray("licenses", info.licenses)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASVirtualServers& server) {
    json.beginObject()
        .field("virtualServerId", server.virtualServerId)
        .field("name", server.name)
        .field("objectId", server.objectId)
        .field("UUID", server.UUID)
        .field("status", server.status)
        .field("type", server.type)
        .field("isEnabled", server.isEnabled)
        .stringArray("ipAddresses", server.ipAddresses)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemInfo& fs) {
    json.beginObject()
        .field("filesystemId", fs.filesystemId)
        .field("label", fs.label)
        .field("objectId", fs.objectId)
        .field("status", fs.status)
        .field("capacity", fs.capacity)
        .field("usedCapacity", fs.usedCapacity)
        .field("freeCapacity", fs.freeCapacity)
        .field("isReadOnly", fs.isReadOnly)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemSnapshot& s) {
    json.beginObject()
        .field("objectId", s.objectId)
        .field("displayName", s.displayName)
        .field("filesystemId", s.filesystemId)
        .field("state", s.state)
        .field("creationReason", s.creationReason)
        .field("creationTime", s.creationTime)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASCIFSAuthentication& e) {
    json.beginObject()
        .field("name", undoubleBackslashes(e.name))
        .field("encodedName", e.encodedName)
        .field("permission", e.permission)
        .field("type", e.type)
        .endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemShareSettings& s) {
    json.beginObject()
        .field("accessConfig", s.accessConfig)
        .field("comment", s.comment)
        .field("userHomeDirectoryPath", s.userHomeDirectoryPath)
        .field("cacheOption", s.cacheOption)
        .field("snapshotOption", s.snapshotOption)
        .field("transferToReplicationTargetSetting", s.transferToReplicationTargetSetting)
        .field("userHomeDirectoryMode", s.userHomeDirectoryMode)
        .field("localReadCacheOption", s.localReadCacheOption)
        .field("isFollowSymbolicLinks", s.isFollowSymbolicLinks)
        .field("isFollowGlobalSymbolicLinks", s.isFollowGlobalSymbolicLinks)
        .field("isABEEnabled", s.isABEEnabled)
        .field("isForceFileNameToLowercase", s.isForceFileNameToLowercase)
        .field("isScanForVirusesEnabled", s.isScanForVirusesEnabled)
        .field("maxConcurrentUsers", s.maxConcurrentUsers);
    json.key("cifsAuthentications").beginArray();
    for (const auto& e : s.cifsAuthentications) {
        writeJson(json, e);
    }
    json.endArray().endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemShares& share, bool withSettings) {
    json.beginObject()
        .field("name", share.name)
        .field("objectId", share.objectId)
        .field("shareId", share.shareId)
        .field("virtualServerId", share.virtualServerId)
        .field("filesystemId", share.filesystemId)
        .field("path", share.path);
    if (withSettings) {
        json.key("settings");
        writeJson(json, share.settings);
    }
    json.endObject();
}

void writeJson(JsonWriter& json, const __HNASFileSystemDirectories& d) {
    json.beginObject()
        .field("name", directoryName(d))
        .field("objectId", d.objectId)
        .stringArray("displayName", d.displayName)
        .endObject();
}

// --- tables ---

void printTable(std::ostream& out, const __HNASStorageSubSystemInfo& info) {
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
    t.print(out);
}

void printTable(std::ostream& out, const __HNASVirtualServers& s) {
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
    t.print(out);
}

void printTable(std::ostream& out, const std::vector<__HNASVirtualServers>& servers) {
    Table t({"EVS", "NAME", "STATUS", "ENABLED", "TYPE", "IP ADDRESSES", "OBJECT ID"});
    for (const auto& s : servers) {
        t.addRow({std::to_string(s.virtualServerId), s.name, s.status, yesNo(s.isEnabled), s.type,
                  joined(s.ipAddresses, ","), s.objectId});
    }
    t.print(out);
}

void printTable(std::ostream& out, const std::vector<__HNASFileSystemInfo>& filesystems) {
    Table t(
        {"FILESYSTEM ID", "LABEL", "STATUS", "CAPACITY", "USED", "FREE", "READ-ONLY", "OBJECT ID"});
    for (const auto& fs : filesystems) {
        t.addRow({fs.filesystemId, fs.label, fs.status, std::to_string(fs.capacity),
                  std::to_string(fs.usedCapacity), std::to_string(fs.freeCapacity),
                  yesNo(fs.isReadOnly), fs.objectId});
    }
    t.print(out);
}

void printTable(std::ostream& out, const __HNASFileSystemSnapshot& s) {
    KeyValueTable t;
    t.add("Name", s.displayName);
    t.add("Object ID", s.objectId);
    t.add("File system", s.filesystemId);
    t.add("State", s.state);
    t.add("Reason", s.creationReason);
    t.add("Created", std::to_string(s.creationTime));
    t.print(out);
}

void printTable(std::ostream& out, const std::vector<__HNASFileSystemSnapshot>& snapshots) {
    Table t({"NAME", "OBJECT ID", "FILESYSTEM ID", "STATE", "REASON", "CREATED"});
    for (const auto& s : snapshots) {
        t.addRow({s.displayName, s.objectId, s.filesystemId, s.state, s.creationReason,
                  std::to_string(s.creationTime)});
    }
    t.print(out);
}

void printTable(std::ostream& out, const std::vector<__HNASCIFSAuthentication>& entries) {
    Table t({"NAME", "PERMISSION", "TYPE", "ENCODED NAME"});
    for (const auto& e : entries) {
        t.addRow(
            {undoubleBackslashes(e.name), std::to_string(e.permission), e.type, e.encodedName});
    }
    t.print(out);
}

void printTable(std::ostream& out, const __HNASFileSystemShares& s) {
    KeyValueTable t;
    t.add("Name", s.name);
    t.add("Object ID", s.objectId);
    t.add("Share ID", s.shareId);
    t.add("EVS", std::to_string(s.virtualServerId));
    t.add("File system", s.filesystemId);
    t.add("Path", s.path);
    t.print(out);
}

void printTable(std::ostream& out, const std::vector<__HNASFileSystemShares>& shares,
                bool withPermissions) {
    std::vector<std::string> headers = {"NAME",   "PATH",      "EVS",      "FILESYSTEM ID",
                                        "ACCESS", "SNAPSHOTS", "OBJECT ID"};
    if (withPermissions) {
        headers.push_back("PERMISSIONS");
    }
    Table t(headers);
    for (const auto& s : shares) {
        std::vector<std::string> row = {s.name,
                                        s.path,
                                        std::to_string(s.virtualServerId),
                                        s.filesystemId,
                                        s.settings.accessConfig,
                                        s.settings.snapshotOption,
                                        s.objectId};
        if (withPermissions) {
            row.push_back(permissionSummary(s.settings.cifsAuthentications));
        }
        t.addRow(row);
    }
    t.print(out);
}

void printTable(std::ostream& out, const std::vector<__HNASFileSystemDirectories>& directories) {
    Table t({"NAME", "OBJECT ID"});
    for (const auto& d : directories) {
        t.addRow({directoryName(d), d.objectId});
    }
    t.print(out);
}

} // namespace hnasctl
