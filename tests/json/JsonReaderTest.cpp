// The reading layer: root emptiness, typed access, number conversions.

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

TEST(JsonReader, PresenceTestsAndReadsAreTyped) {
    JsonDocument document;
    ASSERT_TRUE(
        document.parse(std::string(R"({"s":"x","n":1,"b":true,"a":[],"o":{},"z":null,"f":1.5})")));
    const JsonObject& root = document.root();
    EXPECT_TRUE(root.hasString("s"));
    EXPECT_FALSE(root.hasString("n"));
    EXPECT_FALSE(root.hasString("missing"));
    EXPECT_TRUE(root.hasArray("a"));
    EXPECT_FALSE(root.hasArray("o"));
    EXPECT_TRUE(root.hasObject("o"));
    EXPECT_FALSE(root.hasObject("a"));

    std::string s = "kept";
    EXPECT_FALSE(root.readString("n", s));
    EXPECT_FALSE(root.readString("z", s));
    EXPECT_EQ(s, "kept");
    bool b = false;
    EXPECT_FALSE(root.readBool("n", b));
    EXPECT_TRUE(root.readBool("b", b));
    EXPECT_TRUE(b);
    unsigned long long u = 7;
    EXPECT_FALSE(root.readUInt64("s", u));
    EXPECT_FALSE(root.readUInt64("b", u));
    EXPECT_EQ(u, 7u);
    int i = 7;
    EXPECT_FALSE(root.readInt32("z", i));
    EXPECT_TRUE(root.readInt32("f", i));
    EXPECT_EQ(i, 1);
    JsonObject o;
    JsonArray a;
    EXPECT_FALSE(root.readObject("a", o));
    EXPECT_FALSE(root.readArray("o", a));
    EXPECT_TRUE(root.readObject("o", o));
    EXPECT_TRUE(o.empty());
}

TEST(JsonReader, StringsAreDecodedByteForByte) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(std::string(R"({"s":"a\u0000b\\c\"d\u00e9\n"})")));
    std::string s;
    ASSERT_TRUE(document.root().readString("s", s));
    EXPECT_EQ(s, std::string("a\0b\\c\"d\xc3\xa9\n", 10));
}

TEST(JsonReader, FirstOfDuplicateKeysCounts) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(std::string(R"({"k":"first","k":"second"})")));
    std::string s;
    ASSERT_TRUE(document.root().readString("k", s));
    EXPECT_EQ(s, "first");
}

TEST(JsonReader, LookupFindsSeveralKeysInOnePass) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(std::string(R"({"b":1,"a":"x","a":"y","c":null,"ab":2})")));
    static constexpr std::string_view keys[] = {"a", "b", "c", "d"};
    JsonValue values[4];
    EXPECT_EQ(document.root().lookup(keys, values, 4), 3u);
    std::string a;
    ASSERT_TRUE(values[0].toString(a));
    EXPECT_EQ(a, "x"); // first of duplicate keys, as find()
    int b = 0;
    EXPECT_TRUE(values[1].toInt32(b));
    EXPECT_EQ(b, 1);
    EXPECT_TRUE(values[2].present());
    EXPECT_FALSE(values[2].toString(a));
    EXPECT_FALSE(values[3].present());
    EXPECT_FALSE(values[3].toInt32(b));
    JsonValue all[4];
    EXPECT_FALSE(document.root().lookupAll(keys, all));
}

TEST(JsonReader, UnsignedConversionTruncatesAndSaturates) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(
        std::string(R"({"a":1.9,"b":3.9,"c":-1,"d":9223372036854775808,"e":18446744073709551615,)"
                    R"("f":18446744073709551616,"g":1e400,"h":-0.5,"i":-99999999999999999999999,)"
                    R"("j":1.8e19,"k":4294967296})")));
    const JsonObject& root = document.root();
    auto read = [&](const char* key) {
        unsigned long long value = 12345;
        EXPECT_TRUE(root.readUInt64(key, value)) << key;
        return value;
    };
    EXPECT_EQ(read("a"), 1u);
    EXPECT_EQ(read("b"), 3u);
    EXPECT_EQ(read("c"), 0u);
    EXPECT_EQ(read("d"), 9223372036854775808ull);
    EXPECT_EQ(read("e"), ULLONG_MAX);
    EXPECT_EQ(read("f"), ULLONG_MAX);
    EXPECT_EQ(read("g"), ULLONG_MAX);
    EXPECT_EQ(read("h"), 0u);
    EXPECT_EQ(read("i"), 0u);
    EXPECT_EQ(read("j"), 18000000000000000000ull);
    EXPECT_EQ(read("k"), 4294967296ull);
}

