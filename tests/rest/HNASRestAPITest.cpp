// The REST session and its safety rules against the scripted test gateway,
// through the real libcurl client.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "support/CaptureLog.h"
#include "support/RawServer.h"
#include "support/TestGateway.h"

using hnastest::CaptureLog;
using hnastest::GatewayLogin;
using hnastest::ScriptedResponse;
using hnastest::TestGateway;
using hnastest::TrustGateway;

namespace {

constexpr unsigned long long kJobId = 4711;
const char* const kSend = "HNASRestAPI::sendReq";
const char* const kValidate = "HNASRestAPI::validateServerParams";
const char* const kInit = "HNASRestAPI::Init";
const char* const kHeaders = "HNASRestAPI::setCommonCurlHeaders";

class RestTest : public ::testing::Test {
protected:
    void SetUp() override { hnastest::configureSession(api, gateway); }
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
    bool logged(const std::string& function, int level, const std::string& text,
                long long job = static_cast<long long>(kJobId)) {
        return log.logged(function, level, text, job);
    }
    std::string sendError(const std::string& resource, const std::string& body, long code,
                          int port = 0) {
        return "Error while sending the request OR Error was returned from server. URL[" +
               url(resource, port) + "] Resource[" + resource + "]" +
               (body.empty() ? "" : " Body[" + body + "]") + ". Http error code [" +
               std::to_string(code) + "].";
    }
    std::string incorrect(int type, const std::string& resource, const std::string& body) {
        return "Incorrect server params. Unable to send the request for Type[" +
               std::to_string(type) + "] Resource[" + resource + "] Body[" + body + "]";
    }

