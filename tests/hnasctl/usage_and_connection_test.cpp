// Exit status 2 for usage errors, the password's sources and secrecy, the
// prompt, the trust of the gateway, and profiles.

#include <csignal>

#include <pty.h>
#include <sys/wait.h>
#include <termios.h>

#include "hnasctl/HnasctlFixture.h"
#include "support/RawServer.h"

namespace hnasctltest {
namespace {

using Usage = HnasctlTest;

TEST_F(Usage, MistakesInTheCommandLineExitWithTwoAndSendNothing) {
    const std::string create = "share create --name s --evs evs-prod --fs F --path /p --type ";
    const std::string ip = " --user admin --management-ip 192.0.2.10 info";
    check({
        {"", 2, "", "hnasctl: "},
        {"--password " + std::string(kPassword) + " info", 2, "", "not taken from the command"},
        {"fs evs a/b", 2, "", "FILESYSTEM_ID"},
        {"snapshot list --fs x --filter a?b", 2, "", "--filter"},
        {"snapshot list --fs ..\\filesystems\\FS1 --filter x", 2, "", "--fs"},
        {"share perms delete SH1 --encoded-name ..;", 2, "", "--encoded-name"},
        {"snapshot recover a%2F", 2, "", "SNAPSHOT_ID"},
        {create + "NFS --perm CORP\\alice=7", 2, "", "CIFS shares only"},
        {create + "CIFS --perm alice", 2, "", "--perm must be"},
        {create + "NFS --settings-file " + file("s.json", "{\"acessConfig\": \"*\"}"), 2, "",
         "unknown key \"acessConfig\""},
        {"--timeout 0 info", 2, "", "--timeout"},
        {"--output xml info", 2, "", "--output"},
        {"--json --output csv info", 2, "", "excludes"},
    });
    check({{"info", 2, "", "--gateway"},
           {"--gateway 127.0.0.1:70000" + ip, 2, "", "port"},
           {"--gateway " + gateway() + " --management-ip 192.0.2.10 info", 2, "", "--user"}},
          password(), false);
    EXPECT_TRUE(sim->requestLog().empty());
}

using Password = HnasctlTest;

// Each -v raises the log level; the most verbose log never shows the
// password, which was sent all the same.
TEST_F(Password, NeverAppearsInTheMostVerboseLog) {
    std::vector<size_t> sizes;
    for (const char* v : {"--json", "-v", "-vv", "-vvv"})
        sizes.push_back(run({v, "info"}).err.size());
    EXPECT_TRUE(sizes[0] == 0 && sizes[1] < sizes[2] && sizes[2] < sizes[3]);
    check({{"-vvv info", 0, "", "Response"}});
    EXPECT_EQ(sim->requestLog().size(), 5u);
}

// The password's sources; a wrong one fails with 1 and is never shown.
TEST_F(Password, ComesFromTheEnvironmentOrAFile) {
    const std::string pw = file("pw", std::string(kPassword) + "\n");
    const Environment wrong = {{"HNAS_PASSWORD", kWrongPassword}};
    check({{"--password-file " + pw + " info", 0, ""},
           {"--password-env MY_PW info", 0, "", "", {{"MY_PW", kPassword}}},
           {"info", 2, "", "set HNAS_PASSWORD"}, // and no terminal to ask on
           {"--password-file " + pw + ".missing info", 2, "", "cannot read the password file"},
           {"--password-file " + file("pw.open", kPassword, 0644) + " info", 2, "",
            "can be read by others (mode 0644)"},
           {"-vvv info", 1, "", "refused the credentials (HTTP 401)", wrong}},
          {});
}

// Waits (at most 10 s) until the terminal's echo is `on`, sending SIGCONT to
// `resume` (when given) each round: it may stop only after the test saw echo
// come back on.
bool echoBecomes(int terminal, bool on, pid_t resume = 0) {
    termios t{};
    for (int i = 0; i < 1000; ++i, usleep(10000)) {
        if (resume > 0)
            kill(resume, SIGCONT);
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
        if (pid == 0) {
            execve(argv[0], argv.data(), noEnvironment);
            _exit(127);
        }
        ASSERT_TRUE(pid > 0 && echoBecomes(terminal, false)) << "no prompt";
        ASSERT_EQ(write(terminal, &key, 1), 1);
        EXPECT_TRUE(echoBecomes(terminal, true)) << int(key);
        if (key == '\x1a') { // stopped, or not (an orphaned process group is not)
            EXPECT_TRUE(echoBecomes(terminal, false, pid));
            kill(pid, SIGTERM);
        }
        int status = 0;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && WIFSIGNALED(status)) << status;
        close(terminal);
    }
}

using Trust = HnasctlTest;

// Without --cacert: refused before the password is sent, unless a pin or
// --insecure (with a warning) says otherwise. A request without an answer
// names its reason, with the hint that fits it.
TEST_F(Trust, CertificatePinOrInsecure) {
    check({{"info", 1, "",
            "no answer from the gateway: its certificate is self-signed and not "
            "trusted (SSL peer certificate"},
           {"info", 1, "", "): trust it with --pin or --cacert; run with -v for more\n"},
           {"--pin sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA= info", 1, "",
            "no answer from the gateway: the gateway's public key does not match the pin"},
           {"--pin sha256//not-base64! info", 2, "", "--pin must be"}},
          password(), true, false);
    EXPECT_TRUE(sim->requestLog().empty());
    check({{"--pin " + sim->pin() + " info", 0, "hnas-sim-cluster"},
           {"--insecure info", 0, "hnas-sim-cluster", "warning: --insecure"}},
          password(), true, false);
    int closed = 0, silent = 0;
    const int closedFd = hnastest::loopbackSocket(closed, false); // bound, not listening
    const int silentFd = hnastest::loopbackSocket(silent, true);  // never accepts
    const std::string rest = " --user admin --management-ip 192.0.2.10 --insecure info";
    check({{"--gateway 127.0.0.1:" + std::to_string(closed) + rest, 1, "",
            "no answer from the gateway: "},
           {"--gateway 127.0.0.1:" + std::to_string(closed) + rest, 1, "",
            "): is the gateway listening on 127.0.0.1:" + std::to_string(closed)},
           {"--gateway no-such-gateway.invalid:8444" + rest, 1, "",
            "no answer from the gateway: the host name is not resolved"},
           {"--timeout 0.3 --gateway 127.0.0.1:" + std::to_string(silent) + rest, 1, "",
            "no answer from the gateway: timed out ("}},
          password(), false);
    close(closedFd);
    close(silentFd);
}

using Profiles = HnasctlTest;

// A profile gives what the options and the environment leave out; a profile
// file that others can write, or a password file that others can read, is
// refused, as is a password in the profile.
TEST_F(Profiles, FillInWhatOptionsAndEnvironmentLeaveOut) {
    const std::string pw = file("profile.pw", kPassword);
    const std::string dir = file("xdg", "");
    std::remove(dir.c_str());
    mkdir(dir.c_str(), 0700);
    mkdir((dir + "/hnasctl").c_str(), 0700);
    files.insert(files.begin(), {dir + "/hnasctl/config", dir + "/hnasctl", dir});
    const auto profiles = [&](const std::string& text, mode_t mode) {
        std::ofstream(files[0]) << text;
        chmod(files[0].c_str(), mode);
    };
    profiles("# arrays\n[sim]\n gateway = " + sim->host() + "\nport=" +
                 std::to_string(sim->port()) + "\nuser = admin\nmanagement-ip = 192.0.2.10\n" +
                 "cacert = " + sim->caFile() + "\npassword-file = " + pw + "\n[o]\nuser = x\n",
             0600);
    const Environment xdg = {{"XDG_CONFIG_HOME", dir}};
    check({{"--profile sim info", 0, "hnas-sim-cluster"},
           {"info", 0, "hnas-sim-cluster", "", {{"HNAS_PROFILE", "sim"}}},
           {"--profile sim --user nobody info", 1, "", "refused"},
           {"--profile sim info", 1, "", "refused", {{"HNAS_USER", "nobody"}}},
           {"--profile sim info", 1, "", "refused", {{"HNAS_PASSWORD", kWrongPassword}}},
           {"--profile o info", 2, "", "--gateway"},
           {"--profile nowhere info", 2, "", "no profile \"nowhere\""}},
          xdg, false);
    chmod(files[0].c_str(), 0620);
    check({{"--profile sim info", 2, "", "can be written by others"}}, xdg, false);
    chmod(files[0].c_str(), 0600);
    chmod(pw.c_str(), 0640);
    check({{"--profile sim info", 2, "", "can be read by others"}}, xdg, false);
    profiles("[sim]\npassword = x\n", 0600);
    check({{"--profile sim info", 2, "", "never holds the password"}}, xdg, false);

    // Relative paths are beside the configuration file, never in the
    // current directory; files of another user are refused, also through a
    // symbolic link.
    const std::string beside = dir + "/hnasctl/", other = beside + "other", config = files[0];
    files.insert(files.begin(), {beside + "ca.pem", beside + "pw", other});
    std::ifstream ca(sim->caFile());
    std::ofstream(files[0]) << ca.rdbuf();
    std::ofstream(files[1]) << kPassword;
    chmod(files[1].c_str(), 0600);
    const std::string relative = "[rel]\ngateway = " + gateway() +
                                 "\nuser = admin\nmanagement-ip = 192.0.2.10\n"
                                 "cacert = ca.pem\npassword-file = pw\n";
    std::ofstream(config) << relative;
    std::ofstream(other) << relative;
    chmod(other.c_str(), 0600);
    check({{"--profile rel info", 0, "hnas-sim-cluster"}}, xdg, false);
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    ASSERT_EQ(chown(files[1].c_str(), 65534, 65534), 0);
    check({{"--profile rel info", 2, "",
            "the password file \"" + files[1] + "\" belongs to another user (uid 65534)"}},
          xdg, false);
    ASSERT_EQ(chown(files[1].c_str(), 0, 0), 0);
    ASSERT_EQ(chown(config.c_str(), 65534, 65534), 0);
    check({{"--profile rel info", 2, "", "belongs to another user (uid 65534)"}}, xdg, false);
    ASSERT_EQ(chown(other.c_str(), 65534, 65534), 0);
    std::remove(config.c_str());
    ASSERT_EQ(symlink(other.c_str(), config.c_str()), 0);
    check({{"--profile rel info", 2, "", "belongs to another user (uid 65534)"}}, xdg, false);
}

} // namespace
} // namespace hnasctltest
