// Tests of the host HTTP client RKLibCurl against the scripted HTTPS gateway
// and, for raw answers the gateway cannot script, a bare HTTP listener.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <zlib.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "hnasmgmt/host/RKLibCurl.h"
#include "support/Allocator.h"
#include "support/RawServer.h"
#include "support/TestGateway.h"

using hnastest::t_secret;
using hnastest::t_secretFreed;
using hnastest::TestGateway;
using hnastest::TrustGateway;

namespace {

constexpr const char* kInitHeader = "Content-Type: application/json";
constexpr long long kJobId = 4711;
const char* const k200 = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";

struct Result {
    bool ok = false;
    long status = 0;
    std::string body, error;
    bool takenInPlace = false; // the body was handed over without a copy
};

// One short-lived client per exchange, as the REST session uses it; the body
// is taken over with a parser's padding behind it.
Result send(_http_req_type_ type, const std::string& url, const void* body = nullptr,
            unsigned long length = 0, const std::vector<std::string>& headers = {}) {
    Result r;
    RKLibCurl client;
    EXPECT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    client.SetJobId(kJobId);
    for (const auto& h : headers)
        EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, h.c_str()));
    r.ok = client.RKLibCurlSendHttpReq(type, url.c_str(), body, length, false, nullptr);
    unsigned long len = 123;
    const char* text = client.GetHttpResponse(len, false);
    EXPECT_EQ(text == nullptr, len == 0u);
    const std::string seen = text != nullptr ? std::string(text, len + 1) : std::string(1, '\0');
    client.TakeHttpResponse(r.body, 64);
    EXPECT_EQ(r.body + '\0', seen); // NUL-terminated
    EXPECT_GE(r.body.capacity(), r.body.size() + 64);
    r.takenInPlace = text != nullptr && r.body.data() == text;
    EXPECT_EQ(client.GetHttpResponse(len, false), nullptr);
    r.status = client.GetHttpErrorCode();
    r.error = client.GetLastErrorText();
    return r;
}

// Restores the process-wide options after the test.
class RKLibCurlTest : public ::testing::Test {
protected:
    template <class Change> static void update(Change change) {
        RKLibCurlOptions o = RKLibCurl::getOptions();
        change(o);
        RKLibCurl::setOptions(o);
    }
    static void fastRetries(int maxRetries = 2, long maxDelayMs = 50) {
        update([&](RKLibCurlOptions& o) {
            o.maxRetries = maxRetries;
            o.retryFirstDelayMs = 10;
            o.retryMaxDelayMs = maxDelayMs;
        });
    }
    // An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT").
    static std::string httpDate(std::chrono::system_clock::time_point at) {
        const std::time_t t = std::chrono::system_clock::to_time_t(at);
        std::tm utc{};
        gmtime_r(&t, &utc);
        char text[64];
        return std::string(text,
                           std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc));
    }
    static long long msSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    TestGateway gateway;
    hnastest::ClientOptions saved_{RKLibCurl::getOptions()};
};

// No connection or TLS session opened under an earlier trust is reused: a CA
// file replaced in place counts from the next request on. (The trust options
// themselves: the transport suite.)
TEST_F(RKLibCurlTest, ACaFileReplacedInPlaceCountsFromTheNextRequest) {
    TestGateway second;
    gateway.setFallback({200, "{}"});
    second.on("GET", "x", {200, "{}"});
    char dir[] = "/tmp/hnas-ca-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/ca.pem";
    std::ofstream(path) << std::ifstream(gateway.caFile()).rdbuf();
    update([&](RKLibCurlOptions& o) { o.caFile = path; });
    EXPECT_TRUE(send(HTTP_REQ_TYPE_GET, gateway.url("x")).ok);
    const auto written = std::filesystem::last_write_time(path);
    std::ofstream(path, std::ios::trunc) << std::ifstream(second.caFile()).rdbuf();
    std::filesystem::last_write_time(path, written + std::chrono::seconds(1));
    EXPECT_FALSE(send(HTTP_REQ_TYPE_GET, gateway.url("x")).ok);           // the idle connection
    EXPECT_FALSE(send(HTTP_REQ_TYPE_POST, gateway.url("x"), "{}", 2).ok); // a resumed TLS session
    EXPECT_TRUE(send(HTTP_REQ_TYPE_GET, second.url("x")).ok);
    EXPECT_EQ(gateway.requestCount(), 1u);
    std::filesystem::remove_all(dir);
}

