// Tests of the host HTTP client RKLibCurl against the scripted HTTPS gateway.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hnasmgmt/host/RKLibCurl.h"
#include "support/CaptureLog.h"
#include "support/TestGateway.h"

using hnastest::ScriptedResponse;
using hnastest::TestGateway;
using hnastest::TrustGateway;

namespace {

constexpr const char* kInitHeader = "Content-Type: application/json";
constexpr const char* kSendFunction = "RKLibCurl::RKLibCurlSendHttpReq";

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

    std::string url(const std::string& resource) const {
        return "https://127.0.0.1:" + std::to_string(gateway.port()) + "/v4/storage/" + resource;
    }

    struct Result {
        bool ok = false;
        long status = 0;
        std::string body;
        bool bodyNull = true;
        std::string error;
    };

    // One short-lived client per exchange, as the REST session uses it.
    Result exchange(_http_req_type_ type, const std::string& resource, const void* body = nullptr,
                    unsigned long length = 0,
                    const std::vector<std::string>& headers = {}) const {
        Result r;
        RKLibCurl client;
        EXPECT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
        EXPECT_TRUE(client.RKLibCurlFreeHttpHeaderList());
        for (const auto& h : headers) {
            EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, h.c_str()));
        }
        r.ok = client.RKLibCurlSendHttpReq(type, url(resource).c_str(), body, length, false,
                                           nullptr);
        unsigned long len = 123;
        const char* text = client.GetHttpResponse(len, false);
        r.bodyNull = text == nullptr;
        if (text != nullptr) {
            r.body.assign(text, len);
            EXPECT_EQ(text[len], '\0');
        } else {
            EXPECT_EQ(len, 0u);
        }
        r.status = client.GetHttpErrorCode();
        r.error = client.GetLastErrorText();
        client.RKLibCurlDeInit();
        return r;
    }

    static int refusedPort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        socklen_t len = sizeof addr;
        EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        const int port = ntohs(addr.sin_port);
        ::close(fd);
        return port;
    }

    static long long msSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    TestGateway gateway;
    RKLibCurlOptions saved_;
};

ScriptedResponse answer(int status, std::string body = "{}") {
    ScriptedResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}


// A plain-HTTP server on 127.0.0.1 that answers with raw scripted responses
// (the last one repeats), for what the HTTPS gateway cannot script: response
// headers such as Retry-After, and chunked bodies.
class RawHttpServer {
public:
    explicit RawHttpServer(std::vector<std::string> responses) : responses_(std::move(responses)) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listenFd_, 16) != 0) {
            ADD_FAILURE() << "cannot listen";
        }
        socklen_t len = sizeof addr;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~RawHttpServer() {
        stop_ = true;
        thread_.join();
        ::close(listenFd_);
    }
    int port() const { return port_; }
    int requests() const { return requests_.load(); }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/x"; }

private:
    void run() {
        while (!stop_) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd < 0) continue;
            serve(fd);
            ::close(fd);
        }
    }
    void serve(int fd) {
        std::string in;
        while (!stop_) {
            const size_t end = in.find("\r\n\r\n");
            if (end == std::string::npos) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                char buf[4096];
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) return;
                in.append(buf, static_cast<size_t>(n));
                continue;
            }
            in.erase(0, end + 4); // requests carry no body in these tests
            const int index = requests_++;
            const std::string& out =
                responses_[std::min<size_t>(static_cast<size_t>(index), responses_.size() - 1)];
            size_t sent = 0;
            while (sent < out.size()) {
                const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return;
                sent += static_cast<size_t>(n);
            }
        }
    }

    std::vector<std::string> responses_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

} // namespace

TEST_F(RKLibCurlTest, DefaultOptions) {
    RKLibCurlOptions d;
    EXPECT_TRUE(d.verifyPeer);
    EXPECT_TRUE(d.verifyHost);
    EXPECT_TRUE(d.caFile.empty());
    EXPECT_TRUE(d.proxy.empty());
    EXPECT_EQ(d.maxRetries, 2);
    EXPECT_EQ(d.retryFirstDelayMs, 200);
    EXPECT_EQ(d.retryMaxDelayMs, 2000);
}

