// File system operations of the facade, through the real session against the
// scripted gateway: requests sent, results, out-parameters and log lines.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

using hnastest::FacadeTest;

const char* const kFileSystemList = R"({"filesystems": [
  {"objectId": "FS-OBJ-1", "label": "Backup_FS", "filesystemId": "1001", "status": "MOUNTED",
   "capacity": 107374182400, "usedCapacity": 21474836480, "freeCapacity": 85899345920,
   "isReadOnly": false},
  {"objectId": "FS-OBJ-2", "label": "archive", "filesystemId": "1002", "status": "MOUNTED",
   "capacity": 2000, "usedCapacity": 500, "freeCapacity": 1500, "isReadOnly": true},
  {"objectId": "FS-OBJ-3", "label": "BACKUP_fs", "filesystemId": "1003", "status": "MOUNTED",
   "capacity": 3000, "usedCapacity": 0, "freeCapacity": 3000, "isReadOnly": false}
]})";

const char* const kOneFileSystem = R"({"filesystem":
  {"objectId": "FS-OBJ-2", "label": "archive", "filesystemId": "1002", "status": "MOUNTED",
   "capacity": 2000, "usedCapacity": 500, "freeCapacity": 1500, "isReadOnly": true}})";

const char* const kCifsShares = R"({"filesystemShares": [
  {"objectId": "SH-OBJ-1", "shareId": "11", "name": "Finance", "virtualServerId": 1,
   "filesystemId": "1001", "path": "\\finance",
   "settings": {"accessConfig": "*", "snapshotOption": "SHOW_AND_ALLOW_ACCESS"}},
  {"objectId": "SH-OBJ-2", "shareId": "12", "name": "FINANCE", "virtualServerId": 1,
   "filesystemId": "1002", "path": "\\finance2", "settings": {}},
  {"objectId": "SH-OBJ-3", "shareId": "13", "name": "hr", "virtualServerId": 1,
   "filesystemId": "1003", "path": "\\hr", "settings": {}}
]})";

const char* const kFileSystemVirtualServer = R"({"virtualServers": [
  {"UUID": "5a1e7c2e-0000-1111-2222-333344445555", "isEnabled": true, "name": "evs2",
   "objectId": "EVS-OBJ-2", "status": "ONLINE", "type": "FILE", "virtualServerId": 2,
   "ipAddresses": ["192.0.2.22"]}
]})";

__HNASVirtualServers virtualServer() {
    __HNASVirtualServers server;
    server.objectId = "EVS-OBJ-1";
    server.name = "evs1";
    server.virtualServerId = 1;
    return server;
}

class FileSystemsTest : public FacadeTest {
protected:
    void expectOneGet(const std::string& resource) {
        ASSERT_EQ(gateway.requestCount(), 1u);
        const hnastest::RecordedRequest request = gateway.requests()[0];
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.path, storagePath(resource));
        EXPECT_TRUE(request.body.empty());
    }
};

// --- getFileSystemsInfo ---

TEST_F(FileSystemsTest, ListingAllRequestsTheTrailingSlashAndReturnsEveryRecord) {
    gateway.on("GET", "filesystems/", {200, kFileSystemList});
    std::vector<__HNASFileSystemInfo> filesystems(5);
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems));
    expectOneGet("filesystems/");

    ASSERT_EQ(filesystems.size(), 3u);
    EXPECT_EQ(filesystems[0].objectId, "FS-OBJ-1");
    EXPECT_EQ(filesystems[0].label, "Backup_FS");
    EXPECT_EQ(filesystems[0].filesystemId, "1001");
    EXPECT_EQ(filesystems[0].status, "MOUNTED");
    EXPECT_EQ(filesystems[0].capacity, 107374182400ull);
    EXPECT_EQ(filesystems[0].usedCapacity, 21474836480ull);
    EXPECT_EQ(filesystems[0].freeCapacity, 85899345920ull);
    EXPECT_FALSE(filesystems[0].isReadOnly);
    EXPECT_EQ(filesystems[1].filesystemId, "1002");
    EXPECT_TRUE(filesystems[1].isReadOnly);
    EXPECT_EQ(filesystems[2].filesystemId, "1003");

    EXPECT_TRUE(log->contains("FileSystemID is empty. Getting all File Systems info.", -1));
    EXPECT_TRUE(log->contains(
        std::string("Successfully got file systems. Response [") + kFileSystemList + "]", 5));
}

