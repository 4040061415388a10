// hnas-soak: drives every operation family, and the snapshot and share walks
// one request at a time and in parallel, against the in-process gateway
// simulator with random faults for a given time, then reports the requests,
// the failed operations by the fault behind them, and the process's resident
// memory, heap in use and open descriptors at the start, every minute and at
// the end.
//
//   hnas-soak --seconds 600 [--parallel 16] [--seed N] [--fault-percent 30]
//
// Exit status 0 when every failed operation met an injected fault (and, with
// --check-flat on a run past the first minute, memory and descriptors stayed
// flat after it); 1 otherwise.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>
#include <boost/make_shared.hpp>

#include "Families.h"
#include "FamilyLog.h"
#include "ProcessStats.h"
#include "hnasgwsim/Simulator.h"
#include "hnasmgmt/host/RKLibCurl.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    int seconds = 60;
    unsigned parallel = 16;
    unsigned long seed = 0;
    int faultPercent = 30;
    int fileSystems = 200;
    int shares = 400;
    int keepAliveSeconds = 60;
    bool checkFlat = false;
};

// The tallies of a run.
struct Tally {
    unsigned long rounds = 0, operations = 0, requests = 0;
    std::map<std::string, unsigned long> answers;       // "2xx", "4xx", "5xx", "closed"
    std::map<std::string, unsigned long> failedByFault; // fault action, or "none"
    std::map<std::string, unsigned long> failedByFamily;
    unsigned long unexplained = 0;
};

// The actions of the random faults: every kind of the simulator's table, a
// status kind with each of a few statuses, and last a short latency for the
// kind that changes nothing.
std::vector<std::string> faultActions() {
    std::vector<std::string> actions;
    std::size_t count = 0;
    const hnasgwsim::FaultKindInfo* kinds = hnasgwsim::faultKinds(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = kinds[i].name;
        if (kinds[i].phase == hnasgwsim::FaultPhase::Delay)
            continue;
        if (kinds[i].status == hnasgwsim::FaultStatus::Is)
            for (const char* status : {"500", "503", "404"})
                actions.push_back(name + "=" + status);
        else
            actions.push_back(name);
    }
    actions.push_back("latency=20");
    return actions;
}

// A random fault rule: one action on the Nth matching request of a verb.
hnasgwsim::FaultRule randomFault(std::mt19937_64& random) {
    static const char* const methods[] = {"GET", "GET", "POST", "DELETE", "*"};
    static const std::vector<std::string> actions = faultActions();
    std::uniform_int_distribution<int> method(0, 4), nth(1, 4),
        action(0, static_cast<int>(actions.size()) - 1);
    return hnasgwsim::parseFaultRule(std::string(methods[method(random)]) + " * " +
                                     actions[static_cast<std::size_t>(action(random))] +
                                     " nth=" + std::to_string(nth(random)) + " times=1");
}

// The action of the first rule that a request log's fault text describes:
// the kind's name, "latency" for a rule that only delays, "other" for a text
// that is no rule.
std::string faultAction(const std::string& description) {
    try {
        const auto rule = hnasgwsim::parseFaultRule(description.substr(0, description.find("; ")));
        return rule.kind == hnasgwsim::FaultKind::None ? "latency"
                                                       : hnasgwsim::faultKindInfo(rule.kind).name;
    } catch (const std::invalid_argument&) {
        return "other";
    }
}

// Runs one family, with a random fault now and then, and tallies what the
// simulator saw of it.
void runFamily(const soak::Family& family, soak::Target& target, hnasgwsim::Simulator& sim,
               const Settings& settings, std::mt19937_64& random, Tally& tally) {
    sim.clearFaults();
    sim.clearRequestLog();
    target.log->clear();
    if (std::uniform_int_distribution<int>(0, 99)(random) < settings.faultPercent)
        sim.addFault(randomFault(random));
    const bool ok = family.run(target);
    ++tally.operations;
    std::string fault;
    for (const auto& r : sim.requestLog()) {
        ++tally.requests;
        ++tally.answers[r.status == 0 ? "closed" : std::to_string(r.status / 100) + "xx"];
        if (!r.fault.empty() && fault.empty())
            fault = faultAction(r.fault);
    }
    if (ok)
        return;
    ++tally.failedByFamily[family.name];
    ++tally.failedByFault[fault.empty() || fault == "latency" ? "none" : fault];
    if (fault.empty() || fault == "latency") {
        if (++tally.unexplained <= 5) {
            std::printf("soak: round %lu: %s failed without a fault; its log:\n", target.round,
                        family.name.c_str());
            for (const auto& line : target.log->lines())
                std::printf("soak:   %s\n", line.c_str());
            std::fflush(stdout);
        }
    }
}

