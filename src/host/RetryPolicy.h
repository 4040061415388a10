#pragma once

// The time an exchange may take and which of its faults are repeated.

#include <curl/curl.h>

#include <chrono>
#include <string>

#include "HandleSetup.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasmgmt {
namespace host {

using Clock = std::chrono::steady_clock;

// The request time-out in force: at least 1 ms.
long requestTimeoutMs(const RKLibCurlOptions& options);

// The moment timeoutMs after start; the clock's end when that lies beyond it
// (a time-out such as LONG_MAX means no limit).
Clock::time_point deadlineAfter(Clock::time_point start, long timeoutMs);

// The time allowed to an attempt started now: what is left before the
// deadline (at least 1 ms), the connection within it.
AttemptLimits limitsBefore(Clock::time_point deadline, const RKLibCurlOptions& options);

// Why an attempt that ended with `rc` and `status` may be repeated: a
// connection that could not be made (any verb), or a 429, 502, 503 or 504
// answer to a GET. Empty when it may not.
std::string retryReason(CURLcode rc, long status, bool isGet);

// The back-off before retry number attempt + 1: the answer's Retry-After
// (seconds, -1 for none) up to the longest delay, else an exponential delay
// from the first one, with jitter.
long retryDelayMs(const RKLibCurlOptions& options, int attempt, long retryAfterSeconds);

// Milliseconds left before the deadline (negative once past).
long long msLeft(Clock::time_point deadline);

// The one rule of what is tried again, shared by the single request and the
// GET batch: which faults are repeated, after how long (Retry-After up to
// the longest delay), and never past the request's deadline.
class RetryPolicy {
public:
    RetryPolicy(const RKLibCurlOptions& options, Clock::time_point deadline)
        : options_(options), deadline_(deadline) {}

    // What follows an attempt.
    struct Verdict {
        bool again = false; // send the request again after delayMs
        long delayMs = 0;
        std::string line; // the retry line to log at level -1; empty for none
    };

    // After attempt number `attempt` (0 for the first) of a `method` request
    // ended with `rc` and `status` (Retry-After: `retryAfterSeconds`, -1 for
    // none).
    Verdict afterAttempt(const char* method, int attempt, CURLcode rc, long status,
                         long retryAfterSeconds) const;

    Clock::time_point deadline() const { return deadline_; }

private:
    const RKLibCurlOptions& options_;
    Clock::time_point deadline_;
};

} // namespace host
} // namespace hnasmgmt
