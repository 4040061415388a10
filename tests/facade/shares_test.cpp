// CIFS and NFS shares through the real client against the scripted gateway.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

const char* const kCIFSListing = R"({"filesystemShares": [
  {"objectId": "SH-1", "shareId": "1", "name": "Finance", "virtualServerId": 1,
   "filesystemId": "FS-A", "path": "\\finance",
   "settings": {"accessConfig": "10.0.0.0/8", "snapshotOption": "HIDE_AND_DISALLOW_ACCESS",
                "transferToReplicationTargetSetting": "TRANSFER", "localReadCacheOption": "ENABLED"}},
  {"objectId": "SH-2", "shareId": "2", "name": "backup$", "virtualServerId": 1,
   "filesystemId": "FS-A", "path": "\\backup", "settings": {}},
  {"objectId": "SH-3", "shareId": "3", "name": "Home", "virtualServerId": 1,
   "filesystemId": "FS-B", "path": "\\home", "settings": {}}
]})";

const char* const kNFSListing = R"({"filesystemShares": [
  {"objectId": "NFS-1", "shareId": "11", "name": "exports", "virtualServerId": 2,
   "filesystemId": "FS-C", "path": "/exports", "settings": {"accessConfig": "*"}}
]})";

const char* const kFinancePermissions = R"({"cifsAuthentications": [
  {"name": "CORP\\finance", "encodedName": "AQUAAAAAAAUVAAAF", "type": "GROUP", "permission": 7}
]})";

const char* const kDefaultPermission = R"({"cifsAuthentications": [
  {"name": "Everyone", "encodedName": "AQEAAAAAAAEAAAAA", "type": "GROUP", "permission": 7},
  {"name": "CORP\\admins", "encodedName": "AQUAAAAAAAUVAAAB", "type": "GROUP", "permission": 7}
]})";

const char* const kCreated = R"({"filesystemShare": {"objectId": "SH-NEW", "shareId": "57",
  "name": "proj", "virtualServerId": 1, "filesystemId": "FS-A", "path": "\\projects\\proj"}})";

const char* const kError = R"({"errorCode": 500, "errorMsg": "Internal error"})";

const char* const kList = "RkManageHNAS::getFilesystemShares";
const char* const kPresent = "RkManageHNAS::isSharePresent";
const char* const kCreate = "RkManageHNAS::createFileSystemShare";
const char* const kDelete = "RkManageHNAS::deleteFileSystemShare";

class SharesTest : public hnastest::FacadeTest {
protected:
    SharesTest() {
        evs.objectId = "EVS-OBJ-1";
        evs.name = "evs-finance";
    }

    bool logged(const std::string& function, int level, const std::string& text) {
        for (const LogRecord& record : log->records()) {
            if (record.function == function && record.level == level && record.text == text &&
                record.jobId == static_cast<long long>(kJobId)) {
                return true;
            }
        }
        return false;
    }

    static std::vector<__HNASFileSystemShares> filter(std::vector<std::string> names) {
        std::vector<__HNASFileSystemShares> shares;
        for (const std::string& name : names) {
            __HNASFileSystemShares share;
            share.name = name;
            share.objectId = "caller-" + name;
            shares.push_back(share);
        }
        return shares;
    }

    static std::vector<std::string> namesOf(const std::vector<__HNASFileSystemShares>& shares) {
        std::vector<std::string> names;
        for (const auto& share : shares) {
            names.push_back(share.name);
        }
        return names;
    }

    std::vector<std::string> requestLines() {
        std::vector<std::string> lines;
        for (const auto& request : gateway.requests()) {
            lines.push_back(request.method + " " + request.path);
        }
        return lines;
    }

    __HNASVirtualServers evs;
};

// --- getFilesystemShares ---

