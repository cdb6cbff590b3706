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

std::vector<ErrorMethod> error_methods(const Experiment& program)
{
    // A name less its suffix; a bare suffix (or no name) gives `otherwise`.
    const auto name_of = [&](std::size_t column, std::string_view suffix, const char* otherwise) {
        std::string name = column < program.column_names.size() ? program.column_names[column] : "";
        if (name.ends_with(suffix)) {
            name.resize(name.size() - suffix.size());
        }
        if (name == suffix.substr(1) || name.empty()) {
            name = otherwise;
        }
        return name;
    };
    std::vector<ErrorMethod> methods;
    const std::vector<ColumnRole>& roles = program.column_roles;
    for (std::size_t column = 0; column < roles.size(); ++column) {
        if (roles[column] == ColumnRole::standard_error) {
            ErrorMethod method;
            method.name = name_of(column, "_error", "error");
            method.error = column;
            methods.push_back(std::move(method));
        } else if (roles[column] == ColumnRole::interval_lower) {
            const auto upper = std::find(roles.begin() + static_cast<std::ptrdiff_t>(column) + 1, roles.end(),
                                         ColumnRole::interval_upper);
            if (upper != roles.end()) {
                ErrorMethod method;
                method.name = name_of(column, "_lower", "interval");
                method.error = column;
                method.upper = static_cast<std::size_t>(upper - roles.begin());
                methods.push_back(std::move(method));
            }
        }
    }
    return methods;
}

Aggregate::Aggregate(const Experiment& program)
    : program_(program),
      estimate_(program.column_with(ColumnRole::estimate).value_or(1)),
      methods_(error_methods(program)),
      every_row_(!program.column_roles.empty() && program.column_roles.front() == ColumnRole::checkpoint_count),
      exact_(program.exact()),
      sigma_(program.sigma != nullptr ? program.sigma() : NAN)
{
}

void Aggregate::add(std::string_view table)
{
    const std::int64_t row_count = complete_rows(table);
    if (row_count < 0) {
        throw ReplicaTableError("the table is cut short (its last row has no newline)");
    }
    if (row_count == 0) {
        throw ReplicaTableError("the table is empty");
    }
    if (replicas_ > 0 && row_count != rows_) {
        throw ReplicaTableError("the table has " + std::to_string(row_count) + " rows, the replicas before it " +
                                std::to_string(rows_));
    }
    // A checkpoint table has a point in every row, its N fixed by the first
    // table; otherwise the sample counts run 1, 2, ... by row, so the first
    // row is N = 1 and a checkpoint's row is N - 1 (checked against the
    // table's own count).
    std::vector<Point> points = points_;
    if (replicas_ == 0) {
        const Point empty{.methods = std::vector<MethodSums>(methods_.size())};
        points.clear();
        if (every_row_) {
            points.assign(static_cast<std::size_t>(row_count), empty);
        } else {
            for (const std::int64_t at : checkpoints(row_count)) {
                points.push_back(empty);
                points.back().n = at;
            }
        }
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
        const std::int64_t point_row = every_row_ ? &point - points.data() : point.n - 1;
        while (row < point_row) {
            at = line_end(at);
            ++row;
        }
        const char* end = line_end(at);
        const std::string line = "line " + std::to_string(row + 1);
        std::vector<double> fields;
        try {
            fields = parse_table(std::string_view(at, static_cast<std::size_t>(end - at)), program_.columns).rows[0];
        } catch (const TableError& error) {
            throw ReplicaTableError(line + ": " + (error.line() > 0 ? error.problem() : std::string(error.what())));
        }
        const double samples = program_.samples_at(fields[0]);
        if (every_row_ && replicas_ == 0) {
            // 2^62 keeps the conversion exact and within range.
            if (!(samples >= 1.0 && samples <= 0x1p62 && samples == std::floor(samples)) ||
                (row > 0 && samples <= static_cast<double>((&point - 1)->n))) {
                throw ReplicaTableError(line + ": N = " + number(samples) +
                                        " is not a whole count of samples above the row before");
            }
            point.n = static_cast<std::int64_t>(samples);
        } else if (every_row_ && samples != static_cast<double>(point.n)) {
            throw ReplicaTableError(line + " stands at N = " + number(samples) + ", the replicas before it at N = " +
                                    std::to_string(point.n));
        } else if (samples != static_cast<double>(point.n)) {
            throw ReplicaTableError(line + " does not hold " + std::to_string(point.n) + " samples");
        }
        // One estimate that is no number would make every sum after it one.
        const double estimate = fields[estimate_];
        if (!std::isfinite(estimate)) {
            throw ReplicaTableError(line + ": the estimate is " + number(estimate) + ", not a finite number");
        }
        point.estimates += 1;
        const double delta = estimate - point.mean;
        point.mean += delta / static_cast<double>(point.estimates);
        point.squares += delta * (estimate - point.mean);
        point.squared_errors += (estimate - exact) * (estimate - exact);
        // A method that cannot say anything here writes nan: that replica
        // does not count for it at this N.
        for (std::size_t m = 0; m < methods_.size(); ++m) {
            const ErrorMethod& method = methods_[m];
            double error = fields[method.error];
            bool covered = std::abs(estimate - exact) <= error;
            if (method.upper) {
                const double lower = fields[method.error];
                const double upper = fields[*method.upper];
                error = (upper - lower) / 2.0;
                covered = lower <= exact && exact <= upper;
            }
            if (std::isfinite(error)) {
                MethodSums& sums = point.methods[m];
                sums.errors += 1;
                sums.error_sum += error;
                sums.covered += covered ? 1 : 0;
            }
        }
    }
    points_ = std::move(points);
    rows_ = row_count;
    replicas_ += 1;
}

