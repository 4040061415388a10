// The field table of each record hnasctl prints: its JSON keys, the headings
// of its listing and the labels of its rows.

#include "RecordOutput.h"

#include <algorithm>

#include "Checks.h"
#include "RecordFields.h"
#include "ShareSettings.h"

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
        return Value("(unread)");
    }
    std::string out;
    for (const auto& e : share.settings.cifsAuthentications) {
        out += (out.empty() ? "" : ", ") + undoubleBackslashes(e.name) + "=" +
               std::to_string(e.permission);
    }
    return Value(out);
}

template <typename R> extern const std::vector<Field<R>> kFields;

// key, value, listing heading and column, row label and row.
template <>
const std::vector<Field<Info>> kFields<Info> = {
    {"name", member(&Info::name), nullptr, 0, "Name", 1},
    {"clusterUUID", member(&Info::clusterUUID), nullptr, 0, "Cluster UUID", 8},
    {"firmwareVersion", member(&Info::firmwareVersion), nullptr, 0, "Firmware", 4},
    {"isCluster", member(&Info::isCluster), nullptr, 0, "Cluster", 6},
    {"model", member(&Info::model), nullptr, 0, "Model", 3},
    {"nodeCount", member(&Info::nodeCount), nullptr, 0, "Nodes", 7},
    {"storageHealth", member(&Info::storageHealth), nullptr, 0, "Health", 5},
    {"vendor", member(&Info::vendor), nullptr, 0, "Vendor", 2},
    {"licenses", member(&Info::licenses), nullptr, 0, "Licenses", 9},
};

template <>
const std::vector<Field<Server>> kFields<Server> = {
    {"virtualServerId", member(&Server::virtualServerId), "EVS", 1, "EVS", 1},
    {"name", member(&Server::name), "NAME", 2, "Name", 2},
    {"objectId", member(&Server::objectId), "OBJECT ID", 7, "Object ID", 7},
    {"UUID", member(&Server::UUID)},
    {nullptr, [](const Server& s) { return s.UUID.empty() ? Value() : Value(s.UUID); }, nullptr, 0,
     "UUID", 8},
    {"status", member(&Server::status), "STATUS", 3, "Status", 3},
    {"type", member(&Server::type), "TYPE", 5, "Type", 5},
    {"isEnabled", member(&Server::isEnabled), "ENABLED", 4, "Enabled", 4},
    {"ipAddresses", member(&Server::ipAddresses), "IP ADDRESSES", 6, "IP addresses", 6},
};

template <>
const std::vector<Field<FileSystem>> kFields<FileSystem> = {
    {"filesystemId", member(&FileSystem::filesystemId), "FILESYSTEM ID", 1},
    {"label", member(&FileSystem::label), "LABEL", 2},
    {"objectId", member(&FileSystem::objectId), "OBJECT ID", 8},
    {"status", member(&FileSystem::status), "STATUS", 3},
    {"capacity", member(&FileSystem::capacity, Kind::Bytes), "CAPACITY", 4},
    {"usedCapacity", member(&FileSystem::usedCapacity, Kind::Bytes), "USED", 5},
    {"freeCapacity", member(&FileSystem::freeCapacity, Kind::Bytes), "FREE", 6},
    {"isReadOnly", member(&FileSystem::isReadOnly), "READ-ONLY", 7},
};

template <>
const std::vector<Field<Snapshot>> kFields<Snapshot> = {
    {"objectId", member(&Snapshot::objectId), "OBJECT ID", 2, "Object ID", 2},
    {"displayName", member(&Snapshot::displayName), "NAME", 1, "Name", 1},
    {"filesystemId", member(&Snapshot::filesystemId), "FILESYSTEM ID", 3, "File system", 3},
    {"state", member(&Snapshot::state), "STATE", 4, "State", 4},
    {"creationReason", member(&Snapshot::creationReason), "REASON", 5, "Reason", 5},
    {"creationTime", member(&Snapshot::creationTime, Kind::Time), "CREATED", 6, "Created", 6},
};

template <>
const std::vector<Field<Permission>> kFields<Permission> = {
    {"name", [](const Permission& e) { return Value(undoubleBackslashes(e.name)); }, "NAME", 1},
    {"encodedName", member(&Permission::encodedName), "ENCODED NAME", 4},
    {"permission", member(&Permission::permission), "PERMISSION", 2},
    {"type", member(&Permission::type), "TYPE", 3},
};

