// Request overhead and concurrency: sequential getFileSystemsInfo calls for one
// file system against the gateway simulator, through the facade and raw.
//
//   Requests_Facade                   RkManageHNAS::getFileSystemsInfo(id): a new
//                                     session client per request, request, parse,
//                                     records handed over, log lines at level 0.
//   Requests_Session                  HNASRestAPI::get of the same resource (no parse).
//   Requests_Raw_KeepAlive            libcurl, one easy handle and one connection:
//                                     the limit.
//   Requests_Raw_NewHandleSharedCache a new easy handle per request sharing the
//                                     connection and TLS-session caches.
//   Requests_Raw_NewConnection        a new easy handle per request, nothing
//                                     shared: TCP and full TLS handshake each time.
//   Concurrency_Facade/threads:N      N threads, each with its own facade, the
//                                     Requests_Facade loop; items_per_second is
//                                     the aggregate rate.
//   Concurrency_Raw_KeepAlive/threads:N  the same with raw keep-alive clients.
//
// One iteration is one request; time per iteration is time per request.

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "hnasmgmt/rest/HNASRestAPI.h"

namespace {

constexpr benchmark::IterationCount kRequests = 1000;

struct Setup {
    hnasbench::Gateway gateway{hnasgwsim::defaultArray()};
    std::string filesystemId;
    std::string resource;
    std::string url;

    Setup() {
        auto array = gateway.simulator().model();
        filesystemId = array->fileSystems.front().filesystemId;
        resource = "filesystems/" + filesystemId;
        url = gateway.url(resource);
    }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

// Counts what the gateway saw; with several threads only the connection
// count of the whole run is of interest and the log is just dropped.
void finish(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations());
    if (state.threads() == 1) {
        setup().gateway.reportConnections(state);
    } else {
        setup().gateway.clearLog();
    }
}

void start(benchmark::State& state) {
    if (state.threads() == 1) {
        setup().gateway.clearLog();
    }
}

void facadeLoop(benchmark::State& state) {
    Setup& s = setup();
    RkManageHNAS hnas(1);
    s.gateway.connect(hnas);
    std::vector<__HNASFileSystemInfo> filesystems;
    // The first request opens the thread's connection.
    if (!hnasbench::check(state, hnas.getFileSystemsInfo(s.filesystemId, filesystems),
                          "warm-up request failed")) {
        return;
    }
    start(state);
    for (auto _ : state) {
        if (!hnas.getFileSystemsInfo(s.filesystemId, filesystems) || filesystems.size() != 1) {
            state.SkipWithError("getFileSystemsInfo failed");
            break;
        }
    }
    finish(state);
}

void rawLoop(benchmark::State& state, hnasbench::RawClient::Mode mode) {
    Setup& s = setup();
    hnasbench::RawClient client(s.gateway, mode);
    if (!hnasbench::check(state, client.get(s.url), "warm-up request failed")) {
        return;
    }
    start(state);
    for (auto _ : state) {
        if (!client.get(s.url)) {
            state.SkipWithError("GET failed");
            break;
        }
        benchmark::DoNotOptimize(client.body().data());
    }
    finish(state);
}

void BM_Requests_Facade(benchmark::State& state) {
    facadeLoop(state);
}

void BM_Requests_Session(benchmark::State& state) {
    Setup& s = setup();
    const hnasgwsim::Credentials& c = s.gateway.simulator().credentials();
    HNASRestAPI api(1);
    api.setUserName(c.user);
    api.setPassword(c.password);
    api.setSubsystemType(c.subsystemType);
    api.setManagementIP(c.managementIPs);
    api.setMetroServer(s.gateway.simulator().host());
    api.setMetroServerPort(s.gateway.simulator().port());
    std::string response;
    if (!hnasbench::check(state, api.get(s.resource, response, 9), "warm-up request failed")) {
        return;
    }
    start(state);
    for (auto _ : state) {
        if (!api.get(s.resource, response, 9)) {
            state.SkipWithError("HNASRestAPI::get failed");
            break;
        }
        benchmark::DoNotOptimize(response.data());
    }
    finish(state);
}

void BM_Requests_Raw_KeepAlive(benchmark::State& state) {
    rawLoop(state, hnasbench::RawClient::Mode::KeepAlive);
}

void BM_Requests_Raw_NewHandleSharedCache(benchmark::State& state) {
    rawLoop(state, hnasbench::RawClient::Mode::NewHandleSharedCache);
}

void BM_Requests_Raw_NewConnection(benchmark::State& state) {
    rawLoop(state, hnasbench::RawClient::Mode::NewConnection);
}

void BM_Concurrency_Facade(benchmark::State& state) {
    facadeLoop(state);
}

void BM_Concurrency_Raw_KeepAlive(benchmark::State& state) {
    rawLoop(state, hnasbench::RawClient::Mode::KeepAlive);
}

} // namespace

BENCHMARK(BM_Requests_Facade)
    ->Iterations(hnasbench::iterations(kRequests))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_Requests_Session)
    ->Iterations(hnasbench::iterations(kRequests))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_Requests_Raw_KeepAlive)
    ->Iterations(hnasbench::iterations(kRequests))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_Requests_Raw_NewHandleSharedCache)
    ->Iterations(hnasbench::iterations(kRequests))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_Requests_Raw_NewConnection)
    ->Iterations(hnasbench::iterations(kRequests))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_Concurrency_Facade)
    ->Iterations(hnasbench::iterations(kRequests))
    ->Threads(1)
    ->Threads(8)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_Concurrency_Raw_KeepAlive)
    ->Iterations(hnasbench::iterations(kRequests))
    ->Threads(1)
    ->Threads(8)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

HNASBENCH_MAIN()
