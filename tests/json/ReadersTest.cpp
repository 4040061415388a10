// The response readers: every field, number conversions, first-element and
// accumulation rules, and the parts without which a document is refused.

#include <gtest/gtest.h>

#include <functional>

#include "hnasmgmt/json/HNASJSON.h"
#include "support/CaptureLog.h"

namespace {

const unsigned long long kJob = 21;

// Reads `good` (one "Parsing JSON response" line under `function`, unless
// null), then refuses it with each of `keys` renamed and each of `bad`,
// leaving `size()` (what was read) as it was; each of `empty` is read as an
// empty listing; reading `good` again adds as much again to a listing and
// replaces a single record.
template <class Message>
void expectStrict(Message& m, const std::function<size_t()>& size, const std::string& good,
                  const char* function, std::initializer_list<const char*> keys,
                  std::vector<std::string> bad, std::initializer_list<std::string> empty = {},
                  bool listing = true) {
    hnastest::CaptureLog log;
    std::string doc = good;
    ASSERT_TRUE(m.parseResponse(doc)) << good;
    if (function) {
        ASSERT_EQ(log->records().size(), 1u);
        EXPECT_TRUE(log.logged(function, 4, "Parsing JSON response [" + good + "]", kJob));
    }
    const size_t read = size();
    for (const std::string key : keys) {
        std::string renamed = good;
        renamed.replace(renamed.find("\"" + key + "\""), key.size() + 2, "\"renamed\"");
        bad.push_back(renamed);
    }
    for (std::string& text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(m.parseResponse(text));
    }
    for (std::string text : empty) {
        EXPECT_TRUE(m.parseResponse(text)) << text;
    }
    EXPECT_EQ(size(), read);
    doc = good;
    ASSERT_TRUE(m.parseResponse(doc));
    EXPECT_EQ(size(), listing ? 2 * read : read);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

const std::string kDevice = R"({
  "name": "hnas-cluster-1", "clusterUUID": "c-uuid", "firmwareVersion": "13.9.6",
  "isCluster": true, "model": "M5200", "nodeCount": 3, "storageHealth": "ROBUST",
  "vendor": "Acme", "licenses": ["CIFS", "NFS"], "extra": {"ignored": 1}
})";

std::string server(const std::string& name, const std::string& id, const char* addresses) {
    return R"({"UUID":"u-)" + name + R"(","isEnabled":true,"name":")" + name +
           R"(","objectId":"obj-)" + name + R"(","status":"ONLINE","type":"FILE_SERVICES",)" +
           R"("virtualServerId":)" + id + R"(,"ipAddresses":)" + addresses + "}";
}

std::string fileSystem(const std::string& label, const std::string& capacity = "1000") {
    return R"({"isReadOnly":false,"capacity":)" + capacity +
           R"(,"freeCapacity":600,"usedCapacity":400,"filesystemId":"fs-)" + label +
           R"(","label":")" + label + R"(","objectId":"obj-)" + label +
           R"(","status":"MOUNTED","unit":"bytes"})";
}

std::string snapshot(const std::string& name, const std::string& time = "1700000000") {
    return R"({"displayName":")" + name + R"(","filesystemId":"fs1","objectId":"snap-)" + name +
           R"(","state":"READY","creationReason":"USER","creationTime":)" + time + "}";
}

std::string share(const std::string& name, const std::string& settings,
                  const std::string& vsid = "2") {
    return R"({"objectId":"obj-)" + name + R"(","shareId":"id-)" + name + R"(","name":")" + name +
           R"(","virtualServerId":)" + vsid + R"(,"filesystemId":"fs1","path":"\\)" + name +
           R"(","settings":)" + settings + "}";
}

