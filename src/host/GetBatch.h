#pragma once

// GETs sent ahead for a walk (internal to the host's HTTP client;
// RKLibCurl::RKLibCurlStartGets and RKLibCurlGets are the public side).

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "ClientOptions.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasmgmt {
namespace host {

// What the client that starts a batch gives it: its options and the trust
// its connections are made under, and its headers (copied: the batch
// outlives nothing of the client's).
struct GetBatchSettings {
    const ClientSettings& client;
    const std::string& initHeader;
    const std::vector<std::string>& headers;
};

// A batch sending GETs of `urls`, up to `maxInFlight` (at most 64) at once;
// null when there is nothing to send ahead.
std::unique_ptr<RKLibCurlGets> startGetBatch(const GetBatchSettings& settings,
                                             const std::vector<std::string>& urls,
                                             unsigned maxInFlight);

} // namespace host
} // namespace hnasmgmt
