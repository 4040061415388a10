// Eight jobs at once, each with its own facade, against one simulator: every
// operation succeeds, every result and every log line belongs to its job.
// Run under ThreadSanitizer in CI with a smaller count (HNAS_LOAD_OPS).
// Also: one facade initialised again and again between operations.

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"
#include "reliability/SimHarness.h"

using namespace reltest;

namespace {

constexpr int kThreads = 8;
constexpr unsigned long long kFirstJob = 5000;

int operationsPerThread() {
    const char* value = std::getenv("HNAS_LOAD_OPS");
    const int n = value ? std::atoi(value) : 0;
    return n > 0 ? n : 500;
}

// Checks every line as it is written, from any thread: its job identifier is
// one of the running jobs, and a line that names a job's objects ("job5003")
// carries that job's identifier.
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
        const unsigned long long job = static_cast<unsigned long long>(jobId);
        std::string problem;
        if (job < kFirstJob || job >= kFirstJob + kThreads) {
            problem = "foreign job identifier";
        } else if (level <= 0) { // not the dumps of listings shared by every job
            ++named;
            const size_t at = text.find("job5");
            if (at != std::string::npos && text.compare(at, 7, "job" + std::to_string(job)) != 0)
                problem = "another job's object";
        }
        if (!problem.empty()) {
            std::lock_guard<std::mutex> lock(mutex);
            if (problems.size() < 10)
                problems.push_back(problem + ": [" + std::to_string(jobId) + "] " + function +
                                   ": " + text.substr(0, 300));
            ++problemCount;
        }
    }

    std::atomic<long> lines{0};
    std::atomic<long> named{0};
    std::mutex mutex;
    std::vector<std::string> problems;
    long problemCount = 0;
};

struct JobResult {
    int operations = 0;
    std::vector<std::string> failures;
};

// One job: `count` mixed operations; creates and deletes only objects named
// after itself and checks that every record it gets back is its own.
void runJob(const hnasgwsim::Simulator& sim, const ArrayIds& ids, unsigned long long job, int count,
            JobResult& result) {
    RkManageHNAS hnas(job);
    initFacade(hnas, sim);
    const std::string tag = "job" + std::to_string(job);
    const std::string snapPrefix = "RKHNAS_" + tag + "_";
    auto fail = [&](const std::string& what) {
        if (result.failures.size() < 10)
            result.failures.push_back(tag + ": " + what);
    };
    auto evs = virtualServer(ids.evsProdObject, "evs-prod");
    // Whole rounds of ten, so that every object made is removed again.
    for (int k = 0; result.operations < count || k % 10 != 0; ++k) {
        const std::string name = tag + "_" + std::to_string(k);
        ++result.operations;
        switch (k % 10) {
        case 0: {
            __HNASStorageSubSystemInfo info;
            if (!hnas.getFileDevice(info) || info.name != "hnas-sim-cluster")
                fail("getFileDevice");
            break;
        }
        case 1: {
            __HNASVirtualServers server;
            if (!hnas.getVirtualServerInfo("192.0.2.31", server) || server.name != "evs-backup")
                fail("getVirtualServerInfo");
            break;
        }
        case 2: {
            std::string id;
            if (!hnas.getFileSystemID("fs-engineering", id) || id != ids.fsEngineering)
                fail("getFileSystemID");
            break;
        }
        case 3: {
            __HNASFileSystemSnapshot snap;
            if (!hnas.createFileSystemSnapshot("RKHNAS_" + name, ids.fsFinance, name, snap) ||
                snap.displayName != "RKHNAS_" + name || snap.filesystemId != ids.fsFinance)
                fail("createFileSystemSnapshot " + name);
            break;
        }
        case 4: {
            std::vector<__HNASFileSystemSnapshot> snaps;
            if (!hnas.getFileSystemSnapshots(ids.fsFinance, snapPrefix, snaps))
                fail("getFileSystemSnapshots");
            for (const auto& s : snaps)
                if (s.displayName.compare(0, snapPrefix.size(), snapPrefix) != 0)
                    fail("another job's snapshot " + s.displayName);
            break;
        }
        case 5: {
            // The snapshot made at case 3 of this round.
            const std::string made = "RKHNAS_" + tag + "_" + std::to_string(k - 2);
            __HNASFileSystemSnapshot snap;
            snap.filesystemId = ids.fsFinance;
            snap.displayName = made;
            if (!hnas.isSnapshotPresent(ids.fsFinance, made, snapPrefix) ||
                !hnas.deleteFileSystemSnapshot(snap, snapPrefix))
                fail("delete snapshot " + made);
            ++result.operations;
            break;
        }
        case 6: {
            __HNASFileSystemShares share;
            if (!hnas.createFileSystemShare(name, "1", ids.fsFinance, "/finance", "NFS", share,
                                            false) ||
                share.name != name)
                fail("createFileSystemShare " + name);
            break;
        }
        case 7: {
            const std::string made = tag + "_" + std::to_string(k - 1);
            if (!hnas.isSharePresent(made, evs, "NFS") ||
                !hnas.deleteFileSystemShare(made, evs, "NFS"))
                fail("delete share " + made);
            ++result.operations;
            break;
        }
        case 8: {
            std::vector<__HNASFileSystemDirectories> dirs;
            if (!hnas.getFileSystemDirectoriesUnderPath(ids.fsFinance, "/x/y/finance", dirs) ||
                dirs.size() != 2)
                fail("getFileSystemDirectoriesUnderPath");
            break;
        }
        default: {
            std::vector<__HNASCIFSAuthentication> entries;
            unsigned long long evsId = 0;
            if (!hnas.getCIFSAuthentication(ids.cifsFinanceShare, entries) || entries.empty() ||
                !hnas.getEVSIdAssociatedWithFileSystemID(ids.fsArchive, evsId) || evsId != 2)
                fail("getCIFSAuthentication / getEVSIdAssociatedWithFileSystemID");
            ++result.operations;
            break;
        }
        }
    }
}

