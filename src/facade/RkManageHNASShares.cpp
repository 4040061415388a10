// CIFS and NFS shares: listing (all, or filtered by name, optionally with the
// CIFS permissions), lookup, creation and deletion.

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "facade/OperationSteps.h"
#include "facade/ShareFilter.h"
#include "facade/SkippedItems.h"
#include "facade/Walk.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONShares.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

using namespace hnasmgmt::facade;

const char* const kCIFS = "CIFS";
const char* const kNFS = "NFS";

bool isKnownShareType(const std::string& shareType) {
    return shareType == kCIFS || shareType == kNFS;
}

// The share type check of the operations on one share: "Invalid Share
// Type[%s]." for any type but "CIFS" and "NFS".
bool shareTypeKnown(const OpLog& op, const std::string& shareType) {
    if (isKnownShareType(shareType)) {
        return true;
    }
    op.trace.DebugLvl(op.function, -1, op.job, "Invalid Share Type[%s].",
                      clipForLog(shareType).c_str());
    return false;
}

int clampToInt(size_t value) {
    return value > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

// Logs what a share listing is asked for: every share (none named), or so many by name.
void logSharesWanted(const OpLog& op, size_t named) {
    if (named == 0) {
        op.trace.DebugLvl(op.function, 0, op.job,
                          "Getting information for all File System shares.");
    } else {
        op.trace.DebugLvl(op.function, 0, op.job, "Getting information for [%d] File System shares",
                          clampToInt(named));
    }
}

// Checks the listing's inputs, GETs the share listing of a virtual server
// and reads it into `listed`, with the listing's lines.
bool readShareListing(HNASRestAPI& api, const OpLog& op, const __HNASVirtualServers& virtualServer,
                      const std::string& shareType, std::vector<__HNASFileSystemShares>& listed) {
    if (virtualServer.objectId.empty() || shareType.empty()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Invalid input.");
        return false;
    }
    if (!isKnownShareType(shareType)) {
        op.trace.DebugLvl(op.function, -1, op.job, "Invalid share type.");
        return false;
    }
    const std::string server = clipForLog(virtualServer.name);
    return sendAndReadListing(
        api, op, hnasmgmt::facade::request<Op::ListShares>(virtualServer.objectId, shareType),
        [&](const Reply& reply) {
            op.trace.DebugLvl(op.function, -1, op.job,
                              "Unable to get file system shares for virtual server [%s]. "
                              "Response [%s]",
                              server.c_str(), gatewayTextForLog(reply.body).c_str());
        },
        [&](const std::string& body) {
            if (!hnasmgmt::logOn(5)) {
                return;
            }
            op.trace.DebugLvl(op.function, 5, op.job,
                              "Successfully got file system shares for virtual server [%s]. "
                              "Response [%s]",
                              server.c_str(), gatewayTextForLog(body).c_str());
        },
        listed);
}

// POSTs the creation of a share with the message's body and reads the reply
// into the message, with the creation's lines.
bool postShare(HNASRestAPI& api, const OpLog& op, HNASJSONCreateFileSystemShare& message,
               const std::string& shareType, const std::string& shareName, const std::string& path,
               std::string body) {
    const std::string what =
        "[" + clipForLog(shareName) + "] for File System Path[" + clipForLog(path) + "]";
    const Request request = (shareType == kCIFS ? hnasmgmt::facade::request<Op::CreateCIFSShare>()
                                                : hnasmgmt::facade::request<Op::CreateNFSShare>())
                                .withBody(std::move(body));
    return sendAndParse(api, op, request, fixedLine(op, -1, "Unable to create Share" + what),
                        fixedLine(op, 0, "Successfully created Share" + what), message);
}

// A share looked up by name: whether the listing was read, and the object ID
// of the first share named so exactly (empty when none is).
struct ShareLookup {
    bool listed = false;
    bool found = false;
    std::string objectId;
};

// Lists the shares of a virtual server and finds the first whose name equals
// `name` exactly. Refuses empty inputs ("Invalid input.") and reports a failed
// listing ("Unable to get the shares list.").
ShareLookup findShareByName(RkManageHNAS& hnas, const OpLog& op, const std::string& name,
                            __HNASVirtualServers& virtualServer, const std::string& shareType) {
    ShareLookup lookup;
    if (name.empty() || shareType.empty() || virtualServer.objectId.empty()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Invalid input.");
        return lookup;
    }
    std::vector<__HNASFileSystemShares> shares;
    if (!hnas.getFilesystemShares(virtualServer, shareType, shares, false)) {
        op.trace.DebugLvl(op.function, -1, op.job, "Unable to get the shares list.");
        return lookup;
    }
    lookup.listed = true;
    const auto match =
        std::find_if(shares.begin(), shares.end(),
                     [&](const __HNASFileSystemShares& share) { return share.name == name; });
    if (match != shares.end()) {
        lookup.found = true;
        lookup.objectId = match->objectId;
    }
    return lookup;
}

// Replaces the default permission of a new CIFS share by the caller's
// entries: reads the share's entries, deletes the first (the array's default
// for Everyone), sets the caller's. Each failure is logged and the next step
// still runs. True when the share ends with the permissions asked for; false,
// with a line that says what they were left as, otherwise. An empty list asks
// for none: the default is removed and nothing is set.
bool replaceDefaultPermissions(RkManageHNAS& hnas, const OpLog& op, const std::string& shareName,
                               const std::string& objectId,
                               std::vector<__HNASCIFSAuthentication>& wanted) {
    const std::string name = clipForLog(shareName);
    std::vector<__HNASCIFSAuthentication> current;
    bool defaultGone = hnas.getCIFSAuthentication(objectId, current);
    if (!defaultGone) {
        op.trace.DebugLvl(op.function, -1, op.job,
                          "Unable to get CIFS Authentication Permission for share [%s].",
                          name.c_str());
    }
    if (!current.empty() && !hnas.deleteCIFSAuthentication(objectId, current.front().encodedName)) {
        op.trace.DebugLvl(op.function, -1, op.job,
                          "Unable to delete the default[Everyone] CIFS Authentication "
                          "Permission for share[%s].",
                          name.c_str());
        defaultGone = false;
    }
    const bool set = hnas.setCIFSAuthentication(objectId, wanted);
    if (!set) {
        op.trace.DebugLvl(op.function, -1, op.job,
                          "Unable to set CIFS Authentication Permissions.");
    } else {
        op.trace.DebugLvl(op.function, 0, op.job,
                          "Successfully set CIFS Authentication Permissions.");
    }
    const bool asked = set || wanted.empty();
    if (defaultGone && asked) {
        return true;
    }
    const char* leftAs =
        defaultGone      ? "no entries: the default[Everyone] entry was removed and the ones asked "
                           "for were not set"
        : wanted.empty() ? "the array's default entries"
        : set            ? "the array's default entries beside the ones asked for"
                         : "the array's default entries, without the ones asked for";
    op.trace.DebugLvl(op.function, -1, op.job,
                      "Share[%s] was created, but its CIFS permissions were left as %s.",
                      name.c_str(), leftAs);
    return false;
}

} // namespace

