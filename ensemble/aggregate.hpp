#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "experiments.hpp"

// The replica study's arithmetic: what one replica table says at a sample
// count N, and the statistics over many replicas at a few such N.

// One of a program's own error estimates, read from the roles of its
// columns in the list of experiments: a standard error of the estimate
// (`error` its column), or an interval (`error` its lower end's column,
// `upper` the next upper end's). Named by its column with "_error" or
// "_lower" cut off: jackknife_error is "jackknife", a bare lower "interval".
struct ErrorMethod {
    std::string name;
    std::size_t error = 0;
    std::optional<std::size_t> upper;
};

// The program's error methods in the order of their columns; none for a
// program without its own error.
std::vector<ErrorMethod> error_methods(const Experiment& program);

// A table that is not a whole replica table; the message says what is wrong.
class ReplicaTableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The number of rows of a table, each ended by a newline; -1 when the last
// line has none (a table cut short while being written).
std::int64_t complete_rows(std::string_view text);

// The sample counts where the aggregate has a row: about ten per decade,
// N = round(10^(k/10)) for k = 0, 1, ..., without repeats, and the last N.
std::vector<std::int64_t> checkpoints(std::int64_t last);

// The 95 % Wilson score interval of a proportion seen `successes` times in
// `trials` (trials > 0).
struct Interval {
    double low;
    double high;
};
Interval wilson_interval(std::int64_t successes, std::int64_t trials);

// One row of the aggregate: N and the statistics at it, in the order of
// the column header's names after N.
struct AggregateRow {
    std::int64_t n = 0;
    std::array<double, 8> values{};
};

// How one error method fared at one N: of the replicas whose error there is
// a number, the fraction whose error covers the exact value, with its 95 %
// Wilson interval; their mean stated error, also over the sample standard
// deviation of all replicas' estimates at N; that spread and the RMS error.
struct CoverageRow {
    std::string method;
    std::int64_t n = 0;
    std::int64_t replicas = 0;
    double coverage = 0;
    Interval wilson{};
    double mean_error_over_spread = 0;
    double mean_error = 0;
    double spread = 0;
    double rms_error = 0;
};

// The statistics of many replicas, accumulated one table at a time: the
// memory it keeps grows with the number of checkpoints, not of replicas.
// The result depends on the order of the tables only in the last bits.
class Aggregate {
public:
    // A program that draws random numbers (sigma given) and has an
    // estimate column; it must outlive the aggregate.
    explicit Aggregate(const Experiment& program);

    // Adds one replica's table. The first table fixes the row count; every
    // later one must have the same, with the same sample counts. A table
    // whose first column is a checkpoint count has a checkpoint in every
    // row, at the N it names (whole, ascending); any other has one at each
    // of checkpoints(rows), row N holding N samples. Throws
    // ReplicaTableError for a table cut short, of another length, with a
    // malformed row or with an estimate that is not a finite number (nan,
    // inf), naming the line and leaving the aggregate as it was.
    void add(std::string_view table);

    std::int64_t replicas() const { return replicas_; }

    // One tab-separated row per checkpoint: N, mean of the estimates, their
    // sample standard deviation, RMS error against the exact value, mean own
    // error, coverage with its 95 % Wilson interval (these four "nan" for a
    // program without its own error), sigma/sqrt(N).
    std::string text() const;

    // The same rows as numbers, at full precision.
    std::vector<AggregateRow> rows() const;

    // The header comment naming the columns, '#' first.
    static const char* column_header();

    const std::vector<ErrorMethod>& methods() const { return methods_; }

    // One row per error method and checkpoint, the methods in the order of
    // their columns and N ascending, leaving out an N where no replica gave
    // the method's error as a number. The first method's rows are the
    // aggregate's own-error columns.
    std::vector<CoverageRow> coverage_rows() const;

    // The same as tab-separated text under a header line of the names of
    // CoverageRow's fields (wilson_low, wilson_high for the interval).
    std::string coverage_text() const;

private:
    // One method's sums at one checkpoint.
    struct MethodSums {
        std::int64_t errors = 0;  // replicas with a finite error
        double error_sum = 0.0;
        std::int64_t covered = 0;
    };
    struct Point {
        std::int64_t n = 0;
        std::int64_t estimates = 0;
        double mean = 0.0;  // running mean and sum of squared deviations (Welford)
        double squares = 0.0;
        double squared_errors = 0.0;
        std::vector<MethodSums> methods;  // in the order of methods_
    };
    static double spread(const Point& point);
    static double rms_error(const Point& point);

    Experiment program_;
    std::size_t estimate_;  // the estimate's column
    std::vector<ErrorMethod> methods_;
    bool every_row_;       // the first column is a checkpoint count
    double exact_;         // what the estimate converges to
    double sigma_;         // standard deviation of one sample
    std::int64_t rows_ = 0;
    std::int64_t replicas_ = 0;
    std::vector<Point> points_;
};