TEST_F(RKLibCurlTest, UntrustedCertificateIsRefusedByDefault) {
    RKLibCurl::setOptions(RKLibCurlOptions{});
    gateway.on("GET", "file-devices", answer(200, "{\"ok\":1}"));
    const Result r = exchange(HTTP_REQ_TYPE_GET, "file-devices");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.bodyNull);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(gateway.requestCount(), 0u);
}

TEST_F(RKLibCurlTest, AcceptedWithTheGatewaysCaFile) {
    TrustGateway trust(gateway);
    gateway.on("GET", "file-devices", answer(200, "{\"ok\":1}"));
    const Result r = exchange(HTTP_REQ_TYPE_GET, "file-devices");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "{\"ok\":1}");
    EXPECT_TRUE(r.error.empty());
    ASSERT_EQ(gateway.requestCount(), 1u);
    const auto req = gateway.requests()[0];
    EXPECT_EQ(req.method, "GET");
    EXPECT_EQ(req.path, "/v4/storage/file-devices");
    EXPECT_EQ(req.header("Content-Type"), "application/json");
    EXPECT_FALSE(req.hasHeader("Expect"));
}

TEST_F(RKLibCurlTest, RightPinAcceptedWrongPinRefused) {
    TrustGateway trust(gateway);
    gateway.on("GET", "file-devices", answer(200, "{}"));
    update([&](RKLibCurlOptions& o) { o.pinnedPublicKey = gateway.pin(); });
    Result r = exchange(HTTP_REQ_TYPE_GET, "file-devices");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 200);

    // A wrong pin, same CA: the cached verified connection must not be reused.
    update([](RKLibCurlOptions& o) {
        o.pinnedPublicKey = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    });
    r = exchange(HTTP_REQ_TYPE_GET, "file-devices");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(gateway.requestCount(), 1u);
}

TEST_F(RKLibCurlTest, TrustChangeAfterVerifiedConnectionIsHonoured) {
    TrustGateway trust(gateway);
    gateway.on("GET", "x", answer(200, "{}"));
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_GET, "x").ok);
    // Drop the CA: the open connection was verified under the old trust settings.
    update([](RKLibCurlOptions& o) { o.caFile.clear(); });
    const Result r = exchange(HTTP_REQ_TYPE_GET, "x");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(gateway.requestCount(), 1u);
}

TEST_F(RKLibCurlTest, GatewayThatNeverAnswersEndsInTheRequestTimeOut) {
    TrustGateway trust(gateway);
    ScriptedResponse slow = answer(200, "{}");
    slow.delay = std::chrono::milliseconds(3000);
    gateway.on("GET", "slow", slow);
    update([](RKLibCurlOptions& o) { o.requestTimeoutMs = 300; });
    const auto start = std::chrono::steady_clock::now();
    const Result r = exchange(HTTP_REQ_TYPE_GET, "slow");
    const long long elapsed = msSince(start);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 1500);
}

TEST_F(RKLibCurlTest, ResponseOverTheCapFails) {
    TrustGateway trust(gateway);
    gateway.on("GET", "big", answer(200, std::string(5000, 'b')));
    gateway.on("GET", "exact", answer(200, std::string(1000, 'e')));
    update([](RKLibCurlOptions& o) { o.maxResponseBytes = 1000; });
    Result r = exchange(HTTP_REQ_TYPE_GET, "big");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.bodyNull);
    EXPECT_NE(r.error.find("cap"), std::string::npos) << r.error;
    r = exchange(HTTP_REQ_TYPE_GET, "exact");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.body.size(), 1000u);
}

TEST_F(RKLibCurlTest, LargeResponseIntact) {
    TrustGateway trust(gateway);
    std::string big(3u << 20, 'x');
    for (size_t i = 0; i < big.size(); i += 101) big[i] = static_cast<char>('a' + i % 26);
    gateway.on("GET", "big", answer(200, big));
    const Result r = exchange(HTTP_REQ_TYPE_GET, "big");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.body, big);
}