bool RkManageHNAS::getFilesystemShares(__HNASVirtualServers& virtualServer,
                                       const std::string& shareType,
                                       std::vector<__HNASFileSystemShares>& shares,
                                       bool withPermissions) {
    static const char* const kFunction = functionOf(Op::ListShares);
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        logSharesWanted(op, shares.size());
        if (!sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        // The listing's reader fills a vector whose records are moved on:
        // none is copied.
        std::vector<__HNASFileSystemShares> listed;
        if (!readShareListing(*restApi, op, virtualServer, shareType, listed)) {
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
        std::vector<__HNASSkippedItem> skipped;
        auto visit = [&](size_t i, WalkStep& step) {
            __HNASFileSystemShares& share = result[i];
            op.trace.DebugLvl(kFunction, 0, op.job, "Found Share [%s]",
                              gatewayTextForLog(share.name).c_str());
            if (!fetchPermissions) {
                return;
            }
            std::vector<__HNASCIFSAuthentication> permissions;
            if (!cifsAuthentication(jobId, initialised, restApi.get(), share.objectId, permissions,
                                    &step)) {
                op.trace.DebugLvl(kFunction, -1, op.job,
                                  "Unable to get CIFS Authentication Information.");
                skipped.push_back({share.objectId, share.name,
                                   step.why.empty() ? "not sent: invalid input" : step.why});
            }
            if (!permissions.empty()) {
                share.settings.cifsAuthentications = std::move(permissions);
            }
        };
        auto permissionsOf = [&](size_t i) {
            const std::string& id = result[i].objectId;
            return hnasmgmt::facade::sentPath(id, hnasmgmt::facade::request<Op::GetCIFSAuth>(id));
        };
        if (fetchPermissions) {
            hnasmgmt::facade::setSkipped(this, {});
        }
        hnasmgmt::facade::walk(restApi.get(), fetchPermissions ? parallelRequests : 1,
                               result.size(), Op::GetCIFSAuth, permissionsOf, visit);
        if (fetchPermissions) {
            hnasmgmt::facade::setSkipped(this, std::move(skipped));
        }

        shares = std::move(result);
        return true;
    });
}

