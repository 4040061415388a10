#pragma once

// Shared pieces of the benchmark programs:
//
//  - smoke runs: with HNASBENCH_SMOKE=1 in the environment every benchmark
//    that fixes its iteration count runs one iteration (CI builds and starts
//    every program without spending minutes on it);
//  - Gateway: the gateway simulator in-process on 127.0.0.1, loaded with an
//    array, trusted by the library's HTTP client, and a facade wired to it;
//  - RawClient: the baselines, libcurl used directly with the same requests,
//    headers and TLS verification as the library's client, either over one
//    kept connection (the limit), with a new connection and a full TLS
//    handshake per request, or with a new easy handle per request that shares
//    the connection and TLS-session caches;
//  - HNASBENCH_MAIN: the program's main, which also installs the host log
//    writer that every facade benchmark runs under (level 0, to /dev/null:
//    the lines of level -1 and 0 are formatted and written, the wire dumps of
//    levels 4 and 5 are not).

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <boost/make_shared.hpp>

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "hnasgwsim/Simulator.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace hnasbench {

// True in a smoke run (HNASBENCH_SMOKE set and not "0").
inline bool smokeRun() {
    static const bool smoke = [] {
        const char* value = std::getenv("HNASBENCH_SMOKE");
        return value != nullptr && *value != '\0' && std::string(value) != "0";
    }();
    return smoke;
}

// A fixed iteration count, one in a smoke run.
inline benchmark::IterationCount iterations(benchmark::IterationCount full) {
    return smokeRun() ? 1 : full;
}

// A size, shrunk in a smoke run so that CI only proves the program works.
inline int size(int full, int smoke) {
    return smokeRun() ? smoke : full;
}

// A directory for the process's gateway certificate, removed at exit. Every
// simulator of the process serves the same certificate, so that the trust
// setting of the library's client stays the same from one to the next.
class CertificateDirectory {
public:
    CertificateDirectory() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/hnasbench.XXXXXX";
        if (::mkdtemp(&pattern[0]) == nullptr) {
            throw std::runtime_error("cannot create a directory for the certificate");
        }
        path_ = pattern;
    }
    ~CertificateDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    CertificateDirectory(const CertificateDirectory&) = delete;
    CertificateDirectory& operator=(const CertificateDirectory&) = delete;

    static const std::string& path() {
        static CertificateDirectory directory;
        return directory.path_;
    }

private:
    std::string path_;
};

// The gateway simulator with one array, started, its certificate trusted by
// every RKLibCurl client started afterwards.
class Gateway {
public:
    explicit Gateway(hnasgwsim::ArrayState array) {
        hnasgwsim::SimulatorOptions options;
        options.array = std::move(array);
        options.stateDir = CertificateDirectory::path();
        // Idle connections survive the pauses between benchmarks.
        options.keepAliveTimeoutSec = 300;
        simulator_ = std::make_unique<hnasgwsim::Simulator>(std::move(options));
        simulator_->start();
        RKLibCurlOptions tls = RKLibCurl::getOptions();
        tls.caFile = simulator_->caFile();
        RKLibCurl::setOptions(tls);
    }

    hnasgwsim::Simulator& simulator() { return *simulator_; }
    const hnasgwsim::Simulator& simulator() const { return *simulator_; }

    // Full URL of a resource below the storage root.
    std::string url(const std::string& resource) const {
        return simulator_->url() + "/v4/storage/" + resource;
    }

    // Initialises a facade against this gateway.
    void connect(RkManageHNAS& hnas) const {
        const hnasgwsim::Credentials& c = simulator_->credentials();
        hnas.init(c.user, c.password, c.subsystemType, c.managementIPs, simulator_->host(),
                  simulator_->port());
    }

    // Drops the simulator's request log (it holds every request).
    void clearLog() { simulator_->clearRequestLog(); }

    // Connections the logged requests came over (told apart by client port),
    // and the number of logged requests.
    std::pair<size_t, size_t> connectionsAndRequests(double* handlerUs = nullptr) const {
        const std::vector<hnasgwsim::RequestRecord> log = simulator_->requestLog();
        std::set<int> ports;
        double total = 0;
        for (const hnasgwsim::RequestRecord& record : log) {
            ports.insert(record.remotePort);
            total += record.durationMs;
        }
        if (handlerUs != nullptr) {
            *handlerUs = log.empty() ? 0.0 : total * 1000.0 / static_cast<double>(log.size());
        }
        return {ports.size(), log.size()};
    }

    // Reports the connections and requests logged since the last clearLog
    // as counters of the benchmark, then clears the log.
    void reportConnections(benchmark::State& state) {
        double handlerUs = 0;
        const std::pair<size_t, size_t> counts = connectionsAndRequests(&handlerUs);
        state.counters["connections"] = static_cast<double>(counts.first);
        state.counters["server_us"] = handlerUs;
        state.counters["served"] = static_cast<double>(counts.second);
        clearLog();
    }

private:
    std::unique_ptr<hnasgwsim::Simulator> simulator_;
};

// libcurl directly: the same headers and the same TLS verification as the
// library's client, nothing else.
class RawClient {
public:
    enum class Mode {
        KeepAlive,            // one easy handle, one connection for every request
        NewConnection,        // a new easy handle per request: TCP + full TLS handshake
        NewHandleSharedCache, // a new easy handle per request sharing connections and TLS sessions
    };

