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
    };
}

struct Operation {
    std::string name;
    Args baseline;
    std::function<bool(RkManageHNAS&, const Args&)> run;
    std::vector<std::string> resources; // resource prefixes it may request
};

std::vector<Operation> operations(const ArrayIds& ids) {
    auto evs = [](const std::string& objectId, const std::string& name) {
        return virtualServer(objectId, name);
    };
    std::vector<Operation> t;
    t.push_back({"getVirtualServerInfo",
                 {"evs-prod"},
                 [](RkManageHNAS& h, const Args& a) {
                     __HNASVirtualServers s;
                     return h.getVirtualServerInfo(a[0], s);
                 },
                 {"virtual-servers"}});
    t.push_back({"getFileSystemsInfo",
                 {ids.fsFinance},
                 [](RkManageHNAS& h, const Args& a) {
                     std::vector<__HNASFileSystemInfo> l;
                     return h.getFileSystemsInfo(a[0], l);
                 },
                 {"filesystems/"}});
    t.push_back({"getFileSystemID(share)",
                 {ids.evsProdObject, "evs-prod", "finance", "CIFS"},
                 [evs](RkManageHNAS& h, const Args& a) {
                     std::string id;
                     return h.getFileSystemID(evs(a[0], a[1]), a[2], a[3], id);
                 },
                 {"virtual-servers/"}});
    t.push_back({"getFileSystemID(label)",
                 {"fs-finance"},
                 [](RkManageHNAS& h, const Args& a) {
                     std::string id;
                     return h.getFileSystemID(a[0], id);
                 },
                 {"filesystems/"}});
    t.push_back({"getEVSIdAssociatedWithFileSystemID",
                 {ids.fsFinance},
                 [](RkManageHNAS& h, const Args& a) {
                     unsigned long long n = 0;
                     return h.getEVSIdAssociatedWithFileSystemID(a[0], n);
                 },
                 {"filesystems/"}});
    t.push_back({"createFileSystemSnapshot",
                 {"RKHNAS_b", ids.fsFinance, "job"},
                 [](RkManageHNAS& h, const Args& a) {
                     __HNASFileSystemSnapshot s;
                     return h.createFileSystemSnapshot(a[0], a[1], a[2], s);
                 },
                 {"filesystem-snapshots"}});
    t.push_back({"getFileSystemSnapshots",
                 {ids.fsFinance, "RKHNAS"},
                 [](RkManageHNAS& h, const Args& a) {
                     std::vector<__HNASFileSystemSnapshot> l;
                     return h.getFileSystemSnapshots(a[0], a[1], l);
                 },
                 {"filesystem-snapshots/"}});
    t.push_back({"deleteFileSystemSnapshot(record)",
                 {ids.fsFinance, "RKHNAS_daily_1", "RKHNAS"},
                 [](RkManageHNAS& h, const Args& a) {
                     __HNASFileSystemSnapshot s;
                     s.filesystemId = a[0];
                     s.displayName = a[1];
                     return h.deleteFileSystemSnapshot(s, a[2]);
                 },
                 {"filesystem-snapshots/"}});
    t.push_back({"deleteFileSystemSnapshot(objectId)",
                 {ids.snapDaily1},
                 [](RkManageHNAS& h, const Args& a) { return h.deleteFileSystemSnapshot(a[0]); },
                 {"filesystem-snapshots/"}});
    t.push_back({"recoverFileSystemSnapshot",
                 {ids.snapDaily1},
                 [](RkManageHNAS& h, const Args& a) { return h.recoverFileSystemSnapshot(a[0]); },
                 {"filesystem-snapshots/"}});
    t.push_back(
        {"isSnapshotPresent",
         {ids.fsFinance, "RKHNAS_daily_1", "RKHNAS"},
         [](RkManageHNAS& h, const Args& a) { return h.isSnapshotPresent(a[0], a[1], a[2]); },
         {"filesystem-snapshots/"}});
    t.push_back({"getFilesystemShares",
                 {ids.evsProdObject, "evs-prod", "CIFS", "finance"},
                 [evs](RkManageHNAS& h, const Args& a) {
                     auto server = evs(a[0], a[1]);
                     std::vector<__HNASFileSystemShares> l(1);
                     l[0].name = a[3];
                     return h.getFilesystemShares(server, a[2], l, true);
                 },
                 {"virtual-servers/", "filesystem-shares/cifs/"}});
    for (const char* type : {"CIFS", "NFS"})
        t.push_back({std::string("createFileSystemShare(") + type + ")",
                     {"newshare", "1", ids.fsFinance, "/finance", type, "*", "CORP\\\\ops", "GROUP",
                      "comment"},
                     [](RkManageHNAS& h, const Args& a) {
                         __HNASFileSystemShares share;
                         share.settings.accessConfig = a[5];
                         share.settings.comment = a[8];
                         __HNASCIFSAuthentication e;
                         e.name = a[6];
                         e.type = a[7];
                         e.permission = 3;
                         share.settings.cifsAuthentications.push_back(e);
                         return h.createFileSystemShare(a[0], a[1], a[2], a[3], a[4], share, true);
                     },
                     {"filesystem-shares/"}});
    t.push_back({"deleteFileSystemShare(objectId)",
                 {ids.nfsHomeShare, "NFS"},
                 [](RkManageHNAS& h, const Args& a) { return h.deleteFileSystemShare(a[0], a[1]); },
                 {"filesystem-shares/"}});
    t.push_back({"deleteFileSystemShare(name)",
                 {"home", ids.evsProdObject, "NFS"},
                 [evs](RkManageHNAS& h, const Args& a) {
                     auto server = evs(a[1], "evs-prod");
                     return h.deleteFileSystemShare(a[0], server, a[2]);
                 },
                 {"virtual-servers/", "filesystem-shares/"}});
    t.push_back({"isSharePresent",
                 {"home", ids.evsProdObject, "NFS"},
                 [evs](RkManageHNAS& h, const Args& a) {
                     auto server = evs(a[1], "evs-prod");
                     return h.isSharePresent(a[0], server, a[2]);
                 },
                 {"virtual-servers/"}});
    t.push_back({"getFileSystemDirectoriesUnderPath",
                 {ids.fsFinance, "/x/y/finance/2026"},
                 [](RkManageHNAS& h, const Args& a) {
                     std::vector<__HNASFileSystemDirectories> l;
                     return h.getFileSystemDirectoriesUnderPath(a[0], a[1], l);
                 },
                 {"filesystems/"}});
    t.push_back({"getFileSystemDirectories",
                 {ids.fsFinance, ""},
                 [](RkManageHNAS& h, const Args& a) {
                     std::vector<__HNASFileSystemDirectories> l;
                     return h.getFileSystemDirectories(a[0], a[1], l);
                 },
                 {"filesystems/"}});
    t.push_back({"getCIFSAuthentication",
                 {ids.cifsFinanceShare},
                 [](RkManageHNAS& h, const Args& a) {
                     std::vector<__HNASCIFSAuthentication> l;
                     return h.getCIFSAuthentication(a[0], l);
                 },
                 {"filesystem-shares/cifs/"}});
    t.push_back({"setCIFSAuthentication",
                 {ids.cifsFinanceShare, "CORP\\\\auditors", "USER"},
                 [](RkManageHNAS& h, const Args& a) {
                     std::vector<__HNASCIFSAuthentication> l(1);
                     l[0].name = a[1];
                     l[0].type = a[2];
                     l[0].permission = 1;
                     return h.setCIFSAuthentication(a[0], l);
                 },
                 {"filesystem-shares/cifs/"}});
    t.push_back(
        {"deleteCIFSAuthentication",
         {ids.cifsFinanceShare, ids.financeAdminsEncoded},
         [](RkManageHNAS& h, const Args& a) { return h.deleteCIFSAuthentication(a[0], a[1]); },
         {"filesystem-shares/cifs/"}});
    return t;
}