TEST(Readers, FileDeviceReadsEveryFieldAndAppendsLicences) {
    HNASJSONGetFileDevice m(kJob);
    auto licences = [&] { return m.getSubsystemInfo().licenses.size(); };
    expectStrict(m, licences, kDevice, "HNASJSONGetFileDevice::parseResponse",
                 {"licenses", "clusterUUID", "isCluster", "firmwareVersion", "model", "name",
                  "nodeCount", "storageHealth", "vendor"},
                 {replaced(kDevice, "true", "\"true\""), replaced(kDevice, "\"NFS\"]", "3]")});
    const __HNASStorageSubSystemInfo info = m.getSubsystemInfo();
    EXPECT_EQ(info.name + "|" + info.clusterUUID + "|" + info.firmwareVersion + "|" + info.model +
                  "|" + info.storageHealth + "|" + info.vendor,
              "hnas-cluster-1|c-uuid|13.9.6|M5200|ROBUST|Acme");
    EXPECT_TRUE(info.isCluster && info.nodeCount == 3) << info.nodeCount;
    EXPECT_EQ(info.licenses, (std::vector<std::string>{"CIFS", "NFS", "CIFS", "NFS"}));
}

TEST(Readers, VirtualServersInOrderAccumulating) {
    HNASJSONGetVirtualServers m(kJob);
    auto size = [&] { return m.getVirtualServers().size(); };
    const std::string doc = R"({"virtualServers":[)" +
                            server("evs1", "1", R"(["10.0.0.1","10.0.0.2"])") + "," +
                            server("evs2", "9223372036854775808", "[]") + "]}";
    expectStrict(m, size, doc, "HNASJSONGetVirtualServers::parseResponse",
                 {"UUID", "isEnabled", "name", "objectId", "status", "type", "virtualServerId",
                  "ipAddresses"},
                 {R"({"servers":[]})", R"({"virtualServers":{}})",
                  R"({"virtualServers":[)" + server("a", "1", "[]") + ",3]}",
                  R"({"virtualServers":[)" + server("a", "1", "[1]") + "]}",
                  R"({"virtualServers":[)" + server("a", "1", "\"10.0.0.1\"") + "]}"},
                 {R"({"virtualServers":[]})"});
    const auto servers = m.getVirtualServers();
    ASSERT_EQ(servers.size(), 4u);
    EXPECT_EQ(servers[0].UUID + "|" + servers[0].name + "|" + servers[0].objectId + "|" +
                  servers[0].status + "|" + servers[0].type,
              "u-evs1|evs1|obj-evs1|ONLINE|FILE_SERVICES");
    EXPECT_TRUE(servers[0].isEnabled);
    EXPECT_EQ(servers[0].virtualServerId, 1u);
    EXPECT_EQ(servers[0].ipAddresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(servers[1].name, "evs2");
    EXPECT_EQ(servers[1].virtualServerId, 9223372036854775808ull);
    EXPECT_TRUE(servers[1].ipAddresses.empty());
}

TEST(Readers, VirtualServerOfFileSystemTakesTheFirstServer) {
    HNASJSONGetVirtualServerAssociatedWithFS m(kJob);
    auto addresses = [&] { return m.getVirtualServer().ipAddresses.size(); };
    const std::string doc = R"({"virtualServers":[)" + server("evs1", "1", R"(["10.0.0.1"])") +
                            "," + server("evs2", "2", R"(["10.0.0.2"])") + "]}";
    expectStrict(m, addresses, doc, nullptr, {},
                 {R"({"virtualServers":[]})", R"({"virtualServers":["evs1"]})"});
    EXPECT_EQ(m.getVirtualServer().name, "evs1");
    EXPECT_EQ(m.getVirtualServer().ipAddresses, // read twice: the addresses accumulate
              (std::vector<std::string>{"10.0.0.1", "10.0.0.1"}));
}

TEST(Readers, DirectoriesKeepTheFirstNameOfEachEntry) {
    HNASJSONGetFileSystemDirectories m(kJob);
    auto size = [&] { return m.getFileSystemDirectories().size(); };
    const std::string doc = R"({"directories":[{"objectId":"d1","displayName":["a","b"]},)"
                            R"({"objectId":"d2"},{"objectId":"d3","displayName":"flat"}]})";
    expectStrict(m, size, doc, "HNASJSONGetFileSystemDirectories::parseResponse", {},
                 {R"({"directories":[{"displayName":["a"]}]})",
                  R"({"directories":[{"objectId":1}]})",
                  R"({"directories":[{"objectId":"d","displayName":[]}]})",
                  R"({"directories":[{"objectId":"d","displayName":[1]}]})",
                  R"({"directories":["d"]})", "[{\"objectId\":\"d\"}]"},
                 {R"({"directories":[]})", R"({"dirs":[]})", R"({"directories":{}})"});
    const auto list = m.getFileSystemDirectories();
    std::string read;
    for (const auto& d : list)
        read += d.objectId + ":" + (d.displayName.empty() ? "" : d.displayName[0]) +
                std::to_string(d.displayName.size()) + " ";
    EXPECT_EQ(read, "d1:a1 d2:0 d3:0 d1:a1 d2:0 d3:0 ");
}

TEST(Readers, CIFSAuthenticationDoublesBackslashesAndConvertsPermissions) {
    HNASJSONGetCIFSAuthentication m(kJob);
    auto size = [&] { return m.getCIFSAuth().size(); };
    const std::string doc =
        R"({"cifsAuthentications":[)"
        R"({"name":"DOMAIN\\user","encodedName":"e1","type":"USER","permission":7.9},)"
        R"({"name":"Everyone","encodedName":"e2","type":"GROUP","permission":-1}]})";
    expectStrict(m, size, doc, "parseResponse", {"name", "encodedName", "type", "permission"},
                 {replaced(doc, "7.9", "\"7.9\""), R"({"cifsAuthentications":[null]})"},
                 {R"({"cifsAuthentications":[]})", R"({"cifsAuthentications":1})"});
    auto list = m.getCIFSAuth();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name + "|" + list[0].encodedName + "|" + list[0].type + "|" +
                  std::to_string(list[0].permission) + "|" + list[1].name + "|" +
                  std::to_string(list[1].permission),
              "DOMAIN\\\\user|e1|USER|7|Everyone|-1");
    std::string big = replaced(doc, "7.9", "3000000000");
    ASSERT_TRUE(m.parseResponse(big));
    EXPECT_EQ(m.getCIFSAuth()[4].permission, 2147483647);

    // The listed entries written back decode to the same name.
    HNASJSONSetCIFSAuthentication set(kJob, list);
    std::string body;
    ASSERT_TRUE(set.buildRequest(body));
    EXPECT_NE(body.find(R"("name":"DOMAIN\\user")"), std::string::npos);
    HNASJSONGetCIFSAuthentication reread(kJob);
    ASSERT_TRUE(reread.parseResponse(body));
    EXPECT_EQ(reread.getCIFSAuth()[0].name, "DOMAIN\\\\user");
}

