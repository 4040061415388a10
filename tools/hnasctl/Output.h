#pragma once

// Output of hnasctl: aligned tables or CSV for people and spreadsheets, JSON
// for scripts. Every text is escaped on its way out (see common/TextEscape.h).

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/JsonWriter.h"
#include "common/TextEscape.h"

namespace hnasctl {

using hnastools::displayWidth;
using hnastools::JsonWriter;
using hnastools::printable;

// The form of what a command prints on stdout (--output).
enum class Format { Table, Json, Csv };

// The JSON text of one string, quotes included: how messages quote a value.
inline std::string quoted(const std::string& text) {
    return hnastools::jsonString(text);
}

// A writer for stdout, and the document it wrote followed by a newline.
inline JsonWriter jsonWriter() {
    return JsonWriter(JsonWriter::Layout::Indented);
}
void printJson(std::ostream& out, const JsonWriter& json);

// One cell: its text, and the raw value that CSV shows instead when they
// differ (a time or a capacity written for people).
struct Cell {
    Cell(std::string value) : text(value), raw(std::move(value)) {} // NOLINT: implicit
    Cell(const char* value) : Cell(std::string(value)) {}           // NOLINT: implicit
    Cell(std::string forPeople, std::string rawValue)
        : text(std::move(forPeople)), raw(std::move(rawValue)) {}
    std::string text;
    std::string raw;
};

// A table with a header row; as a table, columns are padded to the widest
// cell; as CSV, cells are quoted where they need it. The table of one record
// shows as two columns, field and value, without a header (as CSV, as any
// table: a header of the fields and one row of the values).
class Table {
public:
    explicit Table(std::vector<std::string> headers, bool oneRecord = false);
    void addRow(std::vector<Cell> cells);
    void print(std::ostream& out, Format format) const;

private:
    std::vector<std::string> headers_;
    std::vector<std::vector<Cell>> rows_;
    bool oneRecord_;
};

} // namespace hnasctl
