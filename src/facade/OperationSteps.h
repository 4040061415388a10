#pragma once

// Steps that every facade operation takes the same way: the refusal before
// init and the refusal of an answer without a body, each with its line.

#include <string>

#include "hnasmgmt/host/DbgTrace.h"

class HNASRestAPI;

// True when init has given the facade a session; otherwise logs
// "Initialize HNAS params." under `function` and returns false.
inline bool hnasSessionReady(bool initialised, const HNASRestAPI* session, DbgTrace& trace,
                             const char* function, long long job) {
    if (initialised && session != nullptr) {
        return true;
    }
    trace.DebugLvl(function, -1, job, "Initialize HNAS params.");
    return false;
}

// True when the gateway's answer has a body; otherwise logs
// "Empty response from the array" under `function` and returns false.
inline bool hnasHasBody(const std::string& response, DbgTrace& trace, const char* function,
                        long long job) {
    if (!response.empty()) {
        return true;
    }
    trace.DebugLvl(function, -1, job, "Empty response from the array");
    return false;
}
