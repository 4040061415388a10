// Tests of the host HTTP client RKLibCurl against the scripted HTTPS gateway
// and, for raw answers the gateway cannot script, a bare HTTP listener.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hnasmgmt/host/RKLibCurl.h"
#include "support/CaptureLog.h"
#include "support/RawServer.h"
#include "support/TestGateway.h"

using hnastest::ScriptedResponse;
using hnastest::TestGateway;
using hnastest::TrustGateway;

// While t_secret is set, every heap block this thread gives back is searched
// for it before it is freed: the client must overwrite its copies first.
thread_local const char* t_secret = nullptr;
thread_local bool t_secretFreed = false;

void* operator new(std::size_t n) {
    if (void* p = std::malloc(n != 0 ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n != 0 ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n != 0 ? n : 1);
}
static void releaseBlock(void* p) noexcept {
    if (p != nullptr && t_secret != nullptr &&
        std::string_view(static_cast<const char*>(p), malloc_usable_size(p)).find(t_secret) !=
            std::string_view::npos)
        t_secretFreed = true;
    std::free(p);
}
void operator delete(void* p) noexcept {
    releaseBlock(p);
}
void operator delete[](void* p) noexcept {
    releaseBlock(p);
}
void operator delete(void* p, std::size_t) noexcept {
    releaseBlock(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    releaseBlock(p);
}

namespace {

constexpr const char* kInitHeader = "Content-Type: application/json";
constexpr const char* kSendFunction = "RKLibCurl::RKLibCurlSendHttpReq";
constexpr long long kJobId = 4711;
const char* const k200 = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";

struct Result {
    bool ok = false;
    long status = 0;
    std::string body;
    bool bodyNull = true;
    bool takenInPlace = false;
    std::string error;
};

// One short-lived client per exchange, as the REST session uses it.
Result send(_http_req_type_ type, const std::string& url, const void* body = nullptr,
            unsigned long length = 0, const std::vector<std::string>& headers = {}) {
    Result r;
    RKLibCurl client;
    EXPECT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    client.SetJobId(kJobId);
    EXPECT_TRUE(client.RKLibCurlFreeHttpHeaderList());
    for (const auto& h : headers)
        EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, h.c_str()));
    r.ok = client.RKLibCurlSendHttpReq(type, url.c_str(), body, length, false, nullptr);
    unsigned long len = 123;
    const char* text = client.GetHttpResponse(len, false);
    r.bodyNull = text == nullptr;
    if (text != nullptr) {
        r.body.assign(text, len);
        EXPECT_EQ(text[len], '\0');
    } else {
        EXPECT_EQ(len, 0u);
    }
    // The body is handed over in place, with the parser's padding behind it.
    std::string taken = "old";
    client.TakeHttpResponse(taken, 64);
    EXPECT_EQ(taken, r.body);
    EXPECT_GE(taken.capacity(), taken.size() + 64);
    r.takenInPlace = text != nullptr && taken.data() == text;
    EXPECT_EQ(client.GetHttpResponse(len, false), nullptr);
    r.status = client.GetHttpErrorCode();
    r.error = client.GetLastErrorText();
    client.RKLibCurlDeInit();
    return r;
}

// Saves the process-wide options and restores them after the test.
class RKLibCurlTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = RKLibCurl::getOptions(); }
    void TearDown() override { RKLibCurl::setOptions(saved_); }

    static void update(const std::function<void(RKLibCurlOptions&)>& change) {
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
    std::string url(const std::string& resource, const TestGateway* gw = nullptr) const {
        return "https://127.0.0.1:" + std::to_string((gw ? gw : &gateway)->port()) +
               "/v4/storage/" + resource;
    }
    Result exchange(_http_req_type_ type, const std::string& resource, const void* body = nullptr,
                    unsigned long length = 0, const std::vector<std::string>& headers = {}) const {
        return send(type, url(resource), body, length, headers);
    }
    static std::string refusedUrl(const char* scheme = "https") {
        int port = 0;
        {
            TestGateway gone;
            port = gone.port();
        }
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
    }
    static long long msSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    TestGateway gateway;
    RKLibCurlOptions saved_;
};

