// Messages of the file systems and their snapshots.

#include "hnasmgmt/json/HNASJSONFileSystems.h"

#include <string_view>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

using hnasjson::JsonScan;
using hnasjson::JsonValue;

bool hnasjson::readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemInfo& fs) {
    static constexpr std::string_view kKeys[] = {"isReadOnly",   "capacity",     "freeCapacity",
                                                 "usedCapacity", "filesystemId", "label",
                                                 "objectId",     "status"};
    return scan.fields(value, kKeys, [&](std::size_t i, JsonValue& v) {
        switch (i) {
        case 0:
            return scan.read(v, fs.isReadOnly);
        case 1:
            return scan.read(v, fs.capacity);
        case 2:
            return scan.read(v, fs.freeCapacity);
        case 3:
            return scan.read(v, fs.usedCapacity);
        case 4:
            return scan.read(v, fs.filesystemId);
        case 5:
            return scan.read(v, fs.label);
        case 6:
            return scan.read(v, fs.objectId);
        default:
            return scan.read(v, fs.status);
        }
    }) == hnasjson::allOf(kKeys);
}

bool hnasjson::readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemSnapshot& snapshot) {
    static constexpr std::string_view kKeys[] = {"displayName", "filesystemId",   "objectId",
                                                 "state",       "creationReason", "creationTime"};
    return scan.fields(value, kKeys, [&](std::size_t i, JsonValue& v) {
        switch (i) {
        case 0:
            return scan.read(v, snapshot.displayName);
        case 1:
            return scan.read(v, snapshot.filesystemId);
        case 2:
            return scan.read(v, snapshot.objectId);
        case 3:
            return scan.read(v, snapshot.state);
        case 4:
            return scan.read(v, snapshot.creationReason);
        default:
            return scan.read(v, snapshot.creationTime);
        }
    }) == hnasjson::allOf(kKeys);
}

// --- HNASJSONGetFileSystems ---

HNASJSONGetFileSystems::HNASJSONGetFileSystems(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool HNASJSONGetFileSystems::parseResponse(std::string& response) {
    return hnasjson::readListing(jobId, response, filesystems);
}

std::vector<__HNASFileSystemInfo> HNASJSONGetFileSystems::getFileSystems() {
    return filesystems;
}

// --- HNASJSONGetFileSystemSnapshots ---

HNASJSONGetFileSystemSnapshots::HNASJSONGetFileSystemSnapshots(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool HNASJSONGetFileSystemSnapshots::parseResponse(std::string& response) {
    return hnasjson::readListing(jobId, response, snapshots);
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
        static constexpr std::string_view kKeys[] = {"snapshot"};
        __HNASFileSystemSnapshot created = snapshot;
        std::uint32_t read = 0;
        if (!hnasjson::readDocument(
                "HNASJSONCreateFileSystemSnapshot::parseResponse", jobId, response, kKeys,
                [&](JsonScan& scan, std::size_t, JsonValue& v) {
                    return hnasjson::readRecord(scan, v, created);
                },
                read) ||
            read == 0) {
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