TEST(Readers, FileSystemsFromTheArrayOrTheSingleObject) {
    HNASJSONGetFileSystems m(kJob);
    auto size = [&] { return m.getFileSystems().size(); };
    const std::string doc =
        R"({"filesystems":[)" + fileSystem("fs1") + "," + fileSystem("fs2", "1.9") + "," +
        fileSystem("fs3", "9223372036854775808") + "," + fileSystem("fs4", "-1") + "," +
        fileSystem("fs5", "1e30") + R"(],"filesystem":)" + fileSystem("single") + "}";
    expectStrict(m, size, doc, "HNASJSONGetFileSystems::parseResponse",
                 {"isReadOnly", "capacity", "freeCapacity", "usedCapacity", "filesystemId", "label",
                  "objectId", "status"},
                 {replaced(doc, "false", "0"), doc.substr(0, doc.size() - 3),
                  R"({"filesystems":[)" + fileSystem("a") + ",\"b\"]}",
                  R"({"filesystem":)" + replaced(fileSystem("s"), "\"status\"", "\"x\"") + "}"},
                 {R"({"filesystems":[]})", R"({"other":1})", R"({"filesystem":[]})"});
    auto list = m.getFileSystems();
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list[0].label + "|" + list[0].filesystemId + "|" + list[0].objectId + "|" +
                  list[0].status,
              "fs1|fs-fs1|obj-fs1|MOUNTED");
    EXPECT_EQ(list[0].capacity * 1000000 + list[0].freeCapacity * 1000 + list[0].usedCapacity,
              1000600400u);
    EXPECT_FALSE(list[0].isReadOnly);
    EXPECT_EQ(list[1].label, "fs2");
    EXPECT_EQ(list[1].capacity, 1u);
    EXPECT_EQ(list[2].capacity, 9223372036854775808ull);
    EXPECT_EQ(list[3].capacity, 0u);
    EXPECT_EQ(list[4].capacity, 18446744073709551615ull);
    std::string single = R"({"filesystems":"no","filesystem":)" + fileSystem("one") + "}";
    ASSERT_TRUE(m.parseResponse(single)); // accumulates
    ASSERT_EQ(size(), 11u);
    EXPECT_EQ(m.getFileSystems()[10].label, "one");
}

