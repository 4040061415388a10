// Walks against gateways narrower or slower than the window: whatever the
// number in flight, a walk returns the records, the result, the skipped items
// and every log line of the walk one request at a time. Also the bounds a
// walk keeps: each GET's time-out from its own send, Retry-After within the
// time-out, nothing sent under a retired trust, descriptors after walks.

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include <boost/make_shared.hpp>

#include "reliability/SimHarness.h"
#include "support/CaptureLog.h"

using namespace reltest;

namespace {

constexpr unsigned long long kJobId = 4242;
const unsigned kWindows[] = {4, 16, 64};

// A gateway in front of the simulator that accepts many connections (64
// workers): it handles one GET at a time, each for `serialMs`, or answers
// those that `intercept` takes itself.
using Intercept = std::function<bool(const httplib::Request&, httplib::Response&)>;
class FrontGateway {
public:
    FrontGateway(const hnasgwsim::Simulator& sim, const Certificate& cert, int serialMs,
                 Intercept intercept = nullptr)
        : sim_(sim), server_(cert.certFile().c_str(), cert.keyFile().c_str()), serialMs_(serialMs),
          intercept_(std::move(intercept)) {
        server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            if (intercept_ && intercept_(req, res))
                return;
            std::unique_lock<std::mutex> one(oneAtATime_, std::defer_lock);
            if (serialMs_ > 0)
                one.lock();
            std::this_thread::sleep_for(std::chrono::milliseconds(serialMs_));
            httplib::SSLClient client(sim_.host(), sim_.port());
            client.set_ca_cert_path(sim_.caFile().c_str());
            httplib::Headers headers;
            for (const auto& [name, value] : req.headers)
                if (name.rfind("X-", 0) == 0)
                    headers.emplace(name, value);
            auto answer = client.Get(req.path, headers);
            res.status = answer ? answer->status : 502;
            if (answer)
                res.set_content(answer->body, "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 500 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~FrontGateway() {
        server_.stop();
        thread_.join();
    }
    int port() const { return port_; }

private:
    const hnasgwsim::Simulator& sim_;
    httplib::SSLServer server_;
    std::mutex oneAtATime_;
    int serialMs_;
    Intercept intercept_;
    int port_ = 0;
    std::thread thread_;
};

// What a caller observes of the two walks: every line (time-outs' durations
// left out), the records, the results and the skipped items.
struct Observed {
    std::vector<std::string> lines;
    int skipped = 0;
    bool operator==(const Observed& o) const { return lines == o.lines && skipped == o.skipped; }
};

std::ostream& operator<<(std::ostream& out, const Observed& o) {
    for (const std::string& line : o.lines)
        out << "\n  " << line.substr(0, 300);
    return out << "\n  skipped: " << o.skipped;
}

// The first line where two runs part, for a readable failure.
std::string firstDifference(const Observed& a, const Observed& b) {
    for (size_t i = 0; i < a.lines.size() && i < b.lines.size(); ++i)
        if (a.lines[i] != b.lines[i])
            return "line " + std::to_string(i) + ":\n  " + a.lines[i].substr(0, 400) + "\n  " +
                   b.lines[i].substr(0, 400);
    return "lengths " + std::to_string(a.lines.size()) + " and " + std::to_string(b.lines.size());
}

void addLine(Observed& o, const std::string& line) {
    static const std::regex took("after [0-9]+ milliseconds");
    o.lines.push_back(std::regex_replace(line, took, "after"));
}

// Both walks on a fresh facade: getAllSnapshots, then the permissions of every
// CIFS share of each virtual server.
Observed walkAll(const hnasgwsim::Simulator& sim, int port, unsigned parallel,
                 const std::vector<__HNASVirtualServers>& servers) {
    hnastest::CaptureLog log(5);
    Observed o;
    {
        RkManageHNAS hnas(kJobId);
        initFacade(hnas, sim, "", port);
        hnas.setParallelRequests(parallel);
        std::vector<__HNASFileSystemSnapshot> snapshots;
        addLine(o, "getAllSnapshots=" + std::to_string(hnas.getAllSnapshots(snapshots)));
        for (const auto& s : snapshots)
            addLine(o, "snapshot " + s.filesystemId + "/" + s.objectId + "/" + s.displayName);
        for (const auto& item : hnas.getSkippedItems())
            addLine(o, "skipped " + item.objectId + " " + item.name + ": " + item.reason);
        o.skipped += static_cast<int>(hnas.getSkippedItems().size());
        for (__HNASVirtualServers server : servers) {
            std::vector<__HNASFileSystemShares> all, shares;
            hnas.getFilesystemShares(server, "CIFS", all, false);
            for (const auto& share : all) {
                __HNASFileSystemShares wanted;
                wanted.name = share.name;
                shares.push_back(wanted);
            }
            addLine(o, "shares=" +
                           std::to_string(hnas.getFilesystemShares(server, "CIFS", shares, true)));
            for (const auto& share : shares) {
                std::string entries;
                for (const auto& a : share.settings.cifsAuthentications)
                    entries += a.name + "=" + std::to_string(a.permission) + ",";
                addLine(o, "share " + share.objectId + " " + entries);
            }
            o.skipped += static_cast<int>(hnas.getSkippedItems().size());
        }
    }
    for (const LogRecord& r : log->records())
        addLine(o, std::to_string(r.level) + " " + r.function + " [" + std::to_string(r.jobId) +
                       "] " + r.text);
    return o;
}

hnasgwsim::ArrayState smallArray(int fileSystems, int shares) {
    hnasgwsim::GenerateOptions g;
    g.virtualServers = 2;
    g.fileSystems = fileSystems;
    g.shares = shares;
    g.snapshotsPerFileSystem = 3;
    return hnasgwsim::generateArray(g);
}

// A started simulator serving a generated array of `fileSystems` file systems
// (and `shares` shares) with `cert`, with `workers` workers.
std::unique_ptr<hnasgwsim::Simulator> simulatorWith(const Certificate& cert, int fileSystems,
                                                    int shares = 0, int workers = 256) {
    hnasgwsim::SimulatorOptions options = withCertificate(cert);
    options.threads = workers;
    options.array = smallArray(fileSystems, shares);
    auto sim = std::make_unique<hnasgwsim::Simulator>(std::move(options));
    sim->start();
    return sim;
}

std::vector<__HNASVirtualServers> serversOf(hnasgwsim::Simulator& sim) {
    std::vector<__HNASVirtualServers> servers;
    auto array = sim.model();
    for (const auto& v : array->virtualServers)
        servers.push_back(hnastest::virtualServer(v.objectId, v.name));
    return servers;
}

struct NarrowCase {
    const char* name;
    int workers;      // connections the gateway serves at once
    int keepAliveSec; // how long it keeps an idle connection
    int serialMs;     // > 0: one request at a time, each this long
    long timeoutMs;   // the client's request time-out
    long connectMs;   // and its connect time-out
    int fileSystems, shares;
    bool pauseFirst; // let the gateway close the idle connections before each walk
};

const NarrowCase kNarrowCases[] = {
    // A thread-pool server with fewer workers than the window, keep-alive.
    {"fewer-workers-than-window", 8, 5, 0, 4000, 4000, 24, 24, false},
    // A process-pool server: 4 workers, keep-alive 5 s; connections beyond
    // them time out in their connect phase.
    {"four-workers", 4, 5, 0, 4000, 1000, 30, 12, false},
    // One request at a time, slower than the time-out over the window (600 ms
    // each, 4 in flight would take 2.4 s).
    {"one-at-a-time-slow", 256, 5, 600, 2000, 2000, 6, 2, false},
    // Idle kept-alive connections closed after a second, walks after a pause.
    {"closes-idle-connections", 256, 1, 0, 4000, 4000, 24, 24, true},
};

TEST(NarrowGateways, WalksReturnWhatOneAtATimeReturns) {
    for (const NarrowCase& c : kNarrowCases) {
        SCOPED_TRACE(c.name);
        Certificate cert;
        auto sim = simulatorWith(cert, c.fileSystems, c.shares, c.serialMs > 0 ? 256 : c.workers);
        std::unique_ptr<FrontGateway> serial;
        if (c.serialMs > 0)
            serial = std::make_unique<FrontGateway>(*sim, cert, c.serialMs);
        const int port = serial ? serial->port() : 0;
        RKLibCurlOptions client = fastOptions(*sim);
        client.requestTimeoutMs = c.timeoutMs;
        client.connectTimeoutMs = c.connectMs;
        ClientOptions scoped(client);
        const auto servers = serversOf(*sim);
        auto walk = [&](unsigned parallel) {
            if (c.pauseFirst)
                std::this_thread::sleep_for(std::chrono::milliseconds(1300));
            return walkAll(*sim, port, parallel, servers);
        };
        const Observed one = walk(1);
        EXPECT_EQ(one.skipped, 0) << one;
        for (unsigned parallel : kWindows) {
            SCOPED_TRACE(parallel);
            const Observed ahead = walk(parallel);
            EXPECT_TRUE(ahead == one) << firstDifference(ahead, one);
        }
    }
}

} // namespace

namespace {

// A log writer that runs `action` once, on the walk's own thread, when a line
// with `text` is written, and passes every line on.
class TriggerOnLine : public CapturingLogWriter {
public:
    TriggerOnLine(std::string text, std::function<void()> action)
        : CapturingLogWriter(5), text_(std::move(text)), action_(std::move(action)) {}
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override {
        va_list args;
        va_start(args, format);
        const std::string text = hnasFormatV(format, args);
        va_end(args);
        CapturingLogWriter::Write(level, function, line, jobId, flags, "%s", text.c_str());
        if (!fired_ && text.find(text_) != std::string::npos) {
            fired_ = true;
            action_();
        }
    }

private:
    std::string text_;
    std::function<void()> action_;
    bool fired_ = false;
};

// The trust moves while a walk reads its fifth listing: no GET goes out under
// the old trust after that, and the walk observes what the walk at 1 does
// (the listings after the move fail the new trust's check).
TEST(WalkBounds, NothingIsSentUnderATrustThatMoved) {
    Certificate cert, other;
    auto simulator = simulatorWith(cert, 24);
    hnasgwsim::Simulator& sim = *simulator;
    sim.addFault(hnasgwsim::parseFaultRule("GET filesystem-snapshots/* latency=30"));
    ClientOptions scoped(fastOptions(sim));
    std::string fifth;
    {
        auto array = sim.model();
        fifth = "filesystem-snapshots/" + array->fileSystems[4].filesystemId + "/";
    }
    auto run = [&](unsigned parallel, size_t& requestsAfterMove) {
        RKLibCurl::setOptions(fastOptions(sim));
        sim.clearRequestLog();
        size_t sentBeforeMove = 0;
        auto writer = boost::make_shared<TriggerOnLine>(
            "Response received for request. Type[0] URL[" + sim.url() + "/v4/storage/" + fifth,
            [&] {
                RKLibCurlOptions moved = fastOptions(sim);
                moved.caFile = other.certFile();
                RKLibCurl::setOptions(moved);
                sentBeforeMove = sim.requestLog().size();
            });
        const auto previous = GetLogWriter();
        SetLogWriter(writer);
        std::vector<__HNASFileSystemSnapshot> snapshots;
        std::vector<__HNASSkippedItem> skipped;
        bool ok = false;
        {
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, sim);
            hnas.setParallelRequests(parallel);
            ok = hnas.getAllSnapshots(snapshots);
            skipped = hnas.getSkippedItems();
        }
        SetLogWriter(previous);
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // late requests, if any
        requestsAfterMove = sim.requestLog().size() - sentBeforeMove;
        Observed o;
        addLine(o, "ok=" + std::to_string(ok) + " snapshots=" + std::to_string(snapshots.size()));
        for (const auto& item : skipped)
            addLine(o, "skipped " + item.name + ": " + item.reason.substr(0, 40));
        for (const LogRecord& r : writer->records())
            addLine(o, std::to_string(r.level) + " " + r.function + " " + r.text);
        return o;
    };
    size_t after = 0;
    const Observed one = run(1, after);
    EXPECT_EQ(after, 0u);
    EXPECT_EQ(std::count_if(one.lines.begin(), one.lines.end(),
                            [](const std::string& l) { return l.rfind("skipped", 0) == 0; }),
              24 - 5);
    for (unsigned parallel : kWindows) {
        SCOPED_TRACE(parallel);
        const Observed ahead = run(parallel, after);
        EXPECT_TRUE(ahead == one) << firstDifference(ahead, one);
        // What was in flight at the move may still arrive; nothing is sent after it.
        EXPECT_LE(after, parallel);
    }
}

// Each GET's time-out counts from its own send: a walk longer than the
// time-out, against a gateway that answers every GET in 300 ms, sends each
// listing once and skips none.
TEST(WalkBounds, EachGetsTimeOutCountsFromItsOwnSend) {
    Certificate cert;
    auto simulator = simulatorWith(cert, 40);
    hnasgwsim::Simulator& sim = *simulator;
    sim.addFault(hnasgwsim::parseFaultRule("GET filesystem-snapshots/* latency=300"));
    RKLibCurlOptions client = fastOptions(sim);
    client.requestTimeoutMs = client.connectTimeoutMs = 1500;
    ClientOptions scoped(client);
    RkManageHNAS hnas(kJobId);
    initFacade(hnas, sim);
    hnas.setParallelRequests(4); // 40 listings, 4 at a time: about 3 s in all
    std::vector<__HNASFileSystemSnapshot> snapshots;
    EXPECT_TRUE(hnas.getAllSnapshots(snapshots));
    EXPECT_TRUE(hnas.getSkippedItems().empty());
    EXPECT_EQ(sim.requestLog().size(), 41u); // the file systems, then each listing once
}

// A 503 whose Retry-After lies beyond what is left of the request time-out
// ends the GET at once, alone or in a walk, with the line that says so.
TEST(WalkBounds, RetryAfterBeyondTheTimeOutEndsTheRequest) {
    Certificate cert;
    auto sim = startSimulator(withCertificate(cert));
    RKLibCurlOptions client = fastOptions(*sim);
    client.maxRetries = 3;
    client.retryMaxDelayMs = 60000;
    client.requestTimeoutMs = 1500;
    ClientOptions scoped(client);
    FrontGateway busy(*sim, cert, 0, [](const httplib::Request& req, httplib::Response& res) {
        if (req.path.find("filesystem-snapshots/") == std::string::npos)
            return false;
        res.status = 503;
        res.set_header("Retry-After", "30");
        return true;
    });
    for (unsigned parallel : {1u, 4u}) {
        SCOPED_TRACE(parallel);
        hnastest::CaptureLog log(5);
        RkManageHNAS hnas(kJobId);
        initFacade(hnas, *sim, "", busy.port());
        hnas.setParallelRequests(parallel);
        std::vector<__HNASFileSystemSnapshot> snapshots;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(hnas.getAllSnapshots(snapshots));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(hnas.getSkippedItems().size(), 4u);
        EXPECT_TRUE(log->contains("Not retrying GET request: HTTP status 503; the request "
                                  "time-out of 1500 ms leaves no room for another attempt.",
                                  -1))
            << log.dump();
    }
}

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr)
            ++n;
        closedir(d);
    }
    return n;
}

