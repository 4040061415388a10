#include "hnasgwsim/Simulator.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <httplib.h>
#include <openssl/ssl.h>

#include "Certificates.h"
#include "Documents.h"
#include "Json.h"
#include "Routes.h"
#include "WorkerPool.h"

namespace hnasgwsim {

namespace {

const std::string kStorageRoot = "/v4/storage/";
const std::string kAdminRoot = "/admin/";
const char kNotJsonBody[] =
    "<html><head><title>502 Bad Gateway</title></head><body><h1>Bad Gateway</h1></body></html>";
constexpr size_t kRequestLogLimit = 100000;

// Connections a client may have waiting to be accepted.
constexpr int kListenBacklog = 128;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string timestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto t = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms));
    return buf;
}

int localPort(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return -1;
    if (addr.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return -1;
}

Reply notSupported(const httplib::Request& req) {
    return errorReply(405, "The method is not supported for this resource.",
                      req.method + " is not supported on " + req.path);
}

// Empties `items` under `mutex`: the answer to an admin DELETE.
template <typename Items> Reply clearAll(std::mutex& mutex, Items& items) {
    std::lock_guard<std::mutex> lock(mutex);
    items.clear();
    return Reply{204, ""};
}

struct FaultDecision {
    FaultKind kind = FaultKind::None;
    int status = 0;
    int latencyMs = 0;
    std::string description;
};

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Counts a request in flight for the life of the object.
class InFlight {
public:
    InFlight(std::atomic<int>& count, std::atomic<int>& peak) : count_(count) {
        const int now = ++count_;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
    }
    ~InFlight() { --count_; }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

private:
    std::atomic<int>& count_;
};

void writeReply(const Reply& reply, const FaultDecision& fault, httplib::Response& res) {
    if (fault.kind == FaultKind::Truncate) {
        auto body = std::make_shared<std::string>(
            reply.body.empty() ? std::string("{\"result\":\"done\"}") : reply.body);
        res.status = reply.status == 204 ? 200 : reply.status;
        const size_t sent = body->size() / 2;
        // Announce the whole length, send half, then give up: the connection
        // closes with the body short.
        res.set_content_provider(body->size(), "application/json",
                                 [body, sent](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset < sent)
                                         sink.write(body->data() + offset, sent - offset);
                                     return false;
                                 });
    } else if (fault.kind == FaultKind::NotJson) {
        res.status = fault.status != 0 ? fault.status : (reply.status == 204 ? 200 : reply.status);
        res.set_content(kNotJsonBody, "text/html");
    } else {
        res.status = reply.status;
        if (!reply.body.empty())
            res.set_content(reply.body, "application/json");
    }
}

} // namespace

struct Simulator::Impl {
    SimulatorOptions options;
    std::mutex modelMutex;
    ArrayState array;

    struct ActiveFault {
        FaultRule rule;
        int matched = 0;
        int fired = 0;
    };
    mutable std::mutex faultMutex;
    std::vector<ActiveFault> faults;

    mutable std::mutex logMutex;
    std::deque<RequestRecord> log;

    std::mutex connMutex;
    std::set<int> connections;

    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<int> inFlight{0};
    std::atomic<int> peakInFlight{0};
    int port = 0;
    std::string certFile, keyFile, pin, tempDir;

    explicit Impl(SimulatorOptions o) : options(std::move(o)), array(std::move(options.array)) {
        for (auto& rule : options.faults)
            faults.push_back(ActiveFault{rule, 0, 0});
    }

    void trackConnection(int fd) {
        if (fd < 0)
            return;
        std::lock_guard<std::mutex> lock(connMutex);
        connections.insert(fd);
    }

    void prepareCertificate();
    FaultDecision decideFault(const std::string& method, const std::string& path);
    bool credentialsOk(const httplib::Request& req, std::string& why) const;
    Reply admin(const httplib::Request& req);
    Reply adminFaults(const httplib::Request& req);
    Reply adminRequests(const httplib::Request& req);
    Reply adminState(const httplib::Request& req);
    Reply carryOut(const httplib::Request& req, const FaultDecision& fault);
    void handle(const httplib::Request& req, httplib::Response& res);
    void record(RequestRecord rec);
    void configureServer();
    void bindAndListen();
};

