#pragma once

// A bare TLS listener for the REST tests that must see the request head byte
// for byte (cpp-httplib parses header lines and trims their values). It takes
// the certificate and key of a TestGateway, answers every request with one
// canned response and "Connection: close", and keeps the raw request heads.

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace hnastest {

class RawTlsServer {
public:
    RawTlsServer(const std::string& certFile, const std::string& keyFile,
                 std::string response = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                        "Content-Length: 2\r\nConnection: close\r\n\r\n{}")
        : response_(std::move(response)) {
        ctx_ = SSL_CTX_new(TLS_server_method());
        if (!ctx_ || SSL_CTX_use_certificate_file(ctx_, certFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
            throw std::runtime_error("RawTlsServer: cannot load the certificate");
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 16) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("RawTlsServer: cannot listen");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~RawTlsServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
        SSL_CTX_free(ctx_);
    }
    RawTlsServer(const RawTlsServer&) = delete;
    RawTlsServer& operator=(const RawTlsServer&) = delete;

    int port() const { return port_; }
    // Raw request heads (request line and header lines, up to the blank line).
    std::vector<std::string> heads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return heads_;
    }

private:
    void run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int conn = ::accept(fd_, nullptr, nullptr);
            if (conn < 0)
                continue;
            serve(conn);
            ::close(conn);
        }
    }
    void serve(int conn) {
        timeval tv{5, 0};
        ::setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        SSL* ssl = SSL_new(ctx_);
        SSL_set_fd(ssl, conn);
        if (SSL_accept(ssl) == 1) {
            std::string data;
            char buf[4096];
            size_t headEnd = std::string::npos;
            while (headEnd == std::string::npos) {
                const int n = SSL_read(ssl, buf, sizeof buf);
                if (n <= 0)
                    break;
                data.append(buf, static_cast<size_t>(n));
                headEnd = data.find("\r\n\r\n");
            }
            if (headEnd != std::string::npos) {
                const std::string head = data.substr(0, headEnd + 2);
                size_t want = 0;
                const auto cl = head.find("\r\nContent-Length:");
                if (cl != std::string::npos)
                    want = std::strtoul(head.c_str() + cl + 17, nullptr, 10);
                while (data.size() - (headEnd + 4) < want) {
                    const int n = SSL_read(ssl, buf, sizeof buf);
                    if (n <= 0)
                        break;
                    data.append(buf, static_cast<size_t>(n));
                }
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    heads_.push_back(head);
                }
                SSL_write(ssl, response_.data(), static_cast<int>(response_.size()));
                SSL_shutdown(ssl);
            }
        }
        SSL_free(ssl);
        ERR_clear_error();
    }

    std::string response_;
    SSL_CTX* ctx_ = nullptr;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> heads_;
};

} // namespace hnastest
