#pragma once

// The set-up of one libcurl easy handle for one attempt of an exchange, shared
// by the single request and the GET batch: options, TLS trust, time-outs,
// size cap, close-on-exec sockets, the transfer-coding check and the rules of
// connection reuse; and what the handle's callbacks collect of the answer.

#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

#include "HandleCache.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasmgmt {
namespace host {

// Frees a header list, overwriting its texts first (they may hold a password).
struct HeaderListFree {
    void operator()(curl_slist* list) const noexcept;
};

// An owned header list.
using HeaderList = std::unique_ptr<curl_slist, HeaderListFree>;

// An easy handle and the header list it sends: both go with the holder.
struct CurlHolder {
    HeaderList headers;
    EasyHandle easy; // declared last: goes first, while the list is still valid
};

// Builds the list of `first` (when not empty), `headers` and "Expect:" (no
// 100-continue round trip); null when out of memory.
HeaderList makeHeaderList(const std::string& first, const std::vector<std::string>& headers);

// Overwrites a text that may hold a secret before its memory is given back.
void wipe(std::string& text);
void wipe(std::vector<std::string>& texts);

// The bytes a GET batch holds of answers not yet taken: an answer that would
// take them past `limit` is refused, unless it is the one awaited.
struct HeldBytes {
    unsigned long long held = 0;
    unsigned long long limit = 0;
    std::size_t awaited = 0;
};

// What the callbacks of one handle collect of one attempt's answer.
struct Transfer {
    const RKLibCurlOptions* options = nullptr; // the size cap
    CURL* handle = nullptr;                    // for the announced length
    bool keepResponse = true;                  // collect the body in `body`
    RKLibCurlWriteCallback callback = nullptr; // receives the body instead

    std::string body;
    unsigned long long received = 0; // body bytes of the current attempt
    bool overCap = false;
    bool callbackAborted = false;
    long retryAfterSeconds = -1; // from the current attempt's headers; -1: none
    bool requestSent = false;    // the connection was ready and the request went out
    bool answerStarted = false;  // a byte of the answer came back
    HeldBytes* held = nullptr;   // the batch's budget, for a GET of a batch
    std::size_t index = 0;       // the GET's place in the batch
    bool overBudget = false;     // refused: the batch's budget was spent
    std::string refusedCoding;   // a transfer coding other than chunked, as answered
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    // Forgets what an earlier attempt collected.
    void startAttempt();
    // Why an attempt that ended with `rc` (not CURLE_OK) failed.
    std::string errorText(CURLcode rc) const;
};

// Time allowed to one attempt, in milliseconds (at least 1 each).
struct AttemptLimits {
    long timeoutMs = 1;
    long connectTimeoutMs = 1;
};

// Resets `handle` and sets everything of one attempt but the verb and body:
// URL, protocols, TLS trust, proxy, time-outs, size cap, keep-alive,
// close-on-exec sockets, a fresh connection when `freshConnection` (writes:
// libcurl would silently send one again on a reused connection that closed),
// the callbacks into `transfer`, and `headers` (kept by the caller for the
// attempt). False when libcurl refused an option.
bool setUpHandle(CURL* handle, const RKLibCurlOptions& options, Transfer& transfer, const char* url,
                 curl_slist* headers, const AttemptLimits& limits, bool freshConnection,
                 bool verbose, const char* userAgent);

// Sets the verb and the body (valid for the whole attempt); false for an
// unknown request type or a refused option.
bool setVerbAndBody(CURL* handle, _http_req_type_ type, const void* body, unsigned long length);

} // namespace host
} // namespace hnasmgmt