// Verbs and body bytes as given, writes on fresh connections, and sockets
// that a child process does not inherit.
TEST_F(RKLibCurlTest, VerbsBodiesAndConnections) {
    TrustGateway trust(gateway);
    gateway.setFallback({201, "{}"});
    const std::string binary("a\0b\r\n{\"x\":\xff}\0", 14);
    const struct {
        _http_req_type_ type;
        const char *method, *resource;
        std::string body;
    } rows[] = {
        {HTTP_REQ_TYPE_POST, "POST", "p", binary},   {HTTP_REQ_TYPE_PUT, "PUT", "u", binary},
        {HTTP_REQ_TYPE_DELETE, "DELETE", "d", ""},   {HTTP_REQ_TYPE_POST, "POST", "e", ""},
        {HTTP_REQ_TYPE_DELETE, "DELETE", "b", "{}"}, {HTTP_REQ_TYPE_GET, "GET", "g", ""}};
    for (const auto& row : rows)
        EXPECT_TRUE(send(row.type, gateway.url(row.resource),
                         row.body.empty() ? nullptr : row.body.data(), row.body.size())
                        .ok);
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 6u);
    for (size_t i = 0; i < reqs.size(); ++i) {
        EXPECT_EQ(reqs[i].method + " " + reqs[i].path + " " + reqs[i].body,
                  rows[i].method + std::string(" /v4/storage/") + rows[i].resource + " " +
                      rows[i].body);
        EXPECT_EQ(reqs[i].header("Content-Type"), "application/json");
        EXPECT_EQ(reqs[i].header("Expect"), "");
    }
    EXPECT_EQ(reqs[0].header("Content-Length") + reqs[3].header("Content-Length"), "140");
    // Every write goes on a fresh connection (libcurl would silently send it
    // again if a reused one closed before the answer); the GET reuses one.
    EXPECT_EQ(gateway.connectionCount(), 5u);
    // The idle connection is closed on exec: a child the host spawns does not inherit it.
    int connections = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0 &&
            peer.sin_family == AF_INET && ntohs(peer.sin_port) == gateway.port()) {
            ++connections;
            EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "fd " << fd;
        }
    }
    EXPECT_GE(connections, 1);
}

// Status and body of every answer; a body over the size cap, announced or
// chunked, and one in a transfer coding other than chunked (a 64 KiB gzip
// answer unpacks to 64 MiB) fail the exchange, give no body and are not retried.
TEST_F(RKLibCurlTest, StatusAndBodyOfEveryAnswerUpToTheCap) {
    std::string big(3u << 20, 'x');
    for (size_t i = 0; i < big.size(); i += 101)
        big[i] = static_cast<char>('a' + i % 26);
    std::string zeros(64u << 20, '\0'), bomb(1u << 20, '\0');
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(&zeros[0]);
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef*>(&bomb[0]);
    z.avail_out = static_cast<uInt>(bomb.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    bomb.resize(z.total_out);
    deflateEnd(&z);
    auto chunk = [](const std::string& data) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", data.size());
        return size + data + "\r\n";
    };
    const std::string half = chunk(std::string(big.size() / 2, 'c')), end = "0\r\n\r\n";
    const std::string length = "200 OK\r\nContent-Length: " + std::to_string(big.size());
    const unsigned long long kDefaultCap = RKLibCurlOptions().maxResponseBytes;
    const struct {
        unsigned long long cap;
        std::string head, body;
        long status;       // 0: no answer
        const char* error; // in the error text; null: none
    } rows[] = {
        {big.size(), "404 Not Found\r\nContent-Length: 4", "nope", 404, "HTTP status 404"},
        {big.size(), "204 No Content", "", 204, nullptr},
        {big.size(), length, big, 200, nullptr},
        {big.size(), length + "1", big + "!", 0, "cap"},
        {big.size(), "200 OK\r\nTransfer-Encoding: chunked", half + half + chunk("!") + end, 0,
         "cap"},
        {kDefaultCap, "200 OK\r\nTransfer-Encoding: gzip, chunked", chunk(bomb) + end, 0,
         "transfer coding \"gzip, chunked\""},
        {kDefaultCap, "200 OK\r\nTransfer-Encoding: gzip", bomb, 0, "transfer coding \"gzip\""},
        {kDefaultCap, "200 OK\r\nTransfer-Encoding: Chunked", chunk("{}") + end, 200, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.head);
        update([&](RKLibCurlOptions& o) { o.maxResponseBytes = row.cap; });
        hnastest::RawServer server({"HTTP/1.1 " + row.head + "\r\n\r\n" + row.body});
        const Result r = send(HTTP_REQ_TYPE_GET, server.url());
        EXPECT_EQ(r.ok, row.error == nullptr);
        EXPECT_EQ(r.status, row.status);
        const bool chunked = row.head.find("Chunked") != std::string::npos;
        EXPECT_EQ(r.body, row.status == 0 ? "" : chunked ? "{}" : row.body);
        EXPECT_NE(r.error.find(row.error ? row.error : ""), std::string::npos) << r.error;
        EXPECT_EQ(r.takenInPlace, !r.body.empty() && !chunked); // announced: room reserved
        EXPECT_EQ(server.requests(), 1);
    }
}

