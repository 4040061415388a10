#pragma once

/// @file
/// The REST session HNASRestAPI.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hnasmgmt/Export.h"

class RKLibCurl;
class RKLibCurlGets;
struct RKLibCurlResult;

/// The REST session: connection parameters of one management gateway, the
/// request URL, the credential headers, one request at a time through the
/// host's HTTP client, and the judgement of the HTTP status by resource type.
///
/// Each request starts a fresh RKLibCurl client (releasing the previous one)
/// and is sent to "https://" + host + ":" + port + "/v4/storage/" + resource
/// with the headers "Content-Type: application/json", "X-Subsystem-User",
/// "X-Subsystem-Password", "X-Subsystem-Type" and "X-Management-IPs". The
/// parameters are checked again before every request, so a session with a
/// missing value fails every request without touching the network. No
/// exception leaves the session.
///
/// Resource type codes and the HTTP status each expects:
/// | Code | Status | Request |
/// |---|---|---|
/// | 1 | 200 | GET "file-devices" |
/// | 2 | 200 | GET "virtual-servers" |
/// | 3 | 200 | GET a share listing |
/// | 4 | 201 | POST a snapshot |
/// | 5, 6 | 201 | POST a CIFS, an NFS share |
/// | 7, 8 | 204 | DELETE a CIFS, an NFS share |
/// | 9 | 200 | GET a file system listing |
/// | 10 | 200 | GET a snapshot listing |
/// | 11 | 204 | DELETE a snapshot |
/// | 12 | 204 | POST a snapshot recovery |
/// | 13 | 200 | GET a directory listing |
/// | 14 | 200 | GET the virtual server of a file system |
/// | 15 | 200 | GET the permission entries of a CIFS share |
/// | 16 | 201 | POST permission entries |
/// | 17 | 204 | DELETE a permission entry |
class HNASMGMT_API HNASRestAPI {
public:
    /// A session without parameters, tagged with a fixed job identifier.
    HNASRestAPI();
    /// A session without parameters.
    /// @param jobId the job identifier carried by every log line.
    explicit HNASRestAPI(const unsigned long long& jobId);
    /// Closes the HTTP client of the last request, if any.
    ~HNASRestAPI();
    /// Not copyable: the session owns its HTTP client.
    HNASRestAPI(const HNASRestAPI&) = delete;
    /// Not assignable: the session owns its HTTP client.
    HNASRestAPI& operator=(const HNASRestAPI&) = delete;

