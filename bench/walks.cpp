// Walks against the gateway simulator, through the facade and raw.
//
//   Walk_AllSnapshots_Facade/N   RkManageHNAS::getAllSnapshots over N file
//                                systems with 10 snapshots each: the file
//                                system listing, then one snapshot listing per
//                                file system (1 + N requests).
//   Walk_AllSnapshots_Raw/N      the same 1 + N GETs with libcurl over one
//                                connection, no parsing.
//   Walk_Directories_Facade      getFileSystemDirectoriesUnderPath on a path
//                                ten directories deep below the file system's
//                                root, 20 entries at each level (11 requests).
//   Walk_Directories_Raw         the same 11 GETs raw over one connection.
//   Parallel_AllSnapshots/P      getAllSnapshots over 1,000 file systems with
//                                5 ms of gateway latency on every GET, with P
//                                requests in flight (setParallelRequests).
//   Parallel_SharePermissions/P  getFilesystemShares with permissions over
//                                2,000 CIFS shares (2,001 GETs), the same
//                                latency, P requests in flight.
//
// The parallel benchmarks report the simulator's peak of requests in flight
// (`in_flight`) beside the connections; P = 1 is the sequential walk, and
// the ideal at P is its time divided by P.
//
// N = 1000 is the 1x size; 2x and 4x show how the walk grows. One iteration
// is one whole walk.

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

constexpr int kSnapshotsPerFileSystem = 10;
constexpr int kDepth = 10;
constexpr int kWidth = 20;

hnasbench::Gateway& snapshotGateway(int filesystems) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<hnasbench::Gateway>> gateways;
    std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<hnasbench::Gateway>& gateway = gateways[filesystems];
    if (!gateway) {
        gateway = std::make_unique<hnasbench::Gateway>(hnasgwsim::generateArray(
            hnasbench::arrayOptions(4, filesystems, 0, kSnapshotsPerFileSystem)));
    }
    return *gateway;
}

void BM_Walk_AllSnapshots_Facade(benchmark::State& state) {
    const int filesystems = static_cast<int>(state.range(0));
    hnasbench::Gateway& gateway = snapshotGateway(filesystems);
    RkManageHNAS hnas(1);
    gateway.connect(hnas);
    std::vector<__HNASFileSystemSnapshot> snapshots;
    const size_t expected = static_cast<size_t>(filesystems) * kSnapshotsPerFileSystem;
    gateway.clearLog();
    for (auto _ : state) {
        if (!hnas.getAllSnapshots(snapshots) || snapshots.size() != expected) {
            state.SkipWithError("getAllSnapshots failed");
            break;
        }
    }
    state.counters["requests"] = 1.0 + filesystems;
    state.counters["snapshots"] = static_cast<double>(expected);
    gateway.reportConnections(state);
}

// The requests of a snapshot walk: the file-system listing, then the
// snapshots of each file system.
std::vector<std::string> snapshotUrls(hnasbench::Gateway& gateway) {
    std::vector<std::string> urls;
    urls.push_back(gateway.url("filesystems/"));
    auto array = gateway.simulator().model();
    for (const hnasgwsim::FileSystem& fs : array->fileSystems) {
        urls.push_back(gateway.url("filesystem-snapshots/" + fs.filesystemId + "/RKHNAS"));
    }
    return urls;
}

void BM_Walk_AllSnapshots_Raw(benchmark::State& state) {
    const int filesystems = static_cast<int>(state.range(0));
    hnasbench::Gateway& gateway = snapshotGateway(filesystems);
    const std::vector<std::string> urls = snapshotUrls(gateway);
    hnasbench::RawClient client(gateway, hnasbench::RawClient::Mode::KeepAlive);
    gateway.clearLog();
    for (auto _ : state) {
        if (!client.getAll(urls)) {
            state.SkipWithError("GET failed");
            break;
        }
    }
    state.counters["requests"] = 1.0 + filesystems;
    gateway.reportConnections(state);
}

// A file system of the default array with a chain /d01/d02/.../d10, kWidth
// entries at each level (the chain's directory and its siblings) and kWidth
// entries under the deepest one.
struct DirectorySetup {
    std::unique_ptr<hnasbench::Gateway> gateway;
    std::string filesystemId;
    std::string path;              // as the caller passes it
    std::vector<std::string> urls; // the walk's requests, in order

