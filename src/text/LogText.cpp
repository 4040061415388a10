#include "text/LogText.h"

#include <simdjson.h>

#include "hnasmgmt/host/DbgTrace.h"

namespace hnasmgmt {

bool logOn(int level) noexcept {
    try {
        const boost::shared_ptr<CLogWriterInterface> writer = GetLogWriter();
        return writer && level <= writer->GetLevel();
    } catch (...) {
        return false;
    }
}

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

namespace {

// Length of the UTF-8 sequence that the lead byte `c` (0x80 or above)
// announces; 1 for a byte that leads none.
std::size_t announcedLength(unsigned char c) {
    return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 1;
}

// Length of the well-formed sequence of printable UTF-8 at `p` (at most `left`
// bytes there), or 0 when its first byte is to be escaped.
std::size_t printableLength(const char* p, std::size_t left) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80)
        return isControl(c) ? 0 : 1;
    const std::size_t length = announcedLength(c);
    if (length == 1 || length > left || !simdjson::validate_utf8(p, length))
        return 0;
    const bool c1 = c == 0xC2 && static_cast<unsigned char>(p[1]) < 0xA0;
    return c1 ? 0 : length;
}

} // namespace

std::string gatewayTextForLog(const std::string& text, std::size_t limit) noexcept {
    static const char hex[] = "0123456789ABCDEF";
    try {
        const std::size_t shown = text.size() < limit ? text.size() : limit;
        std::string out;
        out.reserve(shown + 32);
        std::size_t i = 0;
        while (i < shown) {
            std::size_t run = i;
            while (run < shown && static_cast<unsigned char>(text[run]) < 0x80 &&
                   !isControl(static_cast<unsigned char>(text[run])))
                ++run; // plain ASCII, the common case
            out.append(text, i, run - i);
            i = run;
            if (i == shown)
                break;
            const std::size_t length = printableLength(&text[i], shown - i);
            if (length > 0) {
                out.append(text, i, length);
                i += length;
                continue;
            }
            const unsigned char c = static_cast<unsigned char>(text[i++]);
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
        if (shown < text.size())
            out += "... [" + std::to_string(text.size() - shown) + " bytes left out]";
        return out;
    } catch (...) {
        return std::string();
    }
}

} // namespace hnasmgmt
