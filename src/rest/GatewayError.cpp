#include "rest/GatewayError.h"

#include "text/LogText.h"
#include "json/ErrorDocument.h"

namespace hnasmgmt {

bool describeGatewayError(const std::string& body, std::string& description) noexcept {
    try {
        hnasmgmt::json::ErrorDocument error;
        if (!hnasmgmt::json::scanErrorDocument(body, error))
            return false;
        description = "Code[" + std::to_string(error.code) + "] Message[" +
                      gatewayTextForLog(error.text(), kGatewayMessageLimit) + "]";
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace hnasmgmt
