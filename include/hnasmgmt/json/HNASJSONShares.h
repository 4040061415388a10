#pragma once

// Messages of the CIFS and NFS shares.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

// Reads the share listing of one protocol on one virtual server.
class HNASMGMT_API HNASJSONGetFileSystemShares : public HNASJSONBase {
public:
    explicit HNASJSONGetFileSystemShares(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    std::vector<__HNASFileSystemShares> getFileSystemShares();

private:
    std::vector<__HNASFileSystemShares> shares;
};

// Builds the CIFS or NFS share creation body and reads the created share.
class HNASMGMT_API HNASJSONCreateFileSystemShare : public HNASJSONBase {
public:
    HNASJSONCreateFileSystemShare(const unsigned long long& jobId, std::string name,
                                  std::string virtualServerId, std::string filesystemId,
                                  std::string filesystemPath);
    bool parseResponse(std::string& response) override;
    virtual bool buildRequestNFS(std::string& body, __HNASFileSystemShareSettings& settings);
    virtual bool buildRequestCIFS(std::string& body, __HNASFileSystemShareSettings& settings);
    __HNASFileSystemShares getShareDetails();

private:
    std::string name;
    std::string virtualServerId;
    std::string filesystemId;
    std::string filesystemPath;
    __HNASFileSystemShares share;
};
