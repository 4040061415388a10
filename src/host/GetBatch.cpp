// GETs sent ahead for a walk, on the calling thread, through a multi handle
// of the batch's own (its connections close with it).
//
// The number of GETs in flight (the window) follows the gateway: it starts
// at 2, grows by one with each answer that came within a quarter of the
// request time-out, up to the caller's limit, and halves (once per round of
// sends) when a GET ends without any answer, on 429 and 503, and when an
// answer took more than half the time-out. A connection that stays in its
// handshake while other GETs are answered marks how many connections the
// gateway serves at once: the window stays at or below that from then on.
// TLS sessions are resumed from the thread's earlier walks.
//
// A GET that ended without any answer is not judged by that attempt: it is
// sent again. When it fails so a second time the batch stops sending, lets
// what is in flight finish, closes its connections and gives that GET and
// every GET not yet answered back to the caller, who sends them one at a time
// as it would without a batch. The same happens, without waiting, when the
// trust in force moves.
//
// Retries of busy answers follow the client's retry policy; their back-off is
// a time at which the GET is sent again, not a sleep, and their lines go with
// the answer, to be written where the GET sent alone would have written them.

#include "GetBatch.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <utility>

#include "HandleSetup.h"
#include "Outcome.h"
#include "RetryPolicy.h"

namespace hnasmgmt {
namespace host {
namespace {

constexpr unsigned kMaxInFlight = 64;
constexpr unsigned kFirstWindow = 2;
// The most bytes of answers held ahead of the one awaited.
constexpr unsigned long long kMaxBytesAhead = 64ULL << 20;
// A handshake longer than this, and than kStallFactor times the longest one
// that completed, while other GETs were answered, is taken as stalled.
constexpr long long kStallFloorMs = 2000;
constexpr long long kStallFactor = 4;

enum class State {
    Queued,   // to be sent (first time, again, or a due retry)
    InFlight, // on the network
    Backoff,  // to be sent again at retryAt
    Done,     // its answer is final
    Caller,   // the caller sends it itself
    Taken,    // handed over or dropped
};

struct Item {
    State state = State::Queued;
    bool fresh = false;     // the next send opens a new connection
    bool waitTurn = false;  // refused for the budget: sent again once awaited
    bool connected = false; // seen past its handshake (counted in connectedNow_)
    int retries = 0;        // retries made by the retry policy
    int lostAttempts = 0;   // attempts that ended without any answer
    unsigned epoch = 0;     // the window's round when sent
    Clock::time_point deadline;
    Clock::time_point sentAt;
    Clock::time_point retryAt;
    CURL* easy = nullptr;
    std::unique_ptr<Transfer> transfer;
    RKLibCurlResult result;
};

} // namespace
} // namespace host
} // namespace hnasmgmt

using namespace hnasmgmt::host;

struct __attribute__((visibility("hidden"))) RKLibCurlGets::Impl {
    Impl(const GetBatchSettings& s, const std::vector<std::string>& urls, unsigned cap);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    bool open();
    bool take(std::size_t index, RKLibCurlResult& out);

private:
    // --- sending ---
    void startSends();
    bool nextToSend(std::size_t& index) const;
    bool send(std::size_t index);
    // --- progress ---
    void pump(std::size_t awaited);
    void collect();
    void finished(std::size_t index, CURLcode rc);
    void detach(Item& item);
    void dropHeld(Transfer& t);
    void unanswered(std::size_t index, const AttemptOutcome& outcome);
    bool retried(Item& item, CURLcode rc, const AttemptOutcome& outcome);
    void complete(std::size_t index, const AttemptOutcome& outcome);
    void checkStalls();
    void noteConnected(Item& item, Clock::time_point now);
    void dueRetries();
    long waitMs() const;
    // --- the window ---
    void answered(const Item& item);
    void narrow(const Item& item, bool stalled);
    // --- giving up ---
    void handBack();
    void trustMoved();
    void abandon(Item& item);
    void closeConnections();
    void release(Item& item);

