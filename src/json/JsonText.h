#pragma once

// Checks for values that the request-body builders insert verbatim between
// the quotes of a JSON string or bare as a JSON number. A value that passes
// cannot change the structure of the body it is written into.

#include <string>
#include <string_view>

namespace hnasmgmt::json {

// True when `text` can stand between two double quotes as it is: no
// unescaped double quote, no byte below 0x20, and every backslash starts a
// valid escape (\" \\ \/ \b \f \n \r \t or \u and four hex digits). Bytes of
// 0x80 and above are not checked.
bool isJsonStringContent(const std::string& text);

// True when `text` is one JSON number, with nothing around it.
bool isJsonNumber(std::string_view text);

// Decimal text of an integer for a request body: plain digits with a leading
// minus sign for a negative value, whatever the process's global locale (a
// locale that groups thousands would otherwise turn 1000 into "1.000" or
// "1,000" and corrupt the body).
std::string jsonInteger(int value);

} // namespace hnasmgmt::json
