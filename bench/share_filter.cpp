// getFilesystemShares with a name filter over a large share listing, answered
// by the scripted HTTPS test gateway.
//
//   Shares_ListAll/N    the listing of N shares with an empty filter: request,
//                       transport, parse and hand-over, no filtering.
//   Shares_Filter/N     the same listing with N/2 filter names (in upper case,
//                       each matching one listed share, every second one).
//   Shares_ParseOnly/N  HNASJSONGetFileSystemShares::parseResponse and the
//                       copy out of the records, on the same document.
//   ShareFilter_Only/N  the filter step alone, as getFilesystemShares runs it,
//                       on the N parsed records with the same N/2 names.
//
// Shares_Filter minus Shares_ListAll is the filter's cost inside the facade;
// ShareFilter_Only measures it without the noise of the transport.
// N = 20000 is the 1x size (20,000 listed shares, 10,000 filter names); 2x and
// 4x show how it grows.

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "facade/ShareFilter.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/json/HNASJSONShares.h"
#include "support/TestGateway.h"

namespace {

const char* const kListing = "virtual-servers/EVS-OBJ-1/CIFS";

std::string shareName(size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "share-%07zu", index);
    return name;
}

std::string listingDocument(size_t count) {
    std::string document = R"({"filesystemShares":[)";
    document.reserve(count * 300);
    for (size_t index = 0; index < count; ++index) {
        const std::string id = std::to_string(index);
        if (index > 0) {
            document += ",";
        }
        document += R"({"objectId":"SH-)" + id + R"(","shareId":")" + id + R"(","name":")" +
                    shareName(index) +
                    R"(","virtualServerId":1,"filesystemId":"FS-A","path":"\\data\\)" +
                    shareName(index) +
                    R"(","settings":{"accessConfig":"*","snapshotOption":"SHOW_AND_ALLOW_ACCESS",)"
                    R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER",)"
                    R"("localReadCacheOption":"DISABLED"}})";
    }
    document += "]}";
    return document;
}

// Every second listed share, named in upper case.
std::vector<__HNASFileSystemShares> filterFor(size_t listed) {
    std::vector<__HNASFileSystemShares> filter(listed / 2);
    for (size_t index = 0; index < filter.size(); ++index) {
        std::string name = shareName(index * 2);
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        filter[index].name = name;
    }
    return filter;
}

struct Fixture {
    hnastest::TestGateway gateway;
    hnastest::TrustGateway trust{gateway};
    RkManageHNAS hnas{1};
    __HNASVirtualServers evs;

    explicit Fixture(size_t listed) {
        gateway.on("GET", kListing, {200, listingDocument(listed)});
        hnastest::GatewayLogin login;
        hnas.init(login.user, login.password, login.subsystemType, login.managementIP,
                  gateway.host(), gateway.port());
        evs.objectId = "EVS-OBJ-1";
        evs.name = "evs-bench";
    }
};

void BM_Shares_ListAll(benchmark::State& state) {
    const size_t listed = static_cast<size_t>(state.range(0));
    Fixture fixture(listed);
    std::vector<__HNASFileSystemShares> shares;
    for (auto _ : state) {
        state.PauseTiming();
        shares.clear();
        shares.shrink_to_fit();
        state.ResumeTiming();
        if (!fixture.hnas.getFilesystemShares(fixture.evs, "CIFS", shares, false) ||
            shares.size() != listed) {
            state.SkipWithError("listing failed");
            break;
        }
    }
    state.counters["listed"] = static_cast<double>(listed);
}

void BM_Shares_Filter(benchmark::State& state) {
    const size_t listed = static_cast<size_t>(state.range(0));
    Fixture fixture(listed);
    const std::vector<__HNASFileSystemShares> filter = filterFor(listed);
    std::vector<__HNASFileSystemShares> shares;
    for (auto _ : state) {
        state.PauseTiming();
        shares = filter;
        state.ResumeTiming();
        if (!fixture.hnas.getFilesystemShares(fixture.evs, "CIFS", shares, false) ||
            shares.size() != filter.size()) {
            state.SkipWithError("filtered listing failed");
            break;
        }
    }
    state.counters["listed"] = static_cast<double>(listed);
    state.counters["filter"] = static_cast<double>(filter.size());
}

void BM_Shares_ParseOnly(benchmark::State& state) {
    const size_t listed = static_cast<size_t>(state.range(0));
    std::string document = listingDocument(listed);
    for (auto _ : state) {
        HNASJSONGetFileSystemShares message(1);
        if (!message.parseResponse(document)) {
            state.SkipWithError("parse failed");
            break;
        }
        std::vector<__HNASFileSystemShares> shares = message.getFileSystemShares();
        benchmark::DoNotOptimize(shares.data());
    }
    state.counters["listed"] = static_cast<double>(listed);
}

void BM_ShareFilter_Only(benchmark::State& state) {
    const size_t listed = static_cast<size_t>(state.range(0));
    std::string document = listingDocument(listed);
    HNASJSONGetFileSystemShares message(1);
    if (!message.parseResponse(document)) {
        state.SkipWithError("parse failed");
        return;
    }
    const std::vector<__HNASFileSystemShares> parsed = message.getFileSystemShares();
    const std::vector<__HNASFileSystemShares> filter = filterFor(listed);
    std::vector<__HNASFileSystemShares> shares;
    std::vector<__HNASFileSystemShares> result;
    size_t matched = 0;
    for (auto _ : state) {
        state.PauseTiming();
        shares = parsed;
        result.clear();
        state.ResumeTiming();
        result = shareFilterByName(shares, filter, [&](__HNASFileSystemShares&) { ++matched; });
        if (result.size() != filter.size()) {
            state.SkipWithError("wrong number of matches");
            break;
        }
    }
    benchmark::DoNotOptimize(matched);
    state.counters["listed"] = static_cast<double>(listed);
    state.counters["filter"] = static_cast<double>(filter.size());
}

double minimum(const std::vector<double>& values) {
    double result = values.empty() ? 0.0 : values.front();
    for (double value : values) {
        result = value < result ? value : result;
    }
    return result;
}

// The gateway runs in this process: the minimum of several repetitions is the
// least disturbed figure on a busy machine.
#define SHARE_BENCH(function)                                                                      \
    BENCHMARK(function)                                                                            \
        ->Arg(20000)                                                                               \
        ->Arg(40000)                                                                               \
        ->Arg(80000)                                                                               \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->Repetitions(5)                                                                           \
        ->ComputeStatistics("min", minimum)                                                        \
        ->ReportAggregatesOnly(true)

SHARE_BENCH(BM_Shares_ListAll);
SHARE_BENCH(BM_Shares_Filter);
SHARE_BENCH(BM_Shares_ParseOnly);
SHARE_BENCH(BM_ShareFilter_Only);

} // namespace

BENCHMARK_MAIN();