    DirectorySetup() {
        hnasgwsim::ArrayState array = hnasgwsim::defaultArray();
        hnasgwsim::FileSystem& fs = array.fileSystems.front();
        filesystemId = fs.filesystemId;
        path = "/" + fs.label + "/root";
        std::string parent;
        std::vector<std::string> chain;
        char name[16];
        for (int level = 1; level <= kDepth + 1; ++level) {
            for (int sibling = 1; sibling < kWidth; ++sibling) {
                std::snprintf(name, sizeof name, "/s%02d", sibling);
                array.addDirectory(fs, parent + name);
            }
            if (level > kDepth) {
                std::snprintf(name, sizeof name, "/leaf");
                array.addDirectory(fs, parent + name);
                break;
            }
            std::snprintf(name, sizeof name, "/d%02d", level);
            parent += name;
            chain.push_back(array.addDirectory(fs, parent).objectId);
            path += name;
        }
        gateway = std::make_unique<hnasbench::Gateway>(std::move(array));
        urls.push_back(gateway->url("filesystems/" + filesystemId + "/directories/"));
        for (const std::string& objectId : chain) {
            urls.push_back(
                gateway->url("filesystems/" + filesystemId + "/directories/" + objectId));
        }
    }
};

DirectorySetup& directorySetup() {
    static DirectorySetup instance;
    return instance;
}

void BM_Walk_Directories_Facade(benchmark::State& state) {
    DirectorySetup& s = directorySetup();
    RkManageHNAS hnas(1);
    s.gateway->connect(hnas);
    std::vector<__HNASFileSystemDirectories> directories;
    s.gateway->clearLog();
    for (auto _ : state) {
        if (!hnas.getFileSystemDirectoriesUnderPath(s.filesystemId, s.path, directories) ||
            directories.size() != static_cast<size_t>(kWidth)) {
            state.SkipWithError("getFileSystemDirectoriesUnderPath failed");
            break;
        }
    }
    state.counters["requests"] = static_cast<double>(s.urls.size());
    s.gateway->reportConnections(state);
}

void BM_Walk_Directories_Raw(benchmark::State& state) {
    DirectorySetup& s = directorySetup();
    hnasbench::RawClient client(*s.gateway, hnasbench::RawClient::Mode::KeepAlive);
    s.gateway->clearLog();
    for (auto _ : state) {
        if (!client.getAll(s.urls)) {
            state.SkipWithError("GET failed");
            break;
        }
    }
    state.counters["requests"] = static_cast<double>(s.urls.size());
    s.gateway->reportConnections(state);
}

// --- paired measurements ---
//
// The figure and its baseline alternate walk by walk, so that both see the
// same load of the shared machine; the ratios in the figures table come from
// these.

void BM_Paired_AllSnapshots(benchmark::State& state) {
    const int filesystems = static_cast<int>(state.range(0));
    hnasbench::Gateway& gateway = snapshotGateway(filesystems);
    const std::vector<std::string> urls = snapshotUrls(gateway);
    RkManageHNAS hnas(1);
    gateway.connect(hnas);
    hnasbench::RawClient client(gateway, hnasbench::RawClient::Mode::KeepAlive);
    std::vector<__HNASFileSystemSnapshot> snapshots;
    const size_t expected = static_cast<size_t>(filesystems) * kSnapshotsPerFileSystem;
    gateway.clearLog();
    hnasbench::paired(
        state, [&] { return hnas.getAllSnapshots(snapshots) && snapshots.size() == expected; },
        [&] { return client.getAll(urls); }, "facade walk failed", "raw walk failed");
    state.counters["requests"] = 1.0 + filesystems;
    gateway.reportConnections(state);
}

void BM_Paired_Directories(benchmark::State& state) {
    DirectorySetup& s = directorySetup();
    RkManageHNAS hnas(1);
    s.gateway->connect(hnas);
    hnasbench::RawClient client(*s.gateway, hnasbench::RawClient::Mode::KeepAlive);
    std::vector<__HNASFileSystemDirectories> directories;
    s.gateway->clearLog();
    hnasbench::paired(
        state,
        [&] {
            return hnas.getFileSystemDirectoriesUnderPath(s.filesystemId, s.path, directories) &&
                   directories.size() == static_cast<size_t>(kWidth);
        },
        [&] { return client.getAll(s.urls); }, "facade walk failed", "raw walk failed");
    state.counters["requests"] = static_cast<double>(s.urls.size());
    s.gateway->reportConnections(state);
}

// --- parallel walks against a gateway with latency ---

constexpr int kLatencyMs = 5;
constexpr int kParallelSnapshots = 2;

// A gateway whose every GET waits kLatencyMs before it is answered.
std::unique_ptr<hnasbench::Gateway> slowGateway(const hnasgwsim::GenerateOptions& options) {
    auto gateway = std::make_unique<hnasbench::Gateway>(hnasgwsim::generateArray(options));
    gateway->simulator().addFault(
        hnasgwsim::parseFaultRule("GET * latency=" + std::to_string(kLatencyMs)));
    return gateway;
}

hnasbench::Gateway& slowSnapshotGateway() {
    static const std::unique_ptr<hnasbench::Gateway> gateway = [] {
        return slowGateway(
            hnasbench::arrayOptions(4, hnasbench::size(1000, 20), 0, kParallelSnapshots));
    }();
    return *gateway;
}

