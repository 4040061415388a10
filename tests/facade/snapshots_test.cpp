// Snapshot operations of the facade, through the real session against the
// scripted gateway: requests sent, results, out-parameters and log lines.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

using hnastest::FacadeTest;

const char* const kCreatedSnapshot = R"({"snapshot": {
  "objectId": "SNAP-OBJ-7", "displayName": "RKHNAS_job42", "filesystemId": "1001",
  "state": "CREATED", "creationReason": "USER", "creationTime": 5000000000}})";

const char* const kSnapshotsOf1001 = R"({"snapshots": [
  {"objectId": "SNAP-A1", "displayName": "RKHNAS_daily", "filesystemId": "1001",
   "state": "CREATED", "creationReason": "USER", "creationTime": 1700000000},
  {"objectId": "SNAP-A2", "displayName": "RKHNAS_weekly", "filesystemId": "1001",
   "state": "CREATED", "creationReason": "USER", "creationTime": 1700000100},
  {"objectId": "SNAP-A3", "displayName": "RKHNAS_daily", "filesystemId": "1001",
   "state": "CREATED", "creationReason": "USER", "creationTime": 1700000200}
]})";

const char* const kThreeFileSystems = R"({"filesystems": [
  {"objectId": "FS-OBJ-1", "label": "fs-one", "filesystemId": "1001", "status": "MOUNTED",
   "capacity": 1000, "usedCapacity": 100, "freeCapacity": 900, "isReadOnly": false},
  {"objectId": "FS-OBJ-2", "label": "fs-two", "filesystemId": "1002", "status": "MOUNTED",
   "capacity": 1000, "usedCapacity": 100, "freeCapacity": 900, "isReadOnly": false},
  {"objectId": "FS-OBJ-3", "label": "fs-three", "filesystemId": "1003", "status": "MOUNTED",
   "capacity": 1000, "usedCapacity": 100, "freeCapacity": 900, "isReadOnly": false}
]})";

const char* const kSnapshotsOf1003 = R"({"snapshots": [
  {"objectId": "SNAP-C1", "displayName": "RKHNAS_c", "filesystemId": "1003",
   "state": "CREATED", "creationReason": "USER", "creationTime": 1700000300}
]})";

__HNASFileSystemSnapshot callerSnapshot() {
    __HNASFileSystemSnapshot snapshot;
    snapshot.objectId = "caller-object";
    snapshot.displayName = "caller-name";
    snapshot.creationTime = 7;
    return snapshot;
}

void expectCallerSnapshot(const __HNASFileSystemSnapshot& snapshot) {
    EXPECT_EQ(snapshot.objectId, "caller-object");
    EXPECT_EQ(snapshot.displayName, "caller-name");
    EXPECT_EQ(snapshot.creationTime, 7u);
}

class SnapshotsTest : public FacadeTest {
protected:
    std::vector<std::string> sent() const {
        std::vector<std::string> lines;
        for (const hnastest::RecordedRequest& request : gateway.requests()) {
            lines.push_back(request.method + " " + request.path);
        }
        return lines;
    }
};

// --- createFileSystemSnapshot ---

TEST_F(SnapshotsTest, CreationPostsTheBodyAndReturnsTheCreatedSnapshot) {
    gateway.on("POST", "filesystem-snapshots", {201, kCreatedSnapshot});
    __HNASFileSystemSnapshot snapshot = callerSnapshot();
    ASSERT_TRUE(hnas.createFileSystemSnapshot("RKHNAS_job42", "1001", "42", snapshot));

    ASSERT_EQ(gateway.requestCount(), 1u);
    const hnastest::RecordedRequest request = gateway.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, storagePath("filesystem-snapshots"));
    EXPECT_EQ(request.body,
              R"({"displayName":"RKHNAS_job42", "filesystemId":"1001", "appSearchId":"42" })");

    EXPECT_EQ(snapshot.objectId, "SNAP-OBJ-7");
    EXPECT_EQ(snapshot.displayName, "RKHNAS_job42");
    EXPECT_EQ(snapshot.filesystemId, "1001");
    EXPECT_EQ(snapshot.state, "CREATED");
    EXPECT_EQ(snapshot.creationReason, "USER");
    // Read whole, as in the listing: no 32-bit truncation.
    EXPECT_EQ(snapshot.creationTime, 5000000000ull);
    EXPECT_TRUE(
        log->contains("Successfully created Snapshot[RKHNAS_job42] for File System ID[1001]", 0));
}

