// Every operation against every gateway and network fault, at each of the
// requests it sends: the operation ends with false (or its documented
// tolerance) and its failure line, leaves its out-parameter as documented,
// ends within the configured time-out and never logs the password.

#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "reliability/OpTable.h"
#include "reliability/RewritingProxy.h"
#include "support/CaptureLog.h"

using namespace reltest;

namespace {

// Rule: a simulator rule with the fault's own action.
enum class Kind {
    Rule,
    NotJson,
    WrongSuccess,
    Latency,
    EmptyBody,
    ShortJson,
    OverCap,
    Refused,
    Untrusted,
    WrongName,
    Retried // a 503 once, with one retry allowed
};

// How far a delayed answer comes after the request time-out.
constexpr long kOvershootMs = 150;

struct Fault {
    Kind kind;
    const char* name;
    const char* action; // of the simulator rule, if one places the fault
    const char* reason; // what the session's reason line names when no answer came
};

// Faults placed on one request by a simulator rule or by the proxy, then
// faults of the whole connection (they strike the first request).
const Fault kFaults[] = {
    {Kind::Rule, "close", "close", "returned nothing"},
    {Kind::Rule, "mid-body", "truncate", "partial file"},
    {Kind::NotJson, "not-json", "notjson", nullptr},
    {Kind::Rule, "401", "status=401", nullptr},
    {Kind::Rule, "404", "status=404", nullptr},
    {Kind::Rule, "500", "status=500", nullptr},
    {Kind::WrongSuccess, "wrong-success", "", nullptr},     // 200 for 201, 201 for 204 and 200
    {Kind::Latency, "latency", "", "Timeout"},              // an answer after the request time-out
    {Kind::EmptyBody, "empty-body", "", nullptr},           // the success status, an empty body
    {Kind::ShortJson, "short-json", "", nullptr},           // the success status, half the body
    {Kind::OverCap, "over-cap", "", "larger than the cap"}, // over the client's size cap
    {Kind::Refused, "refused", "", "Couldn't connect"},
    {Kind::Untrusted, "untrusted", "", "SSL peer certificate"},
    {Kind::WrongName, "wrong-name", "", "SSL peer certificate"}, // trusted, for another name
    {Kind::Retried, "503-once", "status=503 times=1", nullptr},   // a GET is sent again
};

bool wholeConnection(Kind k) {
    return k == Kind::Refused || k == Kind::Untrusted || k == Kind::WrongName;
}

enum class Effect { Fail, BadBody, EmptyBody, Pass };

Effect effectOf(Kind kind, const Step& step) {
    if (kind == Kind::Retried)
        return step.method == "GET" ? Effect::Pass : Effect::Fail;
    if (kind == Kind::EmptyBody)
        return step.reads ? Effect::EmptyBody : Effect::Pass;
    if (kind == Kind::ShortJson)
        return step.reads ? Effect::BadBody : Effect::Pass;
    if (kind != Kind::NotJson)
        return Effect::Fail;
    if (step.reads)
        return Effect::BadBody;
    // The simulator sends 200 in place of a 204; a 201 keeps its status.
    return step.okStatus == 204 ? Effect::Fail : Effect::Pass;
}

// Requests a walk may have in flight in the parallel column.
constexpr unsigned kParallel = 8;

// What a caller observes of a run: every log line in order (the time a
// time-out took left out) and the outcome.
std::vector<std::string> observed(const std::vector<LogRecord>& records, const Outcome& run) {
    static const std::regex took("after [0-9]+ milliseconds");
    std::vector<std::string> lines;
    for (const auto& r : records)
        lines.push_back(std::to_string(r.level) + " " + r.function + " [" +
                        std::to_string(r.jobId) + "] " + std::regex_replace(r.text, took, "after"));
    lines.push_back("ok=" + std::to_string(run.ok) + " records=" + run.records);
    return lines;
}

// A line that starts with `prefix` and contains `part`.
bool hasLine(const std::vector<LogRecord>& records, const std::string& prefix,
             const std::string& part = "") {
    for (const auto& r : records)
        if (r.text.compare(0, prefix.size(), prefix) == 0 && r.text.find(part) != std::string::npos)
            return true;
    return false;
}

class FaultSuite : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        local = new Certificate();
        sim = startSimulator(withCertificate(*local)).release();
        foreign = new Certificate("gateway.invalid", "DNS:gateway.invalid");
        otherName = startSimulator(withCertificate(*foreign)).release();
        proxy = new RewritingProxy(*sim, local->certFile(), local->keyFile());
    }
    static void TearDownTestSuite() {
        delete proxy;
        delete otherName;
        delete foreign;
        delete sim;
        delete local;
    }

    void resetArray() {
        sim->clearFaults();
        sim->clearRequestLog();
        *sim->model() = hnasgwsim::defaultArray();
    }

    // Runs the operation once with the fault on request `stepIndex` (whole-
    // connection faults strike the first) and checks the outcome; returns
    // what the caller observed.
    std::vector<std::string> runCase(const OpCase& op, const Fault& fault, size_t stepIndex,
                                     const std::string& path, unsigned parallel = 1) {
        const Kind kind = fault.kind;
        const Step& step = op.steps[stepIndex];
        SCOPED_TRACE(op.name + " / " + fault.name + " at request " + std::to_string(stepIndex + 1) +
                     " (" + step.method + "), " + std::to_string(parallel) + " in flight");
        resetArray();
        RKLibCurlOptions options = fastOptions(*sim);
        int port = 0;
        if (kind == Kind::Refused) {
            port = closedPort();
        } else if (kind == Kind::Untrusted) {
            options.caFile.clear();
        } else if (kind == Kind::WrongName) {
            options.caFile = foreign->certFile();
            port = otherName->port();
        } else if (kind == Kind::OverCap || kind == Kind::EmptyBody || kind == Kind::ShortJson) {
            options.maxResponseBytes = 64 * 1024; // above every sound answer here
            port = proxy->port();
            proxy->rewrite(step.method, path,
                           kind == Kind::OverCap     ? RewritingProxy::Mode::Padded
                           : kind == Kind::EmptyBody ? RewritingProxy::Mode::Empty
                                                     : RewritingProxy::Mode::FirstHalf);
        } else {
            if (kind == Kind::Retried) {
                options.maxRetries = 1;
                options.retryFirstDelayMs = options.retryMaxDelayMs = 0;
            }
            std::string action = fault.action;
            if (kind == Kind::WrongSuccess)
                action = step.okStatus == 201 ? "status=200" : "status=201";
            else if (kind == Kind::Latency)
                action = "latency=" + std::to_string(kRequestTimeoutMs + kOvershootMs);
            sim->addFault(hnasgwsim::parseFaultRule(step.method + " " + path + " " + action));
        }
        ClientOptions scoped(options);
        hnastest::CaptureLog log(5);
        const auto start = std::chrono::steady_clock::now();
        Outcome run;
        {
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, *sim, "", port);
            hnas.setParallelRequests(parallel);
            run = op.run(hnas);
            const bool lastError401 = std::string(fault.name) == "401" && step.virtualServerListing;
            EXPECT_EQ(hnas.getLastErrorCode(), lastError401 ? 5 : 0);
        }
        const long long took = elapsedMs(start);
        const auto records = log->records();

        const Effect effect = effectOf(kind, step);
        if (effect == Effect::Pass) {
            EXPECT_TRUE(run.ok) << log.dump();
            EXPECT_EQ(run.out, op.okOut);
        } else {
            EXPECT_EQ(run.ok, step.tolerated) << log.dump();
            const Out expected = op.okOut == Out::None ? Out::None
                                 : step.tolerated      ? op.okOut
                                                       : step.failOut;
            EXPECT_EQ(run.out, expected);
            if (effect == Effect::BadBody) {
                EXPECT_TRUE(log->contains("Unable to parse JSON response", -1)) << log.dump();
            }
            if (effect == Effect::EmptyBody) {
                EXPECT_TRUE(log->contains("Empty response from the array", -1)) << log.dump();
            }
            if (effect == Effect::Fail || step.wraps) {
                EXPECT_TRUE(hasLine(records, step.failLine)) << "missing: " << step.failLine << "\n"
                                                             << log.dump();
            }
        }
        if (fault.reason) {
            EXPECT_TRUE(hasLine(records, "No answer from the gateway. Reason [", fault.reason))
                << log.dump();
        }
        // Ends within the time-out of the requests it sent, plus a margin.
        EXPECT_LT(took, static_cast<long long>(op.steps.size()) *
                                (kConnectTimeoutMs + kRequestTimeoutMs) +
                            1500);
        if (kind == Kind::Latency) // let the late answer go out before the next case
            std::this_thread::sleep_for(std::chrono::milliseconds(kOvershootMs + 100));
        const std::string& password = sim->credentials().password;
        for (const auto& r : records)
            EXPECT_EQ(r.text.find(password), std::string::npos) << r.text;

        // The fault struck the request the table names. The simulator records
        // a request once it has answered it, so wait for the record.
        const std::vector<std::string> seen = observed(records, run);
        if (wholeConnection(kind)) {
            EXPECT_TRUE(sim->requestLog().empty());
        } else if (port == proxy->port()) {
            EXPECT_GE(proxy->rewritten(), 1);
            if (step.method != "GET") {
                EXPECT_EQ(proxy->rewritten(), 1);
            }
        } else {
            std::vector<hnasgwsim::RequestRecord> faulted;
            for (int i = 0; i < 100 && faulted.empty(); ++i) {
                for (const auto& r : sim->requestLog())
                    if (!r.fault.empty())
                        faulted.push_back(r);
                if (faulted.empty())
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_FALSE(faulted.empty());
            if (!faulted.empty()) {
                EXPECT_EQ(faulted[0].method, step.method);
                EXPECT_EQ(faulted[0].path, path);
            }
            // A change the array may have made is never sent twice.
            if (step.method != "GET") {
                EXPECT_EQ(faulted.size(), 1u);
            }
        }
        return seen;
    }

    // A walk with its GETs in flight together, each held 100 ms by the
    // gateway: what the caller observes is what `sequential` observed, and
    // the gateway saw the same requests, over more than one connection.
    void runAhead(const OpCase& op, const std::vector<std::string>& sequential) {
        SCOPED_TRACE(op.name + ", " + std::to_string(kParallel) + " in flight");
        resetArray();
        for (const char* held : {"filesystem-snapshots/*", "filesystem-shares/cifs/*"})
            sim->addFault(
                hnasgwsim::parseFaultRule(std::string("GET /v4/storage/") + held + " latency=100"));
        ClientOptions scoped(fastOptions(*sim));
        hnastest::CaptureLog log(5);
        RkManageHNAS hnas(kJobId);
        initFacade(hnas, *sim);
        hnas.setParallelRequests(kParallel);
        EXPECT_EQ(observed(log->records(), op.run(hnas)), sequential);
        const auto requests = sim->requestLog();
        std::multiset<std::string> sent, listed;
        std::set<int> connections;
        for (size_t i = 0; i < requests.size(); ++i) {
            sent.insert(requests[i].method + " " + requests[i].path);
            if (i > 0)
                connections.insert(requests[i].remotePort);
        }
        for (const auto& r : sequentialRequests)
            listed.insert(r);
        EXPECT_EQ(sent, listed);
        EXPECT_GE(connections.size(), 2u);
    }

    std::vector<std::string> sequentialRequests;

    static constexpr unsigned long long kJobId = 9001;
    static hnasgwsim::Simulator* sim;
    static hnasgwsim::Simulator* otherName;
    static Certificate* local;   // served by the simulator and the proxy
    static Certificate* foreign; // for another name
    static RewritingProxy* proxy;
};

