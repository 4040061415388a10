// Directory listing and CIFS permission messages.

#include <gtest/gtest.h>

#include "hnasmgmt/json/HNASJSON.h"
#include "support/CaptureLog.h"

namespace {

const unsigned long long kJob = 41;

__HNASCIFSAuthentication entry(const std::string& name, const std::string& encoded, int permission,
                               const std::string& type) {
    __HNASCIFSAuthentication e;
    e.name = name;
    e.encodedName = encoded;
    e.permission = permission;
    e.type = type;
    return e;
}

TEST(Directories, ReadsFirstNameOfEachEntry) {
    hnastest::CaptureLog log;
    HNASJSONGetFileSystemDirectories message(kJob);
    std::string doc = R"({"directories":[{"objectId":"d1","displayName":["a","b"]},)"
                      R"({"objectId":"d2"},{"objectId":"d3","displayName":"flat"}]})";
    ASSERT_TRUE(message.parseResponse(doc));
    const auto list = message.getFileSystemDirectories();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].objectId, "d1");
    EXPECT_EQ(list[0].displayName, (std::vector<std::string>{"a"}));
    EXPECT_EQ(list[1].objectId, "d2");
    EXPECT_TRUE(list[1].displayName.empty());
    EXPECT_TRUE(list[2].displayName.empty());
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_EQ(log->records()[0].function, "HNASJSONGetFileSystemDirectories::parseResponse");

    ASSERT_TRUE(message.parseResponse(doc));
    EXPECT_EQ(message.getFileSystemDirectories().size(), 6u);
}

TEST(Directories, ContainersAndRequiredParts) {
    HNASJSONGetFileSystemDirectories message(kJob);
    for (std::string doc : {R"({"directories":[]})", R"({"dirs":[]})", R"({"directories":{}})"}) {
        EXPECT_TRUE(message.parseResponse(doc)) << doc;
    }
    for (std::string doc : {
             R"({"directories":[{"displayName":["a"]}]})",
             R"({"directories":[{"objectId":1}]})",
             R"({"directories":[{"objectId":"d","displayName":[]}]})",
             R"({"directories":[{"objectId":"d","displayName":[1]}]})",
             R"({"directories":["d"]})",
             "{}",
             "[{\"objectId\":\"d\"}]",
         }) {
        EXPECT_FALSE(message.parseResponse(doc)) << doc;
    }
    EXPECT_TRUE(message.getFileSystemDirectories().empty());
}

TEST(CIFSAuthentication, ReadsEntriesAndDoublesBackslashes) {
    hnastest::CaptureLog log;
    HNASJSONGetCIFSAuthentication message(kJob);
    std::string doc =
        R"({"cifsAuthentications":[)"
        R"({"name":"DOMAIN\\user","encodedName":"e1","type":"USER","permission":7.9},)"
        R"({"name":"Everyone","encodedName":"e2","type":"GROUP","permission":-1}]})";
    ASSERT_TRUE(message.parseResponse(doc));
    auto list = message.getCIFSAuth();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "DOMAIN\\\\user");
    EXPECT_EQ(list[0].encodedName, "e1");
    EXPECT_EQ(list[0].type, "USER");
    EXPECT_EQ(list[0].permission, 7);
    EXPECT_EQ(list[1].name, "Everyone");
    EXPECT_EQ(list[1].permission, -1);
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_EQ(log->records()[0].function, "parseResponse");
    EXPECT_EQ(log->records()[0].jobId, 41);

    // The listed entries written back give a body that decodes to the same name.
    HNASJSONSetCIFSAuthentication set(kJob, list);
    std::string body;
    ASSERT_TRUE(set.buildRequest(body));
    EXPECT_NE(body.find(R"("name":"DOMAIN\\user")"), std::string::npos);
    HNASJSONGetCIFSAuthentication reread(kJob);
    std::string echoed = body;
    ASSERT_TRUE(reread.parseResponse(echoed));
    EXPECT_EQ(reread.getCIFSAuth()[0].name, "DOMAIN\\\\user");
}