// Headers go out as appended, until dropped; a line break is refused. The
// client overwrites its copies (they carry the password) before it lets them go.
TEST_F(RKLibCurlTest, HeadersAppendedDroppedAndWiped) {
    TrustGateway trust(gateway);
    gateway.on("GET", "h", {200, "{}"});
    const std::string target = gateway.url("h");
    t_secretFreed = false;
    t_secret = "s3cr3t-Pa55";
    {
        RKLibCurl client;
        ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
        EXPECT_TRUE(
            client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Subsystem-Password:s3cr3t-Pa55"));
        EXPECT_FALSE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, nullptr));
        EXPECT_FALSE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Bad:a\r\nX-Evil:1"));
        EXPECT_FALSE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Bad:a\nX-Evil:1"));
        for (const char* next : {"X-Other:1", "X-Subsystem-Password:s3cr3t-Pa55"}) {
            EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, target.c_str(), nullptr, 0,
                                                    false, nullptr));
            EXPECT_TRUE(client.RKLibCurlFreeHttpHeaderList());
            EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, next));
        }
    }
    t_secret = nullptr;
    EXPECT_FALSE(t_secretFreed);
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].header("X-Subsystem-Password"), "s3cr3t-Pa55");
    EXPECT_EQ(reqs[0].header("X-Evil"), "");
    EXPECT_EQ(reqs[1].header("X-Subsystem-Password"), "");
    EXPECT_EQ(reqs[1].header("X-Other"), "1");
    for (const auto& req : reqs)
        EXPECT_EQ(req.header("Content-Type"), "application/json");
}

// Busy answers to a GET are retried up to maxRetries, after Retry-After up to
// the longest delay. (Which requests are retried, and the retry lines: the
// transport and fault suites.)
TEST_F(RKLibCurlTest, BusyAnswersAreRetriedForGetsOnly) {
    TrustGateway trust(gateway);
    fastRetries(3);
    gateway.setFallback({502, "bad gateway"});
    Result r = send(HTTP_REQ_TYPE_GET, gateway.url("r"));
    EXPECT_TRUE(!r.ok && r.status == 502 && r.body == "bad gateway");
    EXPECT_EQ(gateway.requestCount(), 4u); // maxRetries 3
    // Retry-After, in seconds or as a date, is honoured up to the longest
    // delay; a value that is neither leaves the ordinary back-off (10 ms).
    const std::string soon = httpDate(std::chrono::system_clock::now() + std::chrono::seconds(30));
    const struct {
        std::string retryAfter;
        long maxDelay, atLeastMs, belowMs;
    } rows[] = {
        {"1", 2000, 950, 1800}, {"1", 100, 90, 700}, {soon, 100, 90, 700}, {"soon", 2000, 0, 700}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.retryAfter + " " + std::to_string(row.maxDelay));
        fastRetries(2, row.maxDelay);
        hnastest::RawServer server({"HTTP/1.1 503 Service Unavailable\r\nRetry-After: " +
                                        row.retryAfter + "\r\nContent-Length: 4\r\n\r\nbusy",
                                    k200});
        const auto start = std::chrono::steady_clock::now();
        r = send(HTTP_REQ_TYPE_GET, server.url());
        const long long elapsed = msSince(start);
        EXPECT_TRUE(r.ok && r.status == 200) << r.error;
        EXPECT_EQ(server.requests(), 2);
        EXPECT_GE(elapsed, row.atLeastMs);
        EXPECT_LT(elapsed, row.belowMs);
    }
}

