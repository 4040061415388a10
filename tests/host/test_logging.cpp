// Tests of the host logging stand-in: DbgTrace, StreamLogWriter, CapturingLogWriter.

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
#include "support/CaptureLog.h"

namespace {

// Records what DbgTrace hands to the host's writer, and how often the level is asked.
class CountingWriter : public CLogWriterInterface {
public:
    explicit CountingWriter(int level) : level_(level) {}
    int GetLevel() const override { return ++levelCalls, level_; }
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
    mutable int levelCalls = 0;
    std::vector<std::string> lines;
};

struct WriterSwap {
    explicit WriterSwap(boost::shared_ptr<CLogWriterInterface> w) : previous(GetLogWriter()) {
        SetLogWriter(std::move(w));
    }
    ~WriterSwap() { SetLogWriter(previous); }
    boost::shared_ptr<CLogWriterInterface> previous;
};

// Runs `write` against a StreamLogWriter on a fresh file and returns the file's lines.
template <class Write> std::vector<std::string> streamLines(Write write) {
    char name[] = "/tmp/hnaslogtestXXXXXX";
    close(mkstemp(name));
    {
        auto writer = boost::make_shared<StreamLogWriter>(5, name);
        WriterSwap swap(writer);
        write(*writer);
    }
    std::ifstream in(name, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::remove(name);
    return lines;
}

} // namespace

// A line at or below the writer's level is formatted once and handed over
// as "%s" with line 0 and flags 0; a line above it is dropped without being
// formatted (only the level is asked); no writer drops everything.
TEST(DbgTrace, LinesAtOrBelowTheLevelReachTheWriterPreformatted) {
    auto writer = boost::make_shared<CountingWriter>(0);
    WriterSwap swap(writer);
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", -1, 42LL, "error %d", 1);
    dbg.DebugLvl("CIFS::fn", 0, "no job %s", "here"); // the overload without a job passes 0
    dbg.DebugLvl("Cls::fn", 0, -123456LL, "x");
    dbg.DebugLvl("Cls::fn", 0, 0x7fffffffffff1234LL, "y");
    dbg.DebugLvl("Cls::fn", 5, 1LL, "Response[%s]", "dropped");
    dbg.DebugLvl("Cls::fn", 1, "wire detail %s", "dropped");
    EXPECT_EQ(writer->lines, (std::vector<std::string>{"-1|Cls::fn|0|42|0|%s|error 1",
                                                       "0|CIFS::fn|0|0|0|%s|no job here",
                                                       "0|Cls::fn|0|-123456|0|%s|x",
                                                       "0|Cls::fn|0|9223372036854714932|0|%s|y"}));
    EXPECT_EQ(writer->levelCalls, 6);

    SetLogWriter(nullptr);
    EXPECT_EQ(g_ptrLogWriter, nullptr);
    dbg.DebugLvl("Cls::fn", -1, 1LL, "nobody listens %s", "here");
    dbg.DebugLvl("Cls::fn", -1, "nobody listens either");
}

TEST(DbgTrace, TextsAreFormattedExactly) {
    hnastest::CaptureLog log(5);
    std::string big(5 * 1024 * 1024 + 17, 'a');
    for (size_t i = 0; i < big.size(); i += 997)
        big[i] = static_cast<char>('A' + (i % 26));
    const std::string z3000(3000, 'z'), q1023(1023, 'q'), q1024(1024, 'q');
    struct Case {
        const char* format;
        std::string argument, expected;
    };
    const Case cases[] = {
        {"Response[%s]", big, "Response[" + big + "]"},
        {"Body[%s]", "", "Body[]"},
        {"[%s]", "100%s %d %n", "[100%s %d %n]"}, // not reinterpreted
        {"<%s>", z3000, "<" + z3000 + ">"},
        {"%s", q1023, q1023}, // fills a 1024-byte buffer but the NUL
        {"%s", q1024, q1024},
        {"%s-x", "", "-x"},
    };
    DbgTrace dbg;
    for (const Case& c : cases)
        dbg.DebugLvl("Cls::fn", -1, 9LL, c.format, c.argument.c_str());
    dbg.DebugLvl("Cls::fn", -1, 9LL, "%d-%s|%ld", 5, "x", static_cast<long>(-123456));
    const auto records = log->records();
    ASSERT_EQ(records.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_TRUE(records[i].text == cases[i].expected) << "case " << i;
    EXPECT_EQ(records[std::size(cases)].text, "5-x|-123456");
}

TEST(StreamLogWriter, OneLinePerRecordWithEscapes) {
    const auto lines = streamLines([](StreamLogWriter& writer) {
        DbgTrace dbg;
        dbg.DebugLvl("Cls::fn", -1, 4711LL, "line1\nline2\r\ttab\x01\x7f back\\slash [%s]", "");
        dbg.DebugLvl("Cls::other", 0, "second record");
        dbg.DebugLvl("Cls::other", 5, 1LL, "level 5 <= 5");
        writer.SetLevel(0);
        EXPECT_EQ(writer.GetLevel(), 0);
        dbg.DebugLvl("Cls::other", 4, 1LL, "dropped");
    });
    ASSERT_EQ(lines.size(), 3u);
    const std::string& first = lines[0];
    ASSERT_GE(first.size(), 24u); // UTC timestamp: YYYY-MM-DDTHH:MM:SS.mmmZ
    EXPECT_EQ(std::string() + first[4] + first[10] + first[19] + first[23], "-T.Z") << first;
    for (const char* part :
         {"L-1", "job=4711", "Cls::fn", "line1\\nline2\\r\\ttab\\x01\\x7F back\\\\slash []"})
        EXPECT_NE(first.find(part), std::string::npos) << part << " not in " << first;
    for (char c : first)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f);
    EXPECT_NE(lines[1].find("job=0"), std::string::npos);
    EXPECT_NE(lines[1].find("second record"), std::string::npos);
    EXPECT_NE(lines[2].find("L5"), std::string::npos);

    testing::internal::CaptureStderr(); // an unopenable file falls back to stderr
    StreamLogWriter(0, "/nonexistent-dir/x/y.log").Write(0, "Cls::fn", 0, 1, 0, "%s", "to stderr");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("to stderr"), std::string::npos);
}

TEST(LogWriters, ManyThreadsKeepLinesWholeAndRecordsComplete) {
    const int kThreads = 8, kLines = 500;
    auto run = [&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                DbgTrace dbg;
                const std::string payload(200, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i)
                    dbg.DebugLvl("T::run", (i % 2) ? 0 : -1, static_cast<long long>(t), "%s",
                                 payload.c_str());
            });
        }
        return threads;
    };
    const auto lines = streamLines([&](StreamLogWriter&) {
        for (auto& th : run())
            th.join();
    });
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        const std::string text = line.substr(line.rfind(": ") + 2);
        ASSERT_EQ(text.size(), 200u);
        EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos);
    }

    hnastest::CaptureLog log(0);
    auto threads = run();
    for (int i = 0; i < 50; ++i) // reading while writing is safe too
        (void)log->contains(std::string(200, 'a'));
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(log->records().size(), static_cast<size_t>(kThreads * kLines));
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(log->count(std::string(200, static_cast<char>('a' + t))),
                  static_cast<size_t>(kLines));
}
