#pragma once

// Keeps exceptions (allocation failures, mostly) inside the library: an
// operation run through hnasNoThrow that throws ends with false and the
// facade's line, "Unexpected failure [what]" (text/NoThrow.h).

#include <utility>

#include "text/NoThrow.h"

template <typename Operation>
bool hnasNoThrow(const char* function, unsigned long long jobId, Operation&& operation) noexcept {
    return hnasmgmt::runNoThrow(hnasmgmt::kOperationFailure, function, jobId,
                                std::forward<Operation>(operation));
}
