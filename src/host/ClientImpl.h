#pragma once

// The state of one RKLibCurl client.

#include <curl/curl.h>

#include <string>
#include <vector>

#include "ClientOptions.h"
#include "HandleSetup.h"
#include "Outcome.h"
#include "RetryPolicy.h"
#include "hnasmgmt/host/RKLibCurl.h"

// One exchange as the caller asked for it.
struct RKLibCurlRequest {
    _http_req_type_ type;
    const char* url;
    const void* body;
    unsigned long length;
    bool verbose;
    const char* userAgent;
};

// Hidden: its members are no part of the library's interface.
struct __attribute__((visibility("hidden"))) RKLibCurl::Impl {
    bool ready = false;
    bool reuseConnections = true;
    long long jobId = 0;
    hnasmgmt::host::ClientSettings settings;

    std::string initHeader;           // wiped when replaced or released
    std::vector<std::string> headers; // likewise
    hnasmgmt::host::CurlHolder curl;  // the handle, and the list of the exchange under way
    hnasmgmt::host::Transfer transfer;
    long httpCode = 0;
    std::string lastError;

    ~Impl();

    // Makes the client ready on a handle of this thread (see RKLibCurlInit).
    bool start(const char* header, bool keepResponse, bool reuse, RKLibCurlWriteCallback callback);
    // Hands the handle back to the thread's cache; the client is not ready.
    void release() noexcept;
    // Forgets the answer of the last exchange.
    void clearAnswer();
    // Performs one exchange, retries included, and keeps its status and
    // reason as the client's last exchange; the body goes with the result.
    RKLibCurlResult exchange(const RKLibCurlRequest& request);
    // Keeps `result` as the client's last exchange.
    void remember(const RKLibCurlResult& result);
    // Writes a retry line under the client's function name and job.
    void logRetry(const std::string& line) const;

private:
    bool checkRequest(const RKLibCurlRequest& request);
    bool attempt(const RKLibCurlRequest& request, const hnasmgmt::host::AttemptLimits& limits,
                 bool freshConnection, hnasmgmt::host::AttemptOutcome& outcome);
    void performWithRetries(const RKLibCurlRequest& request, RKLibCurlResult& result);
    void freshHandle(bool& freshConnection);
};
