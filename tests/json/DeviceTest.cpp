// Storage subsystem and virtual server messages.

#include <gtest/gtest.h>

#include "hnasmgmt/json/HNASJSON.h"
#include "support/CaptureLog.h"

namespace {

const unsigned long long kJob = 11;

const char* kDevice = R"({
  "name": "hnas-cluster-1", "clusterUUID": "c-uuid", "firmwareVersion": "13.9.6",
  "isCluster": true, "model": "M5200", "nodeCount": 3, "storageHealth": "ROBUST",
  "vendor": "Acme", "licenses": ["CIFS", "NFS"], "extra": {"ignored": 1}
})";

std::string server(const char* name, int id, const char* addresses) {
    return std::string(R"({"UUID":"u-)") + name + R"(","isEnabled":true,"name":")" + name +
           R"(","objectId":"obj-)" + name + R"(","status":"ONLINE","type":"FILE_SERVICES",)" +
           R"("virtualServerId":)" + std::to_string(id) + R"(,"ipAddresses":)" + addresses + "}";
}

TEST(FileDevice, ReadsEveryField) {
    hnastest::CaptureLog log;
    HNASJSONGetFileDevice message(kJob);
    std::string doc = kDevice;
    ASSERT_TRUE(message.parseResponse(doc));
    const __HNASStorageSubSystemInfo info = message.getSubsystemInfo();
    EXPECT_EQ(info.name, "hnas-cluster-1");
    EXPECT_EQ(info.clusterUUID, "c-uuid");
    EXPECT_EQ(info.firmwareVersion, "13.9.6");
    EXPECT_TRUE(info.isCluster);
    EXPECT_EQ(info.model, "M5200");
    EXPECT_EQ(info.nodeCount, 3);
    EXPECT_EQ(info.storageHealth, "ROBUST");
    EXPECT_EQ(info.vendor, "Acme");
    EXPECT_EQ(info.licenses, (std::vector<std::string>{"CIFS", "NFS"}));
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_EQ(log->records()[0].function, "HNASJSONGetFileDevice::parseResponse");
    EXPECT_EQ(log->records()[0].jobId, 11);
}

TEST(FileDevice, EveryKeyIsRequiredAndAFailureKeepsTheRecord) {
    HNASJSONGetFileDevice message(kJob);
    std::string doc = kDevice;
    ASSERT_TRUE(message.parseResponse(doc));
    const std::string keys[] = {"\"licenses\"",        "\"clusterUUID\"",   "\"isCluster\"",
                                "\"firmwareVersion\"", "\"model\"",         "\"name\"",
                                "\"nodeCount\"",       "\"storageHealth\"", "\"vendor\""};
    for (const std::string& key : keys) {
        std::string missing = doc;
        missing.replace(missing.find(key), key.size(), "\"renamed\"");
        EXPECT_FALSE(message.parseResponse(missing)) << key;
    }
    std::string wrongLicence = R"({"licenses":["CIFS",3],"clusterUUID":"x","isCluster":false,)"
                               R"("firmwareVersion":"x","model":"x","name":"x","nodeCount":1,)"
                               R"("storageHealth":"x","vendor":"x"})";
    EXPECT_FALSE(message.parseResponse(wrongLicence));
    std::string wrongBool = doc;
    wrongBool.replace(wrongBool.find("true"), 4, "\"true\"");
    EXPECT_FALSE(message.parseResponse(wrongBool));
    const __HNASStorageSubSystemInfo info = message.getSubsystemInfo();
    EXPECT_EQ(info.name, "hnas-cluster-1");
    EXPECT_EQ(info.licenses.size(), 2u);
}

TEST(FileDevice, SecondParseAppendsLicences) {
    HNASJSONGetFileDevice message(kJob);
    std::string doc = kDevice;
    ASSERT_TRUE(message.parseResponse(doc));
    ASSERT_TRUE(message.parseResponse(doc));
    EXPECT_EQ(message.getSubsystemInfo().licenses.size(), 4u);
}

