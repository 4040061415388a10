// The REST session and its safety rules
// against the scripted test gateway, through the real libcurl client.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RawTlsServer.h"
#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

using hnastest::CaptureLog;
using hnastest::GatewayLogin;
using hnastest::RawTlsServer;
using hnastest::RecordedRequest;
using hnastest::ScriptedResponse;
using hnastest::TestGateway;
using hnastest::TrustGateway;

namespace {

constexpr unsigned long long kJobId = 4711;
const char* const kSend = "HNASRestAPI::sendReq";
const char* const kValidate = "HNASRestAPI::validateServerParams";
const char* const kInit = "HNASRestAPI::Init";
const char* const kHeaders = "HNASRestAPI::setCommonCurlHeaders";
const char* const kDtor = "HNASRestAPI::~HNASRestAPI()";

struct Code {
    int code;
    long status;
};
// Resource type code -> expected status.
const Code kCodes[] = {{1, 200},  {2, 200},  {3, 200},  {4, 201},  {5, 201},  {6, 201},
                       {7, 204},  {8, 204},  {9, 200},  {10, 200}, {11, 204}, {12, 204},
                       {13, 200}, {14, 200}, {15, 200}, {16, 201}, {17, 204}};

void configure(HNASRestAPI& api, const TestGateway& gw) {
    GatewayLogin login;
    api.setUserName(login.user);
    api.setPassword(login.password);
    api.setSubsystemType(login.subsystemType);
    api.setManagementIP(login.managementIP);
    api.setMetroServer(gw.host());
    api.setMetroServerPort(gw.port());
}

class RestTest : public ::testing::Test {
protected:
    void SetUp() override { configure(api, gateway); }

    void TearDown() override {
        // Neither the password nor the password header ever reaches the log.
        for (const auto& r : log->records()) {
            EXPECT_EQ(r.text.find(GatewayLogin().password), std::string::npos) << r.text;
            EXPECT_EQ(r.text.find("X-Subsystem-Password"), std::string::npos) << r.text;
        }
    }

    std::string url(const std::string& resource, int port = 0) const {
        return "https://127.0.0.1:" + std::to_string(port ? port : gateway.port()) +
               "/v4/storage/" + resource;
    }
    // True when a record has exactly this function, level, job identifier and text.
    bool logged(const std::string& function, int level, const std::string& text,
                long long job = static_cast<long long>(kJobId)) {
        for (const auto& r : log->records()) {
            if (r.function == function && r.level == level && r.text == text && r.jobId == job)
                return true;
        }
        return false;
    }
    size_t countFunction(const std::string& function) {
        size_t n = 0;
        for (const auto& r : log->records())
            n += r.function == function;
        return n;
    }
    std::string dump() {
        std::string out = "log:\n";
        for (const auto& r : log->records())
            out += "  " + std::to_string(r.level) + " " + r.function + " [" +
                   std::to_string(r.jobId) + "] " + r.text + "\n";
        return out;
    }
    std::string paramsLine(const std::string& params) {
        return "Set the server params correctly. Params: [" + params + "]";
    }
    std::string incorrectLine(int type, const std::string& resource, const std::string& body) {
        return "Incorrect server params. Unable to send the request for Type[" +
               std::to_string(type) + "] Resource[" + resource + "] Body[" + body + "]";
    }

