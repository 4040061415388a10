// The opening shared by every response reader.

#include "json/ParseFrame.h"

#include "hnasmgmt/host/DbgTrace.h"

namespace hnasjson {

bool openResponse(const char* function, unsigned long long jobId, const std::string& response,
                  JsonDocument& document) noexcept {
    DbgTrace trace(nullptr);
    const long long job = static_cast<long long>(jobId);
    if (response.empty()) {
        trace.DebugLvl(function, -1, job, "Empty JSON response");
        return false;
    }
    trace.DebugLvl(function, 4, job, "Parsing JSON response [%s]", response.c_str());
    if (!document.parse(response)) {
        trace.DebugLvl(function, -1, job, "Error when parsing the JSON response [%s]",
                       response.c_str());
        return false;
    }
    return true;
}

} // namespace hnasjson
