// CIFS and NFS shares through the real client against the scripted gateway.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Documents.h"
#include "support/FacadeFixture.h"

namespace {

using hnastest::listJson;
using hnastest::shareJson;
using Strings = std::vector<std::string>;

const std::string kCIFS = listJson(
    "filesystemShares",
    {shareJson("SH-1", "1", "Finance", 1, "FS-A", "\\\\finance",
               R"({"accessConfig": "10.0.0.0/8", "snapshotOption": "HIDE_AND_DISALLOW_ACCESS",
                  "transferToReplicationTargetSetting": "TRANSFER"})"),
     shareJson("SH-2", "2", "backup$", 1, "FS-A", "\\\\backup"),
     shareJson("SH-3", "3", "Home", 1, "FS-B", "\\\\home")});
const std::string kNFS = listJson(
    "filesystemShares",
    {shareJson("NFS-1", "11", "exports", 2, "FS-C", "/exports", R"({"accessConfig": "*"})")});
const char* const kDefaultPermission = R"({"cifsAuthentications": [
  {"name": "Everyone", "encodedName": "AQEAAAAAAAEAAAAA", "type": "GROUP", "permission": 7},
  {"name": "CORP\\admins", "encodedName": "AQUAAAAAAAUVAAAB", "type": "GROUP", "permission": 7}
]})";
const char* const kCreated = R"({"filesystemShare": {"objectId": "SH-NEW", "shareId": "57",
  "name": "proj", "virtualServerId": 1, "filesystemId": "FS-A", "path": "\\projects\\proj"}})";
const char* const kError = R"({"errorCode": 500, "errorMsg": "Internal error"})";
const std::string kListCIFS = "virtual-servers/EVS-OBJ-1/CIFS";
const std::string kNewAuth = "filesystem-shares/cifs/SH-NEW/authentications";
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
    static std::vector<__HNASFileSystemShares> filter(const Strings& names) {
        std::vector<__HNASFileSystemShares> shares(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            shares[i].name = names[i];
            shares[i].objectId = "caller-" + names[i];
        }
        return shares;
    }
    static std::string ids(const std::vector<__HNASFileSystemShares>& shares) {
        std::string out;
        for (const auto& share : shares)
            out += share.name + "=" + share.objectId + " ";
        return out;
    }
    __HNASVirtualServers evs;
};

// An empty filter lists every share, without permissions; a filter keeps the
// array's records in the array's order, names compared without case.
TEST_F(SharesTest, ListingAndTheFilter) {
    gateway.on("GET", kListCIFS, {200, kCIFS});
    std::vector<__HNASFileSystemShares> shares;
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));
    EXPECT_EQ(ids(shares), "Finance=SH-1 backup$=SH-2 Home=SH-3 ");
    EXPECT_EQ(shares[0].path, "\\finance");
    EXPECT_EQ(shares[0].virtualServerId, 1);
    EXPECT_EQ(shares[0].settings.accessConfig + "|" + shares[0].settings.snapshotOption,
              "10.0.0.0/8|HIDE_AND_DISALLOW_ACCESS");
    EXPECT_EQ(shares[1].settings.accessConfig, "*");
    EXPECT_TRUE(shares[0].settings.cifsAuthentications.empty());
    EXPECT_TRUE(logged(kList, 0, "Getting information for all File System shares."));
    EXPECT_TRUE(logged(kList, 5,
                       "Successfully got file system shares for virtual server [evs-finance]. "
                       "Response [" +
                           kCIFS + "]"));

    shares = filter({"HOME", "finance", "nosuch", "Home", "home"});
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, false));
    EXPECT_EQ(ids(shares), "Finance=SH-1 Home=SH-3 ");
    EXPECT_EQ(shares[0].settings.transferToReplicationTargetSetting, "TRANSFER");
    EXPECT_EQ(shares[1].filesystemId, "FS-B");
    EXPECT_TRUE(logged(kList, 0, "Getting information for [5] File System shares"));
    EXPECT_TRUE(logged(kList, 0, "Found Share [Finance]"));
    EXPECT_EQ(log->count("Found Share [Home]"), 1u);

    shares = filter({"nosuch", "Financ"});
    EXPECT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));
    EXPECT_TRUE(shares.empty());
    EXPECT_EQ(gateway.requestCount(), 3u);
}

