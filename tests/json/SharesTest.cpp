// Share listing, share creation bodies and the creation reply.

#include <gtest/gtest.h>

#include "hnasmgmt/json/HNASJSON.h"
#include "support/CaptureLog.h"

namespace {

const unsigned long long kJob = 31;

std::string share(const char* name, const char* settings, const char* vsid = "2") {
    return std::string(R"({"objectId":"obj-)") + name + R"(","shareId":"id-)" + name +
           R"(","name":")" + name + R"(","virtualServerId":)" + vsid +
           R"(,"filesystemId":"fs1","path":"\\)" + name + R"(","settings":)" + settings + "}";
}

const char* kSettings = R"({"accessConfig":"10.0.0.0/8","localReadCacheOption":"ENABLED",
  "snapshotOption":"HIDE_AND_DISALLOW_ACCESS","transferToReplicationTargetSetting":"TRANSFER",
  "comment":"not read","cacheOption":"MANUAL","isABEEnabled":true,"maxConcurrentUsers":5})";

TEST(ShareListing, ReadsSharesWithTheirSettings) {
    hnastest::CaptureLog log;
    HNASJSONGetFileSystemShares message(kJob);
    std::string doc =
        R"({"filesystemShares":[)" + share("a", kSettings) + "," + share("b", "{}", "3.9") + "]}";
    ASSERT_TRUE(message.parseResponse(doc));
    const auto list = message.getFileSystemShares();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].objectId, "obj-a");
    EXPECT_EQ(list[0].shareId, "id-a");
    EXPECT_EQ(list[0].name, "a");
    EXPECT_EQ(list[0].virtualServerId, 2);
    EXPECT_EQ(list[0].filesystemId, "fs1");
    EXPECT_EQ(list[0].path, "\\a");
    EXPECT_EQ(list[0].reserved, "");
    EXPECT_EQ(list[0].settings.accessConfig, "10.0.0.0/8");
    EXPECT_EQ(list[0].settings.localReadCacheOption, "ENABLED");
    EXPECT_EQ(list[0].settings.snapshotOption, "HIDE_AND_DISALLOW_ACCESS");
    EXPECT_EQ(list[0].settings.transferToReplicationTargetSetting, "TRANSFER");
    // Only four settings keys are read from a listing.
    EXPECT_EQ(list[0].settings.comment, "");
    EXPECT_EQ(list[0].settings.cacheOption, "CACHING_OFF");
    EXPECT_FALSE(list[0].settings.isABEEnabled);
    EXPECT_EQ(list[0].settings.maxConcurrentUsers, 100);

    EXPECT_EQ(list[1].virtualServerId, 3);
    EXPECT_EQ(list[1].settings.accessConfig, "*");
    EXPECT_EQ(list[1].settings.snapshotOption, "SHOW_AND_ALLOW_ACCESS");
    EXPECT_EQ(list[1].settings.localReadCacheOption, "DISABLED");
    EXPECT_EQ(list[1].settings.transferToReplicationTargetSetting, "DO_NOT_TRANSFER");
    EXPECT_EQ(log->records().size(), 1u);
    EXPECT_EQ(log->records()[0].function, "HNASJSONGetFileSystemShares::parseResponse");

    ASSERT_TRUE(message.parseResponse(doc));
    EXPECT_EQ(message.getFileSystemShares().size(), 4u);
}

TEST(ShareListing, SettingsOfAnotherTypeKeepTheirDefaults) {
    HNASJSONGetFileSystemShares message(kJob);
    std::string doc = R"({"filesystemShares":[)" +
                      share("a",
                            R"({"accessConfig":5,"snapshotOption":null,)"
                            R"("localReadCacheOption":["x"],)"
                            R"("transferToReplicationTargetSetting":{}})",
                            "-7.5") +
                      "]}";
    ASSERT_TRUE(message.parseResponse(doc));
    const auto list = message.getFileSystemShares();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].virtualServerId, -7);
    EXPECT_EQ(list[0].settings.accessConfig, "*");
    EXPECT_EQ(list[0].settings.snapshotOption, "SHOW_AND_ALLOW_ACCESS");
    EXPECT_EQ(list[0].settings.localReadCacheOption, "DISABLED");
    EXPECT_EQ(list[0].settings.transferToReplicationTargetSetting, "DO_NOT_TRANSFER");
}

