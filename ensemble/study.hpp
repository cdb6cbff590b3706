#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "experiments.hpp"

// A replica study: R runs of one program with seeds 1 to R, each writing its
// table into one folder, and the aggregate over them. Replica r's table is
// DIR/<program>-<r>.dat; a run in progress writes DIR/<program>-<r>.dat.part
// and only a whole table is renamed, so a table under its final name counts
// as complete. DIR/study.txt names the program and its options, so that a
// folder is never resumed with others; DIR/aggregate.dat is the result.

// A mistake in what the study was asked to do (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A replica or a table that failed (exit status 1).
class StudyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program named `name` in the list of experiments, when it can be
// studied: it takes --seed, so that its replicas differ, and draws random
// numbers with a known sigma. Throws UsageError otherwise.
const Experiment& studied_program(std::string_view name);

// "1 replica", "2 replicas".
std::string count_of(std::int64_t count, const std::string& noun);

struct Study {
    const Experiment* program = nullptr;
    std::int64_t replicas = 0;
    std::filesystem::path dir;
    std::optional<std::int64_t> rows;
    std::optional<std::int64_t> updates;

    // The program's options other than --seed and --output.
    std::vector<std::string> options() const;
    std::int64_t expected_rows() const;
    // The program and its options, as DIR/study.txt holds them.
    std::string description() const;

    std::filesystem::path table(std::int64_t seed) const;
    std::filesystem::path unfinished_table(std::int64_t seed) const;
    std::vector<std::string> arguments(std::int64_t seed) const;
};

// The canonical name of replica `seed`'s table: <program>-<seed>.dat, the
// seed in decimal without leading zeros.
std::string table_name(const std::string& program, std::int64_t seed);
