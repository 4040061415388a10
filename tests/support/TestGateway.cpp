// The scripted HTTPS test gateway: a cpp-httplib SSLServer on 127.0.0.1 with a
// certificate generated at start, answering from a per-test script.

#include "support/TestGateway.h"

#include <httplib.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

#include "hnasmgmt/host/RKLibCurl.h"

namespace hnastest {

namespace {

const char* const kStorageRoot = "/v4/storage/";
// Upper bound of a scripted delay, so that a test cannot hang the gateway.
constexpr std::chrono::milliseconds kMaxDelay{30000};

bool iequals(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string openSslError(const std::string& what) {
    return "TestGateway: " + what + " failed";
}

struct PkeyDeleter {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Deleter {
    void operator()(X509* p) const { X509_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using X509Ptr = std::unique_ptr<X509, X509Deleter>;

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        throw std::runtime_error(openSslError("X509V3_EXT_conf_nid"));
    const int ok = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    if (!ok)
        throw std::runtime_error(openSslError("X509_add_ext"));
}

// A self-signed EC P-256 certificate for CN localhost, SAN IP:127.0.0.1 and
// DNS:localhost, valid from an hour ago to a day from now.
void generateCertificate(PkeyPtr& key, X509Ptr& cert) {
    key.reset(EVP_EC_gen("P-256"));
    if (!key)
        throw std::runtime_error(openSslError("EVP_EC_gen"));
    cert.reset(X509_new());
    if (!cert)
        throw std::runtime_error(openSslError("X509_new"));
    X509* x = cert.get();
    if (!X509_set_version(x, 2))
        throw std::runtime_error(openSslError("X509_set_version"));
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        throw std::runtime_error(openSslError("RAND_bytes"));
    serial[0] &= 0x7F; // positive
    serial[0] |= 0x01; // non-zero
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    if (!bn || !BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x))) {
        BN_free(bn);
        throw std::runtime_error(openSslError("serial number"));
    }
    BN_free(bn);
    if (!X509_gmtime_adj(X509_getm_notBefore(x), -3600) ||
        !X509_gmtime_adj(X509_getm_notAfter(x), 86400))
        throw std::runtime_error(openSslError("validity"));
    if (!X509_set_pubkey(x, key.get()))
        throw std::runtime_error(openSslError("X509_set_pubkey"));
    X509_NAME* name = X509_get_subject_name(x);
    if (!X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                    reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                                    0) ||
        !X509_set_issuer_name(x, name))
        throw std::runtime_error(openSslError("subject name"));
    addExtension(x, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(x, NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(x, NID_ext_key_usage, "serverAuth");
    addExtension(x, NID_subject_key_identifier, "hash");
    addExtension(x, NID_authority_key_identifier, "keyid:always");
    addExtension(x, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    if (!X509_sign(x, key.get(), EVP_sha256()))
        throw std::runtime_error(openSslError("X509_sign"));
}

// "sha256//" + base64(SHA-256 of the DER SubjectPublicKeyInfo).
std::string publicKeyPin(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int len = i2d_PUBKEY(key, &der);
    if (len <= 0)
        throw std::runtime_error(openSslError("i2d_PUBKEY"));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLen = 0;
    const int ok =
        EVP_Digest(der, static_cast<size_t>(len), digest, &digestLen, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    if (!ok)
        throw std::runtime_error(openSslError("EVP_Digest"));
    std::string b64(4 * ((digestLen + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&b64[0]), digest,
                                  static_cast<int>(digestLen));
    b64.resize(static_cast<size_t>(n));
    return "sha256//" + b64;
}

void writePem(const std::string& path, EVP_PKEY* key, X509* cert) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("TestGateway: cannot write " + path);
    const bool ok = key ? PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1
                        : PEM_write_X509(f, cert) == 1;
    std::fclose(f);
    if (!ok)
        throw std::runtime_error("TestGateway: cannot write " + path);
}

// Port of an AF_INET/AF_INET6 address, -1 for anything else.
int portOf(const sockaddr_storage& addr) {
    if (addr.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
    return -1;
}

// Shuts down every accepted connection of the server listening on `port`
// (local port == port and a peer), so that workers waiting on a kept-alive
// connection return at once.
void shutdownAcceptedSockets(int port) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    std::vector<int> fds;
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end && *end == '\0' && end != entry->d_name)
            fds.push_back(static_cast<int>(fd));
    }
    closedir(dir);
    for (int fd : fds) {
        sockaddr_storage local{};
        socklen_t len = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0)
            continue;
        if (portOf(local) != port)
            continue;
        sockaddr_storage peer{};
        len = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0)
            continue;
        ::shutdown(fd, SHUT_RDWR);
    }
}

} // namespace

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& h : headers) {
        if (iequals(h.first, name))
            return h.second;
    }
    return std::string();
}

