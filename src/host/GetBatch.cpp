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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <utility>

#include "HandleSetup.h"
#include "RetryPolicy.h"

namespace hnasmgmt {
namespace host {
namespace {

constexpr unsigned kMaxInFlight = 64;

// --- the thread's multi handle, its TLS session cache and idle easy handles ---

enum class CacheState : unsigned char { NotYet, Alive, Dead };
thread_local CacheState t_multiState = CacheState::NotYet;

struct MultiCache {
    CURLM* multi = nullptr;
    CURLSH* share = nullptr;
    TrustStamp trust;
    std::vector<CURL*> idle;
    const bool thread_;

    // `thread` marks the thread's own cache, whose end the thread state records.
    explicit MultiCache(bool thread) : thread_(thread) {
        if (thread_)
            t_multiState = CacheState::Alive;
    }
    ~MultiCache() {
        if (thread_)
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
    bool open(const TrustStamp& wanted) {
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
        thread_local MultiCache cache(true);
        return cache;
    }
    local.reset(new MultiCache(false));
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

struct Fetch {
    const GetBatchSettings& settings;
    size_t index;
    CURL* easy = nullptr;
    HeaderList headers;
    int attempt = 0;
    Clock::time_point deadline;
    Clock::time_point retryAt;
    bool inMulti = false;
    Transfer transfer; // what the handle's callbacks collect of the current attempt
    FetchedAnswer answer;

    Fetch(const GetBatchSettings& s, size_t i) : settings(s), index(i) {}

    const RKLibCurlOptions& options() const { return settings.client.options; }

    // The handle's options for one attempt: those of the client's GET, then
    // the batch's own (many GETs to one gateway share its connections).
    bool configure(const std::string& url, CURLSH* share) {
        CURL* h = easy;
        transfer.startAttempt();
        if (!setUpHandle(h, options(), transfer, url.c_str(), headers.get(),
                         limitsBefore(deadline, options()), false, false, nullptr) ||
            !setVerbAndBody(h, HTTP_REQ_TYPE_GET, nullptr, 0))
            return false;
        return curl_easy_setopt(h, CURLOPT_SHARE, share) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_HTTP_VERSION,
                                static_cast<long>(CURL_HTTP_VERSION_2TLS)) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_PIPEWAIT, 1L) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_PRIVATE, static_cast<void*>(this)) == CURLE_OK;
    }

    // Judges a finished attempt as the client does. True when the GET is done
    // (its answer is final); false when it is to be sent again at `retryAt`.
    bool finish(CURLcode rc) {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        const std::string reason = retryReason(rc, code, true);
        if (!reason.empty() && attempt < std::max(0, options().maxRetries)) {
            const long delayMs = retryDelayMs(options(), attempt, transfer.retryAfterSeconds);
            char line[512];
            if (msLeft(deadline) <= delayMs) {
                std::snprintf(line, sizeof line,
                              "Not retrying GET request: %s; the request time-out of %ld ms "
                              "leaves no room for another attempt.",
                              reason.c_str(), requestTimeoutMs(options()));
                answer.lines.emplace_back(line);
            } else {
                ++attempt;
                std::snprintf(line, sizeof line,
                              "Retrying GET request (retry %d of %d) in %ld ms: %s.", attempt,
                              options().maxRetries, delayMs, reason.c_str());
                answer.lines.emplace_back(line);
                retryAt = Clock::now() + std::chrono::milliseconds(delayMs);
                return false;
            }
        }
        answer.sent = rc == CURLE_OK && code < 400;
        answer.httpCode = rc == CURLE_OK ? code : 0; // no answer to an exchange cut short
        if (rc != CURLE_OK)
            answer.lastError = transfer.errorText(rc);
        else if (code >= 400)
            answer.lastError = "HTTP status " + std::to_string(code);
        if (rc == CURLE_OK)
            answer.body = std::move(transfer.body);
        transfer.body = std::string();
        return true;
    }

    // The answer when a retry could not be sent again.
    void failRetry() {
        answer.sent = false;
        answer.httpCode = 0;
        answer.body.clear();
        answer.lastError = "could not set the request options";
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
        for (std::unique_ptr<Fetch>& t : ring_)
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
            std::unique_ptr<Fetch> t = std::move(ring_[slot]);
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
        std::unique_ptr<Fetch> t(new Fetch(settings_, i));
        t->deadline = deadlineAfter(Clock::now(), requestTimeoutMs(settings_.client.options));
        t->headers = makeHeaderList(settings_.initHeader, settings_.headers);
        t->easy = cache_.takeHandle();
        if (t->easy == nullptr || !t->headers || !send(*t)) {
            release(*t);
            return; // left to the visit: it goes to the network as usual
        }
        ring_[i % window_] = std::move(t);
    }

    // Sends an attempt; false when the handle could not be set up or added.
    bool send(Fetch& t) {
        if (!t.configure(urls_[t.index], cache_.share) ||
            curl_multi_add_handle(cache_.multi, t.easy) != CURLM_OK)
            return false;
        t.inMulti = true;
        return true;
    }

    // Takes the handle back from the multi handle and into the cache.
    void release(Fetch& t) {
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
            Fetch& t = *static_cast<Fetch*>(priv);
            const CURLcode rc = msg->data.result;
            curl_multi_remove_handle(cache_.multi, t.easy);
            t.inMulti = false;
            if (t.finish(rc))
                done_[t.index % window_] = true;
        }
        long long waitMs = 1000;
        for (size_t slot = 0; slot < window_; ++slot) {
            Fetch* t = ring_[slot].get();
            if (t == nullptr || t->inMulti || done_[slot])
                continue;
            const long long due = msLeft(t->retryAt);
            if (due > 0) {
                waitMs = std::min(waitMs, due);
            } else if (!send(*t)) {
                t->failRetry();
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
    std::vector<std::unique_ptr<Fetch>> ring_; // GET i in slot i % window
    std::vector<bool> done_;                   // the slot's answer is final
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
            if (cache.open(settings.client.trust))
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
                       const std::vector<std::string>& headers, const TrustStamp& trust,
                       FetchedAnswer& out) {
    Offer* offer = t_offer;
    if (offer == nullptr || offer->taken || url == nullptr || *offer->url != url ||
        !(offer->settings->client.trust == trust) || offer->settings->initHeader != initHeader ||
        offer->settings->headers != headers)
        return false;
    offer->taken = true;
    out = std::move(*offer->answer);
    return true;
}

} // namespace host
} // namespace hnasmgmt