    TestGateway gateway;
    TrustGateway trust{gateway};
    CaptureLog log;
    HNASRestAPI api{kJobId};
};

// ---------------------------------------------------------------- happy path

TEST_F(RestTest, GetFormsTheUrlSendsTheHeadersAndReturnsTheBody) {
    gateway.on("GET", "file-devices", {200, R"({"fileDevice":{}})"});
    std::string response = "stale";
    ASSERT_TRUE(api.get("file-devices", response, 1)) << dump();
    EXPECT_EQ(response, R"({"fileDevice":{}})");
    EXPECT_EQ(api.getLastHttpError(), 200);
    EXPECT_EQ(api.getRequestURL(), url("file-devices"));
    ASSERT_EQ(gateway.requestCount(), 1u);
    const RecordedRequest req = gateway.requests()[0];
    EXPECT_EQ(req.method, "GET");
    EXPECT_EQ(req.path, "/v4/storage/file-devices");
    EXPECT_EQ(req.body, "");
    EXPECT_EQ(req.header("Content-Type"), "application/json");
    EXPECT_EQ(req.header("X-Subsystem-User"), "admin");
    EXPECT_EQ(req.header("X-Subsystem-Password"), "s3cr3t-Pa55");
    EXPECT_EQ(req.header("X-Subsystem-Type"), "HNAS");
    EXPECT_EQ(req.header("X-Management-IPs"), "192.0.2.10");

    EXPECT_TRUE(logged(kInit, 0, "Initialized curl library successfully.")) << dump();
    EXPECT_TRUE(logged(kHeaders, 4, "Successfully set the common curl headers.")) << dump();
    EXPECT_TRUE(logged(kSend, 4,
                       "Response received for request. Type[0] URL[" + url("file-devices") +
                           "] Resource[file-devices] Body[] Response[{\"fileDevice\":{}}]"))
        << dump();
    // A successful exchange writes nothing at level -1.
    for (const auto& r : log->records())
        EXPECT_NE(r.level, -1) << dump();
}

TEST_F(RestTest, TheFiveHeadersGoOutByteForByte) {
    const std::filesystem::path dir = std::filesystem::path(gateway.caFile()).parent_path();
    RawTlsServer raw(gateway.caFile(), (dir / "key.pem").string());
    api.setMetroServerPort(raw.port());
    std::string response;
    ASSERT_TRUE(api.post("filesystem-snapshots", R"({"a":"b"})", response, 16) == false);
    // 200 is not 201: false, but the body is kept.
    EXPECT_EQ(response, "{}");
    EXPECT_EQ(api.getLastHttpError(), 200);
    ASSERT_EQ(raw.heads().size(), 1u);
    const std::string head = raw.heads()[0];
    EXPECT_EQ(head.rfind("POST /v4/storage/filesystem-snapshots HTTP/1.1\r\n", 0), 0u) << head;
    for (const char* line :
         {"\r\nContent-Type: application/json\r\n", "\r\nX-Subsystem-User:admin\r\n",
          "\r\nX-Subsystem-Password:s3cr3t-Pa55\r\n", "\r\nX-Subsystem-Type:HNAS\r\n",
          "\r\nX-Management-IPs:192.0.2.10\r\n", "\r\nContent-Length: 9\r\n"}) {
        EXPECT_NE(head.find(line), std::string::npos) << line << " not in\n" << head;
    }
    // Each header exactly once.
    for (const char* name : {"Content-Type:", "X-Subsystem-User:", "X-Subsystem-Password:",
                             "X-Subsystem-Type:", "X-Management-IPs:"}) {
        const auto first = head.find(std::string("\r\n") + name);
        ASSERT_NE(first, std::string::npos) << name;
        EXPECT_EQ(head.find(std::string("\r\n") + name, first + 1), std::string::npos) << name;
    }
}

TEST_F(RestTest, EachCallUsesItsVerbAndSendsItsBody) {
    gateway.on("GET", "r", {200, "g"});
    gateway.on("POST", "r", {201, "p"});
    gateway.on("PUT", "r", {200, "u"});
    gateway.on("DELETE", "r", {204, ""});
    std::string response;
    EXPECT_TRUE(api.get("r", response, 1));
    EXPECT_EQ(response, "g");
    EXPECT_TRUE(api.post("r", R"({"x":1})", response, 4));
    EXPECT_EQ(response, "p");
    EXPECT_TRUE(api.put("r", R"({"y":2})", response, 2));
    EXPECT_EQ(response, "u");
    EXPECT_TRUE(api.del("r", "", response, 7));
    EXPECT_EQ(response, "");
    EXPECT_TRUE(api.sendReq(3, "r", "", response, 11));
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 5u);
    EXPECT_EQ(reqs[0].method, "GET");
    EXPECT_EQ(reqs[1].method, "POST");
    EXPECT_EQ(reqs[1].body, R"({"x":1})");
    EXPECT_EQ(reqs[2].method, "PUT");
    EXPECT_EQ(reqs[2].body, R"({"y":2})");
    EXPECT_EQ(reqs[3].method, "DELETE");
    EXPECT_EQ(reqs[3].body, "");
    EXPECT_EQ(reqs[4].method, "DELETE");
    for (const auto& r : reqs) {
        EXPECT_EQ(r.path, "/v4/storage/r");
        EXPECT_EQ(r.header("Content-Type"), "application/json");
    }
}

