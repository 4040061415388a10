// File systems: the listing, the lookups of a file system's ID by label or by
// share, and the virtual server that serves a file system.

#include <locale>
#include <string>
#include <utility>
#include <vector>

#include <boost/algorithm/string/case_conv.hpp>

#include "facade/NoThrow.h"
#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDevice.h"
#include "hnasmgmt/json/HNASJSONFileSystems.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "json/ListingReaders.h"

namespace {

// Resource type codes of the requests sent here.
constexpr int kFileSystemsResource = 9;
constexpr int kFileSystemVirtualServerResource = 14;

// Lower-case copy under the process's global locale, as every
// case-insensitive name comparison of the facade makes it.
std::string lowerCopy(const std::string& text) {
    return boost::algorithm::to_lower_copy(text, std::locale());
}

using hnasfacade::clipForLog;
using hnasfacade::OpLog;
using hnasfacade::Reply;
using hnasfacade::Request;
using hnasfacade::ResourcePath;
using hnasfacade::sendAndRead;
using hnasfacade::sessionReady;
using hnasfacade::Verb;

} // namespace

bool RkManageHNAS::getFileSystemsInfo(const std::string& filesystemId,
                                      std::vector<__HNASFileSystemInfo>& filesystems) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemsInfo";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        const OpLog op{kFunction, job, trace};
        if (!sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (filesystemId.empty()) {
            trace.DebugLvl(kFunction, -1, job,
                           "FileSystemID is empty. Getting all File Systems info.");
        } else {
            trace.DebugLvl(kFunction, -1, job, "Getting File System info for FileSystemID [%s]",
                           clipForLog(filesystemId).c_str());
        }

        // The listing's reader fills a vector that is moved to the caller: no
        // record vector is copied.
        std::vector<__HNASFileSystemInfo> parsed;
        const Request request{Verb::Get, ResourcePath().text("filesystems/").segment(filesystemId),
                              kFileSystemsResource};
        const bool read = sendAndRead(
            *restApi, op, request,
            [&](const Reply&) {
                trace.DebugLvl(kFunction, -1, job, "Unable to get file systems list.");
            },
            [&](const char* body) {
                trace.DebugLvl(kFunction, 5, job, "Successfully got file systems. Response [%s]",
                               body);
            },
            [&](std::string& body) {
                return hnasjson::readFileSystemsListing(jobId, body, parsed);
            });
        if (!read) {
            return false;
        }
        filesystems.swap(parsed);
        return true;
    });
}

bool RkManageHNAS::getFileSystemID(__HNASVirtualServers virtualServer, const std::string& shareName,
                                   const std::string& shareType, std::string& filesystemId) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemID";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        if (!sessionReady(initialised, restApi.get(), {kFunction, job, trace})) {
            return false;
        }
        if (shareName.empty() || virtualServer.objectId.empty() || shareType.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
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
                trace.DebugLvl(kFunction, 0, job, "Share [%s] found.",
                               clipForLog(share.name).c_str());
                filesystemId = share.filesystemId;
                return true;
            }
        }
        trace.DebugLvl(kFunction, -1, job, "Share [%s] not found in Virtual Server [%s].",
                       clipForLog(shareName).c_str(), clipForLog(virtualServer.name).c_str());
        return false;
    });
}

bool RkManageHNAS::getFileSystemID(const std::string& filesystemName, std::string& filesystemId) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemID";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        if (filesystemName.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Input. File System name is empty.");
            return false;
        }

        std::vector<__HNASFileSystemInfo> filesystems;
        if (!getFileSystemsInfo(std::string(), filesystems)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get the File Systems list.");
            return false;
        }
        if (filesystems.empty()) {
            trace.DebugLvl(kFunction, -1, job, "File Systems list is empty.");
            return false;
        }

        // Every match is logged; the last one listed wins.
        const std::string wanted = lowerCopy(filesystemName);
        const __HNASFileSystemInfo* match = nullptr;
        for (const __HNASFileSystemInfo& filesystem : filesystems) {
            if (lowerCopy(filesystem.label) == wanted) {
                trace.DebugLvl(kFunction, 0, job, "File System[%s] found. FS ID [%s]",
                               clipForLog(filesystem.label).c_str(),
                               clipForLog(filesystem.filesystemId).c_str());
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
    static const char* const kFunction = "RkManageHNAS::getEVSIdAssociatedWithFileSystemID";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        const OpLog op{kFunction, job, trace};
        if (!sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (filesystemId.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Input. File System ID is empty.");
            return false;
        }

        HNASJSONGetVirtualServerAssociatedWithFS message(jobId);
        const Request request{
            Verb::Get,
            ResourcePath().text("filesystems/").segment(filesystemId).text("/virtual-servers"),
            kFileSystemVirtualServerResource};
        const bool read = sendAndRead(
            *restApi, op, request,
            [&](const Reply&) {
                trace.DebugLvl(
                    kFunction, -1, job,
                    "Unable to get the virtual server info associated with File System[%s]",
                    clipForLog(filesystemId).c_str());
            },
            [&](const char* body) {
                trace.DebugLvl(kFunction, 5, job,
                               "Successfully got the Virtual Server info. Response [%s]", body);
            },
            [&](std::string& body) { return message.parseResponse(body); });
        if (!read) {
            return false;
        }
        virtualServerId = message.getVirtualServer().virtualServerId;
        return true;
    });
}
