#pragma once

// The HTTP client's process-wide options, and the trust that its connections
// are made under.

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasmgmt {
namespace host {

// The trust a handle's connections and TLS sessions were made under: the
// generation of the trust settings, and the identity and modification time of
// the CA file, so that a file replaced in place retires every handle (with its
// connections and TLS sessions) opened under the old one.
struct TrustStamp {
    uint64_t generation = 0;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long modifiedNs = 0;
    long long changedNs = 0;

    bool operator==(const TrustStamp& other) const;
};

// What a client started now works with.
struct ClientSettings {
    RKLibCurlOptions options;
    TrustStamp trust;
};

// Replaces the options of the clients started from now on; thread-safe.
void storeOptions(const RKLibCurlOptions& options);

// A copy of the current options; thread-safe.
RKLibCurlOptions loadOptions();

// The options in force for a client started now on this thread, and the trust
// its connections are made under (the CA file is looked at each time). No
// process-wide lock is taken unless the options moved since the thread's
// last look.
ClientSettings currentSettings();

// The generation of the trust settings in force now.
uint64_t currentTrustGeneration();

} // namespace host
} // namespace hnasmgmt
