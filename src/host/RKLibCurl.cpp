// HTTP client of the host stand-in, over libcurl with OpenSSL.
//
// Connections and TLS sessions survive from one short-lived client to the
// next through a per-thread cache of idle easy handles: curl_easy_reset keeps
// a handle's connection cache and TLS session cache, so a new client on the
// same thread reuses the open connection. Nothing on the request path takes a
// process-wide lock: the process-wide options are copied into a per-thread
// snapshot only when their version counter has moved.

#include "hnasmgmt/host/RKLibCurl.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "GetBatch.h"
#include "hnasmgmt/host/DbgTrace.h"

namespace {

constexpr const char* kSendFunction = "RKLibCurl::RKLibCurlSendHttpReq";
constexpr size_t kMaxIdleHandlesPerThread = 4;

// --- curl_global_init, once per process ---

std::once_flag g_globalInitOnce;
CURLcode g_globalInitResult = CURLE_FAILED_INIT;

bool ensureGlobalInit() {
    std::call_once(g_globalInitOnce,
                   [] { g_globalInitResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return g_globalInitResult == CURLE_OK;
}

// --- process-wide options ---

std::mutex g_optionsMutex;
RKLibCurlOptions g_options;                // guarded by g_optionsMutex
std::atomic<uint64_t> g_optionsVersion{1}; // moves on every setOptions
uint64_t g_trustGeneration = 1;            // guarded; moves when trust settings change

bool sameTrust(const RKLibCurlOptions& a, const RKLibCurlOptions& b) {
    return a.verifyPeer == b.verifyPeer && a.verifyHost == b.verifyHost && a.caFile == b.caFile &&
           a.pinnedPublicKey == b.pinnedPublicKey && a.proxy == b.proxy;
}

// The calling thread's copy of the options; refreshed only when the version moved.
struct OptionsSnapshot {
    uint64_t version = 0;
    uint64_t trustGeneration = 0;
    RKLibCurlOptions options;
};

const OptionsSnapshot& currentOptions() {
    thread_local OptionsSnapshot snapshot;
    const uint64_t version = g_optionsVersion.load(std::memory_order_acquire);
    if (snapshot.version != version) {
        std::lock_guard<std::mutex> lock(g_optionsMutex);
        snapshot.options = g_options;
        snapshot.trustGeneration = g_trustGeneration;
        snapshot.version = g_optionsVersion.load(std::memory_order_relaxed);
    }
    return snapshot;
}

// --- per-thread cache of idle easy handles ---

struct IdleHandle {
    CURL* handle;
    uint64_t trustGeneration;
};

// False once the thread's cache (and options snapshot) are being destroyed at
// thread or process exit; a client released after that (such as one held by a
// static object) closes its handle instead of touching the dead cache.
// Trivially destructible, so it stays readable to the very end.
enum class CacheState : unsigned char { NotYet, Alive, Dead };
thread_local CacheState t_cacheState = CacheState::NotYet;

struct HandleCache {
    std::vector<IdleHandle> idle;
    HandleCache() { t_cacheState = CacheState::Alive; }
    ~HandleCache() {
        t_cacheState = CacheState::Dead;
        for (IdleHandle& h : idle) {
            curl_easy_cleanup(h.handle);
        }
        idle.clear();
    }
};

HandleCache& threadCache() {
    thread_local HandleCache cache;
    return cache;
}

// Takes an idle handle of the current trust generation, or creates one.
CURL* acquireHandle(uint64_t trustGeneration, bool reuse) {
    if (reuse && t_cacheState != CacheState::Dead) {
        HandleCache& cache = threadCache();
        while (!cache.idle.empty()) {
            IdleHandle h = cache.idle.back();
            cache.idle.pop_back();
            if (h.trustGeneration == trustGeneration) {
                curl_easy_reset(h.handle);
                return h.handle;
            }
            curl_easy_cleanup(h.handle); // opened under other trust settings
        }
    }
    return curl_easy_init();
}

// Hands a handle back to the thread's cache, or closes it.
void releaseHandle(CURL* handle, uint64_t trustGeneration, bool reuse) {
    if (handle == nullptr) {
        return;
    }
    curl_easy_reset(handle); // drops pointers into the client; keeps connections
    if (reuse && t_cacheState == CacheState::Alive) {
        const uint64_t current = currentOptions().trustGeneration;
        HandleCache& cache = threadCache();
        if (trustGeneration == current && cache.idle.size() < kMaxIdleHandlesPerThread) {
            cache.idle.push_back(IdleHandle{handle, trustGeneration});
            return;
        }
    }
    curl_easy_cleanup(handle);
}

long clampLong(long long v, long lo, long hi) {
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return static_cast<long>(v);
}

std::mt19937_64& threadRandom() {
    thread_local std::mt19937_64 rng{
        std::random_device{}() ^
        static_cast<uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    return rng;
}

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
    return "?";
}

} // namespace

struct RKLibCurl::Impl {
    CURL* handle = nullptr;
    bool ready = false;
    bool keepResponse = true;
    bool reuseConnections = true;
    RKLibCurlWriteCallback callback = nullptr;
    RKLibCurlOptions options;
    uint64_t trustGeneration = 0;

    std::string initHeader;
    std::vector<std::string> headers;

    std::string response;
    unsigned long long received = 0; // body bytes of the current attempt
    bool overCap = false;
    bool callbackAborted = false;
    long retryAfterSeconds = -1; // from the current attempt's headers; -1: none
    long httpCode = 0;
    std::string lastError;
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    static size_t onBody(char* data, size_t size, size_t count, void* user) {
        Impl* self = static_cast<Impl*>(user);
        const size_t n = size * count;
        try {
            if (self->received + n > self->options.maxResponseBytes) {
                self->overCap = true;
                return 0; // fail the exchange; never truncate silently
            }
            self->received += n;
            if (self->callback != nullptr) {
                const size_t taken = self->callback(data, size, count, nullptr);
                if (taken != n) {
                    self->callbackAborted = true;
                }
                return taken;
            }
            if (self->keepResponse) {
                if (self->response.empty()) {
                    self->reserveForBody();
                }
                self->response.append(data, n);
            }
            return n;
        } catch (...) {
            return 0;
        }
    }

    // Makes room for the whole body at its first bytes when the answer
    // announced its length (within the cap): one allocation instead of a
    // chain of reallocations and copies as a large listing arrives.
    void reserveForBody() {
        curl_off_t announced = -1;
        if (handle != nullptr &&
            curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0 &&
            static_cast<unsigned long long>(announced) <= options.maxResponseBytes &&
            static_cast<unsigned long long>(announced) > response.capacity()) {
            try {
                response.reserve(static_cast<size_t>(announced));
            } catch (...) {
                // Without the room the body still arrives, piece by piece.
            }
        }
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        Impl* self = static_cast<Impl*>(user);
        const size_t n = size * count;
        try {
            static const char kName[] = "retry-after:";
            const size_t nameLen = sizeof kName - 1;
            if (n > nameLen) {
                bool match = true;
                for (size_t i = 0; i < nameLen; ++i) {
                    if (std::tolower(static_cast<unsigned char>(data[i])) != kName[i]) {
                        match = false;
                        break;
                    }
                }
                if (match) {
                    std::string value(data + nameLen, n - nameLen);
                    size_t pos = value.find_first_not_of(" \t");
                    long long seconds = -1;
                    if (pos != std::string::npos &&
                        std::isdigit(static_cast<unsigned char>(value[pos]))) {
                        seconds = 0;
                        while (pos < value.size() &&
                               std::isdigit(static_cast<unsigned char>(value[pos])) &&
                               seconds < 1000000) {
                            seconds = seconds * 10 + (value[pos] - '0');
                            ++pos;
                        }
                    }
                    self->retryAfterSeconds = static_cast<long>(seconds); // HTTP-date form: ignored
                }
            } else if (n <= 2) {
                // end of a header block: nothing to do
            }
            // A new status line starts a new header block (e.g. after 100 Continue).
            if (n >= 5 && std::strncmp(data, "HTTP/", 5) == 0) {
                self->retryAfterSeconds = -1;
            }
        } catch (...) {
        }
        return n;
    }

    // Sets every option of one attempt on the (reset) handle.
    bool configure(_http_req_type_ type, const char* url, const void* body, unsigned long length,
                   bool verbose, const char* userAgent, curl_slist* headerList, long timeoutMs,
                   long connectTimeoutMs) {
        CURL* h = handle;
        curl_easy_reset(h);
        errorBuffer[0] = '\0';
        bool ok = true;
        auto set = [&ok](CURLcode rc) { ok = ok && rc == CURLE_OK; };

        set(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer));
        set(curl_easy_setopt(h, CURLOPT_URL, url));
        set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(h, CURLOPT_VERBOSE, verbose ? 1L : 0L));
        set(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L));
#if LIBCURL_VERSION_NUM >= 0x075500
        set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
#else
        set(curl_easy_setopt(h, CURLOPT_PROTOCOLS,
                             static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS)));
        set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS,
                             static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS)));
