#pragma once

#include <cstdint>
#include <span>

#include "experiments.hpp"

// The experiments' loops, each handing its rows to a sink: the programs
// write them as tables, the tests and the Python module keep them.

// What the options of a program choose.
struct RunSettings {
    std::int64_t seed = 0;
    std::int64_t rows = 0;  // 0: the experiment's default
    std::int64_t updates_per_sample = 1000;
    unsigned threads = 0;   // 0: every core the process may use
};

// Receives an experiment's rows in order: the row's count (the first
// column) and its real values (the others).
class RowSink {
public:
    RowSink() = default;
    RowSink(const RowSink&) = delete;
    RowSink& operator=(const RowSink&) = delete;
    virtual ~RowSink() = default;
    virtual void row(std::int64_t count, std::span<const double> values) = 0;

protected:
    RowSink(RowSink&&) = default;
    RowSink& operator=(RowSink&&) = default;
};

// One sentence on what the experiment computes, for --help.
const char* experiment_about(const Experiment& experiment);

// Runs `experiment` with `settings` (rows 1 to its max_rows, seed 0 to
// 900000000, updates per sample 1 to 1000000000), handing every row to
// `sink`. The rows are the program's table, row for row. Throws
// std::invalid_argument for settings out of range and passes on whatever
// the sink throws.
void run_experiment(const Experiment& experiment, const RunSettings& settings, RowSink& sink);
