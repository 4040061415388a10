// File system and snapshot messages.

#include <gtest/gtest.h>

#include "hnasmgmt/json/HNASJSON.h"
#include "support/CaptureLog.h"

namespace {

const unsigned long long kJob = 21;

std::string fileSystem(const char* label, const char* capacity = "1000") {
    return std::string(R"({"isReadOnly":false,"capacity":)") + capacity +
           R"(,"freeCapacity":600,"usedCapacity":400,"filesystemId":"fs-)" + label +
           R"(","label":")" + label + R"(","objectId":"obj-)" + label +
           R"(","status":"MOUNTED","unit":"bytes"})";
}

std::string snapshot(const char* name, const char* time = "1700000000") {
    return std::string(R"({"displayName":")") + name +
           R"(","filesystemId":"fs1","objectId":"snap-)" + name +
           R"(","state":"READY","creationReason":"USER","creationTime":)" + time + "}";
}

TEST(FileSystems, ReadsTheArray) {
    hnastest::CaptureLog log;
    HNASJSONGetFileSystems message(kJob);
    std::string doc = R"({"filesystems":[)" + fileSystem("fs1") + "," + fileSystem("fs2") +
                      R"(],"filesystem":)" + fileSystem("single") + "}";
    ASSERT_TRUE(message.parseResponse(doc));
    const auto list = message.getFileSystems();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].label, "fs1");
    EXPECT_EQ(list[0].filesystemId, "fs-fs1");
    EXPECT_EQ(list[0].objectId, "obj-fs1");
    EXPECT_EQ(list[0].status, "MOUNTED");
    EXPECT_EQ(list[0].capacity, 1000u);
    EXPECT_EQ(list[0].freeCapacity, 600u);
    EXPECT_EQ(list[0].usedCapacity, 400u);
    EXPECT_FALSE(list[0].isReadOnly);
    EXPECT_EQ(list[1].label, "fs2");
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_EQ(log->records()[0].function, "HNASJSONGetFileSystems::parseResponse");
}

TEST(FileSystems, SingleObjectEmptyAndMissingContainers) {
    HNASJSONGetFileSystems message(kJob);
    std::string single = R"({"filesystems":"no","filesystem":)" + fileSystem("one") + "}";
    ASSERT_TRUE(message.parseResponse(single));
    ASSERT_EQ(message.getFileSystems().size(), 1u);
    EXPECT_EQ(message.getFileSystems()[0].label, "one");

    for (std::string doc : {R"({"filesystems":[]})", R"({"other":1})", R"({"filesystem":[]})"}) {
        EXPECT_TRUE(message.parseResponse(doc)) << doc;
    }
    ASSERT_TRUE(message.parseResponse(single)); // accumulates
    EXPECT_EQ(message.getFileSystems().size(), 2u);
}

TEST(FileSystems, CapacityConversions) {
    HNASJSONGetFileSystems message(kJob);
    std::string doc = R"({"filesystems":[)" + fileSystem("a", "1.9") + "," +
                      fileSystem("b", "9223372036854775808") + "," + fileSystem("c", "-1") + "," +
                      fileSystem("d", "1e30") + "]}";
    ASSERT_TRUE(message.parseResponse(doc));
    const auto list = message.getFileSystems();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].capacity, 1u);
    EXPECT_EQ(list[1].capacity, 9223372036854775808ull);
    EXPECT_EQ(list[2].capacity, 0u);
    EXPECT_EQ(list[3].capacity, 18446744073709551615ull);
}

TEST(FileSystems, RequiredKeysAndBadTextsFailWithoutChange) {
    hnastest::CaptureLog log;
    HNASJSONGetFileSystems message(kJob);
    std::string good = R"({"filesystems":[)" + fileSystem("keep") + "]}";
    ASSERT_TRUE(message.parseResponse(good));
    const std::string keys[] = {"\"isReadOnly\"",   "\"capacity\"",     "\"freeCapacity\"",
                                "\"usedCapacity\"", "\"filesystemId\"", "\"label\"",
                                "\"objectId\"",     "\"status\""};
    for (const std::string& key : keys) {
        std::string doc = good;
        doc.replace(doc.find(key), key.size(), "\"x\"");
        EXPECT_FALSE(message.parseResponse(doc)) << key;
        std::string single = R"({"filesystem":)" + fileSystem("s") + "}";
        single.replace(single.find(key), key.size(), "\"x\"");
        EXPECT_FALSE(message.parseResponse(single)) << key;
    }
    std::string typed = good;
    typed.replace(typed.find("false"), 5, "0");
    EXPECT_FALSE(message.parseResponse(typed));
    std::string notObject = R"({"filesystems":[)" + fileSystem("a") + ",\"b\"]}";
    EXPECT_FALSE(message.parseResponse(notObject));
    std::string truncated = good.substr(0, good.size() - 3);
    EXPECT_FALSE(message.parseResponse(truncated));
    std::string empty;
    EXPECT_FALSE(message.parseResponse(empty));
    EXPECT_TRUE(log->contains("Empty JSON response", -1));
    std::string object = "{}";
    EXPECT_FALSE(message.parseResponse(object));
    EXPECT_TRUE(log->contains("Error when parsing the JSON response [{}]", -1));
    ASSERT_EQ(message.getFileSystems().size(), 1u);
    EXPECT_EQ(message.getFileSystems()[0].label, "keep");
}