TEST_F(SharesTest, AnEmptyFilterListsEveryShareWithoutPermissions) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});
    std::vector<__HNASFileSystemShares> shares;

    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));

    EXPECT_EQ(requestLines(),
              std::vector<std::string>{"GET " + storagePath("virtual-servers/EVS-OBJ-1/CIFS")});
    ASSERT_EQ(namesOf(shares), (std::vector<std::string>{"Finance", "backup$", "Home"}));
    EXPECT_EQ(shares[0].objectId, "SH-1");
    EXPECT_EQ(shares[0].path, "\\finance");
    EXPECT_EQ(shares[0].virtualServerId, 1);
    EXPECT_EQ(shares[0].settings.accessConfig, "10.0.0.0/8");
    EXPECT_EQ(shares[0].settings.snapshotOption, "HIDE_AND_DISALLOW_ACCESS");
    EXPECT_EQ(shares[1].settings.accessConfig, "*");
    EXPECT_TRUE(shares[0].settings.cifsAuthentications.empty());
    EXPECT_TRUE(logged(kList, 0, "Getting information for all File System shares."));
    EXPECT_TRUE(logged(kList, 5,
                       std::string("Successfully got file system shares for virtual server "
                                   "[evs-finance]. Response [") +
                           kCIFSListing + "]"));
}

TEST_F(SharesTest, TheFilterFoldsCaseAndKeepsTheArraysOrderAndRecords) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});
    // Duplicates, a different case and a name the array does not have.
    std::vector<__HNASFileSystemShares> shares =
        filter({"HOME", "finance", "nosuch", "Home", "home"});

    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, false));

    EXPECT_EQ(gateway.requestCount(), 1u);
    ASSERT_EQ(namesOf(shares), (std::vector<std::string>{"Finance", "Home"}));
    EXPECT_EQ(shares[0].objectId, "SH-1");
    EXPECT_EQ(shares[0].settings.transferToReplicationTargetSetting, "TRANSFER");
    EXPECT_EQ(shares[1].objectId, "SH-3");
    EXPECT_EQ(shares[1].filesystemId, "FS-B");
    EXPECT_TRUE(logged(kList, 0, "Getting information for [5] File System shares"));
    EXPECT_TRUE(logged(kList, 0, "Found Share [Finance]"));
    EXPECT_EQ(log->count("Found Share [Home]"), 1u);
}

TEST_F(SharesTest, AFilterThatMatchesNothingEmptiesTheVector) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});
    std::vector<__HNASFileSystemShares> shares = filter({"nosuch", "Financ"});
    EXPECT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));
    EXPECT_TRUE(shares.empty());
    EXPECT_EQ(gateway.requestCount(), 1u);
}

TEST_F(SharesTest, MatchedCIFSSharesGetTheirPermissions) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});
    gateway.on("GET", "filesystem-shares/cifs/SH-1/authentications", {200, kFinancePermissions});
    gateway.on("GET", "filesystem-shares/cifs/SH-3/authentications", {500, kError});
    std::vector<__HNASFileSystemShares> shares = filter({"home", "FINANCE"});

    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));

    EXPECT_EQ(requestLines(),
              (std::vector<std::string>{
                  "GET " + storagePath("virtual-servers/EVS-OBJ-1/CIFS"),
                  "GET " + storagePath("filesystem-shares/cifs/SH-1/authentications"),
                  "GET " + storagePath("filesystem-shares/cifs/SH-3/authentications")}));
    ASSERT_EQ(namesOf(shares), (std::vector<std::string>{"Finance", "Home"}));
    ASSERT_EQ(shares[0].settings.cifsAuthentications.size(), 1u);
    EXPECT_EQ(shares[0].settings.cifsAuthentications[0].name, "CORP\\\\finance");
    EXPECT_EQ(shares[0].settings.cifsAuthentications[0].encodedName, "AQUAAAAAAAUVAAAF");
    // A failed permission read is logged; the share is still listed.
    EXPECT_TRUE(shares[1].settings.cifsAuthentications.empty());
    EXPECT_TRUE(logged(kList, -1, "Unable to get CIFS Authentication Information."));
}

TEST_F(SharesTest, NFSSharesNeverFetchPermissions) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/NFS", {200, kNFSListing});
    std::vector<__HNASFileSystemShares> shares = filter({"EXPORTS"});

    ASSERT_TRUE(hnas.getFilesystemShares(evs, "NFS", shares, true));
    EXPECT_EQ(gateway.requestCount(), 1u);
    ASSERT_EQ(namesOf(shares), std::vector<std::string>{"exports"});
    EXPECT_EQ(shares[0].virtualServerId, 2);
}

