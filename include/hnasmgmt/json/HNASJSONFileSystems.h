#pragma once

/// @file
/// Messages of the file systems and their snapshots.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

/// Reads the file system listing: a "filesystems" array or one "filesystem".
class HNASMGMT_API HNASJSONGetFileSystems : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetFileSystems(const unsigned long long& jobId);
    /// Appends one record per element of the "filesystems" array, or the one
    /// "filesystem" object. A document with neither yields no records and
    /// true.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the records read so far, in the gateway's order.
    std::vector<__HNASFileSystemInfo> getFileSystems();

private:
    std::vector<__HNASFileSystemInfo> filesystems;
};

/// Reads the snapshot listing of one file system ("snapshots" array).
class HNASMGMT_API HNASJSONGetFileSystemSnapshots : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetFileSystemSnapshots(const unsigned long long& jobId);
    /// Appends one record per element of the "snapshots" array. A document
    /// without that array yields no records and true.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the records read so far, in the gateway's order.
    std::vector<__HNASFileSystemSnapshot> getFileSystemSnapshots();

private:
    std::vector<__HNASFileSystemSnapshot> snapshots;
};

/// Builds the snapshot creation body and reads the created "snapshot".
class HNASMGMT_API HNASJSONCreateFileSystemSnapshot : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    /// @param displayName the new snapshot's name.
    /// @param filesystemId the file system's ID.
    /// @param appSearchId the search identifier stored with the snapshot.
    HNASJSONCreateFileSystemSnapshot(const unsigned long long& jobId,
                                     const std::string& displayName,
                                     const std::string& filesystemId,
                                     const std::string& appSearchId);
    /// Builds {"displayName": ..., "filesystemId": ..., "appSearchId": ...},
    /// the texts written as they are.
    /// @param[out] body the request body; empty on failure.
    /// @return true when the body was built; false when a text is empty or
    ///         not valid JSON string content.
    bool buildRequest(std::string& body) override;
    /// Reads the "snapshot" object of the answer.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the created snapshot read by parseResponse().
    __HNASFileSystemSnapshot getSnapshot();

private:
    __HNASFileSystemSnapshot snapshot;
    std::string displayName;
    std::string filesystemId;
    std::string appSearchId;
};
