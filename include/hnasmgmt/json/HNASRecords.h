#pragma once

/// @file
/// Plain value records that carry the array's objects to the callers. Field
/// names are the JSON keys that fill them. Every default constructor runs
/// clear() on its freshly constructed members. Records are copied and moved
/// memberwise and hold everything by value.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"

/// The storage subsystem (file device) of the array, as
/// RkManageHNAS::getFileDevice reads it from "file-devices".
struct HNASMGMT_API __HNASStorageSubSystemInfo {
    std::string name;                  ///< Name of the subsystem.
    std::string clusterUUID;           ///< UUID of the cluster.
    std::string firmwareVersion;       ///< Firmware version text.
    bool isCluster;                    ///< Whether the subsystem is a cluster.
    std::string model;                 ///< Model text.
    int nodeCount;                     ///< Number of nodes.
    std::string storageHealth;         ///< Health text as the array reports it.
    std::string vendor;                ///< Vendor text.
    std::vector<std::string> licenses; ///< One element per licence, in the array's order.

    /// Empty strings and licences, `isCluster` false, `nodeCount` 0.
    __HNASStorageSubSystemInfo();
    /// Brings back the values of the default constructor.
    void clear();
};

/// One virtual server (EVS), as RkManageHNAS::getVirtualServers lists it.
/// The share operations take it to name the virtual server (they read its
/// `objectId` and `name`).
struct HNASMGMT_API __HNASVirtualServers {
    std::string UUID;                     ///< UUID of the virtual server.
    std::string status;                   ///< Status text, e.g. "ONLINE".
    std::string name;                     ///< Name of the virtual server.
    std::string objectId;                 ///< The gateway's object identifier.
    std::string type;                     ///< Type text.
    std::vector<std::string> ipAddresses; ///< The server's IP addresses, in the array's order.
    bool isEnabled;                       ///< Whether the server is enabled.
    unsigned long long virtualServerId;   ///< The virtual server number (EVS number).

    /// Empty strings and addresses, `isEnabled` false, `virtualServerId` 0.
    __HNASVirtualServers();
    /// Brings back the values of the default constructor.
    void clear();
};

/// One file system, as RkManageHNAS::getFileSystemsInfo lists it. The
/// capacities are the array's numbers, unconverted.
struct HNASMGMT_API __HNASFileSystemInfo {
    std::string objectId;            ///< The gateway's object identifier.
    std::string label;               ///< The file system's label.
    std::string filesystemId;        ///< The ID used in resource paths.
    std::string status;              ///< Status text.
    unsigned long long capacity;     ///< Total capacity as reported.
    unsigned long long usedCapacity; ///< Used capacity as reported.
    unsigned long long freeCapacity; ///< Free capacity as reported.
    bool isReadOnly;                 ///< Whether the file system is read-only.

    /// Empty strings, capacities 0, `isReadOnly` false.
    __HNASFileSystemInfo();
    /// Brings back the values of the default constructor.
    void clear();
};

/// One permission entry (a user or group and its rights) of a CIFS share.
struct HNASMGMT_API __HNASCIFSAuthentication {
    /// User or group name. When read from the array every backslash is
    /// doubled, so the name can be written back into a request body as it
    /// stands; a name to send must likewise be JSON string content.
    std::string name;
    std::string encodedName; ///< The name in the array's encoded form; addresses the entry.
    int permission;          ///< The permission value as the array reports and accepts it.
    std::string type;        ///< The entry's type text, e.g. "USER" or "GROUP".

    /// Empty strings, `permission` 0.
    __HNASCIFSAuthentication();
    /// Brings back the values of the default constructor.
    void clear();
};

/// The settings of one share. The defaults are what a new share gets when the
/// caller leaves them as they are. A share listing fills only
/// `accessConfig`, `snapshotOption`, `transferToReplicationTargetSetting`
/// and `localReadCacheOption` (and, on request, `cifsAuthentications`).
struct HNASMGMT_API __HNASFileSystemShareSettings {
    std::string accessConfig;                       ///< Access configuration; default "*".
    std::string comment;                            ///< Share comment (CIFS); default empty.
    std::string userHomeDirectoryPath;              ///< User home directory path (CIFS).
    std::string cacheOption;                        ///< Client-side caching (CIFS); "CACHING_OFF".
    std::string snapshotOption;                     ///< Snapshots shown; "SHOW_AND_ALLOW_ACCESS".
    std::string transferToReplicationTargetSetting; ///< Replication transfer; "DO_NOT_TRANSFER".
    std::string userHomeDirectoryMode;              ///< User home directory mode (CIFS); "OFF".
    std::string localReadCacheOption;               ///< Local read cache (NFS); "DISABLED".
    bool isFollowSymbolicLinks;       ///< Follow symbolic links (CIFS); default false.
    bool isFollowGlobalSymbolicLinks; ///< Follow global symbolic links (CIFS); default false.
    bool isABEEnabled;                ///< Access-based enumeration (CIFS); default false.
    bool isForceFileNameToLowercase;  ///< Force file names to lower case (CIFS); default false.
    bool isScanForVirusesEnabled;     ///< Virus scanning (CIFS); default false.
    int maxConcurrentUsers;           ///< Maximum number of concurrent users (CIFS); default 100.
    /// The share's CIFS permission entries: read by a filtered CIFS listing
    /// with permissions, and the entries to apply to a new CIFS share.
    std::vector<__HNASCIFSAuthentication> cifsAuthentications;

    /// The defaults listed with the fields; no permission entries.
    __HNASFileSystemShareSettings();
    /// Brings back the values of the default constructor.
    void clear();
};

/// One share (CIFS or NFS), as RkManageHNAS::getFilesystemShares lists it and
/// RkManageHNAS::createFileSystemShare returns it. Its `objectId` names the
/// share in the CIFS permission operations.
struct HNASMGMT_API __HNASFileSystemShares {
    std::string objectId;      ///< The gateway's object identifier of the share.
    std::string shareId;       ///< The share identifier.
    std::string name;          ///< The share name.
    long long virtualServerId; ///< Number of the virtual server that serves the share.
    std::string filesystemId;  ///< The file system that holds the share.
    std::string path;          ///< The shared path inside the file system.
    std::string reserved;      ///< Not used by the library; always empty in its results.
    __HNASFileSystemShareSettings settings; ///< The share's settings.

    /// Empty strings, `virtualServerId` 0, default settings.
    __HNASFileSystemShares();
    /// Empties the six strings and zeroes virtualServerId; settings are kept.
    void clear();
};

/// One snapshot of a file system.
struct HNASMGMT_API __HNASFileSystemSnapshot {
    std::string objectId;       ///< The gateway's object identifier; used to delete or recover.
    std::string displayName;    ///< The snapshot's name.
    std::string filesystemId;   ///< The file system the snapshot belongs to.
    std::string state;          ///< State text.
    std::string creationReason; ///< Creation reason text.
    unsigned long long creationTime; ///< Creation time as the number the array reports.

    /// Empty strings, `creationTime` 0.
    __HNASFileSystemSnapshot();
    /// Brings back the values of the default constructor.
    void clear();
};

/// One directory entry of a directory listing.
struct HNASMGMT_API __HNASFileSystemDirectories {
    /// The directory's display name as the array gives it, e.g. "//projects"
    /// or "//projects/alpha": at most one element; empty when the array gave
    /// none.
    std::vector<std::string> displayName;
    std::string objectId; ///< The directory's object ID; names it in the next listing.

    /// Empty name and object ID.
    __HNASFileSystemDirectories();
    /// Brings back the values of the default constructor.
    void clear();
};
