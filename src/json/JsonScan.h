#pragma once

// One pass over a response document with simdjson's On-Demand API, through
// which every reader takes what it needs straight into its records.
//
// The pass checks the whole text as it goes: a document is refused as a
// whole when it is not valid JSON anywhere, in members that no reader looks
// at and after the root as well, exactly as a full parse refuses it. Readers
// therefore consume every value they meet: they read it or skip() it, and
// skip() checks what it drops.
//
// - Typed reads (read(value, out)) leave `out` untouched and return false when
//   the value has another type; the value is skipped then.
// - When an object carries a key more than once, the first occurrence counts;
//   the later ones are checked and skipped. Keys are compared after their
//   escapes are decoded.
// - Numbers are converted by truncation toward zero, saturating at the limits
//   of the target type (0 for negative values read into an unsigned field).
//   Integers are taken exactly, so 2^63 and above stay exact in 64 bits.
//   Integer literals beyond the 64-bit range and floats beyond the double
//   range are accepted and saturate as well.
// - Strings are decoded with their embedded NUL characters.
// - Values nested deeper than 64 levels (the root object is level 1) make
//   the document invalid.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include <simdjson.h>

namespace hnasmgmt::json {

using JsonValue = simdjson::ondemand::value;
using JsonObject = simdjson::ondemand::object;

class JsonScan {
public:
    JsonScan() = default;
    ~JsonScan();
    JsonScan(const JsonScan&) = delete;
    JsonScan& operator=(const JsonScan&) = delete;

    // Starts the pass over `text` and hands out its root object; false when
    // the text is not valid JSON with an object at its root. A string with
    // simdjson::SIMDJSON_PADDING bytes of room behind its text (as the REST
    // session leaves them) is read where it lies; other text is first copied.
    bool start(const std::string& text, JsonObject& root) noexcept;
    // Ends the pass: true when the whole text was valid, the root object had
    // members and nothing but white space follows it.
    bool finish() noexcept;
    // False once the pass has met text that is not valid JSON.
    bool valid() const { return valid_; }

    // Reads `value` into `out` when it has out's JSON type (string, boolean,
    // number, number); otherwise skips it and returns false.
    bool read(JsonValue& value, std::string& out);
    bool read(JsonValue& value, bool& out);
    bool read(JsonValue& value, unsigned long long& out);
    bool read(JsonValue& value, int& out);
    // Checks and drops `value`.
    void skip(JsonValue& value);

    // True when `value` is of the given type; false (and nothing consumed) otherwise.
    bool is(JsonValue& value, simdjson::ondemand::json_type type);

    // Visits the members of `object` in order: onField(i, value) for the first
    // member named keys[i] (it must consume the value and returns whether it
    // read it), skip() for every other member. Returns the mask of the keys
    // whose onField returned true (bit i for keys[i]; at most 32 keys).
    // `keys` is an array of std::string_view.
    template <typename Keys, typename OnField>
    std::uint32_t fields(JsonObject& object, const Keys& keys, OnField&& onField) {
        return visitFields(object, std::data(keys), std::size(keys),
                           [&](std::size_t i, JsonValue& v) { return onField(i, v); });
    }
    // The same for an object value; false and skipped when it is not an object.
    template <typename Keys, typename OnField>
    std::uint32_t fields(JsonValue& value, const Keys& keys, OnField&& onField) {
        JsonObject object;
        if (!take(value, simdjson::ondemand::json_type::object, object,
                  [](JsonValue& v) { return v.get_object(); })) {
            return 0;
        }
        return fields(object, keys, onField);
    }

    // Visits the elements of the array `value` in order with onElement(value),
    // which must consume each one. False, and the value skipped, when it is
    // not an array.
    template <typename OnElement> bool elements(JsonValue& value, OnElement&& onElement) {
        return elements(value, onElement, [](std::size_t) {});
    }
    // The same, telling onRoom(n) once, when the second element starts, how
    // many elements may follow: the rest of the text divided by the first
    // element's length, bounded so that it serves to reserve room. (Counting
    // them would cost a pass over the array.)
    template <typename OnElement, typename OnRoom>
    bool elements(JsonValue& value, OnElement&& onElement, OnRoom&& onRoom) {
        simdjson::ondemand::array array;
        if (!enterArray(value, array)) {
            return false;
        }
        const char* first = nullptr;
        std::size_t index = 0;
        for (auto item : array) {
            if (item.error() != simdjson::SUCCESS) {
                valid_ = false;
                break;
            }
            JsonValue& element = item.value_unsafe();
            if (index < 2 && ++index == 1) {
                first = element.raw_json_token().data();
            } else if (index == 2) {
                index = 3;
                onRoom(room(first, element.raw_json_token().data()));
            }
            onElement(element);
            if (!valid_) {
                break;
            }
        }
        --level_;
        return true;
    }