TEST_F(FileSystemsTest, ListingOneReturnsTheSingleObjectAsOneRecord) {
    gateway.on("GET", "filesystems/1002", {200, kOneFileSystem});
    std::vector<__HNASFileSystemInfo> filesystems;
    ASSERT_TRUE(hnas.getFileSystemsInfo("1002", filesystems));
    expectOneGet("filesystems/1002");
    ASSERT_EQ(filesystems.size(), 1u);
    EXPECT_EQ(filesystems[0].label, "archive");
    EXPECT_EQ(filesystems[0].capacity, 2000u);
    EXPECT_TRUE(log->contains("Getting File System info for FileSystemID [1002]", -1));
}

TEST_F(FileSystemsTest, ListingWithoutEitherContainerSucceedsEmpty) {
    gateway.on("GET", "filesystems/", {200, R"({"count": 0, "items": []})"});
    std::vector<__HNASFileSystemInfo> filesystems(2);
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems));
    EXPECT_TRUE(filesystems.empty());
}

TEST_F(FileSystemsTest, ListingFailuresLeaveTheCallersVector) {
    struct Case {
        hnastest::ScriptedResponse answer;
        const char* line;
    };
    const std::vector<Case> cases = {
        {{500, R"({"errorCode": 1, "errorMsg": "Internal error"})"},
         "Unable to get file systems list."},
        {{200, ""}, "Empty response from the array"},
        {{200, "<html>gateway</html>"}, "Unable to parse JSON response"},
        {{200, R"({"filesystems": [{"label": "no other keys"}]})"},
         "Unable to parse JSON response"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        gateway.reset();
        log->clear();
        gateway.on("GET", "filesystems/", c.answer);
        std::vector<__HNASFileSystemInfo> filesystems(1);
        filesystems[0].label = "caller";
        EXPECT_FALSE(hnas.getFileSystemsInfo("", filesystems));
        ASSERT_EQ(filesystems.size(), 1u);
        EXPECT_EQ(filesystems[0].label, "caller");
        EXPECT_TRUE(log->contains(c.line, -1));
    }
}

// --- getFileSystemID by label ---

TEST_F(FileSystemsTest, LabelMatchIgnoresCaseAndTheLastMatchWins) {
    gateway.on("GET", "filesystems/", {200, kFileSystemList});
    std::string id;
    ASSERT_TRUE(hnas.getFileSystemID("backup_fs", id));
    EXPECT_EQ(id, "1003");
    expectOneGet("filesystems/");
    EXPECT_TRUE(log->contains("File System[Backup_FS] found. FS ID [1001]", 0));
    EXPECT_TRUE(log->contains("File System[BACKUP_fs] found. FS ID [1003]", 0));

    log->clear();
    ASSERT_TRUE(hnas.getFileSystemID("ARCHIVE", id));
    EXPECT_EQ(id, "1002");
    EXPECT_EQ(log->count("File System[archive] found. FS ID [1002]"), 1u);
}

TEST_F(FileSystemsTest, LabelLookupFailuresKeepTheOutput) {
    gateway.on("GET", "filesystems/", {200, kFileSystemList});
    std::string id = "caller";
    EXPECT_FALSE(hnas.getFileSystemID("backup", id));
    EXPECT_EQ(id, "caller");

    log->clear();
    EXPECT_FALSE(hnas.getFileSystemID("", id));
    EXPECT_TRUE(log->contains("Invalid Input. File System name is empty.", -1));
    EXPECT_EQ(gateway.requestCount(), 1u);

    gateway.reset();
    log->clear();
    gateway.on("GET", "filesystems/", {200, R"({"filesystems": []})"});
    EXPECT_FALSE(hnas.getFileSystemID("archive", id));
    EXPECT_TRUE(log->contains("File Systems list is empty.", -1));

    gateway.reset();
    log->clear();
    gateway.on("GET", "filesystems/", {403, R"({"errorCode": 13, "errorMsg": "Forbidden"})"});
    EXPECT_FALSE(hnas.getFileSystemID("archive", id));
    EXPECT_TRUE(log->contains("Unable to get file systems list.", -1));
    EXPECT_TRUE(log->contains("Unable to get the File Systems list.", -1));
    EXPECT_EQ(id, "caller");
}

// --- getFileSystemID by share ---

TEST_F(FileSystemsTest, ShareMatchIgnoresCaseAndTheFirstMatchWins) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCifsShares});
    std::string id;
    ASSERT_TRUE(hnas.getFileSystemID(virtualServer(), "finance", "CIFS", id));
    EXPECT_EQ(id, "1001");
    expectOneGet("virtual-servers/EVS-OBJ-1/CIFS");
    EXPECT_EQ(log->count("Share [Finance] found."), 1u);
    EXPECT_TRUE(log->contains("Share [Finance] found.", 0));
    EXPECT_FALSE(log->contains("Share [FINANCE] found."));
}

