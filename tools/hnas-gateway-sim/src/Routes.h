#pragma once

// The storage resources below "/v4/storage/", answered from the array.

#include <cstdint>
#include <string>

#include "hnasgwsim/Model.h"

namespace hnasgwsim {

struct Reply {
    int status = 200;
    std::string body; // JSON; empty for 204
};

// Answers METHOD `resource` (the path below "/v4/storage/", as received)
// with `body`. The caller holds the array's lock. `now` is the creation time
// given to new snapshots (seconds since the epoch).
Reply handleStorage(ArrayState& array, const std::string& method, const std::string& resource,
                    const std::string& body, std::uint64_t now);

Reply errorReply(int status, const std::string& message, const std::string& reason);

} // namespace hnasgwsim
