#pragma once

// Ready-made log writers: a thread-safe line writer for stderr or a file, and
// a capturing writer for tests.

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/host/DbgTrace.h"

// Formats printf-style arguments into a string of any length. Never throws;
// on a formatting error the result holds the format text itself.
HNASMGMT_API std::string hnasFormatV(const char* format, va_list args);

// Writes one line per record: UTC timestamp, level, job identifier, function
// and text, with control characters escaped so that one record is one line.
class HNASMGMT_API StreamLogWriter : public CLogWriterInterface {
public:
    // Writes to stderr.
    explicit StreamLogWriter(int level);
    // Appends to the file at path; falls back to stderr when it cannot be opened.
    StreamLogWriter(int level, const std::string& path);
    ~StreamLogWriter() override;
    StreamLogWriter(const StreamLogWriter&) = delete;
    StreamLogWriter& operator=(const StreamLogWriter&) = delete;

    int GetLevel() const override;
    void SetLevel(int level);
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override;

private:
    mutable std::mutex mutex_;
    int level_;
    std::FILE* out_;
    bool ownsFile_;
};

// One record as a CapturingLogWriter keeps it.
struct HNASMGMT_API LogRecord {
    int level = 0;
    std::string function;
    long long jobId = 0;
    std::string text;
};

// Keeps every record in memory; thread-safe.
class HNASMGMT_API CapturingLogWriter : public CLogWriterInterface {
public:
    explicit CapturingLogWriter(int level = 5);
    int GetLevel() const override;
    void SetLevel(int level);
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override;

    std::vector<LogRecord> records() const;
    void clear();
    // True when some record has exactly this text (and this level, when given).
    bool contains(const std::string& text) const;
    bool contains(const std::string& text, int level) const;
    // Number of records with exactly this text.
    size_t count(const std::string& text) const;

private:
    mutable std::mutex mutex_;
    int level_;
    std::vector<LogRecord> records_;
};
