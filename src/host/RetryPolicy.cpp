// Time-outs and retries of an exchange.

#include "RetryPolicy.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

namespace hnasmgmt {
namespace host {

namespace {

long clampLong(long long v, long lo, long hi) {
    return static_cast<long>(std::min<long long>(std::max<long long>(v, lo), hi));
}

std::mt19937_64& threadRandom() {
    thread_local std::mt19937_64 rng{
        std::random_device{}() ^
        static_cast<uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    return rng;
}

} // namespace

long requestTimeoutMs(const RKLibCurlOptions& options) {
    return std::max(1L, options.requestTimeoutMs);
}

Clock::time_point deadlineAfter(Clock::time_point start, long timeoutMs) {
    const long long room =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - start)
            .count();
    return timeoutMs >= room ? Clock::time_point::max()
                             : start + std::chrono::milliseconds(timeoutMs);
}

long long msLeft(Clock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

AttemptLimits limitsBefore(Clock::time_point deadline, const RKLibCurlOptions& options) {
    AttemptLimits limits;
    limits.timeoutMs = clampLong(msLeft(deadline), 1, requestTimeoutMs(options));
    limits.connectTimeoutMs = std::min(limits.timeoutMs, std::max(1L, options.connectTimeoutMs));
    return limits;
}

std::string retryReason(CURLcode rc, long status, bool isGet) {
    if (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST ||
        rc == CURLE_COULDNT_RESOLVE_PROXY) {
        return std::string("connection could not be made (") + curl_easy_strerror(rc) + ")";
    }
    if (rc == CURLE_OK && isGet &&
        (status == 429 || status == 502 || status == 503 || status == 504)) {
        return "HTTP status " + std::to_string(status);
    }
    return std::string();
}

long retryDelayMs(const RKLibCurlOptions& options, int attempt, long retryAfterSeconds) {
    const long maxDelayMs = std::max(0L, options.retryMaxDelayMs);
    if (retryAfterSeconds >= 0) {
        return clampLong(static_cast<long long>(retryAfterSeconds) * 1000, 0, maxDelayMs);
    }
    long long base = std::max(0L, options.retryFirstDelayMs);
    for (int i = 0; i < attempt && base < options.retryMaxDelayMs; ++i) {
        base *= 2;
    }
    base = std::min<long long>(base, maxDelayMs);
    // Jitter: a random delay in [base/2, base].
    const long long half = base / 2;
    std::uniform_int_distribution<long long> dist(0, base - half);
    return clampLong(half + dist(threadRandom()), 0, LONG_MAX);
}

RetryPolicy::Verdict RetryPolicy::afterAttempt(const char* method, int attempt, CURLcode rc,
                                               long status, long retryAfterSeconds) const {
    Verdict verdict;
    const std::string reason = retryReason(rc, status, std::strcmp(method, "GET") == 0);
    const int maxRetries = std::max(0, options_.maxRetries);
    if (reason.empty() || attempt >= maxRetries) {
        return verdict;
    }
    const long delayMs = retryDelayMs(options_, attempt, retryAfterSeconds);
    char line[512];
    if (msLeft(deadline_) <= delayMs) {
        std::snprintf(line, sizeof line,
                      "Not retrying %s request: %s; the request time-out of %ld ms "
                      "leaves no room for another attempt.",
                      method, reason.c_str(), requestTimeoutMs(options_));
    } else {
        std::snprintf(line, sizeof line, "Retrying %s request (retry %d of %d) in %ld ms: %s.",
                      method, attempt + 1, maxRetries, delayMs, reason.c_str());
        verdict.again = true;
        verdict.delayMs = delayMs;
    }
    verdict.line = line;
    return verdict;
}

} // namespace host
} // namespace hnasmgmt
