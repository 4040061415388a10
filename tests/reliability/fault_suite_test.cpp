// Every operation against every gateway and network fault, at each of the
// requests it sends: the operation ends with false (or its documented
// tolerance) and its failure line, leaves its out-parameter as documented,
// ends within the configured time-out and never logs the password.

#include <algorithm>
#include <chrono>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "reliability/OpTable.h"
#include "reliability/RewritingProxy.h"
#include "rest/Operations.h"
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
    {Kind::Retried, "503-once", "status=503 times=1", nullptr},  // a GET is sent again
};

// Every kind of the simulator's fault table is placed by a row above.
TEST(FaultSuiteRows, EverySimulatorFaultKindHasARow) {
    std::size_t count = 0;
    const hnasgwsim::FaultKindInfo* kinds = hnasgwsim::faultKinds(count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_TRUE(std::any_of(std::begin(kFaults), std::end(kFaults), [&](const Fault& f) {
            const std::string action = f.kind == Kind::Latency ? "latency=1" : f.action;
            return !action.empty() &&
                   hnasgwsim::parseFaultRule("GET x " + action).kind == kinds[i].kind;
        })) << kinds[i].name;
    }
}

// Every operation of the library's table is run by a row of the operation
// table, with a request of its verb answered with its status.
TEST(FaultSuiteRows, EveryLibraryOperationHasARow) {
    const char* const kVerbs[] = {"GET", "POST", "PUT", "DELETE"};
    std::set<std::string> steps; // "name METHOD status"
    for (const OpCase& c : operationTable(arrayIds()))
        for (const Step& s : c.steps)
            steps.insert(c.name.substr(0, c.name.find('(')) + " " + s.method + " " +
                         std::to_string(s.okStatus));
    for (const hnasmgmt::Operation& row : hnasmgmt::kOperations) {
        const std::string f = row.function;
        EXPECT_EQ(steps.count(f.substr(f.rfind(':') + 1) + " " + kVerbs[int(row.verb)] + " " +
                              std::to_string(row.status)),
                  1u)
            << f;
    }
}

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

// The simulator (and the proxy in front of it) serving one certificate, and
// a second simulator trusted for another name.
struct Servers {
    Certificate local;
    std::unique_ptr<hnasgwsim::Simulator> sim = startSimulator(withCertificate(local));
    Certificate foreign{"gateway.invalid", "DNS:gateway.invalid"};
    std::unique_ptr<hnasgwsim::Simulator> otherName = startSimulator(withCertificate(foreign));
    RewritingProxy proxy{*sim, local.certFile(), local.keyFile()};
};

// One run of an operation on a fresh facade: its outcome, every line logged
// until the facade is gone, and the facade's last error code.
struct Seen {
    Outcome outcome;
    std::vector<LogRecord> records;
    int lastError = 0;
    std::string dump;
    bool logged(const std::string& text, int level) const {
        return std::any_of(records.begin(), records.end(),
                           [&](const LogRecord& r) { return r.text == text && r.level == level; });
    }
};

