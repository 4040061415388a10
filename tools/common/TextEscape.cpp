// JSON string literals and terminal-safe text.

#include "common/TextEscape.h"

namespace hnastools {

namespace {

const char kHexUpper[] = "0123456789ABCDEF";
const char kHexLower[] = "0123456789abcdef";

bool isC0OrDel(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

void appendHexByte(std::string& out, unsigned char c) {
    out += "\\x";
    out += kHexUpper[c >> 4];
    out += kHexUpper[c & 0x0F];
}

// The JSON escape of one ASCII byte, or nullptr when it stands as it is.
const char* jsonEscapeOf(char c) {
    switch (c) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    default:
        return nullptr;
    }
}

} // namespace

std::size_t utf8Length(const std::string& text, std::size_t pos, unsigned long* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(pos);
    std::size_t length = 0;
    unsigned long cp = 0;
    if (c < 0x80) {
        *codePoint = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char cc = byte(pos + i);
        if ((cc & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    *codePoint = cp;
    return length;
}

void appendJsonString(std::string& out, const std::string& text, InvalidUtf8 invalid) {
    out += '"';
    std::size_t pos = 0;
    while (pos < text.size()) {
        unsigned long cp = 0;
        const std::size_t length = utf8Length(text, pos, &cp);
        const char c = text[pos];
        if (length == 0) {
            if (invalid == InvalidUtf8::Replace) {
                out += "\\ufffd";
            } else {
                out += c;
            }
            ++pos;
            continue;
        }
        if (length == 1) {
            if (const char* escape = jsonEscapeOf(c)) {
                out += escape;
            } else if (isC0OrDel(static_cast<unsigned char>(c))) {
                out += "\\u00";
                out += kHexLower[(c >> 4) & 0x0F];
                out += kHexLower[c & 0x0F];
            } else {
                out += c;
            }
        } else {
            out.append(text, pos, length);
        }
        pos += length;
    }
    out += '"';
}

std::string jsonString(const std::string& text, InvalidUtf8 invalid) {
    std::string out;
    appendJsonString(out, text, invalid);
    return out;
}

std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        unsigned long cp = 0;
        const std::size_t length = utf8Length(text, pos, &cp);
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (length == 0 || (cp >= 0x80 && cp < 0xA0)) {
            // Not UTF-8, or a C1 control character: shown as its bytes.
            for (std::size_t i = 0; i < (length == 0 ? 1 : length); ++i) {
                appendHexByte(out, static_cast<unsigned char>(text[pos + i]));
            }
            pos += length == 0 ? 1 : length;
            continue;
        }
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (length == 1 && isC0OrDel(c)) {
            appendHexByte(out, c);
        } else {
            out.append(text, pos, length);
        }
        pos += length;
    }
    return out;
}

std::size_t displayWidth(const std::string& text) {
    std::size_t width = 0;
    for (const char ch : text) {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
            ++width;
        }
    }
    return width;
}

} // namespace hnastools
