#pragma once

// A small writer for compact JSON documents with proper string escaping.

#include <cstdint>
#include <string>
#include <vector>

namespace hnasgwsim {

// Appends `text` as a JSON string literal (quotes included).
void appendJsonString(std::string& out, const std::string& text);
std::string jsonString(const std::string& text);

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text) { return value(std::string(text)); }
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(double number);
    JsonWriter& value(bool flag);
    JsonWriter& raw(const std::string& json); // a value already in JSON form
    JsonWriter& stringArray(const std::vector<std::string>& items);

    template <typename T> JsonWriter& member(const std::string& name, const T& v) {
        key(name);
        return value(v);
    }

    const std::string& str() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    void separate();
    std::string out_;
    std::vector<bool> first_; // per open container: no member written yet
    bool afterKey_ = false;
};

} // namespace hnasgwsim