hnasbench::Gateway& slowShareGateway() {
    static const std::unique_ptr<hnasbench::Gateway> gateway = [] {
        // Every other share is a CIFS one.
        return slowGateway(hnasbench::arrayOptions(1, 10, 2 * hnasbench::size(2000, 40), 0));
    }();
    return *gateway;
}

// Runs `walk` once per iteration with state.range(0) requests in flight and
// reports the requests per walk and the simulator's peak in flight.
template <typename Walk>
void parallelWalk(benchmark::State& state, hnasbench::Gateway& gateway, RkManageHNAS& hnas,
                  Walk walk) {
    const unsigned parallel = static_cast<unsigned>(state.range(0));
    if (!hnasbench::check(state, hnas.setParallelRequests(parallel) && walk(),
                          "warm-up walk failed")) {
        return;
    }
    gateway.clearLog();
    gateway.simulator().resetPeakInFlight();
    for (auto _ : state) {
        if (!walk()) {
            state.SkipWithError("walk failed");
            break;
        }
    }
    state.counters["parallel"] = parallel;
    state.counters["in_flight"] = gateway.simulator().peakInFlight();
    state.counters["requests"] =
        static_cast<double>(gateway.simulator().requestLog().size()) / state.iterations();
    gateway.reportConnections(state);
}

void BM_Parallel_AllSnapshots(benchmark::State& state) {
    hnasbench::Gateway& gateway = slowSnapshotGateway();
    RkManageHNAS hnas(1);
    gateway.connect(hnas);
    const size_t expected = static_cast<size_t>(hnasbench::size(1000, 20)) * kParallelSnapshots;
    std::vector<__HNASFileSystemSnapshot> snapshots;
    parallelWalk(state, gateway, hnas,
                 [&] { return hnas.getAllSnapshots(snapshots) && snapshots.size() == expected; });
}

void BM_Parallel_SharePermissions(benchmark::State& state) {
    hnasbench::Gateway& gateway = slowShareGateway();
    RkManageHNAS hnas(1);
    gateway.connect(hnas);
    __HNASVirtualServers evs;
    std::vector<__HNASFileSystemShares> wanted;
    {
        auto array = gateway.simulator().model();
        const hnasgwsim::VirtualServer& server = array->virtualServers.front();
        evs.name = server.name;
        evs.objectId = server.objectId;
        evs.virtualServerId = server.virtualServerId;
        for (const hnasgwsim::Share& share : server.shares) {
            if (share.protocol == "CIFS") {
                wanted.emplace_back();
                wanted.back().name = share.name;
            }
        }
    }
    std::vector<__HNASFileSystemShares> shares;
    parallelWalk(state, gateway, hnas, [&] {
        shares = wanted;
        return hnas.getFilesystemShares(evs, "CIFS", shares, true) &&
               shares.size() == wanted.size() &&
               !shares.back().settings.cifsAuthentications.empty();
    });
}

// 1, 2, 4, ..., 64 requests in flight; one walk per iteration (the
// sequential one takes over 5 s).
void inFlightCounts(benchmark::internal::Benchmark* b) {
    b->RangeMultiplier(2)
        ->Range(1, 64)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

} // namespace

// The file-system counts of the snapshot walks.
void snapshotSizes(benchmark::internal::Benchmark* b) {
    b->Arg(hnasbench::size(1000, 10))
        ->Arg(hnasbench::size(2000, 20))
        ->Arg(hnasbench::size(4000, 40));
}

BENCHMARK(BM_Walk_AllSnapshots_Facade)
    ->Apply(snapshotSizes)
    ->Apply(hnasbench::fixedRuns<4, benchmark::kMillisecond>);
BENCHMARK(BM_Walk_AllSnapshots_Raw)
    ->Apply(snapshotSizes)
    ->Apply(hnasbench::fixedRuns<4, benchmark::kMillisecond>);
BENCHMARK(BM_Walk_Directories_Facade)->Apply(hnasbench::fixedRuns<200, benchmark::kMillisecond>);
BENCHMARK(BM_Walk_Directories_Raw)->Apply(hnasbench::fixedRuns<200, benchmark::kMillisecond>);

BENCHMARK(BM_Paired_AllSnapshots)
    ->Apply(snapshotSizes)
    ->Apply(hnasbench::fixedRuns<6, benchmark::kMillisecond>);
BENCHMARK(BM_Paired_Directories)->Apply(hnasbench::fixedRuns<200, benchmark::kMillisecond>);

BENCHMARK(BM_Parallel_AllSnapshots)->Apply(inFlightCounts);
BENCHMARK(BM_Parallel_SharePermissions)->Apply(inFlightCounts);

HNASBENCH_MAIN()
