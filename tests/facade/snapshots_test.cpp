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
const char* const kCreate = "RkManageHNAS::createFileSystemSnapshot";
const char* const kList = "RkManageHNAS::getFileSystemSnapshots";
const char* const kDelete = "RkManageHNAS::deleteFileSystemSnapshot";
const char* const kPresent = "RkManageHNAS::isSnapshotPresent";

__HNASFileSystemSnapshot callerSnapshot() {
    __HNASFileSystemSnapshot snapshot;
    snapshot.objectId = "caller-object";
    snapshot.displayName = "caller-name";
    snapshot.creationTime = 7;
    return snapshot;
}

using SnapshotsTest = hnastest::FacadeTest;

TEST_F(SnapshotsTest, CreationPostsTheBodyAndReturnsTheCreatedSnapshot) {
    gateway.on("POST", "filesystem-snapshots",
               {201, "{\"snapshot\": " +
                         snapshotJson("SNAP-OBJ-7", "RKHNAS_job42", "1001", 5000000000ull) + "}"});
    __HNASFileSystemSnapshot snapshot = callerSnapshot();
    ASSERT_TRUE(hnas.createFileSystemSnapshot("RKHNAS_job42", "1001", "42", snapshot));
    EXPECT_EQ(sent(), Strings{"POST filesystem-snapshots"});
    EXPECT_EQ(snapshot.objectId + "|" + snapshot.displayName + "|" + snapshot.filesystemId + "|" +
                  snapshot.state + "|" + snapshot.creationReason,
              "SNAP-OBJ-7|RKHNAS_job42|1001|CREATED|USER");
    EXPECT_EQ(snapshot.creationTime, 5000000000ull); // read whole: no 32-bit truncation
    EXPECT_TRUE(
        logged(kCreate, 0, "Successfully created Snapshot[RKHNAS_job42] for File System ID[1001]"));
}

TEST_F(SnapshotsTest, ListingRequestsTheFilterPathAndReplacesTheVector) {
    gateway.on("GET", kList1001, {200, kOf1001});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"count": 0})"});
    std::vector<__HNASFileSystemSnapshot> snapshots(4);
    ASSERT_TRUE(hnas.getFileSystemSnapshots("1001", "RKHNAS", snapshots));
    EXPECT_EQ(sent(), Strings{"GET " + kList1001});
    ASSERT_EQ(snapshots.size(), 3u);
    EXPECT_EQ(snapshots[0].objectId + "|" + snapshots[1].displayName, "SNAP-A1|RKHNAS_weekly");
    EXPECT_EQ(snapshots[2].creationTime, 1700000200u);
    ASSERT_TRUE(hnas.getFileSystemSnapshots("1002", "RKHNAS", snapshots));
    EXPECT_TRUE(snapshots.empty());
}

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
    std::vector<__HNASFileSystemSnapshot> snapshots(2, callerSnapshot());
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
    snapshots.assign(2, callerSnapshot());
    EXPECT_FAILS(hnas.getAllSnapshots(snapshots), "RkManageHNAS::getAllSnapshots",
                 "File Systems list is empty.", 1);
    EXPECT_TRUE(snapshots.empty());
}

// Display names are compared exactly; every match is logged.
TEST_F(SnapshotsTest, Presence) {
    gateway.on("GET", kList1001, {200, kOf1001});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"snapshots": []})"});
    EXPECT_TRUE(hnas.isSnapshotPresent("1001", "RKHNAS_daily", "RKHNAS"));
    EXPECT_EQ(log->count("File System Snapshot[RKHNAS_daily] found. FS ID [1001]"), 2u);
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "rkhnas_DAILY", "RKHNAS"));
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "RKHNAS_dail", "RKHNAS"));
    EXPECT_FAILS(hnas.isSnapshotPresent("1002", "RKHNAS_daily", "RKHNAS"), kPresent,
                 "File System snapshot list is empty.", 1);
    gateway.on("GET", kList1001, {500, R"({"errorCode": 500})"}); // the line carries the job
    std::vector<__HNASFileSystemSnapshot> snapshots;
    EXPECT_FAILS(hnas.getFileSystemSnapshots("1001", "RKHNAS", snapshots), kList,
                 "Unable to get file systems snapshots.", 1);
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
    EXPECT_EQ(sent(), (Strings{"GET " + kList1001, "DELETE filesystem-snapshots/SNAP-A1"}));
    EXPECT_TRUE(logged(kDelete, 0, "Found the snapshot[RKHNAS_daily] that has to be deleted."));

    // Not listed (exact names): gone already, a success without a delete.
    gateway.reset();
    gateway.on("GET", kList1001, {200, kOf1001});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"snapshots": []})"});
    for (const char* name : {"RKHNAS_gone", "rkhnas_DAILY"}) {
        snapshot.displayName = name;
        EXPECT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
        EXPECT_TRUE(logged(kDelete, -1,
                           std::string("Snapshot[") + name +
                               "] to delete not found. It may be externally deleted. "
                               "Considering this operation as successful."));
    }
    snapshot.filesystemId = "1002";
    EXPECT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
    EXPECT_EQ(sent(), (Strings{"GET " + kList1001, "GET " + kList1001,
                               "GET filesystem-snapshots/1002/RKHNAS"}));
}

// Only a 204 is a success (other statuses are in the fault suite).
TEST_F(SnapshotsTest, DeletionByObjectIdAndRecoverySendNoBody) {
    gateway.on("DELETE", "filesystem-snapshots/SNAP-A2", {204, ""});
    gateway.on("POST", "filesystem-snapshots/SNAP-A2/recover", {200, ""});
    EXPECT_TRUE(hnas.deleteFileSystemSnapshot(std::string("SNAP-A2")));
    EXPECT_FALSE(hnas.recoverFileSystemSnapshot("SNAP-A2"));
    EXPECT_EQ(sent(), (Strings{"DELETE filesystem-snapshots/SNAP-A2",
                               "POST filesystem-snapshots/SNAP-A2/recover"}));
    EXPECT_EQ(gateway.requests()[0].body + gateway.requests()[1].body, "");
}

} // namespace