TEST_F(RKLibCurlTest, SequentialClientsOnOneThreadShareOneConnection) {
    TrustGateway trust(gateway);
    gateway.on("GET", "file-devices", answer(200, "{}"));
    for (int i = 0; i < 10; ++i) {
        const Result r = exchange(HTTP_REQ_TYPE_GET, "file-devices");
        EXPECT_TRUE(r.ok) << r.error;
    }
    EXPECT_EQ(gateway.requestCount(), 10u);
    EXPECT_EQ(gateway.connectionCount(), 1u);
}

TEST_F(RKLibCurlTest, EightThreadsInParallel) {
    TrustGateway trust(gateway);
    gateway.on("GET", "file-devices", answer(200, "{\"n\":1}"));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                RKLibCurl client;
                if (!client.RKLibCurlInit(kInitHeader, true, true, nullptr) ||
                    !client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("file-devices").c_str(),
                                                 nullptr, 0, false, nullptr) ||
                    client.GetHttpErrorCode() != 200) {
                    ++failures;
                }
                client.RKLibCurlDeInit();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(gateway.requestCount(), 160u);
    EXPECT_LE(gateway.connectionCount(), 8u);
}

TEST_F(RKLibCurlTest, ClientErrorGivesFalseStatusAndBody) {
    TrustGateway trust(gateway);
    gateway.on("GET", "missing", answer(404, "{\"errorMessage\":\"nope\"}"));
    const Result r = exchange(HTTP_REQ_TYPE_GET, "missing");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.body, "{\"errorMessage\":\"nope\"}");
}

TEST_F(RKLibCurlTest, NoBodyGivesNullAndZeroLength) {
    TrustGateway trust(gateway);
    gateway.on("DELETE", "shares/1", answer(204, ""));
    const Result r = exchange(HTTP_REQ_TYPE_DELETE, "shares/1");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 204);
    EXPECT_TRUE(r.bodyNull);
}

TEST_F(RKLibCurlTest, VerbsAndExactBodyBytes) {
    TrustGateway trust(gateway);
    gateway.setFallback(answer(201, "{}"));
    const std::string binary("a\0b\r\n{\"x\":\xff}\0", 14);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_POST, "p", binary.data(), binary.size()).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_PUT, "u", binary.data(), binary.size()).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_DELETE, "d").ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_POST, "empty", nullptr, 0).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_DELETE, "db", "{}", 2).ok);
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_GET, "g").ok);
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 6u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].body, binary);
    EXPECT_EQ(reqs[0].header("Content-Length"), "14");
    EXPECT_EQ(reqs[1].method, "PUT");
    EXPECT_EQ(reqs[1].body, binary);
    EXPECT_EQ(reqs[2].method, "DELETE");
    EXPECT_EQ(reqs[2].body, "");
    EXPECT_EQ(reqs[3].method, "POST");
    EXPECT_EQ(reqs[3].body, "");
    EXPECT_EQ(reqs[3].header("Content-Length"), "0");
    EXPECT_EQ(reqs[4].method, "DELETE");
    EXPECT_EQ(reqs[4].body, "{}");
    EXPECT_EQ(reqs[5].method, "GET");
    EXPECT_EQ(reqs[5].path, "/v4/storage/g");
    // Every write goes on a fresh connection (libcurl would silently send it
    // again if a reused one closed before the answer); the GET reuses one.
    EXPECT_EQ(gateway.connectionCount(), 5u);
}

