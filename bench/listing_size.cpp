// Request time against listing size: the listing of all file systems
// ("filesystems/") of arrays of 1 to 10,000 file systems, through the facade
// (getFileSystemsInfo with an empty ID: request, parse, records handed over)
// and raw (libcurl over one connection, no parsing).
//
//   Listing_Facade/N   Listing_Raw/N   one iteration is one listing.
//
// The counter "bytes" is the size of the listing document.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

struct Size {
    int filesystems;
    benchmark::IterationCount iterations;
};

const Size kSizes[] = {{1, 400}, {10, 400}, {100, 200}, {1000, 60}, {10000, 12}};

hnasbench::Gateway& gateway(int filesystems) {
    static std::map<int, std::unique_ptr<hnasbench::Gateway>> gateways;
    std::unique_ptr<hnasbench::Gateway>& g = gateways[filesystems];
    if (!g) {
        g = std::make_unique<hnasbench::Gateway>(
            hnasgwsim::generateArray(hnasbench::arrayOptions(4, filesystems, 0, 0)));
    }
    return *g;
}

void facade(benchmark::State& state, int filesystems) {
    hnasbench::Gateway& g = gateway(filesystems);
    RkManageHNAS hnas(1);
    g.connect(hnas);
    std::vector<__HNASFileSystemInfo> listed;
    if (!hnasbench::check(state, hnas.getFileSystemsInfo("", listed), "warm-up listing failed")) {
        return;
    }
    g.clearLog();
    for (auto _ : state) {
        if (!hnas.getFileSystemsInfo("", listed) ||
            listed.size() != static_cast<size_t>(filesystems)) {
            state.SkipWithError("getFileSystemsInfo failed");
            break;
        }
    }
    state.counters["filesystems"] = filesystems;
    g.reportConnections(state);
}

void raw(benchmark::State& state, int filesystems) {
    hnasbench::Gateway& g = gateway(filesystems);
    hnasbench::RawClient client(g, hnasbench::RawClient::Mode::KeepAlive);
    const std::string url = g.url("filesystems/");
    if (!hnasbench::check(state, client.get(url), "warm-up listing failed")) {
        return;
    }
    g.clearLog();
    for (auto _ : state) {
        if (!client.get(url)) {
            state.SkipWithError("GET failed");
            break;
        }
    }
    state.counters["filesystems"] = filesystems;
    state.counters["bytes"] = static_cast<double>(client.body().size());
    g.reportConnections(state);
}

const bool kRegistered = [] {
    for (const Size& size : kSizes) {
        const int n = hnasbench::smokeRun() && size.filesystems > 100 ? 100 : size.filesystems;
        const std::string suffix = "/" + std::to_string(size.filesystems);
        benchmark::RegisterBenchmark(("BM_Listing_Facade" + suffix).c_str(),
                                     [n](benchmark::State& state) { facade(state, n); })
            ->Iterations(hnasbench::iterations(size.iterations))
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BM_Listing_Raw" + suffix).c_str(),
                                     [n](benchmark::State& state) { raw(state, n); })
            ->Iterations(hnasbench::iterations(size.iterations))
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
    return true;
}();

} // namespace

HNASBENCH_MAIN()