TEST(ShareListing, EmptyMissingAndWrongContainers) {
    HNASJSONGetFileSystemShares message(kJob);
    for (std::string doc :
         {R"({"filesystemShares":[]})", R"({"shares":[1]})", R"({"filesystemShares":"none"})"}) {
        EXPECT_TRUE(message.parseResponse(doc)) << doc;
    }
    EXPECT_TRUE(message.getFileSystemShares().empty());
    hnastest::CaptureLog log;
    std::string object = "{}";
    EXPECT_FALSE(message.parseResponse(object));
    EXPECT_TRUE(log->contains("Error when parsing the JSON response [{}]", -1));
}

TEST(ShareListing, RequiredKeysFailWithoutChange) {
    HNASJSONGetFileSystemShares message(kJob);
    std::string good = R"({"filesystemShares":[)" + share("a", "{}") + "]}";
    ASSERT_TRUE(message.parseResponse(good));
    const std::string keys[] = {"\"settings\"", "\"virtualServerId\"", "\"filesystemId\"",
                                "\"objectId\"", "\"shareId\"",         "\"name\"",
                                "\"path\""};
    for (const std::string& key : keys) {
        std::string doc = good;
        doc.replace(doc.find(key), key.size(), "\"x\"");
        EXPECT_FALSE(message.parseResponse(doc)) << key;
    }
    for (std::string doc :
         {std::string(R"({"filesystemShares":[)") + share("a", "[]") + "]}",
          std::string(R"({"filesystemShares":[)") + share("a", "{}", "\"2\"") + "]}",
          std::string(R"({"filesystemShares":[)") + share("a", "{}") + ",7]}"}) {
        EXPECT_FALSE(message.parseResponse(doc)) << doc;
    }
    EXPECT_EQ(message.getFileSystemShares().size(), 1u);
}

TEST(ShareCreation, CIFSBodyAndSettingsLine) {
    hnastest::CaptureLog log;
    HNASJSONCreateFileSystemShare message(kJob, "share1", "2", "fs-1", "\\\\dir");
    __HNASFileSystemShareSettings settings;
    std::string body;
    ASSERT_TRUE(message.buildRequestCIFS(body, settings));
    const std::string s =
        R"({"accessConfig":"*", "comment":"Rekanto Created Share", "userHomeDirectoryPath":"", )"
        R"("isScanForVirusesEnabled":false, "maxConcurrentUsers":100, )"
        R"("snapshotOption":"SHOW_AND_ALLOW_ACCESS", "cacheOption":"CACHING_OFF", )"
        R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER", "userHomeDirectoryMode":"OFF", )"
        R"("isFollowSymbolicLinks":false, "isFollowGlobalSymbolicLinks":false, )"
        R"("isForceFileNameToLowercase":false, "isABEEnabled":false})";
    EXPECT_EQ(body, R"({"name":"share1", "virtualServerId":2, "filesystemId":"fs-1", )"
                    R"("filesystemPath":"\\dir", "settings":)" +
                        s + "}");
    const auto records = log->records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, 0);
    EXPECT_EQ(records[0].function, "HNASJSONCreateFileSystemShare::buildRequestCIFS");
    EXPECT_EQ(records[0].text, "Settings: [" + s + "]");
}

TEST(ShareCreation, CIFSBodyWithChangedSettings) {
    HNASJSONCreateFileSystemShare message(kJob, "s", "-3", "f", "/p");
    __HNASFileSystemShareSettings settings;
    settings.comment = "my \\\"share\\\"";
    settings.isScanForVirusesEnabled = settings.isABEEnabled = true;
    settings.maxConcurrentUsers = -1;
    settings.userHomeDirectoryPath = "/home/%u";
    std::string body;
    ASSERT_TRUE(message.buildRequestCIFS(body, settings));
    EXPECT_NE(body.find(R"("virtualServerId":-3, )"), std::string::npos);
    EXPECT_NE(body.find(R"("comment":"my \"share\"", "userHomeDirectoryPath":"/home/%u", )"
                        R"("isScanForVirusesEnabled":true, "maxConcurrentUsers":-1, )"),
              std::string::npos);
    EXPECT_NE(body.find(R"("isABEEnabled":true}})"), std::string::npos);
}