#endif
        // TLS
        set(curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)));
        set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, options.verifyPeer ? 1L : 0L));
        set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, options.verifyHost ? 2L : 0L));
        if (!options.caFile.empty()) {
            set(curl_easy_setopt(h, CURLOPT_CAINFO, options.caFile.c_str()));
#if LIBCURL_VERSION_NUM >= 0x075700
            // libcurl caches a parsed CA store by file name (24 h by default);
            // a file replaced in place must count from the next connection on.
            // Connections are reused, so the file is read only per new connection.
            set(curl_easy_setopt(h, CURLOPT_CA_CACHE_TIMEOUT, 0L));
#endif
        }
        if (!options.pinnedPublicKey.empty()) {
            set(curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, options.pinnedPublicKey.c_str()));
        }
        // Proxy: only the configured one; environment variables are not read.
        if (options.proxy.empty()) {
            set(curl_easy_setopt(h, CURLOPT_PROXY, ""));
            set(curl_easy_setopt(h, CURLOPT_NOPROXY, "*"));
        } else {
            set(curl_easy_setopt(h, CURLOPT_PROXY, options.proxy.c_str()));
            set(curl_easy_setopt(h, CURLOPT_NOPROXY, "")); // not NO_PROXY from the environment
        }
        // Time-outs and size cap
        set(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs));
        set(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs));
        if (options.maxResponseBytes < static_cast<unsigned long long>(INT64_MAX)) {
            set(curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                                 static_cast<curl_off_t>(options.maxResponseBytes)));
        }
        set(curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L));
        // libcurl silently sends a request again when a reused connection
        // closes before the answer; the gateway may already have carried out
        // a POST, PUT or DELETE, so those always go on a fresh connection.
        set(curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, type == HTTP_REQ_TYPE_GET ? 0L : 1L));
        // One idle connection per handle: the one a write opened replaces the
        // older one instead of piling up at the gateway.
        set(curl_easy_setopt(h, CURLOPT_MAXCONNECTS, 1L));
        // Callbacks
        set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::onBody));
        set(curl_easy_setopt(h, CURLOPT_WRITEDATA, this));
        set(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::onHeader));
        set(curl_easy_setopt(h, CURLOPT_HEADERDATA, this));
        if (userAgent != nullptr) {
            set(curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent));
        }
        set(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList));

        // Verb and body. The body pointer stays valid for the whole perform.
        static const char kEmpty[] = "";
        const char* data = body != nullptr ? static_cast<const char*>(body) : kEmpty;
        const curl_off_t size = body != nullptr ? static_cast<curl_off_t>(length) : 0;
        switch (type) {
        case HTTP_REQ_TYPE_GET:
            set(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
            break;
        case HTTP_REQ_TYPE_POST:
            set(curl_easy_setopt(h, CURLOPT_POST, 1L));
            set(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, size));
            set(curl_easy_setopt(h, CURLOPT_POSTFIELDS, data));
            break;
        case HTTP_REQ_TYPE_PUT:
            set(curl_easy_setopt(h, CURLOPT_POST, 1L));
            set(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, size));
            set(curl_easy_setopt(h, CURLOPT_POSTFIELDS, data));
            set(curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "PUT"));
            break;
        case HTTP_REQ_TYPE_DELETE:
            if (size > 0) {
                set(curl_easy_setopt(h, CURLOPT_POST, 1L));
                set(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, size));
                set(curl_easy_setopt(h, CURLOPT_POSTFIELDS, data));
            } else {
                set(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
            }
            set(curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "DELETE"));
            break;
        default:
            return false;
        }
        return ok;
    }

    // Takes the answer of a GET sent ahead (RKLibCurlSendHttpGets) when one
    // is on offer for this request, writing the retry lines it came with.
    bool takeAnswerSentAhead(const char* url, bool& sent) {
        if (!keepResponse || callback != nullptr)
            return false;
        hnashost::FetchedAnswer answer;
        if (!hnashost::takeFetchedAnswer(url, initHeader, headers, trustGeneration, answer))
            return false;
        for (const std::string& line : answer.lines) {
            DbgTrace dbg;
            dbg.DebugLvl(kSendFunction, -1, 0LL, "%s", line.c_str());
        }
        response = std::move(answer.body);
        httpCode = answer.httpCode;
        lastError = std::move(answer.lastError);
        sent = answer.sent;
        return true;
    }

    void releaseHandle() {
        CURL* h = handle;
        handle = nullptr;
        ready = false;
        ::releaseHandle(h, trustGeneration, reuseConnections);
    }
};

