// Tests of the host logging stand-in: DbgTrace, StreamLogWriter, CapturingLogWriter.

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"
#include "support/CaptureLog.h"

namespace {

// Counts how often an argument is formatted: a "%s" argument whose text is
// produced by a call we can observe is not possible with printf, so this
// writer counts Write calls and the filter test checks that an above-level
// line never reaches Write.
class CountingWriter : public CLogWriterInterface {
public:
    explicit CountingWriter(int level) : level_(level) {}
    int GetLevel() const override {
        ++levelCalls;
        return level_;
    }
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override {
        ++writes;
        lastLevel = level;
        lastFunction = function;
        lastLine = line;
        lastJob = jobId;
        lastFlags = flags;
        lastFormat = format;
        va_list args;
        va_start(args, format);
        lastText = hnasFormatV(format, args);
        va_end(args);
    }
    int level_;
    mutable int levelCalls = 0;
    int writes = 0;
    int lastLevel = 0;
    std::string lastFunction;
    int lastLine = -1;
    long long lastJob = -1;
    int lastFlags = -1;
    std::string lastFormat;
    std::string lastText;
};

struct WriterSwap {
    explicit WriterSwap(boost::shared_ptr<CLogWriterInterface> w) : previous(g_ptrLogWriter) {
        g_ptrLogWriter = std::move(w);
    }
    ~WriterSwap() { g_ptrLogWriter = previous; }
    boost::shared_ptr<CLogWriterInterface> previous;
};

std::string tempPath() {
    char name[] = "/tmp/hnaslogtestXXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
        close(fd);
    }
    return name;
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(DbgTrace, LineAtOrBelowLevelIsWrittenOnceAboveIsDropped) {
    auto writer = boost::make_shared<CountingWriter>(0);
    WriterSwap swap(writer);
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", -1, 42LL, "error %d", 1);
    EXPECT_EQ(writer->writes, 1);
    EXPECT_EQ(writer->lastLevel, -1);
    EXPECT_EQ(writer->lastFunction, "Cls::fn");
    EXPECT_EQ(writer->lastJob, 42);
    EXPECT_EQ(writer->lastLine, 0);
    EXPECT_EQ(writer->lastFlags, 0);
    EXPECT_EQ(writer->lastFormat, "%s");
    EXPECT_EQ(writer->lastText, "error 1");

    dbg.DebugLvl("Cls::fn", 0, 43LL, "milestone");
    EXPECT_EQ(writer->writes, 2);
    EXPECT_EQ(writer->lastText, "milestone");

    dbg.DebugLvl("Cls::fn", 4, 44LL, "wire detail %s", "x");
    dbg.DebugLvl("Cls::fn", 5, 45LL, "dump");
    EXPECT_EQ(writer->writes, 2);
}

TEST(DbgTrace, NullWriterDropsEverything) {
    WriterSwap swap(nullptr);
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", -1, 1LL, "nobody listens %s", "here");
    dbg.DebugLvl("Cls::fn", -1, "nobody listens either");
    SUCCEED();
}

TEST(DbgTrace, OverloadWithoutJobPassesZero) {
    auto writer = boost::make_shared<CountingWriter>(5);
    WriterSwap swap(writer);
    DbgTrace dbg;
    dbg.DebugLvl("CIFS::fn", -1, "no job %s", "here");
    EXPECT_EQ(writer->writes, 1);
    EXPECT_EQ(writer->lastJob, 0);
    EXPECT_EQ(writer->lastText, "no job here");
}

TEST(DbgTrace, LargeJobIdentifierKept) {
    hnastest::CaptureLog log(5);
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", 0, static_cast<long long>(-123456LL), "x");
    const long long big = 0x7fffffffffff1234LL;
    dbg.DebugLvl("Cls::fn", 0, big, "y");
    auto records = log->records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].jobId, -123456LL);
    EXPECT_EQ(records[1].jobId, big);
}

TEST(DbgTrace, MultiMegabyteTextIntact) {
    hnastest::CaptureLog log(5);
    std::string big(5 * 1024 * 1024 + 17, 'a');
    for (size_t i = 0; i < big.size(); i += 997) {
        big[i] = static_cast<char>('A' + (i % 26));
    }
    DbgTrace dbg;
    dbg.DebugLvl("HNASRestAPI::sendReq", 5, 7LL, "Response[%s]", big.c_str());
    auto records = log->records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text.size(), big.size() + 10);
    EXPECT_EQ(records[0].text, "Response[" + big + "]");
}

TEST(DbgTrace, EmptyStringArgumentLeavesBracketsEmpty) {
    hnastest::CaptureLog log(5);
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", -1, 9LL, "Body[%s]", "");
    EXPECT_TRUE(log->contains("Body[]", -1));
    EXPECT_EQ(log->count("Body[]"), 1u);
}

TEST(DbgTrace, PercentInArgumentIsNotReinterpreted) {
    hnastest::CaptureLog log(5);
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", -1, 9LL, "[%s]", "100%s %d %n");
    EXPECT_TRUE(log->contains("[100%s %d %n]"));
}

TEST(DbgTrace, DroppedLinesAreNotFormatted) {
    // 200 lines of a 32 MB argument: formatting them would copy 6.4 GB.
    auto writer = boost::make_shared<CountingWriter>(0);
    WriterSwap swap(writer);
    const std::string huge(32u << 20, 'x');
    DbgTrace dbg;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
        dbg.DebugLvl("Cls::fn", 5, 1LL, "Response[%s]", huge.c_str());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(writer->writes, 0);
    EXPECT_EQ(writer->levelCalls, 200);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 500);
}

