#pragma once

/// @file
/// Messages of the CIFS and NFS shares.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

/// Reads the share listing of one protocol on one virtual server.
class HNASMGMT_API HNASJSONGetFileSystemShares : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetFileSystemShares(const unsigned long long& jobId);
    /// Appends one record per element of the "filesystemShares" array, with
    /// the four settings the listing carries ("accessConfig",
    /// "localReadCacheOption", "snapshotOption",
    /// "transferToReplicationTargetSetting"; the others keep their
    /// defaults). A document without that array yields no records and true.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the records read so far, in the gateway's order.
    std::vector<__HNASFileSystemShares> getFileSystemShares();

private:
    std::vector<__HNASFileSystemShares> shares;
};

/// Builds the CIFS or NFS share creation body and reads the created share.
class HNASMGMT_API HNASJSONCreateFileSystemShare : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    /// @param name the new share's name.
    /// @param virtualServerId the virtual server's number as decimal text.
    /// @param filesystemId the file system's ID.
    /// @param filesystemPath the directory inside the file system that the
    ///        share exposes.
    HNASJSONCreateFileSystemShare(const unsigned long long& jobId, std::string name,
                                  std::string virtualServerId, std::string filesystemId,
                                  std::string filesystemPath);
    /// Reads the "filesystemShare" object of the answer: the created share's
    /// identity (its settings keep their defaults).
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// Builds the NFS body: "name", "virtualServerId", "filesystemId",
    /// "filesystemPath" and "settings" with "accessConfig", "snapshotOption",
    /// "localReadCacheOption" and "transferToReplicationTargetSetting". Texts
    /// are written as they are.
    /// @param[out] body the request body; empty on failure.
    /// @param settings the share's settings; not changed.
    /// @return true when the body was built; false when an identity text is
    ///         empty, a text is not valid JSON string content or the virtual
    ///         server number is not a number.
    virtual bool buildRequestNFS(std::string& body, __HNASFileSystemShareSettings& settings);
    /// Builds the CIFS body: as the NFS body, with the CIFS settings
    /// ("accessConfig", "comment" (a fixed comment when empty),
    /// "userHomeDirectoryPath", "isScanForVirusesEnabled",
    /// "maxConcurrentUsers", "snapshotOption", "cacheOption",
    /// "transferToReplicationTargetSetting", "userHomeDirectoryMode",
    /// "isFollowSymbolicLinks", "isFollowGlobalSymbolicLinks",
    /// "isForceFileNameToLowercase", "isABEEnabled").
    /// @param[out] body the request body; empty on failure.
    /// @param settings the share's settings; not changed.
    /// @return true when the body was built; false as for buildRequestNFS().
    virtual bool buildRequestCIFS(std::string& body, __HNASFileSystemShareSettings& settings);
    /// @return a copy of the created share read by parseResponse().
    __HNASFileSystemShares getShareDetails();

private:
    std::string name;
    std::string virtualServerId;
    std::string filesystemId;
    std::string filesystemPath;
    __HNASFileSystemShares share;
};
