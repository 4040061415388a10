// Request bodies byte for byte, the refusal of values that would not stay
// JSON string content, and the records the bodies are built from.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <locale>

#include "hnasmgmt/json/HNASJSON.h"
#include "support/CaptureLog.h"
#include "support/Records.h"

namespace {

const unsigned long long kJob = 31;

using hnastest::cifsEntry;

const std::string kDefaultSettings =
    R"({"accessConfig":"*", "comment":"Rekanto Created Share", "userHomeDirectoryPath":"", )"
    R"("isScanForVirusesEnabled":false, "maxConcurrentUsers":100, )"
    R"("snapshotOption":"SHOW_AND_ALLOW_ACCESS", "cacheOption":"CACHING_OFF", )"
    R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER", "userHomeDirectoryMode":"OFF", )"
    R"("isFollowSymbolicLinks":false, "isFollowGlobalSymbolicLinks":false, )"
    R"("isForceFileNameToLowercase":false, "isABEEnabled":false})";
const std::string kDefaultNFS =
    R"({"name":"exp", "virtualServerId":1, "filesystemId":"fs-1", )"
    R"("filesystemPath":"/exports/a", "settings":{"accessConfig":"*", )"
    R"("snapshotOption":"SHOW_AND_ALLOW_ACCESS", "localReadCacheOption":"DISABLED", )"
    R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER"}})";

// Integers in bodies stay plain digits under a host locale that groups
// thousands.
struct GroupingPunct : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
struct GroupingLocale {
    std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new GroupingPunct));
    ~GroupingLocale() { std::locale::global(previous); }
};

// The body of a share "share1" (CIFS) or "exp" (NFS) with these settings.
std::string shareBody(__HNASFileSystemShareSettings settings, bool cifs = true) {
    HNASJSONCreateFileSystemShare message(kJob, cifs ? "share1" : "exp", cifs ? "2" : "1", "fs-1",
                                          cifs ? "\\\\dir" : "/exports/a");
    std::string body;
    EXPECT_TRUE(cifs ? message.buildRequestCIFS(body, settings)
                     : message.buildRequestNFS(body, settings));
    return body;
}

TEST(Bodies, ShareCreationWithDefaultSettings) {
    __HNASFileSystemShareSettings settings;
    EXPECT_EQ(shareBody(settings),
              R"({"name":"share1", "virtualServerId":2, "filesystemId":"fs-1", )"
              R"("filesystemPath":"\\dir", "settings":)" +
                  kDefaultSettings + "}");
    settings.comment = "bad \" ignored by NFS";
    EXPECT_EQ(shareBody(settings, false), kDefaultNFS);
}

TEST(Bodies, SnapshotCreationPassesValidEscapesThrough) {
    HNASJSONCreateFileSystemSnapshot message(kJob, "nightly", "fs-1", "42");
    std::string body = "old";
    ASSERT_TRUE(message.buildRequest(body));
    EXPECT_EQ(body, R"({"displayName":"nightly", "filesystemId":"fs-1", "appSearchId":"42" })");
    HNASJSONCreateFileSystemSnapshot escaped(kJob, R"(a\"b\\c\u00e9)", "fs", "x");
    ASSERT_TRUE(escaped.buildRequest(body));
    EXPECT_EQ(body, R"({"displayName":"a\"b\\c\u00e9", "filesystemId":"fs", "appSearchId":"x" })");
}

TEST(Bodies, CIFSAuthenticationSetKeepsItsOwnCopy) {
    GroupingLocale grouping;
    std::vector<__HNASCIFSAuthentication> entries = {
        cifsEntry("DOM\\\\u1", "S-1-5-21", 1000, "USER"),
        cifsEntry("g\\u00e9", "S-1-1-0", -2, "GROUP")};
    HNASJSONSetCIFSAuthentication message(kJob, entries);
    entries.clear();
    std::string body = "old";
    ASSERT_TRUE(message.buildRequest(body));
    EXPECT_EQ(body,
              R"({"cifsAuthentications":[)"
              R"({"encodedName":"S-1-5-21", "name":"DOM\\u1", "permission":1000, "type":"USER" },)"
              R"({"encodedName":"S-1-1-0", "name":"g\u00e9", "permission":-2, "type":"GROUP" }]})");
    std::string response = "anything";
    EXPECT_TRUE(message.parseResponse(response));

    HNASJSONSetCIFSAuthentication empty(kJob, entries); // nothing to send, and no failure
    body = "old";
    EXPECT_TRUE(empty.buildRequest(body));
    EXPECT_EQ(body, "");
}