TEST_F(SharesTest, ListingFailuresLeaveTheCallersVector) {
    const std::vector<std::string> before = {"Finance", "home"};
    std::vector<__HNASFileSystemShares> shares = filter(before);

    EXPECT_FALSE(hnas.getFilesystemShares(evs, "cifs", shares, false));
    EXPECT_TRUE(logged(kList, -1, "Invalid share type."));
    __HNASVirtualServers noObject;
    EXPECT_FALSE(hnas.getFilesystemShares(noObject, "CIFS", shares, false));
    EXPECT_FALSE(hnas.getFilesystemShares(evs, "", shares, false));
    EXPECT_EQ(log->count("Invalid input."), 2u);
    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.getFilesystemShares(evs, "CIFS", shares, false));
    EXPECT_TRUE(logged(kList, -1, "Initialize HNAS params."));
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {206, kNFSListing});
    EXPECT_FALSE(hnas.getFilesystemShares(evs, "CIFS", shares, false));
    EXPECT_TRUE(logged(kList, -1,
                       std::string("Unable to get file system shares for virtual server "
                                   "[evs-finance]. Response [") +
                           kNFSListing + "]"));
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, ""});
    EXPECT_FALSE(hnas.getFilesystemShares(evs, "CIFS", shares, false));
    EXPECT_TRUE(logged(kList, -1, "Empty response from the array"));
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS",
               {200, R"({"filesystemShares": [{"name": "Finance"}]})"});
    EXPECT_FALSE(hnas.getFilesystemShares(evs, "CIFS", shares, false));
    EXPECT_TRUE(logged(kList, -1, "Unable to parse JSON response"));

    EXPECT_EQ(namesOf(shares), before);
    EXPECT_EQ(shares[0].objectId, "caller-Finance");
}

// --- isSharePresent ---

TEST_F(SharesTest, PresenceIsDecidedByTheExactName) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});

    EXPECT_TRUE(hnas.isSharePresent("backup$", evs, "CIFS"));
    EXPECT_TRUE(logged(kPresent, 0, "Share [backup$] found."));
    EXPECT_FALSE(hnas.isSharePresent("finance", evs, "CIFS"));
    EXPECT_TRUE(logged(kPresent, 0, "Share [finance] not found."));

    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {500, kError});
    EXPECT_FALSE(hnas.isSharePresent("Finance", evs, "CIFS"));
    EXPECT_TRUE(logged(kPresent, -1, "Unable to get the shares list."));

    const size_t sent = gateway.requestCount();
    EXPECT_FALSE(hnas.isSharePresent("", evs, "CIFS"));
    EXPECT_TRUE(logged(kPresent, -1, "Invalid input."));
    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.isSharePresent("Finance", evs, "CIFS"));
    EXPECT_TRUE(logged(kPresent, -1, "Initialize HNAS params."));
    EXPECT_EQ(gateway.requestCount(), sent);
}

// --- createFileSystemShare ---

TEST_F(SharesTest, AnNFSShareIsCreatedFromTheCallersSettings) {
    gateway.on("POST", "filesystem-shares/NFS",
               {201, R"({"filesystemShare": {"objectId": "NFS-NEW", "shareId": "90",
                  "name": "exports", "virtualServerId": 2, "filesystemId": "FS-C",
                  "path": "/exports"}})"});
    __HNASFileSystemShares share;
    share.settings.accessConfig = "10.1.0.0/16";
    share.reserved = "caller";

    ASSERT_TRUE(hnas.createFileSystemShare("exports", "2", "FS-C", "/exports", "NFS", share, true));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, storagePath("filesystem-shares/NFS"));
    EXPECT_EQ(requests[0].body,
              R"({"name":"exports", "virtualServerId":2, "filesystemId":"FS-C", )"
              R"("filesystemPath":"/exports", "settings":{"accessConfig":"10.1.0.0/16", )"
              R"("snapshotOption":"SHOW_AND_ALLOW_ACCESS", "localReadCacheOption":"DISABLED", )"
              R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER"}})");
    EXPECT_EQ(share.objectId, "NFS-NEW");
    EXPECT_EQ(share.shareId, "90");
    EXPECT_EQ(share.name, "exports");
    EXPECT_EQ(share.virtualServerId, 2);
    EXPECT_EQ(share.filesystemId, "FS-C");
    EXPECT_EQ(share.path, "/exports");
    EXPECT_EQ(share.reserved, "");
    EXPECT_EQ(share.settings.accessConfig, "*");
    EXPECT_TRUE(logged(kCreate, 0,
                       "Successfully created Share[exports] for File System "
                       "Path[/exports]"));
}

