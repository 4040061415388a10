// The field table of each record hnasctl prints: its JSON keys, the headings
// of its listing and the labels of its rows.

#include "RecordOutput.h"

#include "Checks.h"
#include "RecordFields.h"

namespace hnasctl {

namespace {

using Info = __HNASStorageSubSystemInfo;
using Server = __HNASVirtualServers;
using FileSystem = __HNASFileSystemInfo;
using Snapshot = __HNASFileSystemSnapshot;
using Permission = __HNASCIFSAuthentication;
using Settings = __HNASFileSystemShareSettings;
using Share = __HNASFileSystemShares;
using Directory = __HNASFileSystemDirectories;

// A value written in JSON as writeJson writes it.
template <typename T> Value nested(const T& value) {
    Value v;
    v.kind = Kind::Nested;
    v.json = [&value](JsonWriter& json) { writeJson(json, value); };
    return v;
}

// The share's permission entries as "NAME=PERMISSION, ...", or "(unread)".
Value permissionSummary(const ShareView& share) {
    if (share.permissionsRead == false) {
        return textValue("(unread)");
    }
    std::string out;
    for (const auto& e : share.settings.cifsAuthentications) {
        out += (out.empty() ? "" : ", ") + undoubleBackslashes(e.name) + "=" +
               std::to_string(e.permission);
    }
    return textValue(out);
}

template <typename R> extern const std::vector<Field<R>> kFields;

// key, value, listing heading and column, row label and row.
template <>
const std::vector<Field<Info>> kFields<Info> = {
    {"name", text(&Info::name), nullptr, 0, "Name", 1},
    {"clusterUUID", text(&Info::clusterUUID), nullptr, 0, "Cluster UUID", 8},
    {"firmwareVersion", text(&Info::firmwareVersion), nullptr, 0, "Firmware", 4},
    {"isCluster", flag(&Info::isCluster), nullptr, 0, "Cluster", 6},
    {"model", text(&Info::model), nullptr, 0, "Model", 3},
    {"nodeCount", number(&Info::nodeCount), nullptr, 0, "Nodes", 7},
    {"storageHealth", text(&Info::storageHealth), nullptr, 0, "Health", 5},
    {"vendor", text(&Info::vendor), nullptr, 0, "Vendor", 2},
    {"licenses", texts(&Info::licenses), nullptr, 0, "Licenses", 9},
};

template <>
const std::vector<Field<Server>> kFields<Server> = {
    {"virtualServerId", number(&Server::virtualServerId), "EVS", 1, "EVS", 1},
    {"name", text(&Server::name), "NAME", 2, "Name", 2},
    {"objectId", text(&Server::objectId), "OBJECT ID", 7, "Object ID", 7},
    {"UUID", text(&Server::UUID), nullptr, 0, nullptr, 0},
    {nullptr, [](const Server& s) { return s.UUID.empty() ? Value() : textValue(s.UUID); }, nullptr,
     0, "UUID", 8},
    {"status", text(&Server::status), "STATUS", 3, "Status", 3},
    {"type", text(&Server::type), "TYPE", 5, "Type", 5},
    {"isEnabled", flag(&Server::isEnabled), "ENABLED", 4, "Enabled", 4},
    {"ipAddresses", texts(&Server::ipAddresses), "IP ADDRESSES", 6, "IP addresses", 6},
};

template <>
const std::vector<Field<FileSystem>> kFields<FileSystem> = {
    {"filesystemId", text(&FileSystem::filesystemId), "FILESYSTEM ID", 1, nullptr, 0},
    {"label", text(&FileSystem::label), "LABEL", 2, nullptr, 0},
    {"objectId", text(&FileSystem::objectId), "OBJECT ID", 8, nullptr, 0},
    {"status", text(&FileSystem::status), "STATUS", 3, nullptr, 0},
    {"capacity", number(&FileSystem::capacity, Kind::Bytes), "CAPACITY", 4, nullptr, 0},
    {"usedCapacity", number(&FileSystem::usedCapacity, Kind::Bytes), "USED", 5, nullptr, 0},
    {"freeCapacity", number(&FileSystem::freeCapacity, Kind::Bytes), "FREE", 6, nullptr, 0},
    {"isReadOnly", flag(&FileSystem::isReadOnly), "READ-ONLY", 7, nullptr, 0},
};

template <>
const std::vector<Field<Snapshot>> kFields<Snapshot> = {
    {"objectId", text(&Snapshot::objectId), "OBJECT ID", 2, "Object ID", 2},
    {"displayName", text(&Snapshot::displayName), "NAME", 1, "Name", 1},
    {"filesystemId", text(&Snapshot::filesystemId), "FILESYSTEM ID", 3, "File system", 3},
    {"state", text(&Snapshot::state), "STATE", 4, "State", 4},
    {"creationReason", text(&Snapshot::creationReason), "REASON", 5, "Reason", 5},
    {"creationTime", number(&Snapshot::creationTime, Kind::Time), "CREATED", 6, "Created", 6},
};

template <>
const std::vector<Field<Permission>> kFields<Permission> = {
    {"name", [](const Permission& e) { return textValue(undoubleBackslashes(e.name)); }, "NAME", 1,
     nullptr, 0},
    {"encodedName", text(&Permission::encodedName), "ENCODED NAME", 4, nullptr, 0},
    {"permission", number(&Permission::permission), "PERMISSION", 2, nullptr, 0},
    {"type", text(&Permission::type), "TYPE", 3, nullptr, 0},
};

template <>
const std::vector<Field<Settings>> kFields<Settings> = {
    {"accessConfig", text(&Settings::accessConfig), nullptr, 0, nullptr, 0},
    {"comment", text(&Settings::comment), nullptr, 0, nullptr, 0},
    {"userHomeDirectoryPath", text(&Settings::userHomeDirectoryPath), nullptr, 0, nullptr, 0},
    {"cacheOption", text(&Settings::cacheOption), nullptr, 0, nullptr, 0},
    {"snapshotOption", text(&Settings::snapshotOption), nullptr, 0, nullptr, 0},
    {"transferToReplicationTargetSetting", text(&Settings::transferToReplicationTargetSetting),
     nullptr, 0, nullptr, 0},
    {"userHomeDirectoryMode", text(&Settings::userHomeDirectoryMode), nullptr, 0, nullptr, 0},
    {"localReadCacheOption", text(&Settings::localReadCacheOption), nullptr, 0, nullptr, 0},
    {"isFollowSymbolicLinks", flag(&Settings::isFollowSymbolicLinks), nullptr, 0, nullptr, 0},
    {"isFollowGlobalSymbolicLinks", flag(&Settings::isFollowGlobalSymbolicLinks), nullptr, 0,
     nullptr, 0},
    {"isABEEnabled", flag(&Settings::isABEEnabled), nullptr, 0, nullptr, 0},
    {"isForceFileNameToLowercase", flag(&Settings::isForceFileNameToLowercase), nullptr, 0, nullptr,
     0},
    {"isScanForVirusesEnabled", flag(&Settings::isScanForVirusesEnabled), nullptr, 0, nullptr, 0},
    {"maxConcurrentUsers", number(&Settings::maxConcurrentUsers), nullptr, 0, nullptr, 0},
    {"cifsAuthentications", [](const Settings& s) { return nested(s.cifsAuthentications); },
     nullptr, 0, nullptr, 0},
};

template <>
const std::vector<Field<ShareView>> kFields<ShareView> = {
    {"type", [](const ShareView& s) { return s.type.empty() ? Value() : textValue(s.type); },
     "TYPE", 1, nullptr, 0},
    {"name", text(&Share::name), "NAME", 2, "Name", 1},
    {"objectId", text(&Share::objectId), "OBJECT ID", 6, "Object ID", 2},
    {"shareId", text(&Share::shareId), nullptr, 0, "Share ID", 3},
    {"virtualServerId", number(&Share::virtualServerId), nullptr, 0, "EVS", 4},
    {"filesystemId", text(&Share::filesystemId), "FILESYSTEM ID", 4, "File system", 5},
    {"path", text(&Share::path), "PATH", 3, "Path", 6},
    {nullptr, [](const ShareView& s) { return textValue(s.settings.accessConfig); }, "ACCESS", 5,
     nullptr, 0},
    {"permissionsRead",
     [](const ShareView& s) { return s.permissionsRead ? flagValue(*s.permissionsRead) : Value(); },
     nullptr, 0, nullptr, 0},
    {nullptr, permissionSummary, "PERMISSIONS", 7, nullptr, 0},
    {"settings", [](const ShareView& s) { return s.withSettings ? nested(s.settings) : Value(); },
     nullptr, 0, nullptr, 0},
};

template <>
const std::vector<Field<Directory>> kFields<Directory> = {
    {"name", [](const Directory& d) { return textValue(directoryName(d), Kind::Path); }, "NAME", 1,
     nullptr, 0},
    {"objectId", text(&Directory::objectId), "OBJECT ID", 2, nullptr, 0},
    {"displayName", texts(&Directory::displayName), nullptr, 0, nullptr, 0},
};

} // namespace

std::string directoryName(const __HNASFileSystemDirectories& directory) {
    return directory.displayName.empty() ? std::string() : directory.displayName.front();
}

template <typename R> void writeJson(JsonWriter& json, const R& record) {
    writeFields(json, record, kFields<R>);
}

template <typename R> KeyValueTable tableOf(const R& record) {
    return rowsOf(record, kFields<R>);
}

template <typename R>
Table tableOf(const std::vector<R>& records, const std::vector<std::string>& without) {
    return columnsOf(records, kFields<R>, without);
}

#define HNASCTL_RECORD_OUTPUT(R)                                                                   \
    template void writeJson(JsonWriter&, const R&);                                                \
    template KeyValueTable tableOf(const R&);                                                      \
    template Table tableOf(const std::vector<R>&, const std::vector<std::string>&);
HNASCTL_RECORD_OUTPUT(Info)
HNASCTL_RECORD_OUTPUT(Server)
HNASCTL_RECORD_OUTPUT(FileSystem)
HNASCTL_RECORD_OUTPUT(Snapshot)
HNASCTL_RECORD_OUTPUT(Permission)
HNASCTL_RECORD_OUTPUT(Settings)
HNASCTL_RECORD_OUTPUT(ShareView)
HNASCTL_RECORD_OUTPUT(Directory)

} // namespace hnasctl
