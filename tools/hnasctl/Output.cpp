// Tables and JSON text.

#include "Output.h"

#include <algorithm>
#include <cstdio>

namespace hnasctl {

namespace {

// Length of the valid UTF-8 sequence at text[pos], or 0 when the bytes there
// are not one (overlong forms, surrogates and values above U+10FFFF included).
size_t utf8Length(const std::string& text, size_t pos, unsigned long* codePoint) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(pos);
    size_t length = 0;
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
    for (size_t i = 1; i < length; ++i) {
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

void appendHexByte(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 0x0F];
}

void printPadded(std::ostream& out, const std::string& cell, size_t width, bool last) {
    out << cell;
    if (!last) {
        const size_t w = displayWidth(cell);
        out << std::string(width > w ? width - w : 0, ' ') << "  ";
    }
}

} // namespace

std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        unsigned long cp = 0;
        const size_t length = utf8Length(text, pos, &cp);
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (length == 0) {
            appendHexByte(out, c);
            ++pos;
            continue;
        }
        if (length == 1 && (c < 0x20 || c == 0x7F)) {
            if (c == '\n') {
                out += "\\n";
            } else if (c == '\t') {
                out += "\\t";
            } else if (c == '\r') {
                out += "\\r";
            } else {
                appendHexByte(out, c);
            }
        } else if (cp >= 0x80 && cp < 0xA0) {
            // C1 control characters: shown as their bytes.
            for (size_t i = 0; i < length; ++i) {
                appendHexByte(out, static_cast<unsigned char>(text[pos + i]));
            }
        } else {
            out.append(text, pos, length);
        }
        pos += length;
    }
    return out;
}

size_t displayWidth(const std::string& text) {
    size_t width = 0;
    for (const char ch : text) {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
            ++width;
        }
    }
    return width;
}

// --- Table ---

Table::Table(std::vector<std::string> headers) : headers_(std::move(headers)) {}

void Table::addRow(std::vector<std::string> cells) {
    cells.resize(headers_.size());
    for (auto& cell : cells) {
        cell = printable(cell);
    }
    rows_.push_back(std::move(cells));
}

void Table::print(std::ostream& out) const {
    std::vector<size_t> widths(headers_.size(), 0);
    for (size_t i = 0; i < headers_.size(); ++i) {
        widths[i] = displayWidth(headers_[i]);
        for (const auto& row : rows_) {
            widths[i] = std::max(widths[i], displayWidth(row[i]));
        }
    }
    for (size_t i = 0; i < headers_.size(); ++i) {
        printPadded(out, headers_[i], widths[i], i + 1 == headers_.size());
    }
    out << '\n';
    for (const auto& row : rows_) {
        for (size_t i = 0; i < row.size(); ++i) {
            printPadded(out, row[i], widths[i], i + 1 == row.size());
        }
        out << '\n';
    }
}

// --- KeyValueTable ---

void KeyValueTable::add(const std::string& key, const std::string& value) {
    rows_.emplace_back(key, printable(value));
}

void KeyValueTable::print(std::ostream& out) const {
    size_t width = 0;
    for (const auto& row : rows_) {
        width = std::max(width, displayWidth(row.first));
    }
    for (const auto& row : rows_) {
        out << row.first << ':' << std::string(width - displayWidth(row.first) + 2, ' ')
            << row.second << '\n';
    }
}

// --- JsonWriter ---

JsonWriter::JsonWriter(std::ostream& out) : out_(out) {}

JsonWriter::~JsonWriter() {
    if (started_ && stack_.empty()) {
        out_ << '\n';
    }
}

std::string JsonWriter::quote(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    size_t pos = 0;
    while (pos < text.size()) {
        unsigned long cp = 0;
        const size_t length = utf8Length(text, pos, &cp);
        if (length == 0) {
            out += "\\ufffd";
            ++pos;
            continue;
        }
        if (length == 1) {
            const char c = text[pos];
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out += hex[(c >> 4) & 0x0F];
                    out += hex[c & 0x0F];
                } else {
                    out += c;
                }
            }
        } else {
            out.append(text, pos, length);
        }
        pos += length;
    }
    out += '"';
    return out;
}

void JsonWriter::newline() {
    out_ << '\n' << std::string(stack_.size() * 2, ' ');
}

void JsonWriter::beforeValue() {
    started_ = true;
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!stack_.empty()) {
        if (stack_.back().count++ > 0) {
            out_ << ',';
        }
        newline();
    }
}

JsonWriter& JsonWriter::beginObject() {
    beforeValue();
    out_ << '{';
    stack_.push_back({true, 0});
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    const bool hadMembers = !stack_.empty() && stack_.back().count > 0;
    stack_.pop_back();
    if (hadMembers) {
        newline();
    }
    out_ << '}';
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    beforeValue();
    out_ << '[';
    stack_.push_back({false, 0});
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    const bool hadMembers = !stack_.empty() && stack_.back().count > 0;
    stack_.pop_back();
    if (hadMembers) {
        newline();
    }
    out_ << ']';
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    beforeValue();
    out_ << quote(name) << ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    beforeValue();
    out_ << quote(text);
    return *this;
}

JsonWriter& JsonWriter::value(const char* text) {
    return value(std::string(text ? text : ""));
}

JsonWriter& JsonWriter::value(bool flag) {
    beforeValue();
    out_ << (flag ? "true" : "false");
    return *this;
}

JsonWriter& JsonWriter::value(int number) {
    return value(static_cast<long long>(number));
}

JsonWriter& JsonWriter::value(long long number) {
    beforeValue();
    out_ << number;
    return *this;
}

JsonWriter& JsonWriter::value(unsigned long long number) {
    beforeValue();
    out_ << number;
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    out_ << "null";
    return *this;
}

JsonWriter& JsonWriter::stringArray(const std::string& name,
                                    const std::vector<std::string>& items) {
    key(name).beginArray();
    for (const auto& item : items) {
        value(item);
    }
    return endArray();
}

} // namespace hnasctl
