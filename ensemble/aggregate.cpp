#include "aggregate.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "table.hpp"

namespace {

std::string number(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    std::array<char, 32> text{};
    (void)std::snprintf(text.data(), text.size(), "%.8g", value);
    return text.data();
}

}  // namespace

std::int64_t complete_rows(std::string_view text)
{
    if (!text.empty() && text.back() != '\n') {
        return -1;
    }
    std::int64_t rows = 0;
    const char* at = text.data();
    const char* end = at + text.size();
    while (at < end) {
        at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at))) + 1;
        ++rows;
    }
    return rows;
}

std::vector<std::int64_t> checkpoints(std::int64_t last)
{
    std::vector<std::int64_t> n;
    for (int k = 0;; ++k) {
        const auto next = std::llround(std::pow(10.0, k / 10.0));
        if (next >= last) {
            break;
        }
        if (n.empty() || next != n.back()) {
            n.push_back(next);
        }
    }
    if (last >= 1) {
        n.push_back(last);
    }
    return n;
}

Interval wilson_interval(std::int64_t successes, std::int64_t trials)
{
    // The score interval: the p whose |p - p_hat| is z standard errors of
    // p itself, sqrt(p (1 - p) / n); z = 1.959964 for 95 %.
    constexpr double z = 1.959963984540054;
    const auto n = static_cast<double>(trials);
    const double p = static_cast<double>(successes) / n;
    const double shrink = 1.0 + z * z / n;
    const double centre = (p + z * z / (2.0 * n)) / shrink;
    const double half = z / shrink * std::sqrt(p * (1.0 - p) / n + z * z / (4.0 * n * n));
    return {centre - half, centre + half};
}

OwnErrorColumns own_error_columns(const Experiment& program)
{
    // Member by member: MinGW's g++ 12 fails on the brace-initialised form
    // (an internal compiler error).
    OwnErrorColumns columns;
    columns.standard_error = program.column_with(ColumnRole::standard_error);
    if (const auto lower = program.column_with(ColumnRole::interval_lower),
        upper = program.column_with(ColumnRole::interval_upper);
        lower && upper) {
        columns.lower = *lower;
        columns.upper = *upper;
    }
    return columns;
}

Aggregate::Aggregate(const Experiment& program)
    : program_(program),
      estimate_(program.column_with(ColumnRole::estimate).value_or(1)),
      own_error_(own_error_columns(program)),
      exact_(program.exact()),
      sigma_(program.sigma != nullptr ? program.sigma() : NAN)
{
}

void Aggregate::add(std::string_view table)
{
    const std::int64_t rows = complete_rows(table);
    if (rows < 0) {
        throw ReplicaTableError("the table is cut short (its last row has no newline)");
    }
    if (rows == 0) {
        throw ReplicaTableError("the table is empty");
    }
    if (replicas_ > 0 && rows != rows_) {
        throw ReplicaTableError("the table has " + std::to_string(rows) + " rows, the replicas before it " +
                                std::to_string(rows_));
    }
    // The sample counts run 1, 2, ... by row, so the first row is N = 1 and
    // a checkpoint's row is N - 1 (checked against the table's own count).
    std::vector<Point> points = points_;
    if (replicas_ == 0) {
        const std::vector<std::int64_t> n = checkpoints(rows);
        points.clear();
        std::transform(n.begin(), n.end(), std::back_inserter(points), [](std::int64_t at) { return Point{.n = at}; });
    }
    const double exact = exact_;
    std::int64_t row = 0;
    const char* at = table.data();
    const char* const table_end = at + table.size();
    // The next newline; there is one, as every row ends with its own.
    const auto line_end = [&](const char* from) {
        return static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(table_end - from))) + 1;
    };
    for (Point& point : points) {
        while (row < point.n - 1) {
            at = line_end(at);
            ++row;
        }
        const char* end = line_end(at);
        std::vector<double> fields;
        try {
            fields = parse_table(std::string_view(at, static_cast<std::size_t>(end - at)), program_.columns).rows[0];
        } catch (const TableError& error) {
            throw ReplicaTableError("line " + std::to_string(row + 1) + ": " +
                                    (error.line() > 0 ? error.problem() : std::string(error.what())));
        }
        if (program_.samples_at(fields[0]) != static_cast<double>(point.n)) {
            throw ReplicaTableError("line " + std::to_string(row + 1) + " does not hold " + std::to_string(point.n) +
                                    " samples");
        }
        // One estimate that is no number would make every sum after it one.
        const double estimate = fields[estimate_];
        if (!std::isfinite(estimate)) {
            throw ReplicaTableError("line " + std::to_string(row + 1) + ": the estimate is " + number(estimate) +
                                    ", not a finite number");
        }
        point.estimates += 1;
        const double delta = estimate - point.mean;
        point.mean += delta / static_cast<double>(point.estimates);
        point.squares += delta * (estimate - point.mean);
        point.squared_errors += (estimate - exact) * (estimate - exact);
        double own = NAN;
        bool covered = false;
        if (own_error_.standard_error) {
            own = fields[*own_error_.standard_error];
            covered = std::abs(estimate - exact) <= own;
        } else if (own_error_.lower) {
            const double lower = fields[*own_error_.lower];
            const double upper = fields[*own_error_.upper];
            own = (upper - lower) / 2.0;
            covered = lower <= exact && exact <= upper;
        }
        if (std::isfinite(own)) {
            point.own_errors += 1;
            point.own_error_sum += own;
            point.covered += covered ? 1 : 0;
        }
    }
    points_ = std::move(points);
    rows_ = rows;
    replicas_ += 1;
}

const char* Aggregate::column_header()
{
    return "# N\tmean\tspread\trms_error\tmean_own_error\tcoverage\tcoverage_low95\tcoverage_high95\t"
           "sigma_over_sqrt_N\n";
}

std::vector<AggregateRow> Aggregate::rows() const
{
    std::vector<AggregateRow> rows;
    rows.reserve(points_.size());
    for (const Point& point : points_) {
        const auto estimates = static_cast<double>(point.estimates);
        const double spread = point.estimates > 1 ? std::sqrt(point.squares / (estimates - 1.0)) : NAN;
        double own = NAN;
        double coverage = NAN;
        Interval band{NAN, NAN};
        if (point.own_errors > 0) {
            const auto count = static_cast<double>(point.own_errors);
            own = point.own_error_sum / count;
            coverage = static_cast<double>(point.covered) / count;
            band = wilson_interval(point.covered, point.own_errors);
        }
        rows.push_back({point.n,
                        {point.mean, spread, std::sqrt(point.squared_errors / estimates), own, coverage, band.low,
                         band.high, sigma_ / std::sqrt(static_cast<double>(point.n))}});
    }
    return rows;
}

std::string Aggregate::text() const
{
    std::string text;
    for (const AggregateRow& row : rows()) {
        text.append(std::to_string(row.n));
        for (const double value : row.values) {
            text.append("\t").append(number(value));
        }
        text.append("\n");
    }
    return text;
}