    RawClient(const Gateway& gateway, Mode mode) : mode_(mode) {
        const hnasgwsim::Simulator& sim = gateway.simulator();
        const hnasgwsim::Credentials& c = sim.credentials();
        caFile_ = sim.caFile();
        const std::string lines[] = {
            "Content-Type: application/json",      "X-Subsystem-User:" + c.user,
            "X-Subsystem-Password:" + c.password,  "X-Subsystem-Type:" + c.subsystemType,
            "X-Management-IPs:" + c.managementIPs, "Expect:"};
        for (const std::string& line : lines) {
            headers_ = curl_slist_append(headers_, line.c_str());
        }
        if (mode_ == Mode::NewHandleSharedCache) {
            share_ = curl_share_init();
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        }
        if (mode_ == Mode::KeepAlive) {
            handle_ = curl_easy_init();
            configure(handle_);
        }
    }

    ~RawClient() {
        if (handle_ != nullptr) {
            curl_easy_cleanup(handle_);
        }
        if (share_ != nullptr) {
            curl_share_cleanup(share_);
        }
        curl_slist_free_all(headers_);
    }

    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // One GET; true when the answer is 200 with a body.
    // GETs every URL in turn; false at the first that fails.
    bool getAll(const std::vector<std::string>& urls) {
        for (const std::string& url : urls) {
            if (!get(url)) {
                return false;
            }
        }
        return true;
    }

    bool get(const std::string& url) {
        body_.clear();
        CURL* handle = handle_;
        if (mode_ != Mode::KeepAlive) {
            handle = curl_easy_init();
            configure(handle);
        }
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        const CURLcode rc = curl_easy_perform(handle);
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        if (mode_ != Mode::KeepAlive) {
            curl_easy_cleanup(handle);
        }
        return rc == CURLE_OK && status == 200 && !body_.empty();
    }

    const std::string& body() const { return body_; }

private:
    static size_t collect(char* data, size_t size, size_t count, void* user) {
        static_cast<std::string*>(user)->append(data, size * count);
        return size * count;
    }

    void configure(CURL* handle) {
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(handle, CURLOPT_CAINFO, caFile_.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &RawClient::collect);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body_);
        if (share_ != nullptr) {
            curl_easy_setopt(handle, CURLOPT_SHARE, share_);
        }
    }

    Mode mode_;
    std::string caFile_;
    curl_slist* headers_ = nullptr;
    CURLSH* share_ = nullptr;
    CURL* handle_ = nullptr;
    std::string body_;
};

// Marks a benchmark as failed when an operation did not succeed.
inline bool check(benchmark::State& state, bool ok, const char* what) {
    if (!ok) {
        state.SkipWithError(what);
    }
    return ok;
}

// The options of a generated array without directories.
inline hnasgwsim::GenerateOptions arrayOptions(int virtualServers, int fileSystems, int shares,
                                               int snapshotsPerFileSystem) {
    hnasgwsim::GenerateOptions options;
    options.virtualServers = virtualServers;
    options.fileSystems = fileSystems;
    options.shares = shares;
    options.snapshotsPerFileSystem = snapshotsPerFileSystem;
    options.directoriesPerFileSystem = 0;
    return options;
}

using Clock = std::chrono::steady_clock;

inline double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Runs facadeRun and rawRun alternately, each once per iteration, in turns
// that swap their order, and reports their mean times ("facade_us",
// "raw_us") and ratio ("ratio").
template <typename FacadeRun, typename RawRun>
void paired(benchmark::State& state, FacadeRun facadeRun, RawRun rawRun, const char* facadeFailed,
            const char* rawFailed) {
    Clock::duration facadeTime{};
    Clock::duration rawTime{};
    bool facadeFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool facadeTurn = (turn == 0) == facadeFirst;
            const Clock::time_point start = Clock::now();
            const bool ok = facadeTurn ? facadeRun() : rawRun();
            (facadeTurn ? facadeTime : rawTime) += Clock::now() - start;
            if (!ok) {
                state.SkipWithError(facadeTurn ? facadeFailed : rawFailed);
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

// Registration, for BENCHMARK(...)->Apply(...): a fixed iteration count (one
// in a smoke run), real time, reported in `unit`.
template <benchmark::IterationCount count, benchmark::TimeUnit unit>
void fixedRuns(benchmark::internal::Benchmark* b) {
    b->Iterations(iterations(count))->Unit(unit)->UseRealTime();
}

// The host's log writer for the facade benchmarks: level 0 to /dev/null, or
// the level in HNASBENCH_LOG_LEVEL ("off": no writer at all).
inline void installHostLog() {
    const char* level = std::getenv("HNASBENCH_LOG_LEVEL");
    if (level != nullptr && std::string(level) == "off") {
        g_ptrLogWriter.reset();
        return;
    }
    const int value = level != nullptr && *level != '\0' ? std::atoi(level) : 0;
    g_ptrLogWriter = boost::make_shared<StreamLogWriter>(value, "/dev/null");
}

inline int runMain(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    installHostLog();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_ptrLogWriter.reset();
    return 0;
}

} // namespace hnasbench

#define HNASBENCH_MAIN()                                                                           \
    int main(int argc, char** argv) {                                                              \
        return ::hnasbench::runMain(argc, argv);                                                   \
    }
