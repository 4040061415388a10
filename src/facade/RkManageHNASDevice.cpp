// Storage subsystem and virtual servers: the array's identity and health, the
// list of its virtual servers (EVS) and the lookup of one by name or address.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>
#include <utility>
#include <vector>

#include "facade/NoThrow.h"
#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDevice.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

constexpr int kResourceFileDevices = 1;
constexpr int kResourceVirtualServers = 2;
constexpr long kHttpUnauthorized = 401;
// lastErrorCode after the array refused the credentials.
constexpr long long kErrorUnauthorized = 5;

// True when the text is a dotted-decimal IPv4 address. Anything else, IPv6
// texts included, is looked up as a virtual server name.
bool isIPv4Address(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

} // namespace

bool RkManageHNAS::getFileDevice(__HNASStorageSubSystemInfo& info) {
    static const char* const kFunction = "RkManageHNAS::getFileDevice";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }

        std::string response;
        if (!restApi->get("file-devices", response, kResourceFileDevices)) {
            trace.DebugLvl(kFunction, -1, job,
                           "Unable to get the storage subsystem information. Response [%s]",
                           response.c_str());
            return false;
        }
        if (!hnasHasBody(response, trace, kFunction, job)) {
            return false;
        }
        trace.DebugLvl(kFunction, -1, job,
                       "Successfully got the storage subsystem information. Response [%s]",
                       response.c_str());

        HNASJSONGetFileDevice message(jobId);
        if (!message.parseResponse(response)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to parse JSON response");
            return false;
        }
        info = message.getSubsystemInfo();

        trace.DebugLvl(kFunction, 5, job, "IsCluster [%s]", info.isCluster ? "YES" : "NO");
        trace.DebugLvl(kFunction, 5, job, "Cluster Name [%s]", info.name.c_str());
        trace.DebugLvl(kFunction, 5, job, "Node Count [%d]", info.nodeCount);
        trace.DebugLvl(kFunction, 5, job, "ClusterUUID [%s]", info.clusterUUID.c_str());
        trace.DebugLvl(kFunction, 5, job, "Firmware Version [%s]", info.firmwareVersion.c_str());
        trace.DebugLvl(kFunction, 5, job, "Model [%s]", info.model.c_str());
        trace.DebugLvl(kFunction, 5, job, "Storage Health [%s]", info.storageHealth.c_str());
        trace.DebugLvl(kFunction, 5, job, "Vendor [%s]", info.vendor.c_str());
        // The header's brackets hold the number of licence lines that follow.
        trace.DebugLvl(kFunction, 5, job, "Licenses... [%s]",
                       std::to_string(info.licenses.size()).c_str());
        for (const std::string& license : info.licenses) {
            trace.DebugLvl(kFunction, 5, job, "[%s]", license.c_str());
        }
        return true;
    });
}

bool RkManageHNAS::getVirtualServers(std::vector<__HNASVirtualServers>& servers) {
    static const char* const kFunction = "RkManageHNAS::getVirtualServers";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        servers.clear();
        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }

        std::string response;
        if (!restApi->get("virtual-servers", response, kResourceVirtualServers)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get virtual server list. Response [%s]",
                           response.c_str());
            if (restApi->getLastHttpError() == kHttpUnauthorized) {
                lastErrorCode = kErrorUnauthorized;
            }
            return false;
        }
        if (!hnasHasBody(response, trace, kFunction, job)) {
            return false;
        }
        trace.DebugLvl(kFunction, 5, job, "Successfully got the virtual server list. Response [%s]",
                       response.c_str());

        HNASJSONGetVirtualServers message(jobId);
        if (!message.parseResponse(response)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to parse JSON response");
            return false;
        }
        servers = message.getVirtualServers();
        return true;
    });
}

bool RkManageHNAS::getVirtualServerInfo(std::string nameOrAddress, __HNASVirtualServers& server) {
    static const char* const kFunction = "RkManageHNAS::getVirtualServerInfo";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (nameOrAddress.empty()) {
            trace.DebugLvl(kFunction, -1, job, "The virtual server name is empty.");
            return false;
        }

        std::vector<__HNASVirtualServers> servers;
        if (!getVirtualServers(servers)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get the list of all virtual servers");
            return false;
        }

        trace.DebugLvl(kFunction, 0, job, "Checking if %s is a valid IP address..",
                       nameOrAddress.c_str());
        const bool isAddress = isIPv4Address(nameOrAddress);
        trace.DebugLvl(kFunction, 0, job,
                       isAddress ? "The Array String is an IP." : "The Array String is not an IP.");

        // The first server in the gateway's order wins; both comparisons are
        // exact, byte for byte.
        for (__HNASVirtualServers& candidate : servers) {
            bool matches = false;
            if (isAddress) {
                for (const std::string& address : candidate.ipAddresses) {
                    if (address == nameOrAddress) {
                        matches = true;
                        break;
                    }
                }
            } else {
                matches = candidate.name == nameOrAddress;
            }
            if (matches) {
                // Every field of the found server, its UUID included.
                server = std::move(candidate);
                trace.DebugLvl(kFunction, 0, job, "Found [%s] in the virtual servers list",
                               nameOrAddress.c_str());
                return true;
            }
        }

        trace.DebugLvl(kFunction, -1, job, "Unable to find [%s] in the virtual servers list",
                       nameOrAddress.c_str());
        return false;
    });
}