TEST_F(SharesTest, ACIFSShareGetsTheCallersPermissionsInPlaceOfTheDefault) {
    gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
    gateway.on("GET", "filesystem-shares/cifs/SH-NEW/authentications", {200, kDefaultPermission});
    gateway.on("DELETE", "filesystem-shares/cifs/SH-NEW/authentications/AQEAAAAAAAEAAAAA",
               {204, ""});
    gateway.on("POST", "filesystem-shares/cifs/SH-NEW/authentications", {201, "{}"});
    __HNASFileSystemShares share;
    __HNASCIFSAuthentication entry;
    entry.name = "CORP\\\\projects";
    entry.encodedName = "AQUAAAAAAAUVAAAP";
    entry.permission = 5;
    entry.type = "GROUP";
    share.settings.cifsAuthentications = {entry};
    share.settings.maxConcurrentUsers = 25;

    ASSERT_TRUE(
        hnas.createFileSystemShare("proj", "1", "FS-A", "/projects/proj", "CIFS", share, true));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].method + " " + requests[0].path,
              "POST " + storagePath("filesystem-shares/CIFS"));
    EXPECT_EQ(requests[0].body,
              R"({"name":"proj", "virtualServerId":1, "filesystemId":"FS-A", )"
              R"("filesystemPath":"/projects/proj", "settings":{"accessConfig":"*", )"
              R"("comment":"Rekanto Created Share", "userHomeDirectoryPath":"", )"
              R"("isScanForVirusesEnabled":false, "maxConcurrentUsers":25, )"
              R"("snapshotOption":"SHOW_AND_ALLOW_ACCESS", "cacheOption":"CACHING_OFF", )"
              R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER", )"
              R"("userHomeDirectoryMode":"OFF", "isFollowSymbolicLinks":false, )"
              R"("isFollowGlobalSymbolicLinks":false, "isForceFileNameToLowercase":false, )"
              R"("isABEEnabled":false}})");
    EXPECT_EQ(requests[1].method + " " + requests[1].path,
              "GET " + storagePath("filesystem-shares/cifs/SH-NEW/authentications"));
    // Only the first entry, by position.
    EXPECT_EQ(requests[2].method + " " + requests[2].path,
              "DELETE " +
                  storagePath("filesystem-shares/cifs/SH-NEW/authentications/AQEAAAAAAAEAAAAA"));
    EXPECT_EQ(requests[3].method + " " + requests[3].path,
              "POST " + storagePath("filesystem-shares/cifs/SH-NEW/authentications"));
    EXPECT_EQ(requests[3].body, R"({"cifsAuthentications":[{"encodedName":"AQUAAAAAAAUVAAAP", )"
                                R"("name":"CORP\\projects", "permission":5, "type":"GROUP" }]})");
    EXPECT_TRUE(logged(kCreate, 0, "Successfully set CIFS Authentication Permissions."));

    EXPECT_EQ(share.objectId, "SH-NEW");
    EXPECT_EQ(share.shareId, "57");
    EXPECT_EQ(share.path, "\\projects\\proj");
    EXPECT_TRUE(share.settings.cifsAuthentications.empty());
    EXPECT_EQ(share.settings.maxConcurrentUsers, 100);
}

