#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "aggregate.hpp"

// A replica study: R runs of one program with seeds 1 to R, each writing its
// table into one folder, and the aggregate over them. Replica r's table is
// DIR/<program>-<r>.dat; a run in progress writes DIR/<program>-<r>.dat.part
// and only a whole table is renamed, so a table under its final name counts
// as complete. DIR/study.txt names the program and its options, so that a
// folder is never resumed with others; DIR/aggregate.dat is the result.

// A program the study can run, with what it needs to know about it.
struct StudyProgram {
    ReplicaProgram replica;
    std::int64_t default_rows = 0;
    std::int64_t max_rows = 0;
    bool takes_updates = false;  // has --updates-per-sample
    bool threaded = false;       // uses every core by itself
};

// The programs that take a seed, so that their replicas differ, as the list
// of experiments has them.
const std::vector<StudyProgram>& study_programs();
const StudyProgram* find_study_program(std::string_view name);

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

struct Study {
    const StudyProgram* program = nullptr;
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

// Creates the folder if needed and makes sure it can be written and holds
// no study with other options (UsageError otherwise); records this one.
void prepare_folder(const Study& study);

// Whether `path` is a table of exactly `rows` whole rows.
bool table_complete(const std::filesystem::path& path, std::int64_t rows);

// One shell command per replica (sh syntax): run the program into the
// unfinished name, rename on success.
std::string plan(const Study& study, const std::filesystem::path& program);

// Quotes a word for sh when it needs it.
std::string shell_quoted(const std::string& word);

// Runs the replicas whose tables are not complete, `jobs` at a time, then
// collects. Throws StudyError naming the first replica that failed, after
// the running ones ended; no aggregate is written then.
void run_study(const Study& study, const std::filesystem::path& program, std::int64_t jobs);

// The number of replicas to run at once by default: one per core, a
// program that uses every core by itself one at a time.
std::int64_t default_jobs(const StudyProgram& program);

// Aggregates the replica tables in `dir` (those of seeds up to `last_seed`,
// when given) in the order of their seeds, one table in memory at a time,
// into DIR/aggregate.dat. Returns the number of replicas. Throws StudyError
// naming the table that is not whole, or when there is none.
std::int64_t collect(const std::filesystem::path& dir, std::optional<std::int64_t> last_seed = std::nullopt);