bool RecordedRequest::hasHeader(const std::string& name) const {
    for (const auto& h : headers) {
        if (iequals(h.first, name))
            return true;
    }
    return false;
}

struct TestGateway::Impl {
    using Key = std::pair<std::string, std::string>; // method, full path

    std::string dir;
    std::string certPath;
    std::string keyPath;
    std::string pinValue;
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    std::atomic<bool> listenDone{false};
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable stopCv;
    bool stopping = false;
    std::map<Key, ScriptedResponse> persistent;
    std::map<Key, std::deque<ScriptedResponse>> queued;
    ScriptedResponse fallback;
    std::vector<RecordedRequest> recorded;
    std::set<std::pair<std::string, int>> connections;

    static ScriptedResponse defaultFallback() {
        ScriptedResponse r;
        r.status = 404;
        r.body = R"({"errorCode":404,"errorMsg":"Not found","errorDetail":{"reason":"no script"}})";
        return r;
    }

    // Finds the answer for (method, path) and consumes a queued one. Caller holds mutex.
    bool lookup(const Key& key, ScriptedResponse& out) {
        auto q = queued.find(key);
        if (q != queued.end() && !q->second.empty()) {
            out = std::move(q->second.front());
            q->second.pop_front();
            if (q->second.empty())
                queued.erase(q);
            return true;
        }
        auto p = persistent.find(key);
        if (p != persistent.end()) {
            out = p->second;
            return true;
        }
        return false;
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        RecordedRequest rec;
        rec.method = req.method;
        rec.path = req.path;
        const auto q = req.target.find('?');
        if (q != std::string::npos)
            rec.path += req.target.substr(q);
        rec.body = req.body;
        rec.remoteAddress = req.remote_addr;
        rec.remotePort = req.remote_port;
        // httplib adds these four pseudo headers itself; drop one of each.
        const std::string remotePort = std::to_string(req.remote_port);
        const std::string localPort = std::to_string(req.local_port);
        bool dropped[4] = {false, false, false, false};
        for (const auto& h : req.headers) {
            if (!dropped[0] && h.first == "REMOTE_ADDR" && h.second == req.remote_addr) {
                dropped[0] = true;
                continue;
            }
            if (!dropped[1] && h.first == "REMOTE_PORT" && h.second == remotePort) {
                dropped[1] = true;
                continue;
            }
            if (!dropped[2] && h.first == "LOCAL_ADDR" && h.second == req.local_addr) {
                dropped[2] = true;
                continue;
            }
            if (!dropped[3] && h.first == "LOCAL_PORT" && h.second == localPort) {
                dropped[3] = true;
                continue;
            }
            rec.headers.emplace(h.first, h.second);
        }

        ScriptedResponse answer;
        {
            std::lock_guard<std::mutex> lock(mutex);
            connections.emplace(req.remote_addr, req.remote_port);
            if (!lookup(Key(req.method, rec.path), answer) &&
                !(q != std::string::npos && lookup(Key(req.method, req.path), answer)))
                answer = fallback;
            recorded.push_back(std::move(rec));
        }

        if (answer.delay.count() > 0) {
            const auto delay = std::min(answer.delay, kMaxDelay);
            std::unique_lock<std::mutex> lock(mutex);
            stopCv.wait_for(lock, delay, [this] { return stopping; });
        }

        res.status = answer.status;
        const bool noBody = answer.status == 204 || answer.status == 304 ||
                            (answer.status >= 100 && answer.status < 200);
        if (noBody)
            return;
        if (!answer.body.empty()) {
            res.set_content(answer.body, answer.contentType.c_str());
        } else if (!answer.contentType.empty()) {
            res.set_header("Content-Type", answer.contentType);
        }
    }
};