    ClientSettings settings_;
    std::string initHeader_;
    std::vector<std::string> headers_;
    std::vector<std::string> urls_;
    std::vector<Item> items_;
    HeaderList headerList_;
    CURLM* multi_ = nullptr;
    CURLSH* share_ = nullptr;
    bool ownShare_ = false;
    std::vector<CURL*> idle_;
    HeldBytes held_;

    unsigned cap_;
    unsigned window_;
    unsigned ceiling_;
    unsigned epoch_ = 0;
    unsigned inFlight_ = 0;
    unsigned connectedNow_ = 0;
    unsigned peakConnected_ = 0;
    long long longestHandshakeMs_ = 0;
    unsigned long long largestAnswer_ = 0;
    Clock::time_point lastAnswerAt_;
    std::size_t nextFresh_ = 0;     // the first index never sent
    std::set<std::size_t> resends_; // queued again (lowest first)
    bool stopping_ = false;         // nothing more is sent
};

RKLibCurlGets::Impl::Impl(const GetBatchSettings& s, const std::vector<std::string>& urls,
                          unsigned cap)
    : settings_(s.client), initHeader_(s.initHeader), headers_(s.headers), urls_(urls),
      items_(urls.size()), cap_(std::min(std::max(cap, 1u), kMaxInFlight)),
      window_(std::min(kFirstWindow, cap_)), ceiling_(cap_) {
    held_.limit = std::min<unsigned long long>(
        std::max<unsigned long long>(settings_.options.maxResponseBytes, 1), kMaxBytesAhead);
    for (std::size_t i = 0; i < urls_.size(); ++i) {
        if (urls_[i].empty()) {
            items_[i].state = State::Caller; // not sent ahead: its request goes itself
        }
    }
    while (nextFresh_ < items_.size() && items_[nextFresh_].state != State::Queued) {
        ++nextFresh_;
    }
}

RKLibCurlGets::Impl::~Impl() {
    for (Item& item : items_) {
        release(item);
    }
    closeConnections();
    wipe(headers_);
    wipe(initHeader_);
}

bool RKLibCurlGets::Impl::open() {
    headerList_ = makeHeaderList(initHeader_, headers_);
    multi_ = curl_multi_init();
    share_ = threadSessionCache(settings_.trust);
    if (share_ == nullptr) {
        share_ = curl_share_init();
        ownShare_ = share_ != nullptr;
        if (ownShare_) {
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        }
    }
    if (!headerList_ || multi_ == nullptr || share_ == nullptr) {
        return false;
    }
    curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, static_cast<long>(cap_));
    curl_multi_setopt(multi_, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
    return true;
}

// Closes every connection of the batch, then the handles that used the TLS
// session cache, then the cache when it is the batch's own (the thread's
// stays for the next walk).
void RKLibCurlGets::Impl::closeConnections() {
    if (multi_ != nullptr) {
        curl_multi_cleanup(multi_);
    }
    for (CURL* h : idle_) {
        curl_easy_cleanup(h);
    }
    idle_.clear();
    if (share_ != nullptr && ownShare_) {
        curl_share_cleanup(share_);
    }
    multi_ = nullptr;
    share_ = nullptr;
    ownShare_ = false;
}

// Takes the item's handle out of the multi handle (ending its transfer) and
// keeps it for the next send.
void RKLibCurlGets::Impl::release(Item& item) {
    if (item.easy == nullptr) {
        if (item.state == State::Taken || item.state == State::Caller) {
            item.transfer.reset();
        }
        return;
    }
    if (item.state == State::InFlight) {
        if (multi_ != nullptr) {
            curl_multi_remove_handle(multi_, item.easy);
        }
        --inFlight_;
        if (item.connected) {
            --connectedNow_;
        }
        item.connected = false;
    }
    if (item.transfer) {
        dropHeld(*item.transfer);
    }
    curl_easy_reset(item.easy);
    try {
        idle_.push_back(item.easy);
    } catch (...) {
        curl_easy_cleanup(item.easy);
    }
    item.easy = nullptr;
    if (item.state == State::Taken || item.state == State::Caller) {
        item.transfer.reset();
    }
}

