#include "rest/LogText.h"

namespace hnasmgmt {

std::string clipForLog(const std::string& text, std::size_t limit) noexcept {
    return clipForLog(text.data(), text.size(), limit);
}

std::string clipForLog(const char* text, std::size_t length, std::size_t limit) noexcept {
    try {
        if (text == nullptr)
            return std::string();
        if (length <= limit)
            return std::string(text, length);
        std::string out(text, limit);
        out += "... [" + std::to_string(length - limit) + " bytes left out]";
        return out;
    } catch (...) {
        return std::string();
    }
}

} // namespace hnasmgmt
