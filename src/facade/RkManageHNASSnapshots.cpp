// File system snapshots: creation, listings, lookup, deletion and recovery.

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "facade/NoThrow.h"
#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONFileSystems.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "json/ListingReaders.h"

namespace {

// Resource type codes of the requests sent here.
constexpr int kCreateSnapshotResource = 4;
constexpr int kListSnapshotsResource = 10;
constexpr int kDeleteSnapshotResource = 11;
constexpr int kRecoverSnapshotResource = 12;

// Name filter under which the library's own snapshots are listed.
const char* const kLibrarySnapshotFilter = "RKHNAS";

using hnasfacade::clipForLog;
using hnasfacade::OpLog;
using hnasfacade::Reply;
using hnasfacade::Request;
using hnasfacade::ResourcePath;
using hnasfacade::Verb;

// A deletion or recovery of a snapshot named by its object ID: refused before
// init or without an object ID; a failed request logs `failureFormat` with the
// object ID. The answer's body is not read.
bool snapshotCommand(bool initialised, HNASRestAPI* api, const OpLog& op,
                     const std::string& objectId, const Request& request,
                     const char* failureFormat) {
    if (!hnasfacade::sessionReady(initialised, api, op)) {
        return false;
    }
    if (objectId.empty()) {
        op.trace.DebugLvl(op.function, -1, op.job, "Invalid input.");
        return false;
    }
    if (!hnasfacade::send(*api, op, request).ok) {
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
    static const char* const kFunction = "RkManageHNAS::createFileSystemSnapshot";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        const OpLog op{kFunction, job, trace};
        HNASJSONCreateFileSystemSnapshot message(jobId, displayName, filesystemId, appSearchId);
        if (!hnasfacade::sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (displayName.empty() || filesystemId.empty() || appSearchId.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        std::string body;
        if (!message.buildRequest(body) || body.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Unable to build the request body");
            return false;
        }
        const Request request{Verb::Post, ResourcePath().text("filesystem-snapshots"),
                              kCreateSnapshotResource, std::move(body)};
        const std::string name = clipForLog(displayName), id = clipForLog(filesystemId);
        const bool read = hnasfacade::sendAndRead(
            *restApi, op, request,
            [&](const Reply&) {
                trace.DebugLvl(kFunction, -1, job,
                               "Unable to create Snapshot[%s] for File System ID[%s]", name.c_str(),
                               id.c_str());
            },
            [&](const char*) {
                trace.DebugLvl(kFunction, 0, job,
                               "Successfully created Snapshot[%s] for File System ID[%s]",
                               name.c_str(), id.c_str());
            },
            [&](std::string& response) { return message.parseResponse(response); });
        if (!read) {
            return false;
        }
        snapshot = message.getSnapshot();
        return true;
    });
}

bool RkManageHNAS::getFileSystemSnapshots(const std::string& filesystemId,
                                          const std::string& nameFilter,
                                          std::vector<__HNASFileSystemSnapshot>& snapshots) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemSnapshots";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        const OpLog op{kFunction, job, trace};
        if (!hnasfacade::sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (filesystemId.empty() || nameFilter.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        // The listing's reader fills a vector that is moved to the caller: no
        // record vector is copied.
        std::vector<__HNASFileSystemSnapshot> parsed;
        ResourcePath path;
        path.text("filesystem-snapshots/").segment(filesystemId).text("/").segment(nameFilter);
        const bool read = hnasfacade::sendAndRead(
            *restApi, op, {Verb::Get, path, kListSnapshotsResource},
            [&](const Reply&) {
                trace.DebugLvl(kFunction, -1, job, "Unable to get file systems snapshots.");
            },
            [&](const char* body) {
                trace.DebugLvl(kFunction, 5, job,
                               "Successfully got file system snapshots. Response [%s]", body);
            },
            [&](std::string& body) { return hnasjson::readSnapshotsListing(jobId, body, parsed); });
        if (!read) {
            return false;
        }
        snapshots.swap(parsed);
        return true;
    });
}

bool RkManageHNAS::getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots) {
    static const char* const kFunction = "RkManageHNAS::getAllSnapshots";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        snapshots.clear();

        std::vector<__HNASFileSystemInfo> filesystems;
        if (!getFileSystemsInfo(std::string(), filesystems)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get the File Systems list.");
            return false;
        }
        if (filesystems.empty()) {
            trace.DebugLvl(kFunction, -1, job, "File Systems list is empty.");
            return false;
        }

        // A file system whose listing fails is logged and skipped; the others
        // are appended in the order of the file system listing.
        const std::string nameFilter(kLibrarySnapshotFilter);
        std::vector<__HNASFileSystemSnapshot> working;
        for (const __HNASFileSystemInfo& filesystem : filesystems) {
            working.clear();
            if (!getFileSystemSnapshots(filesystem.filesystemId, nameFilter, working)) {
                trace.DebugLvl(kFunction, -1, job,
                               "Unable to get File System Snapshots for File System[%s]",
                               clipForLog(filesystem.label).c_str());
                continue;
            }
            snapshots.insert(snapshots.end(), std::make_move_iterator(working.begin()),
                             std::make_move_iterator(working.end()));
        }
        return true;
    });
}