bool RkManageHNAS::isSharePresent(const std::string& shareName, __HNASVirtualServers& virtualServer,
                                  const std::string& shareType) {
    static const char* const kFunction = "RkManageHNAS::isSharePresent";
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        const ShareLookup lookup = findShareByName(*this, op, shareName, virtualServer, shareType);
        if (lookup.listed) {
            op.trace.DebugLvl(kFunction, 0, op.job,
                              lookup.found ? "Share [%s] found." : "Share [%s] not found.",
                              clipForLog(shareName).c_str());
        }
        return lookup.found;
    });
}

bool RkManageHNAS::createFileSystemShare(const std::string& shareName,
                                         const std::string& virtualServerId,
                                         const std::string& filesystemId, const std::string& path,
                                         const std::string& shareType,
                                         __HNASFileSystemShares& share, bool withPermissions) {
    static const char* const kFunction = functionOf(Op::CreateCIFSShare);
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        if (!shareTypeKnown(op, shareType) || !sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        const bool isCIFS = shareType == kCIFS;
        // (The share type is known, so not empty, by now.)
        if (shareName.empty() || filesystemId.empty() || path.empty() || virtualServerId.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        HNASJSONCreateFileSystemShare message(jobId, shareName, virtualServerId, filesystemId,
                                              path);
        std::string body;
        const bool built = isCIFS ? message.buildRequestCIFS(body, share.settings)
                                  : message.buildRequestNFS(body, share.settings);
        if (!bodyBuilt(op, built, body, "The request body is empty")) {
            return false;
        }
        if (!postShare(*restApi, op, message, shareType, shareName, path, std::move(body))) {
            return false;
        }

        // A new CIFS share carries the array's default permission (for
        // Everyone) first; it is replaced by the caller's entries.
        __HNASFileSystemShares created = message.getShareDetails();
        const bool permissionsAsAsked =
            !(isCIFS && withPermissions) ||
            replaceDefaultPermissions(*this, op, shareName, created.objectId,
                                      share.settings.cifsAuthentications);

        // The caller gets the share as the array created it, with default
        // settings (the settings sent are not read back), also when its
        // permissions are not the ones asked for: the share exists.
        created.reserved.clear();
        created.settings = __HNASFileSystemShareSettings();
        share = std::move(created);
        return permissionsAsAsked;
    });
}

bool RkManageHNAS::deleteFileSystemShare(const std::string& objectId,
                                         const std::string& shareType) {
    static const char* const kFunction = functionOf(Op::DeleteCIFSShare);
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        if (!shareTypeKnown(op, shareType) || !sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (objectId.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        const Request request = shareType == kCIFS
                                    ? hnasmgmt::facade::request<Op::DeleteCIFSShare>(objectId)
                                    : hnasmgmt::facade::request<Op::DeleteNFSShare>(objectId);
        if (!hnasmgmt::facade::send(*restApi, op, request).ok) {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "Unable to delete Share [Type]:[%s] with Object Id[%s]",
                              clipForLog(shareType).c_str(), clipForLog(objectId).c_str());
            return false;
        }
        return true;
    });
}

bool RkManageHNAS::deleteFileSystemShare(const std::string& shareName,
                                         __HNASVirtualServers& virtualServer,
                                         const std::string& shareType) {
    static const char* const kFunction = "RkManageHNAS::deleteFileSystemShare";
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        const ShareLookup lookup = findShareByName(*this, op, shareName, virtualServer, shareType);
        if (!lookup.listed) {
            return false;
        }
        const std::string name = clipForLog(shareName);
        if (!lookup.found) {
            op.trace.DebugLvl(kFunction, 0, op.job,
                              "Share [%s] not found. It may be externally deleted.", name.c_str());
            return true;
        }
        op.trace.DebugLvl(kFunction, 0, op.job, "Share [%s] found. Deleting it..", name.c_str());
        if (!deleteFileSystemShare(lookup.objectId, shareType)) {
            op.trace.DebugLvl(kFunction, 0, op.job, "Failed to delete share [%s]", name.c_str());
            return false;
        }
        return true;
    });
}