// --- options ---

void RKLibCurl::setOptions(const RKLibCurlOptions& options) {
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    if (!sameTrust(g_options, options)) {
        ++g_trustGeneration; // cached connections were verified under the old settings
    }
    g_options = options;
    g_optionsVersion.fetch_add(1, std::memory_order_release);
}

RKLibCurlOptions RKLibCurl::getOptions() {
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    return g_options;
}

// --- client ---

RKLibCurl::RKLibCurl() : impl_(nullptr) {
    try {
        impl_ = new Impl();
    } catch (...) {
        impl_ = nullptr;
    }
}

RKLibCurl::~RKLibCurl() {
    try {
        RKLibCurlDeInit();
    } catch (...) {
    }
    delete impl_;
}

bool RKLibCurl::RKLibCurlInit(const char* header, bool keepResponse, bool reuseConnections,
                              RKLibCurlWriteCallback callback) {
    if (impl_ == nullptr) {
        return false;
    }
    try {
        if (!ensureGlobalInit()) {
            impl_->lastError = "curl_global_init failed";
            return false;
        }
        if (impl_->handle != nullptr) {
            impl_->releaseHandle();
        }
        if (t_cacheState == CacheState::Dead) {
            // Thread (or process) exit: the per-thread snapshot is gone.
            std::lock_guard<std::mutex> lock(g_optionsMutex);
            impl_->options = g_options;
            impl_->trustGeneration = g_trustGeneration;
        } else {
            const OptionsSnapshot& snapshot = currentOptions();
            impl_->options = snapshot.options;
            impl_->trustGeneration = snapshot.trustGeneration;
        }
        impl_->keepResponse = keepResponse;
        impl_->reuseConnections = reuseConnections;
        impl_->callback = callback;
        impl_->initHeader = header != nullptr ? header : "";
        impl_->headers.clear();
        impl_->response.clear();
        impl_->httpCode = 0;
        impl_->lastError.clear();
        impl_->handle = acquireHandle(impl_->trustGeneration, reuseConnections);
        if (impl_->handle == nullptr) {
            impl_->lastError = "curl_easy_init failed";
            return false;
        }
        impl_->ready = true;
        return true;
    } catch (...) {
        return false;
    }
}