bool hasControl(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

bool hasDotSegment(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string seg = path.substr(start, end - start);
        if (seg == "." || seg == "..")
            return true;
        start = end + 1;
    }
    return false;
}

// The top-level member names of a JSON object body; false when it is not
// one. Bytes above 0x7F are read as 'x': the values are byte strings (not
// necessarily UTF-8); the structure is what counts.
bool memberNames(simdjson::dom::parser& parser, const std::string& body,
                 std::set<std::string>& names) {
    std::string ascii = body;
    for (char& c : ascii)
        if (static_cast<unsigned char>(c) > 0x7F)
            c = 'x';
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

    static hnasgwsim::Simulator* sim;
    ClientOptions options{fastOptions(*sim)};
    hnastest::CaptureLog log{5};
    simdjson::dom::parser parser;
};
hnasgwsim::Simulator* BadInput::sim = nullptr;

TEST_F(BadInput, EveryOperationSendsOnlySafeRequests) {
    const auto table = operations(arrayIds());
    const auto values = badValues();
    int inputs = 0, refusedUnsafe = 0, refusedBody = 0, sent = 0;
    for (const Operation& op : table) {
        // The members each request body has when the inputs are sound, by
        // method and last path segment.
        std::map<std::string, std::set<std::string>> members;
        {
            reset();
            RkManageHNAS hnas(kJobId);
            initFacade(hnas, *sim);
            ASSERT_TRUE(op.run(hnas, op.baseline)) << op.name;
            for (const auto& r : sim->requestLog()) {
                if (!r.body.empty()) {
                    ASSERT_TRUE(memberNames(parser, r.body, members[bodyKey(r)]))
                        << op.name << ": " << r.body;
                }
            }
        }
        for (size_t slot = 0; slot < op.baseline.size(); ++slot)
            for (const BadValue& value : values) {
                SCOPED_TRACE(op.name + " argument " + std::to_string(slot) + " = " + value.label);
                reset();
                Args args = op.baseline;
                args[slot] = value.text;
                {
                    RkManageHNAS hnas(kJobId);
                    initFacade(hnas, *sim);
                    op.run(hnas, args);
                }
                ++inputs;
                const auto records = log->records();
                refusedUnsafe +=
                    std::any_of(records.begin(), records.end(), [](const LogRecord& r) {
                        return r.text.rfind("Unsafe Resource[", 0) == 0;
                    });
                refusedBody += log->contains("Invalid parameters!!");
                for (const auto& r : sim->requestLog()) {
                    ++sent;
                    SCOPED_TRACE(r.method + " " + r.path.substr(0, 200));
                    const std::string root = "/v4/storage/";
                    ASSERT_EQ(r.path.compare(0, root.size(), root), 0);
                    const std::string resource = r.path.substr(root.size());
                    EXPECT_TRUE(std::any_of(
                        op.resources.begin(), op.resources.end(), [&](const std::string& prefix) {
                            return resource.compare(0, prefix.size(), prefix) == 0;
                        }));
                    EXPECT_FALSE(hasControl(r.path));
                    EXPECT_FALSE(hasDotSegment(r.path));
                    EXPECT_NE(r.status, 401) << "credential headers damaged";
                    if (!r.body.empty()) {
                        std::set<std::string> names;
                        EXPECT_TRUE(memberNames(parser, r.body, names)) << r.body.substr(0, 300);
                        // An identifier holding '#' or '?' moves the request to
                        // another resource of the family: then any sound body.
                        const bool sound =
                            members.count(bodyKey(r))
                                ? names == members[bodyKey(r)]
                                : std::any_of(members.begin(), members.end(),
                                              [&](const auto& m) { return m.second == names; });
                        EXPECT_TRUE(sound) << r.body.substr(0, 300);
                    }
                }
            }
    }
    std::printf("bad input: %d calls over %zu operations, %d requests reached the gateway, "
                "%d refused as unsafe resources, %d refused as unsafe bodies\n",
                inputs, table.size(), sent, refusedUnsafe, refusedBody);
    EXPECT_GT(refusedUnsafe, 0);
    EXPECT_GT(refusedBody, 0);
}

TEST_F(BadInput, InitValuesWithControlCharactersSendNothing) {
    const auto& c = sim->credentials();
    const Args good = {c.user, c.password, c.subsystemType, c.managementIPs, sim->host()};
    int inputs = 0;
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
            ++inputs;
            if (value.text.empty() || hasControl(value.text)) {
                EXPECT_TRUE(sim->requestLog().empty());
                EXPECT_TRUE(log->contains("Incorrect server params. Unable to send the request "
                                          "for Type[0] Resource[file-devices] Body[]"));
            }
            for (const auto& r : log->records())
                EXPECT_EQ(r.text.find(c.password), std::string::npos) << r.text;
        }
    std::printf("bad input: %d init values\n", inputs);
}

} // namespace
