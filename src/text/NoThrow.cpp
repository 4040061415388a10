#include "text/NoThrow.h"

#include "hnasmgmt/host/DbgTrace.h"

namespace hnasmgmt {

void logUnexpectedFailure(const FailureWording& wording, const char* function,
                          unsigned long long jobId, const char* what) noexcept {
    try {
        DbgTrace trace;
        const long long job = static_cast<long long>(jobId);
        if (what != nullptr) {
            trace.DebugLvl(function, -1, job, wording.withWhat, what);
        } else {
            trace.DebugLvl(function, -1, job, "%s", wording.withoutWhat);
        }
    } catch (...) {
    }
}

} // namespace hnasmgmt