TEST_F(RKLibCurlTest, HeadersAppendedAndDropped) {
    TrustGateway trust(gateway);
    gateway.on("GET", "h", answer(200, "{}"));
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Subsystem-User:admin"));
    EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Subsystem-Password:pw"));
    EXPECT_FALSE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, nullptr));
    EXPECT_FALSE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Bad:a\r\nX-Evil:1"));
    EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("h").c_str(), nullptr, 0,
                                            false, nullptr));
    EXPECT_TRUE(client.RKLibCurlFreeHttpHeaderList());
    EXPECT_TRUE(client.RKLibCurlAppendHeader(HTTP_HDR_TYPE_CUSTOM, "X-Other:1"));
    EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("h").c_str(), nullptr, 0,
                                            false, nullptr));
    client.RKLibCurlDeInit();
    const auto reqs = gateway.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].header("X-Subsystem-User"), "admin");
    EXPECT_EQ(reqs[0].header("X-Subsystem-Password"), "pw");
    EXPECT_FALSE(reqs[0].hasHeader("X-Evil"));
    EXPECT_EQ(reqs[0].header("Content-Type"), "application/json");
    EXPECT_FALSE(reqs[1].hasHeader("X-Subsystem-User"));
    EXPECT_FALSE(reqs[1].hasHeader("X-Subsystem-Password"));
    EXPECT_EQ(reqs[1].header("X-Other"), "1");
    EXPECT_EQ(reqs[1].header("Content-Type"), "application/json");
}

TEST_F(RKLibCurlTest, SendWithoutInitFails) {
    RKLibCurl client;
    EXPECT_FALSE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("x").c_str(), nullptr, 0,
                                             false, nullptr));
    EXPECT_EQ(client.GetHttpErrorCode(), 0);
    unsigned long len = 7;
    EXPECT_EQ(client.GetHttpResponse(len, false), nullptr);
    EXPECT_EQ(len, 0u);
    client.RKLibCurlDeInit();
    client.RKLibCurlDeInit(); // twice is harmless
}

TEST_F(RKLibCurlTest, WriteCallbackReceivesTheBody) {
    TrustGateway trust(gateway);
    gateway.on("GET", "cb", answer(200, "callback body"));
    static std::string received;
    received.clear();
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, false, true,
                                     [](char* data, size_t size, size_t count, void*) {
                                         received.append(data, size * count);
                                         return size * count;
                                     }));
    EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url("cb").c_str(), nullptr, 0,
                                            false, nullptr));
    EXPECT_EQ(received, "callback body");
}

TEST_F(RKLibCurlTest, GetAnswered503ThenOkIsRetried) {
    TrustGateway trust(gateway);
    hnastest::CaptureLog log(5);
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 10;
        o.retryMaxDelayMs = 50;
    });
    gateway.enqueue("GET", "r", answer(503, "busy"));
    gateway.on("GET", "r", answer(200, "{\"fine\":1}"));
    const Result r = exchange(HTTP_REQ_TYPE_GET, "r", nullptr, 0,
                              {"X-Subsystem-Password:s3cr3t-Pa55"});
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "{\"fine\":1}");
    EXPECT_EQ(gateway.requestCount(), 2u);
    const auto records = log->records();
    int retries = 0;
    for (const auto& rec : records) {
        EXPECT_EQ(rec.text.find("s3cr3t"), std::string::npos) << rec.text;
        if (rec.function == kSendFunction && rec.level == -1 && rec.jobId == 0 &&
            rec.text.find("503") != std::string::npos) {
            ++retries;
        }
    }
    EXPECT_EQ(retries, 1);
}

TEST_F(RKLibCurlTest, GetKeepsFailingAfterMaxRetries) {
    TrustGateway trust(gateway);
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 10;
        o.retryMaxDelayMs = 50;
        o.maxRetries = 3;
    });
    gateway.on("GET", "r", answer(502, "bad gateway"));
    const Result r = exchange(HTTP_REQ_TYPE_GET, "r");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 502);
    EXPECT_EQ(r.body, "bad gateway");
    EXPECT_EQ(gateway.requestCount(), 4u);
}