// The default options verify the certificate: the self-signed gateway is
// refused until its CA file or its pin is given; every new connection is
// judged under the trust settings of its own time.
TEST_F(RKLibCurlTest, TrustDecidesEveryConnection) {
    RKLibCurl::setOptions(RKLibCurlOptions{});
    gateway.on("GET", "x", {200, "{\"ok\":1}"});
    Result r = exchange(HTTP_REQ_TYPE_GET, "x");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.bodyNull);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(gateway.requestCount(), 0u);

    TrustGateway trust(gateway);
    r = exchange(HTTP_REQ_TYPE_GET, "x");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "{\"ok\":1}");
    EXPECT_TRUE(r.error.empty());
    // Without the CA file, the open connection verified under it is not reused.
    update([](RKLibCurlOptions& o) { o.caFile.clear(); });
    EXPECT_FALSE(exchange(HTTP_REQ_TYPE_GET, "x").ok);
    update([&](RKLibCurlOptions& o) {
        o.caFile = gateway.caFile();
        o.pinnedPublicKey = gateway.pin();
    });
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_GET, "x").ok);
    // A wrong pin, same CA: the cached verified connection must not be reused.
    update([](RKLibCurlOptions& o) {
        o.pinnedPublicKey = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    });
    r = exchange(HTTP_REQ_TYPE_GET, "x");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(gateway.requestCount(), 2u);
}

// A CA file replaced in place retires the connections and TLS sessions made
// under the old one: neither an idle connection nor a resumed session lets
// the gateway it no longer trusts through.
TEST_F(RKLibCurlTest, CaFileReplacedInPlaceCountsForNewConnections) {
    TestGateway second;
    char dir[] = "/tmp/hnas-ca-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/ca.pem";
    auto copyFile = [&](const std::string& from) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            << std::ifstream(from, std::ios::binary).rdbuf();
    };
    copyFile(gateway.caFile());
    update([&](RKLibCurlOptions& o) { o.caFile = path; });
    gateway.setFallback({200, "{}"});
    second.on("GET", "x", {200, "{}"});
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_GET, "x").ok);
    const auto written = std::filesystem::last_write_time(path);
    copyFile(second.caFile()); // same name, other trust anchor
    std::filesystem::last_write_time(path, written + std::chrono::seconds(1));
    EXPECT_FALSE(exchange(HTTP_REQ_TYPE_GET, "x").ok);
    EXPECT_FALSE(exchange(HTTP_REQ_TYPE_POST, "x", "{}", 2).ok);
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_TRUE(send(HTTP_REQ_TYPE_GET, url("x", &second)).ok);
    std::remove(path.c_str());
    ::rmdir(dir);
}

TEST_F(RKLibCurlTest, VerbsAndExactBodyBytes) {
    TrustGateway trust(gateway);
    gateway.setFallback({201, "{}"});
    const std::string binary("a\0b\r\n{\"x\":\xff}\0", 14);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_POST, "p", binary.data(), binary.size()).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_PUT, "u", binary.data(), binary.size()).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_DELETE, "d").ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_POST, "empty", nullptr, 0).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_DELETE, "db", "{}", 2).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_GET, "g").ok);
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 6u);
    const std::string expected[][3] = {{"POST", "p", binary},  {"PUT", "u", binary},
                                       {"DELETE", "d", ""},    {"POST", "empty", ""},
                                       {"DELETE", "db", "{}"}, {"GET", "g", ""}};
    for (size_t i = 0; i < reqs.size(); ++i) {
        EXPECT_EQ(reqs[i].method, expected[i][0]);
        EXPECT_EQ(reqs[i].path, "/v4/storage/" + expected[i][1]);
        EXPECT_EQ(reqs[i].body, expected[i][2]);
        EXPECT_EQ(reqs[i].header("Content-Type"), "application/json");
        EXPECT_FALSE(reqs[i].hasHeader("Expect"));
    }
    EXPECT_EQ(reqs[0].header("Content-Length"), "14");
    EXPECT_EQ(reqs[3].header("Content-Length"), "0");
    // Every write goes on a fresh connection (libcurl would silently send it
    // again if a reused one closed before the answer); the GET reuses one.
    EXPECT_EQ(gateway.connectionCount(), 5u);
}

