#pragma once

// Fault rules: for requests that match a method and a path pattern, answer
// an error status, add latency, close the connection without answering, send
// a truncated body or a body that is not JSON, optionally only for the Nth
// matching request or a limited number of times.

#include <cstddef>
#include <string>

#include "hnasgwsim/Api.h"

namespace hnasgwsim {

// What a rule does to the answer; faultKinds() describes each.
enum class FaultKind { None, Status, Close, Truncate, NotJson };

// When a fault strikes.
enum class FaultPhase {
    Delay,   // before the answer, which stays as it is
    Instead, // in place of carrying the request out
    After,   // after the request was carried out, on its answer
};

// What a rule's status=N means with the kind.
enum class FaultStatus {
    Ignored,  // not used
    Is,       // the status to answer: the action itself, written status=N
    Replaces, // the status sent in place of the normal one, when given
};

// One row of the table of fault kinds: the kind, the action's name in the
// text and JSON forms of a rule, when it strikes, what status=N means with
// it, and a line that describes it.
struct FaultKindInfo {
    FaultKind kind;
    const char* name;
    FaultPhase phase;
    FaultStatus status;
    const char* description;
};

// The table: one row for every FaultKind, None first.
HNASGWSIM_API const FaultKindInfo* faultKinds(std::size_t& count);
// The row of `kind`.
HNASGWSIM_API const FaultKindInfo& faultKindInfo(FaultKind kind);
// The actions for a help text: "status=N, close, truncate, notjson".
HNASGWSIM_API std::string faultActionsText();

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
// Actions: those of the table above (faultActionsText()); options:
// latency=MS, nth=N, times=N (latency=MS alone is a rule too; "latency" names
// the kind None as well). Throws std::invalid_argument.
HNASGWSIM_API FaultRule parseFaultRule(const std::string& text);

// Reads a rule from a JSON object with the members "method", "path",
// "action" (a name of the table above, or "latency"), "status",
// "latencyMs", "nth" and "times". Throws std::invalid_argument.
HNASGWSIM_API FaultRule parseFaultRuleJson(const std::string& json);

// Glob match, '*' and '?'.
HNASGWSIM_API bool globMatch(const std::string& pattern, const std::string& text);

} // namespace hnasgwsim