bool RkManageHNAS::isSnapshotPresent(const std::string& filesystemId,
                                     const std::string& displayName,
                                     const std::string& nameFilter) {
    static const char* const kFunction = "RkManageHNAS::isSnapshotPresent";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        if (filesystemId.empty() || displayName.empty()) {
            trace.DebugLvl(kFunction, -1, job,
                           "Invalid Input. File System name or Snap UUID is empty.");
            return false;
        }

        std::vector<__HNASFileSystemSnapshot> snapshots;
        if (!getFileSystemSnapshots(filesystemId, nameFilter, snapshots)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get the File System snapshots list.");
            return false;
        }
        if (snapshots.empty()) {
            trace.DebugLvl(kFunction, -1, job, "File System snapshot list is empty.");
            return false;
        }

        // Display names are compared exactly; every match is logged.
        bool found = false;
        for (const __HNASFileSystemSnapshot& snapshot : snapshots) {
            if (snapshot.displayName == displayName) {
                trace.DebugLvl(kFunction, 0, job, "File System Snapshot[%s] found. FS ID [%s]",
                               clipForLog(snapshot.displayName).c_str(),
                               clipForLog(snapshot.filesystemId).c_str());
                found = true;
            }
        }
        return found;
    });
}

bool RkManageHNAS::deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot,
                                            const std::string& nameFilter) {
    static const char* const kFunction = "RkManageHNAS::deleteFileSystemSnapshot";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        if (!hnasfacade::sessionReady(initialised, restApi.get(), {kFunction, job, trace})) {
            return false;
        }
        if (snapshot.filesystemId.empty() || snapshot.displayName.empty() || nameFilter.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid input.");
            return false;
        }

        std::vector<__HNASFileSystemSnapshot> snapshots;
        if (!getFileSystemSnapshots(snapshot.filesystemId, nameFilter, snapshots)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to get the snapshots list.");
            return false;
        }

        // The listed snapshot's object ID is used, not the one in the record:
        // the first one listed under the exact display name is deleted.
        const __HNASFileSystemSnapshot* match = nullptr;
        for (const __HNASFileSystemSnapshot& listed : snapshots) {
            if (listed.displayName == snapshot.displayName) {
                trace.DebugLvl(kFunction, 0, job, "Found the snapshot[%s] that has to be deleted.",
                               clipForLog(listed.displayName).c_str());
                match = &listed;
                break;
            }
        }
        if (match == nullptr) {
            trace.DebugLvl(kFunction, -1, job,
                           "Snapshot[%s] to delete not found. It may be externally deleted. "
                           "Considering this operation as successful.",
                           clipForLog(snapshot.displayName).c_str());
            return true;
        }

        if (!deleteFileSystemSnapshot(match->objectId)) {
            trace.DebugLvl(kFunction, -1, job, "Unable to delete the Snapshot[%s].",
                           clipForLog(snapshot.displayName).c_str());
            return false;
        }
        return true;
    });
}

bool RkManageHNAS::deleteFileSystemSnapshot(const std::string& objectId) {
    static const char* const kFunction = "RkManageHNAS::deleteFileSystemSnapshot";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const OpLog op{kFunction, static_cast<long long>(jobId), trace};
        ResourcePath path;
        path.text("filesystem-snapshots/").segment(objectId);
        return snapshotCommand(initialised, restApi.get(), op, objectId,
                               {Verb::Delete, path, kDeleteSnapshotResource},
                               "Unable to delete Snapshot with ObjectID [%s]");
    });
}

bool RkManageHNAS::recoverFileSystemSnapshot(const std::string& objectId) {
    static const char* const kFunction = "RkManageHNAS::recoverFileSystemSnapshot";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const OpLog op{kFunction, static_cast<long long>(jobId), trace};
        ResourcePath path;
        path.text("filesystem-snapshots/").segment(objectId).text("/recover");
        return snapshotCommand(initialised, restApi.get(), op, objectId,
                               {Verb::Post, path, kRecoverSnapshotResource},
                               "Unable to recover Snapshot with ObjectID [%s]");
    });
}