TEST_F(SharesTest, PermissionStepFailuresDoNotFailTheCreation) {
    gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
    gateway.on("GET", "filesystem-shares/cifs/SH-NEW/authentications", {200, kDefaultPermission});
    gateway.on("DELETE", "filesystem-shares/cifs/SH-NEW/authentications/AQEAAAAAAAEAAAAA",
               {500, kError});
    gateway.on("POST", "filesystem-shares/cifs/SH-NEW/authentications", {400, kError});
    __HNASFileSystemShares share;
    share.settings.cifsAuthentications.resize(1);
    share.settings.cifsAuthentications[0].name = "u";
    share.settings.cifsAuthentications[0].encodedName = "e";
    share.settings.cifsAuthentications[0].type = "USER";

    EXPECT_TRUE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, true));
    EXPECT_EQ(gateway.requestCount(), 4u);
    EXPECT_TRUE(logged(kCreate, -1,
                       "Unable to delete the default[Everyone] CIFS Authentication Permission "
                       "for share[proj]."));
    EXPECT_TRUE(logged(kCreate, -1, "Unable to set CIFS Authentication Permissions."));
    EXPECT_EQ(share.objectId, "SH-NEW");

    // The read fails: nothing to delete, the caller's entries are still sent.
    gateway.reset();
    gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
    gateway.on("GET", "filesystem-shares/cifs/SH-NEW/authentications", {404, kError});
    gateway.on("POST", "filesystem-shares/cifs/SH-NEW/authentications", {201, "{}"});
    share.settings.cifsAuthentications.resize(1);
    share.settings.cifsAuthentications[0].encodedName = "e";
    EXPECT_TRUE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, true));
    EXPECT_TRUE(
        logged(kCreate, -1, "Unable to get CIFS Authentication Permission for share [proj]."));
    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].method, "POST");
}

TEST_F(SharesTest, AnEmptyDefaultListSkipsTheDeletionButStillSets) {
    gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
    gateway.on("GET", "filesystem-shares/cifs/SH-NEW/authentications",
               {200, R"({"cifsAuthentications": []})"});
    __HNASFileSystemShares share; // no entries of the caller's either

    EXPECT_TRUE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, true));
    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_TRUE(logged("setCIFSAuthentication", -1, "The request body is empty"));
    EXPECT_TRUE(logged(kCreate, -1, "Unable to set CIFS Authentication Permissions."));
}

TEST_F(SharesTest, WithoutTheFlagACIFSShareKeepsTheArraysPermissions) {
    gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
    __HNASFileSystemShares share;
    share.settings.cifsAuthentications.resize(2);
    EXPECT_TRUE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, false));
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_TRUE(share.settings.cifsAuthentications.empty());
}

TEST_F(SharesTest, CreationRefusalsAndFailuresLeaveTheCallersRecord) {
    __HNASFileSystemShares share;
    share.name = "caller";
    share.settings.comment = "mine";

    // The type is checked before initialisation.
    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.createFileSystemShare("proj", "1", "FS-A", "/p", "cifs", share, false));
    EXPECT_TRUE(logged(kCreate, -1, "Invalid Share Type[cifs]."));
    EXPECT_FALSE(logged(kCreate, -1, "Initialize HNAS params."));
    EXPECT_FALSE(fresh.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, false));
    EXPECT_TRUE(logged(kCreate, -1, "Initialize HNAS params."));

    EXPECT_FALSE(hnas.createFileSystemShare("proj", "1", "FS-A", "", "CIFS", share, false));
    EXPECT_FALSE(hnas.createFileSystemShare("proj", "", "FS-A", "/p", "CIFS", share, false));
    EXPECT_EQ(log->count("Invalid input."), 2u);
    // Texts that are not plain JSON string content, or a virtual server
    // number that is not a number, never reach the array.
    EXPECT_FALSE(
        hnas.createFileSystemShare("a\", \"x\":\"", "1", "FS-A", "/p", "CIFS", share, false));
    EXPECT_FALSE(
        hnas.createFileSystemShare("proj", "1, \"evil\":1", "FS-A", "/p", "NFS", share, false));
    EXPECT_EQ(log->count("The request body is empty"), 2u);
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("POST", "filesystem-shares/CIFS", {409, kError});
    EXPECT_FALSE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, true));
    EXPECT_TRUE(logged(kCreate, -1, "Unable to create Share[proj] for File System Path[/p]"));
    gateway.on("POST", "filesystem-shares/CIFS", {201, ""});
    EXPECT_FALSE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, true));
    EXPECT_TRUE(logged(kCreate, -1, "Empty response from the array"));
    gateway.on("POST", "filesystem-shares/CIFS", {201, R"({"filesystemShare": {"name": 1}})"});
    EXPECT_FALSE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, true));
    EXPECT_TRUE(logged(kCreate, -1, "Unable to parse JSON response"));
    // No permission step after a failed creation.
    EXPECT_EQ(gateway.requestCount(), 3u);

    EXPECT_EQ(share.name, "caller");
    EXPECT_EQ(share.settings.comment, "mine");
}

