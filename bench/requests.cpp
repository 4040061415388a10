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

#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
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

// --- paired measurements ---
//
// The machine is shared: a load that comes and goes between two benchmarks
// skews their ratio. The paired benchmarks alternate the figure and its
// baseline request by request (or phase by phase), so both see the same load;
// the ratios in the figures table come from them.

using hnasbench::Clock;
using hnasbench::microseconds;

// Paired_Requests: each iteration is one facade request and one raw
// keep-alive request for the same resource, in alternating order.
void BM_Paired_Requests(benchmark::State& state) {
    Setup& s = setup();
    RkManageHNAS hnas(1);
    s.gateway.connect(hnas);
    hnasbench::RawClient raw(s.gateway, hnasbench::RawClient::Mode::KeepAlive);
    std::vector<__HNASFileSystemInfo> filesystems;
    if (!hnasbench::check(state,
                          hnas.getFileSystemsInfo(s.filesystemId, filesystems) && raw.get(s.url),
                          "warm-up request failed")) {
        return;
    }
    hnasbench::paired(
        state,
        [&] {
            return hnas.getFileSystemsInfo(s.filesystemId, filesystems) && filesystems.size() == 1;
        },
        [&] { return raw.get(s.url); }, "request failed", "request failed");
    s.gateway.reportConnections(state);
}

// CPU time of the whole process (client and simulator threads), in µs.
double processCpuUs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

// A pool of threads, each with its own facade and its own raw client, that
// run a number of requests on command.
class Pool {
public:
    Pool(Setup& s, int threads) : setup_(s) {
        for (int i = 0; i < threads; ++i) {
            workers_.emplace_back([this, i] { work(i); });
        }
        // Every worker opens its connections before any phase is timed.
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return ready_ == static_cast<int>(workers_.size()); });
    }
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            ++generation_;
        }
        go_.notify_all();
        for (std::thread& t : workers_) {
            t.join();
        }
    }

    // Runs `requests` requests on each of the first `threads` workers, facade
    // or raw; returns the wall time of the phase, or a negative value when a
    // request failed.
    double phase(int threads, int requests, bool facade, double* cpuUs = nullptr) {
        const double cpuStart = processCpuUs();
        std::unique_lock<std::mutex> lock(mutex_);
        active_ = threads;
        requests_ = requests;
        facade_ = facade;
        pending_ = threads;
        failed_ = false;
        const Clock::time_point start = Clock::now();
        ++generation_;
        go_.notify_all();
        done_.wait(lock, [&] { return pending_ == 0; });
        const double elapsed = microseconds(Clock::now() - start);
        if (cpuUs != nullptr) {
            *cpuUs += processCpuUs() - cpuStart;
        }
        return failed_ ? -1.0 : elapsed;
    }

private:
    void work(int index) {
        RkManageHNAS hnas(static_cast<unsigned long long>(index + 1));
        setup_.gateway.connect(hnas);
        hnasbench::RawClient raw(setup_.gateway, hnasbench::RawClient::Mode::KeepAlive);
        std::vector<__HNASFileSystemInfo> filesystems;
        bool ok = hnas.getFileSystemsInfo(setup_.filesystemId, filesystems) && raw.get(setup_.url);
        std::unique_lock<std::mutex> lock(mutex_);
        failed_ = failed_ || !ok;
        ++ready_;
        done_.notify_all();
        unsigned long long seen = generation_;
        for (;;) {
            go_.wait(lock, [&] { return generation_ != seen; });
            seen = generation_;
            if (stop_) {
                return;
            }
            if (index >= active_) {
                continue;
            }
            const int requests = requests_;
            const bool facade = facade_;
            lock.unlock();
            ok = true;
            for (int i = 0; i < requests && ok; ++i) {
                ok = facade ? hnas.getFileSystemsInfo(setup_.filesystemId, filesystems)
                            : raw.get(setup_.url);
            }
            lock.lock();
            failed_ = failed_ || !ok;
            if (--pending_ == 0) {
                done_.notify_all();
            }
        }
    }

    Setup& setup_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable go_;
    std::condition_variable done_;
    unsigned long long generation_ = 0;
    int ready_ = 0;
    int active_ = 0;
    int requests_ = 0;
    int pending_ = 0;
    bool facade_ = true;
    bool failed_ = false;
    bool stop_ = false;
};

