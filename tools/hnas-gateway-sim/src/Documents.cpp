#include "Documents.h"

namespace hnasgwsim {

void writeVirtualServer(JsonWriter& w, const VirtualServer& evs) {
    w.beginObject()
        .member("UUID", evs.UUID)
        .member("isEnabled", evs.isEnabled)
        .member("name", evs.name)
        .member("objectId", evs.objectId)
        .member("status", evs.status)
        .member("type", evs.type)
        .member("virtualServerId", evs.virtualServerId)
        .key("ipAddresses")
        .stringArray(evs.ipAddresses)
        .endObject();
}

void writeFileSystem(JsonWriter& w, const FileSystem& fs) {
    w.beginObject()
        .member("objectId", fs.objectId)
        .member("filesystemId", fs.filesystemId)
        .member("label", fs.label)
        .member("status", fs.status)
        .member("capacity", fs.capacity)
        .member("usedCapacity", fs.usedCapacity)
        .member("freeCapacity", fs.freeCapacity)
        .member("isReadOnly", fs.isReadOnly)
        .member("virtualServerId", fs.virtualServerId)
        .endObject();
}

void writeSnapshot(JsonWriter& w, const Snapshot& snap) {
    w.beginObject()
        .member("objectId", snap.objectId)
        .member("displayName", snap.displayName)
        .member("filesystemId", snap.filesystemId)
        .member("state", snap.state)
        .member("creationReason", snap.creationReason)
        .member("creationTime", snap.creationTime)
        .member("appSearchId", snap.appSearchId)
        .endObject();
}

void writeShare(JsonWriter& w, const Share& share) {
    w.beginObject()
        .member("objectId", share.objectId)
        .member("shareId", share.shareId)
        .member("name", share.name)
        .member("virtualServerId", share.virtualServerId)
        .member("filesystemId", share.filesystemId)
        .member("path", share.path)
        .key("settings")
        .beginObject();
    for (const auto& [key, value] : share.settings)
        w.key(key).raw(value);
    w.endObject().endObject();
}

void writeCifsPermission(JsonWriter& w, const CifsPermission& entry) {
    w.beginObject()
        .member("name", entry.name)
        .member("encodedName", entry.encodedName)
        .member("permission", entry.permission)
        .member("type", entry.type)
        .endObject();
}

void writeDirectory(JsonWriter& w, const Directory& dir) {
    w.beginObject()
        .member("objectId", dir.objectId)
        .key("displayName")
        .beginArray()
        .value("/" + dir.path)
        .endArray()
        .endObject();
}

std::string fileDeviceDocument(const Subsystem& s) {
    JsonWriter w;
    w.beginObject()
        .member("name", s.name)
        .member("clusterUUID", s.clusterUUID)
        .member("firmwareVersion", s.firmwareVersion)
        .member("isCluster", s.isCluster)
        .member("model", s.model)
        .member("nodeCount", s.nodeCount)
        .member("storageHealth", s.storageHealth)
        .member("vendor", s.vendor)
        .key("licenses")
        .stringArray(s.licenses)
        .endObject();
    return w.take();
}

std::string errorDocument(int code, const std::string& message, const std::string& reason) {
    JsonWriter w;
    w.beginObject()
        .member("errorCode", code)
        .member("errorMsg", message)
        .key("errorDetail")
        .beginObject()
        .member("reason", reason)
        .endObject()
        .endObject();
    return w.take();
}

} // namespace hnasgwsim
