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
#include <openssl/crypto.h>
#include <sys/socket.h>
#include <sys/stat.h>

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
#include <utility>
#include <vector>

#include "GetBatch.h"
#include "hnasmgmt/host/DbgTrace.h"

namespace {

constexpr const char* kSendFunction = "RKLibCurl::RKLibCurlSendHttpReq";
constexpr size_t kMaxIdleHandlesPerThread = 4;
// Room kept after a body whose length was announced, so that a parser that
// wants padding behind the text can take the buffer as it is.
constexpr size_t kBodyPadding = 64;

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

// The trust a handle's connections and TLS sessions were made under: the
// generation of the trust settings, and the identity and modification time of
// the CA file, so that a file replaced in place retires every handle opened
// under the old one.
struct TrustStamp {
    uint64_t generation = 0;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long modifiedNs = 0;
    long long changedNs = 0;

    bool operator==(const TrustStamp& o) const {
        return generation == o.generation && device == o.device && inode == o.inode &&
               size == o.size && modifiedNs == o.modifiedNs && changedNs == o.changedNs;
    }
};

TrustStamp trustStamp(uint64_t generation, const std::string& caFile) {
    TrustStamp stamp;
    stamp.generation = generation;
    struct stat st;
    if (!caFile.empty() && ::stat(caFile.c_str(), &st) == 0) {
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modifiedNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        stamp.changedNs = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    }
    return stamp;
}

// The trust stamp as a text: GETs sent ahead keep their connections apart by it.
std::string trustKey(const TrustStamp& t) {
    return std::to_string(t.generation) + ":" + std::to_string(t.device) + ":" +
           std::to_string(t.inode) + ":" + std::to_string(t.size) + ":" +
           std::to_string(t.modifiedNs) + ":" + std::to_string(t.changedNs);
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
    TrustStamp trust;
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

// Takes an idle handle made under the current trust, or creates one.
CURL* acquireHandle(const TrustStamp& trust, bool reuse) {
    if (reuse && t_cacheState != CacheState::Dead) {
        HandleCache& cache = threadCache();
        while (!cache.idle.empty()) {
            IdleHandle h = cache.idle.back();
            cache.idle.pop_back();
            if (h.trust == trust) {
                curl_easy_reset(h.handle);
                return h.handle;
            }
            curl_easy_cleanup(h.handle); // opened under other trust settings
        }
    }
    return curl_easy_init();
}

// Hands a handle back to the thread's cache, or closes it.
void releaseHandle(CURL* handle, const TrustStamp& trust, bool reuse) {
    if (handle == nullptr) {
        return;
    }
    curl_easy_reset(handle); // drops pointers into the client; keeps connections
    if (reuse && t_cacheState == CacheState::Alive) {
        const uint64_t current = currentOptions().trustGeneration;
        HandleCache& cache = threadCache();
        if (trust.generation == current && cache.idle.size() < kMaxIdleHandlesPerThread) {
            cache.idle.push_back(IdleHandle{handle, trust});
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

// The value of a header line when its name is `name` (lower case, colon
// included), without the blanks around it and the line end.
bool headerValue(const char* data, size_t n, const char* name, std::string& value) {
    const size_t nameLen = std::strlen(name);
    if (n < nameLen) {
        return false;
    }
    for (size_t i = 0; i < nameLen; ++i) {
        if (std::tolower(static_cast<unsigned char>(data[i])) != name[i]) {
            return false;
        }
    }
    value.assign(data + nameLen, n - nameLen);
    const size_t first = value.find_first_not_of(" \t");
    const size_t last = value.find_last_not_of(" \t\r\n");
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    return true;
}

// Seconds of a Retry-After value; -1 for the HTTP-date form or none.
long parseRetryAfter(const std::string& value) {
    if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0]))) {
        return -1;
    }
    long long seconds = 0;
    for (size_t i = 0; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])) &&
                       seconds < 1000000;
         ++i) {
        seconds = seconds * 10 + (value[i] - '0');
    }
    return static_cast<long>(seconds);
}

// True when a Transfer-Encoding value names no coding but chunked: the
// library asks for none, and libcurl would otherwise decode gzip or deflate
// past the size cap (a small answer can unpack to any size).
bool onlyChunked(const std::string& value) {
    size_t pos = 0;
    while (pos <= value.size()) {
        size_t end = value.find(',', pos);
        if (end == std::string::npos) {
            end = value.size();
        }
        std::string coding = value.substr(pos, end - pos);
        const size_t first = coding.find_first_not_of(" \t");
        const size_t last = coding.find_last_not_of(" \t");
        coding =
            first == std::string::npos ? std::string() : coding.substr(first, last - first + 1);
        std::transform(coding.begin(), coding.end(), coding.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!coding.empty() && coding != "chunked") {
            return false;
        }
        pos = end + 1;
    }
    return true;
}

// A gateway's text fit for an error message: at most 64 bytes, controls and
// non-ASCII bytes shown as '?'.
std::string printable(const std::string& text) {
    std::string out = text.substr(0, 64);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
            c = '?';
        }
    }
    return out;
}