// The request time-out bounds an exchange, retries and back-off included; a
// write that timed out is not sent again. A time-out beyond the clock's
// reach (LONG_MAX) means no limit.
TEST_F(RKLibCurlTest, TheRequestTimeOutBoundsEveryExchange) {
    TrustGateway trust(gateway);
    update([](RKLibCurlOptions& o) {
        o.requestTimeoutMs = 300;
        o.retryFirstDelayMs = 10;
    });
    gateway.setFallback({200, "{}", "application/json", std::chrono::milliseconds(1000)});
    auto start = std::chrono::steady_clock::now();
    Result r = send(HTTP_REQ_TYPE_POST, gateway.url("slow"), "{}", 2);
    EXPECT_TRUE(!r.ok && r.status == 0);
    EXPECT_GE(msSince(start), 250);
    EXPECT_LT(msSince(start), 1500);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(gateway.requests().size(), 1u);

    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 200;
        o.retryMaxDelayMs = 2000;
        o.maxRetries = 50;
        o.requestTimeoutMs = 600;
    });
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(send(HTTP_REQ_TYPE_GET, "https://127.0.0.1:1/x").ok);
    EXPECT_LT(msSince(start), 900);

    update([](RKLibCurlOptions& o) { o.requestTimeoutMs = o.connectTimeoutMs = LONG_MAX; });
    gateway.on("GET", "unhurried", {200, "{}", "application/json", std::chrono::milliseconds(50)});
    r = send(HTTP_REQ_TYPE_GET, gateway.url("unhurried"));
    EXPECT_TRUE(r.ok) << r.error;
}

// An idle client and a scheme other than HTTP(S) send nothing; proxy
// variables and redirects are ignored.
TEST_F(RKLibCurlTest, OnlyTheGivenUrlIsReached) {
    RKLibCurl idle;
    EXPECT_FALSE(idle.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, gateway.url("x").c_str(), nullptr, 0,
                                           false, nullptr));
    EXPECT_EQ(idle.GetHttpErrorCode(), 0);
    idle.RKLibCurlDeInit();
    EXPECT_FALSE(send(HTTP_REQ_TYPE_GET, "file:///etc/passwd").ok);
    hnastest::RawServer server({k200, "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\n"
                                      "Content-Length: 0\r\n\r\n"});
    const std::string deadProxy = std::string("http://127.0.0.1:1");
    for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        ::setenv(name, deadProxy.c_str(), 1);
    const Result r = send(HTTP_REQ_TYPE_GET, server.url());
    for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        ::unsetenv(name);
    EXPECT_TRUE(r.ok && r.status == 200) << r.error;
    EXPECT_EQ(send(HTTP_REQ_TYPE_GET, server.url()).status, 302);
    EXPECT_EQ(server.requests(), 2);
}

TEST(RKLibCurlDeathTest, ClientHeldByStaticObjectIsReleasedAtExit) {
    // At process exit the thread's handle cache goes first; a client in a
    // static object released afterwards must not touch the dead cache.
    EXPECT_EXIT(
        {
            {
                RKLibCurl warmUp; // constructs the thread's cache
                warmUp.RKLibCurlInit(kInitHeader, true, true, nullptr);
            }
            static RKLibCurl held;
            held.RKLibCurlInit(kInitHeader, true, true, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace

// GETs sent ahead hold no more answers than one response cap: with 300 KiB
// answers and a 512 KiB cap, no more than two GETs run ahead of the answer
// taken, where the window alone would allow sixteen; every answer arrives
// whole, in order.
TEST_F(RKLibCurlTest, GetsAheadStayWithinTheBudget) {
    TrustGateway trust(gateway);
    update([](RKLibCurlOptions& o) { o.maxResponseBytes = 512 * 1024; });
    std::vector<std::string> urls;
    for (int i = 0; i < 24; ++i) {
        gateway.on("GET", "big/" + std::to_string(i),
                   {200, std::string(300 * 1024, static_cast<char>('a' + i % 26))});
        urls.push_back(gateway.url("big/" + std::to_string(i)));
    }
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    std::unique_ptr<RKLibCurlGets> gets = client.RKLibCurlStartGets(urls, 16);
    ASSERT_TRUE(gets);
    for (size_t i = 0; i < urls.size(); ++i) {
        RKLibCurlResult r;
        ASSERT_TRUE(gets->take(i, r)) << i;
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body, std::string(300 * 1024, static_cast<char>('a' + i % 26)));
        EXPECT_LE(gateway.requestCount(), i + 4) << "answers held ahead of " << i;
    }
    // Until an answer shows the size, one GET ahead may be refused and sent again.
    EXPECT_LE(gateway.requestCount(), urls.size() + 1);
}