// Every builder refuses an empty required value, a non-numeric
// "virtualServerId" and anything that is not valid JSON string content, with
// one "Invalid parameters!!" line, an empty body and false.
TEST(Bodies, UnsafeOrEmptyValuesAreRefused) {
    std::vector<std::pair<std::string, std::function<bool(std::string&)>>> cases; // function
    auto share = [&](std::array<std::string, 4> id, bool cifs,
                     __HNASFileSystemShareSettings s = {}) {
        cases.emplace_back(cifs ? "HNASJSONCreateFileSystemShare::buildRequestCIFS"
                                : "HNASJSONCreateFileSystemShare::buildRequestNFS",
                           [=](std::string& body) mutable {
                               HNASJSONCreateFileSystemShare m(kJob, id[0], id[1], id[2], id[3]);
                               return cifs ? m.buildRequestCIFS(body, s)
                                           : m.buildRequestNFS(body, s);
                           });
    };
    for (const std::array<std::string, 4>& id :
         std::vector<std::array<std::string, 4>>{{"", "1", "f", "/p"},
                                                 {"n", "", "f", "/p"},
                                                 {"n", "1", "f", ""},
                                                 {"n\"", "1", "f", "/p"},
                                                 {"n", "1 ", "f", "/p"},
                                                 {"n", "abc", "f", "/p"},
                                                 {"n", "1, \"x\":2", "f", "/p"},
                                                 {"n", "1", "f\\", "/p"},
                                                 {"n", "1", "f", "a\tb"}}) {
        share(id, true);
        share(id, false);
    }
    __HNASFileSystemShareSettings settings;
    settings.cacheOption = "X\", \"isABEEnabled\":true, \"y\":\"";
    EXPECT_NE(shareBody(settings, false), ""); // not an NFS member
    share({"n", "1", "f", "/p"}, true, settings);
    settings.localReadCacheOption = "\x01";
    share({"n", "1", "f", "/p"}, false, settings);
    for (const std::array<std::string, 3>& f :
         std::vector<std::array<std::string, 3>>{{"", "fs", "id"},
                                                 {"n", "", "id"},
                                                 {"n", "fs", ""},
                                                 {"a\"b", "fs", "id"},
                                                 {"n", "fs", "i\nd"},
                                                 {"n\", \"x\":\"", "fs", "id"}}) {
        cases.emplace_back("HNASJSONCreateFileSystemSnapshot::buildRequest",
                           [f](std::string& body) {
                               HNASJSONCreateFileSystemSnapshot m(kJob, f[0], f[1], f[2]);
                               return m.buildRequest(body);
                           });
    }
    for (const auto& bad : {cifsEntry("DOMAIN\\user"), cifsEntry("n", "e\""),
                            cifsEntry("n", "e", 1, "US\nER"), cifsEntry("n", "e", 1, "USER\\")}) {
        cases.emplace_back("buildRequest", [bad](std::string& body) {
            std::vector<__HNASCIFSAuthentication> list = {cifsEntry("ok"), bad};
            HNASJSONSetCIFSAuthentication m(kJob, list);
            return m.buildRequest(body);
        });
    }
    hnastest::CaptureLog log;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i) + " " + cases[i].first);
        log->clear();
        std::string body = "old";
        EXPECT_FALSE(cases[i].second(body));
        EXPECT_EQ(body, "");
        ASSERT_EQ(log->records().size(), 1u);
        EXPECT_TRUE(log.logged(cases[i].first, -1, "Invalid parameters!!", kJob)) << log.dump();
    }
}

} // namespace
