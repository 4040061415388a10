// The facade's session: construction, init, re-init and destruction, and the
// refusal of every request-sending operation before init.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "hnasmgmt/facade/RkManageHNAS.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

namespace {

using hnastest::CaptureLog;
using hnastest::GatewayLogin;
using hnastest::ScriptedResponse;
using hnastest::TestGateway;
using hnastest::TrustGateway;

constexpr unsigned long long kJobId = 90210;

const char* const kFileSystemsDocument =
    R"({"filesystems": [{"objectId": "FS-OBJ-1", "label": "fs1", "filesystemId": "1001",
        "status": "MOUNTED", "capacity": 1000, "usedCapacity": 200, "freeCapacity": 800,
        "isReadOnly": false}]})";

bool logMentions(CaptureLog& log, const std::string& needle) {
    for (const LogRecord& record : log->records()) {
        if (record.text.find(needle) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class FacadeSessionTest : public ::testing::Test {
protected:
    TestGateway gateway;
    TrustGateway trust{gateway};
    CaptureLog log;
};

TEST_F(FacadeSessionTest, ConstructionAndDestructionWithoutInitSendAndLogNothing) {
    {
        RkManageHNAS hnas(kJobId);
        EXPECT_EQ(hnas.getLastErrorCode(), 0);
    }
    EXPECT_TRUE(log->records().empty());
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(FacadeSessionTest, EveryRequestSendingOperationRefusesBeforeInit) {
    RkManageHNAS hnas(kJobId);
    gateway.setFallback({200, kFileSystemsDocument});

    __HNASStorageSubSystemInfo device;
    device.name = "untouched";
    std::vector<__HNASVirtualServers> servers(1);
    __HNASVirtualServers server;
    server.objectId = "EVS-OBJ-1";
    server.name = "evs1";
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

    const std::vector<std::pair<const char*, std::function<bool()>>> operations = {
        {"getFileDevice", [&] { return hnas.getFileDevice(device); }},
        {"getVirtualServers", [&] { return hnas.getVirtualServers(servers); }},
        {"getVirtualServerInfo", [&] { return hnas.getVirtualServerInfo("evs1", server); }},
        {"getFileSystemsInfo", [&] { return hnas.getFileSystemsInfo("", filesystems); }},
        {"getFileSystemID/share",
         [&] { return hnas.getFileSystemID(server, "share1", "CIFS", id); }},
        {"getFileSystemID/label", [&] { return hnas.getFileSystemID("fs1", id); }},
        {"getEVSIdAssociatedWithFileSystemID",
         [&] { return hnas.getEVSIdAssociatedWithFileSystemID("1001", evs); }},
        {"createFileSystemSnapshot",
         [&] { return hnas.createFileSystemSnapshot("RKHNAS_1", "1001", "42", snapshot); }},
        {"getFileSystemSnapshots",
         [&] { return hnas.getFileSystemSnapshots("1001", "RKHNAS", snapshots); }},
        {"deleteFileSystemSnapshot/record",
         [&] { return hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"); }},
        {"deleteFileSystemSnapshot/id", [&] { return hnas.deleteFileSystemSnapshot("SNAP-1"); }},
        {"recoverFileSystemSnapshot", [&] { return hnas.recoverFileSystemSnapshot("SNAP-1"); }},
        {"isSnapshotPresent", [&] { return hnas.isSnapshotPresent("1001", "RKHNAS_1", "RKHNAS"); }},
        {"getFilesystemShares",
         [&] { return hnas.getFilesystemShares(server, "CIFS", shares, false); }},
        {"createFileSystemShare",
         [&] {
             return hnas.createFileSystemShare("share1", "1", "1001", "/data", "CIFS", share,
                                               false);
         }},
        {"deleteFileSystemShare/id", [&] { return hnas.deleteFileSystemShare("SH-1", "CIFS"); }},
        {"deleteFileSystemShare/name",
         [&] { return hnas.deleteFileSystemShare("share1", server, "CIFS"); }},
        {"isSharePresent", [&] { return hnas.isSharePresent("share1", server, "CIFS"); }},
        {"getFileSystemDirectoriesUnderPath",
         [&] { return hnas.getFileSystemDirectoriesUnderPath("1001", "/a/b", directories); }},
        {"getFileSystemDirectories",
         [&] { return hnas.getFileSystemDirectories("1001", "DIR-1", directories); }},
        {"getCIFSAuthentication", [&] { return hnas.getCIFSAuthentication("SH-1", entries); }},
        {"setCIFSAuthentication", [&] { return hnas.setCIFSAuthentication("SH-1", entries); }},
        {"deleteCIFSAuthentication",
         [&] { return hnas.deleteCIFSAuthentication("SH-1", "ENC-1"); }},
    };

    for (const auto& operation : operations) {
        SCOPED_TRACE(operation.first);
        log->clear();
        EXPECT_FALSE(operation.second());
        EXPECT_TRUE(log->contains("Initialize HNAS params.", -1));
        for (const LogRecord& record : log->records()) {
            EXPECT_EQ(record.jobId, static_cast<long long>(kJobId)) << record.text;
        }
    }
    EXPECT_EQ(gateway.requestCount(), 0u);

    // Out-parameters keep what the caller put in (getAllSnapshots empties its
    // own first, below).
    EXPECT_EQ(device.name, "untouched");
    EXPECT_EQ(filesystems.size(), 1u);
    EXPECT_EQ(filesystems[0].label, "kept");
    EXPECT_EQ(id, "kept");
    EXPECT_EQ(evs, 77u);
    EXPECT_EQ(snapshots.size(), 2u);
    EXPECT_TRUE(snapshot.objectId.empty());

    log->clear();
    EXPECT_FALSE(hnas.getAllSnapshots(snapshots));
    EXPECT_TRUE(snapshots.empty());
    EXPECT_TRUE(log->contains("Initialize HNAS params.", -1));
    EXPECT_TRUE(log->contains("Unable to get the File Systems list.", -1));
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(FacadeSessionTest, InitHandsTheValuesToTheSessionInOrder) {
    RkManageHNAS hnas(kJobId);
    hnas.init("operator", "pw-Of-Op3rator", "HNAS-G2", "198.51.100.7", gateway.host(),
              gateway.port());
    ASSERT_EQ(log->records().size(), 1u);
    const LogRecord initLine = log->records()[0];
    EXPECT_EQ(initLine.text, "Initialized HNAS params.");
    EXPECT_EQ(initLine.level, 0);
    EXPECT_EQ(initLine.function, "RkManageHNAS::init");
    EXPECT_EQ(initLine.jobId, static_cast<long long>(kJobId));

    gateway.on("GET", "filesystems/", {200, kFileSystemsDocument});
    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems));
    ASSERT_EQ(gateway.requestCount(), 1u);
    const hnastest::RecordedRequest request = gateway.requests()[0];
    EXPECT_EQ(request.header("X-Subsystem-User"), "operator");
    EXPECT_EQ(request.header("X-Subsystem-Password"), "pw-Of-Op3rator");
    EXPECT_EQ(request.header("X-Subsystem-Type"), "HNAS-G2");
    EXPECT_EQ(request.header("X-Management-IPs"), "198.51.100.7");
    EXPECT_EQ(hnas.getLastErrorCode(), 0);
    EXPECT_FALSE(logMentions(log, "pw-Of-Op3rator"));
}

TEST_F(FacadeSessionTest, InitWithAnEmptyUserNameFailsEveryRequestWithoutSending) {
    RkManageHNAS hnas(kJobId);
    GatewayLogin login;
    hnas.init("", login.password, login.subsystemType, login.managementIP, gateway.host(),
              gateway.port());
    EXPECT_TRUE(log->contains("Initialized HNAS params.", 0));
    gateway.setFallback({200, kFileSystemsDocument});

    std::vector<__HNASFileSystemInfo> filesystems(1);
    EXPECT_FALSE(hnas.getFileSystemsInfo("", filesystems));
    EXPECT_TRUE(log->contains("Unable to get file systems list.", -1));
    EXPECT_EQ(filesystems.size(), 1u);
    std::vector<__HNASFileSystemSnapshot> snapshots;
    EXPECT_FALSE(hnas.getFileSystemSnapshots("1001", "RKHNAS", snapshots));
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot("SNAP-1"));
    EXPECT_FALSE(hnas.recoverFileSystemSnapshot("SNAP-1"));

    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_FALSE(log->contains("Initialize HNAS params."));
    // The session's parameter line must not reveal the password.
    EXPECT_FALSE(logMentions(log, login.password));
}

TEST_F(FacadeSessionTest, ASecondInitSendsTheNextRequestToTheNewGateway) {
    TestGateway second;
    const char* const secondDocument =
        R"({"filesystem": {"objectId": "FS-OBJ-9", "label": "other", "filesystemId": "9009",
            "status": "MOUNTED", "capacity": 5, "usedCapacity": 1, "freeCapacity": 4,
            "isReadOnly": true}})";
    gateway.on("GET", "filesystems/", {200, kFileSystemsDocument});
    second.on("GET", "filesystems/", {200, secondDocument});

    RkManageHNAS hnas(kJobId);
    GatewayLogin login;
    hnas.init(login.user, login.password, login.subsystemType, login.managementIP, gateway.host(),
              gateway.port());
    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems));
    ASSERT_EQ(filesystems.size(), 1u);
    EXPECT_EQ(filesystems[0].filesystemId, "1001");

    {
        TrustGateway trustSecond(second);
        log->clear();
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
