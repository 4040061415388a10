// The response readers: every field, number conversions, first-element and
// accumulation rules, and the parts without which a document is refused.

#include <gtest/gtest.h>

#include <functional>

#include "hnasmgmt/json/HNASJSON.h"

namespace {

const unsigned long long kJob = 21;

// Reads `good`, then refuses it with each of `keys` renamed and each of `bad`,
// leaving `size()` (what was read) as it was; each of `empty` is read as an
// empty listing; reading `good` again adds as much again to a listing and
// replaces a single record.
template <class Message>
void expectStrict(Message& m, const std::function<size_t()>& size, const std::string& good,
                  std::initializer_list<const char*> keys, std::vector<std::string> bad,
                  std::initializer_list<std::string> empty = {}, bool listing = true) {
    std::string doc = good;
    ASSERT_TRUE(m.parseResponse(doc)) << good;
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

// One line per record, its fields joined by '|'.
template <class R, class F> std::string lines(const std::vector<R>& records, F fields) {
    std::string out;
    for (const R& r : records)
        out += fields(r) + "\n";
    return out;
}

TEST(Readers, FileDeviceReadsEveryFieldAndAppendsLicences) {
    HNASJSONGetFileDevice m(kJob);
    auto licences = [&] { return m.getSubsystemInfo().licenses.size(); };
    expectStrict(m, licences, kDevice,
                 {"licenses", "clusterUUID", "isCluster", "firmwareVersion", "model", "name",
                  "nodeCount", "storageHealth", "vendor"},
                 {replaced(kDevice, "true", "\"true\""), replaced(kDevice, "\"NFS\"]", "3]")});
    const __HNASStorageSubSystemInfo i = m.getSubsystemInfo();
    EXPECT_EQ(i.name + i.clusterUUID + i.firmwareVersion + i.model + i.storageHealth + i.vendor +
                  std::to_string(i.isCluster) + std::to_string(i.nodeCount),
              "hnas-cluster-1c-uuid13.9.6M5200ROBUSTAcme13");
    EXPECT_EQ(i.licenses, (std::vector<std::string>{"CIFS", "NFS", "CIFS", "NFS"}));
}

TEST(Readers, VirtualServersInOrderAndTheFirstOfAFileSystem) {
    HNASJSONGetVirtualServers m(kJob);
    auto size = [&] { return m.getVirtualServers().size(); };
    const std::string doc = R"({"virtualServers":[)" +
                            server("evs1", "1", R"(["10.0.0.1","10.0.0.2"])") + "," +
                            server("evs2", "9223372036854775808", "[]") + "]}";
    expectStrict(m, size, doc,
                 {"UUID", "isEnabled", "name", "objectId", "status", "type", "virtualServerId",
                  "ipAddresses"},
                 {R"({"servers":[]})", R"({"virtualServers":{}})",
                  R"({"virtualServers":[)" + server("a", "1", "[]") + ",3]}",
                  R"({"virtualServers":[)" + server("a", "1", "[1]") + "]}"},
                 {R"({"virtualServers":[]})"});
    const auto servers = m.getVirtualServers();
    ASSERT_EQ(servers.size(), 4u);
    const __HNASVirtualServers& v = servers[0];
    EXPECT_EQ(v.UUID + v.name + v.objectId + v.status + v.type + std::to_string(v.isEnabled),
              "u-evs1evs1obj-evs1ONLINEFILE_SERVICES1");
    EXPECT_EQ(v.ipAddresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(servers[1].virtualServerId, 9223372036854775808ull);
    EXPECT_TRUE(servers[1].ipAddresses.empty());
    HNASJSONGetVirtualServerAssociatedWithFS first(kJob);
    expectStrict(first, [&] { return first.getVirtualServer().ipAddresses.size(); }, doc, {},
                 {R"({"virtualServers":[]})", R"({"virtualServers":["evs1"]})"});
    EXPECT_EQ(first.getVirtualServer().name, "evs1");
    EXPECT_EQ(first.getVirtualServer().ipAddresses.size(), 4u); // read twice: they accumulate
}

TEST(Readers, DirectoriesKeepTheFirstNameOfEachEntry) {
    HNASJSONGetFileSystemDirectories m(kJob);
    auto size = [&] { return m.getFileSystemDirectories().size(); };
    const std::string doc = R"({"directories":[{"objectId":"d1","displayName":["a","b"]},)"
                            R"({"objectId":"d2"},{"objectId":"d3","displayName":"flat"}]})";
    expectStrict(
        m, size, doc, {},
        {R"({"directories":[{"displayName":["a"]}]})", R"({"directories":[{"objectId":1}]})",
         R"({"directories":[{"objectId":"d","displayName":[]}]})",
         R"({"directories":[{"objectId":"d","displayName":[1]}]})", R"({"directories":["d"]})"},
        {R"({"directories":[]})", R"({"dirs":[]})", R"({"directories":{}})"});
    EXPECT_EQ(lines(m.getFileSystemDirectories(),
                    [](const __HNASFileSystemDirectories& d) {
                        std::string names;
                        for (const std::string& n : d.displayName)
                            names += "|" + n;
                        return d.objectId + names;
                    }),
              "d1|a\nd2\nd3\nd1|a\nd2\nd3\n");
}

TEST(Readers, CIFSAuthenticationDoublesBackslashesAndConvertsPermissions) {
    HNASJSONGetCIFSAuthentication m(kJob);
    auto size = [&] { return m.getCIFSAuth().size(); };
    const std::string doc =
        R"({"cifsAuthentications":[)"
        R"({"name":"DOMAIN\\user","encodedName":"e1","type":"USER","permission":7.9},)"
        R"({"name":"Everyone","encodedName":"e2","type":"GROUP","permission":-1}]})";
    expectStrict(m, size, doc, {"name", "encodedName", "type", "permission"},
                 {replaced(doc, "7.9", "\"7.9\""), R"({"cifsAuthentications":[null]})"},
                 {R"({"cifsAuthentications":[]})", R"({"cifsAuthentications":1})"});
    std::string big = replaced(replaced(doc, "7.9", "3000000000"), "-1", "-1e400");
    ASSERT_TRUE(m.parseResponse(big));
    auto list = m.getCIFSAuth();
    EXPECT_EQ(lines(list,
                    [](const __HNASCIFSAuthentication& a) {
                        return a.name + "|" + a.encodedName + "|" + a.type + "|" +
                               std::to_string(a.permission);
                    }),
              "DOMAIN\\\\user|e1|USER|7\nEveryone|e2|GROUP|-1\nDOMAIN\\\\user|e1|USER|7\n"
              "Everyone|e2|GROUP|-1\nDOMAIN\\\\user|e1|USER|2147483647\n"
              "Everyone|e2|GROUP|-2147483648\n");
}

TEST(Readers, FileSystemsFromTheArrayOrTheSingleObject) {
    HNASJSONGetFileSystems m(kJob);
    auto size = [&] { return m.getFileSystems().size(); };
    const std::string doc =
        R"({"filesystems":[)" + fileSystem("fs1") + "," + fileSystem("fs2", "1.9") + "," +
        fileSystem("fs3", "9223372036854775808") + "," + fileSystem("fs4", "-1") + "," +
        fileSystem("fs5", "1e30") + "," + fileSystem("fs6", "1e+0000000000000000000003") +
        R"(],"filesystem":)" + fileSystem("single") + "}";
    expectStrict(m, size, doc,
                 {"isReadOnly", "capacity", "freeCapacity", "usedCapacity", "filesystemId", "label",
                  "objectId", "status"},
                 {replaced(doc, "false", "0"), R"({"filesystems":[)" + fileSystem("a") + ",\"b\"]}",
                  R"({"filesystem":)" + replaced(fileSystem("s"), "\"status\"", "\"x\"") + "}"},
                 {R"({"filesystems":[]})", R"({"other":1})", R"({"filesystem":[]})"});
    std::string single = R"({"filesystem":)" + fileSystem("one") + R"(,"filesystems":"no"})";
    ASSERT_TRUE(m.parseResponse(single)); // accumulates
    std::string capacities;
    for (const __HNASFileSystemInfo& f : m.getFileSystems())
        capacities += f.label + ":" + std::to_string(f.capacity) + " ";
    EXPECT_EQ(capacities.substr(0, 88), "fs1:1000 fs2:1 fs3:9223372036854775808 fs4:0 "
                                        "fs5:18446744073709551615 fs6:1000 fs1:1000 ");
    const __HNASFileSystemInfo f = m.getFileSystems()[0];
    EXPECT_EQ(f.filesystemId + f.objectId + f.status + std::to_string(f.freeCapacity) +
                  std::to_string(f.usedCapacity) + std::to_string(f.isReadOnly),
              "fs-fs1obj-fs1MOUNTED6004000");
    EXPECT_EQ(m.getFileSystems().back().label, "one");
}

TEST(Readers, SnapshotListingAndCreatedSnapshotKeep64Bits) {
    HNASJSONGetFileSystemSnapshots m(kJob);
    auto size = [&] { return m.getFileSystemSnapshots().size(); };
    const std::string doc = R"({"snapshots":[)" + snapshot("s1") + "," +
                            snapshot("s\\u0000", "18446744073709551615") + "]}";
    expectStrict(
        m, size, doc,
        {"displayName", "filesystemId", "objectId", "state", "creationReason", "creationTime"},
        {R"({"snapshots":[)" + snapshot("s", "\"1\"") + "]}", R"({"snapshots":[[]]})"},
        {R"({"snapshot":[]})", R"({"snapshots":{}})"});
    const auto list = m.getFileSystemSnapshots();
    EXPECT_EQ(list[0].displayName + "|" + list[0].filesystemId + "|" + list[0].objectId + "|" +
                  list[0].state + "|" + list[0].creationReason + "|" +
                  std::to_string(list[0].creationTime),
              "s1|fs1|snap-s1|READY|USER|1700000000");
    EXPECT_EQ(list[1].displayName, std::string("s\0", 2)); // embedded NUL kept
    EXPECT_EQ(list[1].creationTime, 18446744073709551615ull);

    HNASJSONCreateFileSystemSnapshot created(kJob, "n", "fs", "id");
    expectStrict(
        created, [&] { return created.getSnapshot().displayName.size(); },
        R"({"snapshot":)" + snapshot("created", "4102444800") + "}", {},
        {R"({"snapshot":"x"})", R"({"snap":{}})", R"({"snapshot":)" + snapshot("x", "null") + "}"},
        {}, false);
    EXPECT_EQ(created.getSnapshot().objectId + "|" +
                  std::to_string(created.getSnapshot().creationTime),
              "snap-created|4102444800");
}

TEST(Readers, SharesListedReadFourSettingsOfTheirTypeAndTheCreatedOne) {
    HNASJSONGetFileSystemShares m(kJob);
    auto size = [&] { return m.getFileSystemShares().size(); };
    // Duplicate keys: the first counts, compared after their escapes are decoded.
    const std::string settings =
        R"({"accessConfig":"10.0.0.0/8","\u0061ccessConfig":"x","localReadCacheOption":"ENABLED",)"
        R"("snapshotOption":"HIDE_AND_DISALLOW_ACCESS","transferToReplicationTargetSetting":)"
        R"("TRANSFER","comment":"not read","cacheOption":"MANUAL","isABEEnabled":true})";
    const std::string typed =
        R"({"accessConfig":5,"accessConfig":"x","snapshotOption":null,)"
        R"("localReadCacheOption":["x"],"transferToReplicationTargetSetting":{}})";
    const std::string doc = R"({"filesystemShares":[)" + share("a", settings) + "," +
                            share("b", "{}", "3.9") + "," + share("c", typed, "-3e9") + "]}";
    const std::string one = R"({"filesystemShares":[)";
    expectStrict(
        m, size, doc,
        {"settings", "virtualServerId", "filesystemId", "objectId", "shareId", "name", "path"},
        {one + share("a", "[]") + "]}", one + share("a", "{}", "\"2\"") + "]}",
         one + share("a", "{}") + ",7]}"},
        {R"({"filesystemShares":[]})", R"({"shares":[1]})", R"({"filesystemShares":"none"})"});
    const auto list = m.getFileSystemShares();
    ASSERT_EQ(list.size(), 6u);
    const __HNASFileSystemShares& a = list[0];
    const __HNASFileSystemShareSettings& t = a.settings;
    EXPECT_EQ(a.objectId + "|" + a.shareId + "|" + a.name + "|" + a.filesystemId + "|" + a.path +
                  "|" + a.reserved + "|" + t.accessConfig + "|" + t.localReadCacheOption + "|" +
                  t.snapshotOption + "|" + t.transferToReplicationTargetSetting + "|" + t.comment +
                  "|" + t.cacheOption + std::to_string(t.isABEEnabled),
              "obj-a|id-a|a|fs1|\\a||10.0.0.0/8|ENABLED|HIDE_AND_DISALLOW_ACCESS|TRANSFER||"
              "CACHING_OFF0");                                     // only four settings are read
    for (const __HNASFileSystemShares& typed : {list[1], list[2]}) // defaults kept
        EXPECT_EQ(typed.settings.accessConfig + typed.settings.localReadCacheOption +
                      typed.settings.snapshotOption +
                      typed.settings.transferToReplicationTargetSetting,
                  "*DISABLEDSHOW_AND_ALLOW_ACCESSDO_NOT_TRANSFER");
    EXPECT_EQ(std::to_string(a.virtualServerId) + std::to_string(list[1].virtualServerId) +
                  std::to_string(list[2].virtualServerId),
              "23-2147483648");

    HNASJSONCreateFileSystemShare creation(kJob, "n", "1", "f", "/p");
    expectStrict(
        creation, [&] { return creation.getShareDetails().shareId.size(); },
        R"({"filesystemShare":{"filesystemId":"fs1","name":"n","objectId":"o",)"
        R"("path":"/p","shareId":"sid","virtualServerId":4.7,)"
        R"("settings":{"accessConfig":"ignored"}}})",
        {"filesystemId", "name", "objectId", "path", "shareId", "virtualServerId"},
        {R"({"filesystemShare":[]})"}, {}, false);
    const __HNASFileSystemShares c = creation.getShareDetails();
    EXPECT_EQ(c.filesystemId + "|" + c.name + "|" + c.objectId + "|" + c.path + "|" + c.shareId +
                  "|" + std::to_string(c.virtualServerId) + "|" + c.settings.accessConfig,
              "fs1|n|o|/p|sid|4|*");
}

} // namespace