TEST(JsonReader, Int32ConversionTruncatesAndSaturates) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(
        std::string(R"({"a":7.9,"b":-1,"c":-7.9,"d":2147483647,"e":2147483648,"f":-2147483648,)"
                    R"("g":-2147483649,"h":18446744073709551615,"i":-1e400,"j":2147483647.9,)"
                    R"("k":-2147483648.9,"l":3e9})")));
    const JsonObject& root = document.root();
    auto read = [&](const char* key) {
        int value = 12345;
        EXPECT_TRUE(root.readInt32(key, value)) << key;
        return value;
    };
    EXPECT_EQ(read("a"), 7);
    EXPECT_EQ(read("b"), -1);
    EXPECT_EQ(read("c"), -7);
    EXPECT_EQ(read("d"), INT_MAX);
    EXPECT_EQ(read("e"), INT_MAX);
    EXPECT_EQ(read("f"), INT_MIN);
    EXPECT_EQ(read("g"), INT_MIN);
    EXPECT_EQ(read("h"), INT_MAX);
    EXPECT_EQ(read("i"), INT_MIN);
    EXPECT_EQ(read("j"), INT_MAX);
    EXPECT_EQ(read("k"), INT_MIN);
    EXPECT_EQ(read("l"), INT_MAX);
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

TEST(JsonReader, ArraysIterateInOrder) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(std::string(R"({"a":["x",1,"z"],"e":[]})")));
    JsonArray array;
    ASSERT_TRUE(document.root().readArray("a", array));
    EXPECT_EQ(array.size(), 3u);
    std::string joined;
    for (JsonValue value : array) {
        std::string s;
        joined += value.toString(s) ? s : "#";
    }
    EXPECT_EQ(joined, "x#z");
    JsonArray empty;
    ASSERT_TRUE(document.root().readArray("e", empty));
    JsonValue first;
    EXPECT_FALSE(empty.first(first));
    EXPECT_EQ(empty.size(), 0u);

    const JsonArray absent; // as left by a failed read
    EXPECT_TRUE(absent.empty());
    EXPECT_EQ(absent.size(), 0u);
    for (JsonValue value : absent) {
        ADD_FAILURE() << value.present();
    }
}

TEST(JsonReader, NestedDocumentsOnOneThreadStayIndependent) {
    JsonDocument outer;
    ASSERT_TRUE(outer.parse(std::string(R"({"k":"outer"})")));
    {
        JsonDocument inner;
        ASSERT_TRUE(inner.parse(std::string(R"({"k":"inner"})")));
        std::string s;
        ASSERT_TRUE(inner.root().readString("k", s));
        EXPECT_EQ(s, "inner");
    }
    std::string s;
    ASSERT_TRUE(outer.root().readString("k", s));
    EXPECT_EQ(s, "outer");
    JsonDocument again; // the shared parser is free again
    ASSERT_TRUE(again.parse(std::string(R"({"k":"again"})")));
}

TEST(JsonReader, ParserServesSmallDocumentsAfterAHugeOne) {
    const std::string big = "{\"k\":\"" + std::string(17u * 1024u * 1024u, 'x') + "\"}";
    {
        JsonDocument document;
        ASSERT_TRUE(document.parse(big));
        std::string s;
        ASSERT_TRUE(document.root().readString("k", s));
        EXPECT_EQ(s.size(), 17u * 1024u * 1024u);
    }
    JsonDocument document;
    ASSERT_TRUE(document.parse(std::string(R"({"k":"small"})")));
    std::string s;
    ASSERT_TRUE(document.root().readString("k", s));
    EXPECT_EQ(s, "small");
}

TEST(JsonText, StringContent) {
    for (const char* ok : {"", "plain", "DOMAIN\\\\user", "q\\\"q", "\\/\\b\\f\\n\\r\\t",
                           "\\u00e9\\uABCD", "caf\xc3\xa9", "\x7f"}) {
        EXPECT_TRUE(hnasjson::isJsonStringContent(ok)) << ok;
    }
    for (const char* bad :
         {"\"", "a\"b", "\\", "a\\", "\\x", "\\u12", "\\u12G4", "tab\there", "\n", "\x1f"}) {
        EXPECT_FALSE(hnasjson::isJsonStringContent(bad)) << bad;
    }
    EXPECT_FALSE(hnasjson::isJsonStringContent(std::string("a\0b", 3)));
}

TEST(JsonText, Number) {
    for (const char* ok : {"0", "2", "-1", "123", "1.5", "-0.25e+10", "1E5"}) {
        EXPECT_TRUE(hnasjson::isJsonNumber(ok)) << ok;
    }
    for (const char* bad :
         {"", "-", "01", "1.", ".5", "1e", "+1", " 1", "1 ", "1,2", "0x10", "2, \"x\":1", "NaN"}) {
        EXPECT_FALSE(hnasjson::isJsonNumber(bad)) << bad;
    }
}

} // namespace
