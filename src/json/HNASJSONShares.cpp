// Messages of the CIFS and NFS shares.

#include "hnasmgmt/json/HNASJSONShares.h"

#include <string_view>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "text/LogText.h"
#include "json/BodyWriter.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

using hnasmgmt::json::JsonScan;
using hnasmgmt::json::JsonValue;

HNASJSON_LISTING_MESSAGE(HNASJSONGetFileSystemShares, __HNASFileSystemShares, shares,
                         getFileSystemShares)

// --- HNASJSONCreateFileSystemShare ---

HNASJSONCreateFileSystemShare::HNASJSONCreateFileSystemShare(const unsigned long long& jobId,
                                                             std::string name,
                                                             std::string virtualServerId,
                                                             std::string filesystemId,
                                                             std::string filesystemPath)
    : HNASJSONBase(jobId), name(std::move(name)), virtualServerId(std::move(virtualServerId)),
      filesystemId(std::move(filesystemId)), filesystemPath(std::move(filesystemPath)) {}

namespace {

// The identity values go into the body verbatim: the strings must be valid
// JSON string content and the virtual server number a JSON number.
bool validIdentity(const std::string& name, const std::string& virtualServerId,
                   const std::string& filesystemId, const std::string& filesystemPath) {
    return !name.empty() && !virtualServerId.empty() && !filesystemId.empty() &&
           !filesystemPath.empty() && hnasmgmt::json::isJsonStringContent(name) &&
           hnasmgmt::json::isJsonNumber(virtualServerId) &&
           hnasmgmt::json::isJsonStringContent(filesystemId) &&
           hnasmgmt::json::isJsonStringContent(filesystemPath);
}

// {"name":"N", "virtualServerId":V, "filesystemId":"F", "filesystemPath":"P", "settings":S}
std::string shareBody(const std::string& name, const std::string& virtualServerId,
                      const std::string& filesystemId, const std::string& filesystemPath,
                      const std::string& settings) {
    return hnasmgmt::json::ObjectWriter()
        .text("name", name)
        .bare("virtualServerId", virtualServerId)
        .text("filesystemId", filesystemId)
        .text("filesystemPath", filesystemPath)
        .bare("settings", settings)
        .close();
}

} // namespace

bool HNASJSONCreateFileSystemShare::buildRequestNFS(std::string& body,
                                                    __HNASFileSystemShareSettings& settings) {
    return hnasmgmt::json::buildBody(
        "HNASJSONCreateFileSystemShare::buildRequestNFS", jobId,
        validIdentity(name, virtualServerId, filesystemId, filesystemPath) &&
            hnasmgmt::json::writable<hnasmgmt::json::kNfsBody>(settings),
        body, [&] {
            return shareBody(name, virtualServerId, filesystemId, filesystemPath,
                             hnasmgmt::json::writeRecord<hnasmgmt::json::kNfsBody>(settings));
        });
}

// The comment of a share created without one is "Rekanto Created Share".
bool HNASJSONCreateFileSystemShare::buildRequestCIFS(std::string& body,
                                                     __HNASFileSystemShareSettings& settings) {
    const char* const function = "HNASJSONCreateFileSystemShare::buildRequestCIFS";
    return hnasmgmt::json::buildBody(
        function, jobId,
        validIdentity(name, virtualServerId, filesystemId, filesystemPath) &&
            hnasmgmt::json::writable<hnasmgmt::json::kCifsBody>(settings),
        body, [&] {
            __HNASFileSystemShareSettings written = settings;
            if (written.comment.empty()) {
                written.comment = "Rekanto Created Share";
            }
            const std::string s = hnasmgmt::json::writeRecord<hnasmgmt::json::kCifsBody>(written);
            if (hnasmgmt::logOn(0)) {
                DbgTrace trace(nullptr);
                trace.DebugLvl(function, 0, static_cast<long long>(jobId), "Settings: [%s]",
                               hnasmgmt::clipForLog(s).c_str());
            }
            return shareBody(name, virtualServerId, filesystemId, filesystemPath, s);
        });
}

// Reads the created "filesystemShare"; every key is required. The record's
// settings are left as they are.
bool HNASJSONCreateFileSystemShare::parseResponse(std::string& response) {
    static constexpr std::string_view kKeys[] = {"filesystemShare"};
    return hnasmgmt::json::readInto(
        "HNASJSONCreateFileSystemShare::parseResponse", jobId, response, kKeys, share,
        [](JsonScan& scan, std::size_t, JsonValue& v, __HNASFileSystemShares& created) {
            return hnasmgmt::json::readRecord<hnasmgmt::json::kCreated>(scan, v, created);
        });
}

__HNASFileSystemShares HNASJSONCreateFileSystemShare::getShareDetails() {
    return share;
}
