// Exit status 2 for usage errors, the password's sources and secrecy, the
// prompt, the trust of the gateway, and profiles.

#include <csignal>
#include <cstdio>
#include <fstream>

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "hnasctl/HnasctlFixture.h"

namespace hnasctltest {
namespace {

using Usage = HnasctlTest;

TEST_F(Usage, MistakesInTheCommandLineExitWithTwoAndSendNothing) {
    const std::string create = "share create --name s --evs evs-prod --fs F --path /p --type ";
    check({
        {"", 2, "", "hnasctl: "},
        {"frobnicate", 2, "", "subcommand"},
        {"snapshot", 2, "", "hnasctl: "},
        {"evs show", 2, "", "NAME_OR_IP"},
        {"--password " + std::string(kPassword) + " info", 2, "", "not taken from the command"},
        {"fs evs a/b", 2, "", "FILESYSTEM_ID"},
        {"fs evs ..", 2, "", "FILESYSTEM_ID"},
        {"snapshot list --fs x --filter a?b", 2, "", "--filter"},
        {"snapshot delete", 2, "", "needs --id"},
        {create + "NFS --perm CORP\\alice=7", 2, "", "CIFS shares only"},
        {create + "CIFS --perm alice", 2, "", "--perm must be"},
        {create + "SMB", 2, "", "--type"},
        {"share perms set C1", 2, "", "needs --perm"},
        {"--timeout 0 info", 2, "", "--timeout"},
        {"--output xml info", 2, "", "--output"},
        {"--json --output csv info", 2, "", "excludes"},
    });
    const std::string ip = " --user admin --management-ip 192.0.2.10 info";
    check({{"info", 2, "", "--gateway"},
           {"--gateway nohost" + ip, 2, "", "--gateway must be"},
           {"--gateway 127.0.0.1:70000" + ip, 2, "", "port"},
           {"--gateway " + gateway() + " --management-ip 192.0.2.10 info", 2, "", "--user"}},
          true, false);
    EXPECT_TRUE(sim->requestLog().empty());
}

using Password = HnasctlTest;

// Each -v raises the log level; the most verbose log never shows the
// password, which was sent all the same.
TEST_F(Password, NeverAppearsInTheMostVerboseLog) {
    std::vector<size_t> sizes;
    for (const char* v : {"--json", "-v", "-vv", "-vvv"})
        sizes.push_back(run({v, "info"}).err.size());
    EXPECT_EQ(sizes[0], 0u);
    EXPECT_LT(sizes[1], sizes[2]);
    EXPECT_LT(sizes[2], sizes[3]);
    check({{"-vvv info", 0, "", "Response"}});
    EXPECT_EQ(sim->requestLog().size(), 5u);
}

// The password's sources; a wrong one fails with 1 and is never shown.
TEST_F(Password, ComesFromTheEnvironmentOrAFile) {
    const std::string file = ::testing::TempDir() + "hnasctl-pw-" + std::to_string(getpid());
    for (const auto& [path, mode] : {std::pair{file, 0600}, std::pair{file + ".open", 0644}}) {
        std::ofstream(path) << kPassword << "\n";
        chmod(path.c_str(), mode);
    }
    check({{"--password-file " + file + " info", 0, ""},
           {"--password-env MY_PW info", 0, "", "", {{"MY_PW", kPassword}}},
           {"info", 2, "", "set HNAS_PASSWORD"}, // and no terminal to ask on
           {"--password-file " + file + ".missing info", 2, "", "cannot read the password file"},
           {"--password-file " + file + ".open info", 2, "", "can be read by others (mode 0644)"},
           {"-vvv info",
            1,
            "",
            "refused the credentials (HTTP 401)",
            {{"HNAS_PASSWORD", kWrongPassword}}}},
          false);
    std::remove(file.c_str());
    std::remove((file + ".open").c_str());
}

// Waits (at most 10 s) until the terminal's echo is `on`.
bool echoBecomes(int terminal, bool on) {
    for (int i = 0; i < 1000; ++i, usleep(10000)) {
        termios t{};
        if (tcgetattr(terminal, &t) == 0 && ((t.c_lflag & ECHO) != 0) == on)
            return true;
    }
    return false;
}

// The prompt turns echo off; Ctrl-C, Ctrl-\ and Ctrl-Z turn it on again, and
// the prompt resumed after Ctrl-Z turns it off again.
TEST_F(Password, PromptRestoresEchoOnEveryWayOut) {
    std::vector<std::string> args = words(HNASCTL_PATH " info") + connection();
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    char* noEnvironment[] = {nullptr};
    for (const char key : {'\x03', '\x1c', '\x1a'}) {
        int terminal = -1;
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            execve(argv[0], argv.data(), noEnvironment);
            _exit(127);
        }
        ASSERT_TRUE(echoBecomes(terminal, false)) << "no prompt";
        ASSERT_EQ(write(terminal, &key, 1), 1);
        EXPECT_TRUE(echoBecomes(terminal, true)) << int(key);
        if (key == '\x1a') { // stopped, or not (an orphaned process group is not)
            kill(pid, SIGCONT);
            EXPECT_TRUE(echoBecomes(terminal, false));
            kill(pid, SIGTERM);
        }
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status)) << status;
        close(terminal);
    }
}

