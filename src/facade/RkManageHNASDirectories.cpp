// Directories of a file system: the listing under one directory, and the walk
// down a slash-separated path one level at a time.

#include <string>
#include <utility>
#include <vector>

#include <boost/tokenizer.hpp>

#include "facade/OperationSteps.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/json/HNASJSONDirectories.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

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

using namespace hnasmgmt::facade;

} // namespace

bool RkManageHNAS::getFileSystemDirectories(const std::string& filesystemId,
                                            const std::string& directoryId,
                                            std::vector<__HNASFileSystemDirectories>& directories) {
    static const char* const kFunction = functionOf(Op::ListDirectories);
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        directories.clear();
        if (!sessionReady(initialised, restApi.get(), op)) {
            return false;
        }
        if (filesystemId.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid Input. File System ID is empty.");
            return false;
        }

        return sendAndReadListing(
            *restApi, op, hnasmgmt::facade::request<Op::ListDirectories>(filesystemId, directoryId),
            fixedLine(op, -1,
                      "Unable to get directories list under directory ID[" +
                          clipForLog(directoryId) + "]"),
            bodyLine(op, 5, "Successfully got file system directories. Response [%s]"),
            directories);
    });
}

bool RkManageHNAS::getFileSystemDirectoriesUnderPath(
    const std::string& filesystemId, const std::string& path,
    std::vector<__HNASFileSystemDirectories>& directories) {
    static const char* const kFunction = "RkManageHNAS::getFileSystemDirectoriesUnderPath";
    return runOperation(kFunction, jobId, [&](const OpLog& op) {
        using Tokenizer = boost::tokenizer<boost::char_separator<char>>;

        if (filesystemId.empty() || path.empty()) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid Input.");
            return false;
        }

        // Empty pieces (leading, trailing or repeated slashes) are dropped.
        const boost::char_separator<char> separator("/");
        const Tokenizer tokens(path, separator);
        const std::vector<std::string> components(tokens.begin(), tokens.end());

        std::vector<__HNASFileSystemDirectories> current;
        if (!getFileSystemDirectories(filesystemId, "", current)) {
            op.trace.DebugLvl(kFunction, -1, op.job,
                              "Unable to get the dirs list under the root of the FS");
            return false;
        }
        if (components.size() < 2) {
            op.trace.DebugLvl(kFunction, -1, op.job, "Invalid Path [%s]", clipForLog(path).c_str());
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
                op.trace.DebugLvl(kFunction, 0, op.job, "Directory [%s] not found.",
                                  clipForLog(matchName).c_str());
                directories.clear();
                return true;
            }
            std::vector<__HNASFileSystemDirectories> next;
            if (!getFileSystemDirectories(filesystemId, found->objectId, next)) {
                op.trace.DebugLvl(kFunction, -1, op.job, "Unable to get the dirs list under [%s]",
                                  clipForLog(matchName).c_str());
                return false;
            }
            current = std::move(next);
        }

        directories = std::move(current);
        return true;
    });
}
