#pragma once

// libcurl easy handles, owned, and the per-thread cache of idle ones through
// which connections and TLS sessions outlive one short-lived client.

#include <curl/curl.h>

#include <memory>

#include "ClientOptions.h"

namespace hnasmgmt {
namespace host {

struct EasyCleanup {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};

// An owned easy handle.
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

// curl_global_init, once per process; false when it failed.
bool ensureGlobalInit();

// Takes an idle handle of this thread that was made under `trust` (reset, but
// with its open connections and TLS sessions), or makes a new one; null when
// libcurl cannot. Idle handles made under other trust are closed.
EasyHandle acquireHandle(const TrustStamp& trust, bool reuse);

// This thread's cache of TLS sessions and resolved names for the GET batches
// made under `trust`: a walk resumes the sessions of the one before instead of
// a full handshake per connection. It holds no connection. Null when there is
// none to be had (the thread is ending, or no memory): the batch then makes
// one of its own.
CURLSH* threadSessionCache(const TrustStamp& trust);

// Closes this thread's idle handles, and so their connections: a gateway that
// serves few connections at once may need the workers they hold.
void closeIdleHandles();

// Hands a handle back to this thread's idle handles when `reuse` is set and
// the trust it was made under is still in force; closes it otherwise.
void releaseHandle(EasyHandle handle, const TrustStamp& trust, bool reuse);

} // namespace host
} // namespace hnasmgmt
