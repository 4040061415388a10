#pragma once

// The REST session: connection parameters of one management gateway, the
// request URL, the credential headers, one request at a time through the
// host's HTTP client, and the judgement of the HTTP status by resource type.

#include <string>

#include "hnasmgmt/Export.h"

class RKLibCurl;

class HNASMGMT_API HNASRestAPI {
public:
    HNASRestAPI();
    explicit HNASRestAPI(const unsigned long long& jobId);
    ~HNASRestAPI();
    HNASRestAPI(const HNASRestAPI&) = delete;
    HNASRestAPI& operator=(const HNASRestAPI&) = delete;

    void setUserName(const std::string& value);
    void setPassword(const std::string& value);
    void setSubsystemType(const std::string& value);
    void setManagementIP(const std::string& value);
    void setMetroServer(const std::string& value);
    void setMetroServerPort(const int& value);

    // True when every parameter is set (and free of control characters) and
    // the port is at least 1; otherwise logs the parameters, password masked.
    bool validateServerParams();
    // Starts a fresh HTTP client, releasing the previous one.
    bool Init();
    // Replaces the client's headers with the four credential headers.
    bool setCommonCurlHeaders();
    // requestURL = "https://" + host + ":" + port + "/v4/storage/" + resource.
    void formRequestURL(std::string resource);
    // Sends one request (type 0 GET, 1 POST, 2 PUT, 3 DELETE); true when the
    // gateway answered with the status that resourceType (1..17) expects.
    bool sendReq(int requestType, const std::string& resource, const std::string& body,
                 std::string& response, const int& resourceType);
    bool get(const std::string& resource, std::string& response, const int& resourceType);
    bool post(const std::string& resource, const std::string& body, std::string& response,
              const int& resourceType);
    bool put(const std::string& resource, const std::string& body, std::string& response,
             const int& resourceType);
    bool del(const std::string& resource, const std::string& body, std::string& response,
             const int& resourceType);
    // HTTP status of the last request that was sent; 0 until then.
    long getLastHttpError() const;
    // URL of the last request formed.
    const std::string& getRequestURL() const;

private:
    unsigned long long jobId;
    RKLibCurl* curlClient;
    std::string userName;
    std::string password;
    std::string subsystemType;
    std::string managementIP;
    std::string metroServer;
    int metroServerPort;
    std::string requestURL;
    long lastHttpError;
};
