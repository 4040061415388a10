// Seeding the array (state documents, generated arrays) and the
// hnas-gateway-sim program itself: ready line, --state, --fault, clean stop.

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "sim/SimClient.h"

extern char** environ;

using namespace simtest;

namespace {

TEST(StateDocument, RoundTripsTheWholeArray) {
    auto original = hnasgwsim::defaultArray();
    original.virtualServers[0].shares[0].cifsAuthentications.push_back(
        {"CORP\\\"quoted\"", hnasgwsim::encodeCifsName("CORP\\\"quoted\""), 3, "USER"});
    const auto text = hnasgwsim::writeStateJson(original);
    auto copy = hnasgwsim::loadStateJson(text);
    EXPECT_EQ(hnasgwsim::writeStateJson(copy), text);
    ASSERT_EQ(copy.virtualServers.size(), 2u);
    const auto& share = copy.virtualServers[0].shares[0];
    EXPECT_EQ(share.cifsAuthentications.back().name, "CORP\\\"quoted\"");
    EXPECT_EQ(copy.fileSystems[0].directories.size(), original.fileSystems[0].directories.size());
    EXPECT_EQ(copy.nextId, original.nextId); // new objects get fresh IDs
}

TEST(StateDocument, FillsDefaultsAndRejectsBadDocuments) {
    auto a = hnasgwsim::loadStateJson(
        "{\"virtualServers\":[{\"name\":\"e1\",\"virtualServerId\":7,"
        "\"shares\":[{\"protocol\":\"NFS\",\"name\":\"n\",\"filesystemId\":\"FS1\"}]}],"
        "\"filesystems\":[{\"label\":\"one\",\"filesystemId\":\"FS1\",\"virtualServerId\":7,"
        "\"capacity\":100,\"usedCapacity\":40,\"directories\":[\"/a/b/c\"]}]}");
    ASSERT_EQ(a.fileSystems.size(), 1u);
    EXPECT_EQ(a.fileSystems[0].freeCapacity, 60u);
    EXPECT_EQ(a.fileSystems[0].directories.size(), 3u); // parents added
    ASSERT_EQ(a.virtualServers[0].shares.size(), 1u);
    EXPECT_EQ(a.virtualServers[0].shares[0].virtualServerId, 7u);
    EXPECT_FALSE(a.virtualServers[0].objectId.empty());
    for (const char* bad : {"", "[]", "{\"filesystems\":{}}", "{\"filesystems\":[{}]}",
                            "{\"virtualServers\":[{\"name\":1}]}",
                            "{\"filesystems\":[{\"label\":\"x\",\"capacity\":-5}]}"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(hnasgwsim::loadStateJson(bad), std::runtime_error);
    }
}

TEST(GeneratedArray, HasTheRequestedSizeAndUniqueIds) {
    hnasgwsim::GenerateOptions o;
    o.virtualServers = 3;
    o.fileSystems = 40;
    o.shares = 300;
    o.snapshotsPerFileSystem = 5;
    auto a = hnasgwsim::generateArray(o);
    EXPECT_EQ(a.virtualServers.size(), 3u);
    EXPECT_EQ(a.fileSystems.size(), 40u);
    std::set<std::string> ids;
    size_t shares = 0, snapshots = 0;
    for (const auto& evs : a.virtualServers)
        for (const auto& share : evs.shares) {
            ++shares;
            ids.insert(share.objectId);
            EXPECT_EQ(a.findFileSystem(share.filesystemId)->virtualServerId, evs.virtualServerId);
        }
    for (const auto& fs : a.fileSystems)
        for (const auto& snap : fs.snapshots) {
            ++snapshots;
            ids.insert(snap.objectId);
        }
    EXPECT_EQ(shares, 300u);
    EXPECT_EQ(snapshots, 200u);
    EXPECT_EQ(ids.size(), 500u);
}

// ---- the program ----

std::string programPath() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    std::string dir(self, static_cast<size_t>(n));
    dir.resize(dir.find_last_of('/'));
    return dir + "/../tools/hnas-gateway-sim/hnas-gateway-sim";
}

struct Program {
    pid_t pid = -1;
    int out = -1;
    std::string url, cafile, pin;

    explicit Program(std::vector<std::string> args) {
        const auto path = programPath();
        if (::access(path.c_str(), X_OK) != 0)
            return;
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), path);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out = fds[0];
    }

    // Reads the ready line (10 s at most) and takes its fields apart.
    bool ready() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            char buf[512];
            const ssize_t n = ::read(out, buf, sizeof buf);
            if (n <= 0)
                return false;
            line.append(buf, static_cast<size_t>(n));
        }
        auto field = [&](const std::string& key) {
            auto at = line.find(" " + key + "=");
            if (at == std::string::npos)
                return std::string();
            at += key.size() + 2;
            return line.substr(at, line.find_first_of(" \n", at) - at);
        };
        url = field("url");
        cafile = field("cafile");
        pin = field("pin");
        return line.rfind("READY ", 0) == 0 && !url.empty();
    }

    // Sends SIGTERM and returns the exit status (-1 if it did not end in 10 s).
    int terminate() {
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    ~Program() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0)
            ::close(out);
    }
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
    {
        std::ofstream(stateFile) << "{\"filesystems\":[{\"label\":\"only\",\"filesystemId\":"
                                    "\"F1\",\"virtualServerId\":1}],"
                                    "\"virtualServers\":[{\"name\":\"e\",\"virtualServerId\":1}]}";
    }
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
        EXPECT_EQ(p.terminate(), 0);
    }
    std::remove(stateFile.c_str());
    std::remove((stateDir + "/cert.pem").c_str());
    std::remove((stateDir + "/key.pem").c_str());
    ::rmdir(stateDir.c_str());
    ::rmdir(dir);
}

TEST(Program, RefusesBadOptions) {
    if (::access(programPath().c_str(), X_OK) != 0)
        GTEST_SKIP() << "hnas-gateway-sim is not built next to the tests";
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--fault", "GET x explode"},
          std::vector<std::string>{"--listen", "127.0.0.1"},
          std::vector<std::string>{"--state", "/nonexistent/array.json"}}) {
        Program p(args);
        EXPECT_FALSE(p.ready());
        int status = 0;
        ASSERT_EQ(::waitpid(p.pid, &status, 0), p.pid);
        p.pid = -1;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    }
}

} // namespace
