#pragma once

/// @file
/// Logging interface of the host application. The library writes every line
/// through DbgTrace::DebugLvl; the host installs a writer with SetLogWriter.
/// A null writer drops every line.
///
/// Levels used by the library: -1 failures and most progress lines, 0
/// milestones and lookup outcomes, 2 the REST session's closing line, 4 wire
/// detail, 5 dumps of responses and fields. The password never appears in a
/// line.

#include <boost/shared_ptr.hpp>

#include "hnasmgmt/Export.h"

/// A log writer of the host: receives every line whose level is at most its
/// level.
class HNASMGMT_API CLogWriterInterface {
public:
    /// Destroys the writer.
    virtual ~CLogWriterInterface() {}
    /// @return the writer's level: lines of a higher level are dropped before
    ///         they are formatted.
    virtual int GetLevel() const = 0;
    /// Writes one line.
    /// @param level the line's level.
    /// @param function the name of the function that writes it, e.g.
    ///        "RkManageHNAS::getFileDevice".
    /// @param line a source line number; 0 when not known.
    /// @param jobId the job identifier of the line.
    /// @param flags reserved; 0.
    /// @param format a printf-style format, followed by its arguments.
    virtual void Write(int level, const char* function, int line, long long jobId, int flags,
                       const char* format, ...) = 0;
};

/// The host's global log writer. Null: lines are dropped.
///
/// The library reads it from any thread while requests run, so a host that
/// replaces it while the library may be logging must go through SetLogWriter
/// (and read it through GetLogWriter): a plain assignment racing with a read
/// of the same boost::shared_ptr is undefined behaviour.
extern HNASMGMT_API boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;

/// Installs the global log writer (an atomic store of g_ptrLogWriter); safe
/// while other threads log. Null drops every line from then on.
/// @param writer the new writer, or null.
HNASMGMT_API void SetLogWriter(boost::shared_ptr<CLogWriterInterface> writer);

/// @return the global log writer (an atomic load of g_ptrLogWriter), or null.
HNASMGMT_API boost::shared_ptr<CLogWriterInterface> GetLogWriter();

class DbgTraceFileInstance;

/// A log context: one per logging function call. A line reaches the writer
/// exactly once when its level is at most the writer's level; otherwise it is
/// not even formatted. Logging never throws and never makes an operation fail.
class HNASMGMT_API DbgTrace {
public:
    /// A context writing to the host's default log.
    /// @param instance the host's log file; null for the default log.
    explicit DbgTrace(DbgTraceFileInstance* instance = nullptr);
    /// Writes one line tagged with a job identifier.
    /// @param function the name of the calling function.
    /// @param level the line's level.
    /// @param jobId the job identifier.
    /// @param format a printf-style format, followed by its arguments.
    void DebugLvl(const char* function, int level, long long jobId, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    /// Writes one line without a job identifier (written as 0).
    /// @param function the name of the calling function.
    /// @param level the line's level.
    /// @param format a printf-style format, followed by its arguments.
    void DebugLvl(const char* function, int level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

private:
    DbgTraceFileInstance* instance_;
};
