#pragma once

// A bare listener on 127.0.0.1 for what the scripted gateway cannot show or
// script: it keeps every request head byte for byte (the gateway's HTTP
// library trims header values) and answers with raw scripted responses, the
// last one repeating (headers such as Retry-After, chunked bodies); an empty
// response resets the connection unanswered, as a server that closed it for
// idleness while the request was on its way. Given a certificate and key it
// speaks TLS.

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace hnastest {

class RawServer {
public:
    explicit RawServer(std::vector<std::string> responses, const std::string& certFile = "",
                       const std::string& keyFile = "")
        : responses_(std::move(responses)) {
        if (!certFile.empty()) {
            ctx_ = SSL_CTX_new(TLS_server_method());
            if (!ctx_ ||
                SSL_CTX_use_certificate_file(ctx_, certFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
                SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
                throw std::runtime_error("RawServer: cannot load the certificate");
        }
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 16) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("RawServer: cannot listen");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~RawServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
        if (ctx_)
            SSL_CTX_free(ctx_);
    }
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int port() const { return port_; }
    std::string url() const {
        return (ctx_ ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port_) +
               "/x";
    }
    // Raw request heads (request line and header lines, up to the blank line).
    std::vector<std::string> heads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return heads_;
    }
    int requests() const { return static_cast<int>(heads().size()); }

private:
    void run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            const int conn = ::poll(&p, 1, 20) > 0 ? ::accept(fd_, nullptr, nullptr) : -1;
            if (conn < 0)
                continue;
            SSL* ssl = ctx_ ? SSL_new(ctx_) : nullptr;
            timeval tv{5, 0};
            ::setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            if (!ssl || (SSL_set_fd(ssl, conn) == 1 && SSL_accept(ssl) == 1))
                serve(conn, ssl);
            SSL_free(ssl);
            ERR_clear_error();
            ::close(conn);
        }
    }
    // Answers the requests of one connection; over TLS only the first.
    void serve(int conn, SSL* ssl) {
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
                if ((!ssl || SSL_pending(ssl) == 0) && ::poll(&p, 1, 20) <= 0)
                    continue;
                const int n = ssl ? SSL_read(ssl, buf, sizeof buf)
                                  : static_cast<int>(::recv(conn, buf, sizeof buf, 0));
                if (n <= 0)
                    return;
                in.append(buf, static_cast<size_t>(n));
                continue;
            }
            in.erase(0, end + 4 + want);
            std::unique_lock<std::mutex> lock(mutex_);
            heads_.push_back(head);
            const std::string out = responses_[std::min(heads_.size(), responses_.size()) - 1];
            lock.unlock();
            if (out.empty()) { // an empty answer: reset the connection unanswered
                linger reset{1, 0};
                ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                return;
            }
            if (ssl) {
                SSL_write(ssl, out.data(), static_cast<int>(out.size()));
                SSL_shutdown(ssl);
                return;
            }
            if (::send(conn, out.data(), out.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(out.size()))
                return;
        }
    }

    std::vector<std::string> responses_;
    SSL_CTX* ctx_ = nullptr;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> heads_;
};

} // namespace hnastest
