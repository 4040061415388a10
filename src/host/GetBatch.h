#pragma once

// GETs sent ahead of the requests that take their answers (internal to the
// host's HTTP client; RKLibCurl::RKLibCurlSendHttpGets is the public side).
//
// A batch sends its GETs through a per-thread multi handle, keeps at most
// `window` answers, and offers each answer, in order, to the requests of the
// visit under way: RKLibCurlSendHttpReq takes it instead of sending a GET of
// the same URL with the same headers again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ClientOptions.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasmgmt {
namespace host {

// What the client that sent the batch gives every GET of it: its options,
// the trust its connections are made under, and its headers.
struct GetBatchSettings {
    const ClientSettings& client;
    const std::string& initHeader;
    const std::vector<std::string>& headers;
};

// One GET's answer as RKLibCurlSendHttpReq would have left it.
struct FetchedAnswer {
    bool sent = false;              // what RKLibCurlSendHttpReq returns
    long httpCode = 0;              // 0 when no answer was received
    std::string body;               // reserved with room behind it for the JSON reader
    std::string lastError;          // empty when the exchange succeeded
    std::vector<std::string> lines; // retry lines, written when the answer is taken
};

// Sends the GETs and visits every index in order; see RKLibCurlSendHttpGets.
bool sendGetsAhead(const GetBatchSettings& settings, const std::vector<std::string>& urls,
                   unsigned window, const std::function<void(std::size_t)>& visit);

// Moves out the answer on offer on this thread when it was fetched for `url`
// with these headers under this trust, and has not been taken.
bool takeFetchedAnswer(const char* url, const std::string& initHeader,
                       const std::vector<std::string>& headers, const TrustStamp& trust,
                       FetchedAnswer& out);

} // namespace host
} // namespace hnasmgmt