    /// Sets the user name, sent as "X-Subsystem-User". @param value the user name.
    void setUserName(const std::string& value);
    /// Sets the password, sent as "X-Subsystem-Password"; never logged.
    /// @param value the password.
    void setPassword(const std::string& value);
    /// Sets the subsystem type, sent as "X-Subsystem-Type". @param value the type.
    void setSubsystemType(const std::string& value);
    /// Sets the array's management IP, sent as "X-Management-IPs".
    /// @param value the address.
    void setManagementIP(const std::string& value);
    /// Sets the gateway's host name or address. @param value the host.
    void setMetroServer(const std::string& value);
    /// Sets the gateway's TCP port. @param value the port (1 or more).
    void setMetroServerPort(const int& value);
    /// True when every parameter is set and free of control characters, the
    /// gateway host is a DNS name (underscores and internationalised labels
    /// accepted), an IPv4 literal in dotted-quad form or an IPv6 literal
    /// (bare or in brackets; a host whose last label is all digits or that
    /// begins with "0x" must be a dotted quad),
    /// the user name and the password neither begin nor end with a blank, and
    /// the port is at least 1; otherwise logs the parameters, password masked
    /// (and, for a blank at either end, a line saying so).
    bool validateServerParams();
    /// Starts a fresh HTTP client, releasing the previous one.
    /// @return true when the new client is ready.
    bool Init();
    /// Replaces the client's headers with the four credential headers.
    /// @return false when there is no client or a header cannot be added.
    bool setCommonCurlHeaders();
    /// Forms the request URL: "https://" + host + ":" + port + "/v4/storage/"
    /// + resource, with nothing escaped; a bare IPv6 host goes in brackets.
    /// @param resource the resource path, without a leading slash.
    void formRequestURL(std::string resource);
    /// Sends one request and judges its status.
    /// @param requestType 0 GET, 1 POST, 2 PUT, 3 DELETE.
    /// @param resource the resource path below "/v4/storage/", e.g.
    ///        "file-devices"; must not be empty, hold a control character,
    ///        '?', '#', '\\', ';', a blank, a "." or ".." segment, a '%' that
    ///        starts no escape or an escape of one of those, '.' or '/';
    ///        other escapes are sent as given.
    /// @param body the request body; empty for none.
    /// @param[out] response emptied first; the response body of an answer
    ///             with a status below 400, also when that status was not the
    ///             expected one. Empty when nothing was sent or the gateway
    ///             answered with 400 or above: then the gateway's error
    ///             document, when there is one, is explained in a log line
    ///             ("The gateway refused the request: [status] Code[...]
    ///             Message[...]") and not handed back.
    /// @param resourceType the resource type code (1 to 17) that decides which
    ///        HTTP status counts as success.
    /// @return true when the gateway answered with the status that
    ///         `resourceType` expects; false when the request was refused, not
    ///         sent, not answered or answered with another status.
    bool sendReq(int requestType, const std::string& resource, const std::string& body,
                 std::string& response, const int& resourceType);
    /// Sends a GET request; see sendReq().
    /// @param resource the resource path.
    /// @param[out] response the response body.
    /// @param resourceType the resource type code.
    /// @return true when the expected status came back.
    bool get(const std::string& resource, std::string& response, const int& resourceType);
    /// Sends a POST request; see sendReq().
    /// @param resource the resource path.
    /// @param body the request body.
    /// @param[out] response the response body.
    /// @param resourceType the resource type code.
    /// @return true when the expected status came back.
    bool post(const std::string& resource, const std::string& body, std::string& response,
              const int& resourceType);
    /// Sends a PUT request; see sendReq().
    /// @param resource the resource path.
    /// @param body the request body.
    /// @param[out] response the response body.
    /// @param resourceType the resource type code.
    /// @return true when the expected status came back.
    bool put(const std::string& resource, const std::string& body, std::string& response,
             const int& resourceType);
    /// Sends a DELETE request; see sendReq().
    /// @param resource the resource path.
    /// @param body the request body (the facade sends none).
    /// @param[out] response the response body.
    /// @param resourceType the resource type code.
    /// @return true when the expected status came back.
    bool del(const std::string& resource, const std::string& body, std::string& response,
             const int& resourceType);
    /// sendReq() with its exchange made explicit. On entry, `exchange` may
    /// hold the answer to this very request fetched ahead (a GET taken from
    /// the batch of sendGetsAhead(), its `url` set): then nothing is sent, and
    /// that answer is logged and judged exactly as if the request had just
    /// been sent (an answer fetched for another URL is not used). On return
    /// it holds what came of the request: its status, the kind of failure
    /// and its reason (error RKLibCurlError::NotSent when the request was
    /// refused before anything was sent); the body is in `response`.
    /// @param requestType 0 GET, 1 POST, 2 PUT, 3 DELETE.
    /// @param resource the resource path.
    /// @param body the request body.
    /// @param[out] response the response body.
    /// @param resourceType the resource type code.
    /// @param[in,out] exchange an answer fetched ahead, or a default value;
    ///                what came of the request.
    /// @return what sendReq() returns.
    bool sendReq(int requestType, const std::string& resource, const std::string& body,
                 std::string& response, const int& resourceType, RKLibCurlResult& exchange);
    /// Starts sending GETs of `resources` ahead, up to `inFlight` at once
    /// (RKLibCurl::RKLibCurlStartGets), with the URL and the headers sendReq()
    /// would give them. A resource that sendReq() would refuse (empty, unsafe,
    /// an unknown `resourceType`, invalid parameters) is not sent ahead: its
    /// take() returns false, and its own request is refused as usual. Logs
    /// nothing of its own but the parameter line of validateServerParams()
    /// when the parameters are invalid.
    /// @param resources the resource paths, as get() takes them.
    /// @param resourceType the resource type code of these GETs.
    /// @param inFlight the most GETs on the network at once (2 to 64).
    /// @return the batch; null when nothing goes ahead (then every GET is
    ///         sent by its own request).
    std::unique_ptr<RKLibCurlGets> sendGetsAhead(const std::vector<std::string>& resources,
                                                 const int& resourceType, unsigned inFlight);
    /// Kept for callers built against earlier releases: calls `visit(i)` for
    /// each index of `resources` in order; each visit sends its own requests.
    /// Use sendGetsAhead() to send GETs ahead.
    /// @param resources the resource paths.
    /// @param resourceType unused.
    /// @param inFlight unused.
    /// @param visit called with each index of `resources`, in order.
    void forEachGet(const std::vector<std::string>& resources, const int& resourceType,
                    unsigned inFlight, const std::function<void(std::size_t)>& visit);
    /// HTTP status of the last request that was sent; 0 until then, and 0
    /// when the last request received no answer.
    long getLastHttpError() const;
    /// URL of the last request formed.
    const std::string& getRequestURL() const;

private:
    unsigned long long jobId;
    std::unique_ptr<RKLibCurl> curlClient;
    std::string userName;
    std::string password;
    std::string subsystemType;
    std::string managementIP;
    std::string metroServer;
    int metroServerPort;
    std::string requestURL;
    long lastHttpError;
};
