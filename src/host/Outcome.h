#pragma once

// What one attempt of an exchange came to, read once from libcurl: the
// status, the kind of failure, and whether the gateway answered at all.

#include <curl/curl.h>

#include <string>

#include "HandleSetup.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasmgmt {
namespace host {

struct AttemptOutcome {
    CURLcode rc = CURLE_OK;
    long status = 0; // 0 when no complete answer came
    RKLibCurlError error = RKLibCurlError::None;
    // Ended before any byte of an answer, in a way that says nothing of the
    // request itself: no connection, a handshake that failed or stalled, a
    // connection reset or closed, a time-out before the gateway began to
    // answer. A GET so ended may be sent again.
    bool noAnswer = false;
    bool connectPhase = false;     // the request never went out
    bool reusedConnection = false; // the attempt ran on a kept-alive connection
};

// Reads the outcome of an attempt that ended with `rc` on `handle`.
AttemptOutcome readOutcome(CURL* handle, CURLcode rc, const Transfer& transfer);

// The result of an exchange whose last attempt ended so: status, failure kind
// and reason. The body is the caller's to move in.
void describeOutcome(const AttemptOutcome& outcome, const Transfer& transfer,
                     RKLibCurlResult& result);

} // namespace host
} // namespace hnasmgmt
