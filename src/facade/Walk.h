#pragma once

// The walks over a listing that send one GET per listed object (the snapshot
// listings of every file system, the permissions of every matched share):
// one at a time, or with their GETs sent ahead through the session.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "facade/OperationSteps.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace hnasmgmt::facade {

// What a visit would send of the request's path: nothing (empty) when the
// identifier it was built from is empty or the path unsafe, as the operation
// refuses those.
inline std::string sentPath(const std::string& identifier, const Request& request) {
    return identifier.empty() || !request.path.safe() ? std::string() : request.path.str();
}

// getCIFSAuthentication, for the share walk: in a walk, `step` holds the
// answer fetched ahead and learns why the read failed.
bool cifsAuthentication(unsigned long long jobId, bool initialised, HNASRestAPI* api,
                        const std::string& shareObjectId,
                        std::vector<__HNASCIFSAuthentication>& entries, WalkStep* step);

// Calls visit(i, step) for every i below `count`, in order. With `parallel`
// above 1 the GETs that the visits send, resourceOf(i) (empty for a visit
// that sends none), go ahead through the session, up to `parallel` at once,
// and step.fetched holds the answer for visit i when the batch has it: the
// visit hands it to the same judging and reading as a request sent on the
// spot (HNASRestAPI::sendReq), so it logs and reads exactly the same. A
// visit whose GET the batch gave back sends it itself, one at a time.
template <typename ResourceOf, typename Visit>
void walk(HNASRestAPI* session, unsigned parallel, std::size_t count, Op op,
          ResourceOf&& resourceOf, Visit&& visit) {
    std::unique_ptr<RKLibCurlGets> gets;
    if (session != nullptr && parallel > 1 && count > 1) {
        std::vector<std::string> resources;
        resources.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            resources.push_back(resourceOf(i));
        gets = session->sendGetsAhead(resources, static_cast<int>(op), parallel);
    }
    for (std::size_t i = 0; i < count; ++i) {
        WalkStep step;
        if (gets && !gets->take(i, step.fetched))
            step.fetched = RKLibCurlResult();
        visit(i, step);
    }
}

} // namespace hnasmgmt::facade