TEST_F(SnapshotsTest, CreationRefusedInputsSendNothing) {
    __HNASFileSystemSnapshot snapshot = callerSnapshot();
    EXPECT_FALSE(hnas.createFileSystemSnapshot("RKHNAS_1", "1001", "", snapshot));
    EXPECT_FALSE(hnas.createFileSystemSnapshot("", "1001", "42", snapshot));
    EXPECT_FALSE(hnas.createFileSystemSnapshot("RKHNAS_1", "", "42", snapshot));
    EXPECT_EQ(log->count("Invalid input."), 3u);

    // A name that cannot stand inside a JSON string is not sent.
    log->clear();
    EXPECT_FALSE(hnas.createFileSystemSnapshot("RKHNAS_\"x", "1001", "42", snapshot));
    EXPECT_TRUE(log->contains("Unable to build the request body", -1));
    EXPECT_EQ(gateway.requestCount(), 0u);
    expectCallerSnapshot(snapshot);
}

TEST_F(SnapshotsTest, CreationAnswersThatFailLeaveTheRecordUntouched) {
    struct Case {
        hnastest::ScriptedResponse answer;
        const char* line;
    };
    const std::vector<Case> cases = {
        {{200, kCreatedSnapshot},
         "Unable to create Snapshot[RKHNAS_job42] for File System ID[1001]"},
        {{409, R"({"errorCode": 409, "errorMsg": "Exists"})"},
         "Unable to create Snapshot[RKHNAS_job42] for File System ID[1001]"},
        {{201, ""}, "Empty response from the array"},
        {{201, "Created"}, "Unable to parse JSON response"},
        {{201, R"({"result": "ok"})"}, "Unable to parse JSON response"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.body);
        gateway.reset();
        log->clear();
        gateway.on("POST", "filesystem-snapshots", c.answer);
        __HNASFileSystemSnapshot snapshot = callerSnapshot();
        EXPECT_FALSE(hnas.createFileSystemSnapshot("RKHNAS_job42", "1001", "42", snapshot));
        EXPECT_TRUE(log->contains(c.line, -1));
        EXPECT_EQ(gateway.requestCount(), 1u);
        expectCallerSnapshot(snapshot);
    }
}

// --- getFileSystemSnapshots ---

TEST_F(SnapshotsTest, ListingRequestsTheFilterPathAndReplacesTheVector) {
    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {200, kSnapshotsOf1001});
    std::vector<__HNASFileSystemSnapshot> snapshots(4);
    ASSERT_TRUE(hnas.getFileSystemSnapshots("1001", "RKHNAS", snapshots));
    EXPECT_EQ(sent(), std::vector<std::string>{"GET /v4/storage/filesystem-snapshots/1001/RKHNAS"});
    ASSERT_EQ(snapshots.size(), 3u);
    EXPECT_EQ(snapshots[0].objectId, "SNAP-A1");
    EXPECT_EQ(snapshots[1].displayName, "RKHNAS_weekly");
    EXPECT_EQ(snapshots[2].creationTime, 1700000200u);
    EXPECT_TRUE(log->contains(std::string("Successfully got file system snapshots. Response [") +
                                  kSnapshotsOf1001 + "]",
                              5));

    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"count": 0})"});
    ASSERT_TRUE(hnas.getFileSystemSnapshots("1002", "RKHNAS", snapshots));
    EXPECT_TRUE(snapshots.empty());
}

