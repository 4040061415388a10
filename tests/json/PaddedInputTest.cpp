// A response string with room behind its text (as the REST session leaves it)
// is parsed where it lies: whatever the spare bytes hold is never read as part
// of the document.

#include <gtest/gtest.h>

#include <string>

#include "json/JsonReader.h"

using hnasjson::JsonDocument;

namespace {

// `text`, followed in the string's spare capacity by `stale` (left there by a
// longer content the string held before).
std::string withStaleTail(const std::string& text, const std::string& stale) {
    std::string s = text + stale + std::string(128, ' ');
    s.resize(text.size());
    return s;
}

TEST(PaddedInput, SpareBytesAreNotPartOfTheDocument) {
    const std::string text = withStaleTail(R"({"key":"value"})", R"(,"extra":true})");
    ASSERT_GE(text.capacity() - text.size(), 64u);
    JsonDocument document;
    ASSERT_TRUE(document.parse(text));
    std::string value;
    EXPECT_TRUE(document.root().readString("key", value));
    EXPECT_EQ(value, "value");
    EXPECT_FALSE(document.root().hasString("extra"));
}

TEST(PaddedInput, TruncatedTextIsRefusedWhateverFollowsIt) {
    for (const auto& [text, stale] :
         {std::pair<std::string, std::string>{R"({"key":"val)", R"(ue"})"},
          {R"({"key":)", R"("value"})"},
          {R"({"list":[1,2)", R"(,3]})"},
          {R"({"key":"value")", "}"}}) {
        const std::string padded = withStaleTail(text, stale);
        ASSERT_GE(padded.capacity() - padded.size(), 64u);
        JsonDocument document;
        EXPECT_FALSE(document.parse(padded)) << text;
        EXPECT_TRUE(document.root().empty()) << text;
    }
}

TEST(PaddedInput, SameResultWithAndWithoutRoom) {
    const std::string text = R"({"a":[{"b":"x\"y","c":18446744073709551615}],"d":-1e400})";
    JsonDocument tight;
    JsonDocument roomy;
    ASSERT_TRUE(tight.parse(text.data(), text.size()));
    ASSERT_TRUE(roomy.parse(withStaleTail(text, "garbage")));
    hnasjson::JsonArray a1;
    hnasjson::JsonArray a2;
    ASSERT_TRUE(tight.root().readArray("a", a1));
    ASSERT_TRUE(roomy.root().readArray("a", a2));
    hnasjson::JsonValue v1;
    hnasjson::JsonValue v2;
    ASSERT_TRUE(a1.first(v1));
    ASSERT_TRUE(a2.first(v2));
    hnasjson::JsonObject o1;
    hnasjson::JsonObject o2;
    ASSERT_TRUE(v1.toObject(o1));
    ASSERT_TRUE(v2.toObject(o2));
    std::string b1;
    std::string b2;
    EXPECT_TRUE(o1.readString("b", b1));
    EXPECT_TRUE(o2.readString("b", b2));
    EXPECT_EQ(b1, b2);
    unsigned long long c1 = 0;
    unsigned long long c2 = 0;
    EXPECT_TRUE(o1.readUInt64("c", c1));
    EXPECT_TRUE(o2.readUInt64("c", c2));
    EXPECT_EQ(c1, c2);
}

} // namespace
