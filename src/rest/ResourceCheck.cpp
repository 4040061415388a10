#include "rest/ResourceCheck.h"

#include <cstring>

#include "text/LogText.h"

namespace hnasmgmt {

namespace {

// The value of a hex digit, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Characters that change what a path names, raw or decoded from an escape.
bool changesPath(unsigned char c) {
    return isControl(c) || (c != '\0' && std::strchr("./\\?#;", c) != nullptr);
}

// True when the '%' at `at` starts no escape, or one that decodes to a
// character that changes the path.
bool isUnsafeEscape(const std::string& resource, size_t at) {
    if (at + 2 >= resource.size())
        return true;
    const int high = hexValue(resource[at + 1]);
    const int low = hexValue(resource[at + 2]);
    return high < 0 || low < 0 || changesPath(static_cast<unsigned char>(high * 16 + low));
}

bool isDotSegment(const std::string& resource, size_t start, size_t end) {
    const size_t length = end - start;
    return (length == 1 && resource[start] == '.') ||
           (length == 2 && resource[start] == '.' && resource[start + 1] == '.');
}

} // namespace

bool isUnsafeResource(const std::string& resource) {
    size_t start = 0;
    for (size_t i = 0; i <= resource.size(); ++i) {
        if (i == resource.size() || resource[i] == '/') {
            if (isDotSegment(resource, start, i))
                return true;
            start = i + 1;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(resource[i]);
        if (isControl(c) || c == ' ' || c == '?' || c == '#' || c == '\\' || c == ';')
            return true;
        if (c == '%' && isUnsafeEscape(resource, i))
            return true;
    }
    return false;
}

} // namespace hnasmgmt