hnasgwsim::Simulator* FaultSuite::sim = nullptr;
hnasgwsim::Simulator* FaultSuite::otherName = nullptr;
Certificate* FaultSuite::local = nullptr;
Certificate* FaultSuite::foreign = nullptr;
RewritingProxy* FaultSuite::proxy = nullptr;

TEST_P(FaultSuite, EveryOperationAtEveryRequestUnderEveryFault) {
    const std::string& password = sim->credentials().password;
    for (const OpCase& op : operationTable(arrayIds())) {
        if (op.family != GetParam())
            continue;
        std::vector<std::string> paths;
        std::vector<std::string> sequential;
        sequentialRequests.clear();
        // Without a fault the operation succeeds with the requests the table
        // lists, and logs no password at level 5.
        {
            SCOPED_TRACE(op.name + " without a fault");
            resetArray();
            ClientOptions scoped(fastOptions(*sim));
            hnastest::CaptureLog log(5);
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, *sim);
            const Outcome run = op.run(hnas);
            ASSERT_TRUE(run.ok) << log.dump();
            EXPECT_EQ(run.out, op.okOut);
            sequential = observed(log->records(), run);
            const auto requests = sim->requestLog();
            ASSERT_EQ(requests.size(), op.steps.size());
            for (size_t i = 0; i < requests.size(); ++i) {
                paths.push_back(requests[i].path);
                sequentialRequests.push_back(requests[i].method + " " + requests[i].path);
                EXPECT_EQ(requests[i].method, op.steps[i].method) << i;
                EXPECT_EQ(requests[i].status, op.steps[i].okStatus) << i;
            }
            for (const auto& r : log->records())
                EXPECT_EQ(r.text.find(password), std::string::npos) << r.text;
        }
        // A walk gives the same records, lines and result with its GETs in
        // flight together, also with the fault at any of its requests.
        if (op.walk)
            runAhead(op, sequential);
        for (size_t i = 0; i < op.steps.size(); ++i)
            for (const Fault& fault : kFaults) {
                if (wholeConnection(fault.kind) ||
                    (fault.kind == Kind::OverCap && op.steps[i].okStatus == 204))
                    continue; // an answer without a body cannot go over the cap
                const auto oneAtATime = runCase(op, fault, i, paths[i]);
                if (op.walk) {
                    EXPECT_EQ(runCase(op, fault, i, paths[i], kParallel), oneAtATime);
                }
            }
        for (const Fault& fault : kFaults)
            if (wholeConnection(fault.kind))
                runCase(op, fault, 0, paths[0]);
    }
}

INSTANTIATE_TEST_SUITE_P(Family, FaultSuite,
                         ::testing::Values("device", "virtual servers", "file systems", "snapshots",
                                           "shares", "directories", "permissions"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == ' ')
                                     c = '_';
                             return name;
                         });

} // namespace
