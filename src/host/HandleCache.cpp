// Per-thread cache of idle easy handles: curl_easy_reset keeps a handle's
// connection cache and TLS session cache, so a new client on the same thread
// reuses the open connection.

#include "HandleCache.h"

#include <mutex>
#include <utility>
#include <vector>

namespace hnasmgmt {
namespace host {

namespace {

constexpr size_t kMaxIdleHandlesPerThread = 4;

std::once_flag g_globalInitOnce;
CURLcode g_globalInitResult = CURLE_FAILED_INIT;

struct IdleHandle {
    EasyHandle handle;
    TrustStamp trust;
};

// False once the thread's cache is being destroyed at thread or process exit;
// a client released after that (such as one held by a static object) closes
// its handle instead of touching the dead cache. Trivially destructible, so it
// stays readable to the very end.
enum class CacheState : unsigned char { NotYet, Alive, Dead };
thread_local CacheState t_cacheState = CacheState::NotYet;

struct HandleCache {
    std::vector<IdleHandle> idle;
    HandleCache() { t_cacheState = CacheState::Alive; }
    ~HandleCache() { t_cacheState = CacheState::Dead; }
};

HandleCache& threadCache() {
    thread_local HandleCache cache;
    return cache;
}

struct SessionCache {
    CURLSH* share = nullptr;
    TrustStamp trust;
    SessionCache() { t_sessionState = CacheState::Alive; }
    ~SessionCache() {
        t_sessionState = CacheState::Dead;
        if (share != nullptr) {
            curl_share_cleanup(share);
        }
    }
    static thread_local CacheState t_sessionState;
};
thread_local CacheState SessionCache::t_sessionState = CacheState::NotYet;

} // namespace

bool ensureGlobalInit() {
    std::call_once(g_globalInitOnce,
                   [] { g_globalInitResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return g_globalInitResult == CURLE_OK;
}

EasyHandle acquireHandle(const TrustStamp& trust, bool reuse) {
    if (reuse && t_cacheState != CacheState::Dead) {
        HandleCache& cache = threadCache();
        while (!cache.idle.empty()) {
            IdleHandle h = std::move(cache.idle.back());
            cache.idle.pop_back();
            if (h.trust == trust) {
                // Reset at release, and again by setUpHandle before each attempt.
                return std::move(h.handle);
            }
            // Made under other trust: closed as it goes out of scope.
        }
    }
    return EasyHandle(curl_easy_init());
}

CURLSH* threadSessionCache(const TrustStamp& trust) {
    if (SessionCache::t_sessionState == CacheState::Dead) {
        return nullptr;
    }
    thread_local SessionCache cache;
    if (cache.share != nullptr && cache.trust == trust) {
        return cache.share;
    }
    if (cache.share != nullptr) {
        curl_share_cleanup(cache.share); // made under a trust no longer in force
    }
    cache.share = curl_share_init();
    cache.trust = trust;
    if (cache.share != nullptr) {
        curl_share_setopt(cache.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(cache.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
    return cache.share;
}

void closeIdleHandles() {
    if (t_cacheState == CacheState::Alive) {
        threadCache().idle.clear();
    }
}

void releaseHandle(EasyHandle handle, const TrustStamp& trust, bool reuse) {
    if (!handle) {
        return;
    }
    curl_easy_reset(handle.get()); // drops pointers into the client; keeps connections
    if (reuse && t_cacheState == CacheState::Alive &&
        trust.generation == currentTrustGeneration()) {
        HandleCache& cache = threadCache();
        if (cache.idle.size() < kMaxIdleHandlesPerThread) {
            try {
                cache.idle.push_back(IdleHandle{std::move(handle), trust});
            } catch (...) {
                // No room: the handle is closed instead.
            }
        }
    }
}

} // namespace host
} // namespace hnasmgmt
