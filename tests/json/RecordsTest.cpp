// Defaults, clear() and copies of the storage object records.

#include <gtest/gtest.h>

#include "hnasmgmt/json/HNASJSON.h"

namespace {

void expectDefaultSettings(const __HNASFileSystemShareSettings& s) {
    EXPECT_EQ(s.accessConfig, "*");
    EXPECT_EQ(s.comment, "");
    EXPECT_EQ(s.userHomeDirectoryPath, "");
    EXPECT_EQ(s.cacheOption, "CACHING_OFF");
    EXPECT_EQ(s.snapshotOption, "SHOW_AND_ALLOW_ACCESS");
    EXPECT_EQ(s.transferToReplicationTargetSetting, "DO_NOT_TRANSFER");
    EXPECT_EQ(s.userHomeDirectoryMode, "OFF");
    EXPECT_EQ(s.localReadCacheOption, "DISABLED");
    EXPECT_FALSE(s.isFollowSymbolicLinks);
    EXPECT_FALSE(s.isFollowGlobalSymbolicLinks);
    EXPECT_FALSE(s.isABEEnabled);
    EXPECT_FALSE(s.isForceFileNameToLowercase);
    EXPECT_FALSE(s.isScanForVirusesEnabled);
    EXPECT_EQ(s.maxConcurrentUsers, 100);
    EXPECT_TRUE(s.cifsAuthentications.empty());
}

__HNASCIFSAuthentication entry(const std::string& name, int permission) {
    __HNASCIFSAuthentication e;
    e.name = name;
    e.encodedName = "enc-" + name;
    e.permission = permission;
    e.type = "USER";
    return e;
}

TEST(Records, SettingsDefaultsAndClearRestoresThem) {
    __HNASFileSystemShareSettings s;
    expectDefaultSettings(s);
    s.accessConfig = "10.0.0.0/8";
    s.comment = "c";
    s.userHomeDirectoryPath = "/home";
    s.cacheOption = "MANUAL";
    s.snapshotOption = "HIDE";
    s.transferToReplicationTargetSetting = "TRANSFER";
    s.userHomeDirectoryMode = "ON";
    s.localReadCacheOption = "ENABLED";
    s.isFollowSymbolicLinks = s.isFollowGlobalSymbolicLinks = s.isABEEnabled = true;
    s.isForceFileNameToLowercase = s.isScanForVirusesEnabled = true;
    s.maxConcurrentUsers = 7;
    s.cifsAuthentications.push_back(entry("a", 1));
    s.clear();
    expectDefaultSettings(s);
}

TEST(Records, ShareClearKeepsSettings) {
    __HNASFileSystemShares share;
    EXPECT_EQ(share.objectId, "");
    EXPECT_EQ(share.virtualServerId, 0);
    expectDefaultSettings(share.settings);

    share.objectId = "o";
    share.shareId = "s";
    share.name = "n";
    share.virtualServerId = 3;
    share.filesystemId = "f";
    share.path = "/p";
    share.reserved = "r";
    share.settings.comment = "kept";
    share.settings.cifsAuthentications.push_back(entry("a", 1));
    share.clear();
    EXPECT_EQ(share.objectId, "");
    EXPECT_EQ(share.shareId, "");
    EXPECT_EQ(share.name, "");
    EXPECT_EQ(share.virtualServerId, 0);
    EXPECT_EQ(share.filesystemId, "");
    EXPECT_EQ(share.path, "");
    EXPECT_EQ(share.reserved, "");
    EXPECT_EQ(share.settings.comment, "kept");
    EXPECT_EQ(share.settings.cifsAuthentications.size(), 1u);
}

TEST(Records, ShareCopyIsDeep) {
    __HNASFileSystemShares source;
    source.reserved = "r";
    source.settings.cifsAuthentications.push_back(entry("a", 1));
    __HNASFileSystemShares copy = source;
    EXPECT_EQ(copy.reserved, "r");
    ASSERT_EQ(copy.settings.cifsAuthentications.size(), 1u);
    copy.settings.cifsAuthentications[0].name = "changed";
    copy.settings.cifsAuthentications.push_back(entry("b", 2));
    EXPECT_EQ(source.settings.cifsAuthentications.size(), 1u);
    EXPECT_EQ(source.settings.cifsAuthentications[0].name, "a");

    __HNASFileSystemShares assigned;
    assigned = source;
    EXPECT_EQ(assigned.settings.cifsAuthentications[0].encodedName, "enc-a");
}

TEST(Records, ClearEmptiesEveryOtherRecord) {
    __HNASStorageSubSystemInfo info;
    info.name = info.clusterUUID = info.firmwareVersion = info.model = "x";
    info.storageHealth = info.vendor = "x";
    info.isCluster = true;
    info.nodeCount = 4;
    info.licenses = {"a", "b"};
    info.clear();
    EXPECT_EQ(info.name + info.clusterUUID + info.firmwareVersion + info.model +
                  info.storageHealth + info.vendor,
              "");
    EXPECT_FALSE(info.isCluster);
    EXPECT_EQ(info.nodeCount, 0);
    EXPECT_TRUE(info.licenses.empty());

    __HNASVirtualServers vs;
    vs.UUID = vs.status = vs.name = vs.objectId = vs.type = "x";
    vs.ipAddresses = {"10.0.0.1"};
    vs.isEnabled = true;
    vs.virtualServerId = 9;
    vs.clear();
    EXPECT_EQ(vs.UUID + vs.status + vs.name + vs.objectId + vs.type, "");
    EXPECT_TRUE(vs.ipAddresses.empty());
    EXPECT_FALSE(vs.isEnabled);
    EXPECT_EQ(vs.virtualServerId, 0u);

    __HNASFileSystemInfo fs;
    fs.objectId = fs.label = fs.filesystemId = fs.status = "x";
    fs.capacity = fs.usedCapacity = fs.freeCapacity = 5;
    fs.isReadOnly = true;
    fs.clear();
    EXPECT_EQ(fs.objectId + fs.label + fs.filesystemId + fs.status, "");
    EXPECT_EQ(fs.capacity + fs.usedCapacity + fs.freeCapacity, 0u);
    EXPECT_FALSE(fs.isReadOnly);

    __HNASFileSystemSnapshot snap;
    snap.objectId = snap.displayName = snap.filesystemId = snap.state = "x";
    snap.creationReason = "x";
    snap.creationTime = 5;
    snap.clear();
    EXPECT_EQ(snap.objectId + snap.displayName + snap.filesystemId + snap.state +
                  snap.creationReason,
              "");
    EXPECT_EQ(snap.creationTime, 0u);

    __HNASFileSystemDirectories dir;
    dir.displayName = {"d"};
    dir.objectId = "o";
    dir.clear();
    EXPECT_TRUE(dir.displayName.empty());
    EXPECT_EQ(dir.objectId, "");

    __HNASCIFSAuthentication auth = entry("a", 3);
    auth.clear();
    EXPECT_EQ(auth.name + auth.encodedName + auth.type, "");
    EXPECT_EQ(auth.permission, 0);
}

} // namespace
