// CIFS share permissions through the real client against the scripted gateway.

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
const char* const kAuthResource = "filesystem-shares/cifs/CIFS-SHARE-0042/authentications";

class CIFSAuthTest : public hnastest::FacadeTest {
protected:
    bool logged(const std::string& function, int level, const std::string& text,
                long long job = static_cast<long long>(kJobId)) {
        for (const LogRecord& record : log->records()) {
            if (record.function == function && record.level == level && record.text == text &&
                record.jobId == job) {
                return true;
            }
        }
        return false;
    }

    static __HNASCIFSAuthentication entry(const std::string& name, const std::string& encoded,
                                          int permission, const std::string& type) {
        __HNASCIFSAuthentication result;
        result.name = name;
        result.encodedName = encoded;
        result.permission = permission;
        result.type = type;
        return result;
    }
};

// --- getCIFSAuthentication ---

TEST_F(CIFSAuthTest, ListingReplacesTheCallersEntries) {
    gateway.on("GET", kAuthResource, {200, kPermissions});
    std::vector<__HNASCIFSAuthentication> entries = {entry("old", "x", 1, "USER")};

    ASSERT_TRUE(hnas.getCIFSAuthentication(kShareId, entries));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, storagePath(kAuthResource));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Everyone");
    EXPECT_EQ(entries[0].encodedName, "AQEAAAAAAAEAAAAA");
    EXPECT_EQ(entries[0].type, "GROUP");
    EXPECT_EQ(entries[0].permission, 7);
    // One backslash on the array comes back doubled, ready to be sent back.
    EXPECT_EQ(entries[1].name, "CORP\\\\backup-svc");
    EXPECT_EQ(entries[1].permission, 3);
    EXPECT_TRUE(logged("getCIFSAuthentication", 5,
                       std::string("Successfully got the CIFS Authentication info. Response [") +
                           kPermissions + "]"));
}

TEST_F(CIFSAuthTest, ListingFailuresKeepTheCallersEntries) {
    std::vector<__HNASCIFSAuthentication> entries = {entry("kept", "k", 1, "USER")};

    // Two lines are written without the job identifier.
    EXPECT_FALSE(hnas.getCIFSAuthentication("", entries));
    EXPECT_TRUE(logged("getCIFSAuthentication", -1, "The CIFS Share object ID is empty.", 0));
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", kAuthResource, {404, R"({"errorCode": 404, "errorMsg": "No share"})"});
    EXPECT_FALSE(hnas.getCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(logged("getCIFSAuthentication", -1, "Unable to get CIFS Authentication.", 0));

    gateway.on("GET", kAuthResource, {200, ""});
    EXPECT_FALSE(hnas.getCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(logged("getCIFSAuthentication", -1, "Empty response from the array"));

    gateway.on("GET", kAuthResource, {200, "{}"});
    EXPECT_FALSE(hnas.getCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(logged("getCIFSAuthentication", -1, "Unable to parse JSON response"));

    RkManageHNAS fresh{kJobId};
    const size_t sent = gateway.requestCount();
    EXPECT_FALSE(fresh.getCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(logged("getCIFSAuthentication", -1, "Initialize HNAS params."));
    EXPECT_EQ(gateway.requestCount(), sent);

    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "kept");
}

TEST_F(CIFSAuthTest, ADocumentWithoutEntriesIsAnEmptyList) {
    gateway.on("GET", kAuthResource, {200, R"({"shareId": "42"})"});
    std::vector<__HNASCIFSAuthentication> entries = {entry("old", "x", 1, "USER")};
    EXPECT_TRUE(hnas.getCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(entries.empty());
}

// --- setCIFSAuthentication ---

TEST_F(CIFSAuthTest, SettingPostsTheEntriesAsTheyStand) {
    gateway.on("POST", kAuthResource, {201, R"({"cifsAuthentications": []})"});
    std::vector<__HNASCIFSAuthentication> entries = {
        entry("CORP\\\\backup-svc", "AQUAAAAAAAUVAAAA", 3, "USER"),
        entry("CORP\\\\Domain Admins", "AQUAAAAAAAUVAAAB", 7, "GROUP")};

    ASSERT_TRUE(hnas.setCIFSAuthentication(kShareId, entries));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, storagePath(kAuthResource));
    EXPECT_EQ(requests[0].body,
              R"({"cifsAuthentications":[)"
              R"({"encodedName":"AQUAAAAAAAUVAAAA", "name":"CORP\\backup-svc", "permission":3, )"
              R"("type":"USER" },)"
              R"({"encodedName":"AQUAAAAAAAUVAAAB", "name":"CORP\\Domain Admins", )"
              R"("permission":7, "type":"GROUP" }]})");
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "CORP\\\\backup-svc");
}

TEST_F(CIFSAuthTest, EntriesReadBackCanBeSentBackUnchanged) {
    const std::string other = "filesystem-shares/cifs/CIFS-SHARE-0043/authentications";
    gateway.on("GET", kAuthResource, {200, kPermissions});
    gateway.on("POST", other, {201, "{}"});
    std::vector<__HNASCIFSAuthentication> entries;

    ASSERT_TRUE(hnas.getCIFSAuthentication(kShareId, entries));
    ASSERT_TRUE(hnas.setCIFSAuthentication("CIFS-SHARE-0043", entries));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].body.find(R"("name":"CORP\\backup-svc")"), std::string::npos)
        << requests[1].body;
}

