// Validity checks for values written verbatim into request bodies.

#include "json/JsonText.h"

#include <cstddef>

namespace hnasmgmt::json {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

bool isJsonStringContent(const std::string& text) {
    const std::size_t length = text.size();
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == '"') {
            return false;
        }
        if (c != '\\') {
            continue;
        }
        if (++i == length) {
            return false; // a lone backslash at the end
        }
        switch (text[i]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            break;
        case 'u':
            if (length - i <= 4) {
                return false;
            }
            for (std::size_t k = 1; k <= 4; ++k) {
                if (!isHexDigit(text[i + k])) {
                    return false;
                }
            }
            i += 4;
            break;
        default:
            return false;
        }
    }
    return true;
}

bool isJsonNumber(std::string_view text) {
    const std::size_t length = text.size();
    std::size_t i = 0;
    if (i < length && text[i] == '-') {
        ++i;
    }
    if (i == length || !isDigit(text[i])) {
        return false;
    }
    if (text[i] == '0') {
        ++i;
    } else {
        while (i < length && isDigit(text[i])) {
            ++i;
        }
    }
    if (i < length && text[i] == '.') {
        ++i;
        if (i == length || !isDigit(text[i])) {
            return false;
        }
        while (i < length && isDigit(text[i])) {
            ++i;
        }
    }
    if (i < length && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < length && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (i == length || !isDigit(text[i])) {
            return false;
        }
        while (i < length && isDigit(text[i])) {
            ++i;
        }
    }
    return i == length;
}

std::string jsonInteger(int value) {
    return std::to_string(value);
}

} // namespace hnasmgmt::json
