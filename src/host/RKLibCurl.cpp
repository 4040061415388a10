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

bool RKLibCurl::Impl::exchange(const RKLibCurlRequest& request) {
    clearAnswer();
    if (!checkRequest(request)) {
        return false;
    }
    bool sentAhead = false;
    if (takeAnswerSentAhead(request, sentAhead)) {
        return sentAhead;
    }
    curl.headers = makeHeaderList(initHeader, headers);
    if (!curl.headers) {
        lastError = "out of memory for the header list";
        return false;
    }
    CURLcode rc = CURLE_OK;
    const bool performed = performWithRetries(request, rc);
    // Keep the handle free of pointers to the exchange's header list.
    curl_easy_setopt(curl.easy.get(), CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl.headers.reset();
    return performed && finish(rc);
}

bool RKLibCurl::Impl::takeAnswerSentAhead(const RKLibCurlRequest& request, bool& sent) {
    if (request.type != HTTP_REQ_TYPE_GET || request.verbose || request.userAgent != nullptr ||
        !transfer.keepResponse || transfer.callback != nullptr) {
        return false;
    }
    FetchedAnswer answer;
    if (!takeFetchedAnswer(request.url, initHeader, headers, settings.trust, answer)) {
        return false;
    }
    for (const std::string& line : answer.lines) {
        DbgTrace dbg;
        dbg.DebugLvl(kSendFunction, -1, jobId, "%s", line.c_str());
    }
    transfer.body = std::move(answer.body);
    httpCode = answer.httpCode;
    lastError = std::move(answer.lastError);
    sent = answer.sent;
    return true;
}

bool RKLibCurl::Impl::attempt(const RKLibCurlRequest& request, const AttemptLimits& limits,
                              CURLcode& rc) {
    CURL* h = curl.easy.get();
    transfer.startAttempt();
    httpCode = 0;
    const bool freshConnection = request.type != HTTP_REQ_TYPE_GET;
    if (!setUpHandle(h, settings.options, transfer, request.url, curl.headers.get(), limits,
                     freshConnection, request.verbose, request.userAgent) ||
        !setVerbAndBody(h, request.type, request.body, request.length)) {
        lastError = "could not set the request options";
        return false;
    }
    rc = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &httpCode);
    return true;
}

bool RKLibCurl::Impl::performWithRetries(const RKLibCurlRequest& request, CURLcode& rc) {
    const auto deadline = deadlineAfter(Clock::now(), requestTimeoutMs(settings.options));
    const int maxRetries = std::max(0, settings.options.maxRetries);
    for (int n = 0;; ++n) {
        if (!attempt(request, limitsBefore(deadline, settings.options), rc)) {
            return false;
        }
        const std::string reason = retryReason(rc, httpCode, request.type == HTTP_REQ_TYPE_GET);
        if (reason.empty() || n >= maxRetries || !waitBeforeRetry(request, n, reason, deadline)) {
            return true;
        }
    }
}

bool RKLibCurl::Impl::waitBeforeRetry(const RKLibCurlRequest& request, int attempt,
                                      const std::string& reason, Clock::time_point deadline) {
    const long delayMs = retryDelayMs(settings.options, attempt, transfer.retryAfterSeconds);
    const int maxRetries = std::max(0, settings.options.maxRetries);
    DbgTrace dbg;
    if (msLeft(deadline) <= delayMs) {
        dbg.DebugLvl(kSendFunction, -1, jobId,
                     "Not retrying %s request: %s; the request time-out of %ld ms "
                     "leaves no room for another attempt.",
                     methodName(request.type), reason.c_str(), requestTimeoutMs(settings.options));
        return false;
    }
    dbg.DebugLvl(kSendFunction, -1, jobId, "Retrying %s request (retry %d of %d) in %ld ms: %s.",
                 methodName(request.type), attempt + 1, maxRetries, delayMs, reason.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    return true;
}

bool RKLibCurl::Impl::finish(CURLcode rc) {
    if (rc != CURLE_OK) {
        lastError = transfer.errorText(rc);
        // An exchange that did not complete has no answer.
        httpCode = 0;
        transfer.body.clear();
        return false;
    }
    if (httpCode >= 400) {
        lastError = "HTTP status " + std::to_string(httpCode);
        return false;
    }
    return true;
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
        return impl_->exchange(RKLibCurlRequest{type, url, body, length, verbose, userAgent});
    } catch (...) {
        impl_->curl.headers.reset();
        impl_->lastError = "internal error";
        return false;
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

bool RKLibCurl::RKLibCurlSendHttpGets(const std::vector<std::string>& urls, unsigned maxInFlight,
                                      const std::function<void(std::size_t)>& visit) {
    if (!impl_ || !impl_->ready) {
        for (std::size_t i = 0; i < urls.size(); ++i) {
            visit(i);
        }
        return false;
    }
    const GetBatchSettings settings{impl_->settings, impl_->initHeader, impl_->headers};
    return sendGetsAhead(settings, urls, maxInFlight, visit);
}
