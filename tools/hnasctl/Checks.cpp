// Checks and conversions of command-line values.

#include "Checks.h"

#include <cerrno>
#include <cstdlib>

#include "Output.h"
#include "rest/ResourceCheck.h"
#include "text/LogText.h"

namespace hnasctl {

using hnasmgmt::isControl;

void requireNonEmpty(const std::string& what, const std::string& value) {
    if (value.empty()) {
        throw UsageError(what + " must not be empty");
    }
}

void requirePathSegment(const std::string& what, const std::string& value) {
    requireNonEmpty(what, value);
    if (value == "." || value == "..") {
        throw UsageError(what + " must not be \".\" or \"..\"");
    }
    // The library refuses the same (and logs why); refusing here tells the user.
    if (value.find('/') != std::string::npos || hnasmgmt::isUnsafeResource(value)) {
        throw UsageError(what +
                         " must not contain '/', '\\', '?', '#', ';', blanks, control "
                         "characters or escapes of them ('%2F'): " +
                         quoted(value));
    }
}

std::string jsonContent(const std::string& text) {
    const std::string literal = quoted(text);
    return literal.substr(1, literal.size() - 2);
}

std::string undoubleBackslashes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            ++i;
        }
    }
    return out;
}

long long parseInteger(const std::string& what, const std::string& text, long long min,
                       long long max) {
    if (text.empty()) {
        throw UsageError(what + " must be a number");
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || value < min || value > max ||
        text.find_first_of(" \t\n") != std::string::npos) {
        throw UsageError(what + " must be a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ": " + quoted(text));
    }
    return value;
}

void splitGateway(const std::string& input, std::string& host, int& port) {
    std::string text = input;
    const std::string scheme = "https://";
    if (text.compare(0, scheme.size(), scheme) == 0) {
        text.erase(0, scheme.size());
    }
    if (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    const std::string usage = "--gateway must be HOST:PORT (e.g. 192.0.2.5:8444 or "
                              "[2001:db8::5]:8444): " +
                              quoted(input);
    size_t colon = std::string::npos;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':' ||
            close < 2) {
            throw UsageError(usage);
        }
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon) {
            throw UsageError(usage);
        }
    }
    host = text.substr(0, colon);
    if (host.empty()) {
        throw UsageError(usage);
    }
    for (const char ch : host) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '/' || c == '?' || c == '#' || c == '@' || c == ' ' || c == '\\' || isControl(c)) {
            throw UsageError(usage);
        }
    }
    port = static_cast<int>(parseInteger("the gateway port", text.substr(colon + 1), 1, 65535));
}

} // namespace hnasctl
