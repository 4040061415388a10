#pragma once

// Shared by the reliability, load and bad-input suites: a facade pointed at
// the in-process gateway simulator, client options with short time-outs, and
// the identifiers of the simulator's built-in array.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "hnasgwsim/Simulator.h"
#include "hnasmgmt/facade/RkManageHNAS.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace reltest {

// Sets the process-wide client options for the life of the object.
class ClientOptions {
public:
    explicit ClientOptions(const RKLibCurlOptions& options) : saved_(RKLibCurl::getOptions()) {
        RKLibCurl::setOptions(options);
    }
    ~ClientOptions() { RKLibCurl::setOptions(saved_); }
    ClientOptions(const ClientOptions&) = delete;
    ClientOptions& operator=(const ClientOptions&) = delete;

private:
    RKLibCurlOptions saved_;
};

constexpr long kConnectTimeoutMs = 500;
constexpr long kRequestTimeoutMs = 700;

// Trusts the simulator's certificate; short time-outs; no retries.
inline RKLibCurlOptions fastOptions(const hnasgwsim::Simulator& sim) {
    RKLibCurlOptions o;
    o.caFile = sim.caFile();
    o.connectTimeoutMs = kConnectTimeoutMs;
    o.requestTimeoutMs = kRequestTimeoutMs;
    o.maxRetries = 0;
    return o;
}

inline void initFacade(RkManageHNAS& hnas, const hnasgwsim::Simulator& sim,
                       const std::string& host = "", int port = 0) {
    const auto& c = sim.credentials();
    hnas.init(c.user, c.password, c.subsystemType, c.managementIPs,
              host.empty() ? sim.host() : host, port == 0 ? sim.port() : port);
}

// Identifiers of the simulator's built-in array (it is built the same way
// every time).
struct ArrayIds {
    std::string fsFinance, fsEngineering, fsArchive;
    std::string evsProdObject, evsBackupObject;
    std::string cifsFinanceShare, nfsHomeShare, nfsScratchShare;
    std::string snapDaily1, snapDaily2;
    std::string financeAdminsEncoded; // encoded name of the finance share's permission
};

// A started simulator with the built-in array.
inline std::unique_ptr<hnasgwsim::Simulator>
startSimulator(hnasgwsim::SimulatorOptions options = hnasgwsim::SimulatorOptions()) {
    options.keepAliveTimeoutSec = 2;
    auto sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
    sim->start();
    return sim;
}

// A TCP port on 127.0.0.1 on which nothing listens (bound, then closed).
inline int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd); // never listened: connections are refused
    return port;
}

namespace detail {

inline void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext || !X509_add_ext(cert, ext, -1))
        throw std::runtime_error("certificate extension");
    X509_EXTENSION_free(ext);
}

inline void writePem(const std::string& path, EVP_PKEY* key, X509* cert) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    const int ok = key ? PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr)
                       : PEM_write_X509(f, cert);
    std::fclose(f);
    if (!ok)
        throw std::runtime_error("PEM write " + path);
}

} // namespace detail

// A self-signed certificate and key for a common name and subject
// alternative names (OpenSSL's form, e.g. "IP:127.0.0.1,DNS:localhost"), in
// a temporary directory removed with the object.
class Certificate {
public:
    Certificate(const char* commonName, const char* altNames) {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/hnasrel.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp");
        dir_ = pattern;
        cert_ = dir_ + "/cert.pem";
        key_ = dir_ + "/key.pem";
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* x = X509_new();
        if (!key || !x)
            throw std::runtime_error("key or certificate");
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 4242);
        X509_gmtime_adj(X509_getm_notBefore(x), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x), 86400);
        X509_set_pubkey(x, key);
        X509_NAME* name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
        X509_set_issuer_name(x, name);
        detail::addExtension(x, NID_basic_constraints, "critical,CA:TRUE");
        detail::addExtension(x, NID_subject_key_identifier, "hash");
        detail::addExtension(x, NID_subject_alt_name, altNames);
        if (!X509_sign(x, key, EVP_sha256()))
            throw std::runtime_error("X509_sign");
        detail::writePem(key_, key, nullptr);
        detail::writePem(cert_, nullptr, x);
        X509_free(x);
        EVP_PKEY_free(key);
    }
    ~Certificate() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    Certificate(const Certificate&) = delete;
    Certificate& operator=(const Certificate&) = delete;
    const std::string& certFile() const { return cert_; }
    const std::string& keyFile() const { return key_; }

private:
    std::string dir_, cert_, key_;
};

// Simulator options serving this certificate (the simulator keeps no key of
// its own on disk; servers that share one certificate use this).
inline hnasgwsim::SimulatorOptions withCertificate(const Certificate& certificate) {
    hnasgwsim::SimulatorOptions o;
    o.certFile = certificate.certFile();
    o.keyFile = certificate.keyFile();
    return o;
}

inline ArrayIds arrayIds() {
    const hnasgwsim::ArrayState a = hnasgwsim::defaultArray();
    ArrayIds ids;
    ids.fsFinance = a.fileSystems.at(0).filesystemId;
    ids.fsEngineering = a.fileSystems.at(1).filesystemId;
    ids.fsArchive = a.fileSystems.at(2).filesystemId;
    ids.evsProdObject = a.virtualServers.at(0).objectId;
    ids.evsBackupObject = a.virtualServers.at(1).objectId;
    for (const auto& evs : a.virtualServers)
        for (const auto& share : evs.shares) {
            if (share.name == "finance") {
                ids.cifsFinanceShare = share.objectId;
                ids.financeAdminsEncoded = share.cifsAuthentications.at(0).encodedName;
            } else if (share.name == "home") {
                ids.nfsHomeShare = share.objectId;
            } else if (share.name == "scratch") {
                ids.nfsScratchShare = share.objectId;
            }
        }
    ids.snapDaily1 = a.fileSystems.at(0).snapshots.at(0).objectId;
    ids.snapDaily2 = a.fileSystems.at(0).snapshots.at(1).objectId;
    return ids;
}

// The virtual server record as the listing would give it.
inline __HNASVirtualServers virtualServer(const std::string& objectId, const std::string& name) {
    __HNASVirtualServers evs;
    evs.objectId = objectId;
    evs.name = name;
    return evs;
}

inline long long elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

} // namespace reltest
