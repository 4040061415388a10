// Exit status 2 for usage errors, the password's sources and secrecy, and
// the trust and reachability of the gateway.

#include <cstdio>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "hnasctl/HnasctlFixture.h"

namespace hnasctltest {
namespace {

using Usage = HnasctlTest;

TEST_F(Usage, MistakesInTheCommandLineExitWithTwoAndSendNothing) {
    const std::vector<std::vector<std::string>> mistakes = {
        {},                                // no command
        {"frobnicate"},                    // unknown command
        {"snapshot"},                      // family without a command
        {"evs", "show"},                   // missing positional
        {"info", "--no-such-option"},      // unknown option
        {"--password", kPassword, "info"}, // no password on the command line
        {"fs", "evs", "a/b"},              // identifier that would change the path
        {"fs", "evs", ".."},               //
        {"snapshot", "list", "--fs", "x", "--filter", "a?b"},
        {"snapshot", "delete"}, // needs --id or --fs/--name
        {"snapshot", "delete", "--id", "1", "--fs", "x", "--name", "y"},
        {"share", "create", "--name", "s", "--evs", "evs-prod", "--fs", "F", "--path", "/p",
         "--type", "NFS", "--perm", "CORP\\alice=7"}, // permissions on NFS
        {"share", "create", "--name", "s", "--evs", "evs-prod", "--fs", "F", "--path", "/p",
         "--type", "CIFS", "--perm", "alice"}, // malformed entry
        {"share", "create", "--name", "s", "--evs", "evs-prod", "--fs", "F", "--path", "/p",
         "--type", "SMB"},               // unknown share type
        {"share", "perms", "set", "C1"}, // nothing to set
        {"--timeout", "0", "info"},
    };
    for (const auto& args : mistakes) {
        const ToolResult r = run(args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find(kPassword), std::string::npos);
    }
    // Connection values missing or malformed.
    const std::string ip = "--management-ip 192.0.2.10 ";
    const std::pair<std::vector<std::string>, std::string> bare[] = {
        {words("info"), ""},
        {words("--gateway nohost --user admin " + ip + "info"), ""},
        {words("--gateway 127.0.0.1:70000 --user admin " + ip + "info"), ""},
        {words("--gateway " + gateway() + " " + ip + "info"), "--user"},
    };
    for (const auto& [args, err] : bare) {
        const ToolResult r = runTool(args, env());
        EXPECT_EQ(r.exitCode, 2) << args[0] << "\n" << r.err;
        EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
    }
    EXPECT_TRUE(sim->requestLog().empty());
}

TEST_F(Usage, HelpAndVersionExitWithZero) {
    const ToolResult help = runTool({"--help"}, {});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"info", "evs", "fs", "snapshot", "share", "dir"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    EXPECT_EQ(runTool({"--version"}, {}).exitCode, 0);
}

using Password = HnasctlTest;

// Each -v raises the log level; the most verbose log never shows the
// password, which was sent all the same.
TEST_F(Password, NeverAppearsInTheMostVerboseLog) {
    std::vector<size_t> sizes;
    std::string last;
    for (const char* v : {"", "-v", "-vv", "-vvv"}) {
        std::vector<std::string> args = words("info");
        if (*v)
            args.insert(args.begin(), v);
        const ToolResult r = run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ((r.out + r.err).find(kPassword), std::string::npos);
        sizes.push_back(r.err.size());
        last = r.err;
    }
    EXPECT_EQ(sizes[0], 0u);
    EXPECT_LT(sizes[1], sizes[2]);
    EXPECT_LT(sizes[2], sizes[3]);
    EXPECT_NE(last.find("Response"), std::string::npos) << "no log at -vvv:\n" << last;
    EXPECT_EQ(sim->requestLog().size(), 4u);
}

// The password's sources; a wrong one fails with 1 and is never shown.
TEST_F(Password, ComesFromTheEnvironmentOrAFile) {
    const std::string file =
        ::testing::TempDir() + "hnasctl-password-" + std::to_string(getpid()) + ".txt";
    std::ofstream(file) << kPassword << "\n";
    std::ofstream(file + ".open") << kPassword << "\n";
    chmod(file.c_str(), 0600);
    chmod((file + ".open").c_str(), 0644);
    struct Case {
        std::vector<std::string> options;
        std::map<std::string, std::string> env;
        int exitCode;
        std::string err; // a part of stderr
    };
    const Case cases[] = {
        {{}, {}, 2, "HNAS_PASSWORD"}, // none, and no terminal to ask on
        {{"--password-file", file}, {}, 0, ""},
        {{"--password-env", "MY_ARRAY_PW"}, {{"MY_ARRAY_PW", kPassword}}, 0, ""},
        {{"--password-file", file + ".missing"}, env(), 2, ""},
        {{"--password-file", file + ".open"}, env(), 2, "can be read by others (mode 0644)"},
        {{"-vvv"},
         {{"HNAS_PASSWORD", "not-the-password"}},
         1,
         "refused the credentials (HTTP 401)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = connection();
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("info");
        const ToolResult r = runTool(args, c.env);
        SCOPED_TRACE(testing::PrintToString(c.options));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("not-the-password"), std::string::npos) << r.err;
    }
    std::remove(file.c_str());
    std::remove((file + ".open").c_str());
}

using Trust = HnasctlTest;

// Without --cacert: refused before the password is sent, unless a pin or
// --insecure (with a warning) says otherwise.
TEST_F(Trust, CertificatePinOrInsecure) {
    struct Case {
        std::vector<std::string> options;
        int exitCode;
        std::string err; // a part of stderr; empty: stderr is empty
        bool sent;
    };
    const Case cases[] = {
        {{}, 1, "no answer from the gateway", false},
        {{"--pin", sim->pin()}, 0, "", true},
        {{"--pin", "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="}, 1, "gateway", false},
        {{"--pin", "sha256//not base64!"}, 2, "pin", false}, // not a pin at all
        {{"--insecure"}, 0, "warning: --insecure", true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = connection(false);
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("info");
        const size_t before = sim->requestLog().size();
        const ToolResult r = runTool(args, env());
        SCOPED_TRACE(c.options.empty() ? "no option" : c.options.back());
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        }
        EXPECT_EQ(sim->requestLog().size() > before, c.sent);
    }
}

TEST_F(Trust, AGatewayThatIsNotThereFailsWithinTheTimeLimit) {
    const int port = sim->port();
    sim->stop();
    const ToolResult r = runTool({"--gateway", "127.0.0.1:" + std::to_string(port), "--user",
                                  "admin", "--management-ip", "192.0.2.10", "--connect-timeout",
                                  "2", "--timeout", "5", "info"},
                                 env(), std::chrono::seconds(20));
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no answer from the gateway"), std::string::npos) << r.err;
}

} // namespace
} // namespace hnasctltest