void Simulator::Impl::prepareCertificate() {
    if (!options.certFile.empty() || !options.keyFile.empty()) {
        if (options.certFile.empty() || options.keyFile.empty())
            throw std::runtime_error("give both a certificate and a key, or neither");
        certFile = options.certFile;
        keyFile = options.keyFile;
    } else {
        std::string dir = options.stateDir;
        if (dir.empty()) {
            if (tempDir.empty()) {
                const char* base = std::getenv("TMPDIR");
                std::string pattern =
                    std::string(base && *base ? base : "/tmp") + "/hnas-gateway-sim.XXXXXX";
                if (!::mkdtemp(pattern.data()))
                    throw std::runtime_error("cannot create a directory under " + pattern);
                tempDir = pattern;
            }
            dir = tempDir;
        } else {
            std::error_code ec;
            std::filesystem::create_directories(dir, ec);
            if (ec)
                throw std::runtime_error("cannot create " + dir + ": " + ec.message());
        }
        certFile = dir + "/cert.pem";
        keyFile = dir + "/key.pem";
        // A state directory keeps its certificate across runs, so clients can
        // keep trusting it; a private directory always gets a fresh one.
        if (!std::filesystem::exists(certFile) || !std::filesystem::exists(keyFile))
            generateCertificate(certFile, keyFile, options.host);
    }
    pin = publicKeyPin(certFile);
}

FaultDecision Simulator::Impl::decideFault(const std::string& method, const std::string& path) {
    FaultDecision d;
    std::lock_guard<std::mutex> lock(faultMutex);
    for (auto& active : faults) {
        const auto& rule = active.rule;
        if (!rule.matches(method, path))
            continue;
        ++active.matched;
        if (rule.nth != 0 && active.matched != rule.nth)
            continue;
        if (rule.times != 0 && active.fired >= rule.times)
            continue;
        ++active.fired;
        d.latencyMs += rule.latencyMs;
        if (!d.description.empty())
            d.description += "; ";
        d.description += rule.describe();
        if (d.kind == FaultKind::None && rule.kind != FaultKind::None) {
            d.kind = rule.kind;
            d.status = rule.status;
        }
    }
    return d;
}

bool Simulator::Impl::credentialsOk(const httplib::Request& req, std::string& why) const {
    const auto& c = options.credentials;
    const std::pair<const char*, const std::string*> expected[] = {
        {"X-Subsystem-User", &c.user},
        {"X-Subsystem-Password", &c.password},
        {"X-Subsystem-Type", &c.subsystemType},
        {"X-Management-IPs", &c.managementIPs},
    };
    for (const auto& [name, value] : expected) {
        if (!req.has_header(name)) {
            why = std::string("the header ") + name + " is missing";
            return false;
        }
        if (req.get_header_value(name) != *value) {
            why = std::string("the header ") + name + " does not match";
            return false;
        }
    }
    return true;
}

Reply Simulator::Impl::adminFaults(const httplib::Request& req) {
    const std::string& m = req.method;
    if (m == "GET") {
        std::lock_guard<std::mutex> lock(faultMutex);
        return Reply{200, listDocument("faults", faults, [](JsonWriter& w, const ActiveFault& f) {
                         w.beginObject()
                             .member("rule", f.rule.describe())
                             .member("matched", f.matched)
                             .member("fired", f.fired)
                             .endObject();
                     })};
    }
    if (m == "POST") {
        FaultRule rule;
        try {
            const auto first = req.body.find_first_not_of(" \t\r\n");
            rule = first != std::string::npos && req.body[first] == '{'
                       ? parseFaultRuleJson(req.body)
                       : parseFaultRule(req.body);
        } catch (const std::exception& e) {
            return errorReply(400, "The fault rule is not valid.", e.what());
        }
        {
            std::lock_guard<std::mutex> lock(faultMutex);
            faults.push_back(ActiveFault{rule, 0, 0});
        }
        JsonWriter w;
        w.beginObject().member("rule", rule.describe()).endObject();
        return Reply{201, w.take()};
    }
    if (m == "DELETE")
        return clearAll(faultMutex, faults);
    return notSupported(req);
}

Reply Simulator::Impl::adminRequests(const httplib::Request& req) {
    if (req.method == "GET") {
        std::lock_guard<std::mutex> lock(logMutex);
        return Reply{200, listDocument("requests", log, writeRequestRecord)};
    }
    if (req.method == "DELETE")
        return clearAll(logMutex, log);
    return notSupported(req);
}

Reply Simulator::Impl::adminState(const httplib::Request& req) {
    if (req.method == "GET") {
        std::lock_guard<std::mutex> lock(modelMutex);
        return Reply{200, writeStateJson(array)};
    }
    if (req.method == "PUT") {
        try {
            ArrayState fresh = loadStateJson(req.body);
            std::lock_guard<std::mutex> lock(modelMutex);
            array = std::move(fresh);
        } catch (const std::exception& e) {
            return errorReply(400, "The state document is not valid.", e.what());
        }
        return Reply{204, ""};
    }
    return notSupported(req);
}

