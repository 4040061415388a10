// Default construction and clear() of the storage object records.

#include "hnasmgmt/json/HNASRecords.h"

#include <type_traits>

namespace {

// Empties each text and list and zeroes each number and flag.
template <typename... Fields> void reset(Fields&... fields) {
    auto one = [](auto& field) {
        using T = std::decay_t<decltype(field)>;
        if constexpr (std::is_arithmetic_v<T>) {
            field = T{};
        } else {
            field.clear();
        }
    };
    (one(fields), ...);
}

} // namespace

__HNASStorageSubSystemInfo::__HNASStorageSubSystemInfo() {
    clear();
}

void __HNASStorageSubSystemInfo::clear() {
    reset(name, clusterUUID, firmwareVersion, isCluster, model, nodeCount, storageHealth, vendor,
          licenses);
}

__HNASVirtualServers::__HNASVirtualServers() {
    clear();
}

void __HNASVirtualServers::clear() {
    reset(UUID, status, name, objectId, type, ipAddresses, isEnabled, virtualServerId);
}

__HNASFileSystemInfo::__HNASFileSystemInfo() {
    clear();
}

void __HNASFileSystemInfo::clear() {
    reset(objectId, label, filesystemId, status, capacity, usedCapacity, freeCapacity, isReadOnly);
}

__HNASCIFSAuthentication::__HNASCIFSAuthentication() {
    clear();
}

void __HNASCIFSAuthentication::clear() {
    reset(name, encodedName, permission, type);
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
    reset(objectId, shareId, name, virtualServerId, filesystemId, path, reserved);
}

__HNASFileSystemSnapshot::__HNASFileSystemSnapshot() {
    clear();
}

void __HNASFileSystemSnapshot::clear() {
    reset(objectId, displayName, filesystemId, state, creationReason, creationTime);
}

__HNASFileSystemDirectories::__HNASFileSystemDirectories() {
    clear();
}

void __HNASFileSystemDirectories::clear() {
    reset(displayName, objectId);
}
