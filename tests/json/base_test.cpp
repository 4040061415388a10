// The parse frame shared by every reader, and the error document.

#include <pthread.h>

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

TEST(MessageBase, ErrorDocumentRequiresEveryKey) {
    Message message(kJob);
    unsigned long long code = 5;
    std::string text = "x";
    message.getError(code, text);
    EXPECT_EQ(std::to_string(code) + text, "0");
    std::string doc = R"({"errorCode":404,"errorMsg":"A","errorDetail":{"reason":"B"}})";
    ASSERT_TRUE(message.parseErrorResponse(doc));
    for (std::string bad : {R"({"errorMsg":"M","errorDetail":{"reason":"R"}})",
                            R"({"errorCode":"2","errorMsg":"M","errorDetail":{"reason":"R"}})",
                            R"({"errorCode":2,"errorMsg":3,"errorDetail":{"reason":"R"}})",
                            R"({"errorCode":2,"errorMsg":"M","errorDetail":"R"})",
                            R"({"errorCode":2,"errorMsg":"M","errorDetail":{}})"}) {
        EXPECT_FALSE(message.parseErrorResponse(bad)) << bad;
    }
    message.getError(code, text);
    EXPECT_EQ(std::to_string(code) + text, "404A(B).");
}

// Runs `work` on a thread with a 128 KiB stack, the least a host thread may have.
template <typename Work> void onSmallStack(Work work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 128 * 1024), 0);
    pthread_t thread;
    const auto run = [](void* w) -> void* {
        (*static_cast<Work*>(w))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &work), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// A text is refused as a whole, with the parse error line, when it is not
// valid JSON anywhere: in members no reader looks at, after a required key
// is found missing, after the root, and nested deeper than 64 levels (on a
// small stack too). Valid numbers beyond the parser's range are accepted.
// Log lines carry at most 64 KiB of the text, with the bytes that could
// forge or hide a line written as \xNN.
TEST(MessageBase, FrameRefusesInvalidTextsAnywhere) {
    const std::string deep = std::string(63, '[') + std::string(63, ']');
    const std::string deeper = "[" + deep + "]";
    const std::string thousand = std::string(1000, '[') + std::string(1000, ']');
    const std::string big(70000, 'x');
    const struct {
        std::string text;
        bool valid;
        std::string shown = {}; // in the log lines; empty: the text as it is
    } cases[] = {
        {"{}", false},
        {"[]", false},
        {"{\"snapshots\":[]", false},
        {R"({"snapshots":[]} x)", false},
        {R"({"snapshots":[]}})", false},
        {R"({"snapshots":[],"x":[1,2:3]})", false},
        {R"({"snapshots":[],"x":"\q"})", false},
        {R"({"snapshots":[],"x":tru})", false},
        {R"({"snapshots":[],"x":01})", false},
        {R"({"snapshots":[{"x":1}],"y":[1 2]})", false},
        {R"({"snapshots":[],"x":)" + deeper + "}", false},
        {R"({"snapshots":[],"x":)" + thousand + "}", false},
        {"{\"snapshots\":[],\"x\":\"\x1b[2J\r\n0 fake line\"}", false,
         R"({"snapshots":[],"x":"\x1B[2J\x0D\x0A0 fake line"})"},
        {"{\"snapshots\":[],\"x\":\"\xc2\x9b"
         "31m \xff\xc3 \xc3\xa9\xe6\x97\xa5\x7f\"}\r\n",
         false,
         R"({"snapshots":[],"x":"\xC2\x9B31m \xFF\xC3 )"
         "\xc3\xa9\xe6\x97\xa5"
         R"(\x7F"}\x0D\x0A)"},
        {big, false},
        {R"({"snapshots":[],"x":)" + deep + "}", true},
        {R"({"snapshots":[],"x":[1e400,-1e400,18446744073709551616,1e-99999999999999999999,)"
         R"("\u00e9",null,true,{"\u0061":"\"\\"}]} )",
         true}};
    hnastest::CaptureLog log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        log->clear();
        HNASJSONGetFileSystemSnapshots message(kJob);
        std::string text = c.text;
        bool parsed = !c.valid;
        onSmallStack([&] { parsed = message.parseResponse(text); });
        EXPECT_EQ(parsed, c.valid);
        const std::string shown = !c.shown.empty() ? c.shown
                                  : c.text.size() <= 65536
                                      ? c.text
                                      : c.text.substr(0, 65536) + "... [4464 bytes left out]";
        ASSERT_EQ(log->records().size(), c.valid ? 1u : 2u);
        EXPECT_EQ(log->records()[0].text, "Parsing JSON response [" + shown + "]");
        EXPECT_TRUE(c.valid ||
                    log.logged("HNASJSONGetFileSystemSnapshots::parseResponse", -1,
                               "Error when parsing the JSON response [" + shown + "]", kJob));
    }
    log->clear();
    std::string empty;
    EXPECT_FALSE(Message(kJob).parseErrorResponse(empty));
    EXPECT_TRUE(log.logged("HNASJsonBase::parseErrorResponse", -1, "Empty JSON response", kJob));
}

} // namespace
