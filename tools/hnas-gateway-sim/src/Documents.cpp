#include "Documents.h"

namespace hnasgwsim {

void writeVirtualServer(JsonWriter& w, const VirtualServer& evs) {
    w.beginObject();
    members(w, {{"UUID", evs.UUID},
                {"isEnabled", evs.isEnabled},
                {"name", evs.name},
                {"objectId", evs.objectId},
                {"status", evs.status},
                {"type", evs.type},
                {"virtualServerId", evs.virtualServerId}});
    w.key("ipAddresses").stringArray(evs.ipAddresses).endObject();
}

void writeFileSystem(JsonWriter& w, const FileSystem& fs) {
    w.beginObject();
    members(w, {{"objectId", fs.objectId},
                {"filesystemId", fs.filesystemId},
                {"label", fs.label},
                {"status", fs.status},
                {"capacity", fs.capacity},
                {"usedCapacity", fs.usedCapacity},
                {"freeCapacity", fs.freeCapacity},
                {"isReadOnly", fs.isReadOnly},
                {"virtualServerId", fs.virtualServerId}});
    w.endObject();
}

void writeSnapshot(JsonWriter& w, const Snapshot& snap) {
    w.beginObject();
    members(w, {{"objectId", snap.objectId},
                {"displayName", snap.displayName},
                {"filesystemId", snap.filesystemId},
                {"state", snap.state},
                {"creationReason", snap.creationReason},
                {"creationTime", snap.creationTime},
                {"appSearchId", snap.appSearchId}});
    w.endObject();
}

void writeShare(JsonWriter& w, const Share& share) {
    w.beginObject();
    members(w, {{"objectId", share.objectId},
                {"shareId", share.shareId},
                {"name", share.name},
                {"virtualServerId", share.virtualServerId},
                {"filesystemId", share.filesystemId},
                {"path", share.path}});
    w.key("settings").beginObject();
    for (const auto& [key, value] : share.settings)
        w.key(key).raw(value);
    w.endObject().endObject();
}

void writeCifsPermission(JsonWriter& w, const CifsPermission& entry) {
    w.beginObject();
    members(w, {{"name", entry.name},
                {"encodedName", entry.encodedName},
                {"permission", entry.permission},
                {"type", entry.type}});
    w.endObject();
}

void writeDirectory(JsonWriter& w, const Directory& dir) {
    w.beginObject();
    members(w, {{"objectId", dir.objectId}});
    w.key("displayName").beginArray().value("/" + dir.path).endArray().endObject();
}

void writeRequestRecord(JsonWriter& w, const RequestRecord& r) {
    w.beginObject();
    members(w, {{"method", r.method},
                {"path", r.path},
                {"status", r.status},
                {"durationMs", r.durationMs},
                {"fault", r.fault},
                {"body", r.body}});
    w.endObject();
}

std::string fileDeviceDocument(const Subsystem& s) {
    JsonWriter w;
    w.beginObject();
    members(w, {{"name", s.name},
                {"clusterUUID", s.clusterUUID},
                {"firmwareVersion", s.firmwareVersion},
                {"isCluster", s.isCluster},
                {"model", s.model},
                {"nodeCount", s.nodeCount},
                {"storageHealth", s.storageHealth},
                {"vendor", s.vendor}});
    w.key("licenses").stringArray(s.licenses).endObject();
    return w.take();
}

std::string errorDocument(int code, const std::string& message, const std::string& reason) {
    JsonWriter w;
    w.beginObject();
    members(w, {{"errorCode", code}, {"errorMsg", message}});
    w.key("errorDetail").beginObject().member("reason", reason).endObject().endObject();
    return w.take();
}

} // namespace hnasgwsim
