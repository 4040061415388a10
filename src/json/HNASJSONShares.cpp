// Messages of the CIFS and NFS shares.

#include "hnasmgmt/json/HNASJSONShares.h"

#include <string_view>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "rest/LogText.h"
#include "json/JsonText.h"
#include "json/ListingReaders.h"
#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

using hnasjson::JsonScan;
using hnasjson::JsonValue;
using simdjson::ondemand::json_type;

bool hnasjson::readRecord(JsonScan& scan, JsonValue& value, __HNASFileSystemShares& share) {
    static constexpr std::string_view kKeys[] = {
        "settings", "virtualServerId", "filesystemId", "objectId", "shareId", "name", "path"};
    static constexpr std::string_view kSettingsKeys[] = {"accessConfig", "localReadCacheOption",
                                                         "snapshotOption",
                                                         "transferToReplicationTargetSetting"};
    __HNASFileSystemShareSettings& settings = share.settings;
    int virtualServerId = 0;
    const bool complete = scan.fields(value, kKeys, [&](std::size_t i, JsonValue& v) {
        switch (i) {
        case 0:
            if (!scan.is(v, json_type::object)) {
                scan.skip(v);
                return false;
            }
            // Read only when they hold strings: otherwise the defaults stay.
            scan.fields(v, kSettingsKeys, [&](std::size_t k, JsonValue& s) {
                std::string* const fields[] = {
                    &settings.accessConfig, &settings.localReadCacheOption,
                    &settings.snapshotOption, &settings.transferToReplicationTargetSetting};
                return scan.read(s, *fields[k]);
            });
            return true;
        case 1:
            return scan.read(v, virtualServerId); // truncated to 32 bits, then widened
        case 2:
            return scan.read(v, share.filesystemId);
        case 3:
            return scan.read(v, share.objectId);
        case 4:
            return scan.read(v, share.shareId);
        case 5:
            return scan.read(v, share.name);
        default:
            return scan.read(v, share.path);
        }
    }) == hnasjson::allOf(kKeys);
    share.virtualServerId = virtualServerId;
    return complete;
}

namespace {

// Helpers that write one member of a body or settings object.
void addString(std::string& out, const char* key, const std::string& value) {
    out += '"';
    out += key;
    out += "\":\"";
    out += value;
    out += '"';
}

void addBare(std::string& out, const char* key, const std::string& value) {
    out += '"';
    out += key;
    out += "\":";
    out += value;
}

void addBool(std::string& out, const char* key, bool value) {
    addBare(out, key, value ? "true" : "false");
}

} // namespace

// --- HNASJSONGetFileSystemShares ---

HNASJSONGetFileSystemShares::HNASJSONGetFileSystemShares(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool HNASJSONGetFileSystemShares::parseResponse(std::string& response) {
    return hnasjson::readListing(jobId, response, shares);
}

std::vector<__HNASFileSystemShares> HNASJSONGetFileSystemShares::getFileSystemShares() {
    return shares;
}

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
    std::string body = "{";
    addString(body, "name", name);
    body += ", ";
    addBare(body, "virtualServerId", virtualServerId);
    body += ", ";
    addString(body, "filesystemId", filesystemId);
    body += ", ";
    addString(body, "filesystemPath", filesystemPath);
    body += ", ";
    addBare(body, "settings", settings);
    body += '}';
    return body;
}

} // namespace

bool HNASJSONCreateFileSystemShare::buildRequestNFS(std::string& body,
                                                    __HNASFileSystemShareSettings& settings) {
    body.clear();
    if (!validIdentity(name, virtualServerId, filesystemId, filesystemPath) ||
        !validNFSSettings(settings)) {
        DbgTrace trace(nullptr);
        trace.DebugLvl("HNASJSONCreateFileSystemShare::buildRequestNFS", -1,
                       static_cast<long long>(jobId), "Invalid parameters!!");
        return false;
    }
    try {
        std::string s = "{";
        addString(s, "accessConfig", settings.accessConfig);
        s += ", ";
        addString(s, "snapshotOption", settings.snapshotOption);
        s += ", ";
        addString(s, "localReadCacheOption", settings.localReadCacheOption);
        s += ", ";
        addString(s, "transferToReplicationTargetSetting",
                  settings.transferToReplicationTargetSetting);
        s += '}';
        std::string text = shareBody(name, virtualServerId, filesystemId, filesystemPath, s);
        body.swap(text);
        return true;
    } catch (...) {
        body.clear();
        return false;
    }
}