TEST_F(SnapshotsTest, ListingFailuresLeaveTheCallersVector) {
    std::vector<__HNASFileSystemSnapshot> snapshots(1, callerSnapshot());
    EXPECT_FALSE(hnas.getFileSystemSnapshots("1001", "", snapshots));
    EXPECT_FALSE(hnas.getFileSystemSnapshots("", "RKHNAS", snapshots));
    EXPECT_EQ(log->count("Invalid input."), 2u);
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {500, R"({"errorCode": 1})"});
    EXPECT_FALSE(hnas.getFileSystemSnapshots("1001", "RKHNAS", snapshots));
    EXPECT_TRUE(log->contains("Unable to get file systems snapshots.", -1));
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, ""});
    EXPECT_FALSE(hnas.getFileSystemSnapshots("1002", "RKHNAS", snapshots));
    EXPECT_TRUE(log->contains("Empty response from the array", -1));
    gateway.on("GET", "filesystem-snapshots/1003/RKHNAS", {200, "{}"});
    EXPECT_FALSE(hnas.getFileSystemSnapshots("1003", "RKHNAS", snapshots));
    EXPECT_TRUE(log->contains("Unable to parse JSON response", -1));

    ASSERT_EQ(snapshots.size(), 1u);
    expectCallerSnapshot(snapshots[0]);
}

// --- getAllSnapshots ---

TEST_F(SnapshotsTest, AllSnapshotsSkipsAFailedFileSystemAndKeepsListingOrder) {
    gateway.on("GET", "filesystems/", {200, kThreeFileSystems});
    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {200, kSnapshotsOf1001});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS",
               {500, R"({"errorCode": 500, "errorMsg": "Internal error"})"});
    gateway.on("GET", "filesystem-snapshots/1003/RKHNAS", {200, kSnapshotsOf1003});

    std::vector<__HNASFileSystemSnapshot> snapshots(2, callerSnapshot());
    ASSERT_TRUE(hnas.getAllSnapshots(snapshots));
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "GET /v4/storage/filesystems/",
                          "GET /v4/storage/filesystem-snapshots/1001/RKHNAS",
                          "GET /v4/storage/filesystem-snapshots/1002/RKHNAS",
                          "GET /v4/storage/filesystem-snapshots/1003/RKHNAS",
                      }));
    ASSERT_EQ(snapshots.size(), 4u);
    EXPECT_EQ(snapshots[0].objectId, "SNAP-A1");
    EXPECT_EQ(snapshots[1].objectId, "SNAP-A2");
    EXPECT_EQ(snapshots[2].objectId, "SNAP-A3");
    EXPECT_EQ(snapshots[3].objectId, "SNAP-C1");
    EXPECT_EQ(snapshots[3].filesystemId, "1003");

    EXPECT_TRUE(log->contains("Unable to get File System Snapshots for File System[fs-two]", -1));
    EXPECT_EQ(log->count("Unable to get File System Snapshots for File System[fs-one]"), 0u);
    EXPECT_EQ(log->count("Unable to get File System Snapshots for File System[fs-three]"), 0u);
}

TEST_F(SnapshotsTest, AllSnapshotsEmptiesTheOutputEvenWhenItFails) {
    gateway.on("GET", "filesystems/", {401, R"({"errorCode": 401})"});
    std::vector<__HNASFileSystemSnapshot> snapshots(2, callerSnapshot());
    EXPECT_FALSE(hnas.getAllSnapshots(snapshots));
    EXPECT_TRUE(snapshots.empty());
    EXPECT_TRUE(log->contains("Unable to get the File Systems list.", -1));

    gateway.reset();
    log->clear();
    gateway.on("GET", "filesystems/", {200, R"({"filesystems": []})"});
    snapshots.assign(2, callerSnapshot());
    EXPECT_FALSE(hnas.getAllSnapshots(snapshots));
    EXPECT_TRUE(snapshots.empty());
    EXPECT_TRUE(log->contains("File Systems list is empty.", -1));
    EXPECT_EQ(gateway.requestCount(), 1u);
}

