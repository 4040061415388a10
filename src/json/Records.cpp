// Default construction and clear() of the storage object records.

#include "hnasmgmt/json/HNASRecords.h"

__HNASStorageSubSystemInfo::__HNASStorageSubSystemInfo() {
    clear();
}

void __HNASStorageSubSystemInfo::clear() {
    name.clear();
    clusterUUID.clear();
    firmwareVersion.clear();
    isCluster = false;
    model.clear();
    nodeCount = 0;
    storageHealth.clear();
    vendor.clear();
    licenses.clear();
}

__HNASVirtualServers::__HNASVirtualServers() {
    clear();
}

void __HNASVirtualServers::clear() {
    UUID.clear();
    status.clear();
    name.clear();
    objectId.clear();
    type.clear();
    ipAddresses.clear();
    isEnabled = false;
    virtualServerId = 0;
}

__HNASFileSystemInfo::__HNASFileSystemInfo() {
    clear();
}

void __HNASFileSystemInfo::clear() {
    objectId.clear();
    label.clear();
    filesystemId.clear();
    status.clear();
    capacity = 0;
    usedCapacity = 0;
    freeCapacity = 0;
    isReadOnly = false;
}

__HNASCIFSAuthentication::__HNASCIFSAuthentication() {
    clear();
}

void __HNASCIFSAuthentication::clear() {
    name.clear();
    encodedName.clear();
    permission = 0;
    type.clear();
}

__HNASFileSystemShareSettings::__HNASFileSystemShareSettings() {
    clear();
}

void __HNASFileSystemShareSettings::clear() {
    accessConfig = "*";
    comment.clear();
    userHomeDirectoryPath.clear();
    cacheOption = "CACHING_OFF";
    snapshotOption = "SHOW_AND_ALLOW_ACCESS";
    transferToReplicationTargetSetting = "DO_NOT_TRANSFER";
    userHomeDirectoryMode = "OFF";
    localReadCacheOption = "DISABLED";
    isFollowSymbolicLinks = false;
    isFollowGlobalSymbolicLinks = false;
    isABEEnabled = false;
    isForceFileNameToLowercase = false;
    isScanForVirusesEnabled = false;
    maxConcurrentUsers = 100;
    cifsAuthentications.clear();
}

// settings is default-constructed (its own defaults) before clear() runs.
__HNASFileSystemShares::__HNASFileSystemShares() {
    clear();
}

void __HNASFileSystemShares::clear() {
    objectId.clear();
    shareId.clear();
    name.clear();
    virtualServerId = 0;
    filesystemId.clear();
    path.clear();
    reserved.clear();
}

__HNASFileSystemSnapshot::__HNASFileSystemSnapshot() {
    clear();
}

void __HNASFileSystemSnapshot::clear() {
    objectId.clear();
    displayName.clear();
    filesystemId.clear();
    state.clear();
    creationReason.clear();
    creationTime = 0;
}

__HNASFileSystemDirectories::__HNASFileSystemDirectories() {
    clear();
}

void __HNASFileSystemDirectories::clear() {
    displayName.clear();
    objectId.clear();
}
