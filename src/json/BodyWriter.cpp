// The writer of the request bodies.

#include "json/BodyWriter.h"

#include <utility>

#include "hnasmgmt/host/DbgTrace.h"
#include "json/JsonText.h"

namespace hnasmgmt::json {

void ObjectWriter::key(const char* key) {
    if (out_.size() > 1) {
        out_ += ", ";
    }
    out_ += '"';
    out_ += key;
    out_ += "\":";
}

ObjectWriter& ObjectWriter::text(const char* key, const std::string& value) {
    this->key(key);
    out_ += '"';
    out_ += value;
    out_ += '"';
    return *this;
}

ObjectWriter& ObjectWriter::bare(const char* key, const std::string& value) {
    this->key(key);
    out_ += value;
    return *this;
}

ObjectWriter& ObjectWriter::flag(const char* key, bool value) {
    this->key(key);
    out_ += value ? "true" : "false";
    return *this;
}

ObjectWriter& ObjectWriter::member(const char* key, int value) {
    return bare(key, jsonInteger(value));
}

std::string ObjectWriter::close(const char* end) {
    out_ += end;
    return std::move(out_);
}

void logInvalidParameters(const char* function, unsigned long long jobId) noexcept {
    DbgTrace trace(nullptr);
    trace.DebugLvl(function, -1, static_cast<long long>(jobId), "Invalid parameters!!");
}

} // namespace hnasmgmt::json
