// GETs sent ahead of the requests that take their answers.
//
// The GETs of a batch run on the calling thread through a per-thread multi
// handle, whose connection cache keeps up to kMaxInFlight connections open for
// the thread's next batch (over HTTP/2 one connection carries them all). A
// sliding window bounds what is held: GET i is sent only once answer
// i - window has been visited, so at most `window` bodies exist at a time.
// Retries follow the client's rules, but their back-off is a time at which the
// GET is sent again, not a sleep: the other GETs go on meanwhile. Their lines
// are kept with the answer and written when a request takes it, where the
// request sent one at a time would have written them.

#include "GetBatch.h"

#include <curl/curl.h>
#include <openssl/crypto.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"

namespace hnashost {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kMaxInFlight = 64;
// Room left behind a body for the JSON reader's over-reads.
constexpr size_t kBodyPadding = 64;

long clampLong(long long v, long lo, long hi) {
    return static_cast<long>(std::min<long long>(std::max<long long>(v, lo), hi));
}

// The moment timeoutMs after start; the clock's end when that lies beyond it.
Clock::time_point deadlineAfter(Clock::time_point start, long timeoutMs) {
    const long long room =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - start)
            .count();
    return timeoutMs >= room ? Clock::time_point::max()
                             : start + std::chrono::milliseconds(timeoutMs);
}

long long msUntil(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
}

