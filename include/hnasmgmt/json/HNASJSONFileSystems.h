#pragma once

// Messages of the file systems and their snapshots.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

// Reads the file system listing: a "filesystems" array or one "filesystem".
class HNASMGMT_API HNASJSONGetFileSystems : public HNASJSONBase {
public:
    explicit HNASJSONGetFileSystems(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    std::vector<__HNASFileSystemInfo> getFileSystems();

private:
    std::vector<__HNASFileSystemInfo> filesystems;
};

// Reads the snapshot listing of one file system ("snapshots" array).
class HNASMGMT_API HNASJSONGetFileSystemSnapshots : public HNASJSONBase {
public:
    explicit HNASJSONGetFileSystemSnapshots(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    std::vector<__HNASFileSystemSnapshot> getFileSystemSnapshots();

private:
    std::vector<__HNASFileSystemSnapshot> snapshots;
};

// Builds the snapshot creation body and reads the created "snapshot".
class HNASMGMT_API HNASJSONCreateFileSystemSnapshot : public HNASJSONBase {
public:
    HNASJSONCreateFileSystemSnapshot(const unsigned long long& jobId,
                                     const std::string& displayName,
                                     const std::string& filesystemId,
                                     const std::string& appSearchId);
    bool buildRequest(std::string& body) override;
    bool parseResponse(std::string& response) override;
    __HNASFileSystemSnapshot getSnapshot();

private:
    __HNASFileSystemSnapshot snapshot;
    std::string displayName;
    std::string filesystemId;
    std::string appSearchId;
};