TEST(HnasFormatV, ShortAndLong) {
    auto fmt = [](const char* f, ...) {
        va_list a;
        va_start(a, f);
        std::string s = hnasFormatV(f, a);
        va_end(a);
        return s;
    };
    EXPECT_EQ(fmt("%d-%s", 5, "x"), "5-x");
    EXPECT_EQ(fmt(""), "");
    std::string long1(3000, 'z');
    EXPECT_EQ(fmt("<%s>", long1.c_str()), "<" + long1 + ">");
    std::string exact(1023, 'q'); // exactly fills the stack buffer but the NUL
    EXPECT_EQ(fmt("%s", exact.c_str()), exact);
    std::string exact2(1024, 'q');
    EXPECT_EQ(fmt("%s", exact2.c_str()), exact2);
    EXPECT_EQ(fmt("%ld", static_cast<long>(-123456)), "-123456");
}

TEST(StreamLogWriter, OneLinePerRecordWithEscapes) {
    const std::string path = tempPath();
    {
        auto writer = boost::make_shared<StreamLogWriter>(5, path);
        WriterSwap swap(writer);
        DbgTrace dbg;
        dbg.DebugLvl("Cls::fn", -1, 4711LL, "line1\nline2\r\ttab\x01\x7f back\\slash [%s]", "");
        dbg.DebugLvl("Cls::other", 0, "second record");
        dbg.DebugLvl("Cls::other", 5, 1LL, "dropped? no, level 5 <= 5");
        writer->SetLevel(0);
        EXPECT_EQ(writer->GetLevel(), 0);
        dbg.DebugLvl("Cls::other", 4, 1LL, "dropped");
    }
    const auto lines = readLines(path);
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), 3u);
    const std::string& first = lines[0];
    // UTC timestamp: YYYY-MM-DDTHH:MM:SS.mmmZ
    ASSERT_GE(first.size(), 24u);
    EXPECT_EQ(first[4], '-');
    EXPECT_EQ(first[10], 'T');
    EXPECT_EQ(first[19], '.');
    EXPECT_EQ(first[23], 'Z');
    EXPECT_NE(first.find("L-1"), std::string::npos);
    EXPECT_NE(first.find("job=4711"), std::string::npos);
    EXPECT_NE(first.find("Cls::fn"), std::string::npos);
    EXPECT_NE(first.find("line1\\nline2\\r\\ttab\\x01\\x7F back\\\\slash []"), std::string::npos)
        << first;
    for (char c : first) {
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f);
    }
    EXPECT_NE(lines[1].find("job=0"), std::string::npos);
    EXPECT_NE(lines[1].find("second record"), std::string::npos);
    EXPECT_NE(lines[2].find("L5"), std::string::npos);
}

TEST(StreamLogWriter, ManyThreadsKeepLinesWhole) {
    const std::string path = tempPath();
    const int kThreads = 8, kLines = 500;
    {
        auto writer = boost::make_shared<StreamLogWriter>(5, path);
        WriterSwap swap(writer);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                DbgTrace dbg;
                const std::string payload(200, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i) {
                    dbg.DebugLvl("T::run", 0, static_cast<long long>(t), "%s", payload.c_str());
                }
            });
        }
        for (auto& th : threads) {
            th.join();
        }
    }
    const auto lines = readLines(path);
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        const size_t colon = line.rfind(": ");
        ASSERT_NE(colon, std::string::npos);
        const std::string text = line.substr(colon + 2);
        ASSERT_EQ(text.size(), 200u);
        EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos);
    }
}

TEST(StreamLogWriter, UnopenableFileFallsBackToStderr) {
    StreamLogWriter writer(0, "/nonexistent-dir/x/y.log");
    writer.Write(0, "Cls::fn", 0, 1, 0, "%s", "to stderr");
    SUCCEED();
}

TEST(CapturingLogWriter, SeveralThreads) {
    auto writer = boost::make_shared<CapturingLogWriter>(5);
    WriterSwap swap(writer);
    const int kThreads = 8, kLines = 1000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            DbgTrace dbg;
            for (int i = 0; i < kLines; ++i) {
                dbg.DebugLvl("T::run", (i % 2) ? 0 : -1, static_cast<long long>(t), "thread %d", t);
            }
        });
    }
    // Reading while writing is safe too.
    for (int i = 0; i < 50; ++i) {
        (void)writer->records();
        (void)writer->contains("thread 0");
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(writer->records().size(), static_cast<size_t>(kThreads * kLines));
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(writer->count("thread " + std::to_string(t)), static_cast<size_t>(kLines));
    }
    EXPECT_TRUE(writer->contains("thread 3", -1));
    EXPECT_TRUE(writer->contains("thread 3", 0));
    EXPECT_FALSE(writer->contains("thread 3", 4));
    writer->clear();
    EXPECT_TRUE(writer->records().empty());
}

TEST(CapturingLogWriter, LevelFilterThroughDbgTrace) {
    hnastest::CaptureLog log(0);
    DbgTrace dbg;
    dbg.DebugLvl("Cls::fn", 0, 1LL, "kept");
    dbg.DebugLvl("Cls::fn", 1, 1LL, "dropped");
    log->SetLevel(-1);
    EXPECT_EQ(log->GetLevel(), -1);
    dbg.DebugLvl("Cls::fn", 0, 1LL, "dropped too");
    dbg.DebugLvl("Cls::fn", -1, 1LL, "error kept");
    auto records = log->records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, "kept");
    EXPECT_EQ(records[0].function, "Cls::fn");
    EXPECT_EQ(records[1].text, "error kept");
}
