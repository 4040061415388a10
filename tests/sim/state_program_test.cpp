// Seeding the array from state documents, and the
// hnas-gateway-sim program itself: ready line, --state, --fault, clean stop.

#include <csignal>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "sim/SimClient.h"
#include "support/ChildProcess.h"

using namespace simtest;

namespace {

TEST(StateDocument, RoundTripsFillsDefaultsAndRejectsBadDocuments) {
    auto original = hnasgwsim::defaultArray();
    original.virtualServers[0].shares[0].cifsAuthentications.push_back(
        {"CORP\\\"quoted\"", hnasgwsim::encodeCifsName("CORP\\\"quoted\""), 3, "USER"});
    const auto text = hnasgwsim::writeStateJson(original);
    auto copy = hnasgwsim::loadStateJson(text);
    EXPECT_EQ(hnasgwsim::writeStateJson(copy), text);
    EXPECT_EQ(copy.virtualServers[0].shares[0].cifsAuthentications.back().name, "CORP\\\"quoted\"");
    EXPECT_EQ(copy.nextId, original.nextId); // new objects get fresh IDs

    // Missing values get defaults; bad documents are refused.
    auto a = hnasgwsim::loadStateJson(
        "{\"virtualServers\":[{\"name\":\"e1\",\"virtualServerId\":7,"
        "\"shares\":[{\"protocol\":\"NFS\",\"name\":\"n\",\"filesystemId\":\"FS1\"}]}],"
        "\"filesystems\":[{\"label\":\"one\",\"filesystemId\":\"FS1\",\"virtualServerId\":7,"
        "\"capacity\":100,\"usedCapacity\":40,\"directories\":[\"/a/b/c\"]}]}");
    ASSERT_EQ(a.fileSystems.size(), 1u);
    EXPECT_EQ(a.fileSystems[0].freeCapacity, 60u);
    EXPECT_EQ(a.fileSystems[0].directories.size(), 3u); // parents added
    EXPECT_FALSE(a.virtualServers[0].objectId.empty());
    for (const char* bad : {"", "[]", "{\"filesystems\":{}}", "{\"filesystems\":[{}]}",
                            "{\"virtualServers\":[{\"name\":1}]}",
                            "{\"filesystems\":[{\"label\":\"x\",\"capacity\":-5}]}"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(hnasgwsim::loadStateJson(bad), std::runtime_error);
    }
}

// ---- the program ----

std::string programPath() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir(self, n > 0 ? static_cast<size_t>(n) : 0);
    dir.resize(dir.find_last_of('/') == std::string::npos ? 0 : dir.find_last_of('/'));
    return dir + "/../tools/hnas-gateway-sim/hnas-gateway-sim";
}

// The program started with `args`, and the fields of its ready line.
struct Program : hnastest::Child {
    std::string line, url, cafile, pin;

    explicit Program(std::vector<std::string> args)
        : Child((args.insert(args.begin(), programPath()), args)), line(firstLine()) {
        url = field("url");
        cafile = field("cafile");
        pin = field("pin");
    }
    std::string field(const std::string& key) const {
        auto at = line.find(" " + key + "=");
        if (at == std::string::npos)
            return {};
        at += key.size() + 2;
        return line.substr(at, line.find(' ', at) - at);
    }
    bool ready() const { return line.rfind("READY ", 0) == 0 && !url.empty(); }
};

httplib::Result getFrom(const Program& p, const std::string& path) {
    const auto hostPort = p.url.substr(std::string("https://").size());
    const auto colon = hostPort.rfind(':');
    httplib::SSLClient client(hostPort.substr(0, colon), std::stoi(hostPort.substr(colon + 1)));
    client.set_ca_cert_path(p.cafile.c_str());
    client.enable_server_certificate_verification(true);
    return client.Get(path.c_str(), {{"X-Subsystem-User", "ops"},
                                     {"X-Subsystem-Password", "pw"},
                                     {"X-Subsystem-Type", "HNAS"},
                                     {"X-Management-IPs", "10.1.1.1"}});
}

TEST(Program, ServesTheStateFileWithFaultsAndStopsCleanlyOnSigterm) {
    std::signal(SIGPIPE, SIG_IGN);
    if (::access(programPath().c_str(), X_OK) != 0)
        GTEST_SKIP() << "hnas-gateway-sim is not built next to the tests";
    char dir[] = "/tmp/hnas-sim-test.XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string stateFile = std::string(dir) + "/array.json";
    std::ofstream(stateFile) << "{\"filesystems\":[{\"label\":\"only\",\"filesystemId\":"
                                "\"F1\",\"virtualServerId\":1}],"
                                "\"virtualServers\":[{\"name\":\"e\",\"virtualServerId\":1}]}";
    const std::string stateDir = std::string(dir) + "/certs";
    std::string firstPin;
    for (int run = 0; run < 2; ++run) {
        Program p({"--listen", "127.0.0.1:0", "--user", "ops", "--password", "pw",
                   "--management-ips", "10.1.1.1", "--state", stateFile, "--state-dir", stateDir,
                   "--fault", "GET file-devices status=503", "--quiet"});
        ASSERT_TRUE(p.ready());
        EXPECT_EQ(p.url.rfind("https://127.0.0.1:", 0), 0u) << p.url;
        EXPECT_EQ(p.cafile, stateDir + "/cert.pem");
        EXPECT_EQ(p.pin.rfind("sha256//", 0), 0u);
        EXPECT_EQ(p.pin.size(), 8u + 44u);
        if (run == 0)
            firstPin = p.pin;
        else
            EXPECT_EQ(p.pin, firstPin); // the state directory keeps its certificate
        auto r = getFrom(p, "/v4/storage/filesystems/");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200);
        EXPECT_NE(r->body.find("\"label\":\"only\""), std::string::npos);
        r = getFrom(p, "/v4/storage/file-devices");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 503);
        EXPECT_EQ(p.stop(SIGTERM), 0);
    }
    std::filesystem::remove_all(dir);
}

TEST(Program, RefusesBadOptions) {
    if (::access(programPath().c_str(), X_OK) != 0)
        GTEST_SKIP() << "hnas-gateway-sim is not built next to the tests";
    const std::vector<std::vector<std::string>> mistakes = {{"--fault", "GET x explode"},
                                                            {"--listen", "127.0.0.1"},
                                                            {"--state", "/nonexistent/a.json"}};
    for (const auto& args : mistakes) {
        Program p(args);
        EXPECT_FALSE(p.ready());
        EXPECT_GT(p.stop(0), 0); // exits at once with a failure status
    }
}

} // namespace
