// The facade's session: construction, init, re-init and destruction, and the
// refusal of every request-sending operation before init.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

using hnastest::GatewayLogin;
using hnastest::TestGateway;

const char* const kFileSystems =
    R"({"filesystems": [{"objectId": "FS-OBJ-1", "label": "fs1", "filesystemId": "1001",
        "status": "MOUNTED", "capacity": 1000, "usedCapacity": 200, "freeCapacity": 800,
        "isReadOnly": false}]})";

class SessionTest : public hnastest::FacadeTest {
protected:
    RkManageHNAS fresh{kJobId};
};

TEST_F(SessionTest, EveryRequestSendingOperationRefusesBeforeInit) {
    { RkManageHNAS unused(kJobId); }
    EXPECT_TRUE(log->records().empty()); // construction and destruction log nothing
    EXPECT_EQ(fresh.getLastErrorCode(), 0);
    gateway.setFallback({200, kFileSystems});
    __HNASStorageSubSystemInfo device;
    device.name = "untouched";
    std::vector<__HNASVirtualServers> servers(1);
    __HNASVirtualServers server;
    server.objectId = "EVS-OBJ-1";
    std::vector<__HNASFileSystemInfo> filesystems(1);
    filesystems[0].label = "kept";
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
    // Every operation returns false (so || runs them all), sends nothing and
    // logs "Initialize HNAS params." under the function that checks.
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
    std::string functions;
    for (const LogRecord& record : log->records()) {
        EXPECT_EQ(record.jobId, static_cast<long long>(kJobId)) << record.text;
        if (record.text == "Initialize HNAS params." && record.level == -1)
            functions += record.function.substr(record.function.find(':') == 12 ? 14 : 0) + " ";
    }
    EXPECT_EQ(functions,
              "getFileDevice getVirtualServers getVirtualServers getFileSystemsInfo "
              "getFileSystemID getFileSystemsInfo getEVSIdAssociatedWithFileSystemID "
              "createFileSystemSnapshot getFileSystemSnapshots deleteFileSystemSnapshot "
              "deleteFileSystemSnapshot recoverFileSystemSnapshot getFileSystemSnapshots "
              "getFilesystemShares createFileSystemShare deleteFileSystemShare "
              "deleteFileSystemShare isSharePresent getFileSystemDirectories "
              "getCIFSAuthentication setCIFSAuthentication deleteCIFSAuthentication ")
        << log.dump();
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_FAILS(h.getFileSystemDirectoriesUnderPath("1001", "/a/b", directories),
                 "RkManageHNAS::getFileSystemDirectoriesUnderPath",
                 "Unable to get the dirs list under the root of the FS");
    EXPECT_TRUE(logged("RkManageHNAS::getFileSystemDirectories", -1, "Initialize HNAS params."));
    // Out-parameters keep what the caller put in; getAllSnapshots empties its own.
    EXPECT_EQ(device.name + filesystems[0].label + id + std::to_string(evs), "untouchedkeptkept77");
    EXPECT_EQ(filesystems.size() + snapshots.size(), 3u);
    EXPECT_TRUE(servers.empty()); // getVirtualServers empties its own
    EXPECT_TRUE(snapshot.objectId.empty());
    EXPECT_FAILS(fresh.getAllSnapshots(snapshots), "RkManageHNAS::getAllSnapshots",
                 "Unable to get the File Systems list.");
    EXPECT_TRUE(logged("RkManageHNAS::getFileSystemsInfo", -1, "Initialize HNAS params."));
    EXPECT_TRUE(snapshots.empty());
}

TEST_F(SessionTest, ParallelRequestsAreFromOneTo64AndARefusalKeepsTheValue) {
    EXPECT_TRUE(fresh.setParallelRequests(64));
    for (unsigned refused : {0u, 65u}) {
        EXPECT_FALSE(fresh.setParallelRequests(refused));
        EXPECT_TRUE(logged("RkManageHNAS::setParallelRequests", -1,
                           "Invalid number of parallel requests [" + std::to_string(refused) +
                               "]: it must be from 1 to 64. Keeping [64]."))
            << log.dump();
    }
    EXPECT_TRUE(fresh.setParallelRequests(1));
    EXPECT_EQ(log->records().size(), 2u);
}

TEST_F(SessionTest, InitHandsTheValuesToTheSessionInOrder) {
    fresh.init("operator", "pw-Of-Op3rator", "HNAS-G2", "198.51.100.7", gateway.host(),
               gateway.port());
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_TRUE(logged("RkManageHNAS::init", 0, "Initialized HNAS params."));
    gateway.on("GET", "filesystems/", {200, kFileSystems});
    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(fresh.getFileSystemsInfo("", filesystems));
    ASSERT_EQ(gateway.requestCount(), 1u);
    const hnastest::RecordedRequest request = gateway.requests()[0];
    EXPECT_EQ(request.header("X-Subsystem-User"), "operator");
    EXPECT_EQ(request.header("X-Subsystem-Password"), "pw-Of-Op3rator");
    EXPECT_EQ(request.header("X-Subsystem-Type"), "HNAS-G2");
    EXPECT_EQ(request.header("X-Management-IPs"), "198.51.100.7");
    EXPECT_EQ(log.dump().find("pw-Of-Op3rator"), std::string::npos);

    // An empty user name is not checked by init: every request fails unsent,
    // and the parameter line does not reveal the password.
    GatewayLogin login;
    fresh.init("", login.password, login.subsystemType, login.managementIP, gateway.host(),
               gateway.port());
    EXPECT_FAILS(fresh.getFileSystemsInfo("", filesystems), "RkManageHNAS::getFileSystemsInfo",
                 "Unable to get file systems list.");
    EXPECT_EQ(filesystems.size(), 1u);
    EXPECT_FALSE(fresh.recoverFileSystemSnapshot("SNAP-1"));
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_FALSE(log->contains("Initialize HNAS params."));
    EXPECT_EQ(log.dump().find(login.password), std::string::npos);
}

TEST_F(SessionTest, ASecondInitSendsTheNextRequestToTheNewGateway) {
    TestGateway second;
    gateway.on("GET", "filesystems/", {200, kFileSystems});
    second.on("GET", "filesystems/",
              {200, R"({"filesystem": {"objectId": "FS-OBJ-9", "label": "other",
                 "filesystemId": "9009", "status": "MOUNTED", "capacity": 5, "usedCapacity": 1,
                 "freeCapacity": 4, "isReadOnly": true}})"});
    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems));
    ASSERT_EQ(filesystems.size(), 1u);
    EXPECT_EQ(filesystems[0].filesystemId, "1001");
    {
        hnastest::TrustGateway trustSecond(second);
        log->clear();
        GatewayLogin login;
        hnas.init("other-user", login.password, login.subsystemType, login.managementIP,
                  second.host(), second.port());
        // The first session, which had sent a request, was closed by the new init.
        EXPECT_TRUE(log->contains("Closing the curl session.", 2));
        ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems));
    }
    ASSERT_EQ(filesystems.size(), 1u);
    EXPECT_EQ(filesystems[0].filesystemId, "9009");
    EXPECT_TRUE(filesystems[0].isReadOnly);
    EXPECT_EQ(gateway.requestCount(), 1u);
    ASSERT_EQ(second.requestCount(), 1u);
    EXPECT_EQ(second.requests()[0].header("X-Subsystem-User"), "other-user");
    EXPECT_EQ(log->count("Initialized HNAS params."), 1u);
}

} // namespace