TEST_F(RKLibCurlTest, NonIdempotentVerbsAnswered503AreSentOnce) {
    TrustGateway trust(gateway);
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 10;
        o.retryMaxDelayMs = 50;
    });
    gateway.setFallback(answer(503, "busy"));
    Result r = exchange(HTTP_REQ_TYPE_POST, "p", "{}", 2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 503);
    EXPECT_EQ(gateway.requestCount(), 1u);
    r = exchange(HTTP_REQ_TYPE_DELETE, "d");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(gateway.requestCount(), 2u);
    r = exchange(HTTP_REQ_TYPE_PUT, "u", "{}", 2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(gateway.requestCount(), 3u);
}

TEST_F(RKLibCurlTest, NonIdempotentVerbTimedOutIsNotRetried) {
    TrustGateway trust(gateway);
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 10;
        o.requestTimeoutMs = 300;
    });
    ScriptedResponse slow = answer(201, "{}");
    slow.delay = std::chrono::milliseconds(1000);
    gateway.on("POST", "p", slow);
    const Result r = exchange(HTTP_REQ_TYPE_POST, "p", "{}", 2);
    EXPECT_FALSE(r.ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(gateway.requestCount(), 1u);
}

TEST_F(RKLibCurlTest, RefusedConnectionIsRetriedThenReported) {
    hnastest::CaptureLog log(5);
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 10;
        o.retryMaxDelayMs = 50;
        o.maxRetries = 2;
    });
    const int port = refusedPort();
    for (_http_req_type_ type : {HTTP_REQ_TYPE_GET, HTTP_REQ_TYPE_POST}) {
        log->clear();
        RKLibCurl client;
        ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
        const std::string u = "https://127.0.0.1:" + std::to_string(port) + "/v4/storage/x";
        EXPECT_FALSE(client.RKLibCurlSendHttpReq(type, u.c_str(), "{}", 2, false, nullptr));
        EXPECT_EQ(client.GetHttpErrorCode(), 0);
        EXPECT_FALSE(client.GetLastErrorText().empty());
        int retries = 0;
        for (const auto& rec : log->records()) {
            if (rec.function == kSendFunction && rec.level == -1 &&
                rec.text.find("Retrying") != std::string::npos) {
                ++retries;
            }
        }
        EXPECT_EQ(retries, 2) << "type " << type;
    }
}

TEST_F(RKLibCurlTest, RetriesStayWithinTheRequestTimeOut) {
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 200;
        o.retryMaxDelayMs = 2000;
        o.maxRetries = 50;
        o.requestTimeoutMs = 600;
    });
    const int port = refusedPort();
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    const std::string u = "https://127.0.0.1:" + std::to_string(port) + "/x";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, u.c_str(), nullptr, 0, false,
                                             nullptr));
    const long long elapsed = msSince(start);
    EXPECT_LT(elapsed, 900);
}

TEST_F(RKLibCurlTest, OnlyHttpAndHttpsAreAllowed) {
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    EXPECT_FALSE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, "file:///etc/passwd", nullptr, 0,
                                             false, nullptr));
    unsigned long len = 0;
    EXPECT_EQ(client.GetHttpResponse(len, false), nullptr);
}

TEST_F(RKLibCurlTest, OptionsRoundTrip) {
    RKLibCurlOptions o;
    o.caFile = "/tmp/ca.pem";
    o.connectTimeoutMs = 1234;
    o.maxRetries = 7;
    o.proxy = "http://proxy:3128";
    RKLibCurl::setOptions(o);
    const RKLibCurlOptions back = RKLibCurl::getOptions();
    EXPECT_EQ(back.caFile, "/tmp/ca.pem");
    EXPECT_EQ(back.connectTimeoutMs, 1234);
    EXPECT_EQ(back.maxRetries, 7);
    EXPECT_EQ(back.proxy, "http://proxy:3128");
}

namespace {

bool plainGet(const std::string& url, long& status, std::string& error) {
    RKLibCurl client;
    if (!client.RKLibCurlInit(kInitHeader, true, true, nullptr)) return false;
    const bool ok =
        client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, url.c_str(), nullptr, 0, false, nullptr);
    status = client.GetHttpErrorCode();
    error = client.GetLastErrorText();
    return ok;
}

const char* const k503RetryAfter1 =
    "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Length: 4\r\n\r\nbusy";
