// Messages of the file systems and their snapshots.

#include "hnasmgmt/json/HNASJSONFileSystems.h"

#include <string_view>

#include "json/BodyWriter.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

using hnasmgmt::json::JsonScan;
using hnasmgmt::json::JsonValue;

HNASJSON_LISTING_MESSAGE(HNASJSONGetFileSystems, __HNASFileSystemInfo, filesystems, getFileSystems)

HNASJSON_LISTING_MESSAGE(HNASJSONGetFileSystemSnapshots, __HNASFileSystemSnapshot, snapshots,
                         getFileSystemSnapshots)

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
    return hnasmgmt::json::buildBody("HNASJSONCreateFileSystemSnapshot::buildRequest", jobId,
                                     !displayName.empty() && !filesystemId.empty() &&
                                         !appSearchId.empty() &&
                                         hnasmgmt::json::isJsonStringContent(displayName) &&
                                         hnasmgmt::json::isJsonStringContent(filesystemId) &&
                                         hnasmgmt::json::isJsonStringContent(appSearchId),
                                     body, [&] {
                                         return hnasmgmt::json::ObjectWriter()
                                             .text("displayName", displayName)
                                             .text("filesystemId", filesystemId)
                                             .text("appSearchId", appSearchId)
                                             .close(" }");
                                     });
}

// Reads the created "snapshot" object; every key is required.
bool HNASJSONCreateFileSystemSnapshot::parseResponse(std::string& response) {
    static constexpr std::string_view kKeys[] = {"snapshot"};
    return hnasmgmt::json::readInto(
        "HNASJSONCreateFileSystemSnapshot::parseResponse", jobId, response, kKeys, snapshot,
        [](JsonScan& scan, std::size_t, JsonValue& v, __HNASFileSystemSnapshot& created) {
            return hnasmgmt::json::readRecord(scan, v, created);
        });
}

__HNASFileSystemSnapshot HNASJSONCreateFileSystemSnapshot::getSnapshot() {
    return snapshot;
}
