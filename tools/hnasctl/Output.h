#pragma once

// Output of hnasctl: aligned tables for people, JSON for scripts.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace hnasctl {

// Makes a text safe for a terminal: control characters become \n, \t, \xNN
// and the backslash is kept as it is. Invalid UTF-8 bytes become \xNN.
std::string printable(const std::string& text);

// Number of terminal columns a printable text takes (UTF-8 code points).
size_t displayWidth(const std::string& text);

// A table with a header row; columns are padded to the widest cell.
class Table {
public:
    explicit Table(std::vector<std::string> headers);
    void addRow(std::vector<std::string> cells);
    bool empty() const { return rows_.empty(); }
    void print(std::ostream& out) const;

private:
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
};

// Two columns, field and value, without a header.
class KeyValueTable {
public:
    void add(const std::string& key, const std::string& value);
    void print(std::ostream& out) const;

private:
    std::vector<std::pair<std::string, std::string>> rows_;
};

// Writes JSON text with two-space indentation. Strings are escaped as JSON
// requires; bytes that are not valid UTF-8 become U+FFFD.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out);
    ~JsonWriter();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text);
    JsonWriter& value(bool flag);
    JsonWriter& value(int number);
    JsonWriter& value(long long number);
    JsonWriter& value(unsigned long long number);
    JsonWriter& null();
    // Shorthand for key(name).value(v).
    template <typename T> JsonWriter& field(const std::string& name, const T& v) {
        key(name);
        return value(v);
    }
    JsonWriter& stringArray(const std::string& name, const std::vector<std::string>& items);

    // The JSON text of one string, quotes included.
    static std::string quote(const std::string& text);

private:
    void beforeValue();
    void newline();
    std::ostream& out_;
    struct Level {
        bool object;
        size_t count;
    };
    std::vector<Level> stack_;
    bool afterKey_ = false;
    bool started_ = false;
};

} // namespace hnasctl