TestGateway::TestGateway() : impl_(new Impl) {
    // A kept-alive connection shut down under a worker must not kill the process.
    ::signal(SIGPIPE, SIG_IGN);
    impl_->fallback = Impl::defaultFallback();

    std::string tmpl = (std::filesystem::temp_directory_path() / "hnastest-gw-XXXXXX").string();
    if (!mkdtemp(&tmpl[0]))
        throw std::runtime_error("TestGateway: mkdtemp failed");
    impl_->dir = tmpl;
    try {
        PkeyPtr key;
        X509Ptr cert;
        generateCertificate(key, cert);
        impl_->pinValue = publicKeyPin(key.get());
        impl_->certPath = impl_->dir + "/cert.pem";
        impl_->keyPath = impl_->dir + "/key.pem";
        writePem(impl_->certPath, nullptr, cert.get());
        writePem(impl_->keyPath, key.get(), nullptr);

        impl_->server.reset(
            new httplib::SSLServer(impl_->certPath.c_str(), impl_->keyPath.c_str()));
        httplib::SSLServer& svr = *impl_->server;
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
        svr.Patch(".*", handler);
        svr.Delete(".*", handler);

        impl_->port = svr.bind_to_any_port("127.0.0.1");
        if (impl_->port <= 0)
            throw std::runtime_error("TestGateway: cannot bind 127.0.0.1");
        impl_->thread = std::thread([impl] {
            impl->server->listen_after_bind();
            impl->listenDone = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!svr.is_running() && !impl_->listenDone) {
            if (std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!svr.is_running()) {
            throw std::runtime_error("TestGateway: server did not start");
        }
    } catch (...) {
        if (impl_->thread.joinable()) {
            impl_->server->stop();
            impl_->thread.join();
        }
        std::error_code ec;
        std::filesystem::remove_all(impl_->dir, ec);
        throw;
    }
}

TestGateway::~TestGateway() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->stopCv.notify_all();
    if (impl_->server)
        impl_->server->stop();
    if (impl_->thread.joinable()) {
        // Workers may wait on kept-alive connections for the keep-alive
        // time-out: shut those connections down until the server has ended.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!impl_->listenDone && std::chrono::steady_clock::now() < deadline) {
            shutdownAcceptedSockets(impl_->port);
            for (int i = 0; i < 10 && !impl_->listenDone; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        impl_->thread.join();
    }
    impl_->server.reset();
    std::error_code ec;
    std::filesystem::remove_all(impl_->dir, ec);
}

int TestGateway::port() const {
    return impl_->port;
}

const std::string& TestGateway::caFile() const {
    return impl_->certPath;
}

const std::string& TestGateway::pin() const {
    return impl_->pinValue;
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
    impl_->fallback = Impl::defaultFallback();
    impl_->recorded.clear();
    impl_->connections.clear();
}

std::vector<RecordedRequest> TestGateway::requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->recorded;
}

size_t TestGateway::requestCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->recorded.size();
}

size_t TestGateway::connectionCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->connections.size();
}

struct TrustGateway::Saved {
    RKLibCurlOptions options;
};

TrustGateway::TrustGateway(const TestGateway& gateway)
    : saved_(new Saved{RKLibCurl::getOptions()}) {
    RKLibCurlOptions options = saved_->options;
    options.caFile = gateway.caFile();
    RKLibCurl::setOptions(options);
}

TrustGateway::~TrustGateway() {
    RKLibCurl::setOptions(saved_->options);
}

} // namespace hnastest
