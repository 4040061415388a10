#pragma once

/// @file
/// A ready-made log writer: a thread-safe line writer for stderr or a file.

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "hnasmgmt/Export.h"
#include "hnasmgmt/host/DbgTrace.h"

/// Formats printf-style arguments into a string of any length. Never throws;
/// on a formatting error the result holds the format text itself.
/// @param format the printf-style format.
/// @param args its arguments.
/// @return the formatted text.
HNASMGMT_API std::string hnasFormatV(const char* format, va_list args);

/// Writes one line per record: UTC timestamp, level, job identifier, function
/// and text, with control characters escaped so that one record is one line.
class HNASMGMT_API StreamLogWriter : public CLogWriterInterface {
public:
    /// Writes to stderr.
    /// @param level the highest level written.
    explicit StreamLogWriter(int level);
    /// Appends to the file at path; falls back to stderr when it cannot be opened.
    /// @param level the highest level written.
    /// @param path the log file.
    StreamLogWriter(int level, const std::string& path);
    /// Flushes, and closes the file it opened.
    ~StreamLogWriter() override;
    /// Not copyable.
    StreamLogWriter(const StreamLogWriter&) = delete;
    /// Not assignable.
    StreamLogWriter& operator=(const StreamLogWriter&) = delete;

    /// @return the highest level written.
    int GetLevel() const override;
    /// Changes the highest level written. @param level the new level.
    void SetLevel(int level);
    /// Writes one line; see CLogWriterInterface::Write.
    /// @param level the line's level.
    /// @param function the name of the writing function.
    /// @param line a source line number.
    /// @param jobId the job identifier.
    /// @param flags reserved.
    /// @param format a printf-style format, followed by its arguments.
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override;

private:
    mutable std::mutex mutex_;
    int level_;
    std::FILE* out_;
    bool ownsFile_;
};