// --- sending ---

// The lowest index waiting to be sent: sent again, or never sent yet.
bool RKLibCurlGets::Impl::nextToSend(std::size_t& index) const {
    const bool fresh = nextFresh_ < items_.size();
    if (resends_.empty()) {
        index = nextFresh_;
        return fresh;
    }
    index = fresh ? std::min(*resends_.begin(), nextFresh_) : *resends_.begin();
    return true;
}

void RKLibCurlGets::Impl::startSends() {
    std::size_t index = 0;
    while (!stopping_ && inFlight_ < window_ && nextToSend(index)) {
        Item& item = items_[index];
        const bool awaited = index == held_.awaited;
        // Answers are held for at most cap_ GETs ahead, and within the budget:
        // a GET ahead starts only when the answers under way would fit too,
        // each counted at the size of the largest seen so far.
        const unsigned long long underWay = (inFlight_ + 1ULL) * largestAnswer_;
        if (index >= held_.awaited + cap_ ||
            (!awaited && (held_.held >= held_.limit || underWay > held_.limit - held_.held)) ||
            (!awaited && item.waitTurn)) {
            return;
        }
        // Nothing more goes out under a trust that is no longer in force.
        if (!(currentSettings().trust == settings_.trust)) {
            trustMoved();
            return;
        }
        if (index == nextFresh_) {
            ++nextFresh_;
            while (nextFresh_ < items_.size() && items_[nextFresh_].state != State::Queued) {
                ++nextFresh_;
            }
        } else {
            resends_.erase(resends_.begin());
        }
        if (!send(index)) {
            item.state = State::Caller; // left to the caller's own request
        }
    }
}

bool RKLibCurlGets::Impl::send(std::size_t index) {
    Item& item = items_[index];
    if (item.easy == nullptr) {
        if (!idle_.empty()) {
            item.easy = idle_.back();
            idle_.pop_back();
        } else {
            item.easy = curl_easy_init();
        }
        if (item.easy == nullptr) {
            return false;
        }
    }
    if (!item.transfer) {
        item.transfer.reset(new Transfer);
    }
    Transfer& t = *item.transfer;
    t.keepResponse = true;
    t.callback = nullptr;
    t.held = &held_;
    t.index = index;
    t.startAttempt();
    const Clock::time_point now = Clock::now();
    if (item.retries == 0) {
        // Each GET's time-out counts from its own send (a retry keeps it).
        item.deadline = deadlineAfter(now, requestTimeoutMs(settings_.options));
    }
    CURL* h = item.easy;
    const bool ready =
        setUpHandle(h, settings_.options, t, urls_[index].c_str(), headerList_.get(),
                    limitsBefore(item.deadline, settings_.options), item.fresh, false, nullptr) &&
        setVerbAndBody(h, HTTP_REQ_TYPE_GET, nullptr, 0) &&
        curl_easy_setopt(h, CURLOPT_SHARE, share_) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS)) ==
            CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_PIPEWAIT, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_PRIVATE, reinterpret_cast<void*>(index + 1)) == CURLE_OK &&
        curl_multi_add_handle(multi_, h) == CURLM_OK;
    if (!ready) {
        curl_easy_reset(h);
        idle_.push_back(h);
        item.easy = nullptr;
        return false;
    }
    item.state = State::InFlight;
    item.epoch = epoch_;
    item.sentAt = now;
    item.fresh = false;
    ++inFlight_;
    return true;
}

// --- progress ---

void RKLibCurlGets::Impl::pump(std::size_t awaited) {
    if (multi_ == nullptr) {
        return;
    }
    startSends();
    int running = 0;
    curl_multi_perform(multi_, &running);
    collect();
    checkStalls();
    dueRetries();
    startSends();
    if (items_[awaited].state != State::Done && multi_ != nullptr) {
        curl_multi_poll(multi_, nullptr, 0, static_cast<int>(waitMs()), nullptr);
    }
}

