// File system snapshots: creation, listings, lookup, deletion and recovery.

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "facade/OperationSteps.h"
#include "facade/SkippedItems.h"
#include "facade/Walk.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONFileSystems.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

// Name filter under which the library's own snapshots are listed.
const char* const kLibrarySnapshotFilter = "RKHNAS";

using namespace hnasmgmt::facade;

// A deletion or recovery of a snapshot named by its object ID: refused before
// init or without an object ID; a failed request logs `failureFormat` with the
// object ID. The answer's body is not read.
bool snapshotCommand(bool initialised, HNASRestAPI* api, const OpLog& op,
                     const std::string& objectId, const Request& request,
                     const char* failureFormat) {
    if (!sessionReady(initialised, api, op)) {
        return false;
    }
    if (objectId.empty()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Invalid input.");
        return false;
    }
    if (!hnasmgmt::facade::send(*api, op, request).ok) {
        op.trace.DebugLvl(op.function, -1, op.job, failureFormat, clipForLog(objectId).c_str());
        return false;
    }
    return true;
}

} // namespace

bool RkManageHNAS::createFileSystemSnapshot(const std::string& displayName,
                                            const std::string& filesystemId,
                                            const std::string& appSearchId,
                                            __HNASFileSystemSnapshot& snapshot) {
    static const char* const kFunction = functionOf(Op::CreateSnapshot);
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        HNASJSONCreateFileSystemSnapshot message(jobId, displayName, filesystemId, appSearchId);
        if (displayName.empty() || filesystemId.empty() || appSearchId.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        std::string body;
        if (!bodyBuilt(op, message.buildRequest(body), body, "Unable to build the request body")) {
            return false;
        }
        const Request request =
            hnasmgmt::facade::request<Op::CreateSnapshot>().withBody(std::move(body));
        const std::string what = "[" + clipForLog(displayName) + "] for File System ID[" +
                                 clipForLog(filesystemId) + "]";
        const bool read = sendAndParse(
            *restApi, op, request, fixedLine(op, -1, "Unable to create Snapshot" + what),
            fixedLine(op, 0, "Successfully created Snapshot" + what), message);
        if (!read) {
            return false;
        }
        snapshot = message.getSnapshot();
        return true;
    });
}

namespace {

// getFileSystemSnapshots; in a walk, `step` holds the answer fetched ahead
// and learns why the listing failed.
bool snapshotListing(unsigned long long jobId, bool initialised, HNASRestAPI* api,
                     const std::string& filesystemId, const std::string& nameFilter,
                     std::vector<__HNASFileSystemSnapshot>& snapshots, WalkStep* step) {
    static const char* const kFunction = functionOf(Op::ListSnapshots);
    return runSessionOperation(kFunction, jobId, initialised, api, [&](const OpLog& op) {
        if (filesystemId.empty() || nameFilter.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        return sendAndReadListing(
            *api, op, hnasmgmt::facade::request<Op::ListSnapshots>(filesystemId, nameFilter),
            fixedLine(op, -1, "Unable to get file systems snapshots."),
            bodyLine(op, 5, "Successfully got file system snapshots. Response [%s]"), snapshots,
            step);
    });
}

} // namespace

bool RkManageHNAS::getFileSystemSnapshots(const std::string& filesystemId,
                                          const std::string& nameFilter,
                                          std::vector<__HNASFileSystemSnapshot>& snapshots) {
    return snapshotListing(jobId, initialised, restApi.get(), filesystemId, nameFilter, snapshots,
                           nullptr);
}

bool RkManageHNAS::getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots) {
    static const char* const kFunction = "RkManageHNAS::getAllSnapshots";
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        snapshots.clear();
        hnasmgmt::facade::setSkipped(this, {});

        std::vector<__HNASFileSystemInfo> filesystems;
        if (!nonEmptyListing(op, getFileSystemsInfo(std::string(), filesystems), filesystems,
                             "Unable to get the File Systems list.",
                             "File Systems list is empty.")) {
            return false;
        }

        // A file system whose listing fails is logged, skipped and named in
        // the skipped items; the others are appended in the order of the
        // file system listing.
        const std::string nameFilter(kLibrarySnapshotFilter);
        std::vector<__HNASFileSystemSnapshot> working;
        std::vector<__HNASSkippedItem> skipped;
        auto listingOf = [&](size_t i) {
            const std::string& id = filesystems[i].filesystemId;
            return hnasmgmt::facade::sentPath(
                id, hnasmgmt::facade::request<Op::ListSnapshots>(id, nameFilter));
        };
        hnasmgmt::facade::walk(
            restApi.get(), parallelRequests, filesystems.size(), Op::ListSnapshots, listingOf,
            [&](size_t i, WalkStep& step) {
                const __HNASFileSystemInfo& filesystem = filesystems[i];
                working.clear();
                if (!snapshotListing(jobId, initialised, restApi.get(), filesystem.filesystemId,
                                     nameFilter, working, &step)) {
                    op.trace.DebugLvl(kFunction, -1, op.job,
                                      "Unable to get File System Snapshots for File System[%s]",
                                      gatewayTextForLog(filesystem.label).c_str());
                    skipped.push_back({filesystem.filesystemId, filesystem.label,
                                       step.why.empty() ? "not sent: invalid input" : step.why});
                    return;
                }
                snapshots.insert(snapshots.end(), std::make_move_iterator(working.begin()),
                                 std::make_move_iterator(working.end()));
            });
        hnasmgmt::facade::setSkipped(this, std::move(skipped));
        return true;
    });
}

