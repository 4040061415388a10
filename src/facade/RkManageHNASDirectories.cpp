// Directories of a file system: the listing under one directory, and the walk
// down a slash-separated path one level at a time.

#include <string>
#include <utility>
#include <vector>

#include <boost/tokenizer.hpp>

#include "facade/NoThrow.h"
#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDirectories.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "json/ListingReaders.h"

namespace {

constexpr int kResourceDirectories = 13;

// The first entry whose display name equals the match name exactly, or null.
const __HNASFileSystemDirectories*
findDirectory(const std::vector<__HNASFileSystemDirectories>& directories,
              const std::string& matchName) {
    for (const __HNASFileSystemDirectories& directory : directories) {
        for (const std::string& displayName : directory.displayName) {
            if (displayName == matchName) {
                return &directory;
            }
        }
    }
    return nullptr;
}

using hnasfacade::clipForLog;
using hnasfacade::OpLog;
using hnasfacade::Reply;
using hnasfacade::Request;
using hnasfacade::ResourcePath;
using hnasfacade::Verb;

} // namespace

bool RkManageHNAS::getFileSystemDirectories(const std::string& filesystemId,
                                            const std::string& directoryId,
                                            std::vector<__HNASFileSystemDirectories>& directories) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemDirectories";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);

        const OpLog op{kFunction, job, trace};
        directories.clear();
        if (!hnasfacade::sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (filesystemId.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Input. File System ID is empty.");
            return false;
        }

        // The listing's reader fills a vector that is moved to the caller: no
        // record vector is copied.
        std::vector<__HNASFileSystemDirectories> parsed;
        ResourcePath path;
        path.text("filesystems/").segment(filesystemId).text("/directories/").segment(directoryId);
        const bool read = hnasfacade::sendAndRead(
            *restApi, op, {Verb::Get, path, kResourceDirectories},
            [&](const Reply&) {
                trace.DebugLvl(kFunction, -1, job,
                               "Unable to get directories list under directory ID[%s]",
                               clipForLog(directoryId).c_str());
            },
            [&](const char* body) {
                trace.DebugLvl(kFunction, 5, job,
                               "Successfully got file system directories. Response [%s]", body);
            },
            [&](std::string& body) {
                return hnasjson::readDirectoriesListing(jobId, body, parsed);
            });
        if (!read) {
            return false;
        }
        directories.swap(parsed);
        return true;
    });
}

bool RkManageHNAS::getFileSystemDirectoriesUnderPath(
    const std::string& filesystemId, const std::string& path,
    std::vector<__HNASFileSystemDirectories>& directories) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemDirectoriesUnderPath";
    return hnasNoThrow(kFunction, jobId, [&] {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        using Tokenizer = boost::tokenizer<boost::char_separator<char>>;

        if (filesystemId.empty() || path.empty()) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Input.");
            return false;
        }

        // Empty pieces (leading, trailing or repeated slashes) are dropped.
        const boost::char_separator<char> separator("/");
        const Tokenizer tokens(path, separator);
        const std::vector<std::string> components(tokens.begin(), tokens.end());

        std::vector<__HNASFileSystemDirectories> current;
        if (!getFileSystemDirectories(filesystemId, "", current)) {
            trace.DebugLvl(kFunction, -1, job,
                           "Unable to get the dirs list under the root of the FS");
            return false;
        }
        if (components.size() < 2) {
            trace.DebugLvl(kFunction, -1, job, "Invalid Path [%s]", clipForLog(path).c_str());
            return false;
        }

        // The first two components name the file system's root; each further
        // component is looked up by its match name: "//" + the third
        // component, then the previous match name + "/" + the next one.
        std::string matchName;
        for (size_t index = 2; index < components.size(); ++index) {
            matchName += (index == 2 ? "//" : "/") + components[index];

            const __HNASFileSystemDirectories* found = findDirectory(current, matchName);
            if (found == nullptr) {
                // Nothing lies under a directory that is not there.
                trace.DebugLvl(kFunction, 0, job, "Directory [%s] not found.",
                               clipForLog(matchName).c_str());
                directories.clear();
                return true;
            }
            std::vector<__HNASFileSystemDirectories> next;
            if (!getFileSystemDirectories(filesystemId, found->objectId, next)) {
                trace.DebugLvl(kFunction, -1, job, "Unable to get the dirs list under [%s]",
                               clipForLog(matchName).c_str());
                return false;
            }
            current = std::move(next);
        }

        directories = std::move(current);
        return true;
    });
}
