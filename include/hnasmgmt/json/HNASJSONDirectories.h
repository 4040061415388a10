#pragma once

// Messages of the directory listing and of the CIFS share permissions.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

// Reads a directory listing ("directories" array).
class HNASMGMT_API HNASJSONGetFileSystemDirectories : public HNASJSONBase {
public:
    explicit HNASJSONGetFileSystemDirectories(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    std::vector<__HNASFileSystemDirectories> getFileSystemDirectories();

private:
    std::vector<__HNASFileSystemDirectories> directories;
};

// Reads a CIFS share's permission listing; names come back with every
// backslash doubled.
class HNASMGMT_API HNASJSONGetCIFSAuthentication : public HNASJSONBase {
public:
    explicit HNASJSONGetCIFSAuthentication(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    std::vector<__HNASCIFSAuthentication> getCIFSAuth();

private:
    std::vector<__HNASCIFSAuthentication> cifsAuthentications;
};

// Builds the body that adds permission entries to a CIFS share.
class HNASMGMT_API HNASJSONSetCIFSAuthentication : public HNASJSONBase {
public:
    HNASJSONSetCIFSAuthentication(const unsigned long long& jobId,
                                  std::vector<__HNASCIFSAuthentication>& entries);
    bool buildRequest(std::string& body) override;
    // The answer is not read: always true.
    bool parseResponse(std::string& response) override;

private:
    std::vector<__HNASCIFSAuthentication> cifsAuthentications;
};