void RKLibCurlGets::Impl::collect() {
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
        if (msg->msg != CURLMSG_DONE) {
            continue;
        }
        void* priv = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &priv);
        const std::size_t index = reinterpret_cast<std::size_t>(priv) - 1;
        finished(index, msg->data.result);
    }
}

// A GET whose attempt ended: sent again (refused for the budget, no answer, a
// retry), handed back to the caller, or done with its answer.
void RKLibCurlGets::Impl::finished(std::size_t index, CURLcode rc) {
    Item& item = items_[index];
    Transfer& t = *item.transfer;
    const AttemptOutcome outcome = readOutcome(item.easy, rc, t);
    detach(item);
    if (t.overBudget) {
        // Refused to stay within the budget: sent again once it is awaited.
        dropHeld(t);
        item.waitTurn = true;
        resends_.insert(index);
        return;
    }
    if (outcome.noAnswer) {
        unanswered(index, outcome);
        return;
    }
    if (!retried(item, rc, outcome)) {
        complete(index, outcome);
    }
}

// Takes a finished GET's handle out of the multi handle and counts it out of
// those in flight.
void RKLibCurlGets::Impl::detach(Item& item) {
    curl_multi_remove_handle(multi_, item.easy);
    noteConnected(item, Clock::now());
    item.state = State::Queued;
    --inFlight_;
    if (item.connected) {
        --connectedNow_;
    }
    item.connected = false;
}

// Gives back to the budget the bytes of an answer that is not kept.
void RKLibCurlGets::Impl::dropHeld(Transfer& t) {
    held_.held -= std::min(held_.held, t.received);
    t.received = 0;
}

// A GET that got no answer: a new attempt, with a time-out of its own; after
// the second such attempt (or once the batch stops) it is the caller's.
void RKLibCurlGets::Impl::unanswered(std::size_t index, const AttemptOutcome& outcome) {
    Item& item = items_[index];
    dropHeld(*item.transfer);
    narrow(item, outcome.connectPhase);
    if (++item.lostAttempts >= 2 || stopping_) {
        item.state = State::Caller;
        handBack();
        return;
    }
    item.retries = 0;
    item.fresh = outcome.reusedConnection;
    resends_.insert(index);
}

// Judges an answered attempt by the retry rule, and moves the window by the
// answer; true when the GET is to be sent again (after its back-off, or by
// the caller once the batch stops).
bool RKLibCurlGets::Impl::retried(Item& item, CURLcode rc, const AttemptOutcome& outcome) {
    Transfer& t = *item.transfer;
    const RetryPolicy policy(settings_.options, item.deadline);
    const RetryPolicy::Verdict verdict =
        policy.afterAttempt("GET", item.retries, rc, outcome.status, t.retryAfterSeconds);
    if (!verdict.line.empty()) {
        item.result.retryLines.push_back(verdict.line);
    }
    if (outcome.status == 429 || outcome.status == 503) {
        narrow(item, false); // the gateway says it is busy
    } else if (outcome.status > 0) {
        answered(item);
    }
    if (!verdict.again) {
        return false;
    }
    dropHeld(t);
    if (stopping_) {
        // Its retries are the caller's now, with their lines.
        item.result = RKLibCurlResult();
        item.state = State::Caller;
        return true;
    }
    ++item.retries;
    item.state = State::Backoff;
    item.retryAt = Clock::now() + std::chrono::milliseconds(verdict.delayMs);
    return true;
}

