#pragma once

// Plain value records that carry the array's objects to the callers. Field
// names are the JSON keys that fill them. Every default constructor runs
// clear() on its freshly constructed members.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"

// The storage subsystem (file device) of the array.
struct HNASMGMT_API __HNASStorageSubSystemInfo {
    std::string name;
    std::string clusterUUID;
    std::string firmwareVersion;
    bool isCluster;
    std::string model;
    int nodeCount;
    std::string storageHealth;
    std::string vendor;
    std::vector<std::string> licenses;

    __HNASStorageSubSystemInfo();
    void clear();
};

// One virtual server (EVS).
struct HNASMGMT_API __HNASVirtualServers {
    std::string UUID;
    std::string status;
    std::string name;
    std::string objectId;
    std::string type;
    std::vector<std::string> ipAddresses;
    bool isEnabled;
    unsigned long long virtualServerId;

    __HNASVirtualServers();
    void clear();
};

// One file system.
struct HNASMGMT_API __HNASFileSystemInfo {
    std::string objectId;
    std::string label;
    std::string filesystemId;
    std::string status;
    unsigned long long capacity;
    unsigned long long usedCapacity;
    unsigned long long freeCapacity;
    bool isReadOnly;

    __HNASFileSystemInfo();
    void clear();
};

// One permission entry (a user or group and its rights) of a CIFS share.
struct HNASMGMT_API __HNASCIFSAuthentication {
    // When read from the array every backslash is doubled, so the name can be
    // written back into a request body as it stands.
    std::string name;
    std::string encodedName;
    int permission;
    std::string type;

    __HNASCIFSAuthentication();
    void clear();
};

// The settings of one share. The defaults are what a new share gets.
struct HNASMGMT_API __HNASFileSystemShareSettings {
    std::string accessConfig;                       // "*"
    std::string comment;                            // empty
    std::string userHomeDirectoryPath;              // empty
    std::string cacheOption;                        // "CACHING_OFF"
    std::string snapshotOption;                     // "SHOW_AND_ALLOW_ACCESS"
    std::string transferToReplicationTargetSetting; // "DO_NOT_TRANSFER"
    std::string userHomeDirectoryMode;              // "OFF"
    std::string localReadCacheOption;               // "DISABLED"
    bool isFollowSymbolicLinks;
    bool isFollowGlobalSymbolicLinks;
    bool isABEEnabled;
    bool isForceFileNameToLowercase;
    bool isScanForVirusesEnabled;
    int maxConcurrentUsers; // 100
    std::vector<__HNASCIFSAuthentication> cifsAuthentications;

    __HNASFileSystemShareSettings();
    void clear();
};

// One share (CIFS or NFS).
struct HNASMGMT_API __HNASFileSystemShares {
    std::string objectId;
    std::string shareId;
    std::string name;
    long long virtualServerId;
    std::string filesystemId;
    std::string path;
    std::string reserved;
    __HNASFileSystemShareSettings settings;

    __HNASFileSystemShares();
    // Empties the six strings and zeroes virtualServerId; settings are kept.
    void clear();
};

// One snapshot of a file system.
struct HNASMGMT_API __HNASFileSystemSnapshot {
    std::string objectId;
    std::string displayName;
    std::string filesystemId;
    std::string state;
    std::string creationReason;
    unsigned long long creationTime;

    __HNASFileSystemSnapshot();
    void clear();
};

// One directory entry.
struct HNASMGMT_API __HNASFileSystemDirectories {
    std::vector<std::string> displayName; // at most one element
    std::string objectId;

    __HNASFileSystemDirectories();
    void clear();
};
