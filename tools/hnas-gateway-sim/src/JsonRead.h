#pragma once

// Typed reading of parsed JSON objects (simdjson DOM). Every read of a member
// that is present with another type throws BadInput naming the member.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include <simdjson.h>

namespace hnasgwsim {

struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class JsonFields {
public:
    explicit JsonFields(simdjson::dom::element element, std::string where = "document");
    JsonFields(simdjson::dom::object object, std::string where)
        : object_(object), where_(std::move(where)) {}

    bool has(const char* key) const;
    std::optional<std::string> string(const char* key) const;
    std::string requiredString(const char* key) const;
    std::optional<std::uint64_t> unsignedNumber(const char* key) const;
    std::optional<std::int64_t> integer(const char* key) const;
    std::optional<bool> boolean(const char* key) const;
    std::optional<simdjson::dom::object> object(const char* key) const;
    std::optional<simdjson::dom::array> array(const char* key) const;

    const std::string& where() const { return where_; }

private:
    std::optional<simdjson::dom::element> find(const char* key) const;
    [[noreturn]] void wrongType(const char* key, const char* expected) const;
    template <typename T, typename Get>
    std::optional<T> typed(const char* key, const char* expected, Get get) const;
    template <typename T, typename Get, typename Fits>
    std::optional<T> whole(const char* key, const char* expected, Get get, Fits fits) const;

    simdjson::dom::object object_;
    std::string where_;
};

// Parses `text`, which must be one JSON object; throws BadInput otherwise.
// The returned element lives as long as `parser` and its next parse.
simdjson::dom::element parseObject(simdjson::dom::parser& parser, const std::string& text);

} // namespace hnasgwsim
