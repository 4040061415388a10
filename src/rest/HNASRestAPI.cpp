// The REST session: connection parameters of one management
// gateway, the request URL, the credential headers, one request at a time
// through the host's HTTP client, and the judgement of the HTTP status.
//
// Safety rules on top of the plain protocol:
//  - the password is never logged: the parameter line shows "********" for a
//    non-empty password;
//  - a parameter holding a control character (below 0x20, or 0x7F) is refused
//    by validateServerParams, so that no header can be injected;
//  - a resource holding a control character or a path segment "." or ".." is
//    refused by sendReq before anything is sent.
// No exception leaves the session: the public entry points catch, log and
// return false.

#include "hnasmgmt/rest/HNASRestAPI.h"

#include <boost/shared_ptr.hpp>

#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace {

const char* const kValidateFn = "HNASRestAPI::validateServerParams";
const char* const kInitFn = "HNASRestAPI::Init";
const char* const kHeadersFn = "HNASRestAPI::setCommonCurlHeaders";
const char* const kFormUrlFn = "HNASRestAPI::formRequestURL";
const char* const kSendFn = "HNASRestAPI::sendReq";

// The job identifier of a session built by the default constructor: -123456
// as a 64-bit two's-complement value.
constexpr unsigned long long kDefaultJobId = static_cast<unsigned long long>(-123456LL);

// Room left behind a response body in the caller's string: the JSON reader
// needs this many readable bytes past the text (its SIMD loads run over the
// end) and parses the string where it lies when they are there, instead of
// copying the whole document into a padded buffer of its own.
constexpr size_t kResponsePadding = 64;

// Expected HTTP status of a resource type code; 0 for an unknown code.
long expectedStatus(int resourceType) {
    switch (resourceType) {
    case 1:
    case 2:
    case 3:
    case 9:
    case 10:
    case 13:
    case 14:
    case 15:
        return 200;
    case 4:
    case 5:
    case 6:
    case 16:
        return 201;
    case 7:
    case 8:
    case 11:
    case 12:
    case 17:
        return 204;
    default:
        return 0;
    }
}

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

bool hasControlChar(const std::string& s) {
    for (unsigned char c : s) {
        if (isControl(c))
            return true;
    }
    return false;
}

// A resource is unsafe when it holds a control character or when a segment of
// its path (the part before any query or fragment) is exactly "." or "..":
// the HTTP client would fold such segments and the request would reach
// another resource than the one named.
bool isUnsafeResource(const std::string& resource) {
    if (hasControlChar(resource))
        return true;
    const std::string path = resource.substr(0, resource.find_first_of("?#"));
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const size_t len = end - start;
        if ((len == 1 && path[start] == '.') ||
            (len == 2 && path[start] == '.' && path[start + 1] == '.'))
            return true;
        start = end + 1;
    }
    return false;
}

long long logJob(unsigned long long jobId) {
    return static_cast<long long>(jobId);
}

// Logs an exception caught at a public entry point. Never throws.
void logException(const char* function, unsigned long long jobId, const char* what) noexcept {
    try {
        DbgTrace trace;
        trace.DebugLvl(function, -1, logJob(jobId), "Unexpected exception: %s",
                       what ? what : "unknown");
    } catch (...) {
    }
}

} // namespace

HNASRestAPI::HNASRestAPI()
    : jobId(kDefaultJobId), curlClient(nullptr), metroServerPort(0), lastHttpError(0) {}

HNASRestAPI::HNASRestAPI(const unsigned long long& jobId)
    : jobId(jobId), curlClient(nullptr), metroServerPort(0), lastHttpError(0) {}

HNASRestAPI::~HNASRestAPI() {
    if (!curlClient)
        return;
    try {
        boost::shared_ptr<CLogWriterInterface> writer = g_ptrLogWriter;
        if (writer && writer->GetLevel() > 1) {
            writer->Write(2, "HNASRestAPI::~HNASRestAPI()", 30, logJob(jobId), 0,
                          "Closing the curl session.");
        }
    } catch (...) {
        // Logging never stops the client from being closed.
    }
    try {
        curlClient->RKLibCurlDeInit();
    } catch (...) {
    }
    delete curlClient;
    curlClient = nullptr;
}

