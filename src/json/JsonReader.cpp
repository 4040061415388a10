// Reading layer over simdjson's DOM: typed access and number conversions.

#include "json/JsonReader.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace hnasjson {

namespace {

using simdjson::dom::element_type;

// 2^64 and 2^31 as doubles, both exact.
constexpr double kTwoPow64 = 18446744073709551616.0;
constexpr double kTwoPow31 = 2147483648.0;

// The thread's parser keeps its buffers from one document to the next. After
// a document larger than this it gives them back, so that one huge answer
// does not pin tens of megabytes to the thread for good; the buffers of a
// parser are several times the size of the document it last read.
constexpr std::size_t kKeptCapacity = 16u * 1024u * 1024u;

struct ThreadParser {
    simdjson::dom::parser parser;
    bool busy = false;
};

ThreadParser& threadParser() {
    thread_local ThreadParser instance;
    return instance;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

// --- number conversions ---

unsigned long long toUInt64(double value) {
    if (!(value > 0.0)) {
        return 0; // negative, zero and NaN
    }
    if (value >= kTwoPow64) {
        return std::numeric_limits<unsigned long long>::max();
    }
    return static_cast<unsigned long long>(value); // truncates toward zero
}

int toInt32(double value) {
    if (value != value) {
        return 0; // NaN
    }
    if (value >= kTwoPow31) {
        return std::numeric_limits<int>::max();
    }
    if (value <= -kTwoPow31 - 1.0) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value); // truncates toward zero
}

unsigned long long toUInt64(std::int64_t value) {
    return value < 0 ? 0 : static_cast<unsigned long long>(value);
}

int toInt32(std::int64_t value) {
    if (value > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    if (value < std::numeric_limits<int>::min()) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

int toInt32(std::uint64_t value) {
    return value > static_cast<std::uint64_t>(std::numeric_limits<int>::max())
               ? std::numeric_limits<int>::max()
               : static_cast<int>(value);
}

// --- JsonValue ---

bool JsonValue::toString(std::string& out) const {
    if (!present_) {
        return false;
    }
    std::string_view text;
    if (element_.get_string().get(text) != simdjson::SUCCESS) {
        return false;
    }
    out.assign(text.data(), text.size());
    return true;
}

bool JsonValue::toObject(JsonObject& out) const {
    if (!present_) {
        return false;
    }
    simdjson::dom::object object;
    if (element_.get_object().get(object) != simdjson::SUCCESS) {
        return false;
    }
    out = JsonObject(object);
    return true;
}

bool JsonValue::toArray(JsonArray& out) const {
    if (!present_) {
        return false;
    }
    simdjson::dom::array array;
    if (element_.get_array().get(array) != simdjson::SUCCESS) {
        return false;
    }
    out = JsonArray(array);
    return true;
}

bool JsonValue::toBool(bool& out) const {
    if (!present_) {
        return false;
    }
    bool value = false;
    if (element_.get_bool().get(value) != simdjson::SUCCESS) {
        return false;
    }
    out = value;
    return true;
}

bool JsonValue::toUInt64(unsigned long long& out) const {
    if (!present_) {
        return false;
    }
    switch (element_.type()) {
    case element_type::UINT64:
        out = element_.get_uint64().value_unsafe();
        return true;
    case element_type::INT64:
        out = hnasjson::toUInt64(element_.get_int64().value_unsafe());
        return true;
    case element_type::DOUBLE:
        out = hnasjson::toUInt64(element_.get_double().value_unsafe());
        return true;
    default:
        return false;
    }
}

bool JsonValue::toInt32(int& out) const {
    if (!present_) {
        return false;
    }
    switch (element_.type()) {
    case element_type::UINT64:
        out = hnasjson::toInt32(element_.get_uint64().value_unsafe());
        return true;
    case element_type::INT64:
        out = hnasjson::toInt32(element_.get_int64().value_unsafe());
        return true;
    case element_type::DOUBLE:
        out = hnasjson::toInt32(element_.get_double().value_unsafe());
        return true;
    default:
        return false;
    }
}

// --- JsonObject ---

bool JsonObject::find(std::string_view key, JsonValue& out) const {
    if (!valid_) {
        return false;
    }
    simdjson::dom::element element;
    if (object_.at_key(key).get(element) != simdjson::SUCCESS) {
        return false;
    }
    out = JsonValue(element);
    return true;
}

std::size_t JsonObject::lookup(const std::string_view* keys, JsonValue* values,
                               std::size_t count) const {
    std::size_t found = 0;
    if (!valid_ || count == 0) {
        return 0;
    }
    for (auto it = object_.begin(); it != object_.end(); ++it) {
        const std::size_t length = it.key_length();
        for (std::size_t i = 0; i < count; ++i) {
            if (keys[i].size() != length || values[i].present()) {
                continue;
            }
            if (std::memcmp(it.key_c_str(), keys[i].data(), length) != 0) {
                continue;
            }
            values[i] = JsonValue(it.value());
            if (++found == count) {
                return found;
            }
            break;
        }
    }
    return found;
}

bool JsonObject::hasString(std::string_view key) const {
    JsonValue value;
    return find(key, value) && value.isString();
}

bool JsonObject::hasArray(std::string_view key) const {
    JsonValue value;
    return find(key, value) && value.isArray();
}

bool JsonObject::hasObject(std::string_view key) const {
    JsonValue value;
    return find(key, value) && value.isObject();
}

bool JsonObject::readString(std::string_view key, std::string& out) const {
    JsonValue value;
    return find(key, value) && value.toString(out);
}

bool JsonObject::readBool(std::string_view key, bool& out) const {
    JsonValue value;
    return find(key, value) && value.toBool(out);
}

bool JsonObject::readUInt64(std::string_view key, unsigned long long& out) const {
    JsonValue value;
    return find(key, value) && value.toUInt64(out);
}

bool JsonObject::readInt32(std::string_view key, int& out) const {
    JsonValue value;
    return find(key, value) && value.toInt32(out);
}

bool JsonObject::readObject(std::string_view key, JsonObject& out) const {
    JsonValue value;
    return find(key, value) && value.toObject(out);
}

bool JsonObject::readArray(std::string_view key, JsonArray& out) const {
    JsonValue value;
    return find(key, value) && value.toArray(out);
}

// --- JsonArray ---

std::size_t JsonArray::size() const {
    std::size_t count = 0;
    for (auto it = begin(); it != end(); ++it) {
        ++count;
    }
    return count;
}

bool JsonArray::first(JsonValue& out) const {
    if (empty()) {
        return false;
    }
    out = *begin();
    return true;
}

// --- JsonDocument ---

JsonDocument::~JsonDocument() {
    release();
}

void JsonDocument::release() noexcept {
    root_ = JsonObject();
    if (parser_ == nullptr) {
        return;
    }
    if (ownsParser_) {
        delete parser_;
    } else {
        ThreadParser& shared = threadParser();
        if (shared.parser.capacity() > kKeptCapacity) {
            shared.parser = simdjson::dom::parser();
        }
        shared.busy = false;
    }
    parser_ = nullptr;
    ownsParser_ = false;
}

bool JsonDocument::parse(const std::string& text) noexcept {
    // The bytes up to capacity() belong to the string and may be read.
    return parse(text.data(), text.size(),
                 text.capacity() - text.size() >= simdjson::SIMDJSON_PADDING);
}

bool JsonDocument::parse(const char* data, std::size_t length) noexcept {
    return parse(data, length, false);
}

bool JsonDocument::parse(const char* data, std::size_t length, bool padded) noexcept {
    release();
    ThreadParser& shared = threadParser();
    if (!shared.busy) {
        shared.busy = true;
        parser_ = &shared.parser;
    } else {
        parser_ = new (std::nothrow) simdjson::dom::parser();
        if (parser_ == nullptr) {
            return false;
        }
        ownsParser_ = true;
    }

    simdjson::dom::element element;
    simdjson::error_code error = parser_->parse(data, length, !padded).get(element);
    if (error == simdjson::NUMBER_ERROR) {
        // Out-of-range numbers saturate instead of failing the document.
        try {
            const std::string relaxed = saturateOutOfRangeNumbers(data, length);
            error = parser_->parse(relaxed.data(), relaxed.size(), true).get(element);
        } catch (...) {
            return false;
        }
    }
    if (error != simdjson::SUCCESS) {
        return false;
    }
    simdjson::dom::object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) {
        return false;
    }
    root_ = JsonObject(object);
    return !root_.empty();
}

// --- out-of-range numbers ---

namespace {

// Digits of `digits` (no sign, no leading zero) compared with `limit` of the
// same length or longer: true when the value does not exceed the limit.
bool fitsLimit(std::string_view digits, std::string_view limit) {
    if (digits.size() != limit.size()) {
        return digits.size() < limit.size();
    }
    return digits <= limit;
}

// Looks at the number token at data[pos..] (JSON grammar) and tells whether
// simdjson would refuse it for its range. Sets `end` past the token and
// `negative`. A token that is not a valid JSON number is left to the parser.
bool outOfRange(const char* data, std::size_t length, std::size_t pos, std::size_t& end,
                bool& negative) {
    std::size_t p = pos;
    negative = false;
    if (p < length && data[p] == '-') {
        negative = true;
        ++p;
    }
    const std::size_t intStart = p;
    while (p < length && isDigit(data[p])) {
        ++p;
    }
    const std::string_view intDigits(data + intStart, p - intStart);
    std::string_view fracDigits;
    bool isInteger = true;
    if (p < length && data[p] == '.') {
        isInteger = false;
        const std::size_t fracStart = ++p;
        while (p < length && isDigit(data[p])) {
            ++p;
        }
        fracDigits = std::string_view(data + fracStart, p - fracStart);
    }
    long long exponent = 0;
    if (p < length && (data[p] == 'e' || data[p] == 'E')) {
        isInteger = false;
        ++p;
        bool negativeExponent = false;
        if (p < length && (data[p] == '+' || data[p] == '-')) {
            negativeExponent = data[p] == '-';
            ++p;
        }
        while (p < length && isDigit(data[p])) {
            if (exponent < 1000000) {
                exponent = exponent * 10 + (data[p] - '0');
            }
            ++p;
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    end = p;
    if (intDigits.empty() || (intDigits.size() > 1 && intDigits[0] == '0')) {
        return false; // not a JSON number: the parser reports it
    }
    if (isInteger) {
        return negative ? !fitsLimit(intDigits, "9223372036854775808")
                        : !fitsLimit(intDigits, "18446744073709551615");
    }
    // Decimal order of magnitude of a float.
    long long order = 0;
    if (intDigits != "0") {
        order = static_cast<long long>(intDigits.size()) - 1 + exponent;
    } else {
        const std::size_t firstNonZero = fracDigits.find_first_not_of('0');
        if (firstNonZero == std::string_view::npos) {
            return false; // zero
        }
        order = -static_cast<long long>(firstNonZero) - 1 + exponent;
    }
    return order >= 300;
}

} // namespace

std::string saturateOutOfRangeNumbers(const char* data, std::size_t length) {
    std::string out;
    out.reserve(length + 16);
    bool inString = false;
    std::size_t i = 0;
    while (i < length) {
        const char c = data[i];
        if (inString) {
            out.push_back(c);
            if (c == '\\' && i + 1 < length) {
                out.push_back(data[i + 1]);
                i += 2;
                continue;
            }
            if (c == '"') {
                inString = false;
            }
            ++i;
            continue;
        }
        if (c == '"') {
            inString = true;
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == '-' || isDigit(c)) {
            std::size_t end = i;
            bool negative = false;
            if (outOfRange(data, length, i, end, negative)) {
                out += negative ? "-1e300" : "1e300";
            } else {
                out.append(data + i, end - i);
            }
            i = end > i ? end : i + 1;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

} // namespace hnasjson
