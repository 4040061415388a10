#pragma once

/// @file
/// Messages of the CIFS share permissions: reading a share's permission
/// entries and building the body that adds entries to a share.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

/// Reads a CIFS share's permission listing; names come back with every
/// backslash doubled.
class HNASMGMT_API HNASJSONGetCIFSAuthentication : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetCIFSAuthentication(const unsigned long long& jobId);
    /// Appends one record per element of the "cifsAuthentications" array. A
    /// document without that array yields no records and true.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the entries read so far, in the gateway's order.
    std::vector<__HNASCIFSAuthentication> getCIFSAuth();

private:
    std::vector<__HNASCIFSAuthentication> cifsAuthentications;
};

/// Builds the body that adds permission entries to a CIFS share.
class HNASMGMT_API HNASJSONSetCIFSAuthentication : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    /// @param entries the entries to send; copied, not changed.
    HNASJSONSetCIFSAuthentication(const unsigned long long& jobId,
                                  std::vector<__HNASCIFSAuthentication>& entries);
    /// Builds {"cifsAuthentications":[...]} with "encodedName", "name",
    /// "permission" and "type" per entry, the texts written as they are.
    /// @param[out] body the request body; left empty when there are no
    ///             entries.
    /// @return true when the body was built or there was nothing to build;
    ///         false when a text is not valid JSON string content.
    bool buildRequest(std::string& body) override;
    /// The answer is not read: always true.
    /// @param response not read.
    /// @return true.
    bool parseResponse(std::string& response) override;

private:
    std::vector<__HNASCIFSAuthentication> cifsAuthentications;
};
