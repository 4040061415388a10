// Changing commands: snapshots and shares with their permissions, checked
// against what the simulated array holds afterwards.

#include <cstdio>
#include <fstream>

#include <unistd.h>

#include "hnasctl/HnasctlFixture.h"

namespace hnasctltest {
namespace {

using Snapshots = HnasctlTest;

// With a name that needs escaping on its way to the array.
TEST_F(Snapshots, CreateListFindRecoverDelete) {
    const std::string fs = filesystemId("fs-scratch");
    const std::string name = "RKHNAS \"quoted\" caf\xC3\xA9 {x: 1}";
    const auto created = runJson({"snapshot", "create", "--fs", fs, "--name", name});
    EXPECT_EQ(str(created, "displayName"), name);
    EXPECT_EQ(sim->model()->fileSystems[3].snapshots.at(0).displayName, name);
    EXPECT_EQ(str(created, "filesystemId"), fs);
    const std::string id = str(created, "objectId");
    ASSERT_FALSE(id.empty());

    const auto listed = runJson({"snapshot", "list", "--fs", fs});
    ASSERT_EQ(count(listed), 1u);
    EXPECT_EQ(str(listed.at(0), "objectId"), id);

    // list-all: every file system under the RKHNAS filter.
    const auto all = runJson({"snapshot", "list-all"});
    EXPECT_EQ(count(all), 4u); // 3 from the default array, 1 new

    EXPECT_TRUE(bool(runJson({"snapshot", "exists", "--fs", fs, "--name", name})["exists"]));
    const ToolResult absent = run({"--json", "snapshot", "exists", "--fs", fs, "--name",
                                   "rkhnas \"quoted\" caf\xC3\xA9 {x: 1}"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_NE(absent.out.find("\"exists\": false"), std::string::npos) << absent.out;

    EXPECT_TRUE(bool(runJson({"snapshot", "recover", id})["ok"]));
    EXPECT_EQ(sim->model()->recoveries, 1u);

    EXPECT_EQ(run({"snapshot", "delete", "--id", id}).exitCode, 0);
    EXPECT_EQ(count(runJson({"snapshot", "list", "--fs", fs})), 0u);
    // Gone: by ID it is an error, by name it counts as deleted.
    EXPECT_EQ(run({"snapshot", "delete", "--id", id}).exitCode, 1);
    EXPECT_EQ(run({"snapshot", "delete", "--fs", fs, "--name", name}).exitCode, 0);
    // An empty listing answers "absent", it is no failure.
    const ToolResult none = run({"snapshot", "exists", "--fs", fs, "--name", name});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "absent\n");
    EXPECT_EQ(none.err, "");
}

TEST_F(Snapshots, DeleteByNameRemovesOnlyThatSnapshot) {
    const std::string fs = filesystemId("fs-finance");
    EXPECT_EQ(run({"snapshot", "delete", "--fs", fs, "--name", "RKHNAS_daily_1"}).exitCode, 0);
    const auto left = runJson({"snapshot", "list", "--fs", fs});
    ASSERT_EQ(count(left), 1u);
    EXPECT_EQ(str(left.at(0), "displayName"), "RKHNAS_daily_2");
    // Another filter reaches other snapshots.
    EXPECT_EQ(count(runJson({"snapshot", "list", "--fs", fs, "--filter", "before"})), 1u);
}

using Shares = HnasctlTest;

TEST_F(Shares, ListAllOrByTypeOrByName) {
    const auto all = runJson({"share", "list", "--evs", "evs-prod"});
    ASSERT_EQ(count(all), 4u);
    EXPECT_EQ(str(all.at(0), "type"), "CIFS");
    EXPECT_EQ(str(all.at(3), "type"), "NFS");

    const auto nfs = runJson({"share", "list", "--evs", "192.0.2.31", "--type", "NFS"});
    ASSERT_EQ(count(nfs), 1u);
    EXPECT_EQ(str(nfs.at(0), "name"), "scratch");

    const auto named = runJson(
        {"share", "list", "--evs", "1", "--type", "CIFS", "--name", "FINANCE", "--with-perms"});
    ASSERT_EQ(count(named), 1u);
    const simdjson::dom::element perms = named.at(0)["settings"]["cifsAuthentications"];
    ASSERT_EQ(count(perms), 2u);
    EXPECT_EQ(str(perms.at(1), "name"), "CORP\\finance-admins"); // one backslash

    // Permissions of every CIFS share, without naming them.
    const auto withPerms = runJson({"share", "list", "--evs", "evs-prod", "--with-perms"});
    ASSERT_EQ(count(withPerms), 4u);
    EXPECT_EQ(count(withPerms.at(0)["settings"]["cifsAuthentications"]), 2u);
    EXPECT_EQ(count(withPerms.at(1)["settings"]["cifsAuthentications"]), 1u);

    EXPECT_EQ(run({"share", "list", "--evs", "evs-nowhere"}).exitCode, 1);
}

TEST_F(Shares, CreateCifsWithTwoPermissionsThenDelete) {
    const std::string fs = filesystemId("fs-engineering");
    std::vector<std::string> args =
        words("share create --name team-x --evs evs-prod --fs " + fs +
              " --path /projects/alpha --type cifs --max-users 25 --abe --perm CORP\\alice=7"
              " --perm CORP\\auditors=1,GROUP --comment");
    args.push_back("Team \"X\"");
    const auto share = runJson(args);
    EXPECT_EQ(str(share, "name"), "team-x");
    const std::string id = str(share, "objectId");

    {
        auto array = sim->model();
        const auto* stored = array->findShare("CIFS", id);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->path, "/projects/alpha");
        ASSERT_EQ(stored->cifsAuthentications.size(), 2u); // the default entry is gone
        EXPECT_EQ(stored->cifsAuthentications[0].name, "CORP\\alice");
        EXPECT_EQ(stored->cifsAuthentications[0].type, "USER");
        EXPECT_EQ(stored->cifsAuthentications[1].name, "CORP\\auditors");
        EXPECT_EQ(stored->cifsAuthentications[1].permission, 1);
        EXPECT_EQ(setting(*stored, "comment"), "\"Team \\\"X\\\"\"");
    }

    const auto perms = runJson({"share", "perms", "get", id});
    ASSERT_EQ(count(perms), 2u);
    EXPECT_EQ(str(perms.at(0), "name"), "CORP\\alice");

    EXPECT_EQ(run({"share", "exists", "--evs", "evs-prod", "--type", "CIFS", "--name", "team-x"})
                  .exitCode,
              0);
    EXPECT_EQ(run({"share", "delete", "--name", "team-x", "--evs", "evs-prod", "--type", "CIFS"})
                  .exitCode,
              0);
    const ToolResult gone =
        run({"share", "exists", "--evs", "evs-prod", "--type", "CIFS", "--name", "team-x"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.out, "absent\n") << gone.err;
    // Deleting it again by name counts as done; by its ID it fails.
    EXPECT_EQ(run({"share", "delete", "--name", "team-x", "--evs", "evs-prod", "--type", "CIFS"})
                  .exitCode,
              0);
    EXPECT_EQ(run({"share", "delete", "--id", id, "--type", "CIFS"}).exitCode, 1);
}

TEST_F(Shares, CreateNfsFromASettingsFile) {
    const std::string file =
        ::testing::TempDir() + "hnasctl-share-" + std::to_string(getpid()) + ".json";
    std::ofstream(file)
        << "{\"accessConfig\": \"10.0.0.0/8(rw)\", \"localReadCacheOption\": \"ENABLED\"}";
    const auto share = runJson({"share", "create", "--name", "exports", "--evs", "evs-backup",
                                "--fs", filesystemId("fs-scratch"), "--path", "/scratch", "--type",
                                "NFS", "--settings-file", file});
    const std::string id = str(share, "objectId");
    {
        auto array = sim->model();
        const auto* stored = array->findShare("NFS", id);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(setting(*stored, "accessConfig"), "\"10.0.0.0/8(rw)\"");
    }

    // A settings file with an unknown key is refused before anything is sent.
    std::ofstream(file) << "{\"acessConfig\": \"*\"}";
    const size_t before = sim->requestLog().size();
    EXPECT_EQ(run(words("share create --name x --evs evs-backup --fs F --path /p --type NFS "
                        "--settings-file " +
                        file))
                  .exitCode,
              2);
    EXPECT_EQ(sim->requestLog().size(), before);
    std::remove(file.c_str());
}

TEST_F(Shares, PermissionsSetAndDelete) {
    std::string id;
    {
        auto array = sim->model();
        id = array->virtualServers[0].shares[1].objectId; // "projects"
    }
    EXPECT_EQ(run({"share", "perms", "set", id, "--perm", "CORP\\bob=3"}).exitCode, 0);
    auto perms = runJson({"share", "perms", "get", id});
    ASSERT_EQ(count(perms), 2u);
    EXPECT_EQ(str(perms.at(1), "name"), "CORP\\bob");

    EXPECT_EQ(run({"share", "perms", "delete", id, "--name", "CORP\\bob"}).exitCode, 0);
    const std::string everyone = str(runJson({"share", "perms", "get", id}).at(0), "encodedName");
    EXPECT_EQ(run({"share", "perms", "delete", id, "--encoded-name", everyone}).exitCode, 0);
    EXPECT_EQ(count(runJson({"share", "perms", "get", id})), 0u);

    EXPECT_EQ(run({"share", "perms", "delete", id, "--name", "nobody"}).exitCode, 1);
    EXPECT_EQ(run({"share", "perms", "get", "C-no-such-share"}).exitCode, 1);
}

// A failure on the array exits with 1 and says on stderr what failed.
TEST_F(Shares, FailuresOnTheArrayExitWithOneAndSayWhat) {
    struct Case {
        std::string rule, command, err;
    };
    const Case cases[] = {
        {"POST filesystem-snapshots status=409",
         "snapshot create --fs " + filesystemId("fs-scratch") + " --name RKHNAS_x",
         "snapshot create failed: Unable to create Snapshot[RKHNAS_x]"},
        {"POST filesystem-shares/cifs/*/authentications status=500",
         "share create --name half --evs evs-prod --fs " + filesystemId("fs-finance") +
             " --path /reports --type CIFS --perm CORP\\carol=7",
         "the share was created, but its permission entries were not all applied"},
        {"GET filesystems/* status=500", "fs list",
         "fs list failed: Unable to get file systems list."},
        {"GET filesystems/* status=500", "fs list", "HTTP status 500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        sim->clearFaults();
        sim->addFault(hnasgwsim::parseFaultRule(c.rule));
        const ToolResult r = run(words(c.command));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

} // namespace
} // namespace hnasctltest
