#pragma once

// The opening every response reader runs before it reads its keys.

#include <string>

#include "json/JsonReader.h"

namespace hnasjson {

// Logs and refuses an empty text ("Empty JSON response"), logs the text at
// level 4, parses it and logs and refuses a text whose root is empty ("Error
// when parsing the JSON response [%s]"). True when `document` holds a root
// object with members. Never throws.
bool openResponse(const char* function, unsigned long long jobId, const std::string& response,
                  JsonDocument& document) noexcept;

} // namespace hnasjson
