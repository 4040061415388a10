#pragma once

// The opening every response reader runs before it reads its keys.

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "json/JsonReader.h"

namespace hnasjson {

// Logs and refuses an empty text ("Empty JSON response"), logs the text at
// level 4, parses it and logs and refuses a text whose root is empty ("Error
// when parsing the JSON response [%s]"). True when `document` holds a root
// object with members. Never throws.
bool openResponse(const char* function, unsigned long long jobId, const std::string& response,
                  JsonDocument& document) noexcept;

// Reserves room for the records of `array`, bounded so that a long array of
// elements that fail to read cannot make a large allocation.
template <typename Record> void reserveFor(std::vector<Record>& parsed, const JsonArray& array) {
    const std::size_t kMaxReserved = 65536;
    const std::size_t hint = array.sizeHint();
    parsed.reserve(hint < kMaxReserved ? hint : kMaxReserved);
}

// Appends the records of one successful parse to what a listing holds.
template <typename Record>
void appendParsed(std::vector<Record>& held, std::vector<Record>& parsed) {
    if (held.empty()) {
        held.swap(parsed);
    } else {
        held.insert(held.end(), std::make_move_iterator(parsed.begin()),
                    std::make_move_iterator(parsed.end()));
    }
}

} // namespace hnasjson
