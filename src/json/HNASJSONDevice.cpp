// Messages of the storage subsystem and the virtual servers.

#include "hnasmgmt/json/HNASJSONDevice.h"

#include <string_view>
#include <utility>

#include "json/ListingReaders.h"
#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

using hnasjson::JsonScan;
using hnasjson::JsonValue;

// --- HNASJSONGetFileDevice ---

HNASJSONGetFileDevice::HNASJSONGetFileDevice(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

bool HNASJSONGetFileDevice::parseResponse(std::string& response) {
    try {
        static constexpr std::string_view kKeys[] = {
            "licenses", "clusterUUID", "isCluster",     "firmwareVersion", "model",
            "name",     "nodeCount",   "storageHealth", "vendor"};
        // Read into a copy so that a failed read leaves the record as it was;
        // the licences are appended to those already held once all is read.
        __HNASStorageSubSystemInfo info = subsystemInfo;
        std::vector<std::string> licenses;
        std::uint32_t read = 0;
        if (!hnasjson::readDocument(
                "HNASJSONGetFileDevice::parseResponse", jobId, response, kKeys,
                [&](JsonScan& scan, std::size_t i, JsonValue& v) {
                    switch (i) {
                    case 0: {
                        bool strings = true;
                        const bool isArray = scan.elements(v, [&](JsonValue& element) {
                            if (!strings) {
                                scan.skip(element);
                                return;
                            }
                            licenses.emplace_back();
                            strings = scan.read(element, licenses.back());
                        });
                        return isArray && strings;
                    }
                    case 1:
                        return scan.read(v, info.clusterUUID);
                    case 2:
                        return scan.read(v, info.isCluster);
                    case 3:
                        return scan.read(v, info.firmwareVersion);
                    case 4:
                        return scan.read(v, info.model);
                    case 5:
                        return scan.read(v, info.name);
                    case 6:
                        return scan.read(v, info.nodeCount);
                    case 7:
                        return scan.read(v, info.storageHealth);
                    default:
                        return scan.read(v, info.vendor);
                    }
                },
                read) ||
            read != hnasjson::allOf(kKeys)) {
            return false;
        }
        info.licenses.insert(info.licenses.end(), std::make_move_iterator(licenses.begin()),
                             std::make_move_iterator(licenses.end()));
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
    return hnasjson::readListing(jobId, response, virtualServers);
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
        static constexpr std::string_view kKeys[] = {"virtualServers"};
        __HNASVirtualServers server = virtualServer; // addresses accumulate
        bool first = true;
        bool complete = false;
        std::uint32_t read = 0;
        if (!hnasjson::readDocument(
                "HNASJSONGetVirtualServerAssociatedWithFS::parseResponse", jobId, response, kKeys,
                [&](JsonScan& scan, std::size_t, JsonValue& v) {
                    return scan.elements(v, [&](JsonValue& element) {
                        if (!first) {
                            scan.skip(element);
                            return;
                        }
                        first = false;
                        complete = hnasjson::readRecord(scan, element, server);
                    });
                },
                read) ||
            !complete) {
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
