// The HTTP client's process-wide options. Nothing on the request path takes a
// process-wide lock: the options are copied into a per-thread snapshot only
// when their version counter has moved.

#include "ClientOptions.h"

#include <sys/stat.h>

#include <atomic>
#include <mutex>

namespace hnasmgmt {
namespace host {

namespace {

std::mutex g_optionsMutex;
RKLibCurlOptions g_options;                // guarded by g_optionsMutex
std::atomic<uint64_t> g_optionsVersion{1}; // moves on every storeOptions
uint64_t g_trustGeneration = 1;            // guarded; moves when trust settings change

bool sameTrust(const RKLibCurlOptions& a, const RKLibCurlOptions& b) {
    return a.verifyPeer == b.verifyPeer && a.verifyHost == b.verifyHost && a.caFile == b.caFile &&
           a.pinnedPublicKey == b.pinnedPublicKey && a.proxy == b.proxy;
}

// False once the thread's snapshot is being destroyed at thread or process
// exit; a client started after that reads the shared options under the lock.
// Trivially destructible, so it stays readable to the very end.
enum class SnapshotState : unsigned char { NotYet, Alive, Dead };
thread_local SnapshotState t_snapshotState = SnapshotState::NotYet;

// The calling thread's copy of the options; refreshed only when the version moved.
struct Snapshot {
    uint64_t version = 0;
    uint64_t trustGeneration = 0;
    RKLibCurlOptions options;
    Snapshot() { t_snapshotState = SnapshotState::Alive; }
    ~Snapshot() { t_snapshotState = SnapshotState::Dead; }
};

const Snapshot& threadSnapshot() {
    thread_local Snapshot snapshot;
    const uint64_t version = g_optionsVersion.load(std::memory_order_acquire);
    if (snapshot.version != version) {
        std::lock_guard<std::mutex> lock(g_optionsMutex);
        snapshot.options = g_options;
        snapshot.trustGeneration = g_trustGeneration;
        snapshot.version = g_optionsVersion.load(std::memory_order_relaxed);
    }
    return snapshot;
}

void stampCaFile(TrustStamp& stamp, const std::string& caFile) {
    struct stat st;
    if (!caFile.empty() && ::stat(caFile.c_str(), &st) == 0) {
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modifiedNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        stamp.changedNs = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    }
}

} // namespace

bool TrustStamp::operator==(const TrustStamp& other) const {
    return generation == other.generation && device == other.device && inode == other.inode &&
           size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
}

void storeOptions(const RKLibCurlOptions& options) {
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    if (!sameTrust(g_options, options)) {
        ++g_trustGeneration; // cached connections were verified under the old settings
    }
    g_options = options;
    g_optionsVersion.fetch_add(1, std::memory_order_release);
}

RKLibCurlOptions loadOptions() {
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    return g_options;
}

ClientSettings currentSettings() {
    ClientSettings settings;
    if (t_snapshotState == SnapshotState::Dead) {
        std::lock_guard<std::mutex> lock(g_optionsMutex);
        settings.options = g_options;
        settings.trust.generation = g_trustGeneration;
    } else {
        const Snapshot& snapshot = threadSnapshot();
        settings.options = snapshot.options;
        settings.trust.generation = snapshot.trustGeneration;
    }
    stampCaFile(settings.trust, settings.options.caFile);
    return settings;
}

uint64_t currentTrustGeneration() {
    if (t_snapshotState == SnapshotState::Dead) {
        std::lock_guard<std::mutex> lock(g_optionsMutex);
        return g_trustGeneration;
    }
    return threadSnapshot().trustGeneration;
}

} // namespace host
} // namespace hnasmgmt
