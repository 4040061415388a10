#pragma once

// Logging interface of the host application. The library writes every line
// through DbgTrace::DebugLvl; the host installs a writer in g_ptrLogWriter.
// A null writer drops every line.

#include <boost/shared_ptr.hpp>

#include "hnasmgmt/Export.h"

class HNASMGMT_API CLogWriterInterface {
public:
    virtual ~CLogWriterInterface() {}
    virtual int GetLevel() const = 0;
    virtual void Write(int level, const char* function, int line, long long jobId, int flags,
                       const char* format, ...) = 0;
};

extern HNASMGMT_API boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter; // null: lines are dropped

class DbgTraceFileInstance;

// A log context: one per logging function call. A line reaches the writer
// exactly once when its level is at most the writer's level; otherwise it is
// not even formatted.
class HNASMGMT_API DbgTrace {
public:
    explicit DbgTrace(DbgTraceFileInstance* instance = nullptr);
    void DebugLvl(const char* function, int level, long long jobId, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    void DebugLvl(const char* function, int level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

private:
    DbgTraceFileInstance* instance_;
};
