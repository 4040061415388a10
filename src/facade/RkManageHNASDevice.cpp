// Storage subsystem and virtual servers: the array's identity and health, the
// list of its virtual servers (EVS) and the lookup of one by name or address.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>
#include <utility>
#include <vector>

#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDevice.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

constexpr long kHttpUnauthorized = 401;
// lastErrorCode after the array refused the credentials.
constexpr long long kErrorUnauthorized = 5;

// True when the text is a dotted-decimal IPv4 address. Anything else, IPv6
// texts included, is looked up as a virtual server name.
bool isIPv4Address(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

using namespace hnasmgmt::facade;

// The subsystem's fields at level 5, one line each.
void logSubsystem(const OpLog& op, const __HNASStorageSubSystemInfo& info) {
    const int level = 5;
    if (!hnasmgmt::logOn(level)) {
        return;
    }
    op.trace.DebugLvl(op.function, level, op.job, "IsCluster [%s]", info.isCluster ? "YES" : "NO");
    op.trace.DebugLvl(op.function, level, op.job, "Cluster Name [%s]",
                      gatewayTextForLog(info.name).c_str());
    op.trace.DebugLvl(op.function, level, op.job, "Node Count [%d]", info.nodeCount);
    op.trace.DebugLvl(op.function, level, op.job, "ClusterUUID [%s]",
                      gatewayTextForLog(info.clusterUUID).c_str());
    op.trace.DebugLvl(op.function, level, op.job, "Firmware Version [%s]",
                      gatewayTextForLog(info.firmwareVersion).c_str());
    op.trace.DebugLvl(op.function, level, op.job, "Model [%s]",
                      gatewayTextForLog(info.model).c_str());
    op.trace.DebugLvl(op.function, level, op.job, "Storage Health [%s]",
                      gatewayTextForLog(info.storageHealth).c_str());
    op.trace.DebugLvl(op.function, level, op.job, "Vendor [%s]",
                      gatewayTextForLog(info.vendor).c_str());
    // The header's brackets hold the number of licence lines that follow.
    op.trace.DebugLvl(op.function, level, op.job, "Licenses... [%s]",
                      std::to_string(info.licenses.size()).c_str());
    for (const std::string& license : info.licenses) {
        op.trace.DebugLvl(op.function, level, op.job, "[%s]", gatewayTextForLog(license).c_str());
    }
}

} // namespace

bool RkManageHNAS::getFileDevice(__HNASStorageSubSystemInfo& info) {
    static const char* const kFunction = functionOf(Op::FileDevices);
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        HNASJSONGetFileDevice message(jobId);
        const Request request = hnasmgmt::facade::request<Op::FileDevices>();
        const bool read = sendAndParse(
            *restApi, op, request,
            [&](const Reply& reply) {
                op.trace.DebugLvl(kFunction, -1, op.job,
                                  "Unable to get the storage subsystem information. Response [%s]",
                                  gatewayTextForLog(reply.body).c_str());
            },
            bodyLine(op, -1, "Successfully got the storage subsystem information. Response [%s]"),
            message);
        if (!read) {
            return false;
        }
        info = message.getSubsystemInfo();
        logSubsystem(op, info);
        return true;
    });
}

bool RkManageHNAS::getVirtualServers(std::vector<__HNASVirtualServers>& servers) {
    static const char* const kFunction = functionOf(Op::VirtualServers);
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        servers.clear();
        if (!sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        HNASJSONGetVirtualServers message(jobId);
        const Request request = hnasmgmt::facade::request<Op::VirtualServers>();
        const bool read = sendAndParse(
            *restApi, op, request,
            [&](const Reply& reply) {
                op.trace.DebugLvl(kFunction, -1, op.job,
                                  "Unable to get virtual server list. Response [%s]",
                                  gatewayTextForLog(reply.body).c_str());
                if (reply.status == kHttpUnauthorized) {
                    lastErrorCode = kErrorUnauthorized;
                }
            },
            bodyLine(op, 5, "Successfully got the virtual server list. Response [%s]"), message);
        if (!read) {
            return false;
        }
        servers = message.getVirtualServers();
        return true;
    });
}

bool RkManageHNAS::getVirtualServerInfo(std::string nameOrAddress, __HNASVirtualServers& server) {
    static const char* const kFunction = "RkManageHNAS::getVirtualServerInfo";
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        if (nameOrAddress.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "The virtual server name is empty.");
            return false;
        }

        std::vector<__HNASVirtualServers> servers;
        if (!getVirtualServers(servers)) {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "Unable to get the list of all virtual servers");
            return false;
        }

        op.trace.DebugLvl(kFunction, 0, op.job, "Checking if %s is a valid IP address..",
                          clipForLog(nameOrAddress).c_str());
        const bool isAddress = isIPv4Address(nameOrAddress);
        op.trace.DebugLvl(kFunction, 0, op.job,
                          isAddress ? "The Array String is an IP."
                                    : "The Array String is not an IP.");

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
                op.trace.DebugLvl(kFunction, 0, op.job, "Found [%s] in the virtual servers list",
                                  clipForLog(nameOrAddress).c_str());
                return true;
            }
        }

        op.trace.DebugLvl(kFunction, -1, op.job, "Unable to find [%s] in the virtual servers list",
                          clipForLog(nameOrAddress).c_str());
        return false;
    });
}
