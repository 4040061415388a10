#pragma once

// Compact JSON documents, written by the tools' shared writer. The simulator
// passes the array's bytes on as they are, valid UTF-8 or not.

#include <string>

#include "common/JsonWriter.h"

namespace hnasgwsim {

class JsonWriter : public hnastools::JsonWriter {
public:
    JsonWriter() : hnastools::JsonWriter(Layout::Compact, hnastools::InvalidUtf8::Keep) {}
};

inline std::string jsonString(const std::string& text) {
    return hnastools::jsonString(text, hnastools::InvalidUtf8::Keep);
}

} // namespace hnasgwsim
