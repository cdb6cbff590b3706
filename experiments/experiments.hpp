#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The suite's experiments as experiments.tsv lists them (the C++ side of the
// list is generated from it when the build is configured).
struct Experiment {
    std::string name;        // the program; its figure is <name>.png
    std::string table_file;  // where its table goes by default, or, for a program
                             // that prints its table, the name it is kept under
    std::size_t columns;     // fields in every row
    bool on_standard_output; // prints its table unless given --output
    std::int64_t default_rows;
    std::int64_t max_rows;   // the most rows --rows accepts
    std::vector<std::string> column_names;
    std::vector<std::string> options;  // of seed, rows, updates-per-sample, output
    double (*exact)();       // the value the estimates converge to
    double (*sigma)();       // standard deviation of one sample; nullptr
                             // for a program that draws nothing
    bool uses_every_core;    // one run keeps every core busy

    bool has_option(std::string_view option) const;
};

// Every experiment, in the list's order (the order the run script runs them).
const std::vector<Experiment>& experiments();

// The experiment named `name`, or nullptr for another name.
const Experiment* experiment_named(std::string_view name);

// The experiment named `name`; throws std::out_of_range for another name.
const Experiment& find_experiment(std::string_view name);
