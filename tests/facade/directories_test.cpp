// Directory listings and the path walk through the real client against the
// scripted gateway.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FacadeFixture.h"

namespace {

// Root of FS-7: //a twice (the first wins), //A, and one entry without a name.
const char* const kRoot = R"({"directories": [
  {"objectId": "D-A1", "displayName": ["//a"]},
  {"objectId": "D-UPPER", "displayName": ["//A"]},
  {"objectId": "D-A2", "displayName": ["//a"]},
  {"objectId": "D-NONAME"}
]})";

const char* const kUnderA = R"({"directories": [
  {"objectId": "D-AB", "displayName": ["//a/b"]},
  {"objectId": "D-AC", "displayName": ["//a/c"]}
]})";

const char* const kUnderAB = R"({"directories": [
  {"objectId": "D-ABX", "displayName": ["//a/b/x"]}
]})";

const char* const kRootResource = "filesystems/FS-7/directories/";
const char* const kError = R"({"errorCode": 500, "errorMsg": "Internal error"})";

const char* const kList = "RkManageHNAS::getFileSystemDirectories";
const char* const kWalk = "RkManageHNAS::getFileSystemDirectoriesUnderPath";

class DirectoriesTest : public hnastest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        gateway.on("GET", kRootResource, {200, kRoot});
        gateway.on("GET", "filesystems/FS-7/directories/D-A1", {200, kUnderA});
        gateway.on("GET", "filesystems/FS-7/directories/D-AB", {200, kUnderAB});
    }

    bool logged(const std::string& function, int level, const std::string& text) {
        for (const LogRecord& record : log->records()) {
            if (record.function == function && record.level == level && record.text == text &&
                record.jobId == static_cast<long long>(kJobId)) {
                return true;
            }
        }
        return false;
    }

    std::vector<std::string> requestedPaths() {
        std::vector<std::string> paths;
        for (const auto& request : gateway.requests()) {
            EXPECT_EQ(request.method, "GET");
            EXPECT_EQ(request.body, "");
            paths.push_back(request.path);
        }
        return paths;
    }

    static std::vector<std::string> idsOf(const std::vector<__HNASFileSystemDirectories>& list) {
        std::vector<std::string> ids;
        for (const auto& directory : list) {
            ids.push_back(directory.objectId);
        }
        return ids;
    }

    static std::vector<__HNASFileSystemDirectories> callersList() {
        std::vector<__HNASFileSystemDirectories> list(1);
        list[0].objectId = "caller";
        return list;
    }
};

// --- getFileSystemDirectories ---

TEST_F(DirectoriesTest, TheRootIsListedWithAnEmptyDirectoryIdentifier) {
    std::vector<__HNASFileSystemDirectories> list = callersList();

    ASSERT_TRUE(hnas.getFileSystemDirectories("FS-7", "", list));

    EXPECT_EQ(requestedPaths(), std::vector<std::string>{storagePath(kRootResource)});
    ASSERT_EQ(idsOf(list), (std::vector<std::string>{"D-A1", "D-UPPER", "D-A2", "D-NONAME"}));
    EXPECT_EQ(list[0].displayName, std::vector<std::string>{"//a"});
    EXPECT_TRUE(list[3].displayName.empty());
    EXPECT_TRUE(
        logged(kList, 5,
               std::string("Successfully got file system directories. Response [") + kRoot + "]"));

    ASSERT_TRUE(hnas.getFileSystemDirectories("FS-7", "D-A1", list));
    EXPECT_EQ(idsOf(list), (std::vector<std::string>{"D-AB", "D-AC"}));
}