TEST(VirtualServers, ReadsEveryServerInOrder) {
    HNASJSONGetVirtualServers message(kJob);
    std::string doc = R"({"virtualServers":[)" + server("evs1", 1, R"(["10.0.0.1","10.0.0.2"])") +
                      "," + server("evs2", 2, "[]") + "]}";
    ASSERT_TRUE(message.parseResponse(doc));
    const auto servers = message.getVirtualServers();
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].UUID, "u-evs1");
    EXPECT_TRUE(servers[0].isEnabled);
    EXPECT_EQ(servers[0].name, "evs1");
    EXPECT_EQ(servers[0].objectId, "obj-evs1");
    EXPECT_EQ(servers[0].status, "ONLINE");
    EXPECT_EQ(servers[0].type, "FILE_SERVICES");
    EXPECT_EQ(servers[0].virtualServerId, 1u);
    EXPECT_EQ(servers[0].ipAddresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(servers[1].name, "evs2");
    EXPECT_EQ(servers[1].virtualServerId, 2u);
    EXPECT_TRUE(servers[1].ipAddresses.empty());

    ASSERT_TRUE(message.parseResponse(doc));
    EXPECT_EQ(message.getVirtualServers().size(), 4u);

    std::string empty = R"({"virtualServers":[]})";
    EXPECT_TRUE(message.parseResponse(empty));
    EXPECT_EQ(message.getVirtualServers().size(), 4u);
}

TEST(VirtualServers, MissingOrMistypedPartsFailWithoutChange) {
    HNASJSONGetVirtualServers message(kJob);
    std::string good = R"({"virtualServers":[)" + server("evs1", 1, "[]") + "]}";
    ASSERT_TRUE(message.parseResponse(good));
    const std::string keys[] = {
        "\"UUID\"", "\"isEnabled\"",       "\"name\"",       "\"objectId\"", "\"status\"",
        "\"type\"", "\"virtualServerId\"", "\"ipAddresses\""};
    for (const std::string& key : keys) {
        std::string doc = good;
        doc.replace(doc.find(key), key.size(), "\"other\"");
        EXPECT_FALSE(message.parseResponse(doc)) << key;
    }
    for (std::string doc : {
             std::string(R"({"servers":[]})"),
             std::string(R"({"virtualServers":{}})"),
             std::string(R"({"virtualServers":[)") + server("a", 1, "[]") + ",3]}",
             std::string(R"({"virtualServers":[)") + server("a", 1, "[1]") + "]}",
             std::string(R"({"virtualServers":[)") + server("a", 1, "\"10.0.0.1\"") + "]}",
         }) {
        EXPECT_FALSE(message.parseResponse(doc)) << doc;
    }
    EXPECT_EQ(message.getVirtualServers().size(), 1u);
}

TEST(VirtualServerOfFileSystem, TakesTheFirstServerOnly) {
    HNASJSONGetVirtualServerAssociatedWithFS message(kJob);
    std::string doc = R"({"virtualServers":[)" + server("evs1", 1, R"(["10.0.0.1"])") + "," +
                      server("evs2", 2, R"(["10.0.0.2"])") + "]}";
    ASSERT_TRUE(message.parseResponse(doc));
    __HNASVirtualServers vs = message.getVirtualServer();
    EXPECT_EQ(vs.name, "evs1");
    EXPECT_EQ(vs.ipAddresses, (std::vector<std::string>{"10.0.0.1"}));

    ASSERT_TRUE(message.parseResponse(doc)); // addresses accumulate
    EXPECT_EQ(message.getVirtualServer().ipAddresses.size(), 2u);

    std::string empty = R"({"virtualServers":[]})";
    EXPECT_FALSE(message.parseResponse(empty));
    std::string notObject = R"({"virtualServers":["evs1"]})";
    EXPECT_FALSE(message.parseResponse(notObject));
    EXPECT_EQ(message.getVirtualServer().name, "evs1");
    EXPECT_EQ(message.getVirtualServer().ipAddresses.size(), 2u);
}

TEST(VirtualServerOfFileSystem, NumberConversions) {
    HNASJSONGetVirtualServerAssociatedWithFS message(kJob);
    std::string doc = R"({"virtualServers":[)" + server("e", 0, "[]") + "]}";
    doc.replace(doc.find("\"virtualServerId\":0"), 19, "\"virtualServerId\":9223372036854775808");
    ASSERT_TRUE(message.parseResponse(doc));
    EXPECT_EQ(message.getVirtualServer().virtualServerId, 9223372036854775808ull);
}

} // namespace
