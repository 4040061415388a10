#pragma once

// The field tables of the records: one row per JSON key (key, member, kind,
// whether a record without it is refused, where the field is used), from
// which the readers and the request-body writers work. A record's table is
// Schema<Record>::fields (json/Schemas.h), a tuple of Field rows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace hnasmgmt::json {

// How a field's value is written in JSON and read into its member.
enum class Kind {
    Text,        // a string
    EscapedText, // a string, stored with every backslash doubled
    Flag,        // true or false
    Number,      // a number, truncated toward zero and saturated into the member
    Texts,       // an array of strings, appended to the member
    FirstText,   // an array whose first element, a string, is taken (if any)
    Object,      // an object read into a record with its own table
};

// Where a field is used (a mask): the documents read, the answer to a
// creation, the bodies written for a CIFS and for an NFS share, the body
// written for the record itself.
enum Use : unsigned {
    kRead = 1u,
    kCreated = 2u,
    kCifsBody = 4u,
    kNfsBody = 8u,
    kBody = 16u,
};

enum Presence : bool { kOptional = false, kRequired = true };

template <typename Record, typename T> struct Field {
    using Member = T;
    std::string_view key;
    T Record::*member;
    Kind kind;
    Presence presence;
    unsigned use;
};

// Whether the member type `T` can hold a value of `kind`.
template <typename T> constexpr bool fits(Kind kind) {
    if constexpr (std::is_same_v<T, std::string>) {
        return kind == Kind::Text || kind == Kind::EscapedText;
    } else if constexpr (std::is_same_v<T, bool>) {
        return kind == Kind::Flag;
    } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
        return kind == Kind::Texts || kind == Kind::FirstText;
    } else if constexpr (std::is_arithmetic_v<T>) {
        return kind == Kind::Number;
    } else {
        return kind == Kind::Object;
    }
}

template <typename Record, typename T>
constexpr Field<Record, T> field(std::string_view key, T Record::*member, Kind kind,
                                 Presence presence, unsigned use = kRead) {
    return fits<T>(kind) ? Field<Record, T>{key, member, kind, presence, use}
                         : throw "the member cannot hold the field's kind";
}

template <typename Record> struct Schema; // specialised for each record (json/Schemas.h)

template <typename Record>
constexpr std::size_t kFieldCount = std::tuple_size_v<decltype(Schema<Record>::fields)>;

namespace detail {

template <typename Record, unsigned use, std::size_t... I>
constexpr std::size_t countRows(std::index_sequence<I...>) {
    return (((std::get<I>(Schema<Record>::fields).use & use) != 0 ? 1u : 0u) + ... + 0u);
}

template <typename Record, unsigned use>
constexpr std::size_t
    kRowCount = countRows<Record, use>(std::make_index_sequence<kFieldCount<Record>>());

template <typename Record, unsigned use, std::size_t... I>
constexpr std::array<std::size_t, kRowCount<Record, use>> pickRows(std::index_sequence<I...>) {
    std::array<std::size_t, kRowCount<Record, use>> rows{};
    std::size_t n = 0;
    ((void)((std::get<I>(Schema<Record>::fields).use & use) != 0 ? (rows[n++] = I, 0) : 0), ...);
    return rows;
}

template <typename Record, unsigned use>
constexpr std::array<std::size_t, kRowCount<Record, use>>
    kRows = pickRows<Record, use>(std::make_index_sequence<kFieldCount<Record>>());

template <typename Record, unsigned use, std::size_t... I>
constexpr std::array<std::string_view, sizeof...(I)> keyList(std::index_sequence<I...>) {
    return {std::get<kRows<Record, use>[I]>(Schema<Record>::fields).key...};
}

template <typename Record, unsigned use, std::size_t... I>
constexpr std::uint32_t requiredOf(std::index_sequence<I...>) {
    return ((std::get<kRows<Record, use>[I]>(Schema<Record>::fields).presence ? (1u << I) : 0u) |
            ... | 0u);
}

} // namespace detail

// The rows of Record's table used in `use`, in table order: their keys, the
// mask of the required ones, and visits of one row or all of them.
template <typename Record, unsigned use> struct Selection {
    static constexpr std::size_t size = detail::kRowCount<Record, use>;
    static_assert(size > 0 && size < 32, "between 1 and 31 fields");
    static constexpr std::array<std::string_view, size> keys =
        detail::keyList<Record, use>(std::make_index_sequence<size>());
    // Bit i for the i-th selected row when a record without it is refused.
    static constexpr std::uint32_t required =
        detail::requiredOf<Record, use>(std::make_index_sequence<size>());

    // Calls visit(row) with the i-th selected row.
    template <typename Visit> static void at(std::size_t i, Visit&& visit) {
        atImpl(i, visit, std::make_index_sequence<size>());
    }
    // Calls visit(row) with every selected row.
    template <typename Visit> static void each(Visit&& visit) {
        eachImpl(visit, std::make_index_sequence<size>());
    }

private:
    template <std::size_t I> static constexpr const auto& row() {
        return std::get<detail::kRows<Record, use>[I]>(Schema<Record>::fields);
    }
    template <typename Visit, std::size_t... I>
    static void atImpl(std::size_t i, Visit& visit, std::index_sequence<I...>) {
        (void)((i == I ? (visit(row<I>()), true) : false) || ...);
    }
    template <typename Visit, std::size_t... I>
    static void eachImpl(Visit& visit, std::index_sequence<I...>) {
        (visit(row<I>()), ...);
    }
};

} // namespace hnasmgmt::json
