// CIFS share permissions through the real client against the scripted gateway.
// These operations log under the bare method name.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

// The array writes a domain account with an escaped backslash.
const char* const kPermissions = R"({"cifsAuthentications": [
  {"name": "Everyone", "encodedName": "AQEAAAAAAAEAAAAA", "type": "GROUP", "permission": 7},
  {"name": "CORP\\backup-svc", "encodedName": "AQUAAAAAAAUVAAAA", "type": "USER",
   "permission": 3}
]})";
const char* const kShareId = "CIFS-SHARE-0042";
const std::string kAuth = "filesystem-shares/cifs/CIFS-SHARE-0042/authentications";

__HNASCIFSAuthentication entry(const std::string& name, const std::string& encoded, int permission,
                               const std::string& type) {
    __HNASCIFSAuthentication result;
    result.name = name;
    result.encodedName = encoded;
    result.permission = permission;
    result.type = type;
    return result;
}

using CIFSAuthTest = hnastest::FacadeTest;

TEST_F(CIFSAuthTest, ListingReplacesTheCallersEntries) {
    gateway.on("GET", kAuth, {200, kPermissions});
    std::vector<__HNASCIFSAuthentication> entries = {entry("old", "x", 1, "USER")};
    ASSERT_TRUE(hnas.getCIFSAuthentication(kShareId, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name + "|" + entries[0].encodedName + "|" + entries[0].type,
              "Everyone|AQEAAAAAAAEAAAAA|GROUP");
    EXPECT_EQ(entries[0].permission, 7);
    // One backslash on the array comes back doubled, as setting expects it.
    EXPECT_EQ(entries[1].name, "CORP\\\\backup-svc");
    EXPECT_EQ(entries[1].permission, 3);
    EXPECT_EQ(sent(), std::vector<std::string>{"GET " + kAuth});

    gateway.on("GET", kAuth, {200, R"({"shareId": "42"})"}); // no entries: an empty list
    EXPECT_TRUE(hnas.getCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(CIFSAuthTest, SettingPostsTheEntriesAsTheyStand) {
    gateway.on("POST", kAuth, {201, R"({"cifsAuthentications": []})"});
    std::vector<__HNASCIFSAuthentication> entries = {
        entry("CORP\\\\backup-svc", "AQUAAAAAAAUVAAAA", 3, "USER"),
        entry("CORP\\\\Domain Admins", "AQUAAAAAAAUVAAAB", 7, "GROUP")};
    ASSERT_TRUE(hnas.setCIFSAuthentication(kShareId, entries));
    EXPECT_EQ(sent(), std::vector<std::string>{"POST " + kAuth});
    EXPECT_EQ(gateway.requests()[0].body,
              R"({"cifsAuthentications":[)"
              R"({"encodedName":"AQUAAAAAAAUVAAAA", "name":"CORP\\backup-svc", "permission":3, )"
              R"("type":"USER" },)"
              R"({"encodedName":"AQUAAAAAAAUVAAAB", "name":"CORP\\Domain Admins", )"
              R"("permission":7, "type":"GROUP" }]})");
    EXPECT_EQ(entries[0].name, "CORP\\\\backup-svc");
}

TEST_F(CIFSAuthTest, NothingToSetSendsNothing) {
    std::vector<__HNASCIFSAuthentication> none;
    EXPECT_FAILS(hnas.setCIFSAuthentication(kShareId, none), "setCIFSAuthentication",
                 "The request body is empty");
}

TEST_F(CIFSAuthTest, DeletionPutsTheEncodedNameInThePath) {
    const std::string resource = kAuth + "/AQUAAAAAAAUVAAAA";
    gateway.on("DELETE", resource, {204, ""});
    ASSERT_TRUE(hnas.deleteCIFSAuthentication(kShareId, "AQUAAAAAAAUVAAAA"));
    EXPECT_EQ(sent(), std::vector<std::string>{"DELETE " + resource});
    EXPECT_EQ(gateway.requests()[0].body, "");
}

} // namespace
