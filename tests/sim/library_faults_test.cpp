// Each fault the simulator injects, as the library reports it: the failure
// lines of the session and of the facade operation that met it.

#include <functional>

#include "sim/LibraryFixture.h"

using hnasgwsim::parseFaultRule;
using simtest::LibraryTest;

namespace {

const std::string kSendError =
    "Error while sending the request OR Error was returned from server. URL[";

class LibraryFaults : public LibraryTest {};

// A failed read: the operation fails and the log carries the session's line
// (beginning) and the facade's line (part).
TEST_F(LibraryFaults, FailedReadsAreLoggedBySessionAndOperation) {
    __HNASStorageSubSystemInfo info;
    std::vector<__HNASVirtualServers> servers;
    std::vector<__HNASFileSystemInfo> filesystems;
    std::vector<__HNASFileSystemSnapshot> snapshots;
    struct Case {
        std::string rule;
        std::function<bool()> read;
        std::string session, operation;
    };
    const Case cases[] = {
        {"GET file-devices status=500", [&] { return hnas.getFileDevice(info); },
         kSendError + url("file-devices") + "] Resource[file-devices]. Http error code [500].",
         "Unable to get the storage subsystem information. Response []"},
        {"GET filesystems/* close", [&] { return hnas.getFileSystemsInfo("", filesystems); },
         kSendError + url("filesystems/") + "] Resource[filesystems/]. Http error code [0].",
         "Unable to get file systems list."},
        {"GET virtual-servers truncate", [&] { return hnas.getVirtualServers(servers); },
         kSendError + url("virtual-servers") + "] Resource[virtual-servers].",
         "Unable to get virtual server list. Response []"},
        {"GET filesystem-snapshots/* notjson",
         [&] { return hnas.getFileSystemSnapshots(fsId("fs-finance"), "RKHNAS", snapshots); }, "",
         "Unable to parse JSON response"},
    };
    info.name = "untouched";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        log->clear();
        sim->clearFaults();
        sim->addFault(parseFaultRule(c.rule));
        EXPECT_FALSE(c.read());
        bool found = false;
        for (const auto& r : log->records())
            found |= r.text.rfind(c.session, 0) == 0;
        EXPECT_TRUE(found) << dump();
        EXPECT_TRUE(log->contains(c.operation, -1)) << dump();
    }
    EXPECT_EQ(info.name, "untouched");
    EXPECT_TRUE(servers.empty());
}

TEST_F(LibraryFaults, TruncatedCreationAnswerFailsAlthoughTheArrayCreatedIt) {
    sim->addFault(parseFaultRule("POST filesystem-snapshots truncate"));
    __HNASFileSystemSnapshot snap;
    const auto fs = fsId("fs-scratch");
    EXPECT_FALSE(hnas.createFileSystemSnapshot("RKHNAS_lost", fs, "12", snap));
    EXPECT_TRUE(
        log->contains("Unable to create Snapshot[RKHNAS_lost] for File System ID[" + fs + "]", -1))
        << dump();
    // The caller can find out: the snapshot is there.
    sim->clearFaults();
    EXPECT_TRUE(hnas.isSnapshotPresent(fs, "RKHNAS_lost", "RKHNAS")) << dump();
}

TEST_F(LibraryFaults, OnlyTheNthListingFailsDuringAWalkOfAllFileSystems) {
    // The second file system's snapshot listing fails; the walk goes on.
    sim->addFault(parseFaultRule("GET filesystem-snapshots/* status=500 nth=2"));
    std::vector<__HNASFileSystemSnapshot> snapshots;
    EXPECT_TRUE(hnas.getAllSnapshots(snapshots)) << dump();
    EXPECT_TRUE(
        log->contains("Unable to get File System Snapshots for File System[fs-engineering]", -1))
        << dump();
    EXPECT_EQ(snapshots.size(), 2u); // fs-finance's two RKHNAS snapshots
}

TEST_F(LibraryFaults, OneUnavailableAnswerToAGetIsRetriedByTheClient) {
    sim->addFault(parseFaultRule("GET virtual-servers status=503 times=1"));
    std::vector<__HNASVirtualServers> servers;
    EXPECT_TRUE(hnas.getVirtualServers(servers)) << dump();
    EXPECT_EQ(servers.size(), 2u);
    EXPECT_EQ(sim->requestLog().size(), 2u); // the 503 and the retry
}

} // namespace
