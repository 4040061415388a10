#pragma once

// The walks over a listing that send one GET per listed object (the snapshot
// listings of every file system, the permissions of every matched share):
// one at a time, or with their GETs sent ahead through the session.

#include <cstddef>
#include <string>
#include <vector>

#include "facade/OperationSteps.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace hnasfacade {

// The path of a file system's snapshot listing under a name filter.
inline ResourcePath snapshotListingPath(const std::string& filesystemId,
                                        const std::string& nameFilter) {
    ResourcePath path;
    path.text("filesystem-snapshots/").segment(filesystemId).text("/").segment(nameFilter);
    return path;
}

// The path of a CIFS share's permission entries.
inline ResourcePath authenticationsPath(const std::string& shareObjectId) {
    ResourcePath path;
    path.text("filesystem-shares/cifs/").segment(shareObjectId).text("/authentications");
    return path;
}

// What a visit would send of `path`: nothing (empty) when the identifier it was
// built from is empty or the path unsafe, as the operation refuses those.
inline std::string sentPath(const std::string& identifier, const ResourcePath& path) {
    return identifier.empty() || !path.safe() ? std::string() : path.str();
}

// Calls visit(i) for every i below `count`, in order. With `parallel` above 1
// the GET that visit(i) sends, resourceOf(i) (empty for a visit that sends
// none), goes ahead, up to `parallel` at once, and the visit takes its answer
// (HNASRestAPI::forEachGet): the visits log and judge exactly as they would
// one at a time.
template <typename ResourceOf, typename Visit>
void walk(HNASRestAPI* session, unsigned parallel, std::size_t count, int resourceType,
          ResourceOf&& resourceOf, Visit&& visit) {
    if (session == nullptr || parallel <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            visit(i);
        return;
    }
    std::vector<std::string> resources;
    resources.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        resources.push_back(resourceOf(i));
    session->forEachGet(resources, resourceType, parallel, visit);
}

} // namespace hnasfacade