TEST(Load, EightJobsInParallelKeepTheirResultsAndLogLinesApart) {
    hnasgwsim::SimulatorOptions simOptions;
    simOptions.threads = 16; // a worker per open connection: no more than the jobs need
    auto sim = startSimulator(simOptions);
    ClientOptions options([&] {
        RKLibCurlOptions o = fastOptions(*sim);
        o.requestTimeoutMs = 30000; // a loaded machine, sanitizers: not the subject here
        o.connectTimeoutMs = 10000;
        return o;
    }());
    auto writer = boost::make_shared<JobCheckingWriter>();
    const auto previous = g_ptrLogWriter;
    g_ptrLogWriter = writer;

    const ArrayIds ids = arrayIds();
    const int count = operationsPerThread();
    std::vector<JobResult> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { runJob(*sim, ids, kFirstJob + t, count, results[t]); });
    for (auto& th : threads)
        th.join();
    g_ptrLogWriter = previous;

    int total = 0;
    for (const auto& r : results) {
        total += r.operations;
        for (const auto& f : r.failures)
            ADD_FAILURE() << f;
    }
    for (const auto& p : writer->problems)
        ADD_FAILURE() << p;
    EXPECT_EQ(writer->problemCount, 0);
    EXPECT_GT(writer->lines.load(), total);
    // Every job removed what it made: the array holds only its own objects.
    {
        auto array = sim->model();
        EXPECT_EQ(array->fileSystems.at(0).snapshots.size(), 3u);
        EXPECT_EQ(array->virtualServers.at(0).shares.size(), 4u);
    }
    std::printf("load: %d threads x %d operations = %d operations, %ld log lines checked, %ld "
                "at level 0 or below for other jobs' names\n",
                kThreads, count, total, writer->lines.load(), writer->named.load());
}

TEST(Load, AFacadeInitialisedAgainBetweenOperationsReleasesEachSession) {
    // One certificate for both gateways, so that one CA file trusts both.
    const Certificate certificate("localhost", "IP:127.0.0.1,DNS:localhost");
    auto sim = startSimulator(withCertificate(certificate));
    auto other = startSimulator(withCertificate(certificate));
    ClientOptions options(fastOptions(*sim));
    const ArrayIds ids = arrayIds();
    RkManageHNAS hnas(kFirstJob);
    int ok = 0;
    for (int i = 0; i < 60; ++i) {
        const auto& target = i % 2 ? *other : *sim;
        initFacade(hnas, target);
        if (i % 3 == 0)
            initFacade(hnas, target); // a session that never sent anything
        std::vector<__HNASFileSystemInfo> filesystems;
        ok += hnas.getFileSystemsInfo("", filesystems) && filesystems.size() == 4;
        __HNASFileSystemSnapshot snap;
        ok +=
            hnas.createFileSystemSnapshot("RKHNAS_r" + std::to_string(i), ids.fsFinance, "r", snap);
    }
    EXPECT_EQ(ok, 120);
    EXPECT_EQ(sim->requestLog().size() + other->requestLog().size(), 120u);
}

} // namespace
