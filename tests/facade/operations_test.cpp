// One row per operation of the facade, through the real session against the
// scripted gateway: the requests sent (with their bodies), what the caller
// gets back and the line the operation logs.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Documents.h"
#include "support/FacadeFixture.h"
#include "support/Records.h"

namespace {

using namespace hnastest;
using Strings = std::vector<std::string>;
using H = RkManageHNAS&;

const std::string kFileSystems =
    listJson("filesystems",
             {fileSystemJson("FS-OBJ-1", "Backup_FS", "1001", 107374182400ull, 21474836480ull),
              fileSystemJson("FS-OBJ-2", "archive", "1002", 2000, 500, true),
              fileSystemJson("FS-OBJ-3", "BACKUP_fs", "1003", 3000, 0)});
const std::string kShares =
    listJson("filesystemShares", {shareJson("SH-1", "11", "Finance", 1, "1001", "\\\\finance"),
                                  shareJson("SH-2", "12", "FINANCE", 1, "1002", "\\\\finance2"),
                                  shareJson("SH-3", "13", "backup$", 1, "1003", "\\\\backup")});
// The array writes a domain account with an escaped backslash.
const char* const kPermissions = R"({"cifsAuthentications": [
  {"name": "Everyone", "encodedName": "AQEAAAAAAAEAAAAA", "type": "GROUP", "permission": 7},
  {"name": "CORP\\backup-svc", "encodedName": "AQUAAAAAAAUVAAAA", "type": "USER",
   "permission": 3}]})";
const std::string kAuth = "filesystem-shares/cifs/SH-9/authentications";
const std::string kCifs = "virtual-servers/EVS-OBJ-1/CIFS";
const std::string ns = "RkManageHNAS::";

__HNASVirtualServers gEvs = virtualServer("EVS-OBJ-1", "evs1"); // taken by reference

struct Answer {
    std::string method, resource;
    int status;
    std::string body;
};

struct Op {
    std::vector<Answer> script;
    std::function<std::string(H)> run;            // the result and what the caller got
    Strings sent;                                 // "METHOD resource[ body]"
    std::string result, function = {}, line = {}; // line logged at `level` with the job
    int level = 0;
};

