#pragma once

// A bare plain-HTTP listener on 127.0.0.1 for what the scripted gateway cannot
// script: it answers with raw scripted responses, the last one repeating
// (headers such as Retry-After, chunked bodies), and counts the requests.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace hnastest {

// A TCP socket on 127.0.0.1, on an ephemeral port it sets, listening if
// `listen`; throws when it cannot.
inline int loopbackSocket(int& port, bool listen) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        (listen && ::listen(fd, 16) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind 127.0.0.1");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

class RawServer {
public:
    explicit RawServer(std::vector<std::string> responses)
        : responses_(std::move(responses)), fd_(loopbackSocket(port_, true)) {
        thread_ = std::thread([this] { run(); });
    }
    ~RawServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/x"; }
    int requests() const { return requests_.load(); }

private:
    void run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            const int conn = ::poll(&p, 1, 20) > 0 ? ::accept(fd_, nullptr, nullptr) : -1;
            if (conn < 0)
                continue;
            timeval tv{5, 0};
            ::setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            serve(conn);
            ::close(conn);
        }
    }
    // Answers the requests of one connection.
    void serve(int conn) {
        std::string in;
        char buf[4096];
        while (!stop_) {
            const size_t end = in.find("\r\n\r\n");
            const std::string head = end == std::string::npos ? "" : in.substr(0, end + 2);
            const auto cl = head.find("\r\nContent-Length:");
            const size_t want =
                cl == std::string::npos ? 0 : std::strtoul(head.c_str() + cl + 17, nullptr, 10);
            if (end == std::string::npos || in.size() < end + 4 + want) {
                pollfd p{conn, POLLIN, 0}; // a quiet 20 ms lets the loop see stop_
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const auto n = ::recv(conn, buf, sizeof buf, 0);
                if (n <= 0)
                    return;
                in.append(buf, static_cast<size_t>(n));
                continue;
            }
            in.erase(0, end + 4 + want);
            const size_t seen = static_cast<size_t>(++requests_);
            const std::string& out = responses_[std::min(seen, responses_.size()) - 1];
            if (::send(conn, out.data(), out.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(out.size()))
                return;
        }
    }

    std::vector<std::string> responses_;
    int port_ = 0; // set while fd_ is initialised
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::atomic<int> requests_{0};
};

} // namespace hnastest