TEST(Readers, SnapshotListingAndCreatedSnapshotKeep64Bits) {
    HNASJSONGetFileSystemSnapshots m(kJob);
    auto size = [&] { return m.getFileSystemSnapshots().size(); };
    const std::string doc =
        R"({"snapshots":[)" + snapshot("s1") + "," + snapshot("s2", "18446744073709551615") + "]}";
    expectStrict(
        m, size, doc, "HNASJSONGetFileSystemSnapshots::parseResponse",
        {"displayName", "filesystemId", "objectId", "state", "creationReason", "creationTime"},
        {R"({"snapshots":[)" + snapshot("s", "\"1\"") + "]}", R"({"snapshots":[[]]})"},
        {R"({"snapshot":[]})", R"({"snapshots":{}})"});
    const auto list = m.getFileSystemSnapshots();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].displayName + "|" + list[0].filesystemId + "|" + list[0].objectId + "|" +
                  list[0].state + "|" + list[0].creationReason,
              "s1|fs1|snap-s1|READY|USER");
    EXPECT_EQ(list[0].creationTime, 1700000000u);
    EXPECT_EQ(list[1].creationTime, 18446744073709551615ull);

    HNASJSONCreateFileSystemSnapshot created(kJob, "n", "fs", "id");
    EXPECT_EQ(created.getSnapshot().creationTime, 0u);
    expectStrict(
        created, [&] { return created.getSnapshot().displayName.size(); },
        R"({"snapshot":)" + snapshot("created", "4102444800") + "}",
        "HNASJSONCreateFileSystemSnapshot::parseResponse", {},
        {R"({"snapshot":"x"})", R"({"snap":{}})", R"({"snapshot":)" + snapshot("x", "null") + "}"},
        {}, false);
    const __HNASFileSystemSnapshot s = created.getSnapshot();
    EXPECT_EQ(s.displayName + "|" + s.objectId + "|" + s.filesystemId + "|" + s.state + "|" +
                  s.creationReason,
              "created|snap-created|fs1|READY|USER");
    EXPECT_EQ(s.creationTime, 4102444800u);
}

