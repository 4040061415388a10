// The opening and the parse error line shared by every response reader.

#include "json/ParseFrame.h"

#include "hnasmgmt/host/DbgTrace.h"
#include "text/LogText.h"

namespace hnasmgmt::json {

bool openResponse(const char* function, unsigned long long jobId,
                  const std::string& response) noexcept {
    DbgTrace trace(nullptr);
    const long long job = static_cast<long long>(jobId);
    if (response.empty()) {
        trace.DebugLvl(function, -1, job, "Empty JSON response");
        return false;
    }
    if (hnasmgmt::logOn(4)) {
        trace.DebugLvl(function, 4, job, "Parsing JSON response [%s]",
                       hnasmgmt::gatewayTextForLog(response).c_str());
    }
    return true;
}

void logParseError(const char* function, unsigned long long jobId,
                   const std::string& response) noexcept {
    DbgTrace trace(nullptr);
    trace.DebugLvl(function, -1, static_cast<long long>(jobId),
                   "Error when parsing the JSON response [%s]",
                   hnasmgmt::gatewayTextForLog(response).c_str());
}

} // namespace hnasmgmt::json