class FaultSuite : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() { s = new Servers; }
    static void TearDownTestSuite() { delete s; }

    void resetArray() {
        s->sim->clearFaults();
        s->sim->clearRequestLog();
        *s->sim->model() = hnasgwsim::defaultArray();
    }

    Seen session(const OpCase& op, const RKLibCurlOptions& options, int port = 0,
                 unsigned parallel = 1) {
        ClientOptions scoped(options);
        hnastest::CaptureLog log(5);
        Seen run;
        {
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, *s->sim, "", port);
            hnas.setParallelRequests(parallel);
            run.outcome = op.run(hnas);
            run.lastError = hnas.getLastErrorCode();
        }
        run.records = log->records();
        run.dump = log.dump();
        expectNoSecret(run.records, s->sim->credentials().password);
        return run;
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
        RKLibCurlOptions options = fastOptions(*s->sim);
        int port = 0;
        if (kind == Kind::Refused) {
            port = closedPort();
        } else if (kind == Kind::Untrusted) {
            options.caFile.clear();
        } else if (kind == Kind::WrongName) {
            options.caFile = s->foreign.certFile();
            port = s->otherName->port();
        } else if (kind == Kind::OverCap || kind == Kind::EmptyBody || kind == Kind::ShortJson) {
            options.maxResponseBytes = 64 * 1024; // above every sound answer here
            port = s->proxy.port();
            s->proxy.rewrite(step.method, path,
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
            s->sim->addFault(hnasgwsim::parseFaultRule(step.method + " " + path + " " + action));
        }
        const auto start = std::chrono::steady_clock::now();
        const Seen run = session(op, options, port, parallel);
        const long long took = elapsedMs(start);
        const bool lastError401 = std::string(fault.name) == "401" && step.virtualServerListing;
        EXPECT_EQ(run.lastError, lastError401 ? 5 : 0);

        const Effect effect = effectOf(kind, step);
        if (effect == Effect::Pass) {
            EXPECT_TRUE(run.outcome.ok) << run.dump;
            EXPECT_EQ(run.outcome.out, op.okOut);
        } else {
            EXPECT_EQ(run.outcome.ok, step.tolerated) << run.dump;
            const Out expected = op.okOut == Out::None ? Out::None
                                 : step.tolerated      ? op.okOut
                                                       : step.failOut;
            EXPECT_EQ(run.outcome.out, expected);
            if (effect == Effect::BadBody) {
                EXPECT_TRUE(run.logged("Unable to parse JSON response", -1)) << run.dump;
            }
            if (effect == Effect::EmptyBody) {
                EXPECT_TRUE(run.logged("Empty response from the array", -1)) << run.dump;
            }
            if (effect == Effect::Fail || step.wraps) {
                EXPECT_TRUE(countLines(run.records, step.failLine))
                    << "missing: " << step.failLine << "\n"
                    << run.dump;
            }
        }
        if (fault.reason) {
            EXPECT_TRUE(
                countLines(run.records, "No answer from the gateway. Reason [", fault.reason))
                << run.dump;
        }
        // Ends within the time-out of the requests it sent, plus a margin.
        EXPECT_LT(took, static_cast<long long>(op.steps.size()) *
                                (kConnectTimeoutMs + kRequestTimeoutMs) +
                            1500);
        if (kind == Kind::Latency) // let the late answer go out before the next case
            std::this_thread::sleep_for(std::chrono::milliseconds(kOvershootMs + 100));

        // The fault struck the request the table names. The simulator records
        // a request once it has answered it, so wait for the record.
        if (wholeConnection(kind)) {
            EXPECT_TRUE(s->sim->requestLog().empty());
        } else if (port == s->proxy.port()) {
            EXPECT_GE(s->proxy.rewritten(), 1);
            if (step.method != "GET") {
                EXPECT_EQ(s->proxy.rewritten(), 1);
            }
        } else {
            std::vector<hnasgwsim::RequestRecord> faulted;
            for (int i = 0; i < 100 && faulted.empty(); ++i) {
                for (const auto& r : s->sim->requestLog())
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
        return observed(run.records, run.outcome);
    }

    static constexpr unsigned long long kJobId = 9001;
    static Servers* s;
};

Servers* FaultSuite::s = nullptr;

TEST_P(FaultSuite, EveryOperationAtEveryRequestUnderEveryFault) {
    for (const OpCase& op : operationTable(arrayIds())) {
        if (op.family != GetParam())
            continue;
        // Without a fault the operation succeeds with the requests the table
        // lists, and logs no password at level 5.
        SCOPED_TRACE(op.name);
        resetArray();
        { // before init: false, nothing sent, the reason with the job
            hnastest::CaptureLog log(5);
            RkManageHNAS fresh(kJobId);
            EXPECT_FALSE(op.run(fresh).ok);
            EXPECT_TRUE(s->sim->requestLog().empty());
            for (const LogRecord& r : log->records())
                EXPECT_EQ(r.jobId, static_cast<long long>(kJobId)) << r.text;
            EXPECT_TRUE(log->contains("Initialize HNAS params.", -1)) << log.dump();
        }
        const Seen clean = session(op, fastOptions(*s->sim));
        ASSERT_TRUE(clean.outcome.ok) << clean.dump;
        EXPECT_EQ(clean.outcome.out, op.okOut);
        const auto requests = s->sim->requestLog();
        ASSERT_EQ(requests.size(), op.steps.size());
        std::vector<std::string> paths;
        std::multiset<std::string> sent;
        for (size_t i = 0; i < requests.size(); ++i) {
            paths.push_back(requests[i].path);
            sent.insert(requests[i].method + " " + requests[i].path);
            EXPECT_EQ(requests[i].method, op.steps[i].method) << i;
            EXPECT_EQ(requests[i].status, op.steps[i].okStatus) << i;
        }
        // A walk with its GETs in flight together, each held 100 ms by the
        // gateway: the caller observes the same, the gateway sees the same
        // requests over more than one connection; also with the fault at any
        // of its requests.
        if (op.walk) {
            resetArray();
            for (const char* held : {"filesystem-snapshots/*", "filesystem-shares/cifs/*"})
                s->sim->addFault(hnasgwsim::parseFaultRule(std::string("GET /v4/storage/") + held +
                                                           " latency=100"));
            const Seen ahead = session(op, fastOptions(*s->sim), 0, kParallel);
            EXPECT_EQ(observed(ahead.records, ahead.outcome),
                      observed(clean.records, clean.outcome));
            std::multiset<std::string> aheadSent;
            std::set<int> connections;
            const auto aheadRequests = s->sim->requestLog();
            for (size_t i = 0; i < aheadRequests.size(); ++i) {
                aheadSent.insert(aheadRequests[i].method + " " + aheadRequests[i].path);
                if (i > 0)
                    connections.insert(aheadRequests[i].remotePort);
            }
            EXPECT_EQ(aheadSent, sent);
            EXPECT_GE(connections.size(), 2u);
        }
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
                         ::testing::Values("device", "virtual_servers", "file_systems", "snapshots",
                                           "shares", "directories", "permissions"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
