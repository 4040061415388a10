// File systems: the listing, the lookups of a file system's ID by label or by
// share, and the virtual server that serves a file system.

#include <locale>
#include <string>
#include <utility>
#include <vector>

#include <boost/algorithm/string/case_conv.hpp>

#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDevice.h"
#include "hnasmgmt/json/HNASJSONFileSystems.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

// Lower-case copy under the process's global locale, as every
// case-insensitive name comparison of the facade makes it.
std::string lowerCopy(const std::string& text) {
    return boost::algorithm::to_lower_copy(text, std::locale());
}

using namespace hnasmgmt::facade;

} // namespace

bool RkManageHNAS::getFileSystemsInfo(const std::string& filesystemId,
                                      std::vector<__HNASFileSystemInfo>& filesystems) {
    static const char* const kFunction = functionOf(Op::ListFileSystems);
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        if (filesystemId.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "FileSystemID is empty. Getting all File Systems info.");
        } else {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "Getting File System info for FileSystemID [%s]",
                              clipForLog(filesystemId).c_str());
        }

        const Request request = hnasmgmt::facade::request<Op::ListFileSystems>(filesystemId);
        return sendAndReadListing(
            *restApi, op, request, fixedLine(op, -1, "Unable to get file systems list."),
            bodyLine(op, 5, "Successfully got file systems. Response [%s]"), filesystems);
    });
}

bool RkManageHNAS::getFileSystemID(__HNASVirtualServers virtualServer, const std::string& shareName,
                                   const std::string& shareType, std::string& filesystemId) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemID";
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        if (shareName.empty() || virtualServer.objectId.empty() || shareType.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        // An empty filter lists every share of the virtual server; the
        // listing logs its own failures.
        std::vector<__HNASFileSystemShares> shares;
        if (!getFilesystemShares(virtualServer, shareType, shares, false)) {
            return false;
        }

        const std::string wanted = lowerCopy(shareName);
        for (const __HNASFileSystemShares& share : shares) {
            if (lowerCopy(share.name) == wanted) {
                op.trace.DebugLvl(kFunction, 0, op.job, "Share [%s] found.",
                                  gatewayTextForLog(share.name).c_str());
                filesystemId = share.filesystemId;
                return true;
            }
        }
        op.trace.DebugLvl(kFunction, -1, op.job, "Share [%s] not found in Virtual Server [%s].",
                          clipForLog(shareName).c_str(), clipForLog(virtualServer.name).c_str());
        return false;
    });
}

bool RkManageHNAS::getFileSystemID(const std::string& filesystemName, std::string& filesystemId) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemID";
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        if (filesystemName.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid Input. File System name is empty.");
            return false;
        }

        std::vector<__HNASFileSystemInfo> filesystems;
        if (!nonEmptyListing(op, getFileSystemsInfo(std::string(), filesystems), filesystems,
                             "Unable to get the File Systems list.",
                             "File Systems list is empty.")) {
            return false;
        }

        // Every match is logged; the last one listed wins.
        const std::string wanted = lowerCopy(filesystemName);
        const __HNASFileSystemInfo* match = nullptr;
        for (const __HNASFileSystemInfo& filesystem : filesystems) {
            if (lowerCopy(filesystem.label) == wanted) {
                op.trace.DebugLvl(kFunction, 0, op.job, "File System[%s] found. FS ID [%s]",
                                  gatewayTextForLog(filesystem.label).c_str(),
                                  gatewayTextForLog(filesystem.filesystemId).c_str());
                match = &filesystem;
            }
        }
        if (match == nullptr) {
            return false;
        }
        filesystemId = match->filesystemId;
        return true;
    });
}

bool RkManageHNAS::getEVSIdAssociatedWithFileSystemID(const std::string& filesystemId,
                                                      unsigned long long& virtualServerId) {
    static const char* const kFunction = functionOf(Op::FileSystemVirtualServer);
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        if (filesystemId.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid Input. File System ID is empty.");
            return false;
        }

        HNASJSONGetVirtualServerAssociatedWithFS message(jobId);
        const Request request =
            hnasmgmt::facade::request<Op::FileSystemVirtualServer>(filesystemId);
        const bool read = sendAndParse(
            *restApi, op, request,
            fixedLine(op, -1,
                      "Unable to get the virtual server info associated with File System[" +
                          clipForLog(filesystemId) + "]"),
            bodyLine(op, 5, "Successfully got the Virtual Server info. Response [%s]"), message);
        if (!read) {
            return false;
        }
        virtualServerId = message.getVirtualServer().virtualServerId;
        return true;
    });
}
