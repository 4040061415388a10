// Messages of the CIFS and NFS shares.

#include "hnasmgmt/json/HNASJSONShares.h"

#include <string_view>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "rest/LogText.h"
#include "json/BodyWriter.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

using hnasjson::JsonScan;
using hnasjson::JsonValue;
using simdjson::ondemand::json_type;

bool hnasjson::readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemShares& share) {
    using R = __HNASFileSystemShares;
    using S = __HNASFileSystemShareSettings;
    static constexpr std::string_view kKeys[] = {
        "settings", "virtualServerId", "filesystemId", "objectId", "shareId", "name", "path"};
    static constexpr std::string_view kSettingsKeys[] = {"accessConfig", "localReadCacheOption",
                                                         "snapshotOption",
                                                         "transferToReplicationTargetSetting"};
    return scan.fields(value, kKeys, [&](std::size_t i, JsonValue& v) {
        if (i > 0) {
            return readMember<&R::virtualServerId, &R::filesystemId, &R::objectId, &R::shareId,
                              &R::name, &R::path>(scan, i - 1, v, share);
        }
        if (!scan.is(v, json_type::object)) {
            scan.skip(v);
            return false;
        }
        // Read only when they hold strings: otherwise the defaults stay.
        scan.fields(v, kSettingsKeys, [&](std::size_t k, JsonValue& s) {
            return readMember<&S::accessConfig, &S::localReadCacheOption, &S::snapshotOption,
                              &S::transferToReplicationTargetSetting>(scan, k, s, share.settings);
        });
        return true;
    }) == hnasjson::allOf(kKeys);
}

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
           !filesystemPath.empty() && hnasjson::isJsonStringContent(name) &&
           hnasjson::isJsonNumber(virtualServerId) && hnasjson::isJsonStringContent(filesystemId) &&
           hnasjson::isJsonStringContent(filesystemPath);
}

bool validCIFSSettings(const __HNASFileSystemShareSettings& s) {
    return hnasjson::isJsonStringContent(s.accessConfig) &&
           hnasjson::isJsonStringContent(s.comment) &&
           hnasjson::isJsonStringContent(s.userHomeDirectoryPath) &&
           hnasjson::isJsonStringContent(s.snapshotOption) &&
           hnasjson::isJsonStringContent(s.cacheOption) &&
           hnasjson::isJsonStringContent(s.transferToReplicationTargetSetting) &&
           hnasjson::isJsonStringContent(s.userHomeDirectoryMode);
}

bool validNFSSettings(const __HNASFileSystemShareSettings& s) {
    return hnasjson::isJsonStringContent(s.accessConfig) &&
           hnasjson::isJsonStringContent(s.snapshotOption) &&
           hnasjson::isJsonStringContent(s.localReadCacheOption) &&
           hnasjson::isJsonStringContent(s.transferToReplicationTargetSetting);
}

// {"name":"N", "virtualServerId":V, "filesystemId":"F", "filesystemPath":"P", "settings":S}
std::string shareBody(const std::string& name, const std::string& virtualServerId,
                      const std::string& filesystemId, const std::string& filesystemPath,
                      const std::string& settings) {
    return hnasjson::ObjectWriter()
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
    using S = __HNASFileSystemShareSettings;
    static constexpr const char* kKeys[] = {"accessConfig", "snapshotOption",
                                            "localReadCacheOption",
                                            "transferToReplicationTargetSetting"};
    return hnasjson::buildBody(
        "HNASJSONCreateFileSystemShare::buildRequestNFS", jobId,
        validIdentity(name, virtualServerId, filesystemId, filesystemPath) &&
            validNFSSettings(settings),
        body, [&] {
            return shareBody(
                name, virtualServerId, filesystemId, filesystemPath,
                hnasjson::writeMembers<&S::accessConfig, &S::snapshotOption,
                                       &S::localReadCacheOption,
                                       &S::transferToReplicationTargetSetting>(settings, kKeys));
        });
}

// The comment of a share created without one is "Rekanto Created Share".
bool HNASJSONCreateFileSystemShare::buildRequestCIFS(std::string& body,
                                                     __HNASFileSystemShareSettings& settings) {
    using S = __HNASFileSystemShareSettings;
    static constexpr const char* kKeys[] = {"accessConfig",
                                            "comment",
                                            "userHomeDirectoryPath",
                                            "isScanForVirusesEnabled",
                                            "maxConcurrentUsers",
                                            "snapshotOption",
                                            "cacheOption",
                                            "transferToReplicationTargetSetting",
                                            "userHomeDirectoryMode",
                                            "isFollowSymbolicLinks",
                                            "isFollowGlobalSymbolicLinks",
                                            "isForceFileNameToLowercase",
                                            "isABEEnabled"};
    const char* const function = "HNASJSONCreateFileSystemShare::buildRequestCIFS";
    return hnasjson::buildBody(
        function, jobId,
        validIdentity(name, virtualServerId, filesystemId, filesystemPath) &&
            validCIFSSettings(settings),
        body, [&] {
            S written = settings;
            if (written.comment.empty()) {
                written.comment = "Rekanto Created Share";
            }
            const std::string s = hnasjson::writeMembers<
                &S::accessConfig, &S::comment, &S::userHomeDirectoryPath,
                &S::isScanForVirusesEnabled, &S::maxConcurrentUsers, &S::snapshotOption,
                &S::cacheOption, &S::transferToReplicationTargetSetting, &S::userHomeDirectoryMode,
                &S::isFollowSymbolicLinks, &S::isFollowGlobalSymbolicLinks,
                &S::isForceFileNameToLowercase, &S::isABEEnabled>(written, kKeys);
            DbgTrace trace(nullptr);
            trace.DebugLvl(function, 0, static_cast<long long>(jobId), "Settings: [%s]",
                           hnasmgmt::clipForLog(s).c_str());
            return shareBody(name, virtualServerId, filesystemId, filesystemPath, s);
        });
}

// Reads the created "filesystemShare"; every key is required. The record's
// settings are left as they are.
bool HNASJSONCreateFileSystemShare::parseResponse(std::string& response) {
    using R = __HNASFileSystemShares;
    static constexpr std::string_view kKeys[] = {"filesystemShare"};
    return hnasjson::readInto(
        "HNASJSONCreateFileSystemShare::parseResponse", jobId, response, kKeys, share,
        [](JsonScan& scan, std::size_t, JsonValue& v, R& created) {
            static constexpr std::string_view kShareKeys[] = {
                "filesystemId", "name", "objectId", "path", "shareId", "virtualServerId"};
            return hnasjson::readMembers<&R::filesystemId, &R::name, &R::objectId, &R::path,
                                         &R::shareId, &R::virtualServerId>(scan, v, kShareKeys,
                                                                           created);
        });
}

__HNASFileSystemShares HNASJSONCreateFileSystemShare::getShareDetails() {
    return share;
}
