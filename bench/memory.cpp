// Memory while parsing the listing of 20,000 CIFS shares with their settings,
// as the gateway simulator writes it, as a multiple of the document's size.
//
//   Memory_ShareListing/cold   the first parse on a fresh thread (its parser
//                              buffers are allocated during the parse)
//   Memory_ShareListing/warm   a second parse on the same thread
//
// Each run parses with HNASJSONGetFileSystemShares::parseResponse and takes
// the records with getFileSystemShares(), as the facade does, and reports
//   rss_ratio   (peak resident set during the parse - resident set before) /
//               document size; the peak is the kernel's VmHWM, reset through
//               /proc/self/clear_refs just before the parse
//   heap_ratio  (peak bytes live on the heap - bytes live before) / document
//               size, from the counting operator new/delete of this program;
//               this counts reserved capacity that is never touched as well
//   rss_ratio_parse, heap_ratio_parse   the same up to the end of
//               parseResponse, before the records are handed over
//   doc_bytes   the document's size
// One iteration; the time is the parse's (informational).

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "hnasmgmt/json/HNASJSONShares.h"

// --- counting allocator ---

namespace {

std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};

void noteAlloc(void* p) {
    if (p == nullptr) {
        return;
    }
    const long long now = g_live.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                          static_cast<long long>(malloc_usable_size(p));
    long long peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void noteFree(void* p) {
    if (p != nullptr) {
        g_live.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
    }
}

__attribute__((noinline)) void* countedAlloc(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    noteAlloc(p);
    return p;
}

__attribute__((noinline)) void* countedAlignedAlloc(std::size_t size, std::align_val_t align) {
    const std::size_t alignment = static_cast<std::size_t>(align);
    void* p = nullptr;
    if (posix_memalign(&p, alignment < sizeof(void*) ? sizeof(void*) : alignment,
                       size == 0 ? 1 : size) != 0) {
        return nullptr;
    }
    noteAlloc(p);
    return p;
}

__attribute__((noinline)) void countedFree(void* p) {
    noteFree(p);
    std::free(p);
}

} // namespace

void* operator new(std::size_t size) {
    void* p = countedAlloc(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return countedAlloc(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedAlloc(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    void* p = countedAlignedAlloc(size, align);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return operator new(size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return countedAlignedAlloc(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return countedAlignedAlloc(size, align);
}
void operator delete(void* p) noexcept {
    countedFree(p);
}
void operator delete[](void* p) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    countedFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    countedFree(p);
}

namespace {

constexpr int kShares = 20000;

// "VmRSS" or "VmHWM" of this process, in bytes.
long long statusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return std::atoll(line.c_str() + prefix.size()) * 1024;
        }
    }
    return -1;
}

// Resets VmHWM to the current resident set; false when the kernel refuses.
bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// The listing document, fetched once from a simulator that is gone before
// any measurement (its threads would blur the figures).
const std::string& document() {
    static const std::string doc = [] {
        hnasgwsim::GenerateOptions options;
        options.virtualServers = 1;
        options.fileSystems = 100;
        options.shares = 2 * hnasbench::size(kShares, 200); // every second one is CIFS
        options.snapshotsPerFileSystem = 0;
        options.directoriesPerFileSystem = 0;
        hnasbench::Gateway gateway(hnasgwsim::generateArray(options));
        std::string evs;
        {
            auto array = gateway.simulator().model();
            evs = array->virtualServers.front().objectId;
        }
        hnasbench::RawClient client(gateway, hnasbench::RawClient::Mode::KeepAlive);
        if (!client.get(gateway.url("virtual-servers/" + evs + "/CIFS"))) {
            return std::string();
        }
        return client.body();
    }();
    return doc;
}

struct Figures {
    bool ok = false;
    size_t records = 0;
    long long rssBefore = 0;
    long long rssPeak = 0;
    long long rssPeakParse = 0;
    long long heapBefore = 0;
    long long heapPeak = 0;
    long long heapPeakParse = 0;
};

// One parse and hand-over of the records, measured.
Figures measureOnce(const std::string& doc) {
    Figures f;
    std::string text = doc; // parseResponse takes a modifiable string
    f.heapBefore = g_live.load();
    g_peak.store(f.heapBefore);
    const bool reset = resetPeak();
    f.rssBefore = statusBytes("VmRSS");
    {
        HNASJSONGetFileSystemShares message(1);
        f.ok = message.parseResponse(text);
        f.rssPeakParse = reset ? statusBytes("VmHWM") : -1;
        f.heapPeakParse = g_peak.load();
        std::vector<__HNASFileSystemShares> shares = message.getFileSystemShares();
        f.records = shares.size();
        f.rssPeak = reset ? statusBytes("VmHWM") : -1;
        f.heapPeak = g_peak.load();
    }
    return f;
}

void report(benchmark::State& state, const Figures& f, size_t docBytes) {
    const double size = static_cast<double>(docBytes);
    state.counters["doc_bytes"] = size;
    state.counters["records"] = static_cast<double>(f.records);
    state.counters["rss_ratio"] = f.rssPeak >= 0 ? (f.rssPeak - f.rssBefore) / size : -1.0;
    state.counters["heap_ratio"] = (f.heapPeak - f.heapBefore) / size;
    state.counters["rss_ratio_parse"] =
        f.rssPeakParse >= 0 ? (f.rssPeakParse - f.rssBefore) / size : -1.0;
    state.counters["heap_ratio_parse"] = (f.heapPeakParse - f.heapBefore) / size;
}

void BM_Memory_ShareListing_Cold(benchmark::State& state) {
    const std::string& doc = document();
    if (!hnasbench::check(state, !doc.empty(), "could not fetch the listing")) {
        return;
    }
    Figures f;
    for (auto _ : state) {
        // A fresh thread: its parser has no buffers yet.
        std::thread worker([&] { f = measureOnce(doc); });
        worker.join();
    }
    if (hnasbench::check(state, f.ok, "parseResponse failed")) {
        report(state, f, doc.size());
    }
}

void BM_Memory_ShareListing_Warm(benchmark::State& state) {
    const std::string& doc = document();
    if (!hnasbench::check(state, !doc.empty(), "could not fetch the listing")) {
        return;
    }
    Figures f;
    for (auto _ : state) {
        std::thread worker([&] {
            measureOnce(doc);
            f = measureOnce(doc);
        });
        worker.join();
    }
    if (hnasbench::check(state, f.ok, "parseResponse failed")) {
        report(state, f, doc.size());
    }
}

} // namespace

BENCHMARK(BM_Memory_ShareListing_Cold)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Memory_ShareListing_Warm)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

HNASBENCH_MAIN()
