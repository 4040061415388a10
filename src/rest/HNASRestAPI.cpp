// The REST session: connection parameters of one management
// gateway, the request URL, the credential headers, one request at a time
// through the host's HTTP client, and the judgement of the HTTP status.
//
// Safety rules on top of the plain protocol:
//  - the password is never logged: the parameter line shows "********" for a
//    non-empty password; the session's copies of it are wiped when replaced
//    or released;
//  - validateServerParams refuses a parameter holding a control character
//    (below 0x20, or 0x7F), so that no header can be injected; a gateway host
//    that is not a DNS name, an IPv4 or an IPv6 literal, so that the URL
//    reaches the host named; and a user name or password with a leading or
//    trailing blank, which a header line would lose;
//  - a resource that would make the request reach another resource than the
//    one named is refused by sendReq before anything is sent
//    (isUnsafeResource, rest/ResourceCheck.h);
//  - no log line carries more than 64 KiB of a body or a value.
// No exception leaves the session: the public entry points catch, log and
// return false.

#include "hnasmgmt/rest/HNASRestAPI.h"

#include <openssl/crypto.h>

#include <boost/shared_ptr.hpp>

#include <array>
#include <memory>
#include <string>
#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "rest/GatewayError.h"
#include "rest/Operations.h"
#include "rest/ResourceCheck.h"
#include "rest/ServerParams.h"
#include "text/LogText.h"
#include "text/NoThrow.h"

using hnasmgmt::clipForLog;
using hnasmgmt::expectedStatus;
using hnasmgmt::isUnsafeResource;

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

// The lowest status of a refusal by the gateway.
constexpr long kFirstFailureStatus = 400;

// The credential headers, in the order sent, and the line of a failure to add one.
struct CredentialHeader {
    const char* name;
    const char* failure;
};
const CredentialHeader kCredentialHeaders[] = {
    {"X-Subsystem-User:", "Failed to set the user name header."},
    {"X-Subsystem-Password:", "Failed to set the password header."},
    {"X-Subsystem-Type:", "Failed to set sub system type header."},
    {"X-Management-IPs:", "Failed to set the Management IP header."},
};

long long logJob(unsigned long long jobId) {
    return static_cast<long long>(jobId);
}

// Overwrites a secret before its memory is released or reused.
void wipe(std::string& secret) noexcept {
    if (!secret.empty())
        OPENSSL_cleanse(&secret[0], secret.size());
    secret.clear();
}

// Appends the credential headers with these values (user, password, subsystem
// type, management IPs) to `client`; the index of the one that could not be
// added, or -1.
int appendCredentialHeaders(RKLibCurl& client, const std::array<const std::string*, 4>& values) {
    for (int h = 0; h < 4; ++h) {
        std::string text = kCredentialHeaders[h].name + *values[h];
        const bool added = client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, text.c_str());
        wipe(text); // the password header's text must not outlive the call
        if (!added)
            return h;
    }
    return -1;
}

// Runs the work of a public entry point: an exception is logged, not thrown,
// and the entry point fails ("Unexpected exception: what").
template <typename Work>
bool runNoThrow(const char* function, unsigned long long jobId, Work&& work) noexcept {
    return hnasmgmt::runNoThrow(hnasmgmt::kSessionFailure, function, jobId,
                                std::forward<Work>(work));
}

// A setter's assignment, run so.
template <typename Assign>
void assignNoThrow(const char* function, unsigned long long jobId, Assign&& assign) noexcept {
    runNoThrow(function, jobId, [&] {
        assign();
        return true;
    });
}

// One request, for its log lines: each line bounds the values it shows, and
// only when it is written.
struct Request {
    int type;
    const std::string& resource;
    const std::string& body;
    const std::string& url;
    long long job;
};

// The outcome of one exchange: whether an answer came with a status below
// 400, its status and the body taken from the client.
struct Exchange {
    bool answered = false;
    long status = 0;
    std::string body;
};

// The body of an exchange, cut at its first NUL byte, with the JSON reader's
// padding reserved behind it (the client reserves it as the body arrives, so
// this seldom copies).
void takeBody(std::string& body, std::string& out) {
    out.swap(body);
    body.clear();
    const size_t nul = out.find('\0');
    if (nul != std::string::npos)
        out.resize(nul);
    if (out.capacity() - out.size() < kResponsePadding)
        out.reserve(out.size() + kResponsePadding);
}