void HNASRestAPI::setUserName(const std::string& value) {
    try {
        userName = value;
    } catch (const std::exception& e) {
        logException("HNASRestAPI::setUserName", jobId, e.what());
    } catch (...) {
        logException("HNASRestAPI::setUserName", jobId, nullptr);
    }
}

void HNASRestAPI::setPassword(const std::string& value) {
    try {
        password = value;
    } catch (const std::exception& e) {
        logException("HNASRestAPI::setPassword", jobId, e.what());
    } catch (...) {
        logException("HNASRestAPI::setPassword", jobId, nullptr);
    }
}

void HNASRestAPI::setSubsystemType(const std::string& value) {
    try {
        subsystemType = value;
    } catch (const std::exception& e) {
        logException("HNASRestAPI::setSubsystemType", jobId, e.what());
    } catch (...) {
        logException("HNASRestAPI::setSubsystemType", jobId, nullptr);
    }
}

void HNASRestAPI::setManagementIP(const std::string& value) {
    try {
        managementIP = value;
    } catch (const std::exception& e) {
        logException("HNASRestAPI::setManagementIP", jobId, e.what());
    } catch (...) {
        logException("HNASRestAPI::setManagementIP", jobId, nullptr);
    }
}

void HNASRestAPI::setMetroServer(const std::string& value) {
    try {
        metroServer = value;
    } catch (const std::exception& e) {
        logException("HNASRestAPI::setMetroServer", jobId, e.what());
    } catch (...) {
        logException("HNASRestAPI::setMetroServer", jobId, nullptr);
    }
}

void HNASRestAPI::setMetroServerPort(const int& value) {
    metroServerPort = value;
}

bool HNASRestAPI::validateServerParams() {
    try {
        DbgTrace trace;
        const bool valid = !userName.empty() && !password.empty() && !managementIP.empty() &&
                           !subsystemType.empty() && !metroServer.empty() && metroServerPort >= 1 &&
                           !hasControlChar(userName) && !hasControlChar(password) &&
                           !hasControlChar(subsystemType) && !hasControlChar(managementIP) &&
                           !hasControlChar(metroServer);
        if (valid)
            return true;
        const std::string params = userName + ":" + (password.empty() ? "" : "********") + ":" +
                                   managementIP + ":" + subsystemType + ":" + metroServer + ":" +
                                   std::to_string(metroServerPort);
        trace.DebugLvl(kValidateFn, -1, logJob(jobId),
                       "Set the server params correctly. Params: [%s]", params.c_str());
        return false;
    } catch (const std::exception& e) {
        logException(kValidateFn, jobId, e.what());
    } catch (...) {
        logException(kValidateFn, jobId, nullptr);
    }
    return false;
}

bool HNASRestAPI::Init() {
    try {
        DbgTrace trace;
        if (curlClient) {
            RKLibCurl* old = curlClient;
            curlClient = nullptr;
            old->RKLibCurlDeInit();
            delete old;
        }
        curlClient = new RKLibCurl();
        if (!curlClient->RKLibCurlInit("Content-Type: application/json", true, true, nullptr)) {
            trace.DebugLvl(kInitFn, -1, logJob(jobId), "Failed to initialize curl.");
            return false;
        }
        trace.DebugLvl(kInitFn, 0, logJob(jobId), "Initialized curl library successfully.");
        return true;
    } catch (const std::exception& e) {
        logException(kInitFn, jobId, e.what());
    } catch (...) {
        logException(kInitFn, jobId, nullptr);
    }
    return false;
}