using Trust = HnasctlTest;

// Without --cacert: refused before the password is sent, unless a pin or
// --insecure (with a warning) says otherwise.
TEST_F(Trust, CertificatePinOrInsecure) {
    check({{"info", 1, "", "no answer from the gateway"},
           {"--pin sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA= info", 1, "", "gateway"},
           {"--pin sha256//not-base64! info", 2, "", "--pin must be"}},
          true, true, false);
    EXPECT_TRUE(sim->requestLog().empty());
    check({{"--pin " + sim->pin() + " info", 0, "hnas-sim-cluster"},
           {"--insecure info", 0, "hnas-sim-cluster", "warning: --insecure"}},
          true, true, false);
}

using Profiles = HnasctlTest;

// A profile gives what the options and the environment leave out; a profile
// file that others can write, or a password file that others can read, is
// refused, as is a password in the profile.
TEST_F(Profiles, FillInWhatOptionsAndEnvironmentLeaveOut) {
    const std::string dir = ::testing::TempDir() + "hnasctl-xdg-" + std::to_string(getpid());
    const std::string config = dir + "/hnasctl/config", pw = dir + "/pw";
    mkdir(dir.c_str(), 0700);
    mkdir((dir + "/hnasctl").c_str(), 0700);
    std::ofstream(pw) << kPassword;
    std::ofstream(config) << "# arrays\n[sim]\n gateway = " << sim->host()
                          << "\nport=" << sim->port()
                          << "\nuser = admin\nmanagement-ip = 192.0.2.10\ncacert = "
                          << sim->caFile() << "\npassword-file = " << pw
                          << "\n[other]\nuser = nobody\n";
    chmod(pw.c_str(), 0600);
    chmod(config.c_str(), 0600);
    const std::map<std::string, std::string> xdg = {{"XDG_CONFIG_HOME", dir}};
    const auto with = [&](std::map<std::string, std::string> more) {
        more.insert(xdg.begin(), xdg.end());
        return more;
    };
    const std::string refused = "refused the credentials";
    check({{"--profile sim info", 0, "hnas-sim-cluster", "", xdg},
           {"info", 0, "hnas-sim-cluster", "", with({{"HNAS_PROFILE", "sim"}})},
           {"--profile sim --user nobody info", 1, "", refused, xdg},
           {"--profile sim info", 1, "", refused, with({{"HNAS_USER", "nobody"}})},
           {"--profile sim info", 1, "", refused, with({{"HNAS_PASSWORD", kWrongPassword}})},
           {"--profile other info", 2, "", "--gateway", xdg},
           {"--profile nowhere info", 2, "", "no profile \"nowhere\"", xdg}},
          false, false);
    chmod(config.c_str(), 0620);
    check({{"--profile sim info", 2, "", "can be written by others", xdg}}, false, false);
    chmod(config.c_str(), 0600);
    chmod(pw.c_str(), 0640);
    check({{"--profile sim info", 2, "", "can be read by others", xdg}}, false, false);
    std::ofstream(config) << "[sim]\npassword = x\n";
    check({{"--profile sim info", 2, "", "never holds the password", xdg}}, false, false);
    std::remove(config.c_str());
    std::remove(pw.c_str());
}

} // namespace
} // namespace hnasctltest