const char* Aggregate::column_header()
{
    return "# N\tmean\tspread\trms_error\tmean_own_error\tcoverage\tcoverage_low95\tcoverage_high95\t"
           "sigma_over_sqrt_N\n";
}

double Aggregate::spread(const Point& point)
{
    return point.estimates > 1 ? std::sqrt(point.squares / (static_cast<double>(point.estimates) - 1.0)) : NAN;
}

double Aggregate::rms_error(const Point& point)
{
    return std::sqrt(point.squared_errors / static_cast<double>(point.estimates));
}

std::vector<AggregateRow> Aggregate::rows() const
{
    std::vector<AggregateRow> out;
    out.reserve(points_.size());
    for (const Point& point : points_) {
        double own = NAN;
        double coverage = NAN;
        Interval band{NAN, NAN};
        if (!point.methods.empty() && point.methods[0].errors > 0) {
            const MethodSums& first = point.methods[0];
            const auto count = static_cast<double>(first.errors);
            own = first.error_sum / count;
            coverage = static_cast<double>(first.covered) / count;
            band = wilson_interval(first.covered, first.errors);
        }
        out.push_back({point.n,
                        {point.mean, spread(point), rms_error(point), own, coverage, band.low, band.high,
                         sigma_ / std::sqrt(static_cast<double>(point.n))}});
    }
    return out;
}

std::vector<CoverageRow> Aggregate::coverage_rows() const
{
    std::vector<CoverageRow> out;
    for (std::size_t m = 0; m < methods_.size(); ++m) {
        for (const Point& point : points_) {
            const MethodSums& sums = point.methods[m];
            if (sums.errors == 0) {
                continue;
            }
            CoverageRow row;
            row.method = methods_[m].name;
            row.n = point.n;
            row.replicas = sums.errors;
            row.coverage = static_cast<double>(sums.covered) / static_cast<double>(sums.errors);
            // Within [0, 1]: at 0 or all covered, the interval's end is 0 or 1
            // but for rounding.
            const Interval band = wilson_interval(sums.covered, sums.errors);
            row.wilson = {std::max(band.low, 0.0), std::min(band.high, 1.0)};
            row.mean_error = sums.error_sum / static_cast<double>(sums.errors);
            row.spread = spread(point);
            row.mean_error_over_spread = row.mean_error / row.spread;
            row.rms_error = rms_error(point);
            out.push_back(std::move(row));
        }
    }
    return out;
}

std::string Aggregate::coverage_text() const
{
    std::string out =
        "method\tN\treplicas\tcoverage\twilson_low\twilson_high\tmean_error_over_spread\tmean_error\tspread\t"
        "rms_error\n";
    for (const CoverageRow& row : coverage_rows()) {
        out.append(row.method).append("\t").append(std::to_string(row.n));
        out.append("\t").append(std::to_string(row.replicas));
        for (const double value : {row.coverage, row.wilson.low, row.wilson.high, row.mean_error_over_spread,
                                   row.mean_error, row.spread, row.rms_error}) {
            out.append("\t").append(number(value));
        }
        out.append("\n");
    }
    return out;
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
