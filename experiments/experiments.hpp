#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct RunSettings;
class RowSink;

// What one column of an experiment's table holds. The first column counts
// what the row stands on; the others are read by their role, never by name.
enum class ColumnRole {
    sample_count,       // N, the samples behind the row
    counter,            // N + 1: a counter that starts at 2 and divides N samples
    interval_count,     // the intervals of a quadrature rule
    chain_point_count,  // the points of a Markov chain
    checkpoint_count,   // N at a checkpoint: the rows stand at chosen N (2^k, 10^k), not at every N
    estimate,           // the running estimate of the exact value
    rule_estimate,      // one estimate per column, one rule each
    standard_error,     // the method's own error: one standard error of the estimate
    interval_lower,     // the method's own interval around the estimate: its ends
    interval_upper,
    trace,              // anything else (a coordinate that traces a chain)
};

// One experiment of the suite as its line of experiments.tsv describes it
// (the C++ side of the list is generated from it when the build is
// configured): the program, its table, what its columns mean, its limits
// and the function that runs it.
struct Experiment {
    std::string name;        // the program; its figure is <name>.png
    std::string table_file;  // where its table goes by default, or, for a program
                             // that prints its table, the name it is kept under
    std::size_t columns;     // fields in every row
    bool on_standard_output; // prints its table unless given --output
    std::int64_t default_rows;
    std::int64_t max_rows;   // the most rows one run writes
    std::vector<std::string> column_names;
    std::vector<std::string> options;  // of seed, rows, updates-per-sample, threads, output
    double (*exact)();       // the value the estimates converge to
    double (*sigma)();       // standard deviation of one sample; nullptr
                             // for a program that draws nothing
    bool uses_every_core;    // one run keeps every core busy
    std::vector<ColumnRole> column_roles;  // one per column
    const char* about;       // one sentence on what it computes, for --help
    // Runs the experiment with settings already checked and completed (see
    // run_experiment), handing every row to the sink.
    void (*run)(const RunSettings&, RowSink&);

    bool has_option(std::string_view option) const;

    // The first column with `role`, if any.
    std::optional<std::size_t> column_with(ColumnRole role) const;

    // The samples behind a row whose first column is `count`: one fewer for
    // a counter that starts at 2.
    double samples_at(double count) const;

    // What the first column counts, in words: "samples", "intervals" or
    // "chain points".
    std::string count_unit() const;
};

// Every experiment, in the list's order (the order the run script runs them).
const std::vector<Experiment>& experiments();

// The experiment named `name`, or nullptr for another name.
const Experiment* experiment_named(std::string_view name);

// The experiment named `name`; throws std::out_of_range for another name.
const Experiment& find_experiment(std::string_view name);