std::mt19937_64& threadRandom() {
    thread_local std::mt19937_64 rng{
        std::random_device{}() ^
        static_cast<uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    return rng;
}

// Opens the batch's sockets close-on-exec, as the client does.
curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address) {
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// The value of a header line named `name` (lower case, colon included),
// without the blanks around it and the line end.
bool headerValue(const char* data, size_t n, const char* name, std::string& value) {
    const size_t nameLen = std::strlen(name);
    if (n < nameLen)
        return false;
    for (size_t i = 0; i < nameLen; ++i)
        if (std::tolower(static_cast<unsigned char>(data[i])) != name[i])
            return false;
    value.assign(data + nameLen, n - nameLen);
    const size_t first = value.find_first_not_of(" \t");
    const size_t last = value.find_last_not_of(" \t\r\n");
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    return true;
}

// A transfer coding other than chunked in a Transfer-Encoding value, fit for
// an error message (at most 64 bytes, controls and non-ASCII as '?'); empty
// when there is none.
std::string refusedCoding(const std::string& value) {
    std::string lower = value;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (size_t pos = 0; pos <= lower.size();) {
        const size_t end = std::min(lower.find(',', pos), lower.size());
        const size_t first = lower.find_first_not_of(" \t", pos);
        const size_t last = lower.find_last_not_of(" \t", end == 0 ? 0 : end - 1);
        if (first < end && lower.compare(first, last - first + 1, "chunked") != 0) {
            std::string shown = value.substr(0, 64);
            for (char& c : shown)
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                    c = '?';
            return shown;
        }
        pos = end + 1;
    }
    return std::string();
}

// Frees a header list after overwriting its lines (one holds the password).
void freeHeaderList(curl_slist* list) {
    for (curl_slist* node = list; node != nullptr; node = node->next)
        if (node->data != nullptr)
            OPENSSL_cleanse(node->data, std::strlen(node->data));
    curl_slist_free_all(list);
}

// --- the thread's multi handle, its TLS session cache and idle easy handles ---

enum class CacheState : unsigned char { NotYet, Alive, Dead };
thread_local CacheState t_multiState = CacheState::NotYet;

struct MultiCache {
    CURLM* multi = nullptr;
    CURLSH* share = nullptr;
    std::string trust;
    std::vector<CURL*> idle;

    MultiCache() { t_multiState = CacheState::Alive; }
    ~MultiCache() {
        t_multiState = CacheState::Dead;
        close();
    }
    MultiCache(const MultiCache&) = delete;
    MultiCache& operator=(const MultiCache&) = delete;

    // Closes the connections (with the multi handle), then the handles that
    // used the TLS session cache, then the cache.
    void close() {
        if (multi != nullptr)
            curl_multi_cleanup(multi);
        for (CURL* h : idle)
            curl_easy_cleanup(h);
        if (share != nullptr)
            curl_share_cleanup(share);
        multi = nullptr;
        share = nullptr;
        idle.clear();
    }

    // A multi handle whose connections were made under this trust.
    bool open(const std::string& wanted) {
        if (multi != nullptr && trust == wanted)
            return true;
        close();
        trust = wanted;
        multi = curl_multi_init();
        share = curl_share_init();
        if (multi == nullptr || share == nullptr) {
            close();
            return false;
        }
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, static_cast<long>(kMaxInFlight));
        curl_multi_setopt(multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
        return true;
    }

    CURL* takeHandle() {
        if (!idle.empty()) {
            CURL* h = idle.back();
            idle.pop_back();
            return h;
        }
        return curl_easy_init();
    }

    void giveBack(CURL* h) {
        curl_easy_reset(h);
        try {
            idle.push_back(h);
        } catch (...) {
            curl_easy_cleanup(h);
        }
    }
};

// The thread's cache; a batch run while the thread's cache is being destroyed
// gets one of its own (`local`), closed with the batch.
MultiCache& multiCache(std::unique_ptr<MultiCache>& local) {
    if (t_multiState != CacheState::Dead) {
        thread_local MultiCache cache;
        return cache;
    }
    local.reset(new MultiCache());
    return *local;
}

// --- the answer on offer to the visit under way ---

struct Offer {
    const std::string* url;
    const GetBatchSettings* settings;
    FetchedAnswer* answer;
    bool taken;
};
thread_local Offer* t_offer = nullptr;

// Offers an answer for the life of the object (a visit); restores the offer of
// an enclosing batch afterwards.
class OfferScope {
public:
    explicit OfferScope(Offer& offer) : previous_(t_offer) { t_offer = &offer; }
    ~OfferScope() { t_offer = previous_; }
    OfferScope(const OfferScope&) = delete;
    OfferScope& operator=(const OfferScope&) = delete;

private:
    Offer* previous_;
};

// --- one GET of the batch ---

struct Transfer {
    const GetBatchSettings& settings;
    size_t index;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    int attempt = 0;
    long requestTimeoutMs = 1;
    Clock::time_point deadline;
    Clock::time_point retryAt;
    bool inMulti = false;

    // the current attempt
    unsigned long long received = 0;
    bool overCap = false;
    long retryAfterSeconds = -1;
    std::string refusedCoding; // a transfer coding other than chunked, as answered
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    FetchedAnswer answer;

    Transfer(const GetBatchSettings& s, size_t i) : settings(s), index(i) {}

    static size_t onBody(char* data, size_t size, size_t count, void* user) {
        Transfer* self = static_cast<Transfer*>(user);
        const size_t n = size * count;
        try {
            if (self->received + n > self->settings.options.maxResponseBytes) {
                self->overCap = true;
                return 0; // fail the exchange; never truncate silently
            }
            self->received += n;
            if (self->answer.body.empty())
                self->reserveForBody();
            self->answer.body.append(data, n);
            return n;
        } catch (...) {
            return 0;
        }
    }

    void reserveForBody() {
        curl_off_t announced = -1;
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0 &&
            static_cast<unsigned long long>(announced) <= settings.options.maxResponseBytes) {
            try {
                answer.body.reserve(static_cast<size_t>(announced) + kBodyPadding);
            } catch (...) {
                // Without the room the body still arrives, piece by piece.
            }
        }
    }

    // Reads Retry-After, and refuses a transfer coding other than chunked
    // before any body byte is decoded (returning short aborts the exchange).
    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        Transfer* self = static_cast<Transfer*>(user);
        const size_t n = size * count;
        try {
            std::string value;
            if (n >= 5 && std::strncmp(data, "HTTP/", 5) == 0) {
                self->retryAfterSeconds = -1; // a new header block
            } else if (headerValue(data, n, "retry-after:", value)) {
                long seconds = -1; // the HTTP-date form is ignored
                if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0]))) {
                    seconds = 0;
                    for (size_t i = 0;
                         i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])) &&
                         seconds < 1000000;
                         ++i)
                        seconds = seconds * 10 + (value[i] - '0');
                }
                self->retryAfterSeconds = seconds;
            } else if (headerValue(data, n, "transfer-encoding:", value)) {
                self->refusedCoding = hnashost::refusedCoding(value);
                if (!self->refusedCoding.empty())
                    return 0;
            }
        } catch (...) {
        }
        return n;
    }

    // The handle's options for one attempt: those the client sets on a GET.
    bool configure(const std::string& url, CURLSH* share, long timeoutMs, long connectMs) {
        const RKLibCurlOptions& o = settings.options;
        CURL* h = easy;
        curl_easy_reset(h);
        errorBuffer[0] = '\0';
        bool ok = true;
        auto set = [&ok](CURLcode rc) { ok = ok && rc == CURLE_OK; };
        set(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer));
        set(curl_easy_setopt(h, CURLOPT_URL, url.c_str()));
        set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L));
        set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)));
        set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, o.verifyPeer ? 1L : 0L));
        set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, o.verifyHost ? 2L : 0L));
        if (!o.caFile.empty()) {
            set(curl_easy_setopt(h, CURLOPT_CAINFO, o.caFile.c_str()));
            set(curl_easy_setopt(h, CURLOPT_CA_CACHE_TIMEOUT, 0L));
        }
        if (!o.pinnedPublicKey.empty())
            set(curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, o.pinnedPublicKey.c_str()));
        set(curl_easy_setopt(h, CURLOPT_PROXY, o.proxy.c_str()));
        set(curl_easy_setopt(h, CURLOPT_NOPROXY, o.proxy.empty() ? "*" : ""));
        set(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectMs));
        set(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs));
        if (o.maxResponseBytes < static_cast<unsigned long long>(INT64_MAX))
            set(curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                                 static_cast<curl_off_t>(o.maxResponseBytes)));
        set(curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L));
        set(curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &openSocket));
        set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::onBody));
        set(curl_easy_setopt(h, CURLOPT_WRITEDATA, this));
        set(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::onHeader));
        set(curl_easy_setopt(h, CURLOPT_HEADERDATA, this));
        set(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList));
        set(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
        // The batch's own: many GETs to one gateway share its connections.
        set(curl_easy_setopt(h, CURLOPT_SHARE, share));
        set(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS)));
        set(curl_easy_setopt(h, CURLOPT_PIPEWAIT, 1L));
        return ok;
    }

    // The client's header list: the Init header, the appended ones, no "Expect:".
    bool buildHeaderList() {
        auto append = [this](const char* text) {
            curl_slist* next = curl_slist_append(headerList, text);
            if (next != nullptr)
                headerList = next;
            return next != nullptr;
        };
        bool ok = settings.initHeader.empty() || append(settings.initHeader.c_str());
        for (const std::string& h : settings.headers)
            ok = ok && append(h.c_str());
        return ok && append("Expect:");
    }

    ~Transfer() { freeHeaderList(headerList); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Why this attempt's failure may be repeated; empty when it may not.
    std::string retryReason(CURLcode rc, long code) const {
        if (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST ||
            rc == CURLE_COULDNT_RESOLVE_PROXY)
            return std::string("connection could not be made (") + curl_easy_strerror(rc) + ")";
        if (rc == CURLE_OK && (code == 429 || code == 502 || code == 503 || code == 504))
            return "HTTP status " + std::to_string(code);
        return std::string();
    }

    long retryDelayMs() {
        const RKLibCurlOptions& o = settings.options;
        if (retryAfterSeconds >= 0)
            return clampLong(static_cast<long long>(retryAfterSeconds) * 1000, 0,
                             std::max(0L, o.retryMaxDelayMs));
        long long base = std::max(0L, o.retryFirstDelayMs);
        for (int i = 0; i < attempt && base < o.retryMaxDelayMs; ++i)
            base *= 2;
        base = std::min<long long>(base, std::max(0L, o.retryMaxDelayMs));
        const long long half = base / 2; // jitter: a random delay in [base/2, base]
        std::uniform_int_distribution<long long> dist(0, base - half);
        return clampLong(half + dist(threadRandom()), 0, LONG_MAX);
    }

    // Judges a finished attempt. True when the GET is done (its answer is
    // final); false when it is to be sent again at `retryAt`.
    bool finish(CURLcode rc) {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        const std::string reason = retryReason(rc, code);
        if (!reason.empty() && attempt < std::max(0, settings.options.maxRetries)) {
            const long delayMs = retryDelayMs();
            char line[512];
            if (msUntil(deadline) <= delayMs) {
                std::snprintf(line, sizeof line,
                              "Not retrying GET request: %s; the request time-out of %ld ms "
                              "leaves no room for another attempt.",
                              reason.c_str(), requestTimeoutMs);
                answer.lines.emplace_back(line);
            } else {
                ++attempt;
                std::snprintf(line, sizeof line,
                              "Retrying GET request (retry %d of %d) in %ld ms: %s.", attempt,
                              settings.options.maxRetries, delayMs, reason.c_str());
                answer.lines.emplace_back(line);
                retryAt = Clock::now() + std::chrono::milliseconds(delayMs);
                return false;
            }
        }
        answer.httpCode = code;
        answer.sent = false;
        if (rc != CURLE_OK) {
            if (!refusedCoding.empty()) {
                answer.lastError = "answer refused: transfer coding \"" + refusedCoding +
                                   "\" (only chunked is accepted)";
            } else if (overCap || rc == CURLE_FILESIZE_EXCEEDED) {
                answer.lastError = "response larger than the cap of " +
                                   std::to_string(settings.options.maxResponseBytes) + " bytes";
            } else {
                answer.lastError = curl_easy_strerror(rc);
                if (errorBuffer[0] != '\0') {
                    answer.lastError += ": ";
                    answer.lastError += errorBuffer;
                }
            }
            answer.httpCode = 0; // an exchange that did not complete has no answer
            answer.body.clear();
            answer.body.shrink_to_fit();
        } else if (code >= 400) {
            answer.lastError = "HTTP status " + std::to_string(code);
        } else {
            answer.sent = true;
        }
        return true;
    }
};