// --- isSnapshotPresent ---

TEST_F(SnapshotsTest, PresenceLogsEveryExactMatchAndFailsOtherwise) {
    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {200, kSnapshotsOf1001});
    EXPECT_TRUE(hnas.isSnapshotPresent("1001", "RKHNAS_daily", "RKHNAS"));
    EXPECT_EQ(log->count("File System Snapshot[RKHNAS_daily] found. FS ID [1001]"), 2u);
    EXPECT_TRUE(log->contains("File System Snapshot[RKHNAS_daily] found. FS ID [1001]", 0));

    log->clear();
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "rkhnas_DAILY", "RKHNAS"));
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "RKHNAS_dail", "RKHNAS"));
    for (const LogRecord& record : log->records()) {
        EXPECT_EQ(record.text.find("found."), std::string::npos) << record.text;
    }

    log->clear();
    EXPECT_FALSE(hnas.isSnapshotPresent("", "RKHNAS_daily", "RKHNAS"));
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "", "RKHNAS"));
    EXPECT_EQ(log->count("Invalid Input. File System name or Snap UUID is empty."), 2u);

    log->clear();
    EXPECT_FALSE(hnas.isSnapshotPresent("1001", "RKHNAS_daily", ""));
    EXPECT_TRUE(log->contains("Invalid input.", -1));
    EXPECT_TRUE(log->contains("Unable to get the File System snapshots list.", -1));
    EXPECT_EQ(gateway.requestCount(), 3u);

    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"snapshots": []})"});
    EXPECT_FALSE(hnas.isSnapshotPresent("1002", "RKHNAS_daily", "RKHNAS"));
    EXPECT_TRUE(log->contains("File System snapshot list is empty.", -1));
}

// --- deleteFileSystemSnapshot ---

TEST_F(SnapshotsTest, DeletionByRecordDeletesOnlyTheFirstListedMatch) {
    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {200, kSnapshotsOf1001});
    gateway.on("DELETE", "filesystem-snapshots/SNAP-A1", {204, ""});
    __HNASFileSystemSnapshot snapshot;
    snapshot.objectId = "STALE-OBJECT"; // the listing's object ID is used instead
    snapshot.filesystemId = "1001";
    snapshot.displayName = "RKHNAS_daily";
    ASSERT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));

    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "GET /v4/storage/filesystem-snapshots/1001/RKHNAS",
                          "DELETE /v4/storage/filesystem-snapshots/SNAP-A1",
                      }));
    EXPECT_TRUE(gateway.requests()[1].body.empty());
    EXPECT_EQ(log->count("Found the snapshot[RKHNAS_daily] that has to be deleted."), 1u);
    EXPECT_TRUE(log->contains("Found the snapshot[RKHNAS_daily] that has to be deleted.", 0));
}

TEST_F(SnapshotsTest, DeletionByRecordOfAnUnlistedSnapshotSucceedsWithoutDelete) {
    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {200, kSnapshotsOf1001});
    gateway.on("GET", "filesystem-snapshots/1002/RKHNAS", {200, R"({"snapshots": []})"});
    __HNASFileSystemSnapshot snapshot;
    snapshot.filesystemId = "1001";
    for (const char* name : {"RKHNAS_gone", "rkhnas_DAILY"}) {
        SCOPED_TRACE(name);
        log->clear();
        snapshot.displayName = name;
        EXPECT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
        EXPECT_TRUE(log->contains(std::string("Snapshot[") + name +
                                      "] to delete not found. It may be externally deleted. "
                                      "Considering this operation as successful.",
                                  -1));
    }
    snapshot.filesystemId = "1002";
    EXPECT_TRUE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
    for (const hnastest::RecordedRequest& request : gateway.requests()) {
        EXPECT_EQ(request.method, "GET") << request.path;
    }
    EXPECT_EQ(gateway.requestCount(), 3u);
}