    // Members of the object that the last fields() call visited.
    std::size_t members() const { return members_; }

private:
    template <typename OnField>
    std::uint32_t visitFields(JsonObject& object, const std::string_view* keys, std::size_t count,
                              OnField&& onField) {
        std::uint32_t seen = 0;
        std::uint32_t read = 0;
        std::size_t members = 0;
        ++level_;
        for (auto item : object) {
            if (item.error() != simdjson::SUCCESS) {
                valid_ = false;
                break;
            }
            simdjson::ondemand::field& field = item.value_unsafe();
            ++members;
            const std::size_t i = match(field, keys, count);
            JsonValue& value = field.value();
            if (i < count && (seen & (1u << i)) == 0) {
                seen |= 1u << i;
                if (onField(i, value)) {
                    read |= 1u << i;
                }
            } else {
                skip(value);
            }
            if (!valid_) {
                break;
            }
        }
        --level_;
        members_ = members;
        return read;
    }

    // Gets `value` into `out` with get(value) when it is of `type`. False, and
    // the value skipped, when it is of another type; false, and the text
    // invalid, when get() fails.
    template <typename T, typename Get>
    bool take(JsonValue& value, simdjson::ondemand::json_type type, T& out, Get get) {
        if (!is(value, type)) {
            skip(value);
            return false;
        }
        if (get(value).get(out) != simdjson::SUCCESS) {
            valid_ = false;
            return false;
        }
        return true;
    }
    // Index of the key in `keys` that names `field`, or `count` for none.
    std::size_t match(simdjson::ondemand::field& field, const std::string_view* keys,
                      std::size_t count) {
        // A key written without escapes matches when its bytes do; the text
        // is padded, so reading a wanted key's length past a shorter key is
        // safe.
        const char* raw = field.key().raw();
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view key = keys[i];
            if (raw[0] == key[0] && std::memcmp(raw, key.data(), key.size()) == 0 &&
                raw[key.size()] == '"') {
                return i;
            }
        }
        return plainEnd(raw) != nullptr ? count : matchEscaped(field, keys, count);
    }
    // The same for a key with escapes: decoded (which checks them), then
    // compared whole.
    std::size_t matchEscaped(simdjson::ondemand::field& field, const std::string_view* keys,
                             std::size_t count);
    bool enterArray(JsonValue& value, simdjson::ondemand::array& array);
    std::size_t room(const char* first, const char* second) const;
    // The closing quote of the string whose text starts at `start`, when the
    // text has no escape; nullptr otherwise. (The first pass checked that
    // every string is closed.)
    static const char* plainEnd(const char* start) {
        while (*start != '"' && *start != '\\') {
            ++start;
        }
        return *start == '"' ? start : nullptr;
    }
    bool string(JsonValue& value, std::string_view& out);
    struct Number;
    bool number(JsonValue& value, Number& out);
    bool readNumber(JsonValue& value, Number& out);
    void release() noexcept;

    simdjson::ondemand::parser* parser_ = nullptr;
    bool ownsParser_ = false;
    simdjson::padded_string copy_;
    simdjson::ondemand::document document_;
    const char* end_ = nullptr; // the end of the text read
    bool valid_ = false;
    int level_ = 0;
    std::size_t members_ = 0;
};

// The mask fields() returns when it read every one of `keys`.
template <typename Keys> constexpr std::uint32_t allOf(const Keys& keys) {
    return (1u << std::size(keys)) - 1;
}

// Number conversions: truncation toward zero with saturation.
unsigned long long toUInt64(double value);
int toInt32(double value);
unsigned long long toUInt64(std::int64_t value);
int toInt32(std::int64_t value);
int toInt32(std::uint64_t value);

// The value of `token` (a number and the white space after it) when it is one
// valid JSON number that simdjson's On-Demand reader refuses: an integer
// beyond the 64-bit range or a float beyond the double range (both give
// +-1e300, which saturates every conversion), or a float whose exponent has
// many digits (read here). False when `token` is not one JSON number.
bool numberBeyondReader(std::string_view token, double& value);

} // namespace hnasmgmt::json
