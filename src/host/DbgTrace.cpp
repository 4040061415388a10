// Logging entry points of the host stand-in: the global writer and DbgTrace.

#include "hnasmgmt/host/DbgTrace.h"

#include <boost/smart_ptr/shared_ptr.hpp>

#include <cstdarg>
#include <string>
#include <utility>

#include "hnasmgmt/host/LogWriters.h"

HNASMGMT_API boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;

void SetLogWriter(boost::shared_ptr<CLogWriterInterface> writer) {
    boost::atomic_store(&g_ptrLogWriter, std::move(writer));
}

boost::shared_ptr<CLogWriterInterface> GetLogWriter() {
    return boost::atomic_load(&g_ptrLogWriter);
}

namespace {

// Formats and writes one line when the writer accepts its level. The writer
// is loaded atomically and held for the line, so that a host replacing it
// from another thread cannot free it while it is in use. Never throws.
void traceLine(const char* function, int level, long long jobId, const char* format,
               va_list args) noexcept {
    try {
        boost::shared_ptr<CLogWriterInterface> writer = GetLogWriter();
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
