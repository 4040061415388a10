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
        hnasgwsim::GenerateOptions options;
        options.virtualServers = 4;
        options.fileSystems = filesystems;
        options.shares = 0;
        options.snapshotsPerFileSystem = kSnapshotsPerFileSystem;
        options.directoriesPerFileSystem = 0;
        gateway = std::make_unique<hnasbench::Gateway>(hnasgwsim::generateArray(options));
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

void BM_Walk_AllSnapshots_Raw(benchmark::State& state) {
    const int filesystems = static_cast<int>(state.range(0));
    hnasbench::Gateway& gateway = snapshotGateway(filesystems);
    std::vector<std::string> urls;
    urls.push_back(gateway.url("filesystems/"));
    {
        auto array = gateway.simulator().model();
        for (const hnasgwsim::FileSystem& fs : array->fileSystems) {
            urls.push_back(gateway.url("filesystem-snapshots/" + fs.filesystemId + "/RKHNAS"));
        }
    }
    hnasbench::RawClient client(gateway, hnasbench::RawClient::Mode::KeepAlive);
    gateway.clearLog();
    for (auto _ : state) {
        for (const std::string& url : urls) {
            if (!client.get(url)) {
                state.SkipWithError("GET failed");
                break;
            }
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
        for (const std::string& url : s.urls) {
            if (!client.get(url)) {
                state.SkipWithError("GET failed");
                break;
            }
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

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Runs facadeWalk and rawWalk alternately, each once per iteration, and
// reports their mean times and ratio.
template <typename FacadeWalk, typename RawWalk>
void paired(benchmark::State& state, FacadeWalk facadeWalk, RawWalk rawWalk) {
    Clock::duration facadeTime{};
    Clock::duration rawTime{};
    bool facadeFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool facadeTurn = (turn == 0) == facadeFirst;
            const Clock::time_point start = Clock::now();
            const bool ok = facadeTurn ? facadeWalk() : rawWalk();
            (facadeTurn ? facadeTime : rawTime) += Clock::now() - start;
            if (!ok) {
                state.SkipWithError(facadeTurn ? "facade walk failed" : "raw walk failed");
                return;
            }
        }
        facadeFirst = !facadeFirst;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["facade_us"] = microseconds(facadeTime) / n;
    state.counters["raw_us"] = microseconds(rawTime) / n;
    state.counters["ratio"] = microseconds(facadeTime) / microseconds(rawTime);
}

void BM_Paired_AllSnapshots(benchmark::State& state) {
    const int filesystems = static_cast<int>(state.range(0));
    hnasbench::Gateway& gateway = snapshotGateway(filesystems);
    std::vector<std::string> urls;
    urls.push_back(gateway.url("filesystems/"));
    {
        auto array = gateway.simulator().model();
        for (const hnasgwsim::FileSystem& fs : array->fileSystems) {
            urls.push_back(gateway.url("filesystem-snapshots/" + fs.filesystemId + "/RKHNAS"));
        }
    }
    RkManageHNAS hnas(1);
    gateway.connect(hnas);
    hnasbench::RawClient client(gateway, hnasbench::RawClient::Mode::KeepAlive);
    std::vector<__HNASFileSystemSnapshot> snapshots;
    const size_t expected = static_cast<size_t>(filesystems) * kSnapshotsPerFileSystem;
    gateway.clearLog();
    paired(
        state, [&] { return hnas.getAllSnapshots(snapshots) && snapshots.size() == expected; },
        [&] {
            for (const std::string& url : urls) {
                if (!client.get(url)) {
                    return false;
                }
            }
            return true;
        });
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
    paired(
        state,
        [&] {
            return hnas.getFileSystemDirectoriesUnderPath(s.filesystemId, s.path, directories) &&
                   directories.size() == static_cast<size_t>(kWidth);
        },
        [&] {
            for (const std::string& url : s.urls) {
                if (!client.get(url)) {
                    return false;
                }
            }
            return true;
        });
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
        hnasgwsim::GenerateOptions options;
        options.virtualServers = 4;
        options.fileSystems = hnasbench::size(1000, 20);
        options.shares = 0;
        options.snapshotsPerFileSystem = kParallelSnapshots;
        options.directoriesPerFileSystem = 0;
        return slowGateway(options);
    }();
    return *gateway;
}

hnasbench::Gateway& slowShareGateway() {
    static const std::unique_ptr<hnasbench::Gateway> gateway = [] {
        hnasgwsim::GenerateOptions options;
        options.virtualServers = 1;
        options.fileSystems = 10;
        options.shares = 2 * hnasbench::size(2000, 40); // every other one CIFS
        options.snapshotsPerFileSystem = 0;
        options.directoriesPerFileSystem = 0;
        return slowGateway(options);
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

BENCHMARK(BM_Walk_AllSnapshots_Facade)
    ->Arg(hnasbench::size(1000, 10))
    ->Arg(hnasbench::size(2000, 20))
    ->Arg(hnasbench::size(4000, 40))
    ->Iterations(hnasbench::iterations(4))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Walk_AllSnapshots_Raw)
    ->Arg(hnasbench::size(1000, 10))
    ->Arg(hnasbench::size(2000, 20))
    ->Arg(hnasbench::size(4000, 40))
    ->Iterations(hnasbench::iterations(4))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Walk_Directories_Facade)
    ->Iterations(hnasbench::iterations(200))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Walk_Directories_Raw)
    ->Iterations(hnasbench::iterations(200))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_Paired_AllSnapshots)
    ->Arg(hnasbench::size(1000, 10))
    ->Arg(hnasbench::size(2000, 20))
    ->Arg(hnasbench::size(4000, 40))
    ->Iterations(hnasbench::iterations(6))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Paired_Directories)
    ->Iterations(hnasbench::iterations(200))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_Parallel_AllSnapshots)->Apply(inFlightCounts);
BENCHMARK(BM_Parallel_SharePermissions)->Apply(inFlightCounts);

HNASBENCH_MAIN()
