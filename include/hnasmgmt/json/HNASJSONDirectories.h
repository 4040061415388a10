#pragma once

/// @file
/// The message of the directory listing. (The CIFS share permission messages,
/// once declared here, have their own header, which this one includes.)

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASJSONCIFSAuthentication.h"
#include "hnasmgmt/json/HNASRecords.h"

/// Reads a directory listing ("directories" array).
class HNASMGMT_API HNASJSONGetFileSystemDirectories : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetFileSystemDirectories(const unsigned long long& jobId);
    /// Appends one record per element of the "directories" array: its
    /// "objectId" and the first element of its "displayName" array. A
    /// document without that array yields no records and true.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the records read so far, in the gateway's order.
    std::vector<__HNASFileSystemDirectories> getFileSystemDirectories();

private:
    std::vector<__HNASFileSystemDirectories> directories;
};
