// Integers in request bodies stay plain digits under a host locale that
// groups thousands.

#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

#include "hnasmgmt/json/HNASJSON.h"

namespace {

struct GroupingPunct : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class GroupingLocale {
public:
    GroupingLocale()
        : previous_(std::locale::global(std::locale(std::locale::classic(), new GroupingPunct))) {}
    ~GroupingLocale() { std::locale::global(previous_); }

private:
    std::locale previous_;
};

} // namespace

TEST(BodyIntegersTest, GroupingLocaleDoesNotReachTheBody) {
    GroupingLocale locale;

    __HNASFileSystemShareSettings settings;
    settings.maxConcurrentUsers = -12345;
    HNASJSONCreateFileSystemShare share(1, "s", "1", "fs", "/p");
    std::string body;
    ASSERT_TRUE(share.buildRequestCIFS(body, settings));
    EXPECT_NE(body.find("\"maxConcurrentUsers\":-12345,"), std::string::npos) << body;

    std::vector<__HNASCIFSAuthentication> entries(1);
    entries[0].name = "u";
    entries[0].encodedName = "e";
    entries[0].type = "USER";
    entries[0].permission = 1000;
    HNASJSONSetCIFSAuthentication permissions(1, entries);
    ASSERT_TRUE(permissions.buildRequest(body));
    EXPECT_EQ(body, "{\"cifsAuthentications\":[{\"encodedName\":\"e\", \"name\":\"u\", "
                    "\"permission\":1000, \"type\":\"USER\" }]}");
}
