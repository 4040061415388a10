// Eight jobs at once, each with its own facade, against one simulator: every
// operation succeeds, every result and every log line belongs to its job.
// Run under ThreadSanitizer in CI with a smaller count (HNAS_LOAD_OPS).
// Also: one facade initialised again and again between operations.

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"
#include "reliability/SimHarness.h"

using namespace reltest;

namespace {

constexpr int kThreads = 8;
constexpr unsigned long long kFirstJob = 5000;

// Checks every line as it is written, from any thread: its job identifier is
// one of the running jobs, and a line of level 0 or below that names a job's
// objects ("job5003") carries that job's identifier.
class JobCheckingWriter : public CLogWriterInterface {
public:
    int GetLevel() const override { return 5; }
    void Write(int level, const char* function, int, long long jobId, int, const char* format,
               ...) override {
        va_list args;
        va_start(args, format);
        const std::string text = hnasFormatV(format, args);
        va_end(args);
        ++lines;
        const auto job = static_cast<unsigned long long>(jobId);
        const size_t named = level <= 0 ? text.find("job5") : std::string::npos;
        if (job < kFirstJob || job >= kFirstJob + kThreads ||
            (named != std::string::npos && text.compare(named, 7, "job" + std::to_string(job)))) {
            std::lock_guard<std::mutex> lock(mutex);
            if (problems.size() < 10)
                problems.push_back("[" + std::to_string(jobId) + "] " + function + ": " +
                                   text.substr(0, 300));
        }
    }
    std::atomic<long> lines{0};
    std::mutex mutex;
    std::vector<std::string> problems;
};

// One job: rounds of its operations; it creates and deletes only objects
// named after itself and checks that every record it gets back is its own.
// Returns the failures.
std::vector<std::string> runJob(const hnasgwsim::Simulator& sim, const ArrayIds& ids,
                                unsigned long long job, int rounds) {
    RkManageHNAS hnas(job);
    initFacade(hnas, sim);
    const std::string tag = "job" + std::to_string(job), prefix = "RKHNAS_" + tag + "_";
    auto evs = virtualServer(ids.evsProdObject, "evs-prod");
    std::string name; // of this round's objects
    const std::vector<std::function<bool()>> operations = {
        [&] {
            __HNASStorageSubSystemInfo info;
            __HNASVirtualServers server;
            return hnas.getFileDevice(info) && info.name == "hnas-sim-cluster" &&
                   hnas.getVirtualServerInfo("192.0.2.31", server) && server.name == "evs-backup";
        },
        [&] {
            std::string id;
            unsigned long long evsId = 0;
            return hnas.getFileSystemID("fs-engineering", id) && id == ids.fsEngineering &&
                   hnas.getEVSIdAssociatedWithFileSystemID(ids.fsArchive, evsId) && evsId == 2;
        },
        [&] {
            __HNASFileSystemSnapshot snap;
            return hnas.createFileSystemSnapshot(prefix + name, ids.fsFinance, name, snap) &&
                   snap.displayName == prefix + name && snap.filesystemId == ids.fsFinance;
        },
        [&] {
            std::vector<__HNASFileSystemSnapshot> snaps;
            bool ok =
                hnas.getFileSystemSnapshots(ids.fsFinance, prefix, snaps) && snaps.size() == 1;
            for (const auto& s : snaps)
                ok = ok && s.displayName == prefix + name;
            return ok;
        },
        [&] {
            __HNASFileSystemSnapshot snap;
            snap.displayName = prefix + name;
            snap.filesystemId = ids.fsFinance;
            return hnas.isSnapshotPresent(ids.fsFinance, snap.displayName, prefix) &&
                   hnas.deleteFileSystemSnapshot(snap, prefix);
        },
        [&] {
            __HNASFileSystemShares share;
            return hnas.createFileSystemShare(name, "1", ids.fsFinance, "/finance", "NFS", share,
                                              false) &&
                   share.name == name && hnas.isSharePresent(name, evs, "NFS") &&
                   hnas.deleteFileSystemShare(name, evs, "NFS");
        },
        [&] {
            std::vector<__HNASFileSystemDirectories> dirs;
            std::vector<__HNASCIFSAuthentication> entries;
            return hnas.getFileSystemDirectoriesUnderPath(ids.fsFinance, "/x/y/finance", dirs) &&
                   dirs.size() == 2 && hnas.getCIFSAuthentication(ids.cifsFinanceShare, entries) &&
                   !entries.empty();
        },
    };
    std::vector<std::string> failures;
    for (int round = 0; round < rounds; ++round) {
        name = tag + "_" + std::to_string(round);
        for (size_t i = 0; i < operations.size(); ++i)
            if (!operations[i]() && failures.size() < 10)
                failures.push_back(name + ": operation " + std::to_string(i));
    }
    return failures;
}

TEST(Load, EightJobsInParallelKeepTheirResultsAndLogLinesApart) {
    auto sim = startSimulator();
    RKLibCurlOptions o = fastOptions(*sim);
    o.requestTimeoutMs = 30000; // a loaded machine, sanitizers: not the subject here
    o.connectTimeoutMs = 10000;
    ClientOptions options(o);
    auto writer = boost::make_shared<JobCheckingWriter>();
    SetLogWriter(writer);
    const char* count = std::getenv("HNAS_LOAD_OPS"); // operations per job, about
    const int rounds = std::max(1, (count ? std::atoi(count) : 500) / 10);
    const ArrayIds ids = arrayIds();
    std::vector<std::vector<std::string>> failures(kThreads + 1); // and the writer's problems
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { failures[t] = runJob(*sim, ids, kFirstJob + t, rounds); });
    for (auto& th : threads)
        th.join();
    SetLogWriter(nullptr);
    failures.back() = writer->problems;
    for (const auto& job : failures)
        for (const auto& f : job)
            ADD_FAILURE() << f;
    EXPECT_GT(writer->lines.load(), 10L * kThreads * rounds);
    // Every job removed what it made: the array holds only its own objects.
    EXPECT_EQ(sim->model()->fileSystems.at(0).snapshots.size(), 3u);
    EXPECT_EQ(sim->model()->virtualServers.at(0).shares.size(), 4u);
}

TEST(Load, AFacadeInitialisedAgainBetweenOperationsReleasesEachSession) {
    // One certificate for both gateways, so that one CA file trusts both.
    const Certificate certificate("localhost", "IP:127.0.0.1,DNS:localhost");
    auto sim = startSimulator(withCertificate(certificate));
    auto other = startSimulator(withCertificate(certificate));
    ClientOptions options(fastOptions(*sim));
    RkManageHNAS hnas(kFirstJob);
    int ok = 0;
    for (int i = 0; i < 60; ++i) {
        initFacade(hnas, i % 2 ? *other : *sim);
        if (i % 3 == 0)
            initFacade(hnas, i % 2 ? *other : *sim); // a session that never sent anything
        std::vector<__HNASFileSystemInfo> filesystems;
        __HNASFileSystemSnapshot snap;
        ok += hnas.getFileSystemsInfo("", filesystems) && filesystems.size() == 4;
        ok += hnas.createFileSystemSnapshot("RKHNAS_r" + std::to_string(i), arrayIds().fsFinance,
                                            "r", snap);
    }
    EXPECT_EQ(ok, 120);
    EXPECT_EQ(sim->requestLog().size() + other->requestLog().size(), 120u);
}

} // namespace