// Paired_Concurrency: each iteration runs four phases back to back - one
// thread and eight threads, through the facade and raw, in an order that
// reverses from one iteration to the next - each thread making
// kPhaseRequests requests; the counters are the aggregate request rates and
// their ratios.
void BM_Paired_Concurrency(benchmark::State& state) {
    constexpr int kThreads = 8;
    const int kPhaseRequests = hnasbench::smokeRun() ? 2 : 400;
    Setup& s = setup();
    Pool pool(s, kThreads);
    double facade1 = 0;
    double facade8 = 0;
    double raw1 = 0;
    double raw8 = 0;
    double cpu[4] = {0, 0, 0, 0}; // process CPU per phase kind, summed
    bool forward = true;
    for (auto _ : state) {
        // The phase order reverses from one iteration to the next, so that a
        // load that rises or falls over an iteration weighs on every phase alike.
        double t[4] = {0, 0, 0, 0}; // facade 1, facade 8, raw 1, raw 8
        for (int step = 0; step < 4; ++step) {
            const int phase = forward ? step : 3 - step;
            t[phase] =
                pool.phase(phase % 2 == 0 ? 1 : kThreads, kPhaseRequests, phase < 2, &cpu[phase]);
        }
        forward = !forward;
        for (double v : t) {
            if (v < 0) {
                state.SkipWithError("request failed");
                return;
            }
        }
        facade1 += t[0];
        facade8 += t[1];
        raw1 += t[2];
        raw8 += t[3];
    }
    const double n = static_cast<double>(state.iterations()) * kPhaseRequests;
    state.counters["facade_1_rps"] = n / facade1 * 1e6;
    state.counters["facade_8_rps"] = n * kThreads / facade8 * 1e6;
    state.counters["raw_1_rps"] = n / raw1 * 1e6;
    state.counters["raw_8_rps"] = n * kThreads / raw8 * 1e6;
    state.counters["facade_ratio"] = (n * kThreads / facade8) / (n / facade1);
    state.counters["raw_ratio"] = (n * kThreads / raw8) / (n / raw1);
    // CPU time (client and simulator) per request: a lock that threads queue
    // on shows as CPU per request that rises from one thread to eight.
    state.counters["facade_1_cpu_us"] = cpu[0] / n;
    state.counters["facade_8_cpu_us"] = cpu[1] / (n * kThreads);
    state.counters["raw_1_cpu_us"] = cpu[2] / n;
    state.counters["raw_8_cpu_us"] = cpu[3] / (n * kThreads);
    s.gateway.clearLog();
}

} // namespace

BENCHMARK(BM_Requests_Facade)->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>);
BENCHMARK(BM_Requests_Session)->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>);
BENCHMARK(BM_Requests_Raw_KeepAlive)
    ->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>);
BENCHMARK(BM_Requests_Raw_NewHandleSharedCache)
    ->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>);
BENCHMARK(BM_Requests_Raw_NewConnection)
    ->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>);
BENCHMARK(BM_Concurrency_Facade)
    ->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>)
    ->Threads(1)
    ->Threads(8);
BENCHMARK(BM_Concurrency_Raw_KeepAlive)
    ->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>)
    ->Threads(1)
    ->Threads(8);

BENCHMARK(BM_Paired_Requests)->Apply(hnasbench::fixedRuns<kRequests, benchmark::kMicrosecond>);
BENCHMARK(BM_Paired_Concurrency)->Apply(hnasbench::fixedRuns<10, benchmark::kMillisecond>);

HNASBENCH_MAIN()
