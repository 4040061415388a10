// Messages of the storage subsystem and the virtual servers.

#include "hnasmgmt/json/HNASJSONDevice.h"

#include <utility>

#include "json/JsonReader.h"
#include "json/ParseFrame.h"
#include "json/VirtualServerReader.h"

using hnasjson::JsonArray;
using hnasjson::JsonObject;
using hnasjson::JsonValue;

// --- HNASJSONGetFileDevice ---

HNASJSONGetFileDevice::HNASJSONGetFileDevice(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool HNASJSONGetFileDevice::parseResponse(std::string& response) {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONGetFileDevice::parseResponse", jobId, response,
                                    document)) {
            return false;
        }
        const JsonObject& root = document.root();
        // Read into a copy so that a failed read leaves the record as it was;
        // the licences are appended to those already held.
        __HNASStorageSubSystemInfo info = subsystemInfo;
        JsonArray licenses;
        if (!root.readArray("licenses", licenses) ||
            !root.readString("clusterUUID", info.clusterUUID) ||
            !root.readBool("isCluster", info.isCluster) ||
            !root.readString("firmwareVersion", info.firmwareVersion) ||
            !root.readString("model", info.model) || !root.readString("name", info.name) ||
            !root.readInt32("nodeCount", info.nodeCount) ||
            !root.readString("storageHealth", info.storageHealth) ||
            !root.readString("vendor", info.vendor)) {
            return false;
        }
        for (JsonValue element : licenses) {
            info.licenses.emplace_back();
            if (!element.toString(info.licenses.back())) {
                return false;
            }
        }
        subsystemInfo = std::move(info);
        return true;
    } catch (...) {
        return false;
    }
}

__HNASStorageSubSystemInfo HNASJSONGetFileDevice::getSubsystemInfo() {
    return subsystemInfo;
}

// --- HNASJSONGetVirtualServers ---

HNASJSONGetVirtualServers::HNASJSONGetVirtualServers(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool HNASJSONGetVirtualServers::parseResponse(std::string& response) {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONGetVirtualServers::parseResponse", jobId, response,
                                    document)) {
            return false;
        }
        JsonArray servers;
        if (!document.root().readArray("virtualServers", servers)) {
            return false;
        }
        std::vector<__HNASVirtualServers> parsed;
        hnasjson::reserveFor(parsed, servers);
        for (JsonValue element : servers) {
            JsonObject object;
            parsed.emplace_back();
            if (!element.toObject(object) || !hnasjson::readVirtualServer(object, parsed.back())) {
                return false;
            }
        }
        hnasjson::appendParsed(virtualServers, parsed);
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<__HNASVirtualServers> HNASJSONGetVirtualServers::getVirtualServers() {
    return virtualServers;
}

// --- HNASJSONGetVirtualServerAssociatedWithFS ---

HNASJSONGetVirtualServerAssociatedWithFS::HNASJSONGetVirtualServerAssociatedWithFS(
    const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

// Only the first element of "virtualServers" is read; an empty array is a
// failure.
bool HNASJSONGetVirtualServerAssociatedWithFS::parseResponse(std::string& response) {
    try {
        hnasjson::JsonDocument document;
        if (!hnasjson::openResponse("HNASJSONGetVirtualServerAssociatedWithFS::parseResponse",
                                    jobId, response, document)) {
            return false;
        }
        JsonArray servers;
        JsonValue first;
        JsonObject object;
        if (!document.root().readArray("virtualServers", servers) || !servers.first(first) ||
            !first.toObject(object)) {
            return false;
        }
        __HNASVirtualServers server = virtualServer; // addresses accumulate
        if (!hnasjson::readVirtualServer(object, server)) {
            return false;
        }
        virtualServer = std::move(server);
        return true;
    } catch (...) {
        return false;
    }
}

__HNASVirtualServers HNASJSONGetVirtualServerAssociatedWithFS::getVirtualServer() {
    return virtualServer;
}