TEST_F(FileSystemsTest, ShareLookupFailures) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCifsShares});
    std::string id = "caller";
    EXPECT_FALSE(hnas.getFileSystemID(virtualServer(), "payroll", "CIFS", id));
    EXPECT_TRUE(log->contains("Share [payroll] not found in Virtual Server [evs1].", -1));
    EXPECT_EQ(id, "caller");
    EXPECT_EQ(gateway.requestCount(), 1u);

    // Refused before any request.
    log->clear();
    __HNASVirtualServers noObjectId = virtualServer();
    noObjectId.objectId.clear();
    EXPECT_FALSE(hnas.getFileSystemID(noObjectId, "hr", "CIFS", id));
    EXPECT_FALSE(hnas.getFileSystemID(virtualServer(), "", "CIFS", id));
    EXPECT_FALSE(hnas.getFileSystemID(virtualServer(), "hr", "", id));
    EXPECT_EQ(log->count("Invalid input."), 3u);
    EXPECT_EQ(gateway.requestCount(), 1u);

    // An unknown share type is refused by the listing, with no line of our own.
    log->clear();
    EXPECT_FALSE(hnas.getFileSystemID(virtualServer(), "hr", "SMB", id));
    EXPECT_TRUE(log->contains("Invalid share type.", -1));
    for (const LogRecord& record : log->records()) {
        EXPECT_NE(record.function, "RkManageHNAS::getFileSystemID") << record.text;
    }
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_EQ(id, "caller");
}

// --- getEVSIdAssociatedWithFileSystemID ---

TEST_F(FileSystemsTest, VirtualServerOfAFileSystem) {
    gateway.on("GET", "filesystems/1001/virtual-servers", {200, kFileSystemVirtualServer});
    unsigned long long evs = 0;
    ASSERT_TRUE(hnas.getEVSIdAssociatedWithFileSystemID("1001", evs));
    EXPECT_EQ(evs, 2u);
    expectOneGet("filesystems/1001/virtual-servers");
    EXPECT_TRUE(log->contains(std::string("Successfully got the Virtual Server info. Response [") +
                                  kFileSystemVirtualServer + "]",
                              5));
}

TEST_F(FileSystemsTest, VirtualServerLookupFailuresKeepTheOutput) {
    unsigned long long evs = 99;
    EXPECT_FALSE(hnas.getEVSIdAssociatedWithFileSystemID("", evs));
    EXPECT_TRUE(log->contains("Invalid Input. File System ID is empty.", -1));
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", "filesystems/1001/virtual-servers",
               {404, R"({"errorCode": 404, "errorMsg": "Not found"})"});
    EXPECT_FALSE(hnas.getEVSIdAssociatedWithFileSystemID("1001", evs));
    EXPECT_TRUE(log->contains(
        "Unable to get the virtual server info associated with File System[1001]", -1));

    gateway.on("GET", "filesystems/1002/virtual-servers", {200, R"({"virtualServers": []})"});
    EXPECT_FALSE(hnas.getEVSIdAssociatedWithFileSystemID("1002", evs));
    EXPECT_TRUE(log->contains("Unable to parse JSON response", -1));

    gateway.on("GET", "filesystems/1003/virtual-servers", {200, ""});
    EXPECT_FALSE(hnas.getEVSIdAssociatedWithFileSystemID("1003", evs));
    EXPECT_TRUE(log->contains("Empty response from the array", -1));
    EXPECT_EQ(evs, 99u);
}

} // namespace
