#pragma once

// The walks over a listing that send one GET per listed object (the snapshot
// listings of every file system, the permissions of every matched share):
// one at a time, or with their GETs sent ahead through the session.

#include <cstddef>
#include <string>
#include <vector>

#include "hnasmgmt/rest/HNASRestAPI.h"

// The resource of a snapshot listing under a name filter.
inline std::string hnasSnapshotListingResource(const std::string& filesystemId,
                                               const std::string& nameFilter) {
    return "filesystem-snapshots/" + filesystemId + "/" + nameFilter;
}

// The resource of a CIFS share's permission entries.
inline std::string hnasAuthenticationsResource(const std::string& shareObjectId) {
    return "filesystem-shares/cifs/" + shareObjectId + "/authentications";
}

// Calls visit(i) for every i below `count`, in order. With `parallel` above 1
// the GET that visit(i) sends, resourceOf(i) (empty for a visit that sends
// none), goes ahead, up to `parallel` at once, and the visit takes its answer
// (HNASRestAPI::forEachGet): the visits log and judge exactly as they would
// one at a time.
template <typename ResourceOf, typename Visit>
void hnasWalk(HNASRestAPI* session, unsigned parallel, std::size_t count, int resourceType,
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
