// Messages of the storage subsystem and the virtual servers.

#include "hnasmgmt/json/HNASJSONDevice.h"

#include <string_view>

#include "json/ListingReaders.h"
#include "json/ParseFrame.h"
#include "json/RecordReaders.h"

using hnasmgmt::json::JsonScan;
using hnasmgmt::json::JsonValue;

// --- HNASJSONGetFileDevice ---

HNASJSONGetFileDevice::HNASJSONGetFileDevice(const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

// The licences are appended to those already held.
bool HNASJSONGetFileDevice::parseResponse(std::string& response) {
    using Rows = hnasmgmt::json::Selection<__HNASStorageSubSystemInfo, hnasmgmt::json::kRead>;
    return hnasmgmt::json::readInto(
        "HNASJSONGetFileDevice::parseResponse", jobId, response, Rows::keys, subsystemInfo,
        [](JsonScan& scan, std::size_t i, JsonValue& v, __HNASStorageSubSystemInfo& info) {
            return hnasmgmt::json::readRow<hnasmgmt::json::kRead>(scan, i, v, info) ==
                   hnasmgmt::json::Taken::Value;
        });
}

__HNASStorageSubSystemInfo HNASJSONGetFileDevice::getSubsystemInfo() {
    return subsystemInfo;
}

HNASJSON_LISTING_MESSAGE(HNASJSONGetVirtualServers, __HNASVirtualServers, virtualServers,
                         getVirtualServers)

// --- HNASJSONGetVirtualServerAssociatedWithFS ---

HNASJSONGetVirtualServerAssociatedWithFS::HNASJSONGetVirtualServerAssociatedWithFS(
    const unsigned long long& jobId)
    : HNASJSONBase(jobId) {}

// Only the first element of "virtualServers" is read; an empty array is a
// failure. The addresses accumulate.
bool HNASJSONGetVirtualServerAssociatedWithFS::parseResponse(std::string& response) {
    static constexpr std::string_view kKeys[] = {"virtualServers"};
    return hnasmgmt::json::readInto(
        "HNASJSONGetVirtualServerAssociatedWithFS::parseResponse", jobId, response, kKeys,
        virtualServer, [](JsonScan& scan, std::size_t, JsonValue& v, __HNASVirtualServers& server) {
            bool first = true;
            bool complete = false;
            return scan.elements(v, [&](JsonValue& element) {
                if (!first) {
                    scan.skip(element);
                    return;
                }
                first = false;
                complete = hnasmgmt::json::readRecord(scan, element, server);
            }) && complete;
        });
}

__HNASVirtualServers HNASJSONGetVirtualServerAssociatedWithFS::getVirtualServer() {
    return virtualServer;
}
