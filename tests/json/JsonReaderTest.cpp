// The reading layer: root emptiness, typed access, number conversions, and a
// response string with room behind its text (as the REST session leaves it):
// whatever the spare bytes hold is never read as part of the document.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "json/JsonReader.h"
#include "json/JsonText.h"

using hnasjson::JsonArray;
using hnasjson::JsonDocument;
using hnasjson::JsonObject;
using hnasjson::JsonValue;

namespace {

TEST(JsonReader, RootIsEmptyUnlessTextIsAnObjectWithMembers) {
    for (const char* text : {"", "{}", " { } ", "[1,2]", "\"text\"", "42", "null", "{\"a\":1",
                             "{\"a\":1}}", "{\"a\":1} trailing", "{'a':1}", "{\"a\":01}"}) {
        JsonDocument document;
        EXPECT_FALSE(document.parse(std::string(text))) << text;
        EXPECT_TRUE(document.root().empty()) << text;
    }
    JsonDocument document;
    EXPECT_TRUE(document.parse(std::string(" \n{\"a\":null}\n")));
    EXPECT_FALSE(document.root().empty());
}

// Reads are typed; the first of duplicate keys counts, for lookup() as for
// the single reads; strings are decoded byte for byte.
TEST(JsonReader, KeysTypesAndStrings) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(
        std::string(R"({"b":1,"a":"x","a":"y","c":null,"ab":2,"s":"a\u0000b\\c\"d\u00e9\n"})")));
    const JsonObject& root = document.root();
    std::string s = "kept";
    unsigned long long u = 7;
    int i = 7;
    bool flag = false;
    EXPECT_FALSE(root.readString("c", s) || root.readString("b", s));
    EXPECT_FALSE(root.readUInt64("a", u) || root.readInt32("c", i) || root.readBool("b", flag));
    EXPECT_EQ(s + std::to_string(u + i), "kept14");
    ASSERT_TRUE(root.readString("s", s));
    EXPECT_EQ(s, std::string("a\0b\\c\"d\xc3\xa9\n", 10));
    static constexpr std::string_view keys[] = {"a", "b", "c", "d"};
    JsonValue values[4];
    EXPECT_EQ(root.lookup(keys, values, 4), 3u);
    std::string first;
    EXPECT_TRUE(root.readString("a", first) && values[0].toString(s) && values[1].toInt32(i));
    EXPECT_EQ(first + s + std::to_string(i), "xx1");
    EXPECT_TRUE(values[2].present());
    EXPECT_FALSE(values[2].toString(s));
    EXPECT_FALSE(values[3].present() || values[3].toInt32(i));
    JsonValue all[4];
    EXPECT_FALSE(root.lookupAll(keys, all));
}

TEST(JsonReader, NumberConversionsTruncateAndSaturate) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(std::string(
        R"({"u":[1.9,3.9,-1,9223372036854775808,18446744073709551615,18446744073709551616,1e400,)"
        R"(-0.5,-99999999999999999999999,1.8e19,4294967296],)"
        R"("i":[7.9,-1,-7.9,2147483647,2147483648,-2147483648,-2147483649,18446744073709551615,)"
        R"(-1e400,2147483647.9,-2147483648.9,3e9]})")));
    JsonArray array;
    ASSERT_TRUE(document.root().readArray("u", array));
    std::vector<unsigned long long> u;
    for (JsonValue value : array) {
        u.push_back(12345);
        EXPECT_TRUE(value.toUInt64(u.back()));
    }
    EXPECT_EQ(u, (std::vector<unsigned long long>{1, 3, 0, 9223372036854775808ull, ULLONG_MAX,
                                                  ULLONG_MAX, ULLONG_MAX, 0, 0,
                                                  18000000000000000000ull, 4294967296ull}));
    ASSERT_TRUE(document.root().readArray("i", array));
    std::vector<int> i;
    for (JsonValue value : array) {
        i.push_back(12345);
        EXPECT_TRUE(value.toInt32(i.back()));
    }
    EXPECT_EQ(i, (std::vector<int>{7, -1, -7, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MIN,
                                   INT_MAX, INT_MIN, INT_MAX}));
}