// Status and body of every answer; a body over the size cap, announced or
// chunked, fails the exchange and gives no body.
TEST_F(RKLibCurlTest, StatusAndBodyOfEveryAnswerUpToTheCap) {
    TrustGateway trust(gateway);
    std::string big(3u << 20, 'x');
    for (size_t i = 0; i < big.size(); i += 101)
        big[i] = static_cast<char>('a' + i % 26);
    update([&](RKLibCurlOptions& o) { o.maxResponseBytes = big.size(); });
    struct Case {
        ScriptedResponse answer;
        _http_req_type_ type;
        bool ok;
    };
    const Case cases[] = {{{404, "{\"errorMessage\":\"nope\"}"}, HTTP_REQ_TYPE_GET, false},
                          {{204, ""}, HTTP_REQ_TYPE_DELETE, true},
                          {{200, big}, HTTP_REQ_TYPE_GET, true},
                          {{200, big + "!"}, HTTP_REQ_TYPE_GET, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.body.size());
        gateway.setFallback(c.answer);
        const Result r = exchange(c.type, "r");
        EXPECT_EQ(r.ok, c.ok) << r.error;
        EXPECT_EQ(r.body, c.ok || c.answer.status != 200 ? c.answer.body : "");
        EXPECT_EQ(r.bodyNull, r.body.empty());
        EXPECT_EQ(r.takenInPlace, !r.body.empty()); // announced lengths: room reserved
        EXPECT_EQ(r.error.find("cap") != std::string::npos, c.answer.body.size() > big.size());
    }
    std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 7; ++i)
        chunked += "80000\r\n" + std::string(0x80000, 'c') + "\r\n";
    hnastest::RawServer server({chunked + "0\r\n\r\n"});
    const Result r = send(HTTP_REQ_TYPE_GET, server.url());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.error.find("cap"), std::string::npos) << r.error;
}

// An answer in a transfer coding other than chunked is refused before any of
// it is decoded (a 64 KiB gzip answer would unpack to 64 MiB), and not retried.
TEST_F(RKLibCurlTest, TransferCodingsOtherThanChunkedAreRefused) {
    update([](RKLibCurlOptions& o) { o.requestTimeoutMs = 3000; });
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
    const std::string zeros(1u << 20, '\0');
    std::string bomb(1u << 20, '\0');
    z.next_out = reinterpret_cast<Bytef*>(&bomb[0]);
    z.avail_out = static_cast<uInt>(bomb.size());
    for (int i = 0; i < 64; ++i) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = static_cast<uInt>(zeros.size());
        deflate(&z, i == 63 ? Z_FINISH : Z_NO_FLUSH);
    }
    bomb.resize(z.total_out);
    deflateEnd(&z);
    ASSERT_LE(bomb.size(), 70000u);
    auto chunk = [](const std::string& data) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", data.size());
        return size + data + "\r\n0\r\n\r\n";
    };
    struct Case {
        const char* coding;
        std::string body;
        bool ok;
    };
    const Case cases[] = {{"gzip, chunked", chunk(bomb), false},
                          {"gzip", bomb, false},
                          {"Chunked", chunk("{}"), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.coding);
        hnastest::RawServer server({std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: ") +
                                    c.coding + "\r\n\r\n" + c.body});
        const Result r = send(HTTP_REQ_TYPE_GET, server.url());
        EXPECT_EQ(r.ok, c.ok) << r.error;
        EXPECT_EQ(r.status, c.ok ? 200 : 0);
        EXPECT_EQ(r.body, c.ok ? "{}" : "");
        EXPECT_EQ(r.error.find("transfer coding \"" + std::string(c.coding) + "\"") ==
                      std::string::npos,
                  c.ok)
            << r.error;
        EXPECT_EQ(server.requests(), 1);
    }
}

// A child the host spawns does not inherit the idle gateway connection.
TEST_F(RKLibCurlTest, ConnectionsAreClosedOnExec) {
    TrustGateway trust(gateway);
    gateway.on("GET", "x", {200, "{}"});
    ASSERT_TRUE(exchange(HTTP_REQ_TYPE_GET, "x").ok);
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

// The client overwrites its copies of the password header before it lets
// them go: when the headers are replaced and when the client ends.
TEST_F(RKLibCurlTest, PasswordHeaderCopiesAreWipedWhenDropped) {
    TrustGateway trust(gateway);
    gateway.on("GET", "p", {200, "{}"});
    const std::string target = url("p");
    t_secretFreed = false;
    t_secret = "s3cr3t-wipe-me";
    {
        RKLibCurl client;
        ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(client.RKLibCurlFreeHttpHeaderList());
            EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM,
                                                     "X-Subsystem-Password:s3cr3t-wipe-me"));
            EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, target.c_str(), nullptr, 0,
                                                    false, nullptr));
        }
    }
    t_secret = nullptr;
    EXPECT_FALSE(t_secretFreed);
    EXPECT_EQ(gateway.requests().at(1).header("X-Subsystem-Password"), "s3cr3t-wipe-me");
}

