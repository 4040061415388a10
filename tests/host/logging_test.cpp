// Tests of the host logging stand-in: DbgTrace, the global writer and StreamLogWriter.

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"

namespace {

// Records what DbgTrace hands to the host's writer.
class CountingWriter : public CLogWriterInterface {
public:
    explicit CountingWriter(int level) : level_(level) {}
    int GetLevel() const override { return level_; }
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override {
        va_list args;
        va_start(args, format);
        lines.push_back(std::to_string(level) + "|" + function + "|" + std::to_string(line) + "|" +
                        std::to_string(jobId) + "|" + std::to_string(flags) + "|" + format + "|" +
                        hnasFormatV(format, args));
        va_end(args);
    }
    int level_;
    std::vector<std::string> lines;
};

// Runs `write` with a StreamLogWriter on a fresh file installed; returns the file's lines.
template <class Write> std::vector<std::string> streamLines(Write write) {
    char name[] = "/tmp/hnaslogtestXXXXXX";
    close(mkstemp(name));
    {
        auto writer = boost::make_shared<StreamLogWriter>(5, name);
        SetLogWriter(writer);
        write(*writer);
        SetLogWriter(nullptr);
    }
    std::ifstream in(name, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::remove(name);
    return lines;
}

} // namespace

// A line at or below the writer's level is formatted once, exactly (texts of
// any length, a '%' in an argument kept), and handed over as "%s" with line 0
// and flags 0; a line above it is dropped without being formatted; no writer
// drops everything.
TEST(DbgTrace, LinesAtOrBelowTheLevelReachTheWriterPreformatted) {
    auto writer = boost::make_shared<CountingWriter>(0);
    SetLogWriter(writer);
    EXPECT_EQ(GetLogWriter(), writer);
    const std::string big(5 * 1024 * 1024 + 17, 'a'), q1023(1023, 'q'), q1024(1024, 'q');
    const std::string* texts[] = {&big, &q1023, &q1024}; // around the formatter's buffer
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", -1, 42LL, "error %d", 1);
    dbg.DebugLvl("CIFS::fn", 0, "no job %s", "here"); // the overload without a job passes 0
    dbg.DebugLvl("Cls::fn", 0, 0x7fffffffffff1234LL, "[%s]%s", "100%s %d %n", "");
    dbg.DebugLvl("Cls::fn", 5, 1LL, "Response[%s]", "dropped");
    dbg.DebugLvl("Cls::fn", 1, "wire detail %s", "dropped");
    for (const std::string* text : texts)
        dbg.DebugLvl("Cls::fn", -1, 7LL, "%s", text->c_str());
    SetLogWriter(nullptr);
    dbg.DebugLvl("Cls::fn", -1, 1LL, "nobody listens %s", "here");
    ASSERT_EQ(writer->lines.size(), 6u);
    EXPECT_EQ(
        std::vector<std::string>(writer->lines.begin(), writer->lines.begin() + 3),
        (std::vector<std::string>{"-1|Cls::fn|0|42|0|%s|error 1", "0|CIFS::fn|0|0|0|%s|no job here",
                                  "0|Cls::fn|0|9223372036854714932|0|%s|[100%s %d %n]"}));
    for (size_t i = 0; i < 3; ++i) // (EXPECT_TRUE: no dump of 5 MiB on a failure)
        EXPECT_TRUE(writer->lines[3 + i] == "-1|Cls::fn|0|7|0|%s|" + *texts[i]);
}

TEST(StreamLogWriter, OneLinePerRecordWithEscapes) {
    const auto lines = streamLines([](StreamLogWriter& writer) {
        DbgTrace dbg;
        dbg.DebugLvl("Cls::fn", -1, 4711LL, "line1\nline2\r\ttab\x01\x7f back\\slash [%s]", "");
        dbg.DebugLvl("Cls::other", 0, "second record");
        dbg.DebugLvl("Cls::other", 5, 1LL, "level 5 <= 5");
        writer.SetLevel(0);
        dbg.DebugLvl("Cls::other", 4, 1LL, "dropped");
    });
    ASSERT_EQ(lines.size(), 3u);
    const std::string& first = lines[0];
    ASSERT_GE(first.size(), 24u); // UTC timestamp: YYYY-MM-DDTHH:MM:SS.mmmZ
    EXPECT_EQ(std::string() + first[4] + first[10] + first[19] + first[23], "-T.Z") << first;
    for (const char* part :
         {"L-1", "job=4711", "Cls::fn", "line1\\nline2\\r\\ttab\\x01\\x7F back\\\\slash []"})
        EXPECT_NE(first.find(part), std::string::npos) << part << " not in " << first;
    EXPECT_NE(lines[1].find("job=0"), std::string::npos);
    EXPECT_NE(lines[2].find("L5"), std::string::npos);

    testing::internal::CaptureStderr(); // an unopenable file falls back to stderr
    StreamLogWriter(0, "/nonexistent-dir/x/y.log").Write(0, "Cls::fn", 0, 1, 0, "%s", "to stderr");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("to stderr"), std::string::npos);
}

// Lines of many threads stay whole, while another thread replaces the writer.
TEST(StreamLogWriter, ManyThreadsKeepLinesWhole) {
    const int kThreads = 8, kLines = 500;
    const auto lines = streamLines([&](StreamLogWriter&) {
        const auto writer = GetLogWriter();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                DbgTrace dbg;
                const std::string payload(200, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i)
                    dbg.DebugLvl("T::run", (i % 2) ? 0 : -1, static_cast<long long>(t), "%s",
                                 payload.c_str());
            });
        for (int i = 0; i < 1000; ++i) // the same writer, stored again and again
            SetLogWriter(writer);
        for (auto& th : threads)
            th.join();
    });
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        const std::string text = line.substr(line.rfind(": ") + 2);
        ASSERT_EQ(text.size(), 200u);
        EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos);
    }
}
