// Throughput of the response readers on large generated listings, next to a
// bare simdjson DOM parse of the same bytes. Both read the text where it lies,
// with simdjson's padding room behind it, as the REST session hands a body
// over.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <tuple>

#include <simdjson.h>

#include "hnasmgmt/json/HNASJSON.h"

namespace {

// {"<key>":[<item 0>,...]}: `count` items, each the text that `format` and
// the values `values(i)` give for item i.
template <typename Values>
std::string listing(const char* key, int count, const char* format, Values values) {
    std::string doc = std::string("{\"") + key + "\":[";
    char item[1024];
    for (int i = 0; i < count; ++i) {
        std::apply([&](auto... v) { std::snprintf(item, sizeof item, format, v...); }, values(i));
        doc += (i ? "," : "") + std::string(item);
    }
    return doc + "]}";
}

std::string fileSystems(int count) {
    return listing("filesystems", count,
                   "{\"objectId\":\"3037353a38453841%08X\",\"label\":\"fs-data-%d\","
                   "\"filesystemId\":\"075E8E1A%08X\",\"status\":\"MOUNTED\","
                   "\"capacity\":%llu,\"usedCapacity\":%llu,\"freeCapacity\":%llu,"
                   "\"isReadOnly\":%s,\"virtualServerId\":%d,\"blockSize\":4096,"
                   "\"storagePoolId\":\"pool-%d\"}",
                   [](int i) {
                       return std::make_tuple(i, i, i, 10995116277760ull + i, 4398046511104ull + i,
                                              6597069766656ull, i % 7 ? "false" : "true", i % 4,
                                              i % 3);
                   });
}

std::string shares(int count) {
    return listing("filesystemShares", count,
                   "{\"objectId\":\"736861726530303%08X\",\"shareId\":\"a1b2c3d4-%08X\","
                   "\"name\":\"projects-%d\",\"virtualServerId\":%d,"
                   "\"filesystemId\":\"075E8E1A%08X\",\"path\":\"\\\\projects\\\\p%d\","
                   "\"settings\":{\"accessConfig\":\"10.0.0.0/8(rw)\",\"comment\":\"team share\","
                   "\"userHomeDirectoryPath\":\"\",\"cacheOption\":\"CACHING_OFF\","
                   "\"snapshotOption\":\"SHOW_AND_ALLOW_ACCESS\","
                   "\"transferToReplicationTargetSetting\":\"DO_NOT_TRANSFER\","
                   "\"userHomeDirectoryMode\":\"OFF\",\"localReadCacheOption\":\"DISABLED\","
                   "\"isFollowSymbolicLinks\":false,\"isFollowGlobalSymbolicLinks\":false,"
                   "\"isABEEnabled\":true,\"isForceFileNameToLowercase\":false,"
                   "\"isScanForVirusesEnabled\":false,\"maxConcurrentUsers\":-1}}",
                   [](int i) { return std::make_tuple(i, i, i, i % 4 + 1, i % 100, i); });
}

std::string snapshots(int count) {
    return listing("snapshots", count,
                   "{\"objectId\":\"736e617073686f74%08X\",\"displayName\":\"nightly-%d\","
                   "\"filesystemId\":\"075E8E1A%08X\",\"state\":\"READY\","
                   "\"creationReason\":\"USER\",\"creationTime\":%d,\"sizeInBytes\":%d}",
                   [](int i) { return std::make_tuple(i, i, i % 100, 1764547200 + i, i * 4096); });
}

std::string directories(int count) {
    return listing("directories", count,
                   "{\"objectId\":\"ZGlyZWN0b3J5%08X\",\"displayName\":[\"dir-%d\"],"
                   "\"type\":\"DIRECTORY\",\"owner\":\"root\",\"mode\":\"0755\"}",
                   [](int i) { return std::make_tuple(i, i); });
}

// A copy of one of the documents with the padding room behind its text.
std::string document(int which) {
    static const std::string docs[] = {fileSystems(10000), shares(20000), snapshots(50000),
                                       directories(20000)};
    std::string doc;
    doc.reserve(docs[which].size() + simdjson::SIMDJSON_PADDING);
    doc = docs[which];
    return doc;
}

void bareParse(benchmark::State& state, int which) {
    const std::string doc = document(which);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(doc.data(), doc.size(), false).get(root) != simdjson::SUCCESS) {
            state.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// Times parseResponse alone: the message is built and destroyed, with the
// records it holds, outside the timed region.
template <typename Message, typename Records>
void messageParse(benchmark::State& state, int which, Records (Message::*get)(),
                  std::size_t expected) {
    std::string doc = document(which);
    for (auto _ : state) {
        state.PauseTiming();
        {
            Message message(1);
            state.ResumeTiming();
            const bool ok = message.parseResponse(doc);
            state.PauseTiming();
            if (!ok || (message.*get)().size() != expected) {
                state.SkipWithError("parseResponse failed");
                break;
            }
        }
        state.ResumeTiming();
    }
    state.counters["records"] = static_cast<double>(expected);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// BM_<name>_Bare and BM_<name>_Parse for document `which`, whose records
// `get` hands over.
template <typename Message, typename Records>
int registerListing(const char* name, int which, Records (Message::*get)(), std::size_t expected) {
    const std::string prefix = std::string("BM_") + name;
    benchmark::RegisterBenchmark((prefix + "_Bare").c_str(), bareParse, which)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "_Parse").c_str(), messageParse<Message, Records>, which,
                                 get, expected)
        ->Unit(benchmark::kMillisecond);
    return 0;
}

[[maybe_unused]] const int registered[] = {
    registerListing("FileSystems", 0, &HNASJSONGetFileSystems::getFileSystems, 10000),
    registerListing("Shares", 1, &HNASJSONGetFileSystemShares::getFileSystemShares, 20000),
    registerListing("Snapshots", 2, &HNASJSONGetFileSystemSnapshots::getFileSystemSnapshots, 50000),
    registerListing("Directories", 3, &HNASJSONGetFileSystemDirectories::getFileSystemDirectories,
                    20000),
};

} // namespace

BENCHMARK_MAIN();
