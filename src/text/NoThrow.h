#pragma once

// Keeps exceptions (allocation failures, mostly) inside the library at its
// public entry points: work run through runNoThrow that throws ends with false
// and one line at level -1 under the entry point's name and job.

#include <exception>
#include <utility>

namespace hnasmgmt {

// The wording of that line. It differs between the facade and the REST
// session, and hosts' log scrapers match it as it stands: `withWhat` for an
// exception that says what it is (its text as the one %s), `withoutWhat` for
// anything else thrown.
struct FailureWording {
    const char* withWhat;
    const char* withoutWhat;
};

// The facade's operations: "Unexpected failure [what]" or "Unexpected failure".
constexpr FailureWording kOperationFailure{"Unexpected failure [%s]", "Unexpected failure"};

// The REST session: "Unexpected exception: what" or "Unexpected exception: unknown".
constexpr FailureWording kSessionFailure{"Unexpected exception: %s",
                                         "Unexpected exception: unknown"};

// Writes the line of a failure of `function`'s work: `what` is the
// exception's text, null when it has none. Never throws (the line is lost
// instead).
void logUnexpectedFailure(const FailureWording& wording, const char* function,
                          unsigned long long jobId, const char* what) noexcept;

// Runs `work` (returning bool): its result, or false and the line when it throws.
template <typename Work>
bool runNoThrow(const FailureWording& wording, const char* function, unsigned long long jobId,
                Work&& work) noexcept {
    try {
        return std::forward<Work>(work)();
    } catch (const std::exception& error) {
        logUnexpectedFailure(wording, function, jobId, error.what());
    } catch (...) {
        logUnexpectedFailure(wording, function, jobId, nullptr);
    }
    return false;
}

} // namespace hnasmgmt