// The lines of a request that got no answer with a status below 400: the
// send error, the reason when no answer came at all, and the gateway's own
// explanation when it refused the request with an error document.
void logSendFailure(const Request& r, const Exchange& x, const std::string& reason) {
    if (!hnasmgmt::logOn(-1))
        return;
    DbgTrace trace;
    if (r.body.empty()) {
        trace.DebugLvl(kSendFn, -1, r.job,
                       "Error while sending the request OR Error was returned from "
                       "server. URL[%s] Resource[%s]. Http error code [%ld].",
                       clipForLog(r.url).c_str(), clipForLog(r.resource).c_str(), x.status);
    } else {
        trace.DebugLvl(kSendFn, -1, r.job,
                       "Error while sending the request OR Error was returned from "
                       "server. URL[%s] Resource[%s] Body[%s]. Http error code [%ld].",
                       clipForLog(r.url).c_str(), clipForLog(r.resource).c_str(),
                       clipForLog(r.body).c_str(), x.status);
    }
    // Without an answer the status says nothing: name the cause (refused,
    // time-out, certificate, size cap...).
    if (x.status == 0 && !reason.empty()) {
        trace.DebugLvl(kSendFn, -1, r.job, "No answer from the gateway. Reason [%s]",
                       clipForLog(reason).c_str());
    }
    std::string explanation;
    if (x.status >= kFirstFailureStatus && hnasmgmt::describeGatewayError(x.body, explanation)) {
        trace.DebugLvl(kSendFn, -1, r.job, "The gateway refused the request: [%ld] %s", x.status,
                       explanation.c_str());
    }
}

// Sends the request on the client, or hands it the answer fetched ahead for
// this very GET, and takes what came back; `result` ends as the exchange's
// outcome without its body.
Exchange exchange(RKLibCurl& client, const Request& r, const std::string& url,
                  const std::string& body, RKLibCurlResult& result) {
    const bool fetched = r.type == HTTP_REQ_TYPE_GET && !result.url.empty() && result.url == url;
    if (fetched) {
        result = client.RKLibCurlAdopt(std::move(result));
    } else {
        result = client.RKLibCurlExchange(static_cast<_http_req_type_>(r.type), url.c_str(),
                                          body.empty() ? nullptr : body.data(),
                                          static_cast<unsigned long>(body.size()));
    }
    Exchange x;
    x.answered = result.ok();
    x.status = result.status;
    takeBody(result.body, x.body);
    if (!x.answered) {
        logSendFailure(r, x, result.reason);
        x.body.clear();
    }
    return x;
}

// The lines of an answer: its body at level 4, or the empty-response line.
void logAnswer(const Request& r, const std::string& response) {
    DbgTrace trace;
    if (response.empty()) {
        if (hnasmgmt::logOn(-1))
            trace.DebugLvl(kSendFn, -1, r.job,
                           "Empty response received for request. Type[%d] URL[%s] Resource[%s] "
                           "Body[%s]",
                           r.type, clipForLog(r.url).c_str(), clipForLog(r.resource).c_str(),
                           clipForLog(r.body).c_str());
        return;
    }
    if (!hnasmgmt::logOn(4))
        return;
    trace.DebugLvl(kSendFn, 4, r.job,
                   "Response received for request. Type[%d] URL[%s] Resource[%s] "
                   "Body[%s] Response[%s]",
                   r.type, clipForLog(r.url).c_str(), clipForLog(r.resource).c_str(),
                   clipForLog(r.body).c_str(), hnasmgmt::gatewayTextForLog(response).c_str());
}

// Steps 2 to 4 of a request: an empty resource, an unknown resource type, an
// unsafe resource or invalid parameters refuse it before a client starts.
bool acceptRequest(HNASRestAPI& session, long long job, const std::string& resource, long expected,
                   int requestType, const std::string& body) {
    DbgTrace trace;
    if (resource.empty()) {
        trace.DebugLvl(kSendFn, -1, job, "Empty Resource. Invalid arguement");
        return false;
    }
    if (expected == 0) {
        trace.DebugLvl(kSendFn, -1, job, "Unknown Resource Type[%s]", clipForLog(resource).c_str());
        return false;
    }
    if (isUnsafeResource(resource)) {
        trace.DebugLvl(kSendFn, -1, job, "Unsafe Resource[%s]. The request was not sent.",
                       clipForLog(resource).c_str());
        return false;
    }
    if (!session.validateServerParams()) {
        trace.DebugLvl(kSendFn, -1, job,
                       "Incorrect server params. Unable to send the request for Type[%d] "
                       "Resource[%s] Body[%s]",
                       requestType, clipForLog(resource).c_str(), clipForLog(body).c_str());
        return false;
    }
    return true;
}

