#pragma once

// A log writer for the fuzz targets: accepts every level and formats each
// line, then drops it, so that the logging paths run on fuzzed text too.

#include <cstdarg>
#include <cstdio>

#include <boost/make_shared.hpp>

#include "hnasmgmt/host/DbgTrace.h"

class FuzzLogWriter : public CLogWriterInterface {
public:
    int GetLevel() const override { return 5; }
    void Write(int, const char*, int, long long, int, const char* format, ...) override {
        char line[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
    }
};

inline void installFuzzLogWriter() {
    if (!GetLogWriter()) {
        SetLogWriter(boost::make_shared<FuzzLogWriter>());
    }
}