TEST_F(SnapshotsTest, DeletionByRecordFailures) {
    __HNASFileSystemSnapshot snapshot;
    snapshot.filesystemId = "1001";
    snapshot.displayName = "RKHNAS_daily";
    __HNASFileSystemSnapshot noName = snapshot;
    noName.displayName.clear();
    __HNASFileSystemSnapshot noFileSystem = snapshot;
    noFileSystem.filesystemId.clear();
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(noName, "RKHNAS"));
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(noFileSystem, "RKHNAS"));
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(snapshot, ""));
    EXPECT_EQ(log->count("Invalid input."), 3u);
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {500, R"({"errorCode": 1})"});
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
    EXPECT_TRUE(log->contains("Unable to get the snapshots list.", -1));

    gateway.reset();
    log->clear();
    gateway.on("GET", "filesystem-snapshots/1001/RKHNAS", {200, kSnapshotsOf1001});
    gateway.on("DELETE", "filesystem-snapshots/SNAP-A1", {409, R"({"errorCode": 409})"});
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(snapshot, "RKHNAS"));
    EXPECT_TRUE(log->contains("Unable to delete Snapshot with ObjectID [SNAP-A1]", -1));
    EXPECT_TRUE(log->contains("Unable to delete the Snapshot[RKHNAS_daily].", -1));
}

TEST_F(SnapshotsTest, DeletionByObjectIdAndRecoverySendNoBodyAndSucceedOnlyOn204) {
    for (int status : {204, 200, 201}) {
        SCOPED_TRACE(status);
        gateway.reset();
        log->clear();
        gateway.on("DELETE", "filesystem-snapshots/SNAP-A2", {status, ""});
        gateway.on("POST", "filesystem-snapshots/SNAP-A2/recover", {status, ""});
        EXPECT_EQ(hnas.deleteFileSystemSnapshot(std::string("SNAP-A2")), status == 204);
        EXPECT_EQ(hnas.recoverFileSystemSnapshot("SNAP-A2"), status == 204);
        EXPECT_EQ(sent(), (std::vector<std::string>{
                              "DELETE /v4/storage/filesystem-snapshots/SNAP-A2",
                              "POST /v4/storage/filesystem-snapshots/SNAP-A2/recover",
                          }));
        for (const hnastest::RecordedRequest& request : gateway.requests()) {
            EXPECT_TRUE(request.body.empty()) << request.path;
        }
        EXPECT_EQ(log->contains("Unable to delete Snapshot with ObjectID [SNAP-A2]", -1),
                  status != 204);
        EXPECT_EQ(log->contains("Unable to recover Snapshot with ObjectID [SNAP-A2]", -1),
                  status != 204);
    }

    log->clear();
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(std::string()));
    EXPECT_FALSE(hnas.recoverFileSystemSnapshot(""));
    EXPECT_EQ(log->count("Invalid input."), 2u);
    EXPECT_EQ(gateway.requestCount(), 2u);
}

TEST_F(SnapshotsTest, IdentifiersThatWouldLeaveTheirResourceAreNotSent) {
    gateway.setFallback({204, ""});
    std::vector<__HNASFileSystemSnapshot> snapshots;
    EXPECT_FALSE(hnas.deleteFileSystemSnapshot(std::string("../filesystems/1001")));
    EXPECT_FALSE(hnas.recoverFileSystemSnapshot(".."));
    EXPECT_FALSE(hnas.getFileSystemSnapshots("1001", "..", snapshots));
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_TRUE(log->contains(
        "Unsafe Resource[filesystem-snapshots/../filesystems/1001]. The request was not sent.",
        -1));
    EXPECT_TRUE(log->contains("Unable to delete Snapshot with ObjectID [../filesystems/1001]", -1));
    EXPECT_TRUE(log->contains("Unable to recover Snapshot with ObjectID [..]", -1));
    EXPECT_TRUE(log->contains("Unable to get file systems snapshots.", -1));
}

} // namespace