// The GET's last attempt: its result, and its body held until it is taken.
void RKLibCurlGets::Impl::complete(std::size_t index, const AttemptOutcome& outcome) {
    Item& item = items_[index];
    Transfer& t = *item.transfer;
    item.result.url = urls_[index];
    describeOutcome(outcome, t, item.result);
    if (outcome.status == 0) {
        dropHeld(t);
        t.body.clear();
    }
    largestAnswer_ = std::max<unsigned long long>(largestAnswer_, t.body.size());
    item.result.body = std::move(t.body);
    t.body = std::string();
    t.received = 0; // now counted as the held body
    item.state = State::Done;
}

// A connection that stays in its handshake while other GETs are answered:
// the gateway serves no more connections than it has now.
void RKLibCurlGets::Impl::checkStalls() {
    const Clock::time_point now = Clock::now();
    const long long limitMs = std::max(kStallFloorMs, kStallFactor * longestHandshakeMs_);
    for (std::size_t i = held_.awaited; i < items_.size() && i < held_.awaited + cap_; ++i) {
        Item& item = items_[i];
        if (item.state != State::InFlight || !item.transfer) {
            continue;
        }
        Transfer& t = *item.transfer;
        if (t.requestSent) {
            noteConnected(item, now);
            continue;
        }
        const long long age =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - item.sentAt).count();
        if (age > limitMs && lastAnswerAt_ > item.sentAt) {
            release(item);
            item.state = State::Queued;
            narrow(item, true);
            if (++item.lostAttempts >= 2 || stopping_) {
                item.state = State::Caller;
                handBack();
                continue;
            }
            item.retries = 0;
            resends_.insert(i);
        }
    }
}

// Counts a GET past its handshake once: the handshake's length, and the
// connections up at once.
void RKLibCurlGets::Impl::noteConnected(Item& item, Clock::time_point now) {
    if (item.connected || !item.transfer || !item.transfer->requestSent) {
        return;
    }
    item.connected = true;
    longestHandshakeMs_ = std::max<long long>(
        longestHandshakeMs_,
        std::chrono::duration_cast<std::chrono::milliseconds>(now - item.sentAt).count());
    peakConnected_ = std::max(peakConnected_, ++connectedNow_);
}

void RKLibCurlGets::Impl::dueRetries() {
    const Clock::time_point now = Clock::now();
    for (std::size_t i = held_.awaited; i < items_.size() && i < held_.awaited + cap_; ++i) {
        Item& item = items_[i];
        if (item.state == State::Backoff && item.retryAt <= now) {
            item.state = State::Queued;
            resends_.insert(i);
        }
    }
}

long RKLibCurlGets::Impl::waitMs() const {
    long long wait = 100; // the stall check looks again at least this often
    const Clock::time_point now = Clock::now();
    for (std::size_t i = held_.awaited; i < items_.size() && i < held_.awaited + cap_; ++i) {
        const Item& item = items_[i];
        if (item.state == State::Backoff) {
            wait = std::min<long long>(
                wait, std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 item.retryAt - now)
                                                 .count()));
        }
    }
    return static_cast<long>(wait);
}

// --- the window ---

void RKLibCurlGets::Impl::answered(const Item& item) {
    const Clock::time_point now = Clock::now();
    lastAnswerAt_ = now;
    const long long tookMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - item.sentAt).count();
    const long timeoutMs = requestTimeoutMs(settings_.options);
    if (tookMs * 2 > timeoutMs) {
        narrow(item, false); // the gateway queues what it is sent
    } else if (tookMs * 4 <= timeoutMs) {
        window_ = std::min(window_ + 1, std::min(cap_, ceiling_));
    }
}

// A connection that could not be made while others were up marks the
// gateway's width: the window stays within the connections it served. Any
// other GET without an answer halves the window, once per round of sends.
void RKLibCurlGets::Impl::narrow(const Item& item, bool stalled) {
    if (stalled && peakConnected_ > 0) {
        ceiling_ = std::max(1u, std::min(ceiling_, peakConnected_));
        window_ = std::min(window_, ceiling_);
        return;
    }
    if (item.epoch == epoch_) {
        window_ = std::max(1u, window_ / 2);
        ++epoch_;
    }
}

// --- giving up ---