    TestGateway gateway;
    TrustGateway trust{gateway};
    CaptureLog log;
    HNASRestAPI api{kJobId};
};

TEST_F(RestTest, GetFormsTheUrlSendsTheHeadersAndReturnsTheBody) {
    gateway.on("GET", "file-devices", {200, R"({"fileDevice":{}})"});
    std::string response = "stale";
    ASSERT_TRUE(api.get("file-devices", response, 1)) << log.dump();
    EXPECT_EQ(response, R"({"fileDevice":{}})");
    EXPECT_EQ(api.getLastHttpError(), 200);
    EXPECT_EQ(api.getRequestURL(), url("file-devices"));
    ASSERT_EQ(gateway.requestCount(), 1u);
    const hnastest::RecordedRequest req = gateway.requests()[0];
    EXPECT_EQ(req.method + " " + req.path + " [" + req.body + "]",
              "GET /v4/storage/file-devices []");
    EXPECT_EQ(req.header("Content-Type"), "application/json");
    EXPECT_EQ(req.header("X-Subsystem-User"), "admin");
    EXPECT_EQ(req.header("X-Subsystem-Password"), "s3cr3t-Pa55");
    EXPECT_EQ(req.header("X-Subsystem-Type"), "HNAS");
    EXPECT_EQ(req.header("X-Management-IPs"), "192.0.2.10");

    EXPECT_TRUE(logged(kInit, 0, "Initialized curl library successfully.")) << log.dump();
    EXPECT_TRUE(logged(kHeaders, 4, "Successfully set the common curl headers.")) << log.dump();
    EXPECT_TRUE(logged(kSend, 4,
                       "Response received for request. Type[0] URL[" + url("file-devices") +
                           "] Resource[file-devices] Body[] Response[{\"fileDevice\":{}}]"))
        << log.dump();
    for (const auto& r : log->records()) // a successful exchange writes nothing at -1
        EXPECT_NE(r.level, -1) << log.dump();
}

TEST_F(RestTest, TheFiveHeadersGoOutByteForByte) {
    const std::filesystem::path dir = std::filesystem::path(gateway.caFile()).parent_path();
    hnastest::RawServer raw({"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                             "Content-Length: 2\r\nConnection: close\r\n\r\n{}"},
                            gateway.caFile(), (dir / "key.pem").string());
    api.setMetroServerPort(raw.port());
    std::string response;
    EXPECT_FALSE(api.post("filesystem-snapshots", R"({"a":"b"})", response, 16));
    EXPECT_EQ(response, "{}"); // 200 is not 201: false, but the body is kept
    EXPECT_EQ(api.getLastHttpError(), 200);
    ASSERT_EQ(raw.heads().size(), 1u);
    const std::string head = raw.heads()[0];
    EXPECT_EQ(head.rfind("POST /v4/storage/filesystem-snapshots HTTP/1.1\r\n", 0), 0u) << head;
    for (const std::string line : {"Content-Type: application/json", "X-Subsystem-User:admin",
                                   "X-Subsystem-Password:s3cr3t-Pa55", "X-Subsystem-Type:HNAS",
                                   "X-Management-IPs:192.0.2.10", "Content-Length: 9"}) {
        const auto first = head.find("\r\n" + line + "\r\n");
        EXPECT_NE(first, std::string::npos) << line << " not in\n" << head;
        const std::string name = "\r\n" + line.substr(0, line.find(':') + 1);
        EXPECT_EQ(head.find(name, head.find(name) + 1), std::string::npos) << "twice: " << name;
    }
}

TEST_F(RestTest, EachCallUsesItsVerbAndSendsItsBody) {
    gateway.on("GET", "r", {200, "g"});
    gateway.on("POST", "r", {201, "p"});
    gateway.on("PUT", "r", {200, "u"});
    gateway.on("DELETE", "r", {204, ""});
    std::string g, p, u, d = "stale", s = "stale";
    EXPECT_TRUE(api.get("r", g, 1) && api.post("r", R"({"x":1})", p, 4) &&
                api.put("r", R"({"y":2})", u, 2) && api.del("r", "", d, 7) &&
                api.sendReq(3, "r", "", s, 11))
        << log.dump();
    EXPECT_EQ(g + p + u + d + s, "gpu");
    std::string sent;
    for (const auto& r : gateway.requests()) {
        sent += r.method + " " + r.path + " [" + r.body + "]\n";
        EXPECT_EQ(r.header("Content-Type"), "application/json");
    }
    EXPECT_EQ(sent, "GET /v4/storage/r []\nPOST /v4/storage/r [{\"x\":1}]\n"
                    "PUT /v4/storage/r [{\"y\":2}]\nDELETE /v4/storage/r []\n"
                    "DELETE /v4/storage/r []\n");
}

TEST_F(RestTest, RequestTypeOutsideZeroToThreeIsRefusedAfterTheHeaders) {
    for (int type : {4, -1, 99}) {
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(api.sendReq(type, "r", "", response, 1));
        EXPECT_EQ(response, "");
        EXPECT_TRUE(logged(kSend, -1, "Invalid request type.")) << log.dump();
        EXPECT_TRUE(logged(kHeaders, 4, "Successfully set the common curl headers."));
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(api.getRequestURL(), url("r"));
    EXPECT_EQ(api.getLastHttpError(), 0);
}

// Every resource type code accepts only its expected status; the body is
// handed back either way.
TEST_F(RestTest, EveryResourceTypeCodeAcceptsOnlyItsExpectedStatus) {
    const long kExpected[] = {0,   200, 200, 200, 201, 201, 201, 204, 204,
                              200, 200, 204, 204, 200, 200, 200, 201, 204};
    for (int code = 1; code <= 17; ++code) {
        const std::string resource = "res-" + std::to_string(code);
        for (long status : {200L, 201L, 204L}) {
            SCOPED_TRACE("code " + std::to_string(code) + " status " + std::to_string(status));
            log->clear();
            const std::string body = status == 204 ? "" : "b";
            gateway.enqueue("POST", resource, {static_cast<int>(status), body});
            std::string response = "stale";
            EXPECT_EQ(api.post(resource, "{}", response, code), status == kExpected[code]);
            EXPECT_EQ(api.getLastHttpError(), status);
            EXPECT_EQ(response, body);
            EXPECT_EQ(logged(kSend, -1,
                             "The HTTP request for Resource[" + resource + "] failed. URL[" +
                                 url(resource) + "] Body[{}] ResponseCode[" +
                                 std::to_string(status) + "]"),
                      status != kExpected[code])
                << log.dump();
            const std::string head =
                "request. Type[1] URL[" + url(resource) + "] Resource[" + resource + "] Body[{}]";
            EXPECT_TRUE(body.empty()
                            ? logged(kSend, -1, "Empty response received for " + head)
                            : logged(kSend, 4, "Response received for " + head + " Response[b]"))
                << log.dump();
        }
    }
    EXPECT_EQ(gateway.requestCount(), 3u * 17u);
}

// Checked before the parameters, the resource and the client.
TEST_F(RestTest, UnknownResourceTypeCodesSendNothing) {
    HNASRestAPI empty{kJobId}; // no parameters at all
    for (int code : {0, 18, -1, 1000}) {
        for (const std::string resource : {"file-devices", ".."}) {
            log->clear();
            std::string response = "stale";
            EXPECT_FALSE(api.get(resource, response, code));
            EXPECT_FALSE(empty.post(resource, "{}", response, code));
            EXPECT_EQ(response, "");
            EXPECT_EQ(log->count("Unknown Resource Type[" + resource + "]"), 2u) << log.dump();
            EXPECT_EQ(log->records().size(), 2u) << log.dump();
        }
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(api.getLastHttpError(), 0);
    EXPECT_EQ(api.getRequestURL(), "");
}

TEST_F(RestTest, EmptyBodiesAndNulBytes) {
    gateway.on("DELETE", "filesystem-snapshots/42", {204, ""});
    gateway.on("GET", "nul", {200, std::string("abc\0def", 7)});
    std::string response = "stale";
    EXPECT_TRUE(api.del("filesystem-snapshots/42", "", response, 11)) << log.dump();
    EXPECT_EQ(response, "");
    EXPECT_EQ(api.getLastHttpError(), 204);
    EXPECT_TRUE(logged(kSend, -1,
                       "Empty response received for request. Type[3] URL[" +
                           url("filesystem-snapshots/42") +
                           "] Resource[filesystem-snapshots/42] Body[]"))
        << log.dump();
    // The response is copied up to its first NUL byte.
    EXPECT_TRUE(api.get("nul", response, 1));
    EXPECT_EQ(response, "abc");
}

TEST_F(RestTest, AnErrorStatusOrNoGatewayGivesTheSendErrorLine) {
    int deadPort = 0;
    {
        TestGateway gone;
        deadPort = gone.port();
    }
    gateway.on("POST", "filesystem-snapshots", {409, R"({"errorCode":409})"});
    RKLibCurlOptions options = RKLibCurl::getOptions();
    options.maxRetries = 0;
    options.connectTimeoutMs = 2000;
    RKLibCurl::setOptions(options); // TrustGateway restores the options
    struct Case {
        std::function<bool(std::string&)> call;
        long status;
        std::string line;
    };
    const Case cases[] = {
        {[&](std::string& r) { return api.get("missing", r, 1); }, 404, // fallback
         sendError("missing", "", 404)},
        {[&](std::string& r) { return api.post("filesystem-snapshots", R"({"x":1})", r, 4); }, 409,
         sendError("filesystem-snapshots", R"({"x":1})", 409)},
        {[&](std::string& r) {
             api.setMetroServerPort(deadPort);
             return api.get("file-devices", r, 1);
         },
         0, sendError("file-devices", "", 0, deadPort)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string response = "stale";
        EXPECT_FALSE(c.call(response));
        EXPECT_EQ(response, "");
        EXPECT_EQ(api.getLastHttpError(), c.status);
        EXPECT_TRUE(logged(kSend, -1, c.line)) << log.dump();
    }
}

// A refusal with an error document adds the gateway's explanation (message
// cut at 1 KiB, control characters escaped) after the send error line; any
// other body adds nothing. The response handed back stays empty.
TEST_F(RestTest, TheGatewaysExplanationOfARefusal) {
    const std::string longMessage(3000, 'm');
    struct Case {
        int status;
        std::string body, explanation; // explanation empty: no line
    };
    const Case cases[] = {
        {409,
         R"({"errorCode": 409, "errorMsg": "Snapshot exists", "errorDetail": {"reason": "dup"}})",
         "[409] Code[409] Message[Snapshot exists(dup).]"},
        {404, R"({"errorCode": 1042.9, "errorMsg": "No such\u001b[31m object\n"})",
         "[404] Code[1042] Message[No such\\x1B[31m object\\x0A]"},
        {400, R"({"errorCode": 7, "errorMsg": ")" + longMessage + "\"}",
         "[400] Code[7] Message[" + longMessage.substr(0, 1024) + "... [1976 bytes left out]]"},
        {500, "<html>Internal error</html>", ""},
        {503, R"({"errorCode": 503})", ""},
        {401, R"({"errorCode": "x", "errorMsg": "m"})", ""},
        {502, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        gateway.enqueue("POST", "filesystem-snapshots", {c.status, c.body});
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(api.post("filesystem-snapshots", "{}", response, 4));
        EXPECT_EQ(response, "");
        EXPECT_EQ(api.getLastHttpError(), c.status);
        const auto records = log->records();
        ASSERT_EQ(records.size(), c.explanation.empty() ? 3u : 4u) << log.dump();
        EXPECT_EQ(records[2].text, sendError("filesystem-snapshots", "{}", c.status));
        if (!c.explanation.empty()) {
            EXPECT_TRUE(logged(kSend, -1, "The gateway refused the request: " + c.explanation))
                << log.dump();
        }
    }
}

// Every empty, out-of-range or control-character parameter, a gateway host
// that a URL would not carry to that host, and a credential with a blank at
// either end give the parameter line (password masked) and the refusal, and
// send nothing; a blank adds the line that says why.
TEST_F(RestTest, InvalidParametersAreRefusedWithBothLines) {
    struct Params {
        std::string user = "admin", password = "s3cr3t-Pa55", type = "HNAS", ip = "192.0.2.10",
                    server = "127.0.0.1";
        int port;
    };
    const Params good{{}, {}, {}, {}, {}, gateway.port()};
    std::vector<Params> cases;
    auto add = [&](std::string Params::*field, const std::string& value) {
        cases.push_back(good);
        cases.back().*field = value;
    };
    for (auto field : {&Params::user, &Params::password, &Params::type, &Params::ip})
        add(field, "");
    add(&Params::user, "admin\r\nX-Evil:1");
    add(&Params::password, "pw\nX-Evil:1");
    add(&Params::type, "HNAS\x01");
    add(&Params::ip, "192.0.2.10\x7f");
    add(&Params::user, std::string("ad\0min", 6)); // the logged text ends at the NUL
    for (const std::string host :
         {"", "127.0.0.1\t", "gw.example@127.0.0.1", "host#", "host/x", "host?a", "a b",
          "host:8444", "[::1", "[gw]", "a..b", "\xff.example", "fe80::1%eth0"})
        add(&Params::server, host);
    const size_t firstBlank = cases.size();
    for (const std::string value : {" admin", "admin ", " "})
        add(&Params::user, value);
    for (const std::string value : {" pw", "pw ", " "})
        add(&Params::password, value);
    for (int port : {0, -1}) {
        cases.push_back(good);
        cases.back().port = port;
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const Params& c = cases[i];
        HNASRestAPI session{kJobId};
        session.setUserName(c.user);
        session.setPassword(c.password);
        session.setSubsystemType(c.type);
        session.setManagementIP(c.ip);
        session.setMetroServer(c.server);
        session.setMetroServerPort(c.port);
        const std::string params = c.user + ":" + (c.password.empty() ? "" : "********") + ":" +
                                   c.ip + ":" + c.type + ":" + c.server + ":" +
                                   std::to_string(c.port);
        SCOPED_TRACE(params);
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(session.post("filesystem-snapshots", "{}", response, 4));
        EXPECT_EQ(response, "");
        EXPECT_TRUE(logged(kValidate, -1,
                           "Set the server params correctly. Params: [" +
                               params.substr(0, params.find('\0')) + "]"))
            << log.dump();
        const bool blank = i >= firstBlank && i < firstBlank + 6;
        EXPECT_EQ(logged(kValidate, -1,
                         "The user name or the password begins or ends with a blank, which the "
                         "request header would not carry."),
                  blank);
        EXPECT_TRUE(logged(kSend, -1, incorrect(1, "filesystem-snapshots", "{}"))) << log.dump();
        EXPECT_EQ(log->records().size(), blank ? 3u : 2u) << log.dump();
        EXPECT_EQ(session.getRequestURL(), "");
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    // Hosts that real deployments use pass; a bare IPv6 literal goes in brackets.
    const std::pair<std::string, std::string> hosts[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"gw_01.corp.example", "gw_01.corp.example"},
        {"b\xc3\xbc"
         "cher.example.",
         "b\xc3\xbc"
         "cher.example."},
        {"::1", "[::1]"},
        {"[fe80::1]", "[fe80::1]"},
    };
    for (const auto& host : hosts) {
        log->clear();
        api.setMetroServer(host.first);
        EXPECT_TRUE(api.validateServerParams()) << host.first; // logs nothing
        EXPECT_TRUE(log->records().empty()) << log.dump();
        api.formRequestURL("file-devices");
        EXPECT_EQ(api.getRequestURL(), "https://" + host.second + ":" +
                                           std::to_string(gateway.port()) +
                                           "/v4/storage/file-devices");
    }
}

TEST_F(RestTest, EmptyAndUnsafeResourcesAreRefusedAndNothingIsSent) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Empty Resource. Invalid arguement"}};
    for (const std::string r : {"..",
                                ".",
                                "\n",
                                "../file-devices",
                                "a/../b",
                                "a/./b",
                                "a/..",
                                "a/.",
                                "./a",
                                "filesystems/1/directories/..?x=1",
                                "a\r\nX-Evil: 1",
                                "a\tb",
                                "a\x7f",
                                "#",
                                "filesystem-snapshots/X#",
                                "a?x=1",
                                "%2e%2e",
                                "a%2Fb",
                                "x y",
                                " "})
        cases.push_back({r, "Unsafe Resource[" + r + "]. The request was not sent."});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(api.get(c.first, response, 13));
        EXPECT_EQ(response, "");
        EXPECT_TRUE(logged(kSend, -1, c.second)) << log.dump();
        EXPECT_EQ(log->records().size(), 1u) << log.dump();
        EXPECT_EQ(api.getRequestURL(), "");
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(RestTest, ResourcesThatOnlyLookOddPassThroughUnchanged) {
    gateway.setFallback({200, "odd"});
    for (const std::string resource : {"a..b", "...", "filesystems/a.b", "x/\xc3\xa9"}) {
        std::string response;
        EXPECT_TRUE(api.get(resource, response, 1)) << log.dump();
        EXPECT_EQ(response, "odd");
        EXPECT_EQ(api.getRequestURL(), url(resource));
    }
    EXPECT_EQ(gateway.requestCount(), 4u);
}

TEST_F(RestTest, EachHeaderFailureStopsTheSequenceWithItsLine) {
    EXPECT_FALSE(api.setCommonCurlHeaders());
    EXPECT_TRUE(logged(kHeaders, -1, "Curl library not initialized yet.")) << log.dump();
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
        hnastest::configureSession(session, gateway);
        ASSERT_TRUE(session.Init());
        (session.*c.set)("bad\r\nvalue");
        log->clear();
        EXPECT_FALSE(session.setCommonCurlHeaders());
        EXPECT_TRUE(logged(kHeaders, -1, c.line)) << log.dump();
        EXPECT_EQ(log->records().size(), 1u) << log.dump();
    }
}

TEST_F(RestTest, TheDefaultAndTheFull64BitJobIdReachTheLog) {
    HNASRestAPI session;
    EXPECT_EQ(session.getLastHttpError(), 0);
    EXPECT_FALSE(session.validateServerParams());
    EXPECT_TRUE(
        logged(kValidate, -1, "Set the server params correctly. Params: [:::::0]", -123456LL))
        << log.dump();
    HNASRestAPI big{0xFFFFFFFFFFFFFFFFULL};
    std::string response;
    EXPECT_FALSE(big.get("", response, 1));
    EXPECT_TRUE(logged(kSend, -1, "Empty Resource. Invalid arguement", -1LL)) << log.dump();
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
    hnastest::configureSession(other, second);
    std::string a, b;
    EXPECT_TRUE(api.get("file-devices", a, 1)) << log.dump();
    EXPECT_TRUE(other.get("file-devices", b, 1)) << log.dump();
    EXPECT_EQ(a + " " + b, "first second");
    // Re-pointing a session: the next request goes to the new address.
    api.setMetroServerPort(second.port());
    EXPECT_TRUE(api.get("file-devices", a, 1)) << log.dump();
    EXPECT_EQ(a, "second");
    EXPECT_EQ(api.getRequestURL(), url("file-devices", second.port()));
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_EQ(second.requestCount(), 2u);
}

TEST_F(RestTest, ClosingLineOnlyAboveLevelOneAndTheClientIsClosedEitherWay) {
    std::string response;
    for (int level : {5, 2, 1, 0}) {
        SCOPED_TRACE("writer level " + std::to_string(level));
        gateway.reset();
        gateway.on("GET", "file-devices", {200, "{}"});
        log->SetLevel(level);
        log->clear();
        {
            HNASRestAPI session{kJobId};
            hnastest::configureSession(session, gateway);
            ASSERT_TRUE(session.get("file-devices", response, 1));
        }
        EXPECT_EQ(logged("HNASRestAPI::~HNASRestAPI()", 2, "Closing the curl session."), level > 1)
            << log.dump();
        // The closed client handed its connection back: the next session's
        // request runs on the same connection (a leaked client would keep it).
        HNASRestAPI next{kJobId};
        hnastest::configureSession(next, gateway);
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
    EXPECT_FALSE(log->contains("Closing the curl session.")) << log.dump();
    // Closing without a global writer does not crash.
    const boost::shared_ptr<CLogWriterInterface> saved = GetLogWriter();
    SetLogWriter(nullptr);
    {
        HNASRestAPI session{kJobId};
        hnastest::configureSession(session, gateway);
        std::string response;
        session.get("missing", response, 1);
    }
    SetLogWriter(saved);
}

// The client's retry lines carry the job of the session that sent the request.
TEST_F(RestTest, RetryLinesCarryTheJob) {
    RKLibCurlOptions options = RKLibCurl::getOptions();
    options.maxRetries = 1;
    options.retryFirstDelayMs = 1;
    RKLibCurl::setOptions(options); // TrustGateway restores the options
    gateway.enqueue("GET", "file-devices", {503, ""});
    gateway.on("GET", "file-devices", {200, "{}"});
    std::string response;
    EXPECT_TRUE(api.get("file-devices", response, 1)) << log.dump();
    size_t retries = 0;
    for (const auto& r : log->records()) {
        if (r.text.rfind("Retrying GET request", 0) == 0) {
            ++retries;
            EXPECT_EQ(r.jobId, static_cast<long long>(kJobId));
        }
    }
    EXPECT_EQ(retries, 1u) << log.dump();
}

// Reads share one connection; every write opens its own, so that a closed
// reused connection never makes libcurl send a change twice.
TEST_F(RestTest, ReadsThroughOneSessionShareOneConnection) {
    gateway.on("GET", "file-devices", {200, "{}"});
    gateway.on("POST", "filesystem-snapshots", {201, "{}"});
    gateway.on("DELETE", "filesystem-snapshots/1", {204, ""});
    std::string response;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(api.get("file-devices", response, 1)) << log.dump();
        ASSERT_TRUE(api.post("filesystem-snapshots", "{}", response, 4)) << log.dump();
        ASSERT_TRUE(api.del("filesystem-snapshots/1", "", response, 11)) << log.dump();
    }
    EXPECT_EQ(gateway.requestCount(), 12u);
    EXPECT_EQ(gateway.connectionCount(), 1u + 8u);
}

} // namespace
