#include "table.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void refuse(std::size_t line, const std::string& what)
{
    throw TableError(line, what);
}

// The value of [-]digits[.digits], "nan" or "inf" (either with a sign), as
// printf's %i and %f write them; empty if `field` is anything else. It
// depends neither on the locale nor on the standard library: from_chars for
// doubles is missing from older ones.
std::optional<double> read_number(std::string_view field)
{
    const bool negative = !field.empty() && field.front() == '-';
    field.remove_prefix(negative ? 1 : 0);
    const double sign = negative ? -1.0 : 1.0;
    if (field == "nan") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (field == "inf") {
        return sign * std::numeric_limits<double>::infinity();
    }
    const std::size_t point = field.find('.');
    const std::string_view whole = field.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "" : field.substr(point + 1);
    const auto all_digits = [](std::string_view digits) {
        return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || !all_digits(whole) || !all_digits(fraction)
        || (point != std::string_view::npos && fraction.empty())) {
        return std::nullopt;
    }
    // Digits m and fraction length k give m / 10^k. While m < 2^53 and
    // k <= 22 both are exact doubles, and the one division rounds correctly.
    constexpr std::uint64_t exact_limit = std::uint64_t{1} << 53;
    std::uint64_t digits = 0;
    bool exact = fraction.size() <= 22;
    for (const std::string_view part : {whole, fraction}) {
        for (const char c : part) {
            exact = exact && digits < exact_limit;
            digits = exact ? digits * 10 + static_cast<std::uint64_t>(c - '0') : 0;
        }
    }
    if (exact && digits <= exact_limit) {
        double power = 1.0;
        for (std::size_t k = 0; k < fraction.size(); ++k) {
            power *= 10.0;
        }
        return sign * (static_cast<double>(digits) / power);
    }
    // Longer than the programs ever write: the stream's conversion, in the
    // classic locale whatever the global one.
    std::istringstream stream{std::string(field)};
    stream.imbue(std::locale::classic());
    double value = 0.0;
    stream >> value;
    return sign * value;
}

double parse_field(std::string_view field, std::size_t line)
{
    const std::optional<double> value = read_number(field);
    if (!value) {
        // Built by appending: g++ 12 warns falsely about operator+ with a
        // one-character literal at -O2.
        std::string what(1, '\'');
        what.append(field).append("' is not a number");
        refuse(line, what);
    }
    return *value;
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
