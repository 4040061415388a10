#pragma once

// An HTTPS proxy on 127.0.0.1 in front of the simulator, serving the
// simulator's certificate (given to both), that passes every request on and
// rewrites the answer to one METHOD and path: its body emptied, cut to its
// first half, or padded with 128 KiB of blanks, with the status and framing
// of a complete answer.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include <httplib.h>

#include "hnasgwsim/Simulator.h"

namespace reltest {

class RewritingProxy {
public:
    enum class Mode { Empty, FirstHalf, Padded };

    RewritingProxy(const hnasgwsim::Simulator& sim, const std::string& certFile,
                   const std::string& keyFile)
        : sim_(sim), server_(certFile.c_str(), keyFile.c_str()) {
        auto handler = [this](const httplib::Request& req, httplib::Response& res) {
            forward(req, res);
        };
        server_.Get(".*", handler);
        server_.Post(".*", handler);
        server_.Delete(".*", handler);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 500 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~RewritingProxy() {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }
    RewritingProxy(const RewritingProxy&) = delete;
    RewritingProxy& operator=(const RewritingProxy&) = delete;

    int port() const { return port_; }

    // Rewrites every answer to METHOD path (the full path, e.g. "/v4/storage/...").
    void rewrite(const std::string& method, const std::string& path, Mode mode) {
        std::lock_guard<std::mutex> lock(mutex_);
        method_ = method;
        path_ = path;
        mode_ = mode;
        rewritten_ = 0;
    }
    int rewritten() const { return rewritten_.load(); }

private:
    void forward(const httplib::Request& req, httplib::Response& res) {
        httplib::SSLClient client(sim_.host(), sim_.port());
        client.set_ca_cert_path(sim_.caFile().c_str());
        client.enable_server_certificate_verification(true);
        httplib::Request out;
        out.method = req.method;
        out.path = req.path;
        out.body = req.body;
        for (const auto& [name, value] : req.headers)
            if (name.rfind("X-", 0) == 0 || name == "Content-Type")
                out.headers.emplace(name, value);
        httplib::Response answer;
        httplib::Error error = httplib::Error::Success;
        if (!client.send(out, answer, error)) {
            res.status = 502;
            return;
        }
        res.status = answer.status;
        std::string body = answer.body;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (req.method == method_ && req.path == path_) {
                if (mode_ == Mode::Empty)
                    body.clear();
                else if (mode_ == Mode::FirstHalf)
                    body.resize(body.size() / 2);
                else
                    body.append(128 * 1024, ' ');
                ++rewritten_;
            }
        }
        if (!body.empty() || res.status != 204)
            res.set_content(body, "application/json");
    }

    const hnasgwsim::Simulator& sim_;
    httplib::SSLServer server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::string method_, path_;
    Mode mode_ = Mode::Empty;
    std::atomic<int> rewritten_{0};
};

} // namespace reltest
