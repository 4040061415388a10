// CIFS and NFS shares: listing (all, or filtered by name, optionally with the
// CIFS permissions), lookup, creation and deletion.

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "facade/NoThrow.h"
#include "facade/OperationSteps.h"
#include "facade/ShareFilter.h"
#include "facade/Walk.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONShares.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "json/ListingReaders.h"

namespace {

constexpr int kResourceListShares = 3;
constexpr int kResourceCreateCIFSShare = 5;
constexpr int kResourceCreateNFSShare = 6;
constexpr int kResourceDeleteCIFSShare = 7;
constexpr int kResourceDeleteNFSShare = 8;
constexpr int kResourceGetCIFSAuth = 15;

const char* const kCIFS = "CIFS";
const char* const kNFS = "NFS";

bool isKnownShareType(const std::string& shareType) {
    return shareType == kCIFS || shareType == kNFS;
}

int clampToInt(size_t value) {
    return value > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

} // namespace

bool RkManageHNAS::getFilesystemShares(__HNASVirtualServers& virtualServer,
                                       const std::string& shareType,
                                       std::vector<__HNASFileSystemShares>& shares,
                                       bool withPermissions) {
    static const char* const kFunction = "RkManageHNAS::getFilesystemShares";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (shares.empty()) {
            trace.DebugLvl(kFunction, 0, job, "Getting information for all File System shares.");
        } else {
            trace.DebugLvl(kFunction, 0, job, "Getting information for [%d] File System shares",
                           clampToInt(shares.size()));
        }
        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (virtualServer.objectId.empty() || shareType.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }
        if (!isKnownShareType(shareType)) {
            trace.DebugLvl(kFunction, -1, job, "Invalid share type.");
            return false;
        }

        std::string response;
        if (!restApi->get("virtual-servers/" + virtualServer.objectId + "/" + shareType, response,
                          kResourceListShares)) {
            trace.DebugLvl(kFunction, -1, job,
                           "Unable to get file system shares for virtual server [%s]. "
                           "Response [%s]",
                           virtualServer.name.c_str(), response.c_str());
            return false;
        }
        if (!hnasHasBody(response, trace, kFunction, job)) {
            return false;
        }
        trace.DebugLvl(kFunction, 5, job,
                       "Successfully got file system shares for virtual server [%s]. "
                       "Response [%s]",
                       virtualServer.name.c_str(), response.c_str());

        // The listing's reader (HNASJSONGetFileSystemShares::parseResponse)
        // fills a vector whose records are moved on: none is copied.
        std::vector<__HNASFileSystemShares> listed;
        if (!hnasjson::readSharesListing(jobId, response, listed)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to parse JSON response");
            return false;
        }

        if (shares.empty()) {
            shares = std::move(listed);
            return true;
        }

        // Each match is logged, then (CIFS, with permissions) its permissions
        // are read, in the order of the listing.
        std::vector<__HNASFileSystemShares> result =
            shareFilterByName(listed, shares, [](__HNASFileSystemShares&) {});
        const bool fetchPermissions = withPermissions && shareType == kCIFS;
        auto visit = [&](size_t i) {
            __HNASFileSystemShares& share = result[i];
            trace.DebugLvl(kFunction, 0, job, "Found Share [%s]", share.name.c_str());
            if (!fetchPermissions) {
                return;
            }
            std::vector<__HNASCIFSAuthentication> permissions;
            if (!getCIFSAuthentication(share.objectId, permissions)) {
                trace.DebugLvl(kFunction, -1, job,
                               "Unable to get CIFS Authentication Information.");
            }
            if (!permissions.empty()) {
                share.settings.cifsAuthentications = std::move(permissions);
            }
        };
        auto permissionsOf = [&](size_t i) {
            const std::string& id = result[i].objectId;
            return id.empty() ? std::string() : hnasAuthenticationsResource(id);
        };
        hnasWalk(restApi, fetchPermissions ? parallelRequests : 1, result.size(),
                 kResourceGetCIFSAuth, permissionsOf, visit);

        shares = std::move(result);
        return true;
    });
}

bool RkManageHNAS::isSharePresent(const std::string& shareName, __HNASVirtualServers& virtualServer,
                                  const std::string& shareType) {
    static const char* const kFunction = "RkManageHNAS::isSharePresent";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (shareName.empty() || shareType.empty() || virtualServer.objectId.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        std::vector<__HNASFileSystemShares> shares;
        if (!getFilesystemShares(virtualServer, shareType, shares, false)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get the shares list.");
            return false;
        }
        const bool found =
            std::any_of(shares.begin(), shares.end(), [&](const __HNASFileSystemShares& share) {
                return share.name == shareName;
            });
        if (found) {
            trace.DebugLvl(kFunction, 0, job, "Share [%s] found.", shareName.c_str());
        } else {
            trace.DebugLvl(kFunction, 0, job, "Share [%s] not found.", shareName.c_str());
        }
        return found;
    });
}