bool RKLibCurl::RKLibCurlFreeHttpHeaderList() {
    if (impl_ == nullptr) {
        return false;
    }
    impl_->headers.clear();
    return true;
}

bool RKLibCurl::RKLibCurlAppendHeader(_http_hdr_type_ type, const char* header) {
    if (impl_ == nullptr || type != HTTP_HDR_TYPE_CUSTOM || header == nullptr) {
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
    if (impl_ == nullptr) {
        return false;
    }
    Impl& d = *impl_;
    curl_slist* headerList = nullptr;
    try {
        d.response.clear();
        d.httpCode = 0;
        d.lastError.clear();
        if (!d.ready || d.handle == nullptr) {
            d.lastError = "client not initialised";
            return false;
        }
        if (url == nullptr || *url == '\0') {
            d.lastError = "no URL";
            return false;
        }
        if (type != HTTP_REQ_TYPE_GET && type != HTTP_REQ_TYPE_POST && type != HTTP_REQ_TYPE_PUT &&
            type != HTTP_REQ_TYPE_DELETE) {
            d.lastError = "unknown request type";
            return false;
        }

        bool sentAhead = false;
        if (type == HTTP_REQ_TYPE_GET && !verbose && userAgent == nullptr &&
            d.takeAnswerSentAhead(url, sentAhead)) {
            return sentAhead;
        }

        // Header list: the Init header, the appended ones, and no "Expect: 100-continue".
        auto append = [&headerList](const char* text) {
            curl_slist* next = curl_slist_append(headerList, text);
            if (next == nullptr) {
                return false;
            }
            headerList = next;
            return true;
        };
        bool headersOk = true;
        if (!d.initHeader.empty()) {
            headersOk = append(d.initHeader.c_str());
        }
        for (const std::string& h : d.headers) {
            headersOk = headersOk && append(h.c_str());
        }
        headersOk = headersOk && append("Expect:");
        if (!headersOk) {
            curl_slist_free_all(headerList);
            d.lastError = "out of memory for the header list";
            return false;
        }

        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        const long requestTimeoutMs = std::max(1L, d.options.requestTimeoutMs);
        const auto deadline = start + std::chrono::milliseconds(requestTimeoutMs);
        const int maxRetries = std::max(0, d.options.maxRetries);

        CURLcode rc = CURLE_OK;
        for (int attempt = 0;; ++attempt) {
            const long long remaining =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            const long timeoutMs = clampLong(remaining, 1, requestTimeoutMs);
            const long connectMs = std::min(timeoutMs, std::max(1L, d.options.connectTimeoutMs));

            d.response.clear();
            d.received = 0;
            d.overCap = false;
            d.callbackAborted = false;
            d.retryAfterSeconds = -1;
            d.httpCode = 0;
            if (!d.configure(type, url, body, length, verbose, userAgent, headerList, timeoutMs,
                             connectMs)) {
                curl_slist_free_all(headerList);
                d.lastError = "could not set the request options";
                return false;
            }
            rc = curl_easy_perform(d.handle);
            long code = 0;
            curl_easy_getinfo(d.handle, CURLINFO_RESPONSE_CODE, &code);
            d.httpCode = code;

            // Is this a fault that is safe to repeat?
            std::string reason;
            if (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST ||
                rc == CURLE_COULDNT_RESOLVE_PROXY) {
                reason =
                    std::string("connection could not be made (") + curl_easy_strerror(rc) + ")";
            } else if (rc == CURLE_OK && type == HTTP_REQ_TYPE_GET &&
                       (code == 429 || code == 502 || code == 503 || code == 504)) {
                reason = "HTTP status " + std::to_string(code);
            }
            if (reason.empty() || attempt >= maxRetries) {
                break;
            }

            long delayMs;
            if (d.retryAfterSeconds >= 0) {
                const long long ra = static_cast<long long>(d.retryAfterSeconds) * 1000;
                delayMs = clampLong(ra, 0, std::max(0L, d.options.retryMaxDelayMs));
            } else {
                long long base = std::max(0L, d.options.retryFirstDelayMs);
                for (int i = 0; i < attempt && base < d.options.retryMaxDelayMs; ++i) {
                    base *= 2;
                }
                base = std::min<long long>(base, std::max(0L, d.options.retryMaxDelayMs));
                // Jitter: a random delay in [base/2, base].
                const long long half = base / 2;
                std::uniform_int_distribution<long long> dist(0, base - half);
                delayMs = clampLong(half + dist(threadRandom()), 0, LONG_MAX);
            }
            const long long left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= delayMs) {
                DbgTrace dbg;
                dbg.DebugLvl(kSendFunction, -1, 0LL,
                             "Not retrying %s request: %s; the request time-out of %ld ms "
                             "leaves no room for another attempt.",
                             methodName(type), reason.c_str(), requestTimeoutMs);
                break;
            }
            {
                DbgTrace dbg;
                dbg.DebugLvl(kSendFunction, -1, 0LL,
                             "Retrying %s request (retry %d of %d) in %ld ms: %s.",
                             methodName(type), attempt + 1, maxRetries, delayMs, reason.c_str());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        }
        curl_slist_free_all(headerList);
        headerList = nullptr;
        // Keep the handle free of pointers to the per-request header list.
        curl_easy_setopt(d.handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));

        if (rc != CURLE_OK) {
            if (d.overCap || rc == CURLE_FILESIZE_EXCEEDED) {
                d.lastError = "response larger than the cap of " +
                              std::to_string(d.options.maxResponseBytes) + " bytes";
            } else if (d.callbackAborted) {
                d.lastError = "the write callback refused the response body";
            } else {
                d.lastError = curl_easy_strerror(rc);
                if (d.errorBuffer[0] != '\0') {
                    d.lastError += ": ";
                    d.lastError += d.errorBuffer;
                }
            }
            // An exchange that did not complete has no answer.
            d.httpCode = 0;
            d.response.clear();
            return false;
        }
        if (d.httpCode >= 400) {
            d.lastError = "HTTP status " + std::to_string(d.httpCode);
            return false;
        }
        return true;
    } catch (...) {
        if (headerList != nullptr) {
            curl_slist_free_all(headerList);
        }
        d.lastError = "internal error";
        return false;
    }
}

