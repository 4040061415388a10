// Changing commands: snapshots and shares with their permissions, checked
// against what the simulated array holds afterwards; failures and partial
// walks.

#include "hnasctl/HnasctlFixture.h"

namespace hnasctltest {
namespace {

using Snapshots = HnasctlTest;

// With a name that needs escaping on its way to the array.
TEST_F(Snapshots, CreateListFindRecoverDelete) {
    const std::string fs = filesystemId("fs-scratch");
    const std::string name = "RKHNAS \"quoted\" caf\xC3\xA9 {x: 1}";
    EXPECT_NE(run({"snapshot", "create", "--fs", fs, "--name", name})
                  .out.find("\nState:        ACTIVE\n"),
              std::string::npos);
    EXPECT_EQ(sim->model()->fileSystems[3].snapshots.at(0).displayName, name);
    const std::string id = sim->model()->fileSystems[3].snapshots.at(0).objectId;
    EXPECT_EQ(run({"snapshot", "exists", "--fs", fs, "--name", name}).out, "present\n");
    EXPECT_EQ(run({"snapshot", "exists", "--fs", fs, "--name", "rkhnas" + name.substr(6)}).out,
              "absent\n"); // names match exactly
    const std::string finance = filesystemId("fs-finance");
    const std::string manual = " --fs " + finance + " --name before-upgrade";
    check({
        {"snapshot list-all", 0, "RKHNAS_weekly_1"},
        {"snapshot recover " + id, 0, "Recovered the file system from snapshot " + id},
        {"snapshot delete --id " + id, 0, ""},
        {"snapshot delete --id " + id, 1, "", "snapshot delete failed"},
        // A name that matches nothing deletes nothing, and says so.
        {"snapshot delete --fs " + fs + " --name RKHNAS_gone", 0,
         "nothing named RKHNAS_gone matched (listing filtered by RKHNAS_gone): nothing was "
         "deleted\n"},
        {"--json snapshot delete --fs " + fs + " --name x --filter RKHNAS", 0,
         "\"deleted\": false"},
        {"snapshot exists --fs " + fs + " --name RKHNAS_gone", 1, "absent\n"},
        {"snapshot delete --fs " + finance + " --name RKHNAS_daily_1", 0,
         "Deleted snapshot RKHNAS_daily_1 ("},
        {"snapshot list --fs " + finance, 0, "\nRKHNAS_daily_2 "},
        {"snapshot list --fs " + finance + " --filter before", 0, "\nbefore-upgrade "},
        // A snapshot not named RKHNAS...: its name is the listing filter,
        // unless --filter says otherwise.
        {"snapshot list" + manual, 0, "\nbefore-upgrade "},
        {"snapshot exists" + manual + " --filter RKHNAS", 1, "absent\n"},
        {"snapshot delete" + manual + " --filter RKHNAS", 0, "nothing was deleted"},
        {"snapshot exists" + manual, 0, "present\n"},
        {"--json snapshot delete" + manual, 0, "\"deleted\": true"},
    });
    EXPECT_EQ(sim->model()->recoveries, 1u);
    EXPECT_TRUE(sim->model()->fileSystems[3].snapshots.empty());
    ASSERT_EQ(sim->model()->fileSystems[0].snapshots.size(), 1u); // only those two are gone
    EXPECT_EQ(sim->model()->fileSystems[0].snapshots[0].displayName, "RKHNAS_daily_2");
}

using Shares = HnasctlTest;

TEST_F(Shares, CreateListDeleteWithSettingsAndPermissions) {
    const std::vector<std::string> comment = {"Team \"X\""};
    run(words(
            "share create --name team-x --evs evs-prod --fs " + filesystemId("fs-engineering") +
            " --path /p --type cifs --perm CORP\\alice=7 --perm CORP\\auditors=1,GROUP --comment") +
        comment);
    const hnasgwsim::Share stored = sim->model()->virtualServers[0].shares.back();
    const std::string id = stored.objectId;
    ASSERT_EQ(stored.cifsAuthentications.size(), 2u); // the default entry is gone
    EXPECT_EQ(stored.cifsAuthentications[0].name, "CORP\\alice");
    EXPECT_EQ(stored.cifsAuthentications[1].type, "GROUP");
    const std::pair<std::string, std::string> setting("comment", "\"Team \\\"X\\\"\"");
    EXPECT_NE(std::find(stored.settings.begin(), stored.settings.end(), setting),
              stored.settings.end());
    const std::string del = "share delete --name team-x --evs evs-prod --type CIFS";
    check({
        {"share list --evs 192.0.2.31 --type NFS", 0, "\nNFS   scratch"},
        {"--json share list --evs 1 --type CIFS --name FINANCE --with-perms", 0,
         "\"name\": \"CORP\\\\finance-admins\""}, // one backslash
        // Permissions of every CIFS share, without naming them.
        {"share list --evs evs-prod --with-perms", 0, "CORP\\finance-admins=7"},
        {"share list --evs evs-nowhere", 1, ""},
        {"--json share perms get " + id, 0, "\"name\": \"CORP\\\\alice\""},
        {"share exists --evs evs-prod --type CIFS --name team-x", 0, "present\n"},
        {"share delete --name TEAM-X --evs evs-prod --type CIFS", 0, "nothing was deleted"},
        {del, 0, "Deleted CIFS share team-x (" + id + ") on evs-prod.\n"},
        {"share exists --evs evs-prod --type CIFS --name team-x", 1, "absent\n"},
        // Already gone: done, but not "deleted".
        {del, 0, "nothing named team-x matched (CIFS shares of evs-prod): nothing was deleted\n"},
        {"share delete --id " + id + " --type CIFS", 1, ""},
        {"share create --name exports --evs evs-backup --fs " + filesystemId("fs-scratch") +
             " --path /scratch --type NFS --settings-file " +
             file("s.json", "{\"accessConfig\": \"10.0.0.0/8(rw)\"}"),
         0, "\nPath:         /scratch\n"},
        {"--json share list --evs 2 --name exports", 0, "\"accessConfig\": \"10.0.0.0/8(rw)\""},
    });
    const std::string projects = sim->model()->virtualServers[0].shares[1].objectId; // "projects"
    const std::string everyone =
        sim->model()->virtualServers[0].shares[1].cifsAuthentications[0].encodedName;
    check(
        {{"share perms set " + projects + " --perm CORP\\bob=3", 0, "Set 1 permission entry"},
         {"share perms get " + projects, 0, "CORP\\bob"},
         {"share perms delete " + projects + " --name CORP\\bob", 0, ""},
         {"share perms delete " + projects + " --name nobody", 1, "", "has no entry named nobody"},
         {"share perms delete " + projects + " --encoded-name " + everyone, 0, ""},
         {"--json share perms get " + projects, 0, "[]"},
         {"share perms get C-no-such-share", 1, ""}});
}

// A failure on the array exits with 1 and says on stderr what failed; a walk
// that missed some of its parts prints the others, says which, and exits 1.
// (The permission walk runs one GET at a time, so that the one that fails is
// always the second share's.)
TEST_F(Shares, FailuresAndPartialWalks) {
    const std::pair<std::string, Expect> cases[] = {
        {"POST filesystem-snapshots status=409",
         {"snapshot create --fs F --name RKHNAS_x", 1, "",
          "create Snapshot[RKHNAS_x] for File System ID[F]\nhnasctl: The gateway refused the "
          "request: [409] Code[409] Message[Injected fault."}},
        {"POST filesystem-shares/cifs/*/authentications status=500",
         {"share create --name half --evs evs-prod --fs " + filesystemId("fs-finance") +
              " --path /r --type CIFS --perm C\\c=7",
          1, "", "permission"}},
        {"GET filesystems/* status=500", {"fs list", 1, "", "HTTP status 500"}},
        {"GET filesystem-snapshots/" + filesystemId("fs-archive") + "/* status=500",
         {"snapshot list-all", 1, "RKHNAS_daily_2",
          "the snapshots of 1 file system could not be listed: fs-archive"}},
        {"GET filesystem-shares/cifs/*/authentications status=500 nth=2",
         {"share list --evs evs-prod --with-perms --parallel 1", 1, "CORP\\finance-admins",
          "the permission entries of 1 CIFS share could not be read: projects (HTTP status 500)"}},
        {"GET filesystem-shares/cifs/*/authentications status=500 nth=2",
         {"share list --evs evs-prod --with-perms --parallel 1", 1, "  (unread)\n"}},
        {"GET filesystem-shares/cifs/*/authentications status=500 nth=2",
         {"--json share list --evs evs-prod --type CIFS --with-perms --parallel 1", 1,
          "\"name\": \"projects\",\n    \"objectId\": \""}},
        {"GET filesystem-shares/cifs/*/authentications status=500 nth=2",
         {"--json share list --evs evs-prod --type CIFS --with-perms --parallel 1", 1,
          "\"permissionsRead\": false"}},
    };
    for (const auto& [rule, expect] : cases) {
        sim->clearFaults();
        sim->addFault(hnasgwsim::parseFaultRule(rule));
        check({expect});
    }
    // However long the walk: 5,500 CIFS shares, the last one unread.
    {
        auto array = sim->model();
        hnasgwsim::Share share = array->virtualServers[0].shares[0];
        share.virtualServerId = 2;
        for (int i = 0; i < 5500; ++i) {
            share.objectId = "C-bulk-" + std::to_string(i);
            share.name = "bulk-" + std::to_string(i);
            array->virtualServers[1].shares.push_back(share);
        }
    }
    sim->clearFaults();
    sim->addFault(hnasgwsim::parseFaultRule(
        "GET filesystem-shares/cifs/C-bulk-5499/authentications status=500"));
    check({{"share list --evs evs-backup --type CIFS --with-perms", 1, "\nCIFS  bulk-5499  ",
            "the permission entries of 1 CIFS share could not be read: bulk-5499 ("}});
}

} // namespace
} // namespace hnasctltest