// Steps 5 to 8: a fresh client, the URL, the headers and the request type.
bool prepareClient(HNASRestAPI& session, long long job, const std::string& resource,
                   int requestType) {
    DbgTrace trace;
    if (!session.Init()) {
        trace.DebugLvl(kSendFn, -1, job, "Unable to initialize the curl llibrary.");
        return false;
    }
    session.formRequestURL(resource);
    if (session.getRequestURL().empty())
        return false; // formRequestURL has logged why
    if (!session.setCommonCurlHeaders()) {
        trace.DebugLvl(kSendFn, -1, job, "Unable to set the required headers.");
        return false;
    }
    if (requestType < 0 || requestType > 3) {
        trace.DebugLvl(kSendFn, -1, job, "Invalid request type.");
        return false;
    }
    return true;
}

} // namespace

HNASRestAPI::HNASRestAPI() : jobId(kDefaultJobId), metroServerPort(0), lastHttpError(0) {}

HNASRestAPI::HNASRestAPI(const unsigned long long& jobId)
    : jobId(jobId), metroServerPort(0), lastHttpError(0) {}

HNASRestAPI::~HNASRestAPI() {
    wipe(password);
    if (!curlClient)
        return;
    try {
        boost::shared_ptr<CLogWriterInterface> writer = GetLogWriter();
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
}

void HNASRestAPI::setUserName(const std::string& value) {
    assignNoThrow("HNASRestAPI::setUserName", jobId, [&] { userName = value; });
}

void HNASRestAPI::setPassword(const std::string& value) {
    assignNoThrow("HNASRestAPI::setPassword", jobId, [&] {
        wipe(password);
        password = value;
    });
}

void HNASRestAPI::setSubsystemType(const std::string& value) {
    assignNoThrow("HNASRestAPI::setSubsystemType", jobId, [&] { subsystemType = value; });
}

void HNASRestAPI::setManagementIP(const std::string& value) {
    assignNoThrow("HNASRestAPI::setManagementIP", jobId, [&] { managementIP = value; });
}

void HNASRestAPI::setMetroServer(const std::string& value) {
    assignNoThrow("HNASRestAPI::setMetroServer", jobId, [&] { metroServer = value; });
}

void HNASRestAPI::setMetroServerPort(const int& value) {
    metroServerPort = value;
}

bool HNASRestAPI::validateServerParams() {
    using hnasmgmt::hasControlChar;
    using hnasmgmt::hasOuterBlank;
    return runNoThrow(kValidateFn, jobId, [&] {
        DbgTrace trace;
        const bool blankEdge = hasOuterBlank(userName) || hasOuterBlank(password);
        const bool valid = !userName.empty() && !password.empty() && !managementIP.empty() &&
                           !subsystemType.empty() && !metroServer.empty() && metroServerPort >= 1 &&
                           !hasControlChar(userName) && !hasControlChar(password) &&
                           !hasControlChar(subsystemType) && !hasControlChar(managementIP) &&
                           hnasmgmt::isGatewayHost(metroServer) && !blankEdge;
        if (valid)
            return true;
        const std::string params = userName + ":" + (password.empty() ? "" : "********") + ":" +
                                   managementIP + ":" + subsystemType + ":" + metroServer + ":" +
                                   std::to_string(metroServerPort);
        trace.DebugLvl(kValidateFn, -1, logJob(jobId),
                       "Set the server params correctly. Params: [%s]", clipForLog(params).c_str());
        if (blankEdge) {
            trace.DebugLvl(kValidateFn, -1, logJob(jobId),
                           "The user name or the password begins or ends with a blank, which "
                           "the request header would not carry.");
        }
        return false;
    });
}

bool HNASRestAPI::Init() {
    return runNoThrow(kInitFn, jobId, [&] {
        DbgTrace trace;
        if (curlClient) {
            std::unique_ptr<RKLibCurl> old = std::move(curlClient);
            old->RKLibCurlDeInit();
        }
        curlClient.reset(new RKLibCurl());
        curlClient->SetJobId(logJob(jobId)); // the client's retry lines carry the job
        if (!curlClient->RKLibCurlInit("Content-Type: application/json", true, true, nullptr)) {
            trace.DebugLvl(kInitFn, -1, logJob(jobId), "Failed to initialize curl.");
            return false;
        }
        trace.DebugLvl(kInitFn, 0, logJob(jobId), "Initialized curl library successfully.");
        return true;
    });
}

bool HNASRestAPI::setCommonCurlHeaders() {
    return runNoThrow(kHeadersFn, jobId, [&] {
        DbgTrace trace;
        if (!curlClient) {
            trace.DebugLvl(kHeadersFn, -1, logJob(jobId), "Curl library not initialized yet.");
            return false;
        }
        curlClient->RKLibCurlFreeHttpHeaderList();
        const int failed = appendCredentialHeaders(
            *curlClient, {&userName, &password, &subsystemType, &managementIP});
        if (failed >= 0) {
            trace.DebugLvl(kHeadersFn, -1, logJob(jobId), "%s", kCredentialHeaders[failed].failure);
            return false;
        }
        trace.DebugLvl(kHeadersFn, 4, logJob(jobId), "Successfully set the common curl headers.");
        return true;
    });
}

void HNASRestAPI::formRequestURL(std::string resource) {
    const bool formed = runNoThrow(kFormUrlFn, jobId, [&] {
        requestURL = "https://" + hnasmgmt::urlHost(metroServer) + ":" +
                     std::to_string(metroServerPort) + "/v4/storage/" + resource;
        return true;
    });
    if (!formed)
        requestURL.clear();
}

bool HNASRestAPI::sendReq(int requestType, const std::string& resource, const std::string& body,
                          std::string& response, const int& resourceType) {
    RKLibCurlResult exchange;
    return sendReq(requestType, resource, body, response, resourceType, exchange);
}

bool HNASRestAPI::sendReq(int requestType, const std::string& resource, const std::string& body,
                          std::string& response, const int& resourceType,
                          RKLibCurlResult& outcome) {
    RKLibCurlResult fetched = std::move(outcome);
    outcome = RKLibCurlResult();
    return runNoThrow(kSendFn, jobId, [&] {
        outcome.reason = "the request was not sent";
        response.clear();
        const long expected = expectedStatus(resourceType);
        const long long job = logJob(jobId);
        if (!acceptRequest(*this, job, resource, expected, requestType, body) ||
            !prepareClient(*this, job, resource, requestType))
            return false;

        const Request request{requestType, resource, body, requestURL, job};
        Exchange answer = exchange(*curlClient, request, requestURL, body, fetched);
        outcome = std::move(fetched);
        lastHttpError = answer.status;
        if (!answer.answered)
            return false;
        response.swap(answer.body);
        logAnswer(request, response);
        if (lastHttpError == expected)
            return true;
        if (hnasmgmt::logOn(-1)) {
            DbgTrace trace;
            trace.DebugLvl(kSendFn, -1, request.job,
                           "The HTTP request for Resource[%s] failed. URL[%s] Body[%s] "
                           "ResponseCode[%ld]",
                           clipForLog(resource).c_str(), clipForLog(requestURL).c_str(),
                           clipForLog(body).c_str(), lastHttpError);
        }
        if (outcome.reason.empty())
            outcome.reason = "HTTP status " + std::to_string(lastHttpError) + " (" +
                             std::to_string(expected) + " expected)";
        return false;
    });
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

std::unique_ptr<RKLibCurlGets> HNASRestAPI::sendGetsAhead(const std::vector<std::string>& resources,
                                                          const int& resourceType,
                                                          unsigned inFlight) {
    // The GETs go ahead only where sendReq would send them, with the URL and
    // the headers it would give them; whatever cannot go ahead (refused, no
    // memory) is left to its own request.
    std::unique_ptr<RKLibCurlGets> batch;
    if (inFlight <= 1 || resources.size() <= 1)
        return batch;
    std::string lastURL;
    lastURL.swap(requestURL); // the URL of the last request sent stays the one shown
    try {
        RKLibCurl client;
        const bool sendable =
            expectedStatus(resourceType) != 0 && validateServerParams() &&
            client.RKLibCurlInit("Content-Type: application/json", true, true, nullptr) &&
            appendCredentialHeaders(client, {&userName, &password, &subsystemType, &managementIP}) <
                0;
        if (sendable) {
            client.SetJobId(logJob(jobId));
            std::vector<std::string> urls;
            urls.reserve(resources.size());
            for (const std::string& resource : resources) {
                const bool safe = !resource.empty() && !isUnsafeResource(resource);
                if (safe)
                    formRequestURL(resource);
                urls.push_back(safe ? requestURL : std::string());
            }
            batch = client.RKLibCurlStartGets(urls, inFlight);
        }
        client.RKLibCurlDeInit();
    } catch (...) {
        batch.reset(); // no memory: every GET is sent by its own request
    }
    requestURL.swap(lastURL);
    return batch;
}

void HNASRestAPI::forEachGet(const std::vector<std::string>& resources, const int& /*resourceType*/,
                             unsigned /*inFlight*/, const std::function<void(std::size_t)>& visit) {
    for (std::size_t i = 0; i < resources.size(); ++i)
        visit(i);
}