TEST_F(RKLibCurlTest, ConnectionsAreReusedPerThread) {
    TrustGateway trust(gateway);
    gateway.on("GET", "file-devices", {200, "{\"n\":1}"});
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(exchange(HTTP_REQ_TYPE_GET, "file-devices").ok);
    EXPECT_EQ(gateway.connectionCount(), 1u);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i)
                failures += exchange(HTTP_REQ_TYPE_GET, "file-devices").status != 200;
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(gateway.requestCount(), 170u);
    EXPECT_LE(gateway.connectionCount(), 9u);
}

TEST_F(RKLibCurlTest, HeadersAppendedAndDropped) {
    TrustGateway trust(gateway);
    gateway.on("GET", "h", {200, "{}"});
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Subsystem-User:admin"));
    EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Subsystem-Password:pw"));
    EXPECT_FALSE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, nullptr));
    EXPECT_FALSE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Bad:a\r\nX-Evil:1"));
    EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("h").c_str(), nullptr, 0, false,
                                            nullptr));
    EXPECT_TRUE(client.RKLibCurlFreeHttpHeaderList());
    EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Other:1"));
    EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("h").c_str(), nullptr, 0, false,
                                            nullptr));
    client.RKLibCurlDeInit();
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].header("X-Subsystem-User"), "admin");
    EXPECT_EQ(reqs[0].header("X-Subsystem-Password"), "pw");
    EXPECT_FALSE(reqs[0].hasHeader("X-Evil"));
    EXPECT_FALSE(reqs[1].hasHeader("X-Subsystem-User"));
    EXPECT_FALSE(reqs[1].hasHeader("X-Subsystem-Password"));
    EXPECT_EQ(reqs[1].header("X-Other"), "1");
    for (const auto& req : reqs)
        EXPECT_EQ(req.header("Content-Type"), "application/json");
}

TEST_F(RKLibCurlTest, IdleClientsOtherSchemesAndWriteCallbacks) {
    RKLibCurl idle;
    EXPECT_FALSE(
        idle.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("x").c_str(), nullptr, 0, false, nullptr));
    EXPECT_EQ(idle.GetHttpErrorCode(), 0);
    unsigned long len = 7;
    EXPECT_EQ(idle.GetHttpResponse(len, false), nullptr);
    EXPECT_EQ(len, 0u);
    idle.RKLibCurlDeInit();
    idle.RKLibCurlDeInit(); // twice is harmless
    const Result r = send(HTTP_REQ_TYPE_GET, "file:///etc/passwd");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.bodyNull);

    TrustGateway trust(gateway); // a write callback receives the body
    gateway.on("GET", "cb", {200, "callback body"});
    static std::string received;
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, false, true,
                                     [](char* data, size_t size, size_t count, void*) {
                                         received.append(data, size * count);
                                         return size * count;
                                     }));
    EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("cb").c_str(), nullptr, 0, false,
                                            nullptr));
    EXPECT_EQ(received, "callback body");
}

// 429, 502, 503 and 504 answers to a GET are retried, with a line that names
// the status and never the password; a write is sent once.
TEST_F(RKLibCurlTest, BusyAnswersAreRetriedForGetsOnly) {
    TrustGateway trust(gateway);
    hnastest::CaptureLog log(5);
    fastRetries(3);
    gateway.enqueue("GET", "r", {503, "busy"});
    gateway.on("GET", "r", {200, "{\"fine\":1}"});
    Result r = exchange(HTTP_REQ_TYPE_GET, "r", nullptr, 0, {"X-Subsystem-Password:s3cr3t-Pa55"});
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.body, "{\"fine\":1}");
    EXPECT_EQ(gateway.requestCount(), 2u);
    int retries = 0;
    for (const auto& rec : log->records()) {
        EXPECT_EQ(rec.text.find("s3cr3t"), std::string::npos) << rec.text;
        retries += rec.function == kSendFunction && rec.level == -1 && rec.jobId == kJobId &&
                   rec.text.find("503") != std::string::npos;
    }
    EXPECT_EQ(retries, 1);

    gateway.reset();
    gateway.setFallback({502, "bad gateway"});
    r = exchange(HTTP_REQ_TYPE_GET, "r");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 502);
    EXPECT_EQ(r.body, "bad gateway");
    EXPECT_EQ(gateway.requestCount(), 4u); // maxRetries 3
    gateway.reset();
    gateway.setFallback({503, "busy"});
    for (_http_req_type_ type : {HTTP_REQ_TYPE_POST, HTTP_REQ_TYPE_DELETE, HTTP_REQ_TYPE_PUT}) {
        r = exchange(type, "w", "{}", 2);
        EXPECT_TRUE(!r.ok && r.status == 503) << "type " << type;
    }
    EXPECT_EQ(gateway.requestCount(), 3u);
}

