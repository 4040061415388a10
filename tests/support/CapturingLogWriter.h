#pragma once

// A log writer that keeps every record in memory, for tests; thread-safe.

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
    explicit CapturingLogWriter(int level = 5) : level_(level) {}
    int GetLevel() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return level_;
    }
    void SetLevel(int level) {
        std::lock_guard<std::mutex> lock(mutex_);
        level_ = level;
    }
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
    // Number of records with exactly this text (and this level, when given).
    size_t count(const std::string& text, const int* level = nullptr) const {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (const LogRecord& r : records_)
            n += r.text == text && (level == nullptr || r.level == *level);
        return n;
    }
    bool contains(const std::string& text) const { return count(text) > 0; }
    bool contains(const std::string& text, int level) const { return count(text, &level) > 0; }

private:
    mutable std::mutex mutex_;
    int level_;
    std::vector<LogRecord> records_;
};
