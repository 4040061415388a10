#pragma once

// Escaping shared by the tools: JSON string literals, and text made safe for
// a terminal.

#include <cstddef>
#include <string>

namespace hnastools {

// Length of the valid UTF-8 sequence at text[pos] (pos < text.size()), or 0
// when the bytes there are not one (overlong forms, surrogates and values
// above U+10FFFF included). On success *codePoint holds its value.
std::size_t utf8Length(const std::string& text, std::size_t pos, unsigned long* codePoint);

// What a JSON string literal makes of bytes that are not valid UTF-8.
enum class InvalidUtf8 {
    Replace, // U+FFFD, so that the document is valid JSON
    Keep,    // passed on as they are
};

// Appends `text` as a JSON string literal, quotes included: the quote and the
// backslash escaped, control characters (C0 and DEL) as \n, \t, ... or \u00XX.
void appendJsonString(std::string& out, const std::string& text,
                      InvalidUtf8 invalid = InvalidUtf8::Replace);
std::string jsonString(const std::string& text, InvalidUtf8 invalid = InvalidUtf8::Replace);

// Makes a text safe for a terminal: C0 controls and DEL become \n, \r, \t or
// \xNN, C1 controls and bytes that are not valid UTF-8 become \xNN for each
// byte; the backslash is kept as it is.
std::string printable(const std::string& text);

// Number of terminal columns a printable text takes (UTF-8 code points).
std::size_t displayWidth(const std::string& text);

} // namespace hnastools