Reply Simulator::Impl::admin(const httplib::Request& req) {
    const std::string what = req.path.substr(kAdminRoot.size());
    if (what == "faults")
        return adminFaults(req);
    if (what == "requests")
        return adminRequests(req);
    if (what == "state")
        return adminState(req);
    return errorReply(404, "The requested object does not exist.", "no admin resource " + what);
}

void Simulator::Impl::record(RequestRecord rec) {
    if (options.accessLog) {
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.2fms", rec.durationMs);
        std::string line = timestamp() + " " + rec.method + " " + rec.path + " " +
                           (rec.status == 0 ? std::string("closed") : std::to_string(rec.status)) +
                           " " + duration;
        if (!rec.fault.empty())
            line += " fault=[" + rec.fault + "]";
        options.accessLog(line);
    }
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back(std::move(rec));
    if (log.size() > kRequestLogLimit)
        log.pop_front();
}

Reply Simulator::Impl::carryOut(const httplib::Request& req, const FaultDecision& fault) {
    std::string why;
    if (fault.kind == FaultKind::Status)
        return errorReply(fault.status, "Injected fault.", "fault rule " + fault.description);
    if (!credentialsOk(req, why))
        return errorReply(401, "Authentication failed.", why);
    if (startsWith(req.path, kAdminRoot))
        return admin(req);
    if (startsWith(req.path, kStorageRoot)) {
        std::lock_guard<std::mutex> lock(modelMutex);
        return handleStorage(array, req.method, req.path.substr(kStorageRoot.size()), req.body,
                             static_cast<std::uint64_t>(std::time(nullptr)));
    }
    return errorReply(404, "The requested object does not exist.", "no resource " + req.path);
}

void Simulator::Impl::handle(const httplib::Request& req, httplib::Response& res) {
    const InFlight counted(inFlight, peakInFlight);
    const auto start = std::chrono::steady_clock::now();
    const int fd = req.ssl ? SSL_get_fd(req.ssl) : -1;
    trackConnection(fd);

    RequestRecord rec;
    rec.method = req.method;
    rec.path = req.path;
    rec.body = req.body;
    rec.remotePort = req.remote_port;

    FaultDecision fault;
    if (!startsWith(req.path, kAdminRoot))
        fault = decideFault(req.method, req.path);
    rec.fault = fault.description;
    // The sleep holds no lock: requests held by a latency fault overlap.
    if (fault.latencyMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.latencyMs));

    if (fault.kind == FaultKind::Close) {
        // Drop the connection before anything is written: the client sees
        // the connection closed without an answer. The request is logged
        // first, so that a client that saw the close also finds it logged.
        rec.status = 0;
        rec.durationMs = millisecondsSince(start);
        record(std::move(rec));
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        res.status = 500; // never reaches the client
        return;
    }
    writeReply(carryOut(req, fault), fault, res);
    rec.status = res.status;
    rec.durationMs = millisecondsSince(start);
    record(std::move(rec));
}

Simulator::Simulator(SimulatorOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() {
    stop();
    if (!impl_->tempDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(impl_->tempDir, ec);
    }
}

void Simulator::Impl::configureServer() {
    SSL_CTX* ctx = server->ssl_context();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Note every connection at its handshake, so stop() can close idle ones.
    SSL_CTX_set_client_hello_cb(
        ctx,
        [](SSL* ssl, int*, void* arg) {
            static_cast<Impl*>(arg)->trackConnection(SSL_get_fd(ssl));
            return SSL_CLIENT_HELLO_SUCCESS;
        },
        this);

    auto& s = *server;
    const size_t workers = static_cast<size_t>(std::max(2, options.threads));
    s.new_task_queue = [workers] { return new WorkerPool(workers); };
    s.set_tcp_nodelay(true);
    s.set_keep_alive_max_count(1000000);
    s.set_keep_alive_timeout(std::max(1, options.keepAliveTimeoutSec));
    s.set_read_timeout(30);
    s.set_write_timeout(30);
    s.set_payload_max_length(64u << 20);
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res);
    };
    s.Get(".*", handler)
        .Post(".*", handler)
        .Put(".*", handler)
        .Delete(".*", handler)
        .Patch(".*", handler);
    s.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request& req, httplib::Response& res) {
            if (res.body.empty() && !res.content_provider_)
                res.set_content(errorDocument(res.status, "The request was not accepted.",
                                              req.method + " " + req.path),
                                "application/json");
            return httplib::Server::HandlerResponse::Handled;
        }));
}