// One round: the array as it started, then every family in a random order.
void runRound(soak::Target& target, hnasgwsim::Simulator& sim, const hnasgwsim::ArrayState& initial,
              const Settings& settings, std::mt19937_64& random, Tally& tally, bool faults) {
    *sim.model() = initial;
    auto families = soak::families();
    std::shuffle(families.begin(), families.end(), random);
    Settings round = settings;
    round.faultPercent = faults ? settings.faultPercent : 0;
    ++target.round;
    for (const auto& family : families)
        runFamily(family, target, sim, round, random, tally);
    ++tally.rounds;
}

// The process after a round without faults, when the connections the
// library keeps are all open and in use again.
soak::ProcessStats settle(soak::Target& target, hnasgwsim::Simulator& sim,
                          const hnasgwsim::ArrayState& initial, const Settings& settings,
                          std::mt19937_64& random, Tally& tally) {
    runRound(target, sim, initial, settings, random, tally, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return soak::readProcessStats();
}

template <typename Map> std::string list(const Map& map) {
    std::string out;
    for (const auto& [key, value] : map)
        out += (out.empty() ? "" : ", ") + key + " " + std::to_string(value);
    return out.empty() ? "none" : out;
}

void report(const Tally& tally) {
    std::printf("soak: %lu rounds, %lu operations, %lu requests\n", tally.rounds, tally.operations,
                tally.requests);
    std::printf("soak: requests by answer: %s\n", list(tally.answers).c_str());
    std::printf("soak: failed operations by fault: %s\n", list(tally.failedByFault).c_str());
    std::printf("soak: failed operations by family: %s\n", list(tally.failedByFamily).c_str());
}

// Growth from `minute` to `end`, judged against the flat-run limits.
bool reportGrowth(const soak::ProcessStats& minute, const soak::ProcessStats& end) {
    const long rss = end.residentKiB - minute.residentKiB;
    const long peak = end.peakResidentKiB - minute.peakResidentKiB;
    const long heap = end.heapInUseKiB - minute.heapInUseKiB;
    const int fds = end.openDescriptors - minute.openDescriptors;
    const bool flat = rss < 1024 && peak < 1024 && fds <= 0;
    std::printf("soak: growth after the first minute: rss %+ld KiB, peak rss %+ld KiB, heap in "
                "use %+ld KiB, descriptors %+d (%s)\n",
                rss, peak, heap, fds, flat ? "flat" : "NOT flat");
    return flat;
}

// The array the soak starts every round from.
hnasgwsim::ArrayState soakArray(const Settings& settings) {
    hnasgwsim::GenerateOptions sizes;
    sizes.virtualServers = 2;
    sizes.fileSystems = settings.fileSystems;
    sizes.shares = settings.shares;
    sizes.snapshotsPerFileSystem = 5;
    sizes.directoriesPerFileSystem = 2;
    return hnasgwsim::generateArray(sizes);
}

// The client trusts the simulator, with time-outs that a loaded machine
// does not run into.
void trust(const hnasgwsim::Simulator& sim) {
    RKLibCurlOptions client = RKLibCurl::getOptions();
    client.caFile = sim.caFile();
    client.connectTimeoutMs = 5000;
    client.requestTimeoutMs = 10000;
    RKLibCurl::setOptions(client);
}

// Rounds with faults until the deadline, with a line of figures every
// minute; returns the first of those lines' figures (false: none came).
bool runRounds(soak::Target& target, hnasgwsim::Simulator& sim,
               const hnasgwsim::ArrayState& initial, const Settings& settings,
               std::mt19937_64& random, Tally& tally, soak::ProcessStats& minute) {
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::seconds(settings.seconds);
    auto nextMinute = started + std::chrono::seconds(60);
    bool minuteTaken = false;
    while (Clock::now() < deadline) {
        runRound(target, sim, initial, settings, random, tally, true);
        if (Clock::now() < nextMinute || Clock::now() >= deadline)
            continue;
        const soak::ProcessStats now = settle(target, sim, initial, settings, random, tally);
        if (!minuteTaken)
            minute = now;
        minuteTaken = true;
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(nextMinute - started).count();
        std::printf("soak: %lld s: %s\n", static_cast<long long>(seconds),
                    soak::describe(now).c_str());
        std::fflush(stdout);
        nextMinute += std::chrono::seconds(60);
    }
    return minuteTaken;
}

int run(const Settings& settings) {
    std::signal(SIGPIPE, SIG_IGN);
    const auto log = boost::make_shared<soak::FamilyLog>();
    SetLogWriter(log);
    const hnasgwsim::ArrayState initial = soakArray(settings);
    hnasgwsim::SimulatorOptions options;
    options.array = initial;
    options.keepAliveTimeoutSec = settings.keepAliveSeconds;
    hnasgwsim::Simulator sim(options);
    sim.start();
    trust(sim);
    RkManageHNAS hnas(7);
    const auto& c = sim.credentials();
    hnas.init(c.user, c.password, c.subsystemType, c.managementIPs, sim.host(), sim.port());
    soak::Target target = soak::describeArray(initial);
    target.hnas = &hnas;
    target.log = log.get();
    target.parallel = settings.parallel;
    std::mt19937_64 random(settings.seed);
    Tally tally;

    const soak::ProcessStats start = settle(target, sim, initial, settings, random, tally);
    std::printf("soak: start: %s\n", soak::describe(start).c_str());
    std::fflush(stdout);
    soak::ProcessStats minute;
    const bool minuteTaken = runRounds(target, sim, initial, settings, random, tally, minute);
    const soak::ProcessStats end = settle(target, sim, initial, settings, random, tally);
    std::printf("soak: end: %s\n", soak::describe(end).c_str());
    report(tally);
    const bool flat = !minuteTaken || reportGrowth(minute, end);
    sim.stop();
    SetLogWriter(nullptr);
    const bool ok = tally.unexplained == 0 && (flat || !settings.checkFlat);
    std::printf("soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Soak: every operation family and the walks against the in-process gateway "
                 "simulator with random faults"};
    Settings settings;
    settings.seed = static_cast<unsigned long>(std::random_device{}());
    app.add_option("--seconds", settings.seconds, "How long to run")->capture_default_str();
    app.add_option("--parallel", settings.parallel, "Requests in flight in the parallel walks")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    app.add_option("--seed", settings.seed, "Seed of the random faults and orders");
    app.add_option("--fault-percent", settings.faultPercent,
                   "Chance that an operation family runs with a random fault")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    app.add_option("--filesystems", settings.fileSystems, "File systems in the array")
        ->capture_default_str();
    app.add_option("--shares", settings.shares, "Shares in the array (half of them CIFS)")
        ->capture_default_str();
    app.add_option("--keep-alive-timeout", settings.keepAliveSeconds,
                   "Seconds the simulator keeps an idle connection; the default outlasts every "
                   "pause of the soak, so that only injected faults close connections (a short "
                   "one also races the gateway's close of an idle connection with its reuse)")
        ->capture_default_str();
    app.add_flag("--check-flat", settings.checkFlat,
                 "Fail when memory or descriptors grew after the first minute");
    CLI11_PARSE(app, argc, argv);
    std::printf("soak: %d s, seed %lu, parallel walks at %u, %d file systems, %d shares, faults "
                "in %d %% of the operations\n",
                settings.seconds, settings.seed, settings.parallel, settings.fileSystems,
                settings.shares, settings.faultPercent);
    std::fflush(stdout);
    try {
        return run(settings);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "soak: %s\n", e.what());
        return 1;
    }
}
