// Tables, CSV and JSON on stdout.

#include "Output.h"

#include <algorithm>

namespace hnasctl {

namespace {

void printPadded(std::ostream& out, const std::string& cell, size_t width, bool last) {
    out << cell;
    if (!last) {
        const size_t w = displayWidth(cell);
        out << std::string(width > w ? width - w : 0, ' ') << "  ";
    }
}

// One CSV field, quoted when it holds a comma or a quote. Cells are printable:
// no line breaks.
std::string csvField(const std::string& cell) {
    if (cell.find_first_of(",\"") == std::string::npos) {
        return cell;
    }
    std::string out = "\"";
    for (const char c : cell) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + '"';
}

void printCsvRow(std::ostream& out, const std::vector<std::string>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) {
        out << (i ? "," : "") << csvField(cells[i]);
    }
    out << '\n';
}

} // namespace

void printJson(std::ostream& out, const JsonWriter& json) {
    out << json.str() << '\n';
}

// --- Table ---

Table::Table(std::vector<std::string> headers) : headers_(std::move(headers)) {}

void Table::addRow(std::vector<std::string> cells) {
    cells.resize(headers_.size());
    for (auto& cell : cells) {
        cell = printable(cell);
    }
    rows_.push_back(std::move(cells));
}

void Table::print(std::ostream& out, Format format) const {
    if (format == Format::Csv) {
        printCsvRow(out, headers_);
        for (const auto& row : rows_) {
            printCsvRow(out, row);
        }
        return;
    }
    std::vector<size_t> widths(headers_.size(), 0);
    for (size_t i = 0; i < headers_.size(); ++i) {
        widths[i] = displayWidth(headers_[i]);
        for (const auto& row : rows_) {
            widths[i] = std::max(widths[i], displayWidth(row[i]));
        }
    }
    for (size_t i = 0; i < headers_.size(); ++i) {
        printPadded(out, headers_[i], widths[i], i + 1 == headers_.size());
    }
    out << '\n';
    for (const auto& row : rows_) {
        for (size_t i = 0; i < row.size(); ++i) {
            printPadded(out, row[i], widths[i], i + 1 == row.size());
        }
        out << '\n';
    }
}

// --- KeyValueTable ---

KeyValueTable::KeyValueTable(std::initializer_list<std::pair<std::string, std::string>> rows) {
    for (const auto& row : rows) {
        add(row.first, row.second);
    }
}

void KeyValueTable::add(const std::string& key, const std::string& value) {
    rows_.emplace_back(key, printable(value));
}

void KeyValueTable::print(std::ostream& out, Format format) const {
    if (format == Format::Csv) {
        std::vector<std::string> keys, values;
        for (const auto& row : rows_) {
            keys.push_back(row.first);
            values.push_back(row.second);
        }
        printCsvRow(out, keys);
        printCsvRow(out, values);
        return;
    }
    size_t width = 0;
    for (const auto& row : rows_) {
        width = std::max(width, displayWidth(row.first));
    }
    for (const auto& row : rows_) {
        out << row.first << ':' << std::string(width - displayWidth(row.first) + 2, ' ')
            << row.second << '\n';
    }
}

} // namespace hnasctl