TEST(JsonReader, OutOfRangeRewriteLeavesStringsAndValidNumbersAlone) {
    const std::string text =
        R"({"s":"1e999 \" 99999999999999999999","n":[1e999,-1e999,99999999999999999999,)"
        R"(-9223372036854775809,-9223372036854775808,18446744073709551615,0.5e-999,1.5]})";
    EXPECT_EQ(hnasjson::saturateOutOfRangeNumbers(text.data(), text.size()),
              R"({"s":"1e999 \" 99999999999999999999","n":[1e300,-1e300,1e300,)"
              R"(-1e300,-9223372036854775808,18446744073709551615,0.5e-999,1.5]})");
    // Malformed numbers stay malformed.
    JsonDocument document;
    EXPECT_FALSE(document.parse(std::string(R"({"a":-,"b":1e999})")));
    EXPECT_FALSE(document.parse(std::string(R"({"a":00099999999999999999999})")));
}

TEST(JsonReader, ParserServesSmallAndNestedDocumentsAfterAHugeOne) {
    auto read = [](JsonDocument& document) {
        std::string s;
        EXPECT_TRUE(document.root().readString("k", s));
        return s;
    };
    {
        JsonDocument huge;
        ASSERT_TRUE(huge.parse("{\"k\":\"" + std::string(17u << 20, 'x') + "\"}"));
        EXPECT_EQ(read(huge).size(), 17u << 20);
    }
    JsonDocument outer;
    ASSERT_TRUE(outer.parse(std::string(R"({"k":"outer"})")));
    {
        JsonDocument inner;
        ASSERT_TRUE(inner.parse(std::string(R"({"k":"inner"})")));
        EXPECT_EQ(read(inner), "inner");
    }
    EXPECT_EQ(read(outer), "outer");
    JsonDocument again; // the shared parser is free again
    ASSERT_TRUE(again.parse(std::string(R"({"k":"again"})")));
    EXPECT_EQ(read(again), "again");
}

TEST(JsonText, StringContentAndNumber) {
    for (const char* ok : {"", "plain", "DOMAIN\\\\user", "q\\\"q", "\\/\\b\\f\\n\\r\\t",
                           "\\u00e9\\uABCD", "caf\xc3\xa9", "\x7f"}) {
        EXPECT_TRUE(hnasjson::isJsonStringContent(ok)) << ok;
    }
    for (const char* bad :
         {"\"", "a\"b", "\\", "a\\", "\\x", "\\u12", "\\u12G4", "tab\there", "\n", "\x1f"}) {
        EXPECT_FALSE(hnasjson::isJsonStringContent(bad)) << bad;
    }
    EXPECT_FALSE(hnasjson::isJsonStringContent(std::string("a\0b", 3)));
    for (const char* ok : {"0", "2", "-1", "123", "1.5", "-0.25e+10", "1E5"}) {
        EXPECT_TRUE(hnasjson::isJsonNumber(ok)) << ok;
    }
    for (const char* bad :
         {"", "-", "01", "1.", ".5", "1e", "+1", " 1", "1 ", "1,2", "0x10", "2, \"x\":1", "NaN"}) {
        EXPECT_FALSE(hnasjson::isJsonNumber(bad)) << bad;
    }
}

// `text`, followed in the string's spare capacity by `stale`.
std::string withStaleTail(const std::string& text, const std::string& stale) {
    std::string s = text + stale + std::string(128, ' ');
    s.resize(text.size());
    return s;
}

TEST(PaddedInput, SpareBytesAreNotPartOfTheDocument) {
    const std::string text =
        withStaleTail(R"({"key":"x\"y","c":18446744073709551615,"d":-1e400})", R"(,"extra":true})");
    ASSERT_GE(text.capacity() - text.size(), 64u);
    JsonDocument document;
    ASSERT_TRUE(document.parse(text));
    std::string value;
    unsigned long long c = 0;
    EXPECT_TRUE(document.root().readString("key", value) && document.root().readUInt64("c", c));
    EXPECT_EQ(value + std::to_string(c), "x\"y18446744073709551615");
    EXPECT_FALSE(document.root().hasString("extra"));

    // Truncated text is refused whatever follows it.
    for (const auto& [cut, stale] :
         {std::pair<std::string, std::string>{R"({"key":"val)", R"(ue"})"},
          {R"({"key":)", R"("value"})"},
          {R"({"list":[1,2)", R"(,3]})"},
          {R"({"key":"value")", "}"}}) {
        const std::string padded = withStaleTail(cut, stale);
        ASSERT_GE(padded.capacity() - padded.size(), 64u);
        JsonDocument truncated;
        EXPECT_FALSE(truncated.parse(padded)) << cut;
        EXPECT_TRUE(truncated.root().empty()) << cut;
    }
}

} // namespace
