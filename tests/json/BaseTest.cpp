// The parse frame shared by every reader, and the error document.

#include <gtest/gtest.h>

#include "hnasmgmt/json/HNASJSON.h"
#include "support/CaptureLog.h"

namespace {

const unsigned long long kJob = 77;

// The base is abstract and not deletable through itself: a minimal message.
class Message : public HNASJSONBase {
public:
    explicit Message(unsigned long long job) : HNASJSONBase(job) {}
    bool parseResponse(std::string&) override { return true; }
};

TEST(MessageBase, ErrorDocumentAndDefaults) {
    Message message(kJob);
    unsigned long long code = 5;
    std::string text = "x";
    message.getError(code, text);
    EXPECT_EQ(std::to_string(code) + text, "0");
    std::string body = "untouched";
    EXPECT_TRUE(message.buildRequest(body));
    EXPECT_EQ(body, "untouched");

    std::string doc =
        R"({"errorCode":404,"errorMsg":"Not found","errorDetail":{"reason":"no such share"}})";
    {
        hnastest::CaptureLog quiet(0); // the parsing line is not written above the level
        ASSERT_TRUE(message.parseErrorResponse(doc));
        EXPECT_TRUE(quiet->records().empty());
    }
    hnastest::CaptureLog log;
    ASSERT_TRUE(message.parseErrorResponse(doc));
    message.getError(code, text);
    EXPECT_EQ(code, 404u);
    EXPECT_EQ(text, "Not found(no such share).");
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_TRUE(log.logged("HNASJsonBase::parseErrorResponse", 4,
                           "Parsing JSON response [" + doc + "]", kJob));
}

TEST(MessageBase, ErrorDocumentRequiresEveryKey) {
    Message message(kJob);
    std::string first = R"({"errorCode":1,"errorMsg":"A","errorDetail":{"reason":"B"}})";
    ASSERT_TRUE(message.parseErrorResponse(first));
    for (std::string doc : {
             R"({"errorMsg":"M","errorDetail":{"reason":"R"}})",
             R"({"errorCode":"2","errorMsg":"M","errorDetail":{"reason":"R"}})",
             R"({"errorCode":2,"errorDetail":{"reason":"R"}})",
             R"({"errorCode":2,"errorMsg":3,"errorDetail":{"reason":"R"}})",
             R"({"errorCode":2,"errorMsg":"M"})",
             R"({"errorCode":2,"errorMsg":"M","errorDetail":"R"})",
             R"({"errorCode":2,"errorMsg":"M","errorDetail":{}})",
             R"({"errorCode":2,"errorMsg":"M","errorDetail":{"reason":null}})",
         }) {
        EXPECT_FALSE(message.parseErrorResponse(doc)) << doc;
        unsigned long long code = 0;
        std::string text;
        message.getError(code, text);
        EXPECT_EQ(std::to_string(code) + text, "1A(B).") << doc;
    }
}

TEST(MessageBase, FrameRefusesEmptyAndUnreadableTexts) {
    hnastest::CaptureLog log;
    Message message(kJob);
    std::string empty;
    EXPECT_FALSE(message.parseErrorResponse(empty));
    ASSERT_EQ(log->records().size(), 1u);
    EXPECT_TRUE(log->contains("Empty JSON response", -1));

    for (std::string text : {"{}", "[]", "not json", "{\"errorCode\":4", "\"s\""}) {
        log->clear();
        EXPECT_FALSE(message.parseErrorResponse(text));
        ASSERT_EQ(log->records().size(), 2u) << text;
        EXPECT_EQ(log->records()[0].text, "Parsing JSON response [" + text + "]");
        EXPECT_TRUE(log.logged("HNASJsonBase::parseErrorResponse", -1,
                               "Error when parsing the JSON response [" + text + "]", kJob));
    }
}

} // namespace
