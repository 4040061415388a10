// File system operations of the facade, through the real session against the
// scripted gateway: requests sent, results, out-parameters and log lines.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Documents.h"
#include "support/FacadeFixture.h"

namespace {

using hnastest::fileSystemJson;
using hnastest::listJson;
using hnastest::shareJson;
using Strings = std::vector<std::string>;

const std::string kFileSystems =
    listJson("filesystems",
             {fileSystemJson("FS-OBJ-1", "Backup_FS", "1001", 107374182400ull, 21474836480ull),
              fileSystemJson("FS-OBJ-2", "archive", "1002", 2000, 500, true),
              fileSystemJson("FS-OBJ-3", "BACKUP_fs", "1003", 3000, 0)});
const std::string kShares =
    listJson("filesystemShares", {shareJson("SH-OBJ-1", "11", "Finance", 1, "1001", "\\\\finance"),
                                  shareJson("SH-OBJ-2", "12", "FINANCE", 1, "1002", "\\\\finance2"),
                                  shareJson("SH-OBJ-3", "13", "hr", 1, "1003", "\\\\hr")});
const char* const kFsId = "RkManageHNAS::getFileSystemID";
const char* const kEvs = "RkManageHNAS::getEVSIdAssociatedWithFileSystemID";

class FileSystemsTest : public hnastest::FacadeTest {
protected:
    FileSystemsTest() {
        evs.objectId = "EVS-OBJ-1";
        evs.name = "evs1";
    }
    __HNASVirtualServers evs;
};

TEST_F(FileSystemsTest, ListingAllOrOneReplacesTheVector) {
    gateway.on("GET", "filesystems/", {200, kFileSystems});
    gateway.on("GET", "filesystems/1002",
               {200, "{\"filesystem\": " +
                         fileSystemJson("FS-OBJ-2", "archive", "1002", 2000, 500, true) + "}"});
    std::vector<__HNASFileSystemInfo> filesystems(5);
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems));
    ASSERT_EQ(filesystems.size(), 3u);
    EXPECT_EQ(filesystems[0].label + "|" + filesystems[2].filesystemId, "Backup_FS|1003");
    EXPECT_EQ(filesystems[0].capacity, 107374182400ull); // 64-bit, not truncated
    ASSERT_TRUE(hnas.getFileSystemsInfo("1002", filesystems));
    ASSERT_EQ(filesystems.size(), 1u);
    EXPECT_EQ(filesystems[0].label, "archive");
    EXPECT_EQ(sent(), (Strings{"GET filesystems/", "GET filesystems/1002"}));

    gateway.on("GET", "filesystems/", {200, R"({"count": 0, "items": []})"});
    ASSERT_TRUE(hnas.getFileSystemsInfo("", filesystems)); // neither container: empty
    EXPECT_TRUE(filesystems.empty());
}

// Labels are compared without case and the last match wins; a miss or a
// refusal keeps the output.
TEST_F(FileSystemsTest, IdByLabel) {
    gateway.on("GET", "filesystems/", {200, kFileSystems});
    std::string id;
    ASSERT_TRUE(hnas.getFileSystemID("backup_fs", id));
    EXPECT_EQ(id, "1003");
    EXPECT_TRUE(logged(kFsId, 0, "File System[BACKUP_fs] found. FS ID [1003]"));

    id = "caller";
    EXPECT_FALSE(hnas.getFileSystemID("backup", id));
    gateway.on("GET", "filesystems/", {200, R"({"filesystems": []})"});
    EXPECT_FAILS(hnas.getFileSystemID("archive", id), kFsId, "File Systems list is empty.", 1);
    EXPECT_EQ(id, "caller");
}

// Share names are compared without case and the first match wins.
TEST_F(FileSystemsTest, IdByShare) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kShares});
    std::string id;
    ASSERT_TRUE(hnas.getFileSystemID(evs, "finance", "CIFS", id));
    EXPECT_EQ(id, "1001");
    EXPECT_EQ(sent(), Strings{"GET virtual-servers/EVS-OBJ-1/CIFS"});

    id = "caller";
    EXPECT_FAILS(hnas.getFileSystemID(evs, "payroll", "CIFS", id), kFsId,
                 "Share [payroll] not found in Virtual Server [evs1].", 1);
    EXPECT_EQ(id, "caller");
}

TEST_F(FileSystemsTest, VirtualServerOfAFileSystem) {
    const std::string document =
        listJson("virtualServers", {R"({"UUID": "5a1e7c2e", "isEnabled": true, "name": "evs2",
            "objectId": "EVS-OBJ-2", "status": "ONLINE", "type": "FILE", "virtualServerId": 2,
            "ipAddresses": ["192.0.2.22"]})"});
    gateway.on("GET", "filesystems/1001/virtual-servers", {200, document});
    unsigned long long evsId = 0;
    ASSERT_TRUE(hnas.getEVSIdAssociatedWithFileSystemID("1001", evsId));
    EXPECT_EQ(evsId, 2u);
    EXPECT_EQ(sent(), Strings{"GET filesystems/1001/virtual-servers"});

    evsId = 99;
    // No virtual server in the answer is an answer that cannot be read.
    gateway.on("GET", "filesystems/1001/virtual-servers", {200, R"({"virtualServers": []})"});
    EXPECT_FAILS(hnas.getEVSIdAssociatedWithFileSystemID("1001", evsId), kEvs,
                 "Unable to parse JSON response", 1);
    EXPECT_EQ(evsId, 99u);
}

} // namespace
