// Logging entry points of the host stand-in: the global writer and DbgTrace.

#include "hnasmgmt/host/DbgTrace.h"

#include <cstdarg>
#include <string>

#include "hnasmgmt/host/LogWriters.h"

HNASMGMT_API boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;

namespace {

// Formats and writes one line when the writer accepts its level. The writer
// is copied first so that a concurrent reset of g_ptrLogWriter cannot free it
// while it is in use. Never throws.
void traceLine(const char* function, int level, long long jobId, const char* format,
               va_list args) noexcept {
    try {
        boost::shared_ptr<CLogWriterInterface> writer = g_ptrLogWriter;
        if (!writer) {
            return;
        }
        if (level > writer->GetLevel()) {
            return; // dropped: never formatted
        }
        const std::string text = hnasFormatV(format ? format : "", args);
        writer->Write(level, function ? function : "", 0, jobId, 0, "%s", text.c_str());
    } catch (...) {
        // Logging never makes an operation fail.
    }
}

} // namespace

DbgTrace::DbgTrace(DbgTraceFileInstance* instance) : instance_(instance) {}

void DbgTrace::DebugLvl(const char* function, int level, long long jobId, const char* format, ...) {
    va_list args;
    va_start(args, format);
    traceLine(function, level, jobId, format, args);
    va_end(args);
}

void DbgTrace::DebugLvl(const char* function, int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    traceLine(function, level, 0, format, args);
    va_end(args);
}
