#include "table.hpp"

#include <charconv>
#include <string>
#include <system_error>

namespace {

[[noreturn]] void refuse(std::size_t line, const std::string& what)
{
    throw TableError("line " + std::to_string(line) + ": " + what);
}

double parse_field(std::string_view field, std::size_t line)
{
    // from_chars does not depend on the locale and takes "nan" and "-nan",
    // but no leading '+' or blanks, which the programs never write.
    double value = 0.0;
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    if (field.empty() || error != std::errc() || stop != end) {
        // Built by appending: g++ 12 warns falsely about operator+ with a
        // one-character literal at -O2.
        std::string what(1, '\'');
        what.append(field).append("' is not a number");
        refuse(line, what);
    }
    return value;
}

}  // namespace

Table parse_table(std::string_view text, std::size_t columns)
{
    Table table;
    std::size_t line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) {
            refuse(line, "the row is not complete (no newline at its end)");
        }
        const std::string_view row = text.substr(0, newline);
        text.remove_prefix(newline + 1);

        std::vector<double> values;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = row.find('\t', start);
            values.push_back(parse_field(row.substr(start, tab - start), line));
            if (tab == std::string_view::npos) {
                break;
            }
            start = tab + 1;
        }
        if (values.size() != columns) {
            refuse(line, "expected " + std::to_string(columns) + " fields, found " + std::to_string(values.size()));
        }
        table.rows.push_back(std::move(values));
    }
    if (table.rows.empty()) {
        throw TableError("the table has no rows");
    }
    return table;
}