TEST_F(RestTest, RequestTypeOutsideZeroToThreeIsRefusedAfterTheHeaders) {
    std::string response = "stale";
    for (int type : {4, -1, 99}) {
        log->clear();
        EXPECT_FALSE(api.sendReq(type, "r", "", response, 1));
        EXPECT_EQ(response, "");
        EXPECT_TRUE(logged(kSend, -1, "Invalid request type.")) << dump();
        EXPECT_TRUE(logged(kHeaders, 4, "Successfully set the common curl headers.")) << dump();
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(api.getRequestURL(), url("r"));
    EXPECT_EQ(api.getLastHttpError(), 0);
}

// ------------------------------------------------------ resource type codes

TEST_F(RestTest, EveryResourceTypeCodeAcceptsOnlyItsExpectedStatus) {
    for (const Code& c : kCodes) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        const std::string resource = "res-" + std::to_string(c.code);
        for (long status : {200L, 201L, 204L}) {
            log->clear();
            gateway.enqueue("POST", resource, {static_cast<int>(status), status == 204 ? "" : "b"});
            std::string response = "stale";
            const bool ok = api.post(resource, "{}", response, c.code);
            EXPECT_EQ(ok, status == c.status) << "status " << status << dump();
            EXPECT_EQ(api.getLastHttpError(), status);
            EXPECT_EQ(response, status == 204 ? "" : "b");
            const std::string failed = "The HTTP request for Resource[" + resource +
                                       "] failed. URL[" + url(resource) +
                                       "] Body[{}] ResponseCode[" + std::to_string(status) + "]";
            EXPECT_EQ(logged(kSend, -1, failed), status != c.status) << dump();
        }
    }
    EXPECT_EQ(gateway.requestCount(), 3u * 17u);
}

