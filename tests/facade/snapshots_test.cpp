// Snapshot operations of the facade, through the real session against the
// scripted gateway: requests sent, results, out-parameters and log lines.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Documents.h"
#include "support/FacadeFixture.h"

namespace {

using hnastest::listJson;
using hnastest::snapshotJson;
using Strings = std::vector<std::string>;

const std::string kOf1001 =
    listJson("snapshots", {snapshotJson("SNAP-A1", "RKHNAS_daily", "1001", 1700000000),
                           snapshotJson("SNAP-A2", "RKHNAS_weekly", "1001", 1700000100),
                           snapshotJson("SNAP-A3", "RKHNAS_daily", "1001", 1700000200)});
const std::string kList1001 = "filesystem-snapshots/1001/RKHNAS";
const char* const kDelete = "RkManageHNAS::deleteFileSystemSnapshot";
const char* const kPresent = "RkManageHNAS::isSnapshotPresent";

using SnapshotsTest = hnastest::FacadeTest;

// Every file system is listed in order; one that fails is skipped. The
// output is emptied first, even when the operation fails.
TEST_F(SnapshotsTest, AllSnapshots) {
    gateway.on(
        "GET", "filesystems/",
        {200, listJson("filesystems", {hnastest::fileSystemJson("F1", "fs-one", "1001"),
                                       hnastest::fileSystemJson("F2", "fs-two", "1002"),
                                       hnastest::fileSystemJson("F3", "fs-three", "1003")})});
    gateway.on("GET", kList1001, {200, kOf1001});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {500, R"({"errorCode": 500})"});
    gateway.on("GET", "filesystem-snapshots/1003/RKHNAS",
               {200, listJson("snapshots", {snapshotJson("SNAP-C1", "RKHNAS_c", "1003")})});
    std::vector<__HNASFileSystemSnapshot> snapshots(2);
    ASSERT_TRUE(hnas.getAllSnapshots(snapshots));
    EXPECT_EQ(sent(), (Strings{"GET filesystems/", "GET " + kList1001,
                               "GET filesystem-snapshots/1002/RKHNAS",
                               "GET filesystem-snapshots/1003/RKHNAS"}));
    std::string ids;
    for (const auto& s : snapshots)
        ids += s.objectId + "/" + s.filesystemId + " ";
    EXPECT_EQ(ids, "SNAP-A1/1001 SNAP-A2/1001 SNAP-A3/1001 SNAP-C1/1003 ");
    EXPECT_TRUE(logged("RkManageHNAS::getAllSnapshots", -1,
                       "Unable to get File System Snapshots for File System[fs-two]"));

    gateway.on("GET", "filesystems/", {200, R"({"filesystems": []})"});
    snapshots.resize(2);
    EXPECT_FAILS(hnas.getAllSnapshots(snapshots), "RkManageHNAS::getAllSnapshots",
                 "File Systems list is empty.", 1);
    EXPECT_TRUE(snapshots.empty());
}

// Display names are compared exactly; every match is logged.
TEST_F(SnapshotsTest, Presence) {
    gateway.on("GET", kList1001, {200, kOf1001});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"snapshots": []})"});
    EXPECT_TRUE(hnas.isSnapshotPresent("1001", "RKHNAS_daily", "RKHNAS"));
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "rkhnas_DAILY", "RKHNAS"));
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "RKHNAS_dail", "RKHNAS"));
    EXPECT_FAILS(hnas.isSnapshotPresent("1002", "RKHNAS_daily", "RKHNAS"), kPresent,
                 "File System snapshot list is empty.", 1);
}

TEST_F(SnapshotsTest, DeletionByRecordDeletesTheFirstListedMatchOnly) {
    gateway.on("GET", kList1001, {200, kOf1001});
    gateway.on("DELETE", "filesystem-snapshots/SNAP-A1", {204, ""});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"snapshots": []})"});
    __HNASFileSystemSnapshot snapshot;
    snapshot.objectId = "STALE-OBJECT"; // the listing's object ID is used instead
    snapshot.filesystemId = "1001";
    snapshot.displayName = "RKHNAS_daily";
    ASSERT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
    // Not listed (exact names): gone already, a success without a delete.
    snapshot.displayName = "rkhnas_DAILY";
    EXPECT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
    EXPECT_TRUE(logged(kDelete, -1,
                       "Snapshot[rkhnas_DAILY] to delete not found. It may be externally "
                       "deleted. Considering this operation as successful."));
    snapshot.filesystemId = "1002";
    EXPECT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
    EXPECT_EQ(sent(), (Strings{"GET " + kList1001, "DELETE filesystem-snapshots/SNAP-A1",
                               "GET " + kList1001, "GET filesystem-snapshots/1002/RKHNAS"}));
}

} // namespace
