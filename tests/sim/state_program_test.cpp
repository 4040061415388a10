// The hnas-gateway-sim program: ready line, --state (missing values take
// defaults), --fault, the kept certificate, a clean stop, bad options.

#include <csignal>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include "support/ChildProcess.h"

namespace {

std::string programPath() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/')) + "/../tools/hnas-gateway-sim/hnas-gateway-sim";
}

// The program started with `args`; `line` is its ready line.
struct Program : hnastest::Child {
    std::string line;
    explicit Program(std::vector<std::string> args)
        : Child((args.insert(args.begin(), programPath()), args)), line(firstLine()) {}
    std::string field(const std::string& key) const {
        const auto at = line.find(" " + key + "=") + key.size() + 2;
        return line.substr(at, line.find(' ', at) - at);
    }
    // GET path, with the credentials of the test below.
    httplib::Result get(const std::string& path) const {
        httplib::SSLClient client("127.0.0.1", std::stoi(field("url").substr(18)));
        client.set_ca_cert_path(field("cafile").c_str());
        client.enable_server_certificate_verification(true);
        return client.Get(path.c_str(), {{"X-Subsystem-User", "ops"},
                                         {"X-Subsystem-Password", "pw"},
                                         {"X-Subsystem-Type", "HNAS"},
                                         {"X-Management-IPs", "10.1.1.1"}});
    }
};

TEST(Program, ServesTheStateFileWithFaultsKeepsItsCertificateAndStopsOnSigterm) {
    char dir[] = "/tmp/hnas-sim-test.XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string stateFile = std::string(dir) + "/array.json";
    std::ofstream(stateFile) << "{\"filesystems\":[{\"label\":\"only\",\"capacity\":100,"
                                "\"usedCapacity\":40}]}";
    std::string firstPin;
    for (int run = 0; run < 2; ++run) {
        Program p({"--listen", "127.0.0.1:0", "--user", "ops", "--password", "pw",
                   "--management-ips", "10.1.1.1", "--state", stateFile, "--state-dir",
                   std::string(dir) + "/certs", "--fault", "GET file-devices status=503",
                   "--quiet"});
        ASSERT_EQ(p.line.rfind("READY url=https://127.0.0.1:", 0), 0u) << p.line;
        EXPECT_EQ(p.field("cafile"), std::string(dir) + "/certs/cert.pem");
        EXPECT_EQ(p.field("pin").rfind("sha256//", 0), 0u);
        EXPECT_EQ(p.field("pin"), run == 0 ? p.field("pin") : firstPin); // the same certificate
        firstPin = p.field("pin");
        auto r = p.get("/v4/storage/filesystems/");
        ASSERT_TRUE(r);
        EXPECT_NE(r->body.find("\"label\":\"only\""), std::string::npos) << r->body;
        EXPECT_NE(r->body.find("\"freeCapacity\":60"), std::string::npos);
        r = p.get("/v4/storage/file-devices");
        EXPECT_EQ(r ? r->status : 0, 503);
        EXPECT_EQ(p.stop(SIGTERM), 0);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
