#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "experiments.hpp"
#include "run_settings.hpp"

// The command line of the suite's programs. Each program takes the options
// its line of experiments.tsv names:
//   --seed S                the random stream starts from seed S instead of 0;
//   --rows R                R rows instead of the default; a table with R
//                           rows is the first R rows of any longer run;
//   --updates-per-sample K  Metropolis updates between samples;
//   --threads T             the work is shared by T threads (default: one
//                           per core the process may use); the table is the
//                           same for every T;
//   --output FILE           the table goes to FILE instead of its default
//                           ("-": standard output);
// and every program --help and --version. The ranges are RunSettings'
// (suite/limits.hpp, and the experiment's max_rows).

// What a command line asks for: the run's settings, validated, with the
// experiment's default rows in place, and where the table goes.
struct ProgramRequest {
    RunSettings settings;
    std::string output;  // the table's file; empty for standard output
};

// A command line that is not valid: what() says what is wrong, in a few
// words ("--rows needs a value").
class CommandLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the command line of `experiment`'s program. --help and --version
// print to standard output and return nothing. Anything else that is not a
// valid command line throws CommandLineError, before any file is created or
// any number drawn.
std::optional<ProgramRequest> parse_program_options(const Experiment& experiment, int argc, const char* const* argv);
