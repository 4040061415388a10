#include "JsonRead.h"

#include <cmath>

namespace hnasgwsim {

JsonFields::JsonFields(simdjson::dom::element element, std::string where)
    : where_(std::move(where)) {
    if (element.get_object().get(object_) != simdjson::SUCCESS)
        throw BadInput(where_ + " is not a JSON object");
}

std::optional<simdjson::dom::element> JsonFields::find(const char* key) const {
    simdjson::dom::element value;
    if (object_[key].get(value) != simdjson::SUCCESS)
        return std::nullopt;
    return value;
}

void JsonFields::wrongType(const char* key, const char* expected) const {
    throw BadInput("member \"" + std::string(key) + "\" of " + where_ + " must be " + expected);
}

bool JsonFields::has(const char* key) const {
    return find(key).has_value();
}

// The member `key` as read by `get` (the simdjson getter of one type);
// nothing when it is absent, BadInput when it has another type.
template <typename T, typename Get>
std::optional<T> JsonFields::typed(const char* key, const char* expected, Get get) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    T out{};
    if (get(*value).get(out) != simdjson::SUCCESS)
        wrongType(key, expected);
    return out;
}

std::optional<std::string> JsonFields::string(const char* key) const {
    auto text = typed<std::string_view>(key, "a string",
                                        [](simdjson::dom::element e) { return e.get_string(); });
    if (!text)
        return std::nullopt;
    return std::string(*text);
}

std::string JsonFields::requiredString(const char* key) const {
    auto text = string(key);
    if (!text)
        throw BadInput("member \"" + std::string(key) + "\" of " + where_ + " is missing");
    return *text;
}

// An integer member: read as `get` reads it, or from a double that is a whole
// number for which `fits` holds (documents written with 1e3 or 1000.0).
template <typename T, typename Get, typename Fits>
std::optional<T> JsonFields::whole(const char* key, const char* expected, Get get,
                                   Fits fits) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    T n = 0;
    if (get(*value).get(n) == simdjson::SUCCESS)
        return n;
    double d = 0;
    if (value->get_double().get(d) == simdjson::SUCCESS && fits(d) && std::floor(d) == d)
        return static_cast<T>(d);
    wrongType(key, expected);
}

std::optional<std::uint64_t> JsonFields::unsignedNumber(const char* key) const {
    return whole<std::uint64_t>(
        key, "a non-negative integer", [](simdjson::dom::element e) { return e.get_uint64(); },
        [](double d) { return d >= 0 && d < 1.8446744073709552e19; });
}

std::optional<std::int64_t> JsonFields::integer(const char* key) const {
    return whole<std::int64_t>(
        key, "an integer", [](simdjson::dom::element e) { return e.get_int64(); },
        [](double d) { return std::fabs(d) < 9.2e18; });
}

std::optional<bool> JsonFields::boolean(const char* key) const {
    return typed<bool>(key, "true or false", [](simdjson::dom::element e) { return e.get_bool(); });
}

std::optional<simdjson::dom::object> JsonFields::object(const char* key) const {
    return typed<simdjson::dom::object>(key, "an object",
                                        [](simdjson::dom::element e) { return e.get_object(); });
}

std::optional<simdjson::dom::array> JsonFields::array(const char* key) const {
    return typed<simdjson::dom::array>(key, "an array",
                                       [](simdjson::dom::element e) { return e.get_array(); });
}

simdjson::dom::element parseObject(simdjson::dom::parser& parser, const std::string& text) {
    simdjson::dom::element root;
    auto error = parser.parse(text).get(root);
    if (error != simdjson::SUCCESS)
        throw BadInput(std::string("the body is not valid JSON: ") +
                       simdjson::error_message(error));
    if (root.type() != simdjson::dom::element_type::OBJECT)
        throw BadInput("the body is not a JSON object");
    return root;
}

} // namespace hnasgwsim