TEST(Readers, SharesListedReadFourSettingsOfTheirTypeAndTheCreatedOne) {
    HNASJSONGetFileSystemShares m(kJob);
    auto size = [&] { return m.getFileSystemShares().size(); };
    const std::string settings =
        R"({"accessConfig":"10.0.0.0/8","localReadCacheOption":"ENABLED",)"
        R"("snapshotOption":"HIDE_AND_DISALLOW_ACCESS","transferToReplicationTargetSetting":)"
        R"("TRANSFER","comment":"not read","cacheOption":"MANUAL","isABEEnabled":true,)"
        R"("maxConcurrentUsers":5})";
    const std::string doc =
        R"({"filesystemShares":[)" + share("a", settings) + "," + share("b", "{}", "3.9") + "]}";
    const std::string one = R"({"filesystemShares":[)";
    expectStrict(
        m, size, doc, "HNASJSONGetFileSystemShares::parseResponse",
        {"settings", "virtualServerId", "filesystemId", "objectId", "shareId", "name", "path"},
        {one + share("a", "[]") + "]}", one + share("a", "{}", "\"2\"") + "]}",
         one + share("a", "{}") + ",7]}"},
        {R"({"filesystemShares":[]})", R"({"shares":[1]})", R"({"filesystemShares":"none"})"});
    auto list = m.getFileSystemShares();
    ASSERT_EQ(list.size(), 4u);
    const auto& a = list[0];
    EXPECT_EQ(a.objectId + "|" + a.shareId + "|" + a.name + "|" + a.filesystemId + "|" + a.path +
                  "|" + a.reserved,
              "obj-a|id-a|a|fs1|\\a|");
    EXPECT_EQ(a.virtualServerId, 2);
    EXPECT_EQ(a.settings.accessConfig + "|" + a.settings.localReadCacheOption + "|" +
                  a.settings.snapshotOption + "|" + a.settings.transferToReplicationTargetSetting,
              "10.0.0.0/8|ENABLED|HIDE_AND_DISALLOW_ACCESS|TRANSFER");
    // Only four settings keys are read.
    EXPECT_EQ(a.settings.comment + "|" + a.settings.cacheOption, "|CACHING_OFF");
    EXPECT_FALSE(a.settings.isABEEnabled);
    EXPECT_EQ(a.settings.maxConcurrentUsers, 100);

    HNASJSONCreateFileSystemShare creation(kJob, "n", "1", "f", "/p");
    expectStrict(
        creation, [&] { return creation.getShareDetails().shareId.size(); },
        R"({"filesystemShare":{"filesystemId":"fs1","name":"n","objectId":"o",)"
        R"("path":"/p","shareId":"sid","virtualServerId":4.7,)"
        R"("settings":{"accessConfig":"ignored"}}})",
        nullptr, {"filesystemId", "name", "objectId", "path", "shareId", "virtualServerId"},
        {R"({"filesystemShare":[]})"}, {}, false);
    const __HNASFileSystemShares created = creation.getShareDetails();
    EXPECT_EQ(created.filesystemId + "|" + created.name + "|" + created.objectId + "|" +
                  created.path + "|" + created.shareId,
              "fs1|n|o|/p|sid");
    EXPECT_EQ(created.virtualServerId, 4);
    EXPECT_EQ(created.settings.accessConfig, "*");

    // Settings absent or of another type keep their defaults.
    const std::string typed =
        one +
        share("a",
              R"({"accessConfig":5,"snapshotOption":null,"localReadCacheOption":["x"],)"
              R"("transferToReplicationTargetSetting":{}})",
              "-7.5") +
        "]}";
    for (const auto& [text, vsid] : {std::pair<std::string, int>{doc, 3}, {typed, -7}}) {
        HNASJSONGetFileSystemShares fresh(kJob);
        std::string copy = text;
        ASSERT_TRUE(fresh.parseResponse(copy));
        const __HNASFileSystemShares last = fresh.getFileSystemShares().back();
        EXPECT_EQ(last.virtualServerId, vsid);
        EXPECT_EQ(last.settings.accessConfig + "|" + last.settings.snapshotOption + "|" +
                      last.settings.localReadCacheOption + "|" +
                      last.settings.transferToReplicationTargetSetting,
                  "*|SHOW_AND_ALLOW_ACCESS|DISABLED|DO_NOT_TRANSFER");
    }
}

} // namespace