bool HNASRestAPI::setCommonCurlHeaders() {
    try {
        DbgTrace trace;
        if (!curlClient) {
            trace.DebugLvl(kHeadersFn, -1, logJob(jobId), "Curl library not initialized yet.");
            return false;
        }
        curlClient->RKLibCurlFreeHttpHeaderList();
        struct Header {
            const char* name;
            const std::string* value;
            const char* failure;
        };
        const Header headers[] = {
            {"X-Subsystem-User:", &userName, "Failed to set the user name header."},
            {"X-Subsystem-Password:", &password, "Failed to set the password header."},
            {"X-Subsystem-Type:", &subsystemType, "Failed to set sub system type header."},
            {"X-Management-IPs:", &managementIP, "Failed to set the Management IP header."},
        };
        for (const Header& h : headers) {
            const std::string text = h.name + *h.value;
            if (!curlClient->RKLibCurlAppendHeader(static_cast<_http_hdr_type_>(0), text.c_str())) {
                trace.DebugLvl(kHeadersFn, -1, logJob(jobId), "%s", h.failure);
                return false;
            }
        }
        trace.DebugLvl(kHeadersFn, 4, logJob(jobId), "Successfully set the common curl headers.");
        return true;
    } catch (const std::exception& e) {
        logException(kHeadersFn, jobId, e.what());
    } catch (...) {
        logException(kHeadersFn, jobId, nullptr);
    }
    return false;
}

void HNASRestAPI::formRequestURL(std::string resource) {
    try {
        requestURL = "https://" + metroServer + ":" + std::to_string(metroServerPort) +
                     "/v4/storage/" + resource;
    } catch (const std::exception& e) {
        requestURL.clear();
        logException(kFormUrlFn, jobId, e.what());
    } catch (...) {
        requestURL.clear();
        logException(kFormUrlFn, jobId, nullptr);
    }
}

bool HNASRestAPI::sendReq(int requestType, const std::string& resource, const std::string& body,
                          std::string& response, const int& resourceType) {
    try {
        DbgTrace trace;
        const long long job = logJob(jobId);
        response.clear();
        if (resource.empty()) {
            trace.DebugLvl(kSendFn, -1, job, "Empty Resource. Invalid arguement");
            return false;
        }
        const long expected = expectedStatus(resourceType);
        if (expected == 0) {
            trace.DebugLvl(kSendFn, -1, job, "Unknown Resource Type[%s]", resource.c_str());
            return false;
        }
        if (isUnsafeResource(resource)) {
            trace.DebugLvl(kSendFn, -1, job, "Unsafe Resource[%s]. The request was not sent.",
                           resource.c_str());
            return false;
        }
        if (!validateServerParams()) {
            trace.DebugLvl(kSendFn, -1, job,
                           "Incorrect server params. Unable to send the request for Type[%d] "
                           "Resource[%s] Body[%s]",
                           requestType, resource.c_str(), body.c_str());
            return false;
        }
        if (!Init()) {
            trace.DebugLvl(kSendFn, -1, job, "Unable to initialize the curl llibrary.");
            return false;
        }
        formRequestURL(resource);
        if (requestURL.empty())
            return false; // formRequestURL has logged why
        if (!setCommonCurlHeaders()) {
            trace.DebugLvl(kSendFn, -1, job, "Unable to set the required headers.");
            return false;
        }
        if (requestType < 0 || requestType > 3) {
            trace.DebugLvl(kSendFn, -1, job, "Invalid request type.");
            return false;
        }

        const bool sent = curlClient->RKLibCurlSendHttpReq(
            static_cast<_http_req_type_>(requestType), requestURL.c_str(),
            body.empty() ? nullptr : body.data(), static_cast<unsigned long>(body.size()), false,
            nullptr);
        if (!sent) {
            lastHttpError = curlClient->GetHttpErrorCode();
            if (body.empty()) {
                trace.DebugLvl(kSendFn, -1, job,
                               "Error while sending the request OR Error was returned from "
                               "server. URL[%s] Resource[%s]. Http error code [%ld].",
                               requestURL.c_str(), resource.c_str(), lastHttpError);
            } else {
                trace.DebugLvl(kSendFn, -1, job,
                               "Error while sending the request OR Error was returned from "
                               "server. URL[%s] Resource[%s] Body[%s]. Http error code [%ld].",
                               requestURL.c_str(), resource.c_str(), body.c_str(), lastHttpError);
            }
            // Without an answer the status says nothing: name the cause
            // (refused, time-out, certificate, size cap...).
            const std::string reason = lastHttpError == 0 ? curlClient->GetLastErrorText() : "";
            if (!reason.empty()) {
                trace.DebugLvl(kSendFn, -1, job, "No answer from the gateway. Reason [%s]",
                               reason.c_str());
            }
            response.clear();
            return false;
        }

        unsigned long length = 0;
        const char* text = curlClient->GetHttpResponse(length, false);
        lastHttpError = curlClient->GetHttpErrorCode();
        if (length == 0 || text == nullptr) {
            trace.DebugLvl(kSendFn, -1, job,
                           "Empty response received for request. Type[%d] URL[%s] Resource[%s] "
                           "Body[%s]",
                           requestType, requestURL.c_str(), resource.c_str(), body.c_str());
        } else {
            const size_t size = strnlen(text, length);
            if (response.capacity() < size + kResponsePadding)
                response.reserve(size + kResponsePadding);
            response.assign(text, size);
            trace.DebugLvl(kSendFn, 4, job,
                           "Response received for request. Type[%d] URL[%s] Resource[%s] "
                           "Body[%s] Response[%s]",
                           requestType, requestURL.c_str(), resource.c_str(), body.c_str(),
                           response.c_str());
        }

        if (lastHttpError == expected)
            return true;
        trace.DebugLvl(kSendFn, -1, job,
                       "The HTTP request for Resource[%s] failed. URL[%s] Body[%s] "
                       "ResponseCode[%ld]",
                       resource.c_str(), requestURL.c_str(), body.c_str(), lastHttpError);
        return false;
    } catch (const std::exception& e) {
        logException(kSendFn, jobId, e.what());
    } catch (...) {
        logException(kSendFn, jobId, nullptr);
    }
    return false;
}

