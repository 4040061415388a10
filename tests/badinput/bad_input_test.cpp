// Every facade operation, and init, called with hostile values in each of its
// text inputs: empty, 1 MiB, not UTF-8, control characters, JSON-breaking
// text and path tricks. Nothing crashes, and what reaches the simulator is
// safe: each request goes to the resource family of its operation, with no
// "." or ".." path segment and no control character, under the right
// credentials, and every body is one JSON object with the members the
// operation always sends.

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <simdjson.h>

#include "reliability/SimHarness.h"
#include "support/CaptureLog.h"

using namespace reltest;

namespace {

constexpr unsigned long long kJobId = 31337;
using Args = std::vector<std::string>;

struct BadValue {
    const char* label;
    std::string text;
};

std::vector<BadValue> badValues() {
    return {
        {"empty", ""},
        {"1 MiB", std::string(1 << 20, 'a')},
        {"not UTF-8", "\xff\xfe\xc3\x28-\xed\xa0\x80"},
        {"CR LF header", "a\r\nX-Injected: 1"},
        {"tab", "a\tb"},
        {"NUL", std::string("a\0b", 3)},
        {"DEL", "a\x7f"},
        {"quote", "a\"b"},
        {"backslash", "a\\"},
        {"bad escape", "\\u00zz"},
        {"JSON member", "x\", \"injected\": true, \"y\": \""},
        {"JSON close", "\"}]}"},
        {"dot", "."},
        {"dot dot", ".."},
        {"parent path", "../../file-devices"},
        {"inner parent", "a/../b"},
        {"query", "a?x=1#f"},
        {"slashes", "//a//"},
        {"fragment", "#"},
        {"fragment after", "X#"},
        {"subresource", "A/recover"},
        {"encoded dots", "%2e%2e"},
        {"encoded slash", "%2F"},
        {"encoded backslash", "a%5C"},
        {"broken escape", "a%4"},
        {"backslash path", "..\\filesystems\\FS1"},
        {"semicolon parent", "..;"},
        {"blank", "a b"},
    };
}

struct Operation {
    std::string name;
    Args baseline;
    std::function<bool(RkManageHNAS&, const Args&)> run;
    std::vector<std::string> resources; // resource prefixes it may request
};

// A default-constructed value for an out-parameter (the calls run one at a time).
template <class T> T& out() {
    static T value;
    value = T();
    return value;
}

std::vector<Operation> operations(const ArrayIds& ids) {
    using Dirs = std::vector<__HNASFileSystemDirectories>;
    using Auths = std::vector<__HNASCIFSAuthentication>;
    const auto evs = virtualServer;
    const std::string fs = "filesystems/", snaps = "filesystem-snapshots/",
                      cifs = "filesystem-shares/cifs/", shares = "filesystem-shares/",
                      servers = "virtual-servers/";
    std::vector<Operation> t;
    auto add = [&t](std::string name, std::vector<std::string> resources, Args baseline,
                    std::function<bool(RkManageHNAS&, const Args&)> run) {
        t.push_back({std::move(name), std::move(baseline), std::move(run), std::move(resources)});
    };
    add("getVirtualServerInfo", {"virtual-servers"}, {"evs-prod"}, [](auto& h, const Args& a) {
        return h.getVirtualServerInfo(a[0], out<__HNASVirtualServers>());
    });
    add("getFileSystemsInfo", {fs}, {ids.fsFinance}, [](auto& h, const Args& a) {
        return h.getFileSystemsInfo(a[0], out<std::vector<__HNASFileSystemInfo>>());
    });
    add("getFileSystemID(share)", {servers}, {ids.evsProdObject, "evs-prod", "finance", "CIFS"},
        [evs](auto& h, const Args& a) {
            return h.getFileSystemID(evs(a[0], a[1]), a[2], a[3], out<std::string>());
        });
    add("getFileSystemID(label)", {fs}, {"fs-finance"},
        [](auto& h, const Args& a) { return h.getFileSystemID(a[0], out<std::string>()); });
    add("getEVSIdAssociatedWithFileSystemID", {fs}, {ids.fsFinance}, [](auto& h, const Args& a) {
        return h.getEVSIdAssociatedWithFileSystemID(a[0], out<unsigned long long>());
    });
    add("createFileSystemSnapshot", {"filesystem-snapshots"}, {"RKHNAS_b", ids.fsFinance, "job"},
        [](auto& h, const Args& a) {
            return h.createFileSystemSnapshot(a[0], a[1], a[2], out<__HNASFileSystemSnapshot>());
        });
    add("getFileSystemSnapshots", {snaps}, {ids.fsFinance, "RKHNAS"}, [](auto& h, const Args& a) {
        return h.getFileSystemSnapshots(a[0], a[1], out<std::vector<__HNASFileSystemSnapshot>>());
    });
    add("deleteFileSystemSnapshot(record)", {snaps}, {ids.fsFinance, "RKHNAS_daily_1", "RKHNAS"},
        [](auto& h, const Args& a) {
            __HNASFileSystemSnapshot s;
            s.filesystemId = a[0];
            s.displayName = a[1];
            return h.deleteFileSystemSnapshot(s, a[2]);
        });
    add("deleteFileSystemSnapshot(objectId)", {snaps}, {ids.snapDaily1},
        [](auto& h, const Args& a) { return h.deleteFileSystemSnapshot(a[0]); });
    add("recoverFileSystemSnapshot", {snaps}, {ids.snapDaily1},
        [](auto& h, const Args& a) { return h.recoverFileSystemSnapshot(a[0]); });
    add("isSnapshotPresent", {snaps}, {ids.fsFinance, "RKHNAS_daily_1", "RKHNAS"},
        [](auto& h, const Args& a) { return h.isSnapshotPresent(a[0], a[1], a[2]); });
    add("getFilesystemShares", {servers, cifs}, {ids.evsProdObject, "evs-prod", "CIFS", "finance"},
        [evs](auto& h, const Args& a) {
            auto server = evs(a[0], a[1]);
            std::vector<__HNASFileSystemShares> l(1);
            l[0].name = a[3];
            return h.getFilesystemShares(server, a[2], l, true);
        });
    for (const char* type : {"CIFS", "NFS"})
        add(std::string("createFileSystemShare(") + type + ")", {shares},
            {"newshare", "1", ids.fsFinance, "/finance", type, "*", "CORP\\\\ops", "GROUP",
             "comment"},
            [](auto& h, const Args& a) {
                __HNASFileSystemShares share;
                share.settings.accessConfig = a[5];
                share.settings.comment = a[8];
                share.settings.cifsAuthentications.push_back(
                    hnastest::cifsEntry(a[6], "", 3, a[7]));
                return h.createFileSystemShare(a[0], a[1], a[2], a[3], a[4], share, true);
            });
    add("deleteFileSystemShare(objectId)", {shares}, {ids.nfsHomeShare, "NFS"},
        [](auto& h, const Args& a) { return h.deleteFileSystemShare(a[0], a[1]); });
    add("deleteFileSystemShare(name)", {servers, shares}, {"home", ids.evsProdObject, "NFS"},
        [evs](auto& h, const Args& a) {
            auto server = evs(a[1], "evs-prod");
            return h.deleteFileSystemShare(a[0], server, a[2]);
        });
    add("isSharePresent", {servers}, {"home", ids.evsProdObject, "NFS"},
        [evs](auto& h, const Args& a) {
            auto server = evs(a[1], "evs-prod");
            return h.isSharePresent(a[0], server, a[2]);
        });
    add("getFileSystemDirectoriesUnderPath", {fs}, {ids.fsFinance, "/x/y/finance/2026"},
        [](auto& h, const Args& a) {
            return h.getFileSystemDirectoriesUnderPath(a[0], a[1], out<Dirs>());
        });
    add("getFileSystemDirectories", {fs}, {ids.fsFinance, ""},
        [](auto& h, const Args& a) { return h.getFileSystemDirectories(a[0], a[1], out<Dirs>()); });
    add("getCIFSAuthentication", {cifs}, {ids.cifsFinanceShare},
        [](auto& h, const Args& a) { return h.getCIFSAuthentication(a[0], out<Auths>()); });
    add("setCIFSAuthentication", {cifs}, {ids.cifsFinanceShare, "CORP\\\\auditors", "USER"},
        [](auto& h, const Args& a) {
            Auths l = {hnastest::cifsEntry(a[1], "", 1, a[2])};
            return h.setCIFSAuthentication(a[0], l);
        });
    add("deleteCIFSAuthentication", {cifs}, {ids.cifsFinanceShare, ids.financeAdminsEncoded},
        [](auto& h, const Args& a) { return h.deleteCIFSAuthentication(a[0], a[1]); });
    return t;
}

bool hasControl(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// The top-level member names of a JSON object body; false when it is not
// one. Bytes above 0x7F are read as 'x': the values are byte strings (not
// necessarily UTF-8); the structure is what counts.
bool memberNames(simdjson::dom::parser& parser, const std::string& body,
                 std::set<std::string>& names) {
    std::string ascii = body;
    std::replace_if(
        ascii.begin(), ascii.end(), [](unsigned char c) { return c > 0x7F; }, 'x');
    simdjson::dom::object object;
    if (parser.parse(ascii).get(object) != simdjson::SUCCESS)
        return false;
    for (auto field : object)
        names.insert(std::string(field.key));
    return true;
}

std::string bodyKey(const hnasgwsim::RequestRecord& r) {
    return r.method + " " + r.path.substr(r.path.rfind('/') + 1);
}

class BadInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim = startSimulator().release(); }
    static void TearDownTestSuite() { delete sim; }
    void SetUp() override { reset(); }
    void reset() {
        sim->clearFaults();
        sim->clearRequestLog();
        *sim->model() = hnasgwsim::defaultArray();
        log->clear();
    }
    // Runs the operation once with a new facade.
    bool call(const Operation& op, const Args& args) {
        reset();
        RkManageHNAS hnas(kJobId);
        initFacade(hnas, *sim);
        return op.run(hnas, args);
    }

