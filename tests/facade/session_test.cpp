// The facade's session: construction, init, and the refusal of every
// request-sending operation before init or with inputs it cannot send.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

using hnastest::GatewayLogin;

const char* const kFileSystems =
    R"({"filesystems": [{"objectId": "FS-OBJ-1", "label": "fs1", "filesystemId": "1001",
        "status": "MOUNTED", "capacity": 1000, "usedCapacity": 200, "freeCapacity": 800,
        "isReadOnly": false}]})";

class SessionTest : public hnastest::FacadeTest {
protected:
    RkManageHNAS fresh{kJobId};
};

// Every operation returns false (so || runs them all), sends nothing, logs
// "Initialize HNAS params." with the job and keeps the caller's out-parameters.
TEST_F(SessionTest, EveryRequestSendingOperationRefusesBeforeInit) {
    gateway.setFallback({200, kFileSystems});
    __HNASStorageSubSystemInfo device;
    std::vector<__HNASVirtualServers> servers(1);
    __HNASVirtualServers server;
    server.objectId = "EVS-OBJ-1";
    std::vector<__HNASFileSystemInfo> filesystems(1);
    std::string id = "kept";
    unsigned long long evs = 77;
    __HNASFileSystemSnapshot snapshot;
    snapshot.displayName = "RKHNAS_1";
    snapshot.filesystemId = "1001";
    std::vector<__HNASFileSystemSnapshot> snapshots(2);
    std::vector<__HNASFileSystemShares> shares(1);
    __HNASFileSystemShares share;
    std::vector<__HNASFileSystemDirectories> directories(1);
    std::vector<__HNASCIFSAuthentication> entries(1);
    RkManageHNAS& h = fresh;
    EXPECT_FALSE(h.getFileDevice(device) || h.getVirtualServers(servers) ||
                 h.getVirtualServerInfo("evs1", server) || h.getFileSystemsInfo("", filesystems) ||
                 h.getFileSystemID(server, "share1", "CIFS", id) || h.getFileSystemID("fs1", id) ||
                 h.getEVSIdAssociatedWithFileSystemID("1001", evs) ||
                 h.createFileSystemSnapshot("RKHNAS_1", "1001", "42", snapshot) ||
                 h.getFileSystemSnapshots("1001", "RKHNAS", snapshots) ||
                 h.deleteFileSystemSnapshot(snapshot, "RKHNAS") ||
                 h.deleteFileSystemSnapshot("SNAP-1") || h.recoverFileSystemSnapshot("SNAP-1") ||
                 h.isSnapshotPresent("1001", "RKHNAS_1", "RKHNAS") ||
                 h.getFilesystemShares(server, "CIFS", shares, false) ||
                 h.createFileSystemShare("s", "1", "1001", "/d", "CIFS", share, false) ||
                 h.deleteFileSystemShare("SH-1", "CIFS") ||
                 h.deleteFileSystemShare("share1", server, "CIFS") ||
                 h.isSharePresent("share1", server, "CIFS") ||
                 h.getFileSystemDirectories("1001", "DIR-1", directories) ||
                 h.getCIFSAuthentication("SH-1", entries) ||
                 h.setCIFSAuthentication("SH-1", entries) ||
                 h.deleteCIFSAuthentication("SH-1", "ENC-1"));
    for (const LogRecord& record : log->records())
        EXPECT_EQ(record.jobId, static_cast<long long>(kJobId)) << record.text;
    EXPECT_EQ(log->count("Initialize HNAS params."), 22u) << log.dump();
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(id + std::to_string(evs), "kept77");
}

TEST_F(SessionTest, ParallelRequestsAreFromOneTo64AndARefusalKeepsTheValue) {
    EXPECT_TRUE(fresh.setParallelRequests(64));
    for (unsigned refused : {0u, 65u}) {
        EXPECT_FALSE(fresh.setParallelRequests(refused));
        EXPECT_TRUE(logged("RkManageHNAS::setParallelRequests", -1,
                           "Invalid number of parallel requests [" + std::to_string(refused) +
                               "]: it must be from 1 to 64. Keeping [64]."));
    }
}

TEST_F(SessionTest, InitHandsTheValuesToTheSessionInOrder) {
    fresh.init("operator", "pw-Of-Op3rator", "HNAS-G2", "198.51.100.7", gateway.host(),
               gateway.port());
    gateway.on("GET", "filesystems/", {200, kFileSystems});
    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(fresh.getFileSystemsInfo("", filesystems));
    ASSERT_EQ(gateway.requestCount(), 1u);
    const hnastest::RecordedRequest request = gateway.requests()[0];
    EXPECT_EQ(request.header("X-Subsystem-User") + "|" + request.header("X-Subsystem-Password") +
                  "|" + request.header("X-Subsystem-Type") + "|" +
                  request.header("X-Management-IPs"),
              "operator|pw-Of-Op3rator|HNAS-G2|198.51.100.7");
    EXPECT_EQ(log.dump().find("pw-Of-Op3rator"), std::string::npos);
}

// Inputs an operation refuses with its own line (level -1, the job), sending
// nothing and leaving its out-parameter as it was.
TEST_F(SessionTest, EmptyOrUnknownInputsAreRefusedBeforeAnyRequest) {
    __HNASVirtualServers evs, server;
    evs.objectId = "EVS-OBJ-1";
    std::string id = "kept";
    std::vector<__HNASFileSystemShares> shares(1);
    __HNASFileSystemShares share;
    const std::string ns = "RkManageHNAS::";
    struct Case {
        std::function<bool()> call;
        std::string function, line;
    };
    const Case cases[] = {
        {[&] { return hnas.getVirtualServerInfo("", server); }, ns + "getVirtualServerInfo",
         "The virtual server name is empty."},
        {[&] { return hnas.getFileSystemID("", id); }, ns + "getFileSystemID",
         "Invalid Input. File System name is empty."},
        {[&] { return hnas.getFilesystemShares(evs, "cifs", shares, false); },
         ns + "getFilesystemShares", "Invalid share type."},
        {[&] { return fresh.createFileSystemShare("s", "1", "FS-A", "/p", "cifs", share, true); },
         ns + "createFileSystemShare", "Invalid Share Type[cifs]."}, // before the init check
        {[&] { return fresh.deleteFileSystemShare("SH-2", "NFs"); }, ns + "deleteFileSystemShare",
         "Invalid Share Type[NFs]."},
        {[&] { return hnas.deleteCIFSAuthentication("SH-1", ""); }, "deleteCIFSAuthentication",
         "Invalid Parameters."},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(fails(c.call, c.function, c.line)) << c.line;
    EXPECT_EQ(id, "kept");
    EXPECT_EQ(shares.size(), 1u);
}

} // namespace