// The settings under the keys of the settings file, then the permissions.
template <>
const std::vector<Field<Settings>> kFields<Settings> = [] {
    std::vector<Field<Settings>> fields = shareSettingFields();
    fields.push_back(
        {"cifsAuthentications", [](const Settings& s) { return nested(s.cifsAuthentications); }});
    return fields;
}();

template <>
const std::vector<Field<ShareView>> kFields<ShareView> = {
    {"type", [](const ShareView& s) { return s.type.empty() ? Value() : Value(s.type); }, "TYPE",
     1},
    {"name", member(&Share::name), "NAME", 2, "Name", 1},
    {"objectId", member(&Share::objectId), "OBJECT ID", 6, "Object ID", 2},
    {"shareId", member(&Share::shareId), nullptr, 0, "Share ID", 3},
    {"virtualServerId", member(&Share::virtualServerId), nullptr, 0, "EVS", 4},
    {"filesystemId", member(&Share::filesystemId), "FILESYSTEM ID", 4, "File system", 5},
    {"path", member(&Share::path), "PATH", 3, "Path", 6},
    {nullptr, [](const ShareView& s) { return Value(s.settings.accessConfig); }, "ACCESS", 5},
    {"permissionsRead",
     [](const ShareView& s) { return s.permissionsRead ? Value(*s.permissionsRead) : Value(); }},
    {nullptr, permissionSummary, "PERMISSIONS", 7},
    {"settings", [](const ShareView& s) { return s.withSettings ? nested(s.settings) : Value(); }},
};

template <>
const std::vector<Field<Directory>> kFields<Directory> = {
    {"name", [](const Directory& d) { return Value(directoryName(d), Kind::Path); }, "NAME", 1},
    {"objectId", member(&Directory::objectId), "OBJECT ID", 2},
    {"displayName", member(&Directory::displayName)},
};

// The fields of R whose `place` is not 0, in that order, but those headed as
// in `without`.
template <typename R>
std::vector<const Field<R>*> placed(int Field<R>::*place,
                                    const std::vector<std::string>& without = {}) {
    std::vector<const Field<R>*> out;
    for (const auto& field : kFields<R>) {
        if (field.*place != 0 && (field.heading == nullptr ||
                                  std::count(without.begin(), without.end(), field.heading) == 0)) {
            out.push_back(&field);
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [place](const auto* a, const auto* b) { return a->*place < b->*place; });
    return out;
}

} // namespace

std::string directoryName(const __HNASFileSystemDirectories& directory) {
    return directory.displayName.empty() ? std::string() : directory.displayName.front();
}

template <typename R> void writeJson(JsonWriter& json, const R& record) {
    json.beginObject();
    for (const auto& field : kFields<R>) {
        const Value value = field.key != nullptr ? field.get(record) : Value();
        if (value.kind != Kind::Absent) {
            writeValue(json.key(field.key), value);
        }
    }
    json.endObject();
}

template <typename R> Table tableOf(const R& record) {
    std::vector<std::string> labels;
    std::vector<Cell> cells;
    for (const Field<R>* field : placed(&Field<R>::row)) {
        const Value value = field->get(record);
        if (value.kind != Kind::Absent) {
            labels.push_back(field->label);
            cells.push_back(cellOf(value, ", "));
        }
    }
    Table t(std::move(labels), true);
    t.addRow(std::move(cells));
    return t;
}

template <typename R>
Table tableOf(const std::vector<R>& records, const std::vector<std::string>& without) {
    const std::vector<const Field<R>*> columns = placed(&Field<R>::column, without);
    std::vector<std::string> headings;
    for (const Field<R>* field : columns) {
        headings.push_back(field->heading);
    }
    Table t(std::move(headings));
    for (const auto& record : records) {
        std::vector<Cell> cells;
        for (const Field<R>* field : columns) {
            cells.push_back(cellOf(field->get(record), ","));
        }
        t.addRow(std::move(cells));
    }
    return t;
}

#define HNASCTL_RECORD_OUTPUT(R)                                                                   \
    template void writeJson(JsonWriter&, const R&);                                                \
    template Table tableOf(const R&);                                                              \
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