// --- the batch ---

class Batch {
public:
    Batch(const GetBatchSettings& settings, const std::vector<std::string>& urls, unsigned window,
          MultiCache& cache)
        : settings_(settings), urls_(urls), window_(window), cache_(cache), ring_(window),
          done_(window, false) {}

    ~Batch() {
        for (std::unique_ptr<Transfer>& t : ring_)
            if (t)
                release(*t);
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Visits every index in order. Only `visit` may throw out of here: a
    // failure of the batch itself (no memory) leaves the remaining visits to
    // the network.
    void run(const std::function<void(std::size_t)>& visit) {
        const size_t n = urls_.size();
        size_t started = 0;
        bool broken = false;
        for (size_t next = 0; next < n;) {
            const size_t slot = next % window_;
            if (!broken) {
                try {
                    for (; started < n && started < next + window_; ++started)
                        start(started);
                    if (ring_[slot] && !done_[slot]) {
                        drive(slot);
                        continue;
                    }
                } catch (...) {
                    broken = true;
                }
            }
            std::unique_ptr<Transfer> t = std::move(ring_[slot]);
            const bool answered = t && done_[slot];
            done_[slot] = false;
            if (t)
                release(*t);
            if (answered) {
                Offer offer{&urls_[next], &settings_, &t->answer, false};
                OfferScope scope(offer);
                visit(next);
            } else {
                visit(next);
            }
            ++next;
        }
    }

private:
    void start(size_t i) {
        if (urls_[i].empty())
            return; // not sent; its visit goes to the network as usual
        std::unique_ptr<Transfer> t(new Transfer(settings_, i));
        t->requestTimeoutMs = std::max(1L, settings_.options.requestTimeoutMs);
        t->deadline = deadlineAfter(Clock::now(), t->requestTimeoutMs);
        t->easy = cache_.takeHandle();
        if (t->easy == nullptr || !t->buildHeaderList() || !send(*t)) {
            release(*t);
            return; // left to the visit: it goes to the network as usual
        }
        ring_[i % window_] = std::move(t);
    }

    // Sends an attempt; false when the handle could not be set up or added.
    bool send(Transfer& t) {
        const long timeoutMs = clampLong(msUntil(t.deadline), 1, t.requestTimeoutMs);
        const long connectMs =
            std::min(timeoutMs, std::max(1L, settings_.options.connectTimeoutMs));
        t.received = 0;
        t.overCap = false;
        t.retryAfterSeconds = -1;
        t.refusedCoding.clear();
        t.answer.body.clear();
        if (!t.configure(urls_[t.index], cache_.share, timeoutMs, connectMs))
            return false;
        curl_easy_setopt(t.easy, CURLOPT_PRIVATE, static_cast<void*>(&t));
        if (curl_multi_add_handle(cache_.multi, t.easy) != CURLM_OK)
            return false;
        t.inMulti = true;
        return true;
    }

    // Takes the handle back from the multi handle and into the cache.
    void release(Transfer& t) {
        if (t.easy == nullptr)
            return;
        if (t.inMulti)
            curl_multi_remove_handle(cache_.multi, t.easy);
        t.inMulti = false;
        cache_.giveBack(t.easy);
        t.easy = nullptr;
    }

    // Moves the transfers on: reads what arrived, judges finished attempts,
    // sends due retries, and waits for the network or the next retry unless
    // the answer in `awaited` (the next to visit) is final.
    void drive(size_t awaited) {
        int running = 0;
        curl_multi_perform(cache_.multi, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(cache_.multi, &queued)) {
            if (msg->msg != CURLMSG_DONE)
                continue;
            void* priv = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &priv);
            Transfer& t = *static_cast<Transfer*>(priv);
            const CURLcode rc = msg->data.result;
            curl_multi_remove_handle(cache_.multi, t.easy);
            t.inMulti = false;
            if (t.finish(rc))
                done_[t.index % window_] = true;
        }
        long long waitMs = 1000;
        for (size_t slot = 0; slot < window_; ++slot) {
            Transfer* t = ring_[slot].get();
            if (t == nullptr || t->inMulti || done_[slot])
                continue;
            const long long due = msUntil(t->retryAt);
            if (due > 0) {
                waitMs = std::min(waitMs, due);
            } else if (!send(*t)) {
                t->answer.sent = false; // the retry could not be sent
                t->answer.httpCode = 0;
                t->answer.body.clear();
                t->answer.lastError = "could not set the request options";
                done_[slot] = true;
            }
        }
        if (!done_[awaited])
            curl_multi_poll(cache_.multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
    }

    const GetBatchSettings& settings_;
    const std::vector<std::string>& urls_;
    const size_t window_;
    MultiCache& cache_;
    std::vector<std::unique_ptr<Transfer>> ring_; // GET i in slot i % window
    std::vector<bool> done_;                      // the slot's answer is final
};

} // namespace

