// The scripted HTTPS test gateway: a cpp-httplib SSLServer on 127.0.0.1 with a
// certificate generated at start, answering from a per-test script.

#include "support/TestGateway.h"

#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/Certificate.h"

namespace hnastest {

namespace {

const char* const kStorageRoot = "/v4/storage/";
// Upper bound of a scripted delay, so that a test cannot hang the gateway.
constexpr std::chrono::milliseconds kMaxDelay{30000};

ScriptedResponse defaultFallback() {
    return {404,
            R"({"errorCode":404,"errorMsg":"Not found","errorDetail":{"reason":"no script"}})"};
}

// Shuts down every accepted connection of the server listening on `port`
// (local port == port and a peer): a worker waiting on a kept-alive
// connection would otherwise hold the server for the keep-alive time-out.
void shutdownAcceptedSockets(int port) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{}, peer{};
        socklen_t len = sizeof local, peerLen = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == port &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0)
            ::shutdown(fd, SHUT_RDWR);
    }
}

} // namespace

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& h : headers)
        if (strcasecmp(h.first.c_str(), name.c_str()) == 0)
            return h.second;
    return std::string();
}

struct TestGateway::Impl {
    using Key = std::pair<std::string, std::string>; // method, full path

    Certificate certificate;
    httplib::SSLServer server{certificate.certFile().c_str(), certificate.keyFile().c_str()};
    std::thread thread;
    std::atomic<bool> listenDone{false};
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable stopCv;
    bool stopping = false;
    std::map<Key, ScriptedResponse> persistent;
    std::map<Key, std::deque<ScriptedResponse>> queued;
    ScriptedResponse fallback = defaultFallback();
    std::vector<RecordedRequest> recorded;
    std::set<std::pair<std::string, int>> connections;

    ~Impl() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        stopCv.notify_all();
        server.stop();
        if (!thread.joinable())
            return;
        for (int i = 0; i < 3000 && !listenDone; ++i) {
            shutdownAcceptedSockets(port);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        thread.join();
    }

    // Finds the answer for (method, path) and consumes a queued one. Caller holds mutex.
    bool lookup(const Key& key, ScriptedResponse& out) {
        auto q = queued.find(key);
        if (q != queued.end() && !q->second.empty()) {
            out = std::move(q->second.front());
            q->second.pop_front();
            return true;
        }
        auto p = persistent.find(key);
        if (p == persistent.end())
            return false;
        out = p->second;
        return true;
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        RecordedRequest rec;
        rec.method = req.method;
        rec.path = req.path;
        rec.target = req.target;
        const auto q = req.target.find('?');
        if (q != std::string::npos)
            rec.path += req.target.substr(q);
        rec.body = req.body;
        rec.remotePort = req.remote_port;
        // httplib adds the peer's and its own address as pseudo headers.
        for (const auto& h : req.headers)
            if (h.first != "REMOTE_ADDR" && h.first != "REMOTE_PORT" && h.first != "LOCAL_ADDR" &&
                h.first != "LOCAL_PORT")
                rec.headers.emplace(h.first, h.second);

        ScriptedResponse answer;
        std::unique_lock<std::mutex> lock(mutex);
        connections.emplace(req.remote_addr, req.remote_port);
        if (!lookup(Key(req.method, rec.path), answer) &&
            !(q != std::string::npos && lookup(Key(req.method, req.path), answer)))
            answer = fallback;
        recorded.push_back(std::move(rec));
        if (answer.delay.count() > 0)
            stopCv.wait_for(lock, std::min(answer.delay, kMaxDelay), [this] { return stopping; });
        lock.unlock();

        res.status = answer.status;
        if (answer.status == 204 || answer.status == 304 ||
            (answer.status >= 100 && answer.status < 200))
            return;
        if (!answer.body.empty())
            res.set_content(answer.body, answer.contentType.c_str());
        else if (!answer.contentType.empty())
            res.set_header("Content-Type", answer.contentType);
    }
};

TestGateway::TestGateway() : impl_(new Impl) {
    // A connection the client drops under a worker must not kill the process.
    ::signal(SIGPIPE, SIG_IGN);
    httplib::SSLServer& svr = impl_->server;
    if (!svr.is_valid())
        throw std::runtime_error("TestGateway: SSLServer is not valid");
    svr.set_tcp_nodelay(true);
    svr.set_keep_alive_max_count(1000000);
    svr.set_keep_alive_timeout(5);
    svr.set_read_timeout(5);
    svr.set_write_timeout(5);
    Impl* impl = impl_.get();
    auto handler = [impl](const httplib::Request& req, httplib::Response& res) {
        impl->handle(req, res);
    };
    svr.Get(".*", handler);
    svr.Post(".*", handler);
    svr.Put(".*", handler);
    svr.Delete(".*", handler);
    impl_->port = svr.bind_to_any_port("127.0.0.1");
    if (impl_->port <= 0)
        throw std::runtime_error("TestGateway: cannot bind 127.0.0.1");
    impl_->thread = std::thread([impl] {
        impl->server.listen_after_bind();
        impl->listenDone = true;
    });
    for (int i = 0; i < 10000 && !svr.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!svr.is_running())
        throw std::runtime_error("TestGateway: server did not start");
}

TestGateway::~TestGateway() = default;

int TestGateway::port() const {
    return impl_->port;
}

const std::string& TestGateway::caFile() const {
    return impl_->certificate.certFile();
}

void TestGateway::on(const std::string& method, const std::string& resource,
                     ScriptedResponse response) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->persistent[Impl::Key(method, kStorageRoot + resource)] = std::move(response);
}

void TestGateway::enqueue(const std::string& method, const std::string& resource,
                          ScriptedResponse response) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->queued[Impl::Key(method, kStorageRoot + resource)].push_back(std::move(response));
}

void TestGateway::setFallback(ScriptedResponse response) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->fallback = std::move(response);
}

void TestGateway::reset() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->persistent.clear();
    impl_->queued.clear();
    impl_->fallback = defaultFallback();
    impl_->recorded.clear();
    impl_->connections.clear();
}

std::vector<RecordedRequest> TestGateway::requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->recorded;
}

size_t TestGateway::connectionCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->connections.size();
}

} // namespace hnastest