// --- deleteFileSystemShare ---

TEST_F(SharesTest, DeletionByIdentifierSendsAnEmptyDelete) {
    gateway.on("DELETE", "filesystem-shares/NFS/NFS-1", {204, ""});
    gateway.on("DELETE", "filesystem-shares/CIFS/SH-2", {204, ""});

    EXPECT_TRUE(hnas.deleteFileSystemShare("NFS-1", "NFS"));
    EXPECT_TRUE(hnas.deleteFileSystemShare("SH-2", "CIFS"));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method + " " + requests[0].path,
              "DELETE " + storagePath("filesystem-shares/NFS/NFS-1"));
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[1].path, storagePath("filesystem-shares/CIFS/SH-2"));
}

TEST_F(SharesTest, DeletionByIdentifierFailures) {
    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.deleteFileSystemShare("SH-2", "cifs"));
    EXPECT_TRUE(logged(kDelete, -1, "Invalid Share Type[cifs]."));
    EXPECT_FALSE(fresh.deleteFileSystemShare("SH-2", "CIFS"));
    EXPECT_TRUE(logged(kDelete, -1, "Initialize HNAS params."));
    EXPECT_FALSE(hnas.deleteFileSystemShare("", "CIFS"));
    EXPECT_TRUE(logged(kDelete, -1, "Invalid input."));
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("DELETE", "filesystem-shares/CIFS/SH-2", {404, kError});
    EXPECT_FALSE(hnas.deleteFileSystemShare("SH-2", "CIFS"));
    EXPECT_TRUE(logged(kDelete, -1, "Unable to delete Share [Type]:[CIFS] with Object Id[SH-2]"));
}

TEST_F(SharesTest, DeletionByNameFindsTheExactName) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});
    gateway.on("DELETE", "filesystem-shares/CIFS/SH-2", {204, ""});

    ASSERT_TRUE(hnas.deleteFileSystemShare("backup$", evs, "CIFS"));
    EXPECT_EQ(requestLines(),
              (std::vector<std::string>{"GET " + storagePath("virtual-servers/EVS-OBJ-1/CIFS"),
                                        "DELETE " + storagePath("filesystem-shares/CIFS/SH-2")}));
    EXPECT_TRUE(logged(kDelete, 0, "Share [backup$] found. Deleting it.."));

    // A name in another case is not the share: gone already, as far as we know.
    gateway.reset();
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});
    EXPECT_TRUE(hnas.deleteFileSystemShare("BACKUP$", evs, "CIFS"));
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_TRUE(logged(kDelete, 0, "Share [BACKUP$] not found. It may be externally deleted."));
}

TEST_F(SharesTest, DeletionByNameFailures) {
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {200, kCIFSListing});
    gateway.on("DELETE", "filesystem-shares/CIFS/SH-1", {500, kError});
    EXPECT_FALSE(hnas.deleteFileSystemShare("Finance", evs, "CIFS"));
    EXPECT_TRUE(logged(kDelete, 0, "Failed to delete share [Finance]"));

    gateway.on("GET", "virtual-servers/EVS-OBJ-1/CIFS", {500, kError});
    EXPECT_FALSE(hnas.deleteFileSystemShare("Finance", evs, "CIFS"));
    EXPECT_TRUE(logged(kDelete, -1, "Unable to get the shares list."));

    const size_t sent = gateway.requestCount();
    __HNASVirtualServers noObject;
    EXPECT_FALSE(hnas.deleteFileSystemShare("Finance", noObject, "CIFS"));
    EXPECT_TRUE(logged(kDelete, -1, "Invalid input."));
    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.deleteFileSystemShare("Finance", evs, "CIFS"));
    EXPECT_TRUE(logged(kDelete, -1, "Initialize HNAS params."));
    EXPECT_EQ(gateway.requestCount(), sent);
}

} // namespace