TEST(ShareCreation, NFSBodyHasFourSettingsAndNoLogLine) {
    hnastest::CaptureLog log;
    HNASJSONCreateFileSystemShare message(kJob, "exp", "1", "fs-1", "/exports/a");
    __HNASFileSystemShareSettings settings;
    settings.comment = "bad \" ignored by NFS";
    std::string body;
    ASSERT_TRUE(message.buildRequestNFS(body, settings));
    EXPECT_EQ(body,
              R"({"name":"exp", "virtualServerId":1, "filesystemId":"fs-1", )"
              R"("filesystemPath":"/exports/a", "settings":{"accessConfig":"*", )"
              R"("snapshotOption":"SHOW_AND_ALLOW_ACCESS", "localReadCacheOption":"DISABLED", )"
              R"("transferToReplicationTargetSetting":"DO_NOT_TRANSFER"}})");
    EXPECT_TRUE(log->records().empty());
}

TEST(ShareCreation, EmptyOrUnsafeValuesAreRefused) {
    hnastest::CaptureLog log;
    const std::string identities[][4] = {
        {"", "1", "f", "/p"},           {"n", "", "f", "/p"},
        {"n", "1", "", "/p"},           {"n", "1", "f", ""},
        {"n\"", "1", "f", "/p"},        {"n", "1 ", "f", "/p"},
        {"n", "1, \"x\":2", "f", "/p"}, {"n", "abc", "f", "/p"},
        {"n", "1", "f\\", "/p"},        {"n", "1", "f", "\\x"},
        {"n", "1", "f", "a\tb"},
    };
    for (const auto& id : identities) {
        HNASJSONCreateFileSystemShare message(kJob, id[0], id[1], id[2], id[3]);
        __HNASFileSystemShareSettings settings;
        for (bool cifs : {true, false}) {
            log->clear();
            std::string body = "old";
            EXPECT_FALSE(cifs ? message.buildRequestCIFS(body, settings)
                              : message.buildRequestNFS(body, settings))
                << id[0] << "|" << id[1] << "|" << id[2] << "|" << id[3];
            EXPECT_EQ(body, "");
            ASSERT_EQ(log->records().size(), 1u);
            EXPECT_EQ(log->records()[0].text, "Invalid parameters!!");
            EXPECT_EQ(log->records()[0].level, -1);
            EXPECT_EQ(log->records()[0].function,
                      cifs ? "HNASJSONCreateFileSystemShare::buildRequestCIFS"
                           : "HNASJSONCreateFileSystemShare::buildRequestNFS");
        }
    }
    HNASJSONCreateFileSystemShare message(kJob, "n", "1", "f", "/p");
    __HNASFileSystemShareSettings settings;
    std::string body;
    settings.cacheOption = "X\", \"isABEEnabled\":true, \"y\":\"";
    EXPECT_FALSE(message.buildRequestCIFS(body, settings));
    EXPECT_TRUE(message.buildRequestNFS(body, settings)); // not an NFS member
    settings.localReadCacheOption = "\x01";
    EXPECT_FALSE(message.buildRequestNFS(body, settings));
    EXPECT_EQ(body, "");
}

TEST(ShareCreation, ReadsTheCreatedShare) {
    HNASJSONCreateFileSystemShare message(kJob, "n", "1", "f", "/p");
    std::string doc = R"({"filesystemShare":{"filesystemId":"fs1","name":"n","objectId":"o",)"
                      R"("path":"/p","shareId":"sid","virtualServerId":4.7,)"
                      R"("settings":{"accessConfig":"ignored"}}})";
    ASSERT_TRUE(message.parseResponse(doc));
    __HNASFileSystemShares created = message.getShareDetails();
    EXPECT_EQ(created.filesystemId, "fs1");
    EXPECT_EQ(created.name, "n");
    EXPECT_EQ(created.objectId, "o");
    EXPECT_EQ(created.path, "/p");
    EXPECT_EQ(created.shareId, "sid");
    EXPECT_EQ(created.virtualServerId, 4);
    EXPECT_EQ(created.settings.accessConfig, "*");

    const std::string keys[] = {"\"filesystemId\"", "\"name\"",    "\"objectId\"",
                                "\"path\"",         "\"shareId\"", "\"virtualServerId\""};
    for (const std::string& key : keys) {
        std::string bad = doc;
        bad.replace(bad.find(key), key.size(), "\"x\"");
        EXPECT_FALSE(message.parseResponse(bad)) << key;
    }
    std::string notObject = R"({"filesystemShare":[]})";
    EXPECT_FALSE(message.parseResponse(notObject));
    EXPECT_EQ(message.getShareDetails().shareId, "sid");
}

} // namespace