TEST_F(RKLibCurlTest, RefusedConnectionIsRetriedThenReportedForEveryVerb) {
    hnastest::CaptureLog log(5);
    update([](RKLibCurlOptions& o) { // the default maxRetries: 2
        o.retryFirstDelayMs = 10;
        o.retryMaxDelayMs = 50;
    });
    const std::string dead = refusedUrl() + "/v4/storage/x";
    for (_http_req_type_ type : {HTTP_REQ_TYPE_GET, HTTP_REQ_TYPE_POST}) {
        log->clear();
        const Result r = send(type, dead, "{}", 2);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.status, 0);
        EXPECT_FALSE(r.error.empty());
        int retries = 0;
        for (const auto& rec : log->records())
            retries += rec.function == kSendFunction && rec.level == -1 &&
                       rec.text.find("Retrying") != std::string::npos;
        EXPECT_EQ(retries, 2) << "type " << type;
    }
}

// The request time-out bounds an exchange, retries and back-off included; a
// write that timed out is not sent again.
TEST_F(RKLibCurlTest, TheRequestTimeOutBoundsEveryExchange) {
    TrustGateway trust(gateway);
    update([](RKLibCurlOptions& o) {
        o.requestTimeoutMs = 300;
        o.retryFirstDelayMs = 10;
    });
    gateway.setFallback({200, "{}", "application/json", std::chrono::milliseconds(1000)});
    for (_http_req_type_ type : {HTTP_REQ_TYPE_GET, HTTP_REQ_TYPE_POST}) {
        const auto start = std::chrono::steady_clock::now();
        const Result r = exchange(type, "slow", "{}", 2);
        const long long elapsed = msSince(start);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.status, 0);
        EXPECT_GE(elapsed, 250);
        EXPECT_LT(elapsed, 1500);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(gateway.requests().size(), 2u);

    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 200;
        o.retryMaxDelayMs = 2000;
        o.maxRetries = 50;
        o.requestTimeoutMs = 600;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(send(HTTP_REQ_TYPE_GET, refusedUrl()).ok);
    EXPECT_LT(msSince(start), 900);

    update([](RKLibCurlOptions& o) { // no limit at all
        o.requestTimeoutMs = LONG_MAX;
        o.connectTimeoutMs = LONG_MAX;
    });
    gateway.on("GET", "unhurried", {200, "{}", "application/json", std::chrono::milliseconds(50)});
    const Result r = exchange(HTTP_REQ_TYPE_GET, "unhurried");
    EXPECT_TRUE(r.ok) << r.error;
}

TEST_F(RKLibCurlTest, RetryAfterIsHonouredUpToTheMaximumDelay) {
    const char* const busy =
        "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Length: 4\r\n\r\nbusy";
    for (long maxDelay : {2000L, 100L}) {
        SCOPED_TRACE(maxDelay);
        fastRetries(2, maxDelay);
        hnastest::RawServer server({busy, k200});
        const auto start = std::chrono::steady_clock::now();
        const Result r = send(HTTP_REQ_TYPE_GET, server.url());
        const long long elapsed = msSince(start);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(server.requests(), 2);
        EXPECT_GE(elapsed, maxDelay == 100 ? 90 : 950);
        EXPECT_LT(elapsed, maxDelay == 100 ? 700 : 1800);
    }
}

TEST_F(RKLibCurlTest, ProxyVariablesAndRedirectsAreIgnored) {
    hnastest::RawServer server({k200, "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\n"
                                      "Content-Length: 0\r\n\r\n"});
    const std::string deadProxy = refusedUrl("http");
    for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        ::setenv(name, deadProxy.c_str(), 1);
    const Result r = send(HTTP_REQ_TYPE_GET, server.url());
    for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        ::unsetenv(name);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 200);
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
