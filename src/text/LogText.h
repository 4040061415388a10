#pragma once

// Values that go into log lines: a gateway answer or a caller's value can be
// arbitrarily large, and a log line must stay bounded whatever it carries;
// text that came from the gateway must not be able to forge or hide lines.

#include <cstddef>
#include <string>

namespace hnasmgmt {

// A C0 control character or DEL: what no header, URL part or log line may
// carry as it is.
constexpr bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// Whether a line of `level` reaches the host's log writer: there is one and
// its level is at least `level`, as DbgTrace judges it. The values of a line
// are worth building (clipped, escaped, copied) only when this holds. Never
// throws (a writer whose level cannot be read writes nothing).
bool logOn(int level) noexcept;

// The most bytes of one value that a log line carries.
constexpr std::size_t kLogValueLimit = 64 * 1024;

// A value as a log line may carry it: `text` itself when it is at most
// `limit` bytes, otherwise its first `limit` bytes followed by
// "... [N bytes left out]". Copies at most `limit` bytes of `text`; never throws
// (an allocation failure gives an empty string).
std::string clipForLog(const std::string& text, std::size_t limit = kLogValueLimit) noexcept;

// The same for text of a given length that need not be NUL-terminated.
std::string clipForLog(const char* text, std::size_t length,
                       std::size_t limit = kLogValueLimit) noexcept;

// Text that came from the gateway as a log line may carry it: clipped as
// clipForLog clips it, with every byte of a C0 control, DEL, a C1 control
// (U+0080..U+009F) and every byte that is not part of well-formed UTF-8
// written as \xNN; other UTF-8 stays as it is. Never throws (an allocation
// failure gives an empty string).
std::string gatewayTextForLog(const std::string& text, std::size_t limit = kLogValueLimit) noexcept;

} // namespace hnasmgmt