// Only matched CIFS shares get their permissions; NFS shares never ask.
TEST_F(SharesTest, ListingWithPermissions) {
    gateway.on("GET", kListCIFS, {200, kCIFS});
    gateway.on("GET", "filesystem-shares/cifs/SH-1/authentications",
               {200, R"({"cifsAuthentications": [{"name": "CORP\\finance",
                  "encodedName": "AQUAAAAAAAUVAAAF", "type": "GROUP", "permission": 7}]})"});
    gateway.on("GET", "virtual-servers/EVS-OBJ-1/NFS", {200, kNFS});
    std::vector<__HNASFileSystemShares> shares = filter({"FINANCE"});
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));
    EXPECT_EQ(ids(shares), "Finance=SH-1 ");
    ASSERT_EQ(shares[0].settings.cifsAuthentications.size(), 1u);
    EXPECT_EQ(shares[0].settings.cifsAuthentications[0].name, "CORP\\\\finance");
    EXPECT_EQ(shares[0].settings.cifsAuthentications[0].encodedName, "AQUAAAAAAAUVAAAF");
    shares = filter({"EXPORTS"});
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "NFS", shares, true));
    EXPECT_EQ(ids(shares), "exports=NFS-1 ");
    EXPECT_EQ(shares[0].virtualServerId, 2);
    EXPECT_EQ(sent(),
              (Strings{"GET " + kListCIFS, "GET filesystem-shares/cifs/SH-1/authentications",
                       "GET virtual-servers/EVS-OBJ-1/NFS"}));
}

TEST_F(SharesTest, ListingRefusalsLeaveTheCallersVector) {
    std::vector<__HNASFileSystemShares> shares = filter({"Finance", "home"});
    auto list = [&](const __HNASVirtualServers& server, const char* type) {
        return [=, &shares] {
            __HNASVirtualServers copy = server;
            return hnas.getFilesystemShares(copy, type, shares, false);
        };
    };
    EXPECT_TRUE(fails(list(evs, "cifs"), kList, "Invalid share type."));
    EXPECT_TRUE(fails(list(__HNASVirtualServers(), "CIFS"), kList, "Invalid input."));
    EXPECT_TRUE(fails(list(evs, ""), kList, "Invalid input."));
    EXPECT_EQ(ids(shares), "Finance=caller-Finance home=caller-home ");
}

TEST_F(SharesTest, PresenceIsDecidedByTheExactName) {
    gateway.on("GET", kListCIFS, {200, kCIFS});
    EXPECT_TRUE(hnas.isSharePresent("backup$", evs, "CIFS"));
    EXPECT_TRUE(logged(kPresent, 0, "Share [backup$] found."));
    EXPECT_FAILS(hnas.isSharePresent("finance", evs, "CIFS"), kPresent,
                 "Share [finance] not found.", 1, 0);
    EXPECT_FAILS(hnas.isSharePresent("", evs, "CIFS"), kPresent, "Invalid input.");
}

TEST_F(SharesTest, AnNFSShareIsCreatedFromTheCallersSettings) {
    gateway.on("POST", "filesystem-shares/NFS",
               {201, "{\"filesystemShare\": " +
                         shareJson("NFS-NEW", "90", "exports", 2, "FS-C", "/exports") + "}"});
    __HNASFileSystemShares share;
    share.settings.accessConfig = "10.1.0.0/16";
    share.reserved = "caller";
    ASSERT_TRUE(hnas.createFileSystemShare("exports", "2", "FS-C", "/exports", "NFS", share, true));
    EXPECT_EQ(sent(), Strings{"POST filesystem-shares/NFS"});
    EXPECT_EQ(gateway.requests()[0].body,
              R"({"name":"exports", "virtualServerId":2, "filesystemId":"FS-C", )"
              R"("filesystemPath":"/exports", "settings":{"accessConfig":"10.1.0.0/16", )"
              R"("snapshotOption":"SHOW_AND_ALLOW_ACCESS", "localReadCacheOption":"DISABLED", )"
              R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER"}})");
    EXPECT_EQ(ids({share}) + share.shareId + "|" + share.filesystemId + "|" + share.path + "|" +
                  share.reserved + "|" + share.settings.accessConfig,
              "exports=NFS-NEW 90|FS-C|/exports||*");
    EXPECT_EQ(share.virtualServerId, 2);
    EXPECT_TRUE(
        logged(kCreate, 0, "Successfully created Share[exports] for File System Path[/exports]"));
}