// Opens the sockets of libcurl's connections close-on-exec, so that a child
// the host spawns does not inherit an idle gateway connection.
curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address) {
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Overwrites a text that may hold a secret (a header with the password)
// before its memory is given back.
void wipe(std::string& text) {
    if (!text.empty()) {
        OPENSSL_cleanse(&text[0], text.size());
    }
    text.clear();
}

void wipe(std::vector<std::string>& texts) {
    for (std::string& text : texts) {
        wipe(text);
    }
    texts.clear();
}

void freeHeaderList(curl_slist* list) {
    for (curl_slist* node = list; node != nullptr; node = node->next) {
        if (node->data != nullptr) {
            OPENSSL_cleanse(node->data, std::strlen(node->data));
        }
    }
    curl_slist_free_all(list);
}

using Clock = std::chrono::steady_clock;

// The moment timeoutMs after start; the clock's end when that lies beyond it
// (a time-out such as LONG_MAX means no limit).
Clock::time_point deadlineAfter(Clock::time_point start, long timeoutMs) {
    const long long room =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - start)
            .count();
    return timeoutMs >= room ? Clock::time_point::max()
                             : start + std::chrono::milliseconds(timeoutMs);
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
    long long jobId = 0;
    RKLibCurlOptions options;
    TrustStamp trust;

    std::string initHeader;
    std::vector<std::string> headers;

    std::string response;
    unsigned long long received = 0; // body bytes of the current attempt
    bool overCap = false;
    bool callbackAborted = false;
    long retryAfterSeconds = -1; // from the current attempt's headers; -1: none
    std::string refusedCoding;   // a transfer coding other than chunked, as answered
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
            static_cast<unsigned long long>(announced) + kBodyPadding > response.capacity()) {
            try {
                response.reserve(static_cast<size_t>(announced) + kBodyPadding);
            } catch (...) {
                // Without the room the body still arrives, piece by piece.
            }
        }
    }

    // Reads Retry-After, and refuses a transfer coding other than chunked
    // before any body byte is decoded (returning short aborts the exchange).
    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        Impl* self = static_cast<Impl*>(user);
        const size_t n = size * count;
        try {
            std::string value;
            if (n >= 5 && std::strncmp(data, "HTTP/", 5) == 0) {
                self->retryAfterSeconds = -1; // a new header block (e.g. after 100 Continue)
            } else if (headerValue(data, n, "retry-after:", value)) {
                self->retryAfterSeconds = parseRetryAfter(value);
            } else if (headerValue(data, n, "transfer-encoding:", value) && !onlyChunked(value)) {
                self->refusedCoding = printable(value);
                return 0;
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
        set(curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &openSocket));
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
        if (!hnashost::takeFetchedAnswer(url, initHeader, headers, trustKey(trust), answer))
            return false;
        for (const std::string& line : answer.lines) {
            DbgTrace dbg;
            dbg.DebugLvl(kSendFunction, -1, jobId, "%s", line.c_str());
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
        ::releaseHandle(h, trust, reuseConnections);
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
            impl_->trust.generation = g_trustGeneration;
        } else {
            const OptionsSnapshot& snapshot = currentOptions();
            impl_->options = snapshot.options;
            impl_->trust.generation = snapshot.trustGeneration;
        }
        impl_->trust = trustStamp(impl_->trust.generation, impl_->options.caFile);
        impl_->keepResponse = keepResponse;
        impl_->reuseConnections = reuseConnections;
        impl_->callback = callback;
        wipe(impl_->initHeader);
        impl_->initHeader = header != nullptr ? header : "";
        wipe(impl_->headers);
        impl_->response.clear();
        impl_->httpCode = 0;
        impl_->lastError.clear();
        impl_->handle = acquireHandle(impl_->trust, reuseConnections);
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
    wipe(impl_->headers);
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
            freeHeaderList(headerList);
            d.lastError = "out of memory for the header list";
            return false;
        }

        const long requestTimeoutMs = std::max(1L, d.options.requestTimeoutMs);
        const auto deadline = deadlineAfter(Clock::now(), requestTimeoutMs);
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
            d.refusedCoding.clear();
            d.httpCode = 0;
            if (!d.configure(type, url, body, length, verbose, userAgent, headerList, timeoutMs,
                             connectMs)) {
                freeHeaderList(headerList);
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
                dbg.DebugLvl(kSendFunction, -1, d.jobId,
                             "Not retrying %s request: %s; the request time-out of %ld ms "
                             "leaves no room for another attempt.",
                             methodName(type), reason.c_str(), requestTimeoutMs);
                break;
            }
            {
                DbgTrace dbg;
                dbg.DebugLvl(kSendFunction, -1, d.jobId,
                             "Retrying %s request (retry %d of %d) in %ld ms: %s.",
                             methodName(type), attempt + 1, maxRetries, delayMs, reason.c_str());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        }
        freeHeaderList(headerList);
        headerList = nullptr;
        // Keep the handle free of pointers to the per-request header list.
        curl_easy_setopt(d.handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));

        if (rc != CURLE_OK) {
            if (!d.refusedCoding.empty()) {
                d.lastError = "answer refused: transfer coding \"" + d.refusedCoding +
                              "\" (only chunked is accepted)";
            } else if (d.overCap || rc == CURLE_FILESIZE_EXCEEDED) {
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
            freeHeaderList(headerList);
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

void RKLibCurl::TakeHttpResponse(std::string& out, std::size_t padding) {
    if (impl_ == nullptr) {
        out.clear();
        return;
    }
    try {
        out = std::move(impl_->response);
        impl_->response = std::string();
        if (out.capacity() - out.size() < padding) {
            out.reserve(out.size() + padding);
        }
    } catch (...) {
        // Without room for the padding the body is still handed over whole.
    }
}

void RKLibCurl::SetJobId(long long jobId) {
    if (impl_ != nullptr) {
        impl_->jobId = jobId;
    }
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
        wipe(impl_->headers);
        wipe(impl_->initHeader);
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
    const hnashost::GetBatchSettings settings{impl_->options, trustKey(impl_->trust),
                                              impl_->initHeader, impl_->headers};
    return hnashost::sendGetsAhead(settings, urls, maxInFlight, visit);
}
