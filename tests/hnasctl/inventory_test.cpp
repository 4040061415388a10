// Reading commands: info, evs, fs, dir, as tables, CSV and JSON.

#include "hnasctl/HnasctlFixture.h"

namespace hnasctltest {
namespace {

using Inventory = HnasctlTest;

TEST_F(Inventory, ReadingCommands) {
    const std::string finance = filesystemId("fs-finance"), scratch = filesystemId("fs-scratch");
    check({
        {"--json info", 0, "\"model\": \"HNAS-SIM-4100\",\n  \"nodeCount\": 2,"},
        {"info", 0, "Licenses:      CIFS, NFS, SNAPSHOT, CLUSTER\n"},
        {"--output csv info", 0,
         ",yes,2,6c1a7f2e-0b1d-4e43-9a7e-5d2c3b4a1f00,\"CIFS, NFS, SNAPSHOT, CLUSTER\"\n"},
        {"--json evs list", 0, "\"ipAddresses\": [\n      \"192.0.2.21\",\n      \"192.0.2.22\"\n"},
        {"evs list", 0, "ONLINE  yes      FILE_SERVICES  192.0.2.21,192.0.2.22  455EED"},
        {"evs show 192.0.2.22", 0, "IP addresses:  192.0.2.21, 192.0.2.22\nObject ID:     455EED"},
        {"evs show EVS-PROD", 1, "", "Unable to find [EVS-PROD] in the virtual servers list"},
        {"--json fs list --id " + finance, 0, "\"label\": \"fs-finance\""},
        {"fs id --label FS-Finance", 0, finance + "\n"},
        {"fs id --label no-such-fs", 1, "", "no file system with the label no-such-fs"},
        {"fs id --share FINANCE --evs evs-prod", 0, finance + "\n"},
        {"fs id --share scratch --evs 2 --type nfs", 0, scratch + "\n"},
        {"fs evs " + filesystemId("fs-archive"), 0, "2\n"},
        // Tables for people: UTC times, IEC capacities, paths with one slash;
        // CSV and JSON keep the array's values.
        {"fs list", 0, "312.0 GiB"},
        {"fs list", 0, "8.0 TiB"},
        {"--output csv fs list", 0, ",1099511627776,335007449088,764504178688,no,"},
        {"snapshot list --fs " + finance, 0, "  2025-12-07T00:00:00Z\n"},
        {"--output csv snapshot list --fs " + finance, 0, ",1765065600\n"},
        {"--json snapshot list --fs " + finance, 0, "\"creationTime\": 1765065600"},
        {"dir ls --fs " + finance + " /finance/2026", 0, "\n/finance/2026/q1 "},
        {"--json dir ls --fs " + finance + " /finance/2026", 0, "\"name\": \"//finance/2026/q1\""},
        // No subdirectories: an empty list; a path that is not there: an error.
        {"--json dir ls --fs " + finance + " /finance/2026/q1", 0, "[]"},
        {"dir ls --fs " + finance + " /finance/1999", 1, "", "no directory /finance/1999"},
        {"dir list --fs " + finance, 0, "\n/finance "},
    });
}

// Whatever the array holds reaches the terminal escaped (C0, DEL, C1) in
// tables, CSV and -v logs, as do bytes that are not UTF-8 in messages; JSON
// keeps the text.
TEST_F(Inventory, TextFromTheArrayIsEscaped) {
    sim->model()->fileSystems[0].label = "odd, \"label\"\\ \xC3\xA9\n\x1b[31m\x7f\xC2\x9B";
    const std::string shown = "\"label\"\\ \xC3\xA9\\n\\x1B[31m\\x7F\\xC2\\x9B";
    check({
        {"--json fs list", 0, "\"odd, \\\"label\\\"\\\\ \xC3\xA9\\n\\u001b[31m\\u007f\xC2\x9B\""},
        {"fs list", 0, "odd, " + shown},
        {"--output csv fs list", 0,
         ",\"odd, \"\"label\"\"\\ \xC3\xA9\\n\\x1B[31m\\x7F\\xC2\\x9B\","},
    });
    // Cells a spreadsheet would run as formulas stay text in CSV only.
    sim->model()->fileSystems[1].label = "=HYPERLINK(\"http://x\")";
    sim->model()->fileSystems[2].label = "@SUM(A1)";
    sim->model()->fileSystems[3].label = "-2+3";
    check({
        {"--output csv fs list", 0, ",\"'=HYPERLINK(\"\"http://x\"\")\","},
        {"--output csv fs list", 0, ",'@SUM(A1),"},
        {"--output csv fs list", 0, ",'-2+3,"},
        {"fs list", 0, "  @SUM(A1)  "},
        {"--json fs list", 0, "\"label\": \"-2+3\""},
    });
    sim->model()->fileSystems[1].label = kPassword; // an answer holding it: masked in the log
    for (const char* args : {"fs list", "--output csv fs list", "-vvv fs list"}) {
        const ToolResult r = run(words(args));
        for (const char* raw : {"\x1b", "\x7f", "\xC2\x9B"})
            EXPECT_EQ((r.out + r.err).find(raw), std::string::npos) << args;
        EXPECT_EQ(r.err.find(kPassword), std::string::npos);
    }
    const ToolResult missing = run({"fs", "id", "--label", "x\xC2\x9B\xFF\n"});
    EXPECT_NE(missing.err.find("label x\\xC2\\x9B\\xFF\\n\n"), std::string::npos) << missing.err;
}

} // namespace
} // namespace hnasctltest