bool HNASJSONCreateFileSystemShare::buildRequestCIFS(std::string& body,
                                                     __HNASFileSystemShareSettings& settings) {
    body.clear();
    DbgTrace trace(nullptr);
    const long long job = static_cast<long long>(jobId);
    if (!validIdentity(name, virtualServerId, filesystemId, filesystemPath) ||
        !validCIFSSettings(settings)) {
        trace.DebugLvl("HNASJSONCreateFileSystemShare::buildRequestCIFS", -1, job,
                       "Invalid parameters!!");
        return false;
    }
    try {
        std::string s = "{";
        addString(s, "accessConfig", settings.accessConfig);
        s += ", ";
        addString(s, "comment",
                  settings.comment.empty() ? std::string("Rekanto Created Share")
                                           : settings.comment);
        s += ", ";
        addString(s, "userHomeDirectoryPath", settings.userHomeDirectoryPath);
        s += ", ";
        addBool(s, "isScanForVirusesEnabled", settings.isScanForVirusesEnabled);
        s += ", ";
        addBare(s, "maxConcurrentUsers", hnasjson::jsonInteger(settings.maxConcurrentUsers));
        s += ", ";
        addString(s, "snapshotOption", settings.snapshotOption);
        s += ", ";
        addString(s, "cacheOption", settings.cacheOption);
        s += ", ";
        addString(s, "transferToReplicationTargetSetting",
                  settings.transferToReplicationTargetSetting);
        s += ", ";
        addString(s, "userHomeDirectoryMode", settings.userHomeDirectoryMode);
        s += ", ";
        addBool(s, "isFollowSymbolicLinks", settings.isFollowSymbolicLinks);
        s += ", ";
        addBool(s, "isFollowGlobalSymbolicLinks", settings.isFollowGlobalSymbolicLinks);
        s += ", ";
        addBool(s, "isForceFileNameToLowercase", settings.isForceFileNameToLowercase);
        s += ", ";
        addBool(s, "isABEEnabled", settings.isABEEnabled);
        s += '}';
        trace.DebugLvl("HNASJSONCreateFileSystemShare::buildRequestCIFS", 0, job, "Settings: [%s]",
                       hnasmgmt::clipForLog(s).c_str());
        std::string text = shareBody(name, virtualServerId, filesystemId, filesystemPath, s);
        body.swap(text);
        return true;
    } catch (...) {
        body.clear();
        return false;
    }
}

// Reads the created "filesystemShare"; every key is required. The record's
// settings are left as they are.
bool HNASJSONCreateFileSystemShare::parseResponse(std::string& response) {
    try {
        static constexpr std::string_view kKeys[] = {"filesystemShare"};
        static constexpr std::string_view kShareKeys[] = {
            "filesystemId", "name", "objectId", "path", "shareId", "virtualServerId"};
        __HNASFileSystemShares created = share;
        int virtualServerId = 0;
        std::uint32_t read = 0;
        if (!hnasjson::readDocument(
                "HNASJSONCreateFileSystemShare::parseResponse", jobId, response, kKeys,
                [&](JsonScan& scan, std::size_t, JsonValue& v) {
                    return scan.fields(v, kShareKeys, [&](std::size_t i, JsonValue& field) {
                        std::string* const texts[] = {&created.filesystemId, &created.name,
                                                      &created.objectId, &created.path,
                                                      &created.shareId};
                        return i < 5 ? scan.read(field, *texts[i])
                                     : scan.read(field, virtualServerId);
                    }) == hnasjson::allOf(kShareKeys);
                },
                read) ||
            read == 0) {
            return false;
        }
        created.virtualServerId = virtualServerId;
        share = std::move(created);
        return true;
    } catch (...) {
        return false;
    }
}

__HNASFileSystemShares HNASJSONCreateFileSystemShare::getShareDetails() {
    return share;
}