bool RkManageHNAS::createFileSystemShare(const std::string& shareName,
                                         const std::string& virtualServerId,
                                         const std::string& filesystemId, const std::string& path,
                                         const std::string& shareType,
                                         __HNASFileSystemShares& share, bool withPermissions) {
    static const char* const kFunction = "RkManageHNAS::createFileSystemShare";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (!isKnownShareType(shareType)) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Share Type[%s].", shareType.c_str());
            return false;
        }
        const bool isCIFS = shareType == kCIFS;
        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (shareName.empty() || filesystemId.empty() || path.empty() || shareType.empty() ||
            virtualServerId.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        HNASJSONCreateFileSystemShare message(jobId, shareName, virtualServerId, filesystemId,
                                              path);
        std::string body;
        const bool built = isCIFS ? message.buildRequestCIFS(body, share.settings)
                                  : message.buildRequestNFS(body, share.settings);
        if (!built || body.empty()) {
            trace.DebugLvl(kFunction, -1, job, "The request body is empty");
            return false;
        }

        std::string response;
        if (!restApi->post("filesystem-shares/" + shareType, body, response,
                           isCIFS ? kResourceCreateCIFSShare : kResourceCreateNFSShare)) {
            trace.DebugLvl(kFunction, -1, job,
                           "Unable to create Share[%s] for File System Path[%s]", shareName.c_str(),
                           path.c_str());
            return false;
        }
        if (!hnasHasBody(response, trace, kFunction, job)) {
            return false;
        }
        trace.DebugLvl(kFunction, 0, job, "Successfully created Share[%s] for File System Path[%s]",
                       shareName.c_str(), path.c_str());
        if (!message.parseResponse(response)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to parse JSON response");
            return false;
        }

        __HNASFileSystemShares created = message.getShareDetails();

        // A new CIFS share carries the array's default permission (for
        // Everyone) first; replace it by the caller's entries. The share
        // exists by now, so these steps only log their failures.
        if (isCIFS && withPermissions) {
            std::vector<__HNASCIFSAuthentication> current;
            if (!getCIFSAuthentication(created.objectId, current)) {
                trace.DebugLvl(kFunction, -1, job,
                               "Unable to get CIFS Authentication Permission for share [%s].",
                               shareName.c_str());
            }
            if (!current.empty() &&
                !deleteCIFSAuthentication(created.objectId, current.front().encodedName)) {
                trace.DebugLvl(kFunction, -1, job,
                               "Unable to delete the default[Everyone] CIFS Authentication "
                               "Permission for share[%s].",
                               shareName.c_str());
            }
            if (!setCIFSAuthentication(created.objectId, share.settings.cifsAuthentications)) {
                trace.DebugLvl(kFunction, -1, job,
                               "Unable to set CIFS Authentication Permissions.");
            } else {
                trace.DebugLvl(kFunction, 0, job,
                               "Successfully set CIFS Authentication Permissions.");
            }
        }

        // The caller gets the share as the array created it, with default
        // settings: the settings sent are not read back.
        created.reserved.clear();
        created.settings = __HNASFileSystemShareSettings();
        share = std::move(created);
        return true;
    });
}

bool RkManageHNAS::deleteFileSystemShare(const std::string& objectId,
                                         const std::string& shareType) {
    static const char* const kFunction = "RkManageHNAS::deleteFileSystemShare";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (!isKnownShareType(shareType)) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Share Type[%s].", shareType.c_str());
            return false;
        }
        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (objectId.empty() || shareType.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        std::string response;
        if (!restApi->del("filesystem-shares/" + shareType + "/" + objectId, "", response,
                          shareType == kCIFS ? kResourceDeleteCIFSShare
                                             : kResourceDeleteNFSShare)) {
            trace.DebugLvl(kFunction, -1, job,
                           "Unable to delete Share [Type]:[%s] with Object Id[%s]",
                           shareType.c_str(), objectId.c_str());
            return false;
        }
        return true;
    });
}

bool RkManageHNAS::deleteFileSystemShare(const std::string& shareName,
                                         __HNASVirtualServers& virtualServer,
                                         const std::string& shareType) {
    static const char* const kFunction = "RkManageHNAS::deleteFileSystemShare";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        if (!hnasSessionReady(initialised, restApi, trace, kFunction, job)) {
            return false;
        }
        if (shareName.empty() || shareType.empty() || virtualServer.objectId.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        std::vector<__HNASFileSystemShares> shares;
        if (!getFilesystemShares(virtualServer, shareType, shares, false)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get the shares list.");
            return false;
        }
        const auto found =
            std::find_if(shares.begin(), shares.end(), [&](const __HNASFileSystemShares& share) {
                return share.name == shareName;
            });
        if (found == shares.end()) {
            trace.DebugLvl(kFunction, 0, job, "Share [%s] not found. It may be externally deleted.",
                           shareName.c_str());
            return true;
        }

        trace.DebugLvl(kFunction, 0, job, "Share [%s] found. Deleting it..", shareName.c_str());
        if (!deleteFileSystemShare(found->objectId, shareType)) {
            trace.DebugLvl(kFunction, 0, job, "Failed to delete share [%s]", shareName.c_str());
            return false;
        }
        return true;
    });
}
