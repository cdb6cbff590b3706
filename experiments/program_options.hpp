#pragma once

#include <cstdint>
#include <string>

#include "experiments.hpp"
#include "table_writer.hpp"

// The command line of the suite's programs. Each program takes the options
// its line of experiments.tsv names:
//   --seed S                the random stream starts from seed S (0 to
//                           900000000) instead of 0;
//   --rows R                R rows, 1 to the program's max_rows; a table
//                           with R rows is the first R rows of any longer run;
//   --updates-per-sample K  Metropolis updates between samples, 1 to
//                           1000000000 (default 1000);
//   --threads T             the work is shared by T threads, 1 to 1024
//                           (default: one per core the process may use);
//                           the table is the same for every T;
//   --output FILE           the table goes to FILE instead of its default;
// and every program --help and --version.

inline constexpr std::int64_t default_updates_per_sample = 1000;
inline constexpr std::int64_t max_updates_per_sample = 1000000000;
inline constexpr std::int64_t max_threads = 1024;

struct ProgramOptions {
    std::int64_t seed = 0;
    std::int64_t rows = 0;
    std::int64_t updates_per_sample = default_updates_per_sample;
    std::int64_t threads = 0;  // 0: one per usable core
    std::string output;        // the table's file; empty for standard output
};

// Reads the command line of `experiment`'s program; `about` says in one
// sentence what it computes, for --help. --help and --version print to
// standard output and end the process with status 0. Anything else that is
// not a valid command line ends it with one line on standard error naming
// the program and the problem, and status 2, before any file is created or
// any number drawn.
ProgramOptions parse_program_options(const Experiment& experiment, const char* about, int argc,
                                     const char* const* argv);

// The table's writer: the file of the options, or standard output.
TableWriter open_table(const Experiment& experiment, const ProgramOptions& options);

// Starts the process-wide stream exactly as a first draw Random(seed)
// would, notice included, but without taking the draw: the program's own
// first draw then gives the stream's first value.
void start_random_stream(std::int64_t seed);
