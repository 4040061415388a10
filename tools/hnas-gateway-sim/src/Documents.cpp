#include "Documents.h"

namespace hnasgwsim {

void writeVirtualServer(JsonWriter& w, const VirtualServer& evs) {
    HNASTOOLS_JSON_FIELDS(w.beginObject(), evs, UUID, isEnabled, name, objectId, status, type,
                          virtualServerId)
        .key("ipAddresses")
        .stringArray(evs.ipAddresses)
        .endObject();
}

void writeFileSystem(JsonWriter& w, const FileSystem& fs) {
    HNASTOOLS_JSON_FIELDS(w.beginObject(), fs, objectId, filesystemId, label, status, capacity,
                          usedCapacity, freeCapacity, isReadOnly, virtualServerId)
        .endObject();
}

void writeSnapshot(JsonWriter& w, const Snapshot& snap) {
    HNASTOOLS_JSON_FIELDS(w.beginObject(), snap, objectId, displayName, filesystemId, state,
                          creationReason, creationTime, appSearchId)
        .endObject();
}

void writeShare(JsonWriter& w, const Share& share) {
    HNASTOOLS_JSON_FIELDS(w.beginObject(), share, objectId, shareId, name, virtualServerId,
                          filesystemId, path)
        .key("settings")
        .beginObject();
    for (const auto& [key, value] : share.settings)
        w.key(key).raw(value);
    w.endObject().endObject();
}

void writeCifsPermission(JsonWriter& w, const CifsPermission& entry) {
    HNASTOOLS_JSON_FIELDS(w.beginObject(), entry, name, encodedName, permission, type).endObject();
}

void writeDirectory(JsonWriter& w, const Directory& dir) {
    HNASTOOLS_JSON_FIELDS(w.beginObject(), dir, objectId)
        .key("displayName")
        .beginArray()
        .value("/" + dir.path)
        .endArray()
        .endObject();
}

void writeRequestRecord(JsonWriter& w, const RequestRecord& r) {
    HNASTOOLS_JSON_FIELDS(w.beginObject(), r, method, path, status, durationMs, fault, body)
        .endObject();
}

std::string fileDeviceDocument(const Subsystem& s) {
    JsonWriter w;
    HNASTOOLS_JSON_FIELDS(w.beginObject(), s, name, clusterUUID, firmwareVersion, isCluster, model,
                          nodeCount, storageHealth, vendor)
        .key("licenses")
        .stringArray(s.licenses)
        .endObject();
    return w.take();
}

std::string errorDocument(int code, const std::string& message, const std::string& reason) {
    JsonWriter w;
    w.beginObject().member("errorCode", code).member("errorMsg", message);
    w.key("errorDetail").beginObject().member("reason", reason).endObject().endObject();
    return w.take();
}

} // namespace hnasgwsim