void Simulator::Impl::bindAndListen() {
    auto& s = *server;
    int listening = -1;
    s.set_socket_options([&listening](socket_t sock) {
        httplib::default_socket_options(sock);
        listening = sock;
    });
    if (options.port == 0) {
        port = s.bind_to_any_port(options.host);
    } else {
        port = s.bind_to_port(options.host, options.port) ? options.port : -1;
    }
    if (port <= 0) {
        server.reset();
        throw std::runtime_error("cannot listen on " + options.host + ":" +
                                 std::to_string(options.port));
    }
    // A listen backlog of a real server's size (cpp-httplib's is 5): a client
    // that opens many connections at once waits in the accept queue, as at a
    // real gateway, instead of for SYN retransmissions.
    if (listening >= 0) {
        ::listen(listening, kListenBacklog);
    }
    s.set_socket_options(httplib::default_socket_options);

    // Workers inherit the signal mask of the thread that starts them: with
    // SIGPIPE blocked there, writing to a connection the peer (or a fault)
    // closed fails with EPIPE instead of ending the process.
    sigset_t pipe, previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    thread = std::thread([&s] { s.listen_after_bind(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    for (int i = 0; i < 500 && !s.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void Simulator::start() {
    Impl& d = *impl_;
    if (d.running)
        return;
    d.prepareCertificate();
    d.server = std::make_unique<httplib::SSLServer>(d.certFile.c_str(), d.keyFile.c_str());
    if (!d.server->is_valid())
        throw std::runtime_error("cannot load the certificate " + d.certFile + " and key " +
                                 d.keyFile);
    // The server holds the key now. A key generated into the private
    // directory goes at once, so that a process killed before it could clean
    // up leaves no private key behind (a later start generates a fresh pair).
    if (!d.tempDir.empty() && d.keyFile == d.tempDir + "/key.pem")
        std::remove(d.keyFile.c_str());
    d.configureServer();
    d.bindAndListen();
    d.running = true;
}

void Simulator::stop() {
    Impl& d = *impl_;
    if (!d.server)
        return;
    d.server->stop();
    {
        // Wake the workers that wait on idle keep-alive connections.
        std::lock_guard<std::mutex> lock(d.connMutex);
        for (int fd : d.connections)
            if (localPort(fd) == d.port)
                ::shutdown(fd, SHUT_RDWR);
        d.connections.clear();
    }
    if (d.thread.joinable())
        d.thread.join();
    d.server.reset();
    d.running = false;
}

bool Simulator::running() const {
    return impl_->running;
}
const std::string& Simulator::host() const {
    return impl_->options.host;
}
int Simulator::port() const {
    return impl_->port;
}
std::string Simulator::url() const {
    const auto& h = impl_->options.host;
    const bool v6 = h.find(':') != std::string::npos;
    return "https://" + (v6 ? "[" + h + "]" : h) + ":" + std::to_string(impl_->port);
}
const std::string& Simulator::caFile() const {
    return impl_->certFile;
}
const std::string& Simulator::pin() const {
    return impl_->pin;
}
const Credentials& Simulator::credentials() const {
    return impl_->options.credentials;
}

LockedArray Simulator::model() {
    return LockedArray(impl_->modelMutex, impl_->array);
}

void Simulator::addFault(const FaultRule& rule) {
    std::lock_guard<std::mutex> lock(impl_->faultMutex);
    impl_->faults.push_back(Impl::ActiveFault{rule, 0, 0});
}

void Simulator::clearFaults() {
    std::lock_guard<std::mutex> lock(impl_->faultMutex);
    impl_->faults.clear();
}

std::vector<FaultRule> Simulator::faults() const {
    std::lock_guard<std::mutex> lock(impl_->faultMutex);
    std::vector<FaultRule> out;
    for (const auto& f : impl_->faults)
        out.push_back(f.rule);
    return out;
}

std::vector<RequestRecord> Simulator::requestLog() const {
    std::lock_guard<std::mutex> lock(impl_->logMutex);
    return std::vector<RequestRecord>(impl_->log.begin(), impl_->log.end());
}

int Simulator::peakInFlight() const {
    return impl_->peakInFlight;
}

void Simulator::resetPeakInFlight() {
    impl_->peakInFlight = impl_->inFlight.load();
}

void Simulator::clearRequestLog() {
    std::lock_guard<std::mutex> lock(impl_->logMutex);
    impl_->log.clear();
}

} // namespace hnasgwsim