bool HNASRestAPI::get(const std::string& resource, std::string& response, const int& resourceType) {
    return sendReq(0, resource, std::string(), response, resourceType);
}

bool HNASRestAPI::post(const std::string& resource, const std::string& body, std::string& response,
                       const int& resourceType) {
    return sendReq(1, resource, body, response, resourceType);
}

bool HNASRestAPI::put(const std::string& resource, const std::string& body, std::string& response,
                      const int& resourceType) {
    return sendReq(2, resource, body, response, resourceType);
}

bool HNASRestAPI::del(const std::string& resource, const std::string& body, std::string& response,
                      const int& resourceType) {
    return sendReq(3, resource, body, response, resourceType);
}

long HNASRestAPI::getLastHttpError() const {
    return lastHttpError;
}

const std::string& HNASRestAPI::getRequestURL() const {
    return requestURL;
}

void HNASRestAPI::forEachGet(const std::vector<std::string>& resources, const int& resourceType,
                             unsigned inFlight, const std::function<void(std::size_t)>& visit) {
    // The GETs go ahead only where sendReq would send them, with the URL and
    // the headers it would give them; whatever cannot go ahead (refused, no
    // memory) is left to the visit's own request.
    std::unique_ptr<RKLibCurl> client;
    std::vector<std::string> urls;
    std::string lastURL;
    lastURL.swap(requestURL); // the URL of the last request sent stays the one shown
    if (inFlight > 1 && resources.size() > 1) {
        try {
            const bool sendable = expectedStatus(resourceType) != 0 && validateServerParams();
            client.reset(new RKLibCurl());
            if (sendable &&
                client->RKLibCurlInit("Content-Type: application/json", true, true, nullptr)) {
                const std::string* values[] = {&userName, &password, &subsystemType, &managementIP};
                const char* names[] = {"X-Subsystem-User:", "X-Subsystem-Password:",
                                       "X-Subsystem-Type:", "X-Management-IPs:"};
                bool headers = true;
                for (int h = 0; h < 4 && headers; ++h)
                    headers = client->RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM,
                                                            (names[h] + *values[h]).c_str());
                urls.reserve(resources.size());
                for (const std::string& resource : resources) {
                    const bool safe = !resource.empty() && !isUnsafeResource(resource);
                    if (safe && headers)
                        formRequestURL(resource);
                    urls.push_back(safe && headers ? requestURL : std::string());
                }
            }
        } catch (...) {
            urls.clear(); // no memory: every visit sends its own request
        }
    }
    requestURL.swap(lastURL);
    if (urls.size() == resources.size() && client) {
        client->RKLibCurlSendHttpGets(urls, inFlight, visit);
        return;
    }
    for (std::size_t i = 0; i < resources.size(); ++i)
        visit(i);
}