TEST_F(DirectoriesTest, ListingFailuresEmptyTheOutput) {
    std::vector<__HNASFileSystemDirectories> list = callersList();
    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.getFileSystemDirectories("FS-7", "", list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(logged(kList, -1, "Initialize HNAS params."));

    list = callersList();
    EXPECT_FALSE(hnas.getFileSystemDirectories("", "D-A1", list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(logged(kList, -1, "Invalid Input. File System ID is empty."));
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", "filesystems/FS-7/directories/D-GONE", {404, kError});
    list = callersList();
    EXPECT_FALSE(hnas.getFileSystemDirectories("FS-7", "D-GONE", list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(logged(kList, -1, "Unable to get directories list under directory ID[D-GONE]"));

    gateway.on("GET", kRootResource, {500, kError});
    EXPECT_FALSE(hnas.getFileSystemDirectories("FS-7", "", list));
    EXPECT_TRUE(logged(kList, -1, "Unable to get directories list under directory ID[]"));

    gateway.on("GET", kRootResource, {200, ""});
    list = callersList();
    EXPECT_FALSE(hnas.getFileSystemDirectories("FS-7", "", list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(logged(kList, -1, "Empty response from the array"));

    gateway.on("GET", kRootResource, {200, R"({"directories": [{"displayName": ["//a"]}]})"});
    list = callersList();
    EXPECT_FALSE(hnas.getFileSystemDirectories("FS-7", "", list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(logged(kList, -1, "Unable to parse JSON response"));
}

// --- getFileSystemDirectoriesUnderPath ---

TEST_F(DirectoriesTest, TwoComponentsNameTheRoot) {
    for (const char* path : {"/x/y", "x/y", "//x//y/"}) {
        gateway.reset();
        gateway.on("GET", kRootResource, {200, kRoot});
        std::vector<__HNASFileSystemDirectories> list = callersList();
        ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath("FS-7", path, list)) << path;
        EXPECT_EQ(idsOf(list), (std::vector<std::string>{"D-A1", "D-UPPER", "D-A2", "D-NONAME"}));
        EXPECT_EQ(gateway.requestCount(), 1u);
    }
}

TEST_F(DirectoriesTest, ShortPathsAreRefusedAfterTheRootIsListed) {
    for (const char* path : {"/", "/x", "x"}) {
        gateway.reset();
        gateway.on("GET", kRootResource, {200, kRoot});
        std::vector<__HNASFileSystemDirectories> list = callersList();
        EXPECT_FALSE(hnas.getFileSystemDirectoriesUnderPath("FS-7", path, list)) << path;
        EXPECT_EQ(idsOf(list), std::vector<std::string>{"caller"});
        EXPECT_EQ(requestedPaths(), std::vector<std::string>{storagePath(kRootResource)});
        EXPECT_TRUE(logged(kWalk, -1, std::string("Invalid Path [") + path + "]"));
    }
}

TEST_F(DirectoriesTest, EachFurtherComponentIsLookedUpByItsMatchName) {
    std::vector<__HNASFileSystemDirectories> list;

    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath("FS-7", "/x/y/a", list));
    // The first of the two //a entries; //A is another directory.
    EXPECT_EQ(requestedPaths(),
              (std::vector<std::string>{storagePath(kRootResource),
                                        storagePath("filesystems/FS-7/directories/D-A1")}));
    EXPECT_EQ(idsOf(list), (std::vector<std::string>{"D-AB", "D-AC"}));

    gateway.reset();
    gateway.on("GET", kRootResource, {200, kRoot});
    gateway.on("GET", "filesystems/FS-7/directories/D-A1", {200, kUnderA});
    gateway.on("GET", "filesystems/FS-7/directories/D-AB", {200, kUnderAB});
    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath("FS-7", "/x/y/a/b/", list));
    EXPECT_EQ(requestedPaths(),
              (std::vector<std::string>{storagePath(kRootResource),
                                        storagePath("filesystems/FS-7/directories/D-A1"),
                                        storagePath("filesystems/FS-7/directories/D-AB")}));
    EXPECT_EQ(idsOf(list), std::vector<std::string>{"D-ABX"});
}

TEST_F(DirectoriesTest, AMissingComponentGivesAnEmptyListAtAnyDepth) {
    // Missing right under the root, and further down.
    for (const char* path : {"/x/y/missing", "/x/y/a/missing", "/x/y/a/missing/b", "/x/y/a/B"}) {
        std::vector<__HNASFileSystemDirectories> list = callersList();
        ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath("FS-7", path, list)) << path;
        EXPECT_TRUE(list.empty()) << path;
    }
    EXPECT_TRUE(logged(kWalk, 0, "Directory [//missing] not found."));
    EXPECT_TRUE(logged(kWalk, 0, "Directory [//a/missing] not found."));
    EXPECT_TRUE(logged(kWalk, 0, "Directory [//a/B] not found."));
    // The walk stops at the miss: nothing is listed under it.
    for (const auto& path : requestedPaths()) {
        EXPECT_TRUE(path == storagePath(kRootResource) ||
                    path == storagePath("filesystems/FS-7/directories/D-A1"))
            << path;
    }

    // Case counts: //A is not //a.
    gateway.reset();
    gateway.on("GET", kRootResource,
               {200, R"({"directories": [{"objectId": "D-UPPER", "displayName": ["//A"]}]})"});
    std::vector<__HNASFileSystemDirectories> list = callersList();
    ASSERT_TRUE(hnas.getFileSystemDirectoriesUnderPath("FS-7", "/x/y/a", list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(gateway.requestCount(), 1u);
}

TEST_F(DirectoriesTest, WalkFailuresKeepTheCallersList) {
    std::vector<__HNASFileSystemDirectories> list = callersList();

    EXPECT_FALSE(hnas.getFileSystemDirectoriesUnderPath("", "/x/y", list));
    EXPECT_FALSE(hnas.getFileSystemDirectoriesUnderPath("FS-7", "", list));
    EXPECT_EQ(log->count("Invalid Input."), 2u);
    EXPECT_EQ(gateway.requestCount(), 0u);

    RkManageHNAS fresh{kJobId};
    EXPECT_FALSE(fresh.getFileSystemDirectoriesUnderPath("FS-7", "/x/y", list));
    EXPECT_TRUE(logged(kList, -1, "Initialize HNAS params."));
    EXPECT_TRUE(logged(kWalk, -1, "Unable to get the dirs list under the root of the FS"));
    EXPECT_EQ(gateway.requestCount(), 0u);

    gateway.on("GET", "filesystems/FS-7/directories/D-AB", {500, kError});
    EXPECT_FALSE(hnas.getFileSystemDirectoriesUnderPath("FS-7", "/x/y/a/b", list));
    EXPECT_TRUE(logged(kWalk, -1, "Unable to get the dirs list under [//a/b]"));
    EXPECT_EQ(gateway.requestCount(), 3u);

    gateway.on("GET", "filesystems/FS-7/directories/D-A1", {200, "not json"});
    EXPECT_FALSE(hnas.getFileSystemDirectoriesUnderPath("FS-7", "/x/y/a/b", list));
    EXPECT_TRUE(logged(kWalk, -1, "Unable to get the dirs list under [//a]"));

    gateway.on("GET", kRootResource, {500, kError});
    EXPECT_FALSE(hnas.getFileSystemDirectoriesUnderPath("FS-7", "/x/y/a", list));
    EXPECT_TRUE(logged(kWalk, -1, "Unable to get the dirs list under the root of the FS"));

    EXPECT_EQ(idsOf(list), std::vector<std::string>{"caller"});
}

} // namespace
