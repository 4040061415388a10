// Throughput of the response readers on large generated listings (_Parse),
// next to a bare simdjson DOM parse of the same bytes (_Bare) and a
// straightforward simdjson DOM reader that copies every field the library
// reads into the same records (_Dom), the yardstick the readers are held to.
// The counters "dom_ratio" and "bare_ratio" of _Parse are its processor time
// over the DOM reader's and over the bare parse's, run side by side in the
// same iterations. All of them read the text where it lies, with simdjson's
// padding room behind it, as the REST session hands a body over.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

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

// Adds the processor time of the thread over the region it spans to
// `total`, in seconds (other processes on the machine count less than in
// the wall-clock time).
class Timed {
public:
    explicit Timed(double& total) : total_(total), start_(now()) {}
    ~Timed() { total_ += now() - start_; }

private:
    static double now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
    double& total_;
    double start_;
};

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

// --- the straightforward DOM reader ---

using simdjson::dom::element;
using simdjson::dom::object;

bool domText(const object& o, const char* key, std::string& out) {
    std::string_view v;
    if (o[key].get(v) != simdjson::SUCCESS) {
        return false;
    }
    out.assign(v.data(), v.size());
    return true;
}

template <typename T> bool domNumber(const object& o, const char* key, T& out) {
    element e;
    if (o[key].get(e) != simdjson::SUCCESS) {
        return false;
    }
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    if (e.get(i) == simdjson::SUCCESS) {
        out = static_cast<T>(i);
    } else if (e.get(u) == simdjson::SUCCESS) {
        out = static_cast<T>(u);
    } else if (e.get(d) == simdjson::SUCCESS) {
        out = static_cast<T>(d);
    } else {
        return false;
    }
    return true;
}

bool domRecord(const object& o, __HNASFileSystemInfo& r) {
    return o["isReadOnly"].get(r.isReadOnly) == simdjson::SUCCESS &&
           domNumber(o, "capacity", r.capacity) && domNumber(o, "freeCapacity", r.freeCapacity) &&
           domNumber(o, "usedCapacity", r.usedCapacity) &&
           domText(o, "filesystemId", r.filesystemId) && domText(o, "label", r.label) &&
           domText(o, "objectId", r.objectId) && domText(o, "status", r.status);
}

bool domRecord(const object& o, __HNASFileSystemSnapshot& r) {
    return domText(o, "displayName", r.displayName) && domText(o, "filesystemId", r.filesystemId) &&
           domText(o, "objectId", r.objectId) && domText(o, "state", r.state) &&
           domText(o, "creationReason", r.creationReason) &&
           domNumber(o, "creationTime", r.creationTime);
}

bool domRecord(const object& o, __HNASFileSystemShares& r) {
    object settings;
    if (o["settings"].get(settings) != simdjson::SUCCESS) {
        return false;
    }
    domText(settings, "accessConfig", r.settings.accessConfig);
    domText(settings, "localReadCacheOption", r.settings.localReadCacheOption);
    domText(settings, "snapshotOption", r.settings.snapshotOption);
    domText(settings, "transferToReplicationTargetSetting",
            r.settings.transferToReplicationTargetSetting);
    return domNumber(o, "virtualServerId", r.virtualServerId) &&
           domText(o, "filesystemId", r.filesystemId) && domText(o, "objectId", r.objectId) &&
           domText(o, "shareId", r.shareId) && domText(o, "name", r.name) &&
           domText(o, "path", r.path);
}

bool domRecord(const object& o, __HNASFileSystemDirectories& r) {
    if (!domText(o, "objectId", r.objectId)) {
        return false;
    }
    simdjson::dom::array names;
    if (o["displayName"].get(names) == simdjson::SUCCESS && names.size() > 0) {
        r.displayName.emplace_back();
        std::string_view v;
        if (names.at(0).get(v) != simdjson::SUCCESS) {
            return false;
        }
        r.displayName.back().assign(v.data(), v.size());
    }
    return true;
}

