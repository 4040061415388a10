// Memory while parsing the listing of 20,000 CIFS shares with their settings,
// as the gateway simulator writes it and the REST session hands it over, as
// a multiple of the document's size.
//
//   Memory_ShareListing_Cold          the facade's way: the listing reader
//                                     behind parseResponse fills a vector that
//                                     is moved on; the first parse on a fresh
//                                     thread (its parser buffers are allocated
//                                     during the parse)
//   Memory_ShareListing_Warm          the same, second parse on the thread
//   Memory_ShareListing_Message_Cold  a caller of the message class:
//                                     HNASJSONGetFileSystemShares::parseResponse,
//                                     then the copy from getFileSystemShares()
//
// Counters:
//   rss_ratio   (peak resident set during the parse and hand-over - resident
//               set before) / document size; the peak is the kernel's VmHWM,
//               reset through /proc/self/clear_refs just before the parse
//   heap_ratio  (peak bytes live on the heap - bytes live before) / document
//               size, from the counting operator new/delete of this program;
//               this counts reserved capacity that is never touched as well
//   rss_ratio_parse, heap_ratio_parse   the same up to the end of the parse,
//               before the records are handed over
//   doc_bytes   the document's size
// One iteration; the time is the parse's (informational).

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "json/ListingReaders.h"

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

// The listing document as the REST session hands it to the reader (with the
// room it leaves behind the text), fetched once from a simulator that is gone
// before any measurement (its threads would blur the figures).
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
        const hnasgwsim::Credentials& c = gateway.simulator().credentials();
        HNASRestAPI session(1);
        session.setUserName(c.user);
        session.setPassword(c.password);
        session.setSubsystemType(c.subsystemType);
        session.setManagementIP(c.managementIPs);
        session.setMetroServer(gateway.simulator().host());
        session.setMetroServerPort(gateway.simulator().port());
        std::string response;
        if (!session.get("virtual-servers/" + evs + "/CIFS", response, 3)) {
            response.clear();
        }
        return response;
    }();
    return doc;
}

// A copy of the document with the same room behind the text.
std::string copyOf(const std::string& doc) {
    std::string text;
    text.reserve(doc.capacity());
    text.assign(doc);
    return text;
}

// The resident set (VmHWM, -1 when its peak could not be reset) and the
// bytes live on the heap, at one moment or at their peak.
struct Sample {
    long long rss = 0;
    long long heap = 0;
};

struct Figures {
    bool ok = false;
    size_t records = 0;
    Sample before;
    Sample peakParse; // up to the end of the parse
    Sample peak;      // up to the end of the hand-over
};

enum class Path { Facade, Message };

// The peaks since the last reset.
Sample peakNow(bool reset) {
    return {reset ? statusBytes("VmHWM") : -1, g_peak.load()};
}

// One parse and hand-over of the records, measured.
Figures measureOnce(const std::string& doc, Path path) {
    Figures f;
    std::string text = copyOf(doc);
    f.before.heap = g_live.load();
    g_peak.store(f.before.heap);
    const bool reset = resetPeak();
    f.before.rss = statusBytes("VmRSS");
    std::vector<__HNASFileSystemShares> shares;
    if (path == Path::Facade) {
        std::vector<__HNASFileSystemShares> listed;
        f.ok = hnasmgmt::json::readListing(1, text, listed);
        f.peakParse = peakNow(reset);
        shares = std::move(listed);
    } else {
        HNASJSONGetFileSystemShares message(1);
        f.ok = message.parseResponse(text);
        f.peakParse = peakNow(reset);
        shares = message.getFileSystemShares();
        f.peak = peakNow(reset);
    }
    f.records = shares.size();
    if (path == Path::Facade) {
        f.peak = peakNow(reset);
    }
    return f;
}

// rss_ratio<suffix> and heap_ratio<suffix>: the growth from `before` to
// `peak` as a multiple of `size`; -1 for a peak that was not measured.
void reportGrowth(benchmark::State& state, const Sample& before, const Sample& peak, double size,
                  const std::string& suffix) {
    state.counters["rss_ratio" + suffix] = peak.rss >= 0 ? (peak.rss - before.rss) / size : -1.0;
    state.counters["heap_ratio" + suffix] = (peak.heap - before.heap) / size;
}

void report(benchmark::State& state, const Figures& f, size_t docBytes) {
    const double size = static_cast<double>(docBytes);
    state.counters["doc_bytes"] = size;
    state.counters["records"] = static_cast<double>(f.records);
    reportGrowth(state, f.before, f.peak, size, "");
    reportGrowth(state, f.before, f.peakParse, size, "_parse");
}

// Measures in a child process of its own, so that memory that an earlier
// measurement gave back to the allocator cannot make a later one look
// smaller; the first parse on the child's thread is a cold one (no parser
// buffers yet).
bool measureInChild(const std::string& doc, Path path, bool warm, Figures& out) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (child == 0) {
        close(fds[0]);
        // A fresh thread allocates from an arena of its own: no memory freed
        // earlier in the process (and still resident) is reused, so the
        // resident set grows by all that the parse touches.
        Figures f;
        std::thread worker([&] {
            if (warm) {
                measureOnce(doc, path);
            }
            f = measureOnce(doc, path);
        });
        worker.join();
        const ssize_t written = write(fds[1], &f, sizeof f);
        _exit(written == static_cast<ssize_t>(sizeof f) ? 0 : 1);
    }
    close(fds[1]);
    Figures f;
    const ssize_t got = read(fds[0], &f, sizeof f);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(sizeof f) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return false;
    }
    out = f;
    return true;
}

void run(benchmark::State& state, Path path, bool warm) {
    const std::string& doc = document();
    if (!hnasbench::check(state, !doc.empty(), "could not fetch the listing")) {
        return;
    }
    Figures f;
    bool measured = false;
    for (auto _ : state) {
        measured = measureInChild(doc, path, warm, f);
    }
    if (hnasbench::check(state, measured, "the measuring process failed") &&
        hnasbench::check(state,
                         f.ok && f.records == static_cast<size_t>(hnasbench::size(kShares, 200)),
                         "the listing was not read")) {
        report(state, f, doc.size());
    }
}

// Registers BM_Memory_ShareListing_<name>: one measurement of `path`, after
// a first parse on the thread when `warm`.
int registerMeasure(const char* name, Path path, bool warm) {
    benchmark::RegisterBenchmark((std::string("BM_Memory_ShareListing_") + name).c_str(), run, path,
                                 warm)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return 0;
}

[[maybe_unused]] const int registered[] = {
    registerMeasure("Cold", Path::Facade, false),
    registerMeasure("Warm", Path::Facade, true),
    registerMeasure("Message_Cold", Path::Message, false),
};

} // namespace

HNASBENCH_MAIN()