const char* const k200 = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";

} // namespace

TEST_F(RKLibCurlTest, RetryAfterIsHonoured) {
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 10;
        o.retryMaxDelayMs = 2000;
    });
    RawHttpServer server({k503RetryAfter1, k200});
    long status = 0;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(plainGet(server.url(), status, error)) << error;
    const long long elapsed = msSince(start);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(server.requests(), 2);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 1800);
}

TEST_F(RKLibCurlTest, RetryAfterIsCappedAtTheMaximumDelay) {
    update([](RKLibCurlOptions& o) {
        o.retryFirstDelayMs = 10;
        o.retryMaxDelayMs = 100;
    });
    RawHttpServer server({k503RetryAfter1, k200});
    long status = 0;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(plainGet(server.url(), status, error)) << error;
    const long long elapsed = msSince(start);
    EXPECT_EQ(server.requests(), 2);
    EXPECT_GE(elapsed, 90);
    EXPECT_LT(elapsed, 700);
}

TEST_F(RKLibCurlTest, ChunkedResponseOverTheCapFails) {
    update([](RKLibCurlOptions& o) { o.maxResponseBytes = 1000; });
    std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 10; ++i) {
        chunked += "1f4\r\n" + std::string(500, 'c') + "\r\n";
    }
    chunked += "0\r\n\r\n";
    RawHttpServer server({chunked});
    long status = 0;
    std::string error;
    EXPECT_FALSE(plainGet(server.url(), status, error));
    EXPECT_EQ(status, 0);
    EXPECT_NE(error.find("cap"), std::string::npos) << error;
}

TEST_F(RKLibCurlTest, ProxyEnvironmentVariablesAreIgnored) {
    RawHttpServer server({k200});
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(refusedPort());
    ::setenv("http_proxy", deadProxy.c_str(), 1);
    ::setenv("HTTPS_PROXY", deadProxy.c_str(), 1);
    ::setenv("ALL_PROXY", deadProxy.c_str(), 1);
    long status = 0;
    std::string error;
    const bool ok = plainGet(server.url(), status, error);
    ::unsetenv("http_proxy");
    ::unsetenv("HTTPS_PROXY");
    ::unsetenv("ALL_PROXY");
    EXPECT_TRUE(ok) << error;
    EXPECT_EQ(status, 200);
}

TEST_F(RKLibCurlTest, RedirectsAreNotFollowed) {
    RawHttpServer server(
        {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\nContent-Length: 0\r\n\r\n"});
    long status = 0;
    std::string error;
    EXPECT_TRUE(plainGet(server.url(), status, error)) << error;
    EXPECT_EQ(status, 302);
    EXPECT_EQ(server.requests(), 1);
}

TEST_F(RKLibCurlTest, CaFileReplacedInPlaceCountsForNewConnections) {
    TestGateway second;
    char dir[] = "/tmp/hnas-ca-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/ca.pem";
    auto copyFile = [](const std::string& from, const std::string& to) {
        std::ifstream in(from, std::ios::binary);
        std::ofstream out(to, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
    };
    copyFile(gateway.caFile(), path);
    update([&](RKLibCurlOptions& o) { o.caFile = path; });
    gateway.on("GET", "x", answer(200, "{}"));
    second.on("GET", "x", answer(200, "{}"));
    EXPECT_TRUE(exchange(HTTP_REQ_TYPE_GET, "x").ok);

    copyFile(second.caFile(), path); // same name, other trust anchor
    RKLibCurl client;
    ASSERT_TRUE(client.RKLibCurlInit(kInitHeader, true, true, nullptr));
    const std::string u =
        "https://127.0.0.1:" + std::to_string(second.port()) + "/v4/storage/x";
    EXPECT_TRUE(client.RKLibCurlSendHttpReq(HTTP_REQ_TYPE_GET, u.c_str(), nullptr, 0, false,
                                            nullptr))
        << client.GetLastErrorText();
    client.RKLibCurlDeInit();
    std::remove(path.c_str());
    ::rmdir(dir);
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
