#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "experiments.hpp"
#include "suite/limits.hpp"

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
//   --output FILE           the table goes to FILE instead of its default
//                           ("-": standard output);
// and every program --help and --version.

using suite::limits::default_updates_per_sample;
using suite::limits::max_threads;
using suite::limits::max_updates_per_sample;

struct ProgramOptions {
    std::int64_t seed = 0;
    std::int64_t rows = 0;
    std::int64_t updates_per_sample = default_updates_per_sample;
    std::string output;  // the table's file; empty for standard output
    std::int64_t threads = 0;  // 0: one per usable core
};

// A command line that is not valid: what() says what is wrong, in a few
// words ("--rows needs a value").
class CommandLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the command line of `experiment`'s program; `about` says in one
// sentence what it computes, for --help. --help and --version print to
// standard output and return nothing. Anything else that is not a valid
// command line throws CommandLineError, before any file is created or any number
// drawn.
std::optional<ProgramOptions> parse_program_options(const Experiment& experiment, const char* about, int argc,
                                                    const char* const* argv);