bool RkManageHNAS::isSnapshotPresent(const std::string& filesystemId,
                                     const std::string& displayName,
                                     const std::string& nameFilter) {
    static const char* const kFunction = "RkManageHNAS::isSnapshotPresent";
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        if (filesystemId.empty() || displayName.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "Invalid Input. File System name or Snap UUID is empty.");
            return false;
        }

        std::vector<__HNASFileSystemSnapshot> snapshots;
        if (!nonEmptyListing(op, getFileSystemSnapshots(filesystemId, nameFilter, snapshots),
                             snapshots, "Unable to get the File System snapshots list.",
                             "File System snapshot list is empty.")) {
            return false;
        }

        // Display names are compared exactly; every match is logged.
        bool found = false;
        for (const __HNASFileSystemSnapshot& snapshot : snapshots) {
            if (snapshot.displayName == displayName) {
                op.trace.DebugLvl(kFunction, 0, op.job,
                                  "File System Snapshot[%s] found. FS ID [%s]",
                                  gatewayTextForLog(snapshot.displayName).c_str(),
                                  gatewayTextForLog(snapshot.filesystemId).c_str());
                found = true;
            }
        }
        return found;
    });
}

bool RkManageHNAS::deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot,
                                            const std::string& nameFilter) {
    static const char* const kFunction = "RkManageHNAS::deleteFileSystemSnapshot";
    return runSessionOperation(kFunction, jobId, initialised, restApi.get(), [&](const OpLog& op) {
        if (snapshot.filesystemId.empty() || snapshot.displayName.empty() || nameFilter.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid input.");
            return false;
        }

        std::vector<__HNASFileSystemSnapshot> snapshots;
        if (!getFileSystemSnapshots(snapshot.filesystemId, nameFilter, snapshots)) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Unable to get the snapshots list.");
            return false;
        }

        // The listed snapshot's object ID is used, not the one in the record:
        // the first one listed under the exact display name is deleted.
        const __HNASFileSystemSnapshot* match = nullptr;
        for (const __HNASFileSystemSnapshot& listed : snapshots) {
            if (listed.displayName == snapshot.displayName) {
                op.trace.DebugLvl(kFunction, 0, op.job,
                                  "Found the snapshot[%s] that has to be deleted.",
                                  gatewayTextForLog(listed.displayName).c_str());
                match = &listed;
                break;
            }
        }
        if (match == nullptr) {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "Snapshot[%s] to delete not found. It may be externally deleted. "
                              "Considering this operation as successful.",
                              gatewayTextForLog(snapshot.displayName).c_str());
            return true;
        }

        if (!deleteFileSystemSnapshot(match->objectId)) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Unable to delete the Snapshot[%s].",
                              gatewayTextForLog(snapshot.displayName).c_str());
            return false;
        }
        return true;
    });
}

bool RkManageHNAS::deleteFileSystemSnapshot(const std::string& objectId) {
    static const char* const kFunction = functionOf(Op::DeleteSnapshot);
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        return snapshotCommand(initialised, restApi.get(), op, objectId,
                               hnasmgmt::facade::request<Op::DeleteSnapshot>(objectId),
                               "Unable to delete Snapshot with ObjectID [%s]");
    });
}

bool RkManageHNAS::recoverFileSystemSnapshot(const std::string& objectId) {
    static const char* const kFunction = functionOf(Op::RecoverSnapshot);
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        return snapshotCommand(initialised, restApi.get(), op, objectId,
                               hnasmgmt::facade::request<Op::RecoverSnapshot>(objectId),
                               "Unable to recover Snapshot with ObjectID [%s]");
    });
}