// Stops sending; what is not answered yet goes back to the caller once what
// is in flight has finished (take() waits for that).
void RKLibCurlGets::Impl::handBack() {
    stopping_ = true;
    resends_.clear();
    for (std::size_t i = held_.awaited; i < items_.size(); ++i) {
        Item& item = items_[i];
        if (item.state == State::Queued || item.state == State::Backoff) {
            item.state = State::Caller;
        }
    }
    nextFresh_ = items_.size();
}

// Answers fetched under the old trust are dropped too: the caller fetches
// them again under the new one, as a walk one request at a time would.
void RKLibCurlGets::Impl::trustMoved() {
    handBack();
    for (std::size_t i = held_.awaited; i < items_.size(); ++i) {
        Item& item = items_[i];
        if (item.state == State::InFlight || item.state == State::Done) {
            abandon(item);
            item.result = RKLibCurlResult();
        }
    }
    held_.held = 0;
    for (Item& item : items_) {
        release(item);
    }
    closeConnections();
    closeIdleHandles();
}

void RKLibCurlGets::Impl::abandon(Item& item) {
    release(item);
    item.state = State::Caller;
}

bool RKLibCurlGets::Impl::take(std::size_t index, RKLibCurlResult& out) {
    if (index >= items_.size() || index < held_.awaited) {
        return false;
    }
    // GETs passed over are dropped.
    for (std::size_t i = held_.awaited; i < index; ++i) {
        Item& item = items_[i];
        if (item.state == State::InFlight) {
            abandon(item);
        }
        if (item.state == State::Done) {
            held_.held -= std::min<unsigned long long>(held_.held, item.result.body.size());
        }
        resends_.erase(i);
        item.result = RKLibCurlResult();
        item.state = State::Taken;
    }
    held_.awaited = index;
    Item& item = items_[index];
    for (;;) {
        if (item.state == State::Done && multi_ != nullptr &&
            !(currentSettings().trust == settings_.trust)) {
            trustMoved();
        }
        if (item.state == State::Done) {
            held_.held -= std::min<unsigned long long>(held_.held, item.result.body.size());
            out = std::move(item.result);
            item.result = RKLibCurlResult();
            item.state = State::Taken;
            held_.awaited = index + 1;
            release(item);
            return true;
        }
        if (item.state == State::Caller) {
            // The caller sends it once the batch's connections are closed, so
            // that none of them holds what the gateway needs to answer it.
            if (stopping_ && inFlight_ == 0 && multi_ != nullptr) {
                for (Item& other : items_) {
                    release(other);
                }
                closeConnections();
                closeIdleHandles(); // and the thread's kept-alive ones, which may be stale
            }
            if (!stopping_ || multi_ == nullptr) {
                item.state = State::Taken;
                held_.awaited = index + 1;
                release(item);
                return false;
            }
        }
        pump(index);
    }
}

RKLibCurlGets::RKLibCurlGets(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

RKLibCurlGets::~RKLibCurlGets() = default;

bool RKLibCurlGets::take(std::size_t index, RKLibCurlResult& result) {
    if (!impl_) {
        return false;
    }
    try {
        return impl_->take(index, result);
    } catch (...) {
        impl_.reset(); // no memory: what is left goes one at a time
        return false;
    }
}

namespace hnasmgmt {
namespace host {

std::unique_ptr<RKLibCurlGets> startGetBatch(const GetBatchSettings& settings,
                                             const std::vector<std::string>& urls,
                                             unsigned maxInFlight) {
    if (maxInFlight <= 1 || urls.size() <= 1) {
        return nullptr;
    }
    std::unique_ptr<RKLibCurlGets::Impl> impl(new RKLibCurlGets::Impl(settings, urls, maxInFlight));
    if (!impl->open()) {
        return nullptr;
    }
    return std::unique_ptr<RKLibCurlGets>(new RKLibCurlGets(std::move(impl)));
}

} // namespace host
} // namespace hnasmgmt
