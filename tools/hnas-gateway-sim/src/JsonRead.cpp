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

std::optional<std::string> JsonFields::string(const char* key) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    std::string_view text;
    if (value->get_string().get(text) != simdjson::SUCCESS)
        wrongType(key, "a string");
    return std::string(text);
}

std::string JsonFields::requiredString(const char* key) const {
    auto text = string(key);
    if (!text)
        throw BadInput("member \"" + std::string(key) + "\" of " + where_ + " is missing");
    return *text;
}

std::optional<std::uint64_t> JsonFields::unsignedNumber(const char* key) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    std::uint64_t u = 0;
    if (value->get_uint64().get(u) == simdjson::SUCCESS)
        return u;
    double d = 0;
    if (value->get_double().get(d) == simdjson::SUCCESS && d >= 0 && d < 1.8446744073709552e19 &&
        std::floor(d) == d)
        return static_cast<std::uint64_t>(d);
    wrongType(key, "a non-negative integer");
}

std::optional<std::int64_t> JsonFields::integer(const char* key) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    std::int64_t i = 0;
    if (value->get_int64().get(i) == simdjson::SUCCESS)
        return i;
    double d = 0;
    if (value->get_double().get(d) == simdjson::SUCCESS && std::fabs(d) < 9.2e18 &&
        std::floor(d) == d)
        return static_cast<std::int64_t>(d);
    wrongType(key, "an integer");
}

std::optional<bool> JsonFields::boolean(const char* key) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    bool b = false;
    if (value->get_bool().get(b) != simdjson::SUCCESS)
        wrongType(key, "true or false");
    return b;
}

std::optional<simdjson::dom::object> JsonFields::object(const char* key) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    simdjson::dom::object o;
    if (value->get_object().get(o) != simdjson::SUCCESS)
        wrongType(key, "an object");
    return o;
}

std::optional<simdjson::dom::array> JsonFields::array(const char* key) const {
    auto value = find(key);
    if (!value)
        return std::nullopt;
    simdjson::dom::array a;
    if (value->get_array().get(a) != simdjson::SUCCESS)
        wrongType(key, "an array");
    return a;
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
