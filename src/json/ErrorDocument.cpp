// The reader of the gateway's error document.

#include "json/ErrorDocument.h"

#include "json/ParseFrame.h"

namespace hnasmgmt::json {

bool ErrorDocument::operator()(JsonScan& scan, std::size_t i, JsonValue& value) {
    static constexpr std::string_view kDetailKeys[] = {"reason"};
    switch (i) {
    case 0:
        return scan.read(value, code);
    case 1:
        return scan.read(value, message);
    default:
        hasReason = scan.fields(value, kDetailKeys, [&](std::size_t, JsonValue& r) {
            return scan.read(r, reason);
        }) != 0;
        return hasReason;
    }
}

std::string ErrorDocument::text() const {
    return hasReason ? message + "(" + reason + ")." : message;
}

bool scanErrorDocument(const std::string& body, ErrorDocument& error) noexcept {
    try {
        if (body.empty())
            return false;
        std::uint32_t read = 0;
        return scanDocument(body, ErrorDocument::kKeys, error, read) && (read & 3u) == 3u;
    } catch (...) {
        return false;
    }
}

} // namespace hnasmgmt::json
