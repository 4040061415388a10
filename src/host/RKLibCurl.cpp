// HTTP client of the host stand-in, over libcurl with OpenSSL.
//
// Connections and TLS sessions survive from one short-lived client to the
// next through the per-thread cache of idle easy handles (HandleCache), made
// under the trust in force (ClientOptions) and set up per attempt
// (HandleSetup).

#include "hnasmgmt/host/RKLibCurl.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "ClientImpl.h"
#include "GetBatch.h"
#include "hnasmgmt/host/DbgTrace.h"

using namespace hnasmgmt::host;

namespace {

constexpr const char* kSendFunction = "RKLibCurl::RKLibCurlSendHttpReq";

const char* methodName(_http_req_type_ type) {
    switch (type) {
    case HTTP_REQ_TYPE_GET:
        return "GET";
    case HTTP_REQ_TYPE_POST:
        return "POST";
    case HTTP_REQ_TYPE_PUT:
        return "PUT";
    case HTTP_REQ_TYPE_DELETE:
        return "DELETE";
    }
    return nullptr;
}

} // namespace

// --- the client's state ---

RKLibCurl::Impl::~Impl() {
    release();
    wipe(headers);
    wipe(initHeader);
}

bool RKLibCurl::Impl::start(const char* header, bool keepResponse, bool reuse,
                            RKLibCurlWriteCallback callback) {
    release();
    settings = currentSettings();
    reuseConnections = reuse;
    transfer.keepResponse = keepResponse;
    transfer.callback = callback;
    wipe(initHeader);
    initHeader = header != nullptr ? header : "";
    wipe(headers);
    clearAnswer();
    curl.easy = acquireHandle(settings.trust, reuseConnections);
    if (!curl.easy) {
        lastError = "curl_easy_init failed";
        return false;
    }
    ready = true;
    return true;
}

void RKLibCurl::Impl::release() noexcept {
    ready = false;
    try {
        if (curl.easy) {
            releaseHandle(std::move(curl.easy), settings.trust, reuseConnections);
        }
    } catch (...) {
        // The handle was closed instead of cached.
    }
    curl.headers.reset();
}

void RKLibCurl::Impl::clearAnswer() {
    transfer.body.clear();
    httpCode = 0;
    lastError.clear();
}

bool RKLibCurl::Impl::checkRequest(const RKLibCurlRequest& request) {
    if (!ready || !curl.easy) {
        lastError = "client not initialised";
    } else if (request.url == nullptr || *request.url == '\0') {
        lastError = "no URL";
    } else if (methodName(request.type) == nullptr) {
        lastError = "unknown request type";
    } else {
        return true;
    }
    return false;
}

