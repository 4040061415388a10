// The REST session and its safety rules against the scripted test gateway,
// through the real libcurl client.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/RKLibCurl.h"
#include "hnasmgmt/rest/HNASRestAPI.h"
#include "rest/Operations.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

using hnastest::GatewayLogin;
using hnastest::TestGateway;

namespace {

constexpr unsigned long long kJobId = (1ULL << 32) + 7; // cut to 32 bits it would read 7
const char* const kSend = "HNASRestAPI::sendReq";

class RestTest : public ::testing::Test {
protected:
    void SetUp() override {
        hnastest::configureSession(api, gateway);
        RKLibCurlOptions options = RKLibCurl::getOptions();
        options.maxRetries = 0;
        RKLibCurl::setOptions(options); // TrustGateway restores the options
    }
    void TearDown() override {
        for (const auto& r : log->records()) { // never the password, never its header
            EXPECT_EQ(r.text.find(GatewayLogin().password), std::string::npos) << r.text;
            EXPECT_EQ(r.text.find("X-Subsystem-Password"), std::string::npos) << r.text;
        }
    }
    bool logged(const std::string& function, int level, const std::string& text) {
        return log.logged(function, level, text, static_cast<long long>(kJobId));
    }
    // The session's lines of a request refused before anything was sent.
    void expectRefused(HNASRestAPI& session, const std::string& resource, int type,
                       const std::vector<std::string>& lines) {
        log->clear();
        const std::string before = session.getRequestURL(); // no URL is formed
        std::string response = "stale";
        EXPECT_FALSE(session.post(resource, "{}", response, type));
        EXPECT_EQ(response, "");
        std::vector<std::string> texts;
        for (const auto& r : log->records())
            texts.push_back(r.text);
        EXPECT_EQ(texts, lines);
        EXPECT_EQ(session.getRequestURL(), before);
    }

