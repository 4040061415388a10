#pragma once

// Fault rules: for requests that match a method and a path pattern, answer
// an error status, add latency, close the connection without answering, send
// a truncated body or a body that is not JSON, optionally only for the Nth
// matching request or a limited number of times.

#include <string>

#include "hnasgwsim/Api.h"

namespace hnasgwsim {

enum class FaultKind {
    None,     // no change to the answer (latency alone)
    Status,   // answer `status` with an error document; the request is not carried out
    Close,    // close the connection without answering; the request is not carried out
    Truncate, // carry the request out, then send only part of the answer's body
    NotJson,  // carry the request out, then answer with a body that is not JSON
};

struct HNASGWSIM_API FaultRule {
    std::string method = "*"; // "GET", "POST", "PUT", "DELETE" or "*"
    // Glob ('*' matches any run of characters, '?' one character). A pattern
    // that starts with '/' is matched against the whole request path, any
    // other against the path below "/v4/storage/".
    std::string path = "*";
    FaultKind kind = FaultKind::None;
    int status = 0;    // for Status; for NotJson the status to send (0: the normal one)
    int latencyMs = 0; // wait this long before answering (with any kind)
    int nth = 0;       // fire only on the Nth matching request (1-based); 0: on every one
    int times = 0;     // fire at most this many times; 0: no limit

    bool matches(const std::string& method, const std::string& path) const;
    // One line, in the form parseFaultRule reads.
    std::string describe() const;
};

// Reads a rule from its text form: METHOD PATTERN ACTION [OPTION...], e.g.
//   "GET filesystems/* status=503"
//   "POST filesystem-snapshots latency=250"
//   "* virtual-servers close nth=3"
//   "GET file-devices truncate times=1"
//   "GET filesystems/* notjson"
// Actions: status=N, close, truncate, notjson; options: latency=MS, nth=N,
// times=N (latency=MS alone is a rule too). Throws std::invalid_argument.
HNASGWSIM_API FaultRule parseFaultRule(const std::string& text);

// Reads a rule from a JSON object with the members "method", "path",
// "action" ("status", "close", "truncate", "notjson", "none"), "status",
// "latencyMs", "nth" and "times". Throws std::invalid_argument.
HNASGWSIM_API FaultRule parseFaultRuleJson(const std::string& json);

// Glob match, '*' and '?'.
HNASGWSIM_API bool globMatch(const std::string& pattern, const std::string& text);

} // namespace hnasgwsim
