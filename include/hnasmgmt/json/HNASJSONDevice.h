#pragma once

/// @file
/// Messages of the storage subsystem and the virtual servers.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

/// Reads the "file-devices" answer: the subsystem's identity, health and
/// licences.
class HNASMGMT_API HNASJSONGetFileDevice : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetFileDevice(const unsigned long long& jobId);
    /// Reads the document's top-level members into the subsystem record.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the record read by parseResponse().
    __HNASStorageSubSystemInfo getSubsystemInfo();

private:
    __HNASStorageSubSystemInfo subsystemInfo;
};

/// Reads the "virtual-servers" answer; appends on every parse.
class HNASMGMT_API HNASJSONGetVirtualServers : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetVirtualServers(const unsigned long long& jobId);
    /// Appends one record per element of the "virtualServers" array.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the records read so far, in the gateway's order.
    std::vector<__HNASVirtualServers> getVirtualServers();

private:
    std::vector<__HNASVirtualServers> virtualServers;
};

/// Reads the virtual server of one file system (the first of the array).
class HNASMGMT_API HNASJSONGetVirtualServerAssociatedWithFS : public HNASJSONBase {
public:
    /// @param jobId the job identifier carried by every log line.
    explicit HNASJSONGetVirtualServerAssociatedWithFS(const unsigned long long& jobId);
    /// Reads the first virtual server of the answer.
    /// @param response the response body; not changed.
    /// @return true when the document was read.
    bool parseResponse(std::string& response) override;
    /// @return a copy of the record read by parseResponse().
    __HNASVirtualServers getVirtualServer();

private:
    __HNASVirtualServers virtualServer;
};