// The caller's permissions replace the first default entry, by position.
TEST_F(SharesTest, ACIFSShareGetsTheCallersPermissionsInPlaceOfTheDefault) {
    gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
    gateway.on("GET", kNewAuth, {200, kDefaultPermission});
    gateway.on("DELETE", kNewAuth + "/AQEAAAAAAAEAAAAA", {204, ""});
    gateway.on("POST", kNewAuth, {201, "{}"});
    __HNASFileSystemShares share;
    share.settings.cifsAuthentications.resize(1);
    __HNASCIFSAuthentication& entry = share.settings.cifsAuthentications[0];
    entry.name = "CORP\\\\projects";
    entry.encodedName = "AQUAAAAAAAUVAAAP";
    entry.permission = 5;
    entry.type = "GROUP";
    share.settings.maxConcurrentUsers = 25;
    ASSERT_TRUE(
        hnas.createFileSystemShare("proj", "1", "FS-A", "/projects/proj", "CIFS", share, true));
    EXPECT_EQ(sent(), (Strings{"POST filesystem-shares/CIFS", "GET " + kNewAuth,
                               "DELETE " + kNewAuth + "/AQEAAAAAAAEAAAAA", "POST " + kNewAuth}));
    const auto requests = gateway.requests();
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
    EXPECT_EQ(requests[3].body, R"({"cifsAuthentications":[{"encodedName":"AQUAAAAAAAUVAAAP", )"
                                R"("name":"CORP\\projects", "permission":5, "type":"GROUP" }]})");
    EXPECT_TRUE(logged(kCreate, 0, "Successfully set CIFS Authentication Permissions."));
    EXPECT_EQ(ids({share}) + share.shareId + "|" + share.path, "proj=SH-NEW 57|\\projects\\proj");
    EXPECT_TRUE(share.settings.cifsAuthentications.empty());
    EXPECT_EQ(share.settings.maxConcurrentUsers, 100);
}

// Failures of the permission steps are logged but do not fail the creation
// (each failure is in the fault suite); without the flag there is no
// permission step.
// The steps keep their order whatever fails; the result says whether the new
// share ended with the permissions asked for, the record is the created share.
TEST_F(SharesTest, PermissionSteps) {
    const std::string kDefault = kNewAuth + "/AQEAAAAAAAEAAAAA";
    const std::string beside = "the array's default entries beside the ones asked for";
    struct Case {
        int get, del, set; // statuses; 0: the request is not expected
        size_t wanted;     // entries the caller asks for
        bool ok;
        std::string leftAs;
    };
    const Case cases[] = {
        {404, 0, 201, 1, false, beside},
        {200, 500, 201, 1, false, beside},
        {200, 204, 500, 1, false,
         "no entries: the default[Everyone] entry was removed and the ones asked for were not set"},
        {404, 0, 500, 1, false, "the array's default entries, without the ones asked for"},
        {200, 204, 0, 0, true, ""}, // none asked for: the default goes, nothing is set
        {200, 500, 0, 0, false, "the array's default entries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.get) + " " + std::to_string(c.del) + " " +
                     std::to_string(c.set));
        gateway.reset();
        log->clear();
        gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
        gateway.on("GET", kNewAuth, {c.get, c.get == 200 ? kDefaultPermission : kError});
        gateway.on("DELETE", kDefault, {c.del, c.del == 204 ? "" : kError});
        gateway.on("POST", kNewAuth, {c.set, c.set == 201 ? "{}" : kError});
        __HNASFileSystemShares share;
        share.settings.cifsAuthentications.resize(c.wanted, __HNASCIFSAuthentication());
        for (auto& entry : share.settings.cifsAuthentications)
            entry.name = "CORP\\\\ops";
        EXPECT_EQ(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, true), c.ok)
            << log.dump();
        EXPECT_EQ(share.objectId, "SH-NEW");
        Strings expected = {"POST filesystem-shares/CIFS", "GET " + kNewAuth};
        if (c.del)
            expected.push_back("DELETE " + kDefault);
        if (c.set)
            expected.push_back("POST " + kNewAuth);
        EXPECT_EQ(sent(), expected);
        EXPECT_EQ(logged(kCreate, -1,
                         "Share[proj] was created, but its CIFS permissions were left as " +
                             c.leftAs + "."),
                  !c.ok)
            << log.dump();
    }
    gateway.reset();
    gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
    __HNASFileSystemShares share;
    share.settings.cifsAuthentications.resize(2);
    EXPECT_TRUE(hnas.createFileSystemShare("proj", "1", "FS-A", "/p", "CIFS", share, false));
    EXPECT_EQ(sent(), Strings{"POST filesystem-shares/CIFS"});
    EXPECT_TRUE(share.settings.cifsAuthentications.empty());
}

