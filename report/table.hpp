#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A results table as the programs write it: one row per line, fields
// separated by one tab, every line ended by a newline, no header. Each field
// is a number as printf's %i and %f write it, [-]digits[.digits], read to the
// nearest double whatever the locale; "nan" and "-nan" (the jackknife's first
// error) read as not-a-number, "inf" and "-inf" as the infinities.
struct Table {
    std::vector<std::vector<double>> rows;
};

// A table that cannot be read; the message names the line and what is wrong.
// A malformed line also gives its number and the problem apart, for a caller
// that counts lines its own way.
class TableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    TableError(std::size_t line, const std::string& problem)
        : std::runtime_error("line " + std::to_string(line) + ": " + problem), line_(line), problem_(problem)
    {
    }

    std::size_t line() const { return line_; }  // 0 when no line is to blame
    const std::string& problem() const { return problem_; }

private:
    std::size_t line_ = 0;
    std::string problem_;
};

// Reads a table whose every row holds `columns` fields. A line without its
// newline is a table that was cut short, not a row, and is refused like any
// other malformed line; so is a table without rows.
Table parse_table(std::string_view text, std::size_t columns);
