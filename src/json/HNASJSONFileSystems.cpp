// Messages of the file systems and their snapshots.

#include "hnasmgmt/json/HNASJSONFileSystems.h"

#include <string_view>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "json/JsonReader.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/ParseFrame.h"

using hnasjson::JsonArray;
using hnasjson::JsonObject;
using hnasjson::JsonValue;

namespace {

// One file system object; every key is required.
bool readFileSystem(const JsonObject& object, __HNASFileSystemInfo& fs) {
    static constexpr std::string_view kKeys[] = {"isReadOnly",   "capacity",     "freeCapacity",
                                                 "usedCapacity", "filesystemId", "label",
                                                 "objectId",     "status"};
    JsonValue v[8];
    return object.lookupAll(kKeys, v) && v[0].toBool(fs.isReadOnly) && v[1].toUInt64(fs.capacity) &&
           v[2].toUInt64(fs.freeCapacity) && v[3].toUInt64(fs.usedCapacity) &&
           v[4].toString(fs.filesystemId) && v[5].toString(fs.label) &&
           v[6].toString(fs.objectId) && v[7].toString(fs.status);
}

// One snapshot object of the listing; every key is required.
bool readSnapshot(const JsonObject& object, __HNASFileSystemSnapshot& snapshot) {
    static constexpr std::string_view kKeys[] = {"displayName", "filesystemId",   "objectId",
                                                 "state",       "creationReason", "creationTime"};
    JsonValue v[6];
    return object.lookupAll(kKeys, v) && v[0].toString(snapshot.displayName) &&
           v[1].toString(snapshot.filesystemId) && v[2].toString(snapshot.objectId) &&
           v[3].toString(snapshot.state) && v[4].toString(snapshot.creationReason) &&
           v[5].toUInt64(snapshot.creationTime);
}

} // namespace

// --- HNASJSONGetFileSystems ---

HNASJSONGetFileSystems::HNASJSONGetFileSystems(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

// A "filesystems" array, or else a single "filesystem" object; neither gives
// an empty result.
bool hnasjson::readFileSystemsListing(unsigned long long jobId, std::string& response,
                                      std::vector<__HNASFileSystemInfo>& records) noexcept {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONGetFileSystems::parseResponse", jobId, response,
                                    document)) {
            return false;
        }
        const JsonObject& root = document.root();
        std::vector<__HNASFileSystemInfo> parsed;
        JsonArray list;
        JsonObject single;
        if (root.readArray("filesystems", list)) { // typed: false for another type
            hnasjson::reserveFor(parsed, list);
            for (JsonValue element : list) {
                JsonObject object;
                parsed.emplace_back();
                if (!element.toObject(object) || !readFileSystem(object, parsed.back())) {
                    return false;
                }
            }
        } else if (root.readObject("filesystem", single)) {
            parsed.emplace_back();
            if (!readFileSystem(single, parsed.back())) {
                return false;
            }
        }
        records.swap(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

bool HNASJSONGetFileSystems::parseResponse(std::string& response) {
    try {
        std::vector<__HNASFileSystemInfo> parsed;
        if (!hnasjson::readFileSystemsListing(jobId, response, parsed)) {
            return false;
        }
        hnasjson::appendParsed(filesystems, parsed);
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<__HNASFileSystemInfo> HNASJSONGetFileSystems::getFileSystems() {
    return filesystems;
}

// --- HNASJSONGetFileSystemSnapshots ---

HNASJSONGetFileSystemSnapshots::HNASJSONGetFileSystemSnapshots(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool hnasjson::readSnapshotsListing(unsigned long long jobId, std::string& response,
                                    std::vector<__HNASFileSystemSnapshot>& records) noexcept {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONGetFileSystemSnapshots::parseResponse", jobId,
                                    response, document)) {
            return false;
        }
        std::vector<__HNASFileSystemSnapshot> parsed;
        JsonArray list;
        if (document.root().readArray("snapshots", list)) { // none: no records
            hnasjson::reserveFor(parsed, list);
            for (JsonValue element : list) {
                JsonObject object;
                parsed.emplace_back();
                if (!element.toObject(object) || !readSnapshot(object, parsed.back())) {
                    return false;
                }
            }
        }
        records.swap(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

bool HNASJSONGetFileSystemSnapshots::parseResponse(std::string& response) {
    try {
        std::vector<__HNASFileSystemSnapshot> parsed;
        if (!hnasjson::readSnapshotsListing(jobId, response, parsed)) {
            return false;
        }
        hnasjson::appendParsed(snapshots, parsed);
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<__HNASFileSystemSnapshot> HNASJSONGetFileSystemSnapshots::getFileSystemSnapshots() {
    return snapshots;
}

// --- HNASJSONCreateFileSystemSnapshot ---

HNASJSONCreateFileSystemSnapshot::HNASJSONCreateFileSystemSnapshot(const unsigned long long& jobId,
                                                                   const std::string& displayName,
                                                                   const std::string& filesystemId,
                                                                   const std::string& appSearchId)
    : HNASJSONBase(jobId), displayName(displayName), filesystemId(filesystemId),
      appSearchId(appSearchId) {}

// {"displayName":"D", "filesystemId":"F", "appSearchId":"A" }
// Values go in verbatim, so each must already be valid JSON string content.
bool HNASJSONCreateFileSystemSnapshot::buildRequest(std::string& body) {
    body.clear();
    if (displayName.empty() || filesystemId.empty() || appSearchId.empty() ||
        !hnasjson::isJsonStringContent(displayName) ||
        !hnasjson::isJsonStringContent(filesystemId) ||
        !hnasjson::isJsonStringContent(appSearchId)) {
        DbgTrace trace(nullptr);
        trace.DebugLvl("HNASJSONCreateFileSystemSnapshot::buildRequest", -1,
                       static_cast<long long>(jobId), "Invalid parameters!!");
        return false;
    }
    try {
        std::string text;
        text.reserve(64 + displayName.size() + filesystemId.size() + appSearchId.size());
        text += "{\"displayName\":\"";
        text += displayName;
        text += "\", \"filesystemId\":\"";
        text += filesystemId;
        text += "\", \"appSearchId\":\"";
        text += appSearchId;
        text += "\" }";
        body.swap(text);
        return true;
    } catch (...) {
        body.clear();
        return false;
    }
}

// Reads the created "snapshot" object; every key is required.
bool HNASJSONCreateFileSystemSnapshot::parseResponse(std::string& response) {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONCreateFileSystemSnapshot::parseResponse", jobId,
                                    response, document)) {
            return false;
        }
        JsonObject object;
        __HNASFileSystemSnapshot created = snapshot;
        if (!document.root().readObject("snapshot", object) ||
            !object.readUInt64("creationTime", created.creationTime) ||
            !object.readString("creationReason", created.creationReason) ||
            !object.readString("filesystemId", created.filesystemId) ||
            !object.readString("displayName", created.displayName) ||
            !object.readString("objectId", created.objectId) ||
            !object.readString("state", created.state)) {
            return false;
        }
        snapshot = std::move(created);
        return true;
    } catch (...) {
        return false;
    }
}

__HNASFileSystemSnapshot HNASJSONCreateFileSystemSnapshot::getSnapshot() {
    return snapshot;
}