TEST_F(SharesTest, CreationRefusalsSendNothingAndLeaveTheCallersRecord) {
    __HNASFileSystemShares share;
    share.name = "caller";
    share.settings.comment = "mine";
    auto create = [&](const char* name, const char* evsId, const char* path, const char* type) {
        return [=, &share] {
            return hnas.createFileSystemShare(name, evsId, "FS-A", path, type, share, true);
        };
    };
    RkManageHNAS fresh{kJobId}; // the type is checked before initialisation
    EXPECT_FALSE(fresh.createFileSystemShare("proj", "1", "FS-A", "/p", "cifs", share, false));
    EXPECT_TRUE(logged(kCreate, -1, "Invalid Share Type[cifs]."));
    EXPECT_FALSE(logged(kCreate, -1, "Initialize HNAS params."));
    EXPECT_TRUE(fails(create("proj", "1", "", "CIFS"), kCreate, "Invalid input."));
    EXPECT_TRUE(fails(create("proj", "", "/p", "CIFS"), kCreate, "Invalid input."));
    EXPECT_EQ(share.name + "|" + share.settings.comment, "caller|mine");
}

TEST_F(SharesTest, DeletionByIdentifierSendsAnEmptyDelete) {
    gateway.on("DELETE", "filesystem-shares/NFS/NFS-1", {204, ""});
    gateway.on("DELETE", "filesystem-shares/CIFS/SH-2", {204, ""});
    EXPECT_TRUE(hnas.deleteFileSystemShare("NFS-1", "NFS"));
    EXPECT_TRUE(hnas.deleteFileSystemShare("SH-2", "CIFS"));
    EXPECT_EQ(sent(), (Strings{"DELETE filesystem-shares/NFS/NFS-1",
                               "DELETE filesystem-shares/CIFS/SH-2"}));
    EXPECT_EQ(gateway.requests()[0].body, "");

    RkManageHNAS fresh{kJobId}; // the type is checked before initialisation
    EXPECT_FALSE(fresh.deleteFileSystemShare("SH-2", "cifs"));
    EXPECT_TRUE(logged(kDelete, -1, "Invalid Share Type[cifs]."));
    EXPECT_FAILS(hnas.deleteFileSystemShare("", "CIFS"), kDelete, "Invalid input.");
}

// The exact name is looked up; a name in another case is not the share:
// gone already, as far as we know.
TEST_F(SharesTest, DeletionByName) {
    gateway.on("GET", kListCIFS, {200, kCIFS});
    gateway.on("DELETE", "filesystem-shares/CIFS/SH-2", {204, ""});
    ASSERT_TRUE(hnas.deleteFileSystemShare("backup$", evs, "CIFS"));
    EXPECT_TRUE(logged(kDelete, 0, "Share [backup$] found. Deleting it.."));
    EXPECT_TRUE(hnas.deleteFileSystemShare("BACKUP$", evs, "CIFS"));
    EXPECT_TRUE(logged(kDelete, 0, "Share [BACKUP$] not found. It may be externally deleted."));
    EXPECT_EQ(sent(), (Strings{"GET " + kListCIFS, "DELETE filesystem-shares/CIFS/SH-2",
                               "GET " + kListCIFS}));
    __HNASVirtualServers noObject;
    EXPECT_FAILS(hnas.deleteFileSystemShare("Finance", noObject, "CIFS"), kDelete,
                 "Invalid input.");
}

} // namespace