TEST_F(RestTest, UnknownResourceTypeCodesSendNothingAndAreCheckedBeforeTheParameters) {
    HNASRestAPI empty{kJobId}; // no parameters at all
    for (int code : {0, 18, -1, 1000}) {
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(api.get("file-devices", response, code));
        EXPECT_EQ(response, "");
        EXPECT_TRUE(logged(kSend, -1, "Unknown Resource Type[file-devices]")) << dump();
        EXPECT_FALSE(empty.post("filesystem-snapshots", "{}", response, code));
        EXPECT_TRUE(logged(kSend, -1, "Unknown Resource Type[filesystem-snapshots]")) << dump();
        EXPECT_EQ(countFunction(kValidate), 0u) << dump();
        EXPECT_EQ(countFunction(kInit), 0u) << dump();
        EXPECT_EQ(log->records().size(), 2u) << dump();
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(api.getLastHttpError(), 0);
    EXPECT_EQ(api.getRequestURL(), "");
}

TEST_F(RestTest, PostExpecting201AnsweredWith200FailsAndKeepsTheBody) {
    gateway.on("POST", "filesystem-snapshots", {200, R"({"snapshot":{"objectId":"1"}})"});
    std::string response;
    EXPECT_FALSE(api.post("filesystem-snapshots", R"({"displayName":"s"})", response, 4));
    EXPECT_EQ(response, R"({"snapshot":{"objectId":"1"}})");
    EXPECT_EQ(api.getLastHttpError(), 200);
    EXPECT_TRUE(logged(kSend, -1,
                       "The HTTP request for Resource[filesystem-snapshots] failed. URL[" +
                           url("filesystem-snapshots") +
                           "] Body[{\"displayName\":\"s\"}] ResponseCode[200]"))
        << dump();
    EXPECT_TRUE(logged(kSend, 4,
                       "Response received for request. Type[1] URL[" + url("filesystem-snapshots") +
                           "] Resource[filesystem-snapshots] Body[{\"displayName\":\"s\"}] "
                           "Response[{\"snapshot\":{\"objectId\":\"1\"}}]"))
        << dump();
}

// ------------------------------------------------------------ empty bodies

TEST_F(RestTest, DeleteAnswered204WithoutBodyIsTrueWithTheEmptyResponseLine) {
    gateway.on("DELETE", "filesystem-snapshots/42", {204, ""});
    std::string response = "stale";
    EXPECT_TRUE(api.del("filesystem-snapshots/42", "", response, 11)) << dump();
    EXPECT_EQ(response, "");
    EXPECT_EQ(api.getLastHttpError(), 204);
    EXPECT_TRUE(logged(kSend, -1,
                       "Empty response received for request. Type[3] URL[" +
                           url("filesystem-snapshots/42") +
                           "] Resource[filesystem-snapshots/42] Body[]"))
        << dump();
}

TEST_F(RestTest, GetAnswered200WithoutBodyIsTrueWithAnEmptyResponse) {
    gateway.on("GET", "virtual-servers", {200, ""});
    std::string response = "stale";
    EXPECT_TRUE(api.get("virtual-servers", response, 2)) << dump();
    EXPECT_EQ(response, "");
    EXPECT_EQ(api.getLastHttpError(), 200);
    EXPECT_TRUE(logged(kSend, -1,
                       "Empty response received for request. Type[0] URL[" +
                           url("virtual-servers") + "] Resource[virtual-servers] Body[]"))
        << dump();
}

TEST_F(RestTest, ResponseIsCopiedUpToItsFirstNulByte) {
    gateway.on("GET", "nul", {200, std::string("abc\0def", 7)});
    std::string response;
    EXPECT_TRUE(api.get("nul", response, 1));
    EXPECT_EQ(response, "abc");
}

// -------------------------------------------------------- errors and status

TEST_F(RestTest, LastHttpErrorIsZeroBeforeAndTheStatusAfter) {
    EXPECT_EQ(api.getLastHttpError(), 0);
    EXPECT_EQ(HNASRestAPI().getLastHttpError(), 0);
    std::string response;
    EXPECT_TRUE(api.get("file-devices", response, 0) == false); // unknown code: not sent
    EXPECT_EQ(api.getLastHttpError(), 0);
    gateway.on("GET", "file-devices", {200, "{}"});
    EXPECT_TRUE(api.get("file-devices", response, 1));
    EXPECT_EQ(api.getLastHttpError(), 200);
    gateway.on("GET", "virtual-servers", {401, R"({"errorCode":401})"});
    EXPECT_FALSE(api.get("virtual-servers", response, 2));
    EXPECT_EQ(api.getLastHttpError(), 401);
}

TEST_F(RestTest, AnErrorStatusGivesTheSendErrorLineWithAndWithoutBody) {
    std::string response = "stale";
    EXPECT_FALSE(api.get("missing", response, 1)); // fallback: 404
    EXPECT_EQ(response, "");
    EXPECT_EQ(api.getLastHttpError(), 404);
    EXPECT_TRUE(logged(kSend, -1,
                       "Error while sending the request OR Error was returned from server. URL[" +
                           url("missing") + "] Resource[missing]. Http error code [404]."))
        << dump();
    gateway.on("POST", "filesystem-snapshots", {409, R"({"errorCode":409})"});
    response = "stale";
    EXPECT_FALSE(api.post("filesystem-snapshots", R"({"x":1})", response, 4));
    EXPECT_EQ(response, "");
    EXPECT_EQ(api.getLastHttpError(), 409);
    EXPECT_TRUE(logged(kSend, -1,
                       "Error while sending the request OR Error was returned from server. URL[" +
                           url("filesystem-snapshots") +
                           "] Resource[filesystem-snapshots] Body[{\"x\":1}]. Http error code "
                           "[409]."))
        << dump();
}

TEST_F(RestTest, AGatewayThatIsGoneGivesStatusZero) {
    int deadPort = 0;
    {
        TestGateway gone;
        deadPort = gone.port();
    }
    RKLibCurlOptions options = RKLibCurl::getOptions();
    options.maxRetries = 0;
    options.connectTimeoutMs = 2000;
    RKLibCurl::setOptions(options); // TrustGateway restores the options
    api.setMetroServerPort(deadPort);
    std::string response = "stale";
    EXPECT_FALSE(api.get("file-devices", response, 1));
    EXPECT_EQ(response, "");
    EXPECT_EQ(api.getLastHttpError(), 0);
    EXPECT_TRUE(logged(kSend, -1,
                       "Error while sending the request OR Error was returned from server. URL[" +
                           url("file-devices", deadPort) +
                           "] Resource[file-devices]. Http error code [0]."))
        << dump();
}

// ---------------------------------------------------------------- validation

TEST_F(RestTest, EmptyResourceIsRefused) {
    std::string response = "stale";
    EXPECT_FALSE(api.get("", response, 1));
    EXPECT_EQ(response, "");
    EXPECT_TRUE(logged(kSend, -1, "Empty Resource. Invalid arguement")) << dump();
    EXPECT_EQ(log->records().size(), 1u) << dump();
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(RestTest, EachEmptyParameterGivesBothLinesAndSendsNothing) {
    const std::string port = std::to_string(gateway.port());
    struct Case {
        void (HNASRestAPI::*set)(const std::string&);
        std::string params;
    };
    const Case cases[] = {
        {&HNASRestAPI::setUserName, ":********:192.0.2.10:HNAS:127.0.0.1:" + port},
        {&HNASRestAPI::setPassword, "admin::192.0.2.10:HNAS:127.0.0.1:" + port},
        {&HNASRestAPI::setSubsystemType, "admin:********:192.0.2.10::127.0.0.1:" + port},
        {&HNASRestAPI::setManagementIP, "admin:********::HNAS:127.0.0.1:" + port},
        {&HNASRestAPI::setMetroServer, "admin:********:192.0.2.10:HNAS::" + port},
    };
    for (const Case& c : cases) {
        HNASRestAPI session{kJobId};
        configure(session, gateway);
        (session.*c.set)("");
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(session.post("filesystem-snapshots", "{}", response, 4));
        EXPECT_EQ(response, "");
        EXPECT_TRUE(logged(kValidate, -1, paramsLine(c.params))) << dump();
        EXPECT_TRUE(logged(kSend, -1, incorrectLine(1, "filesystem-snapshots", "{}"))) << dump();
        EXPECT_EQ(countFunction(kInit), 0u);
        EXPECT_EQ(session.getRequestURL(), "");
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(RestTest, PortZeroOrNegativeGivesBothLinesAndSendsNothing) {
    for (int port : {0, -1}) {
        log->clear();
        api.setMetroServerPort(port);
        std::string response = "stale";
        EXPECT_FALSE(api.get("file-devices", response, 1));
        EXPECT_EQ(response, "");
        EXPECT_TRUE(
            logged(kValidate, -1,
                   paramsLine("admin:********:192.0.2.10:HNAS:127.0.0.1:" + std::to_string(port))))
            << dump();
        EXPECT_TRUE(logged(kSend, -1, incorrectLine(0, "file-devices", ""))) << dump();
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    // A fresh session has port 0 and empty strings.
    HNASRestAPI fresh{kJobId};
    log->clear();
    EXPECT_FALSE(fresh.validateServerParams());
    EXPECT_TRUE(logged(kValidate, -1, paramsLine(":::::0"))) << dump();
}

TEST_F(RestTest, ValidParametersLogNothing) {
    EXPECT_TRUE(api.validateServerParams());
    EXPECT_TRUE(log->records().empty()) << dump();
}

TEST_F(RestTest, ControlCharactersInAnyParameterAreRefused) {
    const std::string port = std::to_string(gateway.port());
    struct Case {
        void (HNASRestAPI::*set)(const std::string&);
        std::string value;
    };
    const Case cases[] = {
        {&HNASRestAPI::setUserName, "admin\r\nX-Evil:1"},
        {&HNASRestAPI::setPassword, "pw\nX-Evil:1"},
        {&HNASRestAPI::setSubsystemType, "HNAS\x01"},
        {&HNASRestAPI::setManagementIP, "192.0.2.10\x7f"},
        {&HNASRestAPI::setMetroServer, "127.0.0.1\t"},
        {&HNASRestAPI::setUserName, std::string("ad\0min", 6)},
    };
    for (const Case& c : cases) {
        HNASRestAPI session{kJobId};
        configure(session, gateway);
        (session.*c.set)(c.value);
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(session.get("file-devices", response, 1));
        EXPECT_EQ(response, "");
        EXPECT_EQ(countFunction(kValidate), 1u) << dump();
        EXPECT_TRUE(logged(kSend, -1, incorrectLine(0, "file-devices", ""))) << dump();
        for (const auto& r : log->records()) {
            if (r.function == kValidate && c.value.find('\0') == std::string::npos) {
                EXPECT_EQ(r.level, -1);
                EXPECT_EQ(r.text.rfind("Set the server params correctly. Params: [", 0), 0u);
                EXPECT_NE(r.text.find(":********:"), std::string::npos) << r.text;
            }
        }
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(RestTest, ThePasswordIsMaskedInTheParameterLine) {
    api.setMetroServer("");
    std::string response;
    EXPECT_FALSE(api.get("file-devices", response, 1));
    EXPECT_TRUE(
        logged(kValidate, -1,
               paramsLine("admin:********:192.0.2.10:HNAS::" + std::to_string(gateway.port()))))
        << dump();
    // TearDown checks that the password text appears in no line.
}

// ------------------------------------------------------------ unsafe resources

TEST_F(RestTest, UnsafeResourcesAreRefusedAndNothingIsSent) {
    for (const std::string resource :
         {"..", ".", "\n", "../file-devices", "a/../b", "a/./b", "a/..", "a/.", "./a",
          "filesystems/1/directories/..?x=1", "a\r\nX-Evil: 1", "a\tb", "a\x7f"}) {
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(api.get(resource, response, 13)) << resource;
        EXPECT_EQ(response, "");
        EXPECT_TRUE(
            logged(kSend, -1, "Unsafe Resource[" + resource + "]. The request was not sent."))
            << dump();
        EXPECT_EQ(log->records().size(), 1u) << dump();
        EXPECT_EQ(api.getRequestURL(), "");
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(RestTest, UnsafeCheckComesAfterTheUnknownCodeCheck) {
    std::string response;
    EXPECT_FALSE(api.get("..", response, 0));
    EXPECT_TRUE(logged(kSend, -1, "Unknown Resource Type[..]")) << dump();
    EXPECT_EQ(log->records().size(), 1u) << dump();
}

TEST_F(RestTest, ResourcesThatOnlyLookOddPassThroughUnchanged) {
    gateway.on("GET", "a..b", {200, "dots"});
    gateway.on("GET", "...", {200, "three"});
    std::string response;
    EXPECT_TRUE(api.get("a..b", response, 1)) << dump();
    EXPECT_EQ(response, "dots");
    EXPECT_EQ(api.getRequestURL(), url("a..b"));
    EXPECT_TRUE(api.get("...", response, 1)) << dump();
    EXPECT_EQ(response, "three");
    EXPECT_EQ(api.getRequestURL(), url("..."));

    gateway.on("GET", "filesystems?filter=a.b", {200, "query"});
    EXPECT_TRUE(api.get("filesystems?filter=a.b", response, 1)) << dump();
    EXPECT_EQ(response, "query");
    EXPECT_EQ(api.getRequestURL(), url("filesystems?filter=a.b"));

    // A blank is neither escaped nor refused by the session: the URL holds the
    // resource exactly as given, and it is the HTTP client (libcurl) that
    // refuses the malformed URL, so nothing reaches the gateway.
    log->clear();
    EXPECT_FALSE(api.get("x y?q=1", response, 1));
    EXPECT_EQ(api.getRequestURL(), url("x y?q=1"));
    EXPECT_FALSE(log->contains("Unsafe Resource[x y?q=1]. The request was not sent.")) << dump();
    EXPECT_TRUE(logged(kSend, -1,
                       "Error while sending the request OR Error was returned from server. URL[" +
                           url("x y?q=1") + "] Resource[x y?q=1]. Http error code [0]."))
        << dump();
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 3u) << dump();
    EXPECT_EQ(reqs[0].path, "/v4/storage/a..b");
    EXPECT_EQ(reqs[1].path, "/v4/storage/...");
    EXPECT_EQ(reqs[2].path, "/v4/storage/filesystems?filter=a.b");
}

TEST_F(RestTest, FormRequestUrlAddsNothingAndEscapesNothing) {
    api.formRequestURL("filesystems/ab cd/directories/%2F?x=1&y=2");
    EXPECT_EQ(api.getRequestURL(), url("filesystems/ab cd/directories/%2F?x=1&y=2"));
    api.setMetroServer("gateway.example");
    api.setMetroServerPort(8444);
    api.formRequestURL("file-devices");
    EXPECT_EQ(api.getRequestURL(), "https://gateway.example:8444/v4/storage/file-devices");
    EXPECT_TRUE(log->records().empty());
}

// ----------------------------------------------------- Init and header set-up

TEST_F(RestTest, HeadersWithoutAClientAreRefused) {
    EXPECT_FALSE(api.setCommonCurlHeaders());
    EXPECT_TRUE(logged(kHeaders, -1, "Curl library not initialized yet.")) << dump();
}

TEST_F(RestTest, EachHeaderFailureStopsTheSequenceWithItsLine) {
    // The client refuses a header holding a line break; validateServerParams
    // would refuse such a value first, so the set-up is driven directly.
    struct Case {
        void (HNASRestAPI::*set)(const std::string&);
        const char* line;
    };
    const Case cases[] = {
        {&HNASRestAPI::setUserName, "Failed to set the user name header."},
        {&HNASRestAPI::setPassword, "Failed to set the password header."},
        {&HNASRestAPI::setSubsystemType, "Failed to set sub system type header."},
        {&HNASRestAPI::setManagementIP, "Failed to set the Management IP header."},
    };
    for (const Case& c : cases) {
        HNASRestAPI session{kJobId};
        configure(session, gateway);
        ASSERT_TRUE(session.Init());
        (session.*c.set)("bad\r\nvalue");
        log->clear();
        EXPECT_FALSE(session.setCommonCurlHeaders());
        EXPECT_TRUE(logged(kHeaders, -1, c.line)) << dump();
        EXPECT_EQ(log->records().size(), 1u) << dump();
    }
}

TEST_F(RestTest, InitStartsAFreshClientEachTime) {
    EXPECT_TRUE(api.Init());
    EXPECT_TRUE(api.Init());
    EXPECT_EQ(log->count("Initialized curl library successfully."), 2u);
    EXPECT_TRUE(api.setCommonCurlHeaders());
}

// --------------------------------------------------------- sessions and jobs

TEST_F(RestTest, TheDefaultJobIdIsMinus123456) {
    HNASRestAPI session;
    EXPECT_FALSE(session.validateServerParams());
    EXPECT_TRUE(logged(kValidate, -1, paramsLine(":::::0"), -123456LL)) << dump();
}

TEST_F(RestTest, TheFull64BitJobIdReachesTheLog) {
    HNASRestAPI session{0xFFFFFFFFFFFFFFFFULL};
    std::string response;
    EXPECT_FALSE(session.get("", response, 1));
    EXPECT_TRUE(logged(kSend, -1, "Empty Resource. Invalid arguement", -1LL)) << dump();
}

TEST_F(RestTest, TwoSessionsAtTwoGatewaysAndRepointing) {
    TestGateway second;
    // One trust bundle holding both self-signed certificates.
    const std::string bundle =
        (std::filesystem::path(second.caFile()).parent_path() / "bundle.pem").string();
    {
        std::ofstream out(bundle);
        out << std::ifstream(gateway.caFile()).rdbuf() << std::ifstream(second.caFile()).rdbuf();
    }
    RKLibCurlOptions options = RKLibCurl::getOptions();
    options.caFile = bundle;
    RKLibCurl::setOptions(options); // TrustGateway restores the options

    gateway.on("GET", "file-devices", {200, "first"});
    second.on("GET", "file-devices", {200, "second"});
    HNASRestAPI other{kJobId + 1};
    configure(other, second);
    std::string a, b;
    EXPECT_TRUE(api.get("file-devices", a, 1)) << dump();
    EXPECT_TRUE(other.get("file-devices", b, 1)) << dump();
    EXPECT_EQ(a, "first");
    EXPECT_EQ(b, "second");
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_EQ(second.requestCount(), 1u);

    // Re-pointing a session: the next request goes to the new address.
    api.setMetroServerPort(second.port());
    EXPECT_TRUE(api.get("file-devices", a, 1)) << dump();
    EXPECT_EQ(a, "second");
    EXPECT_EQ(api.getRequestURL(), url("file-devices", second.port()));
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_EQ(second.requestCount(), 2u);
}

TEST_F(RestTest, ClosingLineOnlyAboveLevelOneAndTheClientIsClosedEitherWay) {
    gateway.on("GET", "file-devices", {200, "{}"});
    std::string response;
    for (int level : {5, 2, 1, 0}) {
        SCOPED_TRACE("writer level " + std::to_string(level));
        gateway.reset();
        gateway.on("GET", "file-devices", {200, "{}"});
        log->SetLevel(level);
        log->clear();
        {
            HNASRestAPI session{kJobId};
            configure(session, gateway);
            ASSERT_TRUE(session.get("file-devices", response, 1));
        }
        EXPECT_EQ(logged(kDtor, 2, "Closing the curl session."), level > 1) << dump();
        // The closed client handed its connection back: the next session's
        // request runs on the same connection (a leaked client would keep it).
        HNASRestAPI next{kJobId};
        configure(next, gateway);
        ASSERT_TRUE(next.get("file-devices", response, 1));
        EXPECT_EQ(gateway.connectionCount(), 1u);
    }
}

TEST_F(RestTest, ASessionThatNeverSentWritesNoClosingLine) {
    { HNASRestAPI session{kJobId}; }
    {
        HNASRestAPI session{kJobId};
        std::string response;
        session.get("file-devices", response, 1); // refused: no client started
    }
    EXPECT_FALSE(log->contains("Closing the curl session.")) << dump();
}

TEST_F(RestTest, ClosingLineWithoutAGlobalWriterDoesNotCrash) {
    boost::shared_ptr<CLogWriterInterface> saved = g_ptrLogWriter;
    g_ptrLogWriter.reset();
    {
        HNASRestAPI session{kJobId};
        configure(session, gateway);
        std::string response;
        session.get("missing", response, 1);
    }
    g_ptrLogWriter = saved;
}

// ------------------------------------------------------------ connection reuse

// Reads share one connection; every write opens its own, so that a closed
// reused connection never makes libcurl send a change twice.
TEST_F(RestTest, ReadsThroughOneSessionShareOneConnection) {
    gateway.on("GET", "file-devices", {200, "{}"});
    gateway.on("POST", "filesystem-snapshots", {201, "{}"});
    gateway.on("DELETE", "filesystem-snapshots/1", {204, ""});
    std::string response;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(api.get("file-devices", response, 1)) << dump();
        ASSERT_TRUE(api.post("filesystem-snapshots", "{}", response, 4)) << dump();
        ASSERT_TRUE(api.del("filesystem-snapshots/1", "", response, 11)) << dump();
    }
    EXPECT_EQ(gateway.requestCount(), 12u);
    EXPECT_EQ(gateway.connectionCount(), 1u + 8u);
}

} // namespace
