#pragma once

// Messages of the storage subsystem and the virtual servers.

#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/json/HNASJSONBase.h"
#include "hnasmgmt/json/HNASRecords.h"

// Reads the "file-devices" answer.
class HNASMGMT_API HNASJSONGetFileDevice : public HNASJSONBase {
public:
    explicit HNASJSONGetFileDevice(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    __HNASStorageSubSystemInfo getSubsystemInfo();

private:
    __HNASStorageSubSystemInfo subsystemInfo;
};

// Reads the "virtual-servers" answer; appends on every parse.
class HNASMGMT_API HNASJSONGetVirtualServers : public HNASJSONBase {
public:
    explicit HNASJSONGetVirtualServers(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    std::vector<__HNASVirtualServers> getVirtualServers();

private:
    std::vector<__HNASVirtualServers> virtualServers;
};

// Reads the virtual server of one file system (the first of the array).
class HNASMGMT_API HNASJSONGetVirtualServerAssociatedWithFS : public HNASJSONBase {
public:
    explicit HNASJSONGetVirtualServerAssociatedWithFS(const unsigned long long& jobId);
    bool parseResponse(std::string& response) override;
    __HNASVirtualServers getVirtualServer();

private:
    __HNASVirtualServers virtualServer;
};
