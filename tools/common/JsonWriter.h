#pragma once

// A writer of JSON text into a string, compact for the wire or indented for
// people. Strings are escaped by appendJsonString.

#include <string>
#include <type_traits>
#include <vector>

#include <boost/preprocessor/seq/for_each.hpp>
#include <boost/preprocessor/stringize.hpp>
#include <boost/preprocessor/variadic/to_seq.hpp>

#include "common/TextEscape.h"

namespace hnastools {

class JsonWriter {
public:
    enum class Layout {
        Compact,  // {"a":1,"b":[true]}
        Indented, // two spaces per level, one member or element per line
    };

    explicit JsonWriter(Layout layout = Layout::Compact,
                        InvalidUtf8 invalid = InvalidUtf8::Replace);

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text) { return value(std::string(text ? text : "")); }
    JsonWriter& value(bool flag);
    JsonWriter& value(double number); // not finite: null
    template <typename T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
    JsonWriter& value(T number) {
        return raw(std::to_string(number));
    }
    JsonWriter& null() { return raw("null"); }
    JsonWriter& raw(const std::string& json); // a value already in JSON form
    JsonWriter& stringArray(const std::vector<std::string>& items);

    // Shorthand for key(name).value(v).
    template <typename T> JsonWriter& member(const std::string& name, const T& v) {
        key(name);
        return value(v);
    }

    const std::string& str() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    void beforeValue();
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    void newline();

    Layout layout_;
    InvalidUtf8 invalid_;
    std::string out_;
    std::vector<bool> empty_; // per open container: nothing written into it yet
    bool afterKey_ = false;
};

} // namespace hnastools

// HNASTOOLS_JSON_FIELDS(writer, record, a, b, ...) writes the members "a",
// "b", ... into the object open in `writer`, each the field of `record` it
// names, in that order; it is `writer` again, for more to follow.
#define HNASTOOLS_JSON_FIELD(r, record, field) .member(BOOST_PP_STRINGIZE(field), (record).field)
#define HNASTOOLS_JSON_FIELDS(writer, record, ...)                                                 \
    (writer)                                                                                       \
        BOOST_PP_SEQ_FOR_EACH(HNASTOOLS_JSON_FIELD, record, BOOST_PP_VARIADIC_TO_SEQ(__VA_ARGS__))
