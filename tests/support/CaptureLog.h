#pragma once

// Installs a CapturingLogWriter as the global log writer for one test and
// restores the previous writer afterwards.

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "hnasmgmt/host/DbgTrace.h"
#include "hnasmgmt/host/LogWriters.h"

namespace hnastest {

class CaptureLog {
public:
    explicit CaptureLog(int level = 5)
        : previous_(g_ptrLogWriter), writer_(boost::make_shared<CapturingLogWriter>(level)) {
        g_ptrLogWriter = writer_;
    }
    ~CaptureLog() { g_ptrLogWriter = previous_; }
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    CapturingLogWriter& writer() { return *writer_; }
    CapturingLogWriter* operator->() { return writer_.get(); }

private:
    boost::shared_ptr<CLogWriterInterface> previous_;
    boost::shared_ptr<CapturingLogWriter> writer_;
};

} // namespace hnastest