template <typename Record>
bool domListing(simdjson::dom::parser& parser, const std::string& doc, const char* key,
                std::vector<Record>& records) {
    element root;
    simdjson::dom::array items;
    if (parser.parse(doc.data(), doc.size(), false).get(root) != simdjson::SUCCESS ||
        root[key].get(items) != simdjson::SUCCESS) {
        return false;
    }
    records.reserve(items.size());
    for (element item : items) {
        object o;
        records.emplace_back();
        if (item.get(o) != simdjson::SUCCESS || !domRecord(o, records.back())) {
            records.clear();
            return false;
        }
    }
    return true;
}

template <typename Record>
void domRead(benchmark::State& state, int which, const char* key, std::size_t expected) {
    const std::string doc = document(which);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::vector<Record> records;
            state.ResumeTiming();
            const bool ok = domListing(parser, doc, key, records);
            state.PauseTiming();
            if (!ok || records.size() != expected) {
                state.SkipWithError("DOM reader failed");
                break;
            }
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// Times parseResponse alone: the message is built and destroyed, with the
// records it holds, outside the timed region. Outside it too, each iteration
// runs the bare parse and the DOM reader on the same text, so that the ratios
// compare runs made side by side (the processor time of each).
template <typename Message, typename Record>
void messageParse(benchmark::State& state, int which, const char* key,
                  std::vector<Record> (Message::*get)(), std::size_t expected) {
    std::string doc = document(which);
    simdjson::dom::parser bare;
    simdjson::dom::parser dom;
    double ours = 0, bareTotal = 0, domTotal = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The bare parse first, so that each reader follows a pass over the text.
        simdjson::dom::element root;
        bool ok = false;
        {
            Timed timed(bareTotal);
            ok = bare.parse(doc.data(), doc.size(), false).get(root) == simdjson::SUCCESS;
        }
        {
            Message message(1);
            state.ResumeTiming();
            {
                Timed timed(ours);
                ok = message.parseResponse(doc) && ok;
            }
            state.PauseTiming();
            ok = ok && (message.*get)().size() == expected;
        }
        {
            std::vector<Record> records;
            Timed timed(domTotal);
            ok = ok && domListing(dom, doc, key, records);
        }
        if (!ok) {
            state.SkipWithError("a reader failed");
            break;
        }
        state.ResumeTiming();
    }
    state.counters["records"] = static_cast<double>(expected);
    if (bareTotal > 0 && domTotal > 0) {
        state.counters["bare_ratio"] = ours / bareTotal;
        state.counters["dom_ratio"] = ours / domTotal;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// BM_<name>_Bare, BM_<name>_Dom and BM_<name>_Parse for document `which`,
// whose records (under `key`) `get` hands over.
template <typename Message, typename Record>
int registerListing(const char* name, int which, const char* key,
                    std::vector<Record> (Message::*get)(), std::size_t expected) {
    const std::string prefix = std::string("BM_") + name;
    benchmark::RegisterBenchmark((prefix + "_Bare").c_str(), bareParse, which)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "_Dom").c_str(), domRead<Record>, which, key, expected)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "_Parse").c_str(), messageParse<Message, Record>, which,
                                 key, get, expected)
        ->Unit(benchmark::kMillisecond);
    return 0;
}

[[maybe_unused]] const int registered[] = {
    registerListing("FileSystems", 0, "filesystems", &HNASJSONGetFileSystems::getFileSystems,
                    10000),
    registerListing("Shares", 1, "filesystemShares",
                    &HNASJSONGetFileSystemShares::getFileSystemShares, 20000),
    registerListing("Snapshots", 2, "snapshots",
                    &HNASJSONGetFileSystemSnapshots::getFileSystemSnapshots, 50000),
    registerListing("Directories", 3, "directories",
                    &HNASJSONGetFileSystemDirectories::getFileSystemDirectories, 20000),
};

} // namespace

BENCHMARK_MAIN();