const Op kOps[] = {
    // Labels are compared without case and the last match wins.
    {{{"GET", "filesystems/", 200, kFileSystems}},
     [](H h) {
         std::string id;
         const bool ok = h.getFileSystemID("backup_fs", id);
         return std::to_string(ok) + " " + id;
     },
     {"GET filesystems/"},
     "1 1003",
     ns + "getFileSystemID",
     "File System[BACKUP_fs] found. FS ID [1003]"},
    // Share names are compared without case and the first match wins.
    {{{"GET", kCifs, 200, kShares}},
     [](H h) {
         std::string id;
         const bool ok = h.getFileSystemID(gEvs, "finance", "CIFS", id);
         return std::to_string(ok) + " " + id;
     },
     {"GET " + kCifs},
     "1 1001"},
    {{{"POST", "filesystem-snapshots", 201,
       "{\"snapshot\": " + snapshotJson("SNAP-7", "RKHNAS_job42", "1001", 5000000000ull) + "}"}},
     [](H h) {
         __HNASFileSystemSnapshot s;
         s.objectId = "caller";
         const bool ok = h.createFileSystemSnapshot("RKHNAS_job42", "1001", "42", s);
         return std::to_string(ok) + " " + s.objectId + "|" + s.displayName + "|" + s.filesystemId +
                "|" + s.state + "|" +
                std::to_string(s.creationTime); // read whole: no 32-bit truncation
     },
     {"POST filesystem-snapshots "
      R"({"displayName":"RKHNAS_job42", "filesystemId":"1001", "appSearchId":"42" })"},
     "1 SNAP-7|RKHNAS_job42|1001|CREATED|5000000000",
     ns + "createFileSystemSnapshot",
     "Successfully created Snapshot[RKHNAS_job42] for File System ID[1001]"},
    {{{"GET", "filesystem-snapshots/1001/RKHNAS", 500, R"({"errorCode": 500})"}},
     [](H h) {
         std::vector<__HNASFileSystemSnapshot> v(1);
         return std::to_string(h.getFileSystemSnapshots("1001", "RKHNAS", v));
     },
     {"GET filesystem-snapshots/1001/RKHNAS"},
     "0",
     ns + "getFileSystemSnapshots",
     "Unable to get file systems snapshots.",
     -1},
    // Presence and deletion by name decide by the exact name.
    {{{"GET", kCifs, 200, kShares}},
     [](H h) {
         const bool ok = h.isSharePresent("backup$", gEvs, "CIFS");
         return std::to_string(ok) + std::to_string(h.isSharePresent("finance", gEvs, "CIFS"));
     },
     {"GET " + kCifs, "GET " + kCifs},
     "10",
     ns + "isSharePresent",
     "Share [finance] not found."},
    {{{"GET", kCifs, 200, kShares}, {"DELETE", "filesystem-shares/CIFS/SH-3", 204, ""}},
     [](H h) {
         const bool ok = h.deleteFileSystemShare("backup$", gEvs, "CIFS");
         return std::to_string(ok) +
                std::to_string(h.deleteFileSystemShare("BACKUP$", gEvs, "CIFS"));
     },
     {"GET " + kCifs, "DELETE filesystem-shares/CIFS/SH-3", "GET " + kCifs},
     "11",
     ns + "deleteFileSystemShare",
     "Share [BACKUP$] not found. It may be externally deleted."},
    // One backslash on the array comes back doubled, as setting expects it.
    {{{"GET", kAuth, 200, kPermissions}},
     [](H h) {
         std::vector<__HNASCIFSAuthentication> v = {cifsEntry("old", "x", 1, "USER")};
         std::string out = std::to_string(h.getCIFSAuthentication("SH-9", v));
         for (const auto& e : v)
             out += " " + e.name + "|" + e.encodedName + "|" + e.type + "|" +
                    std::to_string(e.permission);
         return out;
     },
     {"GET " + kAuth},
     "1 Everyone|AQEAAAAAAAEAAAAA|GROUP|7 CORP\\\\backup-svc|AQUAAAAAAAUVAAAA|USER|3"},
    {{{"POST", kAuth, 201, R"({"cifsAuthentications": []})"}},
     [](H h) {
         std::vector<__HNASCIFSAuthentication> v = {
             cifsEntry("CORP\\\\backup-svc", "AQUAAAAAAAUVAAAA", 3, "USER"),
             cifsEntry("CORP\\\\Domain Admins", "AQUAAAAAAAUVAAAB", 7, "GROUP")};
         return std::to_string(h.setCIFSAuthentication("SH-9", v));
     },
     {"POST " + kAuth +
      R"( {"cifsAuthentications":[{"encodedName":"AQUAAAAAAAUVAAAA", "name":"CORP\\backup-svc", )"
      R"("permission":3, "type":"USER" },{"encodedName":"AQUAAAAAAAUVAAAB", )"
      R"("name":"CORP\\Domain Admins", "permission":7, "type":"GROUP" }]})"},
     "1"},
    // The array's encoded name goes back as it came, its escapes unchanged.
    {{{"DELETE", kAuth + "/QUxJQ0U=+x", 204, ""}},
     [](H h) { return std::to_string(h.deleteCIFSAuthentication("SH-9", "QUxJQ0U%3D+x")); },
     {"DELETE " + kAuth + "/QUxJQ0U%3D+x"},
     "1"},
    // The answer's line breaks and C1 controls are escaped in the line that
    // shows it; the record keeps them.
    {{{"GET", "file-devices", 200,
       "{\r\n\"licenses\": [\"L\xc2\x9b\"], \"clusterUUID\": \"U\", \"isCluster\": true, "
       "\"firmwareVersion\": \"F\", \"model\": \"M\", \"name\": \"N\\r\\n0 forged\", "
       "\"nodeCount\": 2, \"storageHealth\": \"OK\", \"vendor\": \"V\"}"}},
     [](H h) {
         __HNASStorageSubSystemInfo info;
         const bool ok = h.getFileDevice(info);
         return std::to_string(ok) + " " + info.name + "|" + info.licenses.at(0);
     },
     {"GET file-devices"},
     "1 N\r\n0 forged|L\xc2\x9b",
     ns + "getFileDevice",
     "Successfully got the storage subsystem information. Response [{\\x0D\\x0A\"licenses\": "
     "[\"L\\xC2\\x9B\"], \"clusterUUID\": \"U\", \"isCluster\": true, \"firmwareVersion\": "
     "\"F\", \"model\": \"M\", \"name\": \"N\\r\\n0 forged\", \"nodeCount\": 2, "
     "\"storageHealth\": \"OK\", \"vendor\": \"V\"}]",
     -1},
};

using OperationsTest = FacadeTest;

TEST_F(OperationsTest, EachSendsItsRequestsAndHandsBackTheAnswer) {
    for (const Op& op : kOps) {
        SCOPED_TRACE(op.result + " " + (op.sent.empty() ? "" : op.sent[0]));
        gateway.reset();
        log->clear();
        for (const Answer& a : op.script)
            gateway.on(a.method, a.resource, {a.status, a.body});
        EXPECT_EQ(op.run(hnas), op.result);
        Strings sentWithBodies = sent();
        for (size_t i = 0; i < sentWithBodies.size(); ++i)
            if (!gateway.requests()[i].body.empty())
                sentWithBodies[i] += " " + gateway.requests()[i].body;
        EXPECT_EQ(sentWithBodies, op.sent);
        if (!op.line.empty()) {
            EXPECT_TRUE(logged(op.function, op.level, op.line)) << log.dump();
        }
    }
}

} // namespace