TEST(Snapshots, ReadsTheListing) {
    HNASJSONGetFileSystemSnapshots message(kJob);
    std::string doc =
        R"({"snapshots":[)" + snapshot("s1") + "," + snapshot("s2", "18446744073709551615") + "]}";
    ASSERT_TRUE(message.parseResponse(doc));
    const auto list = message.getFileSystemSnapshots();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].displayName, "s1");
    EXPECT_EQ(list[0].filesystemId, "fs1");
    EXPECT_EQ(list[0].objectId, "snap-s1");
    EXPECT_EQ(list[0].state, "READY");
    EXPECT_EQ(list[0].creationReason, "USER");
    EXPECT_EQ(list[0].creationTime, 1700000000u);
    EXPECT_EQ(list[1].creationTime, 18446744073709551615ull);

    std::string none = R"({"snapshot":[]})";
    EXPECT_TRUE(message.parseResponse(none));
    std::string wrongType = R"({"snapshots":{}})";
    EXPECT_TRUE(message.parseResponse(wrongType));
    ASSERT_TRUE(message.parseResponse(doc));
    EXPECT_EQ(message.getFileSystemSnapshots().size(), 4u);
}

TEST(Snapshots, RequiredKeysFailWithoutChange) {
    HNASJSONGetFileSystemSnapshots message(kJob);
    std::string good = R"({"snapshots":[)" + snapshot("s1") + "]}";
    ASSERT_TRUE(message.parseResponse(good));
    const std::string keys[] = {"\"displayName\"", "\"filesystemId\"",   "\"objectId\"",
                                "\"state\"",       "\"creationReason\"", "\"creationTime\""};
    for (const std::string& key : keys) {
        std::string doc = good;
        doc.replace(doc.find(key), key.size(), "\"x\"");
        EXPECT_FALSE(message.parseResponse(doc)) << key;
    }
    std::string stringTime = R"({"snapshots":[)" + snapshot("s", "\"1\"") + "]}";
    EXPECT_FALSE(message.parseResponse(stringTime));
    std::string notObject = R"({"snapshots":[[]]})";
    EXPECT_FALSE(message.parseResponse(notObject));
    EXPECT_EQ(message.getFileSystemSnapshots().size(), 1u);
}

TEST(SnapshotCreation, BodyIsExact) {
    HNASJSONCreateFileSystemSnapshot message(kJob, "nightly", "fs-1", "42");
    std::string body = "old";
    ASSERT_TRUE(message.buildRequest(body));
    EXPECT_EQ(body, R"({"displayName":"nightly", "filesystemId":"fs-1", "appSearchId":"42" })");

    HNASJSONCreateFileSystemSnapshot escaped(kJob, R"(a\"b\\c\u00e9)", "fs", "x");
    ASSERT_TRUE(escaped.buildRequest(body));
    EXPECT_EQ(body, R"({"displayName":"a\"b\\c\u00e9", "filesystemId":"fs", "appSearchId":"x" })");
}

TEST(SnapshotCreation, EmptyOrUnsafeValuesAreRefused) {
    hnastest::CaptureLog log;
    const std::string fields[][3] = {
        {"", "fs", "id"},    {"n", "", "id"},     {"n", "fs", ""},    {"a\"b", "fs", "id"},
        {"n", "fs\\", "id"}, {"n", "fs", "i\nd"}, {"n", "fs", "\\q"}, {"n\", \"x\":\"", "fs", "id"},
    };
    for (const auto& f : fields) {
        log->clear();
        HNASJSONCreateFileSystemSnapshot message(kJob, f[0], f[1], f[2]);
        std::string body = "old";
        EXPECT_FALSE(message.buildRequest(body)) << f[0] << f[1] << f[2];
        EXPECT_EQ(body, "");
        ASSERT_EQ(log->records().size(), 1u);
        EXPECT_EQ(log->records()[0].text, "Invalid parameters!!");
        EXPECT_EQ(log->records()[0].level, -1);
        EXPECT_EQ(log->records()[0].function, "HNASJSONCreateFileSystemSnapshot::buildRequest");
    }
}

TEST(SnapshotCreation, ReadsTheCreatedSnapshotWithAll64Bits) {
    HNASJSONCreateFileSystemSnapshot message(kJob, "n", "fs", "id");
    EXPECT_EQ(message.getSnapshot().creationTime, 0u);
    std::string doc = R"({"snapshot":)" + snapshot("created", "4102444800") + "}";
    ASSERT_TRUE(message.parseResponse(doc));
    __HNASFileSystemSnapshot s = message.getSnapshot();
    EXPECT_EQ(s.displayName, "created");
    EXPECT_EQ(s.objectId, "snap-created");
    EXPECT_EQ(s.filesystemId, "fs1");
    EXPECT_EQ(s.state, "READY");
    EXPECT_EQ(s.creationReason, "USER");
    EXPECT_EQ(s.creationTime, 4102444800u);

    for (std::string bad : {std::string(R"({"snapshot":"x"})"), std::string(R"({"snap":{}})"),
                            R"({"snapshot":)" + snapshot("x", "null") + "}"}) {
        EXPECT_FALSE(message.parseResponse(bad)) << bad;
    }
    EXPECT_EQ(message.getSnapshot().displayName, "created");
}

} // namespace
