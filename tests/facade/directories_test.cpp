// Directory listings and the path walk through the real client against the
// scripted gateway.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

using Strings = std::vector<std::string>;

// Root of FS-7: //a twice (the first wins), //A, and one entry without a name.
const char* const kRoot = R"({"directories": [{"objectId": "D-A1", "displayName": ["//a"]},
  {"objectId": "D-UPPER", "displayName": ["//A"]}, {"objectId": "D-A2", "displayName": ["//a"]},
  {"objectId": "D-NONAME"}]})";
const char* const kUnderA = R"({"directories": [{"objectId": "D-AB", "displayName": ["//a/b"]},
  {"objectId": "D-AC", "displayName": ["//a/c"]}]})";
const char* const kUnderAB =
    R"({"directories": [{"objectId": "D-ABX", "displayName": ["//a/b/x"]}]})";
const std::string kDirs = "filesystems/FS-7/directories/";
const char* const kWalk = "RkManageHNAS::getFileSystemDirectoriesUnderPath";

class DirectoriesTest : public hnastest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        script();
    }
    void script() {
        list.assign(1, {});
        list[0].objectId = "caller";
        gateway.reset();
        gateway.on("GET", kDirs, {200, kRoot});
        gateway.on("GET", kDirs + "D-A1", {200, kUnderA});
        gateway.on("GET", kDirs + "D-AB", {200, kUnderAB});
    }
    static std::string ids(const std::vector<__HNASFileSystemDirectories>& list) {
        std::string out;
        for (const auto& directory : list)
            out += directory.objectId + " ";
        return out;
    }
    std::vector<__HNASFileSystemDirectories> list; // a caller's entry, replaced or kept
};

// The first two components of a path name the root; each further one is
// looked up, exactly, among the names "//" + the path so far.
TEST_F(DirectoriesTest, TheWalk) {
    const std::string root = "GET " + kDirs, a = root + "D-A1", ab = root + "D-AB";
    struct Case {
        const char* path;
        std::string ids;
        Strings sent;
    };
    const Case cases[] = {
        {"/x/y", "D-A1 D-UPPER D-A2 D-NONAME ", {root}},
        {"//x//y/", "D-A1 D-UPPER D-A2 D-NONAME ", {root}},
        {"/x/y/a", "D-AB D-AC ", {root, a}},
        {"/x/y/a/b/", "D-ABX ", {root, a, ab}},
        {"/x/y/missing", "", {root}}, // a miss at any depth: an empty list
        {"/x/y/a/missing/b", "", {root, a}},
        {"/x/y/a/B", "", {root, a}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        script();
        ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath("FS-7", c.path, list));
        EXPECT_EQ(ids(list), c.ids);
        EXPECT_EQ(sent(), c.sent);
    }
    EXPECT_TRUE(logged(kWalk, 0, "Directory [//a/B] not found."));
}

// A short path is refused after the root is listed.
TEST_F(DirectoriesTest, AShortPathIsRefused) {
    EXPECT_FAILS(hnas.getFileSystemDirectoriesUnderPath("FS-7", "/x", list), kWalk,
                 "Invalid Path [/x]", 1);
    EXPECT_EQ(ids(list), "caller ");
}

} // namespace