bool sendGetsAhead(const GetBatchSettings& settings, const std::vector<std::string>& urls,
                   unsigned window, const std::function<void(std::size_t)>& visit) {
    window = std::min(window, kMaxInFlight);
    std::unique_ptr<MultiCache> local;
    std::unique_ptr<Batch> batch;
    if (window > 1 && urls.size() > 1) {
        try {
            MultiCache& cache = multiCache(local);
            if (cache.open(settings.trust))
                batch.reset(new Batch(settings, urls, window, cache));
        } catch (...) {
            // No memory: the visits go to the network as usual.
        }
    }
    if (batch) {
        batch->run(visit);
        return true;
    }
    for (std::size_t i = 0; i < urls.size(); ++i)
        visit(i);
    return false;
}

bool takeFetchedAnswer(const char* url, const std::string& initHeader,
                       const std::vector<std::string>& headers, const std::string& trust,
                       FetchedAnswer& out) {
    Offer* offer = t_offer;
    if (offer == nullptr || offer->taken || url == nullptr || *offer->url != url ||
        offer->settings->trust != trust || offer->settings->initHeader != initHeader ||
        offer->settings->headers != headers)
        return false;
    offer->taken = true;
    out = std::move(*offer->answer);
    return true;
}

} // namespace hnashost
