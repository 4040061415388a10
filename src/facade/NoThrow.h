#pragma once

// Keeps exceptions (allocation failures, mostly) inside the library: an
// operation run through hnasNoThrow that throws ends with false and a line.

#include <exception>

#include "hnasmgmt/host/DbgTrace.h"

template <typename Operation>
bool hnasNoThrow(const char* function, unsigned long long jobId, Operation&& operation) noexcept {
    try {
        return operation();
    } catch (const std::exception& error) {
        try {
            DbgTrace trace;
            trace.DebugLvl(function, -1, static_cast<long long>(jobId), "Unexpected failure [%s]",
                           error.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            DbgTrace trace;
            trace.DebugLvl(function, -1, static_cast<long long>(jobId), "Unexpected failure");
        } catch (...) {
        }
    }
    return false;
}
