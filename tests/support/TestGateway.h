#pragma once

// A scripted HTTPS gateway for the library's own tests: listens on 127.0.0.1
// on an ephemeral port with a certificate generated at start, records every
// request and answers from a per-test script.

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hnasmgmt/host/RKLibCurl.h"

namespace hnastest {

struct RecordedRequest {
    std::string method; // "GET", "POST", "PUT", "DELETE"
    std::string path;   // full path, e.g. "/v4/storage/file-devices"
    std::string target; // the request line's target as sent, escapes not decoded
    std::string body;   // request body bytes
    std::multimap<std::string, std::string> headers; // names as sent
    int remotePort = 0;                              // identifies the TCP connection

    // First value of a header (name compared case-insensitively); empty if absent.
    std::string header(const std::string& name) const;
};

struct ScriptedResponse {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0}; // wait before answering
};

class TestGateway {
public:
    // Starts listening at once; the certificate is valid for 127.0.0.1 and localhost.
    TestGateway();
    ~TestGateway();
    TestGateway(const TestGateway&) = delete;
    TestGateway& operator=(const TestGateway&) = delete;

    int port() const;
    std::string host() const { return "127.0.0.1"; }
    // The URL of a resource (relative to "/v4/storage/").
    std::string url(const std::string& resource) const {
        return "https://127.0.0.1:" + std::to_string(port()) + "/v4/storage/" + resource;
    }
    // PEM file of the gateway's self-signed certificate (its own trust anchor).
    const std::string& caFile() const;

    // Answers METHOD PATH (path relative to "/v4/storage/", e.g. "file-devices")
    // with `response` every time, unless a queued answer is waiting.
    void on(const std::string& method, const std::string& resource, ScriptedResponse response);
    // Queues a one-shot answer for METHOD PATH; queued answers go first, in order.
    void enqueue(const std::string& method, const std::string& resource, ScriptedResponse response);
    // Answer for requests that match no script (default: 404 with an error document).
    void setFallback(ScriptedResponse response);
    // Drops every script and recorded request.
    void reset();

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const { return requests().size(); }
    // Number of distinct TCP connections that carried requests.
    size_t connectionCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Standard values for init() against a TestGateway.
struct GatewayLogin {
    std::string user = "admin";
    std::string password = "s3cr3t-Pa55";
    std::string subsystemType = "HNAS";
    std::string managementIP = "192.0.2.10";
};

// Hands the GatewayLogin values and the gateway's address to a REST session
// (HNASRestAPI), in the order init() does.
template <class Session> void configureSession(Session& session, const TestGateway& gateway) {
    const GatewayLogin login;
    session.setUserName(login.user);
    session.setPassword(login.password);
    session.setSubsystemType(login.subsystemType);
    session.setManagementIP(login.managementIP);
    session.setMetroServer(gateway.host());
    session.setMetroServerPort(gateway.port());
}

// Sets the process-wide client options for the life of the object.
class ClientOptions {
public:
    explicit ClientOptions(const RKLibCurlOptions& options) : saved_(RKLibCurl::getOptions()) {
        RKLibCurl::setOptions(options);
    }
    ~ClientOptions() { RKLibCurl::setOptions(saved_); }
    ClientOptions(const ClientOptions&) = delete;
    ClientOptions& operator=(const ClientOptions&) = delete;

private:
    RKLibCurlOptions saved_;
};

// The current options, trusting the gateway's CA file.
inline RKLibCurlOptions trusting(const TestGateway& gateway) {
    RKLibCurlOptions options = RKLibCurl::getOptions();
    options.caFile = gateway.caFile();
    return options;
}

// Points RKLibCurl at the gateway's CA file for the life of the object.
class TrustGateway : public ClientOptions {
public:
    explicit TrustGateway(const TestGateway& gateway) : ClientOptions(trusting(gateway)) {}
};

} // namespace hnastest
