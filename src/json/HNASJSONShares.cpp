// Messages of the CIFS and NFS shares.

#include "hnasmgmt/json/HNASJSONShares.h"

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

// Reads a share's "virtualServerId": truncated to 32 bits, then widened.
bool readVirtualServerId(const JsonObject& object, long long& out) {
    int id = 0;
    if (!object.readInt32("virtualServerId", id)) {
        return false;
    }
    out = id;
    return true;
}

// One element of "filesystemShares". The identity keys and the "settings"
// object are required; the four settings keys are read only when they hold
// strings, otherwise the defaults stay.
bool readShare(const JsonObject& object, __HNASFileSystemShares& share) {
    static constexpr std::string_view kKeys[] = {
        "settings", "virtualServerId", "filesystemId", "objectId", "shareId", "name", "path"};
    JsonValue v[7];
    JsonObject settings;
    int virtualServerId = 0;
    if (!object.lookupAll(kKeys, v) || !v[0].toObject(settings) || !v[1].toInt32(virtualServerId) ||
        !v[2].toString(share.filesystemId) || !v[3].toString(share.objectId) ||
        !v[4].toString(share.shareId) || !v[5].toString(share.name) || !v[6].toString(share.path)) {
        return false;
    }
    share.virtualServerId = virtualServerId;

    static constexpr std::string_view kSettingsKeys[] = {"accessConfig", "localReadCacheOption",
                                                         "snapshotOption",
                                                         "transferToReplicationTargetSetting"};
    JsonValue s[4];
    settings.lookup(kSettingsKeys, s, 4);
    // toString is typed: an absent key or one of another type leaves the default.
    s[0].toString(share.settings.accessConfig);
    s[1].toString(share.settings.localReadCacheOption);
    s[2].toString(share.settings.snapshotOption);
    s[3].toString(share.settings.transferToReplicationTargetSetting);
    return true;
}

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

bool hnasjson::readSharesListing(unsigned long long jobId, std::string& response,
                                 std::vector<__HNASFileSystemShares>& records) noexcept {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONGetFileSystemShares::parseResponse", jobId, response,
                                    document)) {
            return false;
        }
        std::vector<__HNASFileSystemShares> parsed;
        JsonArray list;
        if (document.root().readArray("filesystemShares", list)) { // none: no records
            hnasjson::reserveFor(parsed, list);
            for (JsonValue element : list) {
                JsonObject object;
                parsed.emplace_back();
                if (!element.toObject(object) || !readShare(object, parsed.back())) {
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

bool HNASJSONGetFileSystemShares::parseResponse(std::string& response) {
    try {
        std::vector<__HNASFileSystemShares> parsed;
        if (!hnasjson::readSharesListing(jobId, response, parsed)) {
            return false;
        }
        hnasjson::appendParsed(shares, parsed);
        return true;
    } catch (...) {
        return false;
    }
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
                       s.c_str());
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
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONCreateFileSystemShare::parseResponse", jobId, response,
                                    document)) {
            return false;
        }
        JsonObject object;
        __HNASFileSystemShares created = share;
        if (!document.root().readObject("filesystemShare", object) ||
            !object.readString("filesystemId", created.filesystemId) ||
            !object.readString("name", created.name) ||
            !object.readString("objectId", created.objectId) ||
            !object.readString("path", created.path) ||
            !object.readString("shareId", created.shareId) ||
            !readVirtualServerId(object, created.virtualServerId)) {
            return false;
        }
        share = std::move(created);
        return true;
    } catch (...) {
        return false;
    }
}

__HNASFileSystemShares HNASJSONCreateFileSystemShare::getShareDetails() {
    return share;
}
