#pragma once

// A thread-safe log writer that keeps every record in memory, installed as
// the global writer for one test by CaptureLog (which restores the previous
// writer afterwards).

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"

struct LogRecord {
    int level = 0;
    std::string function;
    long long jobId = 0;
    std::string text;
};

class CapturingLogWriter : public CLogWriterInterface {
public:
    static constexpr int kAnyLevel = -1000;
    explicit CapturingLogWriter(int level = 5) : level_(level) {}
    int GetLevel() const override { return level_; }
    void Write(int level, const char* function, int, long long jobId, int, const char* format,
               ...) override {
        va_list args;
        va_start(args, format);
        LogRecord record{level, function ? function : "", jobId, hnasFormatV(format, args)};
        va_end(args);
        std::lock_guard<std::mutex> lock(mutex_);
        records_.push_back(std::move(record));
    }
    std::vector<LogRecord> records() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.clear();
    }
    // True when a record has exactly this text (and this level, when given).
    bool contains(const std::string& text, int level = kAnyLevel) const {
        for (const LogRecord& r : records())
            if (r.text == text && (level == kAnyLevel || r.level == level))
                return true;
        return false;
    }

private:
    mutable std::mutex mutex_;
    const int level_;
    std::vector<LogRecord> records_;
};

namespace hnastest {

class CaptureLog {
public:
    explicit CaptureLog(int level = 5)
        : previous_(GetLogWriter()), writer_(boost::make_shared<CapturingLogWriter>(level)) {
        SetLogWriter(writer_);
    }
    ~CaptureLog() { SetLogWriter(previous_); }
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    CapturingLogWriter* operator->() { return writer_.get(); }

    // True when a record has exactly this function, level, job identifier and text.
    bool logged(const std::string& function, int level, const std::string& text,
                long long jobId) const {
        for (const LogRecord& r : writer_->records())
            if (r.function == function && r.level == level && r.text == text && r.jobId == jobId)
                return true;
        return false;
    }
    // Every record, one per line, for failure messages.
    std::string dump() const {
        std::string out = "log:\n";
        for (const LogRecord& r : writer_->records())
            out += "  " + std::to_string(r.level) + " " + r.function + " [" +
                   std::to_string(r.jobId) + "] " + r.text + "\n";
        return out;
    }

private:
    boost::shared_ptr<CLogWriterInterface> previous_;
    boost::shared_ptr<CapturingLogWriter> writer_;
};

} // namespace hnastest
