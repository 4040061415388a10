#include "rest/ServerParams.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "text/LogText.h"

namespace hnasmgmt {

namespace {

bool isIPv6Literal(const std::string& text) {
    in6_addr address{};
    return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

// Length of the well-formed UTF-8 sequence of two to four bytes at `at`; 0
// when there is none (overlong forms and surrogates included).
size_t utf8Sequence(const std::string& s, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(s[at]);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > s.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[at + i]);
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

bool isLabelByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

bool isDnsName(const std::string& host) {
    size_t labelLength = 0;
    for (size_t i = 0; i < host.size();) {
        const unsigned char c = static_cast<unsigned char>(host[i]);
        if (c == '.') {
            if (labelLength == 0)
                return false; // an empty label
            labelLength = 0;
            ++i;
            continue;
        }
        const size_t length = c < 0x80 ? (isLabelByte(c) ? 1 : 0) : utf8Sequence(host, i);
        if (length == 0)
            return false;
        labelLength += length;
        i += length;
    }
    return !host.empty() && host != ".";
}

bool isIPv4DottedQuad(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// True when the HTTP client could read the host as a number: its last label
// (before one trailing dot) is all digits, or it begins with "0x". Such a
// host goes where the client's reading of it points ("127.1", "0177.0.0.1",
// "2130706433" and "0x7f.1" all reach 127.0.0.1; "010.0.0.1" reaches
// 8.0.0.1), so only the one form read the same way everywhere is taken.
bool looksNumeric(const std::string& host) {
    if (host.size() >= 2 && host[0] == '0' && (host[1] == 'x' || host[1] == 'X'))
        return true;
    size_t end = host.size();
    if (end > 0 && host[end - 1] == '.')
        --end;
    const size_t dot = host.rfind('.', end == 0 ? 0 : end - 1);
    const size_t begin = dot == std::string::npos || dot >= end ? 0 : dot + 1;
    if (begin >= end)
        return false;
    for (size_t i = begin; i < end; ++i) {
        if (host[i] < '0' || host[i] > '9')
            return false;
    }
    return true;
}

} // namespace

bool hasControlChar(const std::string& text) {
    for (unsigned char c : text) {
        if (isControl(c))
            return true;
    }
    return false;
}

bool isGatewayHost(const std::string& host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return isIPv6Literal(host.substr(1, host.size() - 2));
    if (isIPv6Literal(host))
        return true;
    if (looksNumeric(host))
        return isIPv4DottedQuad(host);
    return isDnsName(host);
}

std::string urlHost(const std::string& host) {
    return isIPv6Literal(host) ? "[" + host + "]" : host;
}

bool hasOuterBlank(const std::string& text) {
    return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

} // namespace hnasmgmt
