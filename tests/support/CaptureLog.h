#pragma once

// Installs a CapturingLogWriter as the global log writer for one test and
// restores the previous writer afterwards.

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <string>

#include "hnasmgmt/host/DbgTrace.h"
#include "support/CapturingLogWriter.h"

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

    CapturingLogWriter& writer() { return *writer_; }
    CapturingLogWriter* operator->() { return writer_.get(); }

    // True when a record has exactly this function, level, job identifier and text.
    bool logged(const std::string& function, int level, const std::string& text,
                long long jobId) const {
        for (const LogRecord& r : writer_->records())
            if (r.function == function && r.level == level && r.text == text && r.jobId == jobId)
                return true;
        return false;
    }
    // Number of records written under this function name.
    size_t countFunction(const std::string& function) const {
        size_t n = 0;
        for (const LogRecord& r : writer_->records())
            n += r.function == function;
        return n;
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