    TestGateway gateway;
    hnastest::TrustGateway trust{gateway};
    hnastest::CaptureLog log;
    HNASRestAPI api{kJobId};
};

TEST_F(RestTest, VerbsUrlHeadersAndBodies) {
    gateway.on("GET", "file-devices", {200, R"({"fileDevice":{}})"});
    gateway.on("POST", "r", {201, "p"});
    gateway.on("PUT", "r", {200, "u"});
    gateway.on("DELETE", "r", {204, ""});
    std::string g, p, u, d = "stale";
    EXPECT_TRUE(api.get("file-devices", g, 1) && api.post("r", R"({"x":1})", p, 4) &&
                api.put("r", "y", u, 2) && api.del("r", "", d, 7))
        << log.dump();
    EXPECT_EQ(g + p + u + d, R"({"fileDevice":{}}pu)");
    EXPECT_EQ(api.getRequestURL(), gateway.url("r"));
    std::string sent;
    for (const auto& r : gateway.requests())
        sent += r.method + " " + r.path + " [" + r.body + "]\n";
    EXPECT_EQ(sent, "GET /v4/storage/file-devices []\nPOST /v4/storage/r [{\"x\":1}]\n"
                    "PUT /v4/storage/r [y]\nDELETE /v4/storage/r []\n");
    const auto request = gateway.requests()[0];
    EXPECT_EQ(request.header("Content-Type") + "|" + request.header("X-Subsystem-User") + "|" +
                  request.header("X-Subsystem-Password") + "|" +
                  request.header("X-Subsystem-Type") + "|" + request.header("X-Management-IPs"),
              "application/json|admin|s3cr3t-Pa55|HNAS|192.0.2.10");
}

// A resource type code accepts only its expected status (one code of each);
// the body of an answer below 400 is handed back either way; unknown codes
// send nothing.
TEST_F(RestTest, EveryResourceTypeCodeAcceptsOnlyItsExpectedStatus) {
    const std::pair<int, long> kExpected[] = {{1, 200}, {7, 204}, {16, 201}};
    for (const auto& [code, expected] : kExpected)
        for (long status : {200L, 201L, 204L}) {
            SCOPED_TRACE("code " + std::to_string(code) + " status " + std::to_string(status));
            log->clear();
            gateway.enqueue("POST", "r", {static_cast<int>(status), status == 204 ? "" : "b"});
            std::string response = "stale";
            EXPECT_EQ(api.post("r", "{}", response, code), status == expected);
            EXPECT_EQ(api.getLastHttpError(), status);
            EXPECT_EQ(response, status == 204 ? "" : "b");
            EXPECT_EQ(logged(kSend, -1,
                             "The HTTP request for Resource[r] failed. URL[" + gateway.url("r") +
                                 "] Body[{}] ResponseCode[" + std::to_string(status) + "]"),
                      status != expected);
        }
    for (int code : {0, hnasmgmt::kOperationCount + 1, -1}) // one past the table
        expectRefused(api, "r", code, {"Unknown Resource Type[r]"});
    EXPECT_EQ(gateway.requestCount(), 9u);
}

// The caller gets the answer as it came (up to a NUL); the level-4 line shows
// it with what could forge or hide a line escaped.
TEST_F(RestTest, AnswersAreCutAtTheFirstNulAndShownEscaped) {
    gateway.on("GET", "nul", {200, std::string("abc\0def", 7)});
    std::string response;
    EXPECT_TRUE(api.get("nul", response, 1));
    EXPECT_EQ(response, "abc");
    const std::string raw = "{\"a\":\"\x1b[2J\"}\r\n0 forged\xc2\x9b\xff";
    gateway.on("GET", "esc", {200, raw});
    EXPECT_TRUE(api.get("esc", response, 1));
    EXPECT_EQ(response, raw);
    EXPECT_TRUE(logged(kSend, 4,
                       "Response received for request. Type[0] URL[" + gateway.url("esc") +
                           "] Resource[esc] Body[] "
                           R"(Response[{"a":"\x1B[2J"}\x0D\x0A0 forged\xC2\x9B\xFF])"))
        << log.dump();
}

// A refusal: the send error lines, then (with an error document only) the
// gateway's explanation, message cut at 1 KiB and control characters
// escaped. Nothing is handed back.
TEST_F(RestTest, RefusalsAndTheGatewaysExplanation) {
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
        // C1 controls (a CSI) and DEL escaped; other UTF-8 kept.
        {403, R"({"errorCode": 3, "errorMsg": "a\u009b2Jb \u00e9\u65e5\u007f"})",
         "[403] Code[3] Message[a\\xC2\\x9B2Jb \xc3\xa9\xe6\x97\xa5\\x7F]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 80));
        gateway.enqueue("POST", "r", {c.status, c.body});
        log->clear();
        std::string response = "stale";
        EXPECT_FALSE(api.post("r", "{}", response, 4));
        EXPECT_EQ(response, "");
        EXPECT_EQ(api.getLastHttpError(), c.status);
        const auto records = log->records();
        ASSERT_EQ(records.size(), c.explanation.empty() ? 3u : 4u) << log.dump();
        if (!c.explanation.empty()) {
            EXPECT_EQ(records[3].text, "The gateway refused the request: " + c.explanation);
        }
    }
}

// Empty or control-character parameters, a gateway host that a URL would not
// carry to that host, and a credential with a blank at either
// end: the parameter line (password masked), for a blank the reason, and the
// refusal; nothing sent.
TEST_F(RestTest, InvalidParametersAreRefusedWithTheirLines) {
    using Setter = void (HNASRestAPI::*)(const std::string&);
    const Setter setters[5] = {&HNASRestAPI::setUserName, &HNASRestAPI::setPassword,
                               &HNASRestAPI::setManagementIP, &HNASRestAPI::setSubsystemType,
                               &HNASRestAPI::setMetroServer};
    enum { user, password, ip, type, host };
    std::vector<std::pair<int, std::string>> cases = {
        {user, ""},    {password, ""},   {password, "pw\nX:1"}, {type, "HNAS\x01"},
        {ip, "a\x7f"}, {user, "admin "}, {password, " pw"}};
    // Numbers in other forms than a dotted quad: the HTTP client would read
    // them as another address ("010.0.0.1" is 8.0.0.1).
    for (const std::string h :
         {"", "gw.example@127.0.0.1", "host/x", "host:8444", "[gw]", "a..b", "\xff.example",
          "fe80::1%eth0", "0177.0.0.1", "2130706433", "0x7f.1", "127.1", "010.0.0.1", "0x7f000001",
          "127.0.0.1.", "gw.example.42"})
        cases.push_back({host, h});
    const std::string port = std::to_string(gateway.port());
    for (const auto& c : cases) {
        HNASRestAPI session{kJobId};
        hnastest::configureSession(session, gateway);
        (session.*setters[c.first])(c.second);
        std::string v[5] = {"admin", "********", "192.0.2.10", "HNAS", "127.0.0.1"};
        v[c.first] = c.first == password && !c.second.empty() ? "********" : c.second;
        std::vector<std::string> lines = {"Set the server params correctly. Params: [" + v[0] +
                                          ":" + v[1] + ":" + v[2] + ":" + v[3] + ":" + v[4] + ":" +
                                          port + "]"};
        if (c.first <= password && !c.second.empty() &&
            (c.second.front() == ' ' || c.second.back() == ' '))
            lines.push_back("The user name or the password begins or ends with a blank, which "
                            "the request header would not carry.");
        lines.push_back("Incorrect server params. Unable to send the request for Type[1] "
                        "Resource[r] Body[{}]");
        expectRefused(session, "r", 4, lines);
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    // Hosts that real deployments use pass; a bare IPv6 literal goes in brackets.
    const std::pair<std::string, std::string> hosts[] = {
        {"gw_01.corp.example", "gw_01.corp.example"},
        {"192.0.2.5", "192.0.2.5"},
        {"10.example", "10.example"},
        {"xn--mnchen-3ya.example.", "xn--mnchen-3ya.example."},
        {"::1", "[::1]"},
        {"[fe80::1]", "[fe80::1]"},
    };
    for (const auto& host : hosts) {
        log->clear();
        api.setMetroServer(host.first);
        EXPECT_TRUE(api.validateServerParams()) << host.first; // logs nothing
        EXPECT_TRUE(log->records().empty()) << log.dump();
        api.formRequestURL("file-devices");
        EXPECT_EQ(api.getRequestURL(),
                  "https://" + host.second + ":" + port + "/v4/storage/file-devices");
    }
}

TEST_F(RestTest, EmptyAndUnsafeResourcesAreRefusedAndNothingIsSent) {
    expectRefused(api, "", 4, {"Empty Resource. Invalid arguement"});
    // Servers read '\\' as '/' and cut a segment at ';' ("..;" is the parent);
    // an escape is refused when it decodes to what changes the path, or is
    // not one.
    for (const std::string r : {"..",
                                "a/../b",
                                "./a",
                                "a\r\nX-Evil: 1",
                                "#",
                                "a?x=1",
                                "%2e%2e",
                                "filesystem-snapshots/..\\filesystems\\FS1",
                                "filesystem-shares/cifs/SH1/authentications/..;",
                                "a;b/c",
                                "%2F",
                                "a%5C",
                                "%3b",
                                "%3F",
                                "%23",
                                "%0a",
                                "%7f",
                                "a%",
                                "a%4",
                                "a%zz",
                                "%%41"})
        expectRefused(api, r, 4, {"Unsafe Resource[" + r + "]. The request was not sent."});
    gateway.setFallback({200, "odd"});
    // The array's encoded names reach it byte for byte.
    const std::pair<std::string, std::string> sent[] = {
        {"a..b", "a..b"},
        {"...", "..."},
        {"x/\xc3\xa9", "x/%c3%a9"}, // the HTTP client escapes what is not ASCII
        {"filesystem-shares/cifs/SH1/authentications/QUxJQ0U%3D+x",
         "filesystem-shares/cifs/SH1/authentications/QUxJQ0U%3D+x"},
        {"a%2b%7E%41%20", "a%2b%7E%41%20"}};
    for (const auto& [resource, target] : sent) {
        std::string response;
        EXPECT_TRUE(api.get(resource, response, 1)) << log.dump();
        EXPECT_EQ(api.getRequestURL(), gateway.url(resource));
        EXPECT_EQ(gateway.requests().back().target, "/v4/storage/" + target);
    }
    EXPECT_EQ(gateway.requestCount(), 5u);
}

// A writer at a lower level gets exactly the lines of a level-5 writer whose
// level is at most its own, word for word and in the same order: an answer
// shown, a refusal explained, an unexpected status, an empty answer, a long
// body cut.
TEST_F(RestTest, AWriterGetsEveryLineOfItsLevelAndNoOther) {
    const std::string longBody(70 * 1024, 'b');
    gateway.on("GET", "ok", {200, "{\"a\":\"\x1b\"}"});
    gateway.on("POST", "refused", {409, R"({"errorCode": 9, "errorMsg": "no\n"})"});
    gateway.on("POST", "other", {201, "x"});
    gateway.on("GET", "empty", {200, ""});
    const auto sendAll = [&](hnastest::CaptureLog& capture) {
        std::string response;
        api.get("ok", response, 1);
        api.post("refused", longBody, response, 4);
        api.post("other", "{}", response, 1);
        api.get("empty", response, 1);
        std::vector<std::string> lines;
        for (const auto& r : capture->records())
            lines.push_back(std::to_string(r.level) + " " + r.function + " " + r.text);
        return lines;
    };
    log->clear();
    const std::vector<std::string> all = sendAll(log);
    ASSERT_EQ(all.size(), 14u);
    for (int level : {4, 3, 0, -1, -2}) {
        SCOPED_TRACE("writer level " + std::to_string(level));
        std::vector<std::string> expected;
        for (const auto& line : all)
            if (std::stoi(line) <= level)
                expected.push_back(line);
        hnastest::CaptureLog lower(level);
        EXPECT_EQ(sendAll(lower), expected);
    }
}

// The full 64-bit job reaches every line, the client's retry lines included.
TEST_F(RestTest, TheJobReachesEveryLine) {
    RKLibCurlOptions options = RKLibCurl::getOptions();
    options.maxRetries = 1;
    options.retryFirstDelayMs = 1;
    RKLibCurl::setOptions(options);
    gateway.enqueue("GET", "file-devices", {503, ""});
    gateway.on("GET", "file-devices", {200, "{}"});
    log->clear();
    std::string response;
    EXPECT_TRUE(api.get("file-devices", response, 1)) << log.dump();
    size_t retries = 0;
    for (const auto& r : log->records()) {
        retries += r.text.rfind("Retrying GET request", 0) == 0;
        EXPECT_EQ(r.jobId, static_cast<long long>(kJobId)) << r.text;
    }
    EXPECT_EQ(retries, 1u) << log.dump();
}

} // namespace
