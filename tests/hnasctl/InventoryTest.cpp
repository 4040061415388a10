// Reading commands: info, evs, fs, dir, as tables and as JSON.

#include <sstream>

#include "hnasctl/HnasctlFixture.h"

namespace hnasctltest {
namespace {

using Inventory = HnasctlTest;

TEST_F(Inventory, InfoShowsTheSubsystem) {
    const auto info = runJson({"info"});
    EXPECT_EQ(str(info, "model"), "HNAS-SIM-4100");
    EXPECT_EQ(str(info, "storageHealth"), "ROBUST");
    EXPECT_EQ(int64_t(info["nodeCount"]), 2);
    EXPECT_TRUE(bool(info["isCluster"]));
    EXPECT_EQ(count(info["licenses"]), 4u);

    const ToolResult table = run({"info"});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_NE(table.out.find("HNAS-SIM-4100"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("CIFS, NFS, SNAPSHOT, CLUSTER"), std::string::npos) << table.out;
}

TEST_F(Inventory, EvsListAndShow) {
    const auto servers = runJson({"evs", "list"});
    ASSERT_EQ(count(servers), 2u);
    EXPECT_EQ(str(servers.at(0), "name"), "evs-prod");
    EXPECT_EQ(uint64_t(servers.at(0)["virtualServerId"]), 1u);
    EXPECT_EQ(count(servers.at(0)["ipAddresses"]), 2u);

    EXPECT_EQ(str(runJson({"evs", "show", "evs-backup"}), "name"), "evs-backup");
    EXPECT_EQ(str(runJson({"evs", "show", "192.0.2.22"}), "name"), "evs-prod");

    const ToolResult missing = run({"evs", "show", "EVS-PROD"}); // names match exactly
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Unable to find [EVS-PROD] in the virtual servers list"),
              std::string::npos)
        << missing.err;
}

TEST_F(Inventory, TablesAreAligned) {
    const ToolResult r = run({"evs", "list"});
    ASSERT_EQ(r.exitCode, 0);
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const size_t nameColumn = lines[0].find("NAME");
    EXPECT_EQ(lines[1].find("evs-prod"), nameColumn);
    EXPECT_EQ(lines[2].find("evs-backup"), nameColumn);
}

TEST_F(Inventory, FileSystemsByListLabelAndEvs) {
    const auto all = runJson({"fs", "list"});
    ASSERT_EQ(count(all), 4u);
    EXPECT_EQ(str(all.at(0), "label"), "fs-finance");
    const std::string finance = filesystemId("fs-finance");
    EXPECT_EQ(str(all.at(0), "filesystemId"), finance);

    const auto one = runJson({"fs", "list", "--id", finance});
    ASSERT_EQ(count(one), 1u);
    EXPECT_EQ(str(one.at(0), "label"), "fs-finance");

    EXPECT_EQ(str(runJson({"fs", "id", "--label", "FS-Finance"}), "filesystemId"), finance);
    const ToolResult plain = run({"fs", "id", "--label", "fs-archive"});
    EXPECT_EQ(plain.out, filesystemId("fs-archive") + "\n");
    const ToolResult none = run({"fs", "id", "--label", "no-such-fs"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no file system with the label no-such-fs"), std::string::npos)
        << none.err;

    EXPECT_EQ(str(runJson({"fs", "id", "--share", "FINANCE", "--evs", "evs-prod"}), "filesystemId"),
              finance);
    EXPECT_EQ(str(runJson({"fs", "id", "--share", "scratch", "--evs", "2", "--type", "nfs"}),
                  "filesystemId"),
              filesystemId("fs-scratch"));

    EXPECT_EQ(uint64_t(runJson({"fs", "evs", filesystemId("fs-archive")})["virtualServerId"]), 2u);
    EXPECT_EQ(run({"fs", "evs", "0000000000000000"}).exitCode, 1);
}

TEST_F(Inventory, TextFromTheArrayIsEscapedInJsonAndTables) {
    {
        auto array = sim->model();
        array->fileSystems[0].label = "odd \"label\"\\ \xC3\xA9\n\x1b[31mred";
    }
    const auto all = runJson({"fs", "list"});
    EXPECT_EQ(str(all.at(0), "label"), "odd \"label\"\\ \xC3\xA9\n\x1b[31mred");
    const ToolResult table = run({"fs", "list"});
    EXPECT_EQ(table.out.find('\x1b'), std::string::npos);
    EXPECT_NE(table.out.find("odd \"label\"\\ \xC3\xA9\\n\\x1B[31mred"), std::string::npos)
        << table.out;
}

TEST_F(Inventory, DirectoriesByPathAndById) {
    const std::string fs = filesystemId("fs-finance");
    const auto root = runJson({"dir", "ls", "--fs", fs, "/"});
    ASSERT_EQ(count(root), 2u);
    EXPECT_EQ(str(root.at(0), "name"), "//finance");
    EXPECT_EQ(str(root.at(1), "name"), "//reports");

    const auto q = runJson({"dir", "ls", "--fs", fs, "/finance/2026"});
    ASSERT_EQ(count(q), 1u);
    EXPECT_EQ(str(q.at(0), "name"), "//finance/2026/q1");

    // A directory without subdirectories: an empty list, not an error.
    EXPECT_EQ(count(runJson({"dir", "ls", "--fs", fs, "/finance/2026/q1"})), 0u);

    // A path that is not there is an error, not the listing of its parent.
    const ToolResult missing = run({"dir", "ls", "--fs", fs, "/finance/1999"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("no directory /finance/1999"), std::string::npos) << missing.err;

    const auto byId = runJson({"dir", "list", "--fs", fs});
    ASSERT_EQ(count(byId), 2u);
    const std::string financeDir = str(byId.at(0), "objectId");
    const auto under = runJson({"dir", "list", "--fs", fs, "--dir", financeDir});
    ASSERT_EQ(count(under), 2u);
    EXPECT_EQ(str(under.at(0), "name"), "//finance/2025");

    EXPECT_EQ(run({"dir", "list", "--fs", "0000000000000000"}).exitCode, 1);
}

} // namespace
} // namespace hnasctltest
