// One checked pass over a response document with simdjson's On-Demand API.

#include "json/JsonScan.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <new>

namespace hnasmgmt::json {

using simdjson::SUCCESS;
using simdjson::ondemand::json_type;

namespace {

// 2^64 and 2^31 as doubles, both exact.
constexpr double kTwoPow64 = 18446744073709551616.0;
constexpr double kTwoPow31 = 2147483648.0;

// The deepest level a value may sit at; the root object is level 1. The
// array's documents nest a handful of levels; skip() recurses once per level,
// so the limit also bounds the stack a hostile answer can make it use (a
// thread may have as little as 128 KiB).
constexpr int kMaxLevel = 64;
// The depth the parser is set up for: the pass stops before it goes deeper.
constexpr std::size_t kParserDepth = kMaxLevel + 8;

// Elements reserved for ahead of a listing at most, so that a long array of
// elements that fail to read cannot make a large allocation.
constexpr std::size_t kMaxReserved = 65536;

// The thread's parser keeps its buffers from one document to the next. After
// a document larger than this it gives them back, so that one huge answer
// does not pin tens of megabytes to the thread for good.
constexpr std::size_t kKeptCapacity = 16u * 1024u * 1024u;

struct ThreadParser {
    simdjson::ondemand::parser parser;
    bool busy = false;
};

ThreadParser& threadParser() {
    thread_local ThreadParser instance;
    return instance;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Digits of `digits` (no sign, no leading zero) compared with `limit`: true
// when the value does not exceed the limit.
bool fitsLimit(std::string_view digits, std::string_view limit) {
    if (digits.size() != limit.size()) {
        return digits.size() < limit.size();
    }
    return digits <= limit;
}

} // namespace

struct JsonScan::Number {
    simdjson::ondemand::number_type type = simdjson::ondemand::number_type::signed_integer;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0.0;
};

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

namespace {

// The parts of a JSON number literal, as written.
struct NumberParts {
    bool negative = false;
    bool isInteger = true;
    std::string_view intDigits;
    std::string_view fracDigits;
    long long exponent = 0; // clamped near a million digits' worth
    std::size_t end = 0;    // one past the literal's last character
};

std::size_t skipDigits(const char* data, std::size_t length, std::size_t p) {
    while (p < length && isDigit(data[p])) {
        ++p;
    }
    return p;
}

// Reads an exponent's sign and digits from `p` (just past the 'e'); false when there are none.
bool readExponent(const char* data, std::size_t length, std::size_t& p, long long& exponent) {
    bool negativeExponent = false;
    if (p < length && (data[p] == '+' || data[p] == '-')) {
        negativeExponent = data[p] == '-';
        ++p;
    }
    const std::size_t expStart = p;
    while (p < length && isDigit(data[p])) {
        if (exponent < 1000000) {
            exponent = exponent * 10 + (data[p] - '0');
        }
        ++p;
    }
    if (p == expStart) {
        return false;
    }
    if (negativeExponent) {
        exponent = -exponent;
    }
    return true;
}

// Splits `token` into its parts; false when it is not one JSON number (trailing blanks allowed).
bool splitNumber(std::string_view token, NumberParts& parts) {
    const char* data = token.data();
    const std::size_t length = token.size();
    std::size_t p = 0;
    parts.negative = p < length && data[p] == '-';
    if (parts.negative) {
        ++p;
    }
    const std::size_t intStart = p;
    p = skipDigits(data, length, p);
    parts.intDigits = std::string_view(data + intStart, p - intStart);
    if (p < length && data[p] == '.') {
        parts.isInteger = false;
        const std::size_t fracStart = ++p;
        p = skipDigits(data, length, p);
        parts.fracDigits = std::string_view(data + fracStart, p - fracStart);
        if (parts.fracDigits.empty()) {
            return false;
        }
    }
    if (p < length && (data[p] == 'e' || data[p] == 'E')) {
        parts.isInteger = false;
        ++p;
        if (!readExponent(data, length, p, parts.exponent)) {
            return false;
        }
    }
    parts.end = p;
    for (std::size_t rest = p; rest < length; ++rest) {
        if (!isSpace(data[rest])) {
            return false; // not one number
        }
    }
    const std::string_view intDigits = parts.intDigits;
    return !intDigits.empty() && !(intDigits.size() > 1 && intDigits[0] == '0');
}

// Decimal order of magnitude of a float.
long long decimalOrder(const NumberParts& parts) {
    if (parts.intDigits != "0") {
        return static_cast<long long>(parts.intDigits.size()) - 1 + parts.exponent;
    }
    const std::size_t firstNonZero = parts.fracDigits.find_first_not_of('0');
    return firstNonZero == std::string_view::npos
               ? 0
               : -static_cast<long long>(firstNonZero) - 1 + parts.exponent;
}

} // namespace

bool numberBeyondReader(std::string_view token, double& value) {
    NumberParts parts;
    if (!splitNumber(token, parts)) {
        return false;
    }
    const double saturated = parts.negative ? -1e300 : 1e300;
    if (parts.isInteger) {
        value = saturated; // beyond 64 bits: the only integer the reader refuses
        return parts.negative ? !fitsLimit(parts.intDigits, "9223372036854775808")
                              : !fitsLimit(parts.intDigits, "18446744073709551615");
    }
    if (decimalOrder(parts) >= 300) {
        value = saturated;
        return true;
    }
    // An exponent of many digits: read it here (too small to hold gives 0).
    value = 0.0;
    std::from_chars(token.data(), token.data() + parts.end, value);
    return true;
}

// --- the pass ---

JsonScan::~JsonScan() {
    release();
}

void JsonScan::release() noexcept {
    document_ = simdjson::ondemand::document();
    if (parser_ == nullptr) {
        return;
    }
    if (ownsParser_) {
        delete parser_;
    } else {
        ThreadParser& shared = threadParser();
        if (shared.parser.capacity() > kKeptCapacity) {
            shared.parser = simdjson::ondemand::parser();
        }
        shared.busy = false;
    }
    parser_ = nullptr;
    ownsParser_ = false;
}

bool JsonScan::start(const std::string& text, JsonObject& root) noexcept {
    release();
    valid_ = false;
    level_ = 0;
    members_ = 0;
    ThreadParser& shared = threadParser();
    if (!shared.busy) {
        shared.busy = true;
        parser_ = &shared.parser;
    } else {
        // A document read while another one is open on this thread.
        parser_ = new (std::nothrow) simdjson::ondemand::parser();
        if (parser_ == nullptr) {
            return false;
        }
        ownsParser_ = true;
    }
    simdjson::error_code error = SUCCESS;
    if (parser_->max_depth() < kParserDepth &&
        parser_->allocate(text.size(), kParserDepth) != SUCCESS) {
        return false;
    }
    // The bytes up to capacity() belong to the string and may be read.
    if (text.capacity() - text.size() >= simdjson::SIMDJSON_PADDING) {
        error = parser_->iterate(text.data(), text.size(), text.capacity()).get(document_);
        end_ = text.data() + text.size();
    } else {
        copy_ = simdjson::padded_string(text.data(), text.size());
        if (copy_.size() != text.size()) {
            return false; // no memory for the copy
        }
        error = parser_->iterate(copy_).get(document_);
        end_ = copy_.data() + copy_.size();
    }
    if (error != SUCCESS || document_.get_object().get(root) != SUCCESS) {
        return false;
    }
    valid_ = true;
    return true;
}

bool JsonScan::finish() noexcept {
    // At the end of the text, the location is out of bounds.
    return valid_ && members_ > 0 &&
           document_.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

bool JsonScan::is(JsonValue& value, json_type type) {
    json_type actual;
    if (value.type().get(actual) != SUCCESS) {
        valid_ = false;
        return false;
    }
    return actual == type;
}

std::size_t JsonScan::matchEscaped(simdjson::ondemand::field& field, const std::string_view* keys,
                                   std::size_t count) {
    // Escapes: decode the key (which checks them) and compare it whole.
    std::string_view decoded;
    if (field.unescaped_key().get(decoded) != SUCCESS) {
        valid_ = false;
        return count;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (decoded == keys[i]) {
            return i;
        }
    }
    return count;
}

bool JsonScan::enterArray(JsonValue& value, simdjson::ondemand::array& array) {
    if (!take(value, json_type::array, array, [](JsonValue& v) { return v.get_array(); })) {
        return false;
    }
    ++level_;
    return true;
}

std::size_t JsonScan::room(const char* first, const char* second) const {
    const std::size_t length = static_cast<std::size_t>(second - first);
    const std::size_t rest = static_cast<std::size_t>(end_ - second);
    const std::size_t elements = length == 0 ? 0 : rest / length + 1;
    return elements < kMaxReserved ? elements : kMaxReserved;
}

bool JsonScan::string(JsonValue& value, std::string_view& out) {
    // A string without escapes is taken where it lies; one with escapes is
    // decoded, which checks them. (The first pass checked that every string
    // is closed.) Every value is consumed: the iteration does not check what
    // follows a value it steps over.
    const char* start = value.raw_json_token().data() + 1;
    const char* end = plainEnd(start);
    simdjson::ondemand::raw_json_string consumed;
    if (end != nullptr && value.get_raw_json_string().get(consumed) == SUCCESS) {
        out = std::string_view(start, static_cast<std::size_t>(end - start));
        return true;
    }
    if (value.get_string().get(out) != SUCCESS) {
        valid_ = false;
        return false;
    }
    return true;
}

bool JsonScan::number(JsonValue& value, Number& out) {
    // Most numbers are 64-bit integers: read as one, which leaves the value
    // unconsumed when it is not. Otherwise the number's kind first, then the
    // number as that kind. (A number read as a whole, through get_number(),
    // loses floats of more than 19 digits.)
    if (value.get_int64().get(out.i) == SUCCESS) {
        out.type = simdjson::ondemand::number_type::signed_integer;
        return true;
    }
    simdjson::error_code error = value.get_number_type().get(out.type);
    if (error == SUCCESS) {
        switch (out.type) {
        case simdjson::ondemand::number_type::signed_integer:
            error = value.get_int64().get(out.i);
            break;
        case simdjson::ondemand::number_type::unsigned_integer:
            error = value.get_uint64().get(out.u);
            break;
        default:
            error = value.get_double().get(out.d);
            break;
        }
    }
    if (error == SUCCESS) {
        return true;
    }
    // A number the reader refuses although it is valid: an integer beyond 64
    // bits, a float beyond the double range (both saturate) or one with an
    // exponent of many digits. The value is left unconsumed, and the
    // iteration steps over it.
    // The iteration does not check that a colon does not follow it.
    out.type = simdjson::ondemand::number_type::floating_point_number;
    const std::string_view token = value.raw_json_token();
    if (!numberBeyondReader(token, out.d) || token.data()[token.size()] == ':') {
        valid_ = false;
        return false;
    }
    return true;
}

bool JsonScan::read(JsonValue& value, std::string& out) {
    std::string_view text;
    if (value.raw_json_token()[0] != '"') {
        skip(value);
        return false;
    }
    if (!string(value, text)) {
        return false;
    }
    out.assign(text.data(), text.size());
    return true;
}

bool JsonScan::read(JsonValue& value, bool& out) {
    bool flag = false;
    if (!take(value, json_type::boolean, flag, [](JsonValue& v) { return v.get_bool(); })) {
        return false;
    }
    out = flag;
    return true;
}

bool JsonScan::readNumber(JsonValue& value, Number& out) {
    if (!is(value, json_type::number)) {
        skip(value);
        return false;
    }
    return number(value, out);
}

bool JsonScan::read(JsonValue& value, unsigned long long& out) {
    Number n;
    if (!readNumber(value, n)) {
        return false;
    }
    out = n.type == simdjson::ondemand::number_type::signed_integer     ? toUInt64(n.i)
          : n.type == simdjson::ondemand::number_type::unsigned_integer ? n.u
                                                                        : toUInt64(n.d);
    return true;
}

bool JsonScan::read(JsonValue& value, int& out) {
    Number n;
    if (!readNumber(value, n)) {
        return false;
    }
    out = n.type == simdjson::ondemand::number_type::signed_integer     ? toInt32(n.i)
          : n.type == simdjson::ondemand::number_type::unsigned_integer ? toInt32(n.u)
                                                                        : toInt32(n.d);
    return true;
}

void JsonScan::skip(JsonValue& value) {
    json_type type;
    if (!valid_ || level_ >= kMaxLevel || value.type().get(type) != SUCCESS) {
        valid_ = false;
        return;
    }
    switch (type) {
    case json_type::object: {
        JsonObject object;
        if (value.get_object().get(object) != SUCCESS) {
            valid_ = false;
            return;
        }
        visitFields(object, nullptr, 0, [](std::size_t, JsonValue&) { return false; });
        return;
    }
    case json_type::array:
        elements(value, [this](JsonValue& element) { skip(element); });
        return;
    case json_type::string: {
        std::string_view text;
        string(value, text);
        return;
    }
    case json_type::number: {
        Number n;
        number(value, n);
        return;
    }
    case json_type::boolean: {
        bool flag = false;
        if (value.get_bool().get(flag) != SUCCESS) {
            valid_ = false;
        }
        return;
    }
    case json_type::null: {
        bool isNull = false;
        if (value.is_null().get(isNull) != SUCCESS || !isNull) {
            valid_ = false;
        }
        return;
    }
    }
    valid_ = false;
}

} // namespace hnasmgmt::json
