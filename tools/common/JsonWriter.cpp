// JSON text, compact or indented.

#include "common/JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace hnastools {

JsonWriter::JsonWriter(Layout layout, InvalidUtf8 invalid) : layout_(layout), invalid_(invalid) {}

void JsonWriter::newline() {
    if (layout_ == Layout::Indented) {
        out_ += '\n';
        out_.append(empty_.size() * 2, ' ');
    }
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back()) {
            out_ += ',';
        }
        empty_.back() = false;
        newline();
    }
}

JsonWriter& JsonWriter::open(char bracket) {
    beforeValue();
    out_ += bracket;
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    const bool hadMembers = !empty_.empty() && !empty_.back();
    if (!empty_.empty()) {
        empty_.pop_back();
    }
    if (hadMembers) {
        newline();
    }
    out_ += bracket;
    return *this;
}

JsonWriter& JsonWriter::beginObject() {
    return open('{');
}

JsonWriter& JsonWriter::endObject() {
    return close('}');
}

JsonWriter& JsonWriter::beginArray() {
    return open('[');
}

JsonWriter& JsonWriter::endArray() {
    return close(']');
}

JsonWriter& JsonWriter::key(const std::string& name) {
    beforeValue();
    appendJsonString(out_, name, invalid_);
    out_ += layout_ == Layout::Indented ? ": " : ":";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    beforeValue();
    appendJsonString(out_, text, invalid_);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    return raw(flag ? "true" : "false");
}

JsonWriter& JsonWriter::value(double number) {
    if (!std::isfinite(number)) {
        return null();
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", number);
    return raw(buf);
}

JsonWriter& JsonWriter::raw(const std::string& json) {
    beforeValue();
    out_ += json;
    return *this;
}

JsonWriter& JsonWriter::stringArray(const std::vector<std::string>& items) {
    beginArray();
    for (const auto& item : items) {
        value(item);
    }
    return endArray();
}

} // namespace hnastools