TEST_F(CIFSAuthTest, SettingRefusals) {
    std::vector<__HNASCIFSAuthentication> entries = {entry("u", "e", 1, "USER")};
    std::vector<__HNASCIFSAuthentication> none;

    EXPECT_FALSE(hnas.setCIFSAuthentication("", entries));
    EXPECT_TRUE(logged("setCIFSAuthentication", -1, "Invalid input."));

    EXPECT_FALSE(hnas.setCIFSAuthentication(kShareId, none));
    EXPECT_TRUE(logged("buildRequest", 0, "Nothing to build. No CIFS Authentication set."));
    EXPECT_TRUE(logged("setCIFSAuthentication", -1, "The request body is empty"));

    // A value that would break out of its JSON string is not sent.
    std::vector<__HNASCIFSAuthentication> hostile = {
        entry("u", "e\", \"permission\":31, \"x\":\"", 1, "USER")};
    EXPECT_FALSE(hnas.setCIFSAuthentication(kShareId, hostile));

    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.setCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(logged("setCIFSAuthentication", -1, "Initialize HNAS params."));

    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(CIFSAuthTest, ARejectedPostNamesTheShare) {
    gateway.on("POST", kAuthResource, {400, R"({"errorCode": 400, "errorMsg": "Bad entry"})"});
    std::vector<__HNASCIFSAuthentication> entries = {entry("u", "e", 1, "USER")};
    EXPECT_FALSE(hnas.setCIFSAuthentication(kShareId, entries));
    EXPECT_TRUE(
        logged("setCIFSAuthentication", -1,
               "Unable to set CIFS Authentication for CIFS Share Object ID[CIFS-SHARE-0042]"));
}

// --- deleteCIFSAuthentication ---

TEST_F(CIFSAuthTest, DeletionPutsTheEncodedNameInThePath) {
    const std::string resource = std::string(kAuthResource) + "/AQUAAAAAAAUVAAAA";
    gateway.on("DELETE", resource, {204, ""});

    ASSERT_TRUE(hnas.deleteCIFSAuthentication(kShareId, "AQUAAAAAAAUVAAAA"));

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "DELETE");
    EXPECT_EQ(requests[0].path, storagePath(resource));
    EXPECT_EQ(requests[0].body, "");
}

TEST_F(CIFSAuthTest, DeletionFailures) {
    EXPECT_FALSE(hnas.deleteCIFSAuthentication(kShareId, ""));
    EXPECT_FALSE(hnas.deleteCIFSAuthentication("", "AQUAAAAAAAUVAAAA"));
    EXPECT_EQ(log->count("Invalid Parameters."), 2u);
    EXPECT_EQ(gateway.requestCount(), 0u);

    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.deleteCIFSAuthentication(kShareId, "AQUAAAAAAAUVAAAA"));
    EXPECT_TRUE(logged("deleteCIFSAuthentication", -1, "Initialize HNAS params."));
    EXPECT_EQ(gateway.requestCount(), 0u);

    // The array answers 200 where 204 is expected: a failure.
    gateway.on("DELETE", std::string(kAuthResource) + "/AQUAAAAAAAUVAAAA", {200, "{}"});
    EXPECT_FALSE(hnas.deleteCIFSAuthentication(kShareId, "AQUAAAAAAAUVAAAA"));
    EXPECT_TRUE(logged("deleteCIFSAuthentication", -1, "Unable to delete permission."));
}

} // namespace
