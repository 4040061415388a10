// Every operation against every gateway and network fault, at each of the
// requests it sends: the operation ends with false (or its documented
// tolerance) and its failure line, leaves its out-parameter as documented,
// ends within the configured time-out and never logs the password.

#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "reliability/OpTable.h"
#include "reliability/RewritingProxy.h"
#include "support/CaptureLog.h"

using namespace reltest;

namespace {

enum class Kind {
    Refused, // nothing listens on the port
    Close,   // connection closed before the answer
    MidBody, // connection closed in the middle of the body
    NotJson, // an HTML body
    Status401,
    Status404,
    Status500,
    WrongSuccess, // 200 for 201, 201 for 204 and for 200
    OverCap,      // a body over the client's size cap
    Latency,      // an answer later than the request time-out
    Untrusted,    // a certificate the client does not trust
    WrongName,    // a trusted certificate for another name
    EmptyBody,    // the success status with an empty body
    ShortJson,    // the success status with the first half of the body
};

const char* kindName(Kind k) {
    switch (k) {
    case Kind::Refused:
        return "refused";
    case Kind::Close:
        return "close";
    case Kind::MidBody:
        return "mid-body";
    case Kind::NotJson:
        return "not-json";
    case Kind::Status401:
        return "401";
    case Kind::Status404:
        return "404";
    case Kind::Status500:
        return "500";
    case Kind::WrongSuccess:
        return "wrong-success";
    case Kind::OverCap:
        return "over-cap";
    case Kind::Latency:
        return "latency";
    case Kind::Untrusted:
        return "untrusted";
    case Kind::WrongName:
        return "wrong-name";
    case Kind::EmptyBody:
        return "empty-body";
    case Kind::ShortJson:
        return "short-json";
    }
    return "?";
}

// Faults placed on one request by a simulator rule or by the proxy.
const Kind kTargeted[] = {Kind::Close,     Kind::MidBody,   Kind::NotJson,      Kind::Status401,
                          Kind::Status404, Kind::Status500, Kind::WrongSuccess, Kind::Latency,
                          Kind::EmptyBody, Kind::ShortJson, Kind::OverCap};
// Faults of the whole connection: they strike the first request.
const Kind kWholeConnection[] = {Kind::Refused, Kind::Untrusted, Kind::WrongName};

// How far a delayed answer comes after the request time-out.
constexpr long kOvershootMs = 150;

// What the session's reason line names when a fault leaves no answer.
const char* reasonOf(Kind kind) {
    switch (kind) {
    case Kind::Refused:
        return "Couldn't connect";
    case Kind::Close:
        return "returned nothing";
    case Kind::MidBody:
        return "partial file";
    case Kind::OverCap:
        return "larger than the cap";
    case Kind::Latency:
        return "Timeout";
    case Kind::Untrusted:
    case Kind::WrongName:
        return "SSL peer certificate";
    default:
        return nullptr; // an answer came
    }
}

bool hasReason(const std::vector<LogRecord>& records, const std::string& part) {
    const std::string prefix = "No answer from the gateway. Reason [";
    for (const auto& r : records)
        if (r.text.compare(0, prefix.size(), prefix) == 0 && r.text.find(part) != std::string::npos)
            return true;
    return false;
}

enum class Effect { Fail, BadBody, EmptyBody, Pass };

Effect effectOf(Kind kind, const Step& step) {
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

// The rule for `kind` on every request with this method and full path.
std::string ruleFor(Kind kind, const Step& step, const std::string& path) {
    std::string action;
    switch (kind) {
    case Kind::Close:
        action = "close";
        break;
    case Kind::MidBody:
        action = "truncate";
        break;
    case Kind::NotJson:
        action = "notjson";
        break;
    case Kind::Status401:
        action = "status=401";
        break;
    case Kind::Status404:
        action = "status=404";
        break;
    case Kind::Status500:
        action = "status=500";
        break;
    case Kind::WrongSuccess:
        action = step.okStatus == 201 ? "status=200" : "status=201";
        break;
    case Kind::Latency:
        action = "latency=" + std::to_string(kRequestTimeoutMs + kOvershootMs);
        break;
    default:
        break;
    }
    return step.method + " " + path + " " + action;
}

bool hasLineStartingWith(const std::vector<LogRecord>& records, const std::string& prefix) {
    for (const auto& r : records)
        if (r.text.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

std::string dump(const std::vector<LogRecord>& records) {
    std::ostringstream out;
    for (const auto& r : records)
        if (r.level < 4)
            out << "  [" << r.level << "] " << r.function << ": " << r.text << "\n";
    return out.str();
}

class FaultSuite : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        local = new Certificate("localhost", "IP:127.0.0.1,DNS:localhost");
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

    // Runs the operation once under `kind` with the fault on request `nth`
    // (1-based; whole-connection faults ignore it) and checks the outcome.
    void runCase(const OpCase& op, Kind kind, size_t stepIndex,
                 const std::vector<std::string>& paths) {
        const Step& step = op.steps[stepIndex];
        SCOPED_TRACE(op.name + " / " + kindName(kind) + " at request " +
                     std::to_string(stepIndex + 1) + " (" + step.method + ")");
        resetArray();
        RKLibCurlOptions options = fastOptions(*sim);
        std::string host;
        int port = 0;
        switch (kind) {
        case Kind::Refused:
            port = closedPort();
            break;
        case Kind::OverCap:
            options.maxResponseBytes = 64 * 1024; // above every sound answer here
            port = proxy->port();
            proxy->rewrite(step.method, paths[stepIndex], RewritingProxy::Mode::Padded);
            break;
        case Kind::Untrusted:
            options.caFile.clear();
            break;
        case Kind::WrongName:
            options.caFile = foreign->certFile();
            port = otherName->port();
            break;
        case Kind::EmptyBody:
        case Kind::ShortJson:
            port = proxy->port();
            proxy->rewrite(step.method, paths[stepIndex],
                           kind == Kind::EmptyBody ? RewritingProxy::Mode::Empty
                                                   : RewritingProxy::Mode::FirstHalf);
            break;
        default:
            sim->addFault(hnasgwsim::parseFaultRule(ruleFor(kind, step, paths[stepIndex])));
        }
        ClientOptions scoped(options);
        hnastest::CaptureLog log(5);
        const auto start = std::chrono::steady_clock::now();
        Outcome run;
        {
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, *sim, host, port);
            run = op.run(hnas);
            const bool lastError401 = kind == Kind::Status401 && step.virtualServerListing;
            EXPECT_EQ(hnas.getLastErrorCode(), lastError401 ? 5 : 0);
        }
        const long long took = elapsedMs(start);
        const auto records = log->records();
        ++faultsInjected[op.family];

        const Effect effect = effectOf(kind, step);
        if (effect == Effect::Pass) {
            EXPECT_TRUE(run.ok) << dump(records);
            EXPECT_EQ(outName(run.out), outName(op.okOut));
        } else {
            EXPECT_EQ(run.ok, step.tolerated) << dump(records);
            const Out expected = op.okOut == Out::None ? Out::None
                                 : step.tolerated      ? op.okOut
                                                       : step.failOut;
            EXPECT_EQ(outName(run.out), outName(expected));
            if (effect == Effect::BadBody) {
                EXPECT_TRUE(log->contains("Unable to parse JSON response", -1)) << dump(records);
            }
            if (effect == Effect::EmptyBody) {
                EXPECT_TRUE(log->contains("Empty response from the array", -1)) << dump(records);
            }
            if (effect == Effect::Fail || step.wraps) {
                EXPECT_TRUE(hasLineStartingWith(records, step.failLine))
                    << "missing: " << step.failLine << "\n"
                    << dump(records);
            }
        }
        if (reasonOf(kind)) {
            EXPECT_TRUE(hasReason(records, reasonOf(kind))) << dump(records);
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
        if (kind == Kind::Refused || kind == Kind::Untrusted || kind == Kind::WrongName) {
            EXPECT_TRUE(sim->requestLog().empty());
        } else if (kind == Kind::EmptyBody || kind == Kind::ShortJson || kind == Kind::OverCap) {
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
            ASSERT_FALSE(faulted.empty());
            EXPECT_EQ(faulted[0].method, step.method);
            EXPECT_EQ(faulted[0].path, paths[stepIndex]);
            // A change the array may have made is never sent twice.
            if (step.method != "GET") {
                EXPECT_EQ(faulted.size(), 1u);
            }
        }
    }

    static constexpr unsigned long long kJobId = 9001;
    static hnasgwsim::Simulator* sim;
    static hnasgwsim::Simulator* otherName;
    static Certificate* local;   // served by the simulator and the proxy
    static Certificate* foreign; // for another name
    static RewritingProxy* proxy;
    static std::map<std::string, int> faultsInjected;
};

hnasgwsim::Simulator* FaultSuite::sim = nullptr;
hnasgwsim::Simulator* FaultSuite::otherName = nullptr;
Certificate* FaultSuite::local = nullptr;
Certificate* FaultSuite::foreign = nullptr;
RewritingProxy* FaultSuite::proxy = nullptr;
std::map<std::string, int> FaultSuite::faultsInjected;

TEST_P(FaultSuite, EveryOperationAtEveryRequestUnderEveryFault) {
    const auto table = operationTable(arrayIds());
    for (const OpCase& op : table) {
        if (op.family != GetParam())
            continue;
        std::vector<std::string> paths;
        // Without a fault the operation succeeds with the requests the table lists.
        {
            SCOPED_TRACE(op.name + " without a fault");
            resetArray();
            ClientOptions scoped(fastOptions(*sim));
            hnastest::CaptureLog log(5);
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, *sim);
            const Outcome run = op.run(hnas);
            ASSERT_TRUE(run.ok) << dump(log->records());
            EXPECT_EQ(outName(run.out), outName(op.okOut));
            const auto requests = sim->requestLog();
            ASSERT_EQ(requests.size(), op.steps.size());
            for (size_t i = 0; i < requests.size(); ++i) {
                paths.push_back(requests[i].path);
                EXPECT_EQ(requests[i].method, op.steps[i].method) << i;
                EXPECT_EQ(requests[i].status, op.steps[i].okStatus) << i;
            }
        }
        for (size_t i = 0; i < op.steps.size(); ++i)
            for (Kind kind : kTargeted) {
                if (kind == Kind::OverCap && op.steps[i].okStatus == 204)
                    continue; // an answer without a body
                runCase(op, kind, i, paths);
            }
        for (Kind kind : kWholeConnection)
            runCase(op, kind, 0, paths);
    }
    std::printf("faults injected, %s: %d\n", GetParam(), faultsInjected[GetParam()]);
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