TEST(CIFSAuthentication, RequiredKeysAndContainers) {
    HNASJSONGetCIFSAuthentication message(kJob);
    std::string good = R"({"cifsAuthentications":[{"name":"n","encodedName":"e","type":"USER",)"
                       R"("permission":3}]})";
    ASSERT_TRUE(message.parseResponse(good));
    for (const std::string key : {"\"name\"", "\"encodedName\"", "\"type\"", "\"permission\""}) {
        std::string doc = good;
        doc.replace(doc.find(key), key.size(), "\"x\"");
        EXPECT_FALSE(message.parseResponse(doc)) << key;
    }
    std::string stringPermission = good;
    stringPermission.replace(stringPermission.find("3}"), 1, "\"3\"");
    EXPECT_FALSE(message.parseResponse(stringPermission));
    std::string notObject = R"({"cifsAuthentications":[null]})";
    EXPECT_FALSE(message.parseResponse(notObject));
    for (std::string doc : {R"({"cifsAuthentications":[]})", R"({"cifsAuthentications":1})"}) {
        EXPECT_TRUE(message.parseResponse(doc));
    }
    std::string big = R"({"cifsAuthentications":[{"name":"n","encodedName":"e","type":"USER",)"
                      R"("permission":3000000000}]})";
    ASSERT_TRUE(message.parseResponse(big));
    const auto list = message.getCIFSAuth();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].permission, 2147483647);
}

TEST(CIFSAuthenticationSet, BodyIsExact) {
    std::vector<__HNASCIFSAuthentication> entries = {entry("DOM\\\\u1", "S-1-5-21", 1, "USER"),
                                                     entry("g\\u00e9", "S-1-1-0", -2, "GROUP")};
    HNASJSONSetCIFSAuthentication message(kJob, entries);
    entries.clear(); // the message keeps its own copy
    std::string body = "old";
    ASSERT_TRUE(message.buildRequest(body));
    EXPECT_EQ(body,
              R"({"cifsAuthentications":[)"
              R"({"encodedName":"S-1-5-21", "name":"DOM\\u1", "permission":1, "type":"USER" },)"
              R"({"encodedName":"S-1-1-0", "name":"g\u00e9", "permission":-2, "type":"GROUP" }]})");
    std::string response = "anything";
    EXPECT_TRUE(message.parseResponse(response));
}

TEST(CIFSAuthenticationSet, EmptyListAndUnsafeValues) {
    hnastest::CaptureLog log;
    std::vector<__HNASCIFSAuthentication> none;
    HNASJSONSetCIFSAuthentication empty(kJob, none);
    std::string body = "old";
    EXPECT_TRUE(empty.buildRequest(body));
    EXPECT_EQ(body, "");
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_EQ(log->records()[0].level, 0);
    EXPECT_EQ(log->records()[0].function, "buildRequest");
    EXPECT_EQ(log->records()[0].text, "Nothing to build. No CIFS Authentication set.");

    const __HNASCIFSAuthentication bad[] = {
        entry("DOMAIN\\user", "e", 1, "USER"), // a lone backslash
        entry("n", "e\"", 1, "USER"),          // a quote
        entry("n", "e", 1, "US\nER"),          // a control character
        entry("n", "e", 1, "USER\\"),
    };
    for (const auto& b : bad) {
        log->clear();
        std::vector<__HNASCIFSAuthentication> entries = {entry("ok", "e", 1, "USER"), b};
        HNASJSONSetCIFSAuthentication message(kJob, entries);
        body = "old";
        EXPECT_FALSE(message.buildRequest(body)) << b.name << b.encodedName << b.type;
        EXPECT_EQ(body, "");
        ASSERT_EQ(log->records().size(), 1u);
        EXPECT_EQ(log->records()[0].level, -1);
        EXPECT_EQ(log->records()[0].function, "buildRequest");
        EXPECT_EQ(log->records()[0].text, "Invalid parameters!!");
    }
}

} // namespace
