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

// True when a spreadsheet would take the cell for a formula: it starts with
// '=', '+', '-', '@', a tab or a carriage return, and is not a plain negative
// integer.
bool formulaLike(const std::string& cell) {
    if (cell.empty() || std::string("=+-@\t\r").find(cell.front()) == std::string::npos) {
        return false;
    }
    return cell.size() < 2 || cell.front() != '-' ||
           cell.find_first_not_of("0123456789", 1) != std::string::npos;
}

// One CSV field, quoted when it holds a comma or a quote, and kept as text
// with a leading apostrophe when a spreadsheet would read it as a formula.
// Cells are printable: no line breaks.
std::string csvField(const std::string& text) {
    const std::string cell = formulaLike(text) ? "'" + text : text;
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

Table::Table(std::vector<std::string> headers, bool oneRecord)
    : headers_(std::move(headers)), oneRecord_(oneRecord) {}

void Table::addRow(std::vector<Cell> cells) {
    cells.resize(headers_.size(), Cell(std::string()));
    for (auto& cell : cells) {
        cell = Cell(printable(cell.text), printable(cell.raw));
    }
    rows_.push_back(std::move(cells));
}

void Table::print(std::ostream& out, Format format) const {
    if (format == Format::Csv) {
        printCsvRow(out, headers_);
        for (const auto& row : rows_) {
            std::vector<std::string> raw;
            for (const auto& cell : row) {
                raw.push_back(cell.raw);
            }
            printCsvRow(out, raw);
        }
        return;
    }
    if (oneRecord_) {
        size_t width = 0;
        for (const auto& header : headers_) {
            width = std::max(width, displayWidth(header));
        }
        for (size_t i = 0; i < headers_.size() && !rows_.empty(); ++i) {
            out << headers_[i] << ':' << std::string(width - displayWidth(headers_[i]) + 2, ' ')
                << rows_[0][i].text << '\n';
        }
        return;
    }
    std::vector<size_t> widths(headers_.size(), 0);
    for (size_t i = 0; i < headers_.size(); ++i) {
        widths[i] = displayWidth(headers_[i]);
        for (const auto& row : rows_) {
            widths[i] = std::max(widths[i], displayWidth(row[i].text));
        }
    }
    for (size_t i = 0; i < headers_.size(); ++i) {
        printPadded(out, headers_[i], widths[i], i + 1 == headers_.size());
    }
    out << '\n';
    for (const auto& row : rows_) {
        for (size_t i = 0; i < row.size(); ++i) {
            printPadded(out, row[i].text, widths[i], i + 1 == row.size());
        }
        out << '\n';
    }
}

} // namespace hnasctl