const char* RKLibCurl::GetHttpResponse(unsigned long& length, bool /*copy*/) {
    if (impl_ == nullptr || impl_->response.empty()) {
        length = 0;
        return nullptr;
    }
    length = static_cast<unsigned long>(impl_->response.size());
    return impl_->response.c_str();
}

long RKLibCurl::GetHttpErrorCode() {
    return impl_ != nullptr ? impl_->httpCode : 0;
}

std::string RKLibCurl::GetLastErrorText() const {
    try {
        return impl_ != nullptr ? impl_->lastError : std::string();
    } catch (...) {
        return std::string();
    }
}

void RKLibCurl::RKLibCurlDeInit() {
    if (impl_ == nullptr) {
        return;
    }
    try {
        impl_->releaseHandle();
        impl_->headers.clear();
    } catch (...) {
    }
}

bool RKLibCurl::RKLibCurlSendHttpGets(const std::vector<std::string>& urls, unsigned maxInFlight,
                                      const std::function<void(std::size_t)>& visit) {
    if (impl_ == nullptr || !impl_->ready) {
        for (std::size_t i = 0; i < urls.size(); ++i)
            visit(i);
        return false;
    }
    const hnashost::GetBatchSettings settings{impl_->options, impl_->trustGeneration,
                                              impl_->initHeader, impl_->headers};
    return hnashost::sendGetsAhead(settings, urls, maxInFlight, visit);
}
