#include "rest/GatewayError.h"

#include <cstdint>

#include "rest/LogText.h"
#include "json/ErrorDocument.h"
#include "json/ParseFrame.h"

namespace hnasmgmt {

bool describeGatewayError(const std::string& body, std::string& description) noexcept {
    try {
        if (body.empty())
            return false;
        hnasjson::ErrorDocument error;
        std::uint32_t read = 0;
        if (!hnasjson::scanDocument(body, hnasjson::ErrorDocument::kKeys, error, read) ||
            (read & 3u) != 3u)
            return false;
        description = "Code[" + std::to_string(error.code) + "] Message[" +
                      gatewayTextForLog(error.text(), kGatewayMessageLimit) + "]";
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace hnasmgmt
