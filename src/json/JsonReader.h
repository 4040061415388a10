#pragma once

// Small reading layer over simdjson's DOM used by every response parser.
//
// A JsonDocument parses one response text. Its root is an object with at
// least one member, or else it is "empty": the text was not a JSON object, was
// malformed, or was "{}". Values handed out by the document are views that
// stay valid only while the document lives; strings are copied out.
//
// Presence tests (hasString, hasArray, hasObject) are typed: they are false
// for a key that holds a value of another type. Reads (readString, ...) are
// the required reads: a missing key or a value of another type gives false.
// When an object carries a key more than once, the first occurrence counts.
//
// Numbers are converted by truncation toward zero, saturating at the limits
// of the target type (0 for negative values read into an unsigned field).
// Integers are taken exactly, so 2^63 and above stay exact in 64 bits.
// Integer literals beyond the 64-bit range and floats beyond the double range
// are accepted and saturate as well.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <simdjson.h>

namespace hnasjson {

class JsonObject;
class JsonArray;

// One JSON value of a document, or "absent" when default-constructed.
class JsonValue {
public:
    JsonValue() = default;
    explicit JsonValue(simdjson::dom::element element) : element_(element), present_(true) {}

    bool present() const { return present_; }
    bool isString() const { return is(simdjson::dom::element_type::STRING); }
    bool isObject() const { return is(simdjson::dom::element_type::OBJECT); }
    bool isArray() const { return is(simdjson::dom::element_type::ARRAY); }

    // Each returns false, leaving `out` untouched, when the value has another type.
    bool toString(std::string& out) const;
    bool toObject(JsonObject& out) const;
    bool toArray(JsonArray& out) const;
    bool toBool(bool& out) const;
    bool toUInt64(unsigned long long& out) const;
    bool toInt32(int& out) const;

private:
    bool is(simdjson::dom::element_type type) const { return present_ && element_.type() == type; }

    simdjson::dom::element element_;
    bool present_ = false;
};

// A JSON object; default-constructed it has no members.
class JsonObject {
public:
    JsonObject() = default;
    explicit JsonObject(simdjson::dom::object object) : object_(object), valid_(true) {}

    bool empty() const { return !valid_ || object_.begin() == object_.end(); }

    bool hasString(std::string_view key) const;
    bool hasArray(std::string_view key) const;
    bool hasObject(std::string_view key) const;

    bool readString(std::string_view key, std::string& out) const;
    bool readBool(std::string_view key, bool& out) const;
    bool readUInt64(std::string_view key, unsigned long long& out) const;
    bool readInt32(std::string_view key, int& out) const;
    bool readObject(std::string_view key, JsonObject& out) const;
    bool readArray(std::string_view key, JsonArray& out) const;

    // The value of `key`, of any type; false when the key is absent.
    bool find(std::string_view key, JsonValue& out) const;

    // Looks up several keys in one pass over the members: values[i] receives
    // the first member named keys[i], or stays absent. Returns the number of
    // keys found. Cheaper than one find() per key on objects read whole.
    std::size_t lookup(const std::string_view* keys, JsonValue* values, std::size_t count) const;
    template <std::size_t N>
    bool lookupAll(const std::string_view (&keys)[N], JsonValue (&values)[N]) const {
        return lookup(keys, values, N) == N;
    }

private:
    simdjson::dom::object object_;
    bool valid_ = false;
};

// A JSON array, iterated in order; default-constructed it is empty.
class JsonArray {
public:
    class Iterator {
    public:
        Iterator() = default; // the begin and end of an array that is not there
        explicit Iterator(simdjson::dom::array::iterator it) : it_(it) {}
        JsonValue operator*() const { return JsonValue(*it_); }
        Iterator& operator++() {
            ++it_;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return it_ != other.it_; }

    private:
        simdjson::dom::array::iterator it_;
    };

    JsonArray() = default;
    explicit JsonArray(simdjson::dom::array array) : array_(array), valid_(true) {}

    bool empty() const { return !valid_ || array_.begin() == array_.end(); }
    // Number of elements; linear in the array's length.
    std::size_t size() const;
    // Number of elements, read in constant time; saturates at 2^24 - 1, so
    // it serves to reserve room, not to count.
    std::size_t sizeHint() const { return valid_ ? array_.size() : 0; }
    // The first element; false when the array is empty.
    bool first(JsonValue& out) const;

    Iterator begin() const { return valid_ ? Iterator(array_.begin()) : Iterator(); }
    Iterator end() const { return valid_ ? Iterator(array_.end()) : Iterator(); }

private:
    simdjson::dom::array array_;
    bool valid_ = false;
};

// Parses one response text. One parser per thread is reused from document to
// document; a document opened while another one is alive on the same thread
// gets a parser of its own.
class JsonDocument {
public:
    JsonDocument() = default;
    ~JsonDocument();
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // Parses `text`; returns false when the root is empty (see above).
    // Never throws. A string with simdjson::SIMDJSON_PADDING bytes of room
    // behind its text (as the REST session leaves them) is parsed where it
    // lies; other input is first copied into a padded buffer.
    bool parse(const std::string& text) noexcept;
    bool parse(const char* data, std::size_t length) noexcept;

    const JsonObject& root() const { return root_; }

private:
    void release() noexcept;
    bool parse(const char* data, std::size_t length, bool padded) noexcept;

    simdjson::dom::parser* parser_ = nullptr;
    bool ownsParser_ = false;
    JsonObject root_;
};

// Number conversions: truncation toward zero with saturation.
unsigned long long toUInt64(double value);
int toInt32(double value);
unsigned long long toUInt64(std::int64_t value);
int toInt32(std::int64_t value);
int toInt32(std::uint64_t value);

// Rewrites the number tokens of a JSON text that simdjson refuses because
// they are out of its range (integer literals beyond the 64-bit range, floats
// beyond the double range) into values that saturate the same way: "1e300" or
// "-1e300". Everything else, strings included, is copied unchanged.
std::string saturateOutOfRangeNumbers(const char* data, std::size_t length);

} // namespace hnasjson
