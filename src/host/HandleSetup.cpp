// The set-up of one easy handle for one attempt, and the callbacks that
// collect the answer.

#include "HandleSetup.h"

#include <openssl/crypto.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>

// The answer's headers are read through libcurl's header API (curl_easy_header).
#if LIBCURL_VERSION_NUM < 0x075400
#error "libcurl 7.84.0 or later is needed"
#endif

namespace hnasmgmt {
namespace host {

namespace {

// Room kept after a body whose length was announced, so that a parser that
// wants padding behind the text can take the buffer as it is.
constexpr size_t kBodyPadding = 64;

// The longest a connection may have been idle to carry another request.
constexpr long kMaxIdleSeconds = 1;

// Collects whether every curl_easy_setopt of a step succeeded.
class Options {
public:
    explicit Options(CURL* handle) : handle_(handle) {}
    template <class T> Options& set(CURLoption option, T value) {
        ok_ = curl_easy_setopt(handle_, option, value) == CURLE_OK && ok_;
        return *this;
    }
    bool ok() const { return ok_; }

private:
    CURL* handle_;
    bool ok_ = true;
};

std::string trimmed(const std::string& text, const char* blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// True when a Transfer-Encoding value names no coding but chunked: none is
// asked for, and libcurl would otherwise decode gzip or deflate past the size
// cap (a small answer can unpack to any size).
bool onlyChunked(const std::string& value) {
    size_t pos = 0;
    while (pos <= value.size()) {
        const size_t end = std::min(value.find(',', pos), value.size());
        std::string coding = trimmed(value.substr(pos, end - pos), " \t");
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

// Makes room for the whole body (and the padding) at its first bytes when the
// answer announced its length within the cap: one allocation instead of a
// chain of reallocations and copies as a large listing arrives.
void reserveForBody(Transfer& t) {
    curl_off_t announced = -1;
    if (t.handle == nullptr ||
        curl_easy_getinfo(t.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) != CURLE_OK ||
        announced <= 0 ||
        static_cast<unsigned long long>(announced) > t.options->maxResponseBytes) {
        return;
    }
    const size_t wanted = static_cast<size_t>(announced) + kBodyPadding;
    if (wanted > t.body.capacity()) {
        try {
            t.body.reserve(wanted);
        } catch (...) {
            // Without the room the body still arrives, piece by piece.
        }
    }
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    Transfer& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    try {
        if (t.received + n > t.options->maxResponseBytes) {
            t.overCap = true;
            return 0; // fail the exchange; never truncate silently
        }
        if (t.held != nullptr) {
            if (t.index != t.held->awaited && t.held->held + n > t.held->limit) {
                t.overBudget = true;
                return 0;
            }
            t.held->held += n;
        }
        t.received += n;
        if (t.callback != nullptr) {
            const size_t taken = t.callback(data, size, count, nullptr);
            t.callbackAborted = taken != n;
            return taken;
        }
        if (t.keepResponse) {
            if (t.body.empty()) {
                reserveForBody(t);
            }
            t.body.append(data, n);
        }
        return n;
    } catch (...) {
        return 0;
    }
}

// The longest Retry-After taken, in seconds (a date far ahead gives a large
// number; the retry policy caps the delay much lower).
constexpr curl_off_t kMaxRetryAfterSeconds = 10000000;

// The seconds of the answer's Retry-After as libcurl reads it (a number of
// seconds or an HTTP date; a date already past gives 0); -1 for none, or for
// a value libcurl cannot read (it gives 0 then, which is no advice, unlike
// "0").
long retryAfterOf(CURL* handle) {
    curl_header* header = nullptr;
    if (curl_easy_header(handle, "Retry-After", 0, CURLH_HEADER, -1, &header) != CURLHE_OK) {
        return -1;
    }
    const bool number = std::isdigit(static_cast<unsigned char>(header->value[0])) != 0;
    curl_off_t seconds = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RETRY_AFTER, &seconds) != CURLE_OK ||
        (seconds == 0 && !number)) {
        return -1;
    }
    return static_cast<long>(std::min(std::max(seconds, curl_off_t{0}), kMaxRetryAfterSeconds));
}

// The first Transfer-Encoding header of the answer that names a coding other
// than chunked, as an error message may show it; empty when there is none.
// Fails closed: a libcurl that cannot give the headers refuses every answer.
std::string refusedCodingOf(CURL* handle) {
    curl_header* header = nullptr;
    for (size_t i = 0;; ++i) {
        const CURLHcode rc =
            curl_easy_header(handle, "Transfer-Encoding", i, CURLH_HEADER, -1, &header);
        if (rc == CURLHE_MISSING || rc == CURLHE_NOHEADERS || rc == CURLHE_BADINDEX) {
            return std::string();
        }
        if (rc != CURLHE_OK) {
            return "(not readable)";
        }
        if (!onlyChunked(header->value)) {
            return printable(header->value);
        }
    }
}

// At the end of each header block (the blank line, before any body byte is
// decoded): takes the answer's Retry-After, and refuses a transfer coding
// other than chunked (returning short aborts the exchange). The headers of an
// interim (1xx) block count for nothing.
size_t onHeader(char* data, size_t size, size_t count, void* user) {
    Transfer& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    t.answerStarted = true;
    if (n > 2 || (n > 0 && data[0] != '\r' && data[0] != '\n')) {
        return n;
    }
    try {
        t.retryAfterSeconds = retryAfterOf(t.handle);
        t.refusedCoding = refusedCodingOf(t.handle);
        if (!t.refusedCoding.empty()) {
            return 0;
        }
    } catch (...) {
    }
    return n;
}

// Opens the sockets of libcurl's connections close-on-exec, so that a child
// the host spawns does not inherit an idle gateway connection.
curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address) {
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

bool setBasics(CURL* h, Transfer& t, const char* url, bool verbose, const char* userAgent) {
    Options o(h);
    o.set(CURLOPT_ERRORBUFFER, t.errorBuffer).set(CURLOPT_URL, url).set(CURLOPT_NOSIGNAL, 1L);
    o.set(CURLOPT_VERBOSE, verbose ? 1L : 0L).set(CURLOPT_FOLLOWLOCATION, 0L);
#if LIBCURL_VERSION_NUM >= 0x075500
    o.set(CURLOPT_PROTOCOLS_STR, "http,https").set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    o.set(CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    o.set(CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    if (userAgent != nullptr) {
        o.set(CURLOPT_USERAGENT, userAgent);
    }
    return o.ok();
}

bool setTrust(CURL* h, const RKLibCurlOptions& options) {
    Options o(h);
    o.set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    o.set(CURLOPT_SSL_VERIFYPEER, options.verifyPeer ? 1L : 0L);
    o.set(CURLOPT_SSL_VERIFYHOST, options.verifyHost ? 2L : 0L);
    if (!options.caFile.empty()) {
        o.set(CURLOPT_CAINFO, options.caFile.c_str());
#if LIBCURL_VERSION_NUM >= 0x075700
        // libcurl caches a parsed CA store by file name (24 h by default); a
        // file replaced in place must count from the next connection on.
        o.set(CURLOPT_CA_CACHE_TIMEOUT, 0L);
#endif
    }
    if (!options.pinnedPublicKey.empty()) {
        o.set(CURLOPT_PINNEDPUBLICKEY, options.pinnedPublicKey.c_str());
    }
    // Proxy: only the configured one; environment variables are not read.
    if (options.proxy.empty()) {
        o.set(CURLOPT_PROXY, "").set(CURLOPT_NOPROXY, "*");
    } else {
        o.set(CURLOPT_PROXY, options.proxy.c_str()).set(CURLOPT_NOPROXY, "");
    }
    return o.ok();
}

bool setLimits(CURL* h, const RKLibCurlOptions& options, const AttemptLimits& limits) {
    Options o(h);
    o.set(CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    o.set(CURLOPT_TIMEOUT_MS, limits.timeoutMs);
    if (options.maxResponseBytes < static_cast<unsigned long long>(INT64_MAX)) {
        o.set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxResponseBytes));
    }
    return o.ok();
}

bool setConnection(CURL* h, bool freshConnection) {
    Options o(h);
    o.set(CURLOPT_TCP_KEEPALIVE, 1L).set(CURLOPT_OPENSOCKETFUNCTION, &openSocket);
    o.set(CURLOPT_FRESH_CONNECT, freshConnection ? 1L : 0L);
    // One idle connection per handle: the one a write opened replaces the
    // older one instead of piling up at the gateway.
    o.set(CURLOPT_MAXCONNECTS, 1L);
    // A connection idle for longer is not used again: gateways close idle
    // connections after a few seconds, and a request sent just as the
    // gateway closes one would be lost with it.
    o.set(CURLOPT_MAXAGE_CONN, kMaxIdleSeconds);
    return o.ok();
}

// Called once the connection is ready, just before the request goes out.
int onRequestSent(void* user, char*, char*, int, int) {
    static_cast<Transfer*>(user)->requestSent = true;
    return CURL_PREREQFUNC_OK;
}

bool setCallbacks(CURL* h, Transfer& t, curl_slist* headers) {
    t.handle = h;
    Options o(h);
    o.set(CURLOPT_PREREQFUNCTION, &onRequestSent).set(CURLOPT_PREREQDATA, &t);
    o.set(CURLOPT_WRITEFUNCTION, &onBody).set(CURLOPT_WRITEDATA, &t);
    o.set(CURLOPT_HEADERFUNCTION, &onHeader).set(CURLOPT_HEADERDATA, &t);
    o.set(CURLOPT_HTTPHEADER, headers);
    return o.ok();
}

} // namespace

void HeaderListFree::operator()(curl_slist* list) const noexcept {
    for (curl_slist* node = list; node != nullptr; node = node->next) {
        if (node->data != nullptr) {
            OPENSSL_cleanse(node->data, std::strlen(node->data));
        }
    }
    curl_slist_free_all(list);
}

HeaderList makeHeaderList(const std::string& first, const std::vector<std::string>& headers) {
    HeaderList list;
    auto append = [&list](const char* text) {
        curl_slist* next = curl_slist_append(list.get(), text);
        if (next != nullptr) {
            list.release();
            list.reset(next);
        }
        return next != nullptr;
    };
    bool ok = first.empty() || append(first.c_str());
    for (const std::string& header : headers) {
        ok = ok && append(header.c_str());
    }
    ok = ok && append("Expect:");
    return ok ? std::move(list) : HeaderList();
}

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

void Transfer::startAttempt() {
    body.clear();
    received = 0;
    overCap = false;
    callbackAborted = false;
    retryAfterSeconds = -1;
    requestSent = false;
    answerStarted = false;
    overBudget = false;
    refusedCoding.clear();
    errorBuffer[0] = '\0';
}

std::string Transfer::errorText(CURLcode rc) const {
    if (!refusedCoding.empty()) {
        return "answer refused: transfer coding \"" + refusedCoding +
               "\" (only chunked is accepted)";
    }
    if (overCap || rc == CURLE_FILESIZE_EXCEEDED) {
        return "response larger than the cap of " + std::to_string(options->maxResponseBytes) +
               " bytes";
    }
    if (callbackAborted) {
        return "the write callback refused the response body";
    }
    std::string text = curl_easy_strerror(rc);
    if (errorBuffer[0] != '\0') {
        text += ": ";
        text += errorBuffer;
    }
    return text;
}

bool setUpHandle(CURL* handle, const RKLibCurlOptions& options, Transfer& transfer, const char* url,
                 curl_slist* headers, const AttemptLimits& limits, bool freshConnection,
                 bool verbose, const char* userAgent) {
    curl_easy_reset(handle);
    transfer.options = &options;
    return setBasics(handle, transfer, url, verbose, userAgent) && setTrust(handle, options) &&
           setLimits(handle, options, limits) && setConnection(handle, freshConnection) &&
           setCallbacks(handle, transfer, headers);
}

bool setVerbAndBody(CURL* handle, _http_req_type_ type, const void* body, unsigned long length) {
    static const char kEmpty[] = "";
    const char* data = body != nullptr ? static_cast<const char*>(body) : kEmpty;
    const curl_off_t size = body != nullptr ? static_cast<curl_off_t>(length) : 0;
    Options o(handle);
    const bool sendsBody = type == HTTP_REQ_TYPE_POST || type == HTTP_REQ_TYPE_PUT ||
                           (type == HTTP_REQ_TYPE_DELETE && size > 0);
    if (sendsBody) {
        o.set(CURLOPT_POST, 1L).set(CURLOPT_POSTFIELDSIZE_LARGE, size);
        o.set(CURLOPT_POSTFIELDS, data);
    } else {
        o.set(CURLOPT_HTTPGET, 1L);
    }
    switch (type) {
    case HTTP_REQ_TYPE_GET:
    case HTTP_REQ_TYPE_POST:
        return o.ok();
    case HTTP_REQ_TYPE_PUT:
        return o.set(CURLOPT_CUSTOMREQUEST, "PUT").ok();
    case HTTP_REQ_TYPE_DELETE:
        return o.set(CURLOPT_CUSTOMREQUEST, "DELETE").ok();
    }
    return false;
}

} // namespace host
} // namespace hnasmgmt