// After walks on several threads, the threads hold no more descriptors than
// after the same walks one request at a time.
TEST(WalkBounds, WalksLeaveNoMoreConnectionsThanOneAtATime) {
    Certificate cert;
    auto simulator = simulatorWith(cert, 64);
    hnasgwsim::Simulator& sim = *simulator;
    ClientOptions scoped(fastOptions(sim));
    auto held = [&](unsigned parallel) {
        constexpr int kThreads = 4;
        std::mutex m;
        std::condition_variable cv;
        int walked = 0;
        bool done = false;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&] {
                RkManageHNAS hnas(kJobId);
                initFacade(hnas, sim);
                hnas.setParallelRequests(parallel);
                std::vector<__HNASFileSystemSnapshot> snapshots;
                EXPECT_TRUE(hnas.getAllSnapshots(snapshots));
                std::unique_lock<std::mutex> lock(m);
                ++walked;
                cv.notify_all();
                cv.wait(lock, [&] { return done; }); // the thread lives on, with its caches
            });
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return walked == kThreads; });
        // The in-process gateway closes its side of a closed connection when
        // it notices: let it, so that only what the client holds counts.
        int open = openDescriptors();
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            open = std::min(open, openDescriptors());
        }
        done = true;
        cv.notify_all();
        lock.unlock();
        for (auto& t : threads)
            t.join();
        return open;
    };
    const int oneAtATime = held(1);
    const int ahead = held(64);
    EXPECT_LE(ahead, oneAtATime);
    RecordProperty("descriptors_one_at_a_time", oneAtATime);
    RecordProperty("descriptors_at_64", ahead);
}

} // namespace
