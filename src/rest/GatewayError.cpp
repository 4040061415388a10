#include "rest/GatewayError.h"

#include <cstdio>

#include "rest/LogText.h"
#include "json/JsonReader.h"

namespace hnasmgmt {

std::string escapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool describeGatewayError(const std::string& body, std::string& description) noexcept {
    try {
        hnasjson::JsonDocument document;
        if (body.empty() || !document.parse(body))
            return false;
        const hnasjson::JsonObject& root = document.root();
        unsigned long long code = 0;
        std::string message;
        if (!root.readUInt64("errorCode", code) || !root.readString("errorMsg", message))
            return false;
        hnasjson::JsonObject detail;
        std::string reason;
        if (root.readObject("errorDetail", detail) && detail.readString("reason", reason))
            message += "(" + reason + ").";
        description = "Code[" + std::to_string(code) + "] Message[" +
                      escapeControls(clipForLog(message, kGatewayMessageLimit)) + "]";
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace hnasmgmt
