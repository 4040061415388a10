#pragma once

// The management facade: one object per job manages one array through its
// REST management gateway. Every operation returns true on success and false
// on failure; details go to the host's log, tagged with the job identifier.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASRecords.h"

class HNASRestAPI;

class HNASMGMT_API RkManageHNAS {
public:
    explicit RkManageHNAS(const unsigned long long& jobId);
    ~RkManageHNAS();
    RkManageHNAS(const RkManageHNAS&) = delete;
    RkManageHNAS& operator=(const RkManageHNAS&) = delete;

    // Replaces the session with one built from these values. Nothing is
    // checked here; a missing value shows when a request is sent.
    void init(std::string userName, std::string password, std::string subsystemType,
              std::string managementIP, std::string metroServer, int metroServerPort);

    // 5 after the virtual server listing was refused with HTTP status 401;
    // otherwise 0. Never reset.
    long long getLastErrorCode() const;

    // --- Storage subsystem and virtual servers ---
    bool getFileDevice(__HNASStorageSubSystemInfo& info);
    bool getVirtualServers(std::vector<__HNASVirtualServers>& servers);
    bool getVirtualServerInfo(std::string nameOrAddress, __HNASVirtualServers& server);

    // --- File systems ---
    bool getFileSystemsInfo(const std::string& filesystemId,
                            std::vector<__HNASFileSystemInfo>& filesystems);
    bool getFileSystemID(__HNASVirtualServers virtualServer, const std::string& shareName,
                         const std::string& shareType, std::string& filesystemId);
    bool getFileSystemID(const std::string& filesystemName, std::string& filesystemId);
    bool getEVSIdAssociatedWithFileSystemID(const std::string& filesystemId,
                                            unsigned long long& virtualServerId);

    // --- Snapshots ---
    bool createFileSystemSnapshot(const std::string& displayName, const std::string& filesystemId,
                                  const std::string& appSearchId,
                                  __HNASFileSystemSnapshot& snapshot);
    bool getFileSystemSnapshots(const std::string& filesystemId, const std::string& nameFilter,
                                std::vector<__HNASFileSystemSnapshot>& snapshots);
    bool deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot,
                                  const std::string& nameFilter);
    bool deleteFileSystemSnapshot(const std::string& objectId);
    bool recoverFileSystemSnapshot(const std::string& objectId);
    bool getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots);
    bool isSnapshotPresent(const std::string& filesystemId, const std::string& displayName,
                           const std::string& nameFilter);

    // --- Shares ---
    bool getFilesystemShares(__HNASVirtualServers& virtualServer, const std::string& shareType,
                             std::vector<__HNASFileSystemShares>& shares, bool withPermissions);
    bool createFileSystemShare(const std::string& shareName, const std::string& virtualServerId,
                               const std::string& filesystemId, const std::string& path,
                               const std::string& shareType, __HNASFileSystemShares& share,
                               bool withPermissions);
    bool deleteFileSystemShare(const std::string& objectId, const std::string& shareType);
    bool deleteFileSystemShare(const std::string& shareName, __HNASVirtualServers& virtualServer,
                               const std::string& shareType);
    bool isSharePresent(const std::string& shareName, __HNASVirtualServers& virtualServer,
                        const std::string& shareType);

    // --- Directories ---
    bool getFileSystemDirectoriesUnderPath(const std::string& filesystemId,
                                           const std::string& path,
                                           std::vector<__HNASFileSystemDirectories>& directories);
    bool getFileSystemDirectories(const std::string& filesystemId,
                                  const std::string& directoryId,
                                  std::vector<__HNASFileSystemDirectories>& directories);

    // --- CIFS share permissions ---
    bool getCIFSAuthentication(const std::string& shareObjectId,
                               std::vector<__HNASCIFSAuthentication>& entries);
    bool setCIFSAuthentication(const std::string& shareObjectId,
                               std::vector<__HNASCIFSAuthentication>& entries);
    bool deleteCIFSAuthentication(const std::string& shareObjectId,
                                  const std::string& encodedName);

private:
    HNASRestAPI* restApi;
    unsigned long long jobId;
    bool initialised;
    long long lastErrorCode;
};