    static hnasgwsim::Simulator* sim;
    ClientOptions options{fastOptions(*sim)};
    hnastest::CaptureLog log{5};
    simdjson::dom::parser parser;
};
hnasgwsim::Simulator* BadInput::sim = nullptr;

TEST_F(BadInput, EveryOperationSendsOnlySafeRequests) {
    const auto table = operations(arrayIds());
    const auto values = badValues();
    int refusedUnsafe = 0, refusedBody = 0;
    for (const Operation& op : table) {
        // The members each request body has when the inputs are sound, by
        // method and last path segment.
        std::map<std::string, std::set<std::string>> members;
        ASSERT_TRUE(call(op, op.baseline)) << op.name;
        for (const auto& r : sim->requestLog()) {
            if (!r.body.empty()) {
                ASSERT_TRUE(memberNames(parser, r.body, members[bodyKey(r)])) << r.body;
            }
        }
        for (size_t slot = 0; slot < op.baseline.size(); ++slot)
            for (const BadValue& value : values) {
                SCOPED_TRACE(op.name + " argument " + std::to_string(slot) + " = " + value.label);
                Args args = op.baseline;
                args[slot] = value.text;
                call(op, args);
                for (const auto& r : log->records())
                    refusedUnsafe += r.text.rfind("Unsafe Resource[", 0) == 0;
                refusedBody += log->contains("Invalid parameters!!");
                for (const auto& r : sim->requestLog()) {
                    SCOPED_TRACE(r.method + " " + r.path.substr(0, 200));
                    EXPECT_TRUE(std::any_of(
                        op.resources.begin(), op.resources.end(), [&](const std::string& resource) {
                            return r.path.rfind("/v4/storage/" + resource, 0) == 0;
                        }));
                    const std::string p = "/" + r.path + "/";
                    EXPECT_FALSE(hasControl(p) || p.find_first_of("?#% \\;") != std::string::npos ||
                                 p.find("/./") != std::string::npos ||
                                 p.find("/../") != std::string::npos);
                    EXPECT_NE(r.status, 401) << "credential headers damaged";
                    if (!r.body.empty()) {
                        std::set<std::string> names;
                        EXPECT_TRUE(memberNames(parser, r.body, names)) << r.body.substr(0, 300);
                        EXPECT_EQ(names, members[bodyKey(r)]) << r.body.substr(0, 300);
                    }
                }
            }
    }
    EXPECT_GT(refusedUnsafe, 0);
    EXPECT_GT(refusedBody, 0);
    // An identifier that fills more than its segment: refused, nothing sent.
    EXPECT_FALSE(call(table[8], {"A/recover"})) << table[8].name; // deletion by object ID
    EXPECT_TRUE(log->contains("Unsafe Resource[filesystem-snapshots/A/recover]. The request was "
                              "not sent.",
                              -1));
    EXPECT_TRUE(sim->requestLog().empty());
    // The same in the first of two identifiers: the share of a permission,
    // the file system of a snapshot listing.
    const auto ids = arrayIds();
    const std::pair<std::string, Args> firsts[] = {
        {"deleteCIFSAuthentication", {"A/recover", ids.financeAdminsEncoded}},
        {"getFileSystemSnapshots", {"A/recover", "RKHNAS"}},
    };
    for (const auto& [name, args] : firsts) {
        SCOPED_TRACE(name);
        const auto op = std::find_if(table.begin(), table.end(),
                                     [&](const Operation& o) { return o.name == name; });
        ASSERT_NE(op, table.end());
        EXPECT_FALSE(call(*op, args));
        EXPECT_TRUE(sim->requestLog().empty());
        const auto records = log->records();
        EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const auto& r) {
            return r.level == -1 && r.text.rfind("Unsafe Resource[", 0) == 0;
        })) << log.dump();
    }
}

TEST_F(BadInput, InitValuesWithControlCharactersSendNothing) {
    const auto& c = sim->credentials();
    const Args good = {c.user, c.password, c.subsystemType, c.managementIPs, sim->host()};
    for (size_t slot = 0; slot < good.size(); ++slot)
        for (const BadValue& value : badValues()) {
            // The gateway host only with values that need no name resolution.
            if (slot == 4 && !value.text.empty() && !hasControl(value.text))
                continue;
            SCOPED_TRACE("init argument " + std::to_string(slot) + " = " + value.label);
            reset();
            Args a = good;
            a[slot] = value.text;
            RkManageHNAS hnas(kJobId);
            hnas.init(a[0], a[1], a[2], a[3], a[4], sim->port());
            __HNASStorageSubSystemInfo info;
            EXPECT_FALSE(hnas.getFileDevice(info));
            if (value.text.empty() || hasControl(value.text)) {
                EXPECT_TRUE(sim->requestLog().empty());
                EXPECT_TRUE(log->contains("Incorrect server params. Unable to send the request "
                                          "for Type[0] Resource[file-devices] Body[]"));
            }
        }
}

} // namespace