RKLibCurlResult RKLibCurl::Impl::exchange(const RKLibCurlRequest& request) {
    clearAnswer();
    RKLibCurlResult result;
    result.url = request.url != nullptr ? request.url : "";
    if (!checkRequest(request)) {
        result.reason = lastError;
        return result;
    }
    curl.headers = makeHeaderList(initHeader, headers);
    if (!curl.headers) {
        result.reason = lastError = "out of memory for the header list";
        return result;
    }
    performWithRetries(request, result);
    // Keep the handle free of pointers to the exchange's header list.
    curl_easy_setopt(curl.easy.get(), CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl.headers.reset();
    remember(result);
    return result;
}

void RKLibCurl::Impl::remember(const RKLibCurlResult& result) {
    httpCode = result.status;
    lastError = result.reason;
}

void RKLibCurl::Impl::logRetry(const std::string& line) const {
    DbgTrace dbg;
    dbg.DebugLvl(kSendFunction, -1, jobId, "%s", line.c_str());
}

bool RKLibCurl::Impl::attempt(const RKLibCurlRequest& request, const AttemptLimits& limits,
                              bool freshConnection, AttemptOutcome& outcome) {
    CURL* h = curl.easy.get();
    transfer.startAttempt();
    if (!setUpHandle(h, settings.options, transfer, request.url, curl.headers.get(), limits,
                     freshConnection, request.verbose, request.userAgent) ||
        !setVerbAndBody(h, request.type, request.body, request.length)) {
        return false;
    }
    outcome = readOutcome(h, curl_easy_perform(h), transfer);
    return true;
}

// Replaces the handle, whose kept-alive connection died, by a new one: the
// dead connection is closed now, not during the next attempt (whose error
// text would then tell of it). Without a new handle the old one opens a new
// connection instead.
void RKLibCurl::Impl::freshHandle(bool& freshConnection) {
    EasyHandle replacement(curl_easy_init());
    if (!replacement) {
        freshConnection = true;
        return;
    }
    curl_easy_reset(curl.easy.get()); // no pointer into the client stays with it
    curl.easy = std::move(replacement);
}

void RKLibCurl::Impl::performWithRetries(const RKLibCurlRequest& request, RKLibCurlResult& result) {
    const bool isGet = request.type == HTTP_REQ_TYPE_GET;
    const RetryPolicy policy(settings.options,
                             deadlineAfter(Clock::now(), requestTimeoutMs(settings.options)));
    // A write always goes on a fresh connection: libcurl would silently send
    // it again on a kept-alive one that the gateway had closed.
    bool fresh = !isGet;
    bool resent = false;
    for (int n = 0;;) {
        AttemptOutcome outcome;
        if (!attempt(request, limitsBefore(policy.deadline(), settings.options), fresh, outcome)) {
            result.status = 0;
            result.error = RKLibCurlError::NotSent;
            result.reason = "could not set the request options";
            transfer.body.clear();
            return;
        }
        // A GET whose kept-alive connection died under it, before any byte of
        // an answer, goes again once on a fresh connection: the gateway never
        // saw it, so this is no retry.
        if (isGet && !resent && outcome.reusedConnection &&
            outcome.error == RKLibCurlError::ConnectionLost) {
            resent = true;
            freshHandle(fresh);
            continue;
        }
        const RetryPolicy::Verdict verdict = policy.afterAttempt(
            methodName(request.type), n, outcome.rc, outcome.status, transfer.retryAfterSeconds);
        if (!verdict.line.empty()) {
            logRetry(verdict.line);
        }
        if (!verdict.again) {
            describeOutcome(outcome, transfer, result);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(verdict.delayMs));
        ++n;
    }
    // An exchange that did not complete has no answer.
    if (result.status == 0) {
        transfer.body.clear();
    }
    result.body = std::move(transfer.body);
    transfer.body = std::string();
}

// --- options ---

void RKLibCurl::setOptions(const RKLibCurlOptions& options) {
    storeOptions(options);
}

RKLibCurlOptions RKLibCurl::getOptions() {
    return loadOptions();
}

// --- client ---

RKLibCurl::RKLibCurl() {
    try {
        impl_ = std::make_unique<Impl>();
    } catch (...) {
        // A client without state refuses every call.
    }
}

RKLibCurl::~RKLibCurl() = default;

bool RKLibCurl::RKLibCurlInit(const char* header, bool keepResponse, bool reuseConnections,
                              RKLibCurlWriteCallback callback) {
    if (!impl_) {
        return false;
    }
    try {
        if (!ensureGlobalInit()) {
            impl_->lastError = "curl_global_init failed";
            return false;
        }
        return impl_->start(header, keepResponse, reuseConnections, callback);
    } catch (...) {
        return false;
    }
}

bool RKLibCurl::RKLibCurlFreeHttpHeaderList() {
    if (!impl_) {
        return false;
    }
    wipe(impl_->headers);
    return true;
}

bool RKLibCurl::RKLibCurlAppendHeader(_http_hdr_type_ type, const char* header) {
    if (!impl_ || type != HTTP_HDR_TYPE_CUSTOM || header == nullptr) {
        return false;
    }
    try {
        const char* colon = std::strchr(header, ':');
        if (colon == nullptr || colon == header) {
            return false;
        }
        // A line break would smuggle in further headers.
        if (std::strpbrk(header, "\r\n") != nullptr) {
            return false;
        }
        impl_->headers.emplace_back(header);
        return true;
    } catch (...) {
        return false;
    }
}

bool RKLibCurl::RKLibCurlSendHttpReq(_http_req_type_ type, const char* url, const void* body,
                                     unsigned long length, bool verbose, const char* userAgent) {
    if (!impl_) {
        return false;
    }
    try {
        RKLibCurlResult result =
            impl_->exchange(RKLibCurlRequest{type, url, body, length, verbose, userAgent});
        impl_->transfer.body = std::move(result.body);
        return result.ok();
    } catch (...) {
        impl_->curl.headers.reset();
        impl_->lastError = "internal error";
        return false;
    }
}

RKLibCurlResult RKLibCurl::RKLibCurlExchange(_http_req_type_ type, const char* url,
                                             const void* body, unsigned long length) {
    RKLibCurlResult result;
    try {
        if (!impl_) {
            result.reason = "client not initialised";
            return result;
        }
        return impl_->exchange(RKLibCurlRequest{type, url, body, length, false, nullptr});
    } catch (...) {
        if (impl_) {
            impl_->curl.headers.reset();
            impl_->lastError = "internal error";
        }
        result = RKLibCurlResult();
        result.reason = "internal error";
        return result;
    }
}

RKLibCurlResult RKLibCurl::RKLibCurlAdopt(RKLibCurlResult fetched) {
    try {
        if (impl_) {
            impl_->clearAnswer();
            for (const std::string& line : fetched.retryLines) {
                impl_->logRetry(line);
            }
            impl_->remember(fetched);
        }
        fetched.retryLines.clear();
    } catch (...) {
        // The answer is handed on all the same.
    }
    return fetched;
}

std::unique_ptr<RKLibCurlGets> RKLibCurl::RKLibCurlStartGets(const std::vector<std::string>& urls,
                                                             unsigned maxInFlight) {
    if (!impl_ || !impl_->ready) {
        return nullptr;
    }
    try {
        return startGetBatch(GetBatchSettings{impl_->settings, impl_->initHeader, impl_->headers},
                             urls, maxInFlight);
    } catch (...) {
        return nullptr; // every GET goes one at a time
    }
}

const char* RKLibCurl::GetHttpResponse(unsigned long& length, bool /*copy*/) {
    if (!impl_ || impl_->transfer.body.empty()) {
        length = 0;
        return nullptr;
    }
    length = static_cast<unsigned long>(impl_->transfer.body.size());
    return impl_->transfer.body.c_str();
}

void RKLibCurl::TakeHttpResponse(std::string& out, std::size_t padding) {
    if (!impl_) {
        out.clear();
        return;
    }
    try {
        out = std::move(impl_->transfer.body);
        impl_->transfer.body = std::string();
        if (out.capacity() - out.size() < padding) {
            out.reserve(out.size() + padding);
        }
    } catch (...) {
        // Without room for the padding the body is still handed over whole.
    }
}

void RKLibCurl::SetJobId(long long jobId) {
    if (impl_) {
        impl_->jobId = jobId;
    }
}

long RKLibCurl::GetHttpErrorCode() {
    return impl_ ? impl_->httpCode : 0;
}

std::string RKLibCurl::GetLastErrorText() const {
    try {
        return impl_ ? impl_->lastError : std::string();
    } catch (...) {
        return std::string();
    }
}

void RKLibCurl::RKLibCurlDeInit() {
    if (!impl_) {
        return;
    }
    impl_->release();
    wipe(impl_->headers);
    wipe(impl_->initHeader);
}

bool RKLibCurl::RKLibCurlSendHttpGets(const std::vector<std::string>& urls,
                                      unsigned /*maxInFlight*/,
                                      const std::function<void(std::size_t)>& visit) {
    for (std::size_t i = 0; i < urls.size(); ++i) {
        visit(i);
    }
    return false;
}
