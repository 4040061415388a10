// CIFS and NFS shares through the real client against the scripted gateway.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Documents.h"
#include "support/FacadeFixture.h"
#include "support/Records.h"

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
const char* const kDefaultPermission = R"({"cifsAuthentications": [
  {"name": "Everyone", "encodedName": "AQEAAAAAAAEAAAAA", "type": "GROUP", "permission": 7},
  {"name": "CORP\\admins", "encodedName": "AQUAAAAAAAUVAAAB", "type": "GROUP", "permission": 7}
]})";
const char* const kOnlyDefault = R"({"cifsAuthentications": [
  {"name": "Everyone", "encodedName": "AQEAAAAAAAEAAAAA", "type": "GROUP", "permission": 7}]})";
const char* const kCreated = R"({"filesystemShare": {"objectId": "SH-NEW", "shareId": "57",
  "name": "proj", "virtualServerId": 1, "filesystemId": "FS-A", "path": "\\projects\\proj"}})";
const char* const kError = R"({"errorCode": 500, "errorMsg": "Internal error"})";
const std::string kListCIFS = "virtual-servers/EVS-OBJ-1/CIFS";
const std::string kNewAuth = "filesystem-shares/cifs/SH-NEW/authentications";
const char* const kCreate = "RkManageHNAS::createFileSystemShare";

class SharesTest : public hnastest::FacadeTest {
protected:
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
    __HNASVirtualServers evs = hnastest::virtualServer("EVS-OBJ-1", "evs-finance");
};

// An empty filter lists every share, without permissions; a filter keeps the
// array's records in the array's order, names compared without case.
TEST_F(SharesTest, ListingAndTheFilter) {
    gateway.on("GET", kListCIFS, {200, kCIFS});
    std::vector<__HNASFileSystemShares> shares;
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));
    EXPECT_EQ(ids(shares), "Finance=SH-1 backup$=SH-2 Home=SH-3 ");
    EXPECT_EQ(shares[0].settings.accessConfig + "|" + shares[0].settings.snapshotOption,
              "10.0.0.0/8|HIDE_AND_DISALLOW_ACCESS");
    EXPECT_TRUE(shares[0].settings.cifsAuthentications.empty());

    shares = filter({"HOME", "finance", "nosuch", "Home", "home"});
    ASSERT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, false));
    EXPECT_EQ(ids(shares), "Finance=SH-1 Home=SH-3 ");

    shares = filter({"nosuch", "Financ"});
    EXPECT_TRUE(hnas.getFilesystemShares(evs, "CIFS", shares, true));
    EXPECT_TRUE(shares.empty());
    EXPECT_EQ(gateway.requestCount(), 3u);
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
        const char* defaults = kDefaultPermission; // the new share's entries
    };
    const Case cases[] = {
        {404, 0, 201, 1, false, beside},
        {200, 204, 500, 1, false,
         "no entries: the default[Everyone] entry was removed and the ones asked for were not set"},
        {200, 204, 201, 1, true, "", kOnlyDefault}, // a lone default entry goes as well
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.get) + " " + std::to_string(c.del) + " " +
                     std::to_string(c.set));
        gateway.reset();
        log->clear();
        gateway.on("POST", "filesystem-shares/CIFS", {201, kCreated});
        gateway.on("GET", kNewAuth, {c.get, c.get == 200 ? c.defaults : kError});
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

} // namespace
