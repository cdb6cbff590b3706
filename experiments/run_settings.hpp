#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "suite/limits.hpp"

struct Experiment;

// What a run of an experiment may choose; every way in (the programs' command
// line, the replica study, Python) fills one and lets validate() judge it.
struct RunSettings {
    std::int64_t seed = 0;
    std::int64_t rows = 0;  // 0: the experiment's default
    std::int64_t updates_per_sample = suite::limits::default_updates_per_sample;
    std::int64_t threads = 0;  // 0: one per core the process may use

    // Throws SettingError for a setting out of its range: seed 0 to
    // 900000000, rows 1 to the experiment's max_rows (0 for its default),
    // updates per sample 1 to 1000000000, threads 1 to 1024 (0 for the
    // default).
    void validate(const Experiment& experiment) const;

    // Throws SettingError unless `rows` is 1 to the experiment's max_rows:
    // the check of a row count that was given (0 is then no default).
    static void check_rows(const Experiment& experiment, std::int64_t rows);

    // These settings with the experiment's default rows in place of 0,
    // validated.
    RunSettings completed_for(const Experiment& experiment) const;
};

// The setting that a SettingError is about.
enum class Setting { seed, rows, updates_per_sample, threads };

// A setting out of its range; what() says which, the value and the range
// ("rows 0 is out of range (1 to 9998)"), and the parts are at hand for a
// caller that words it in its own terms.
class SettingError : public std::invalid_argument {
public:
    SettingError(Setting setting, std::int64_t value, std::int64_t low, std::int64_t high);
    Setting setting() const { return setting_; }
    std::int64_t value() const { return value_; }
    std::int64_t low() const { return low_; }
    std::int64_t high() const { return high_; }

private:
    Setting setting_;
    std::int64_t value_;
    std::int64_t low_;
    std::int64_t high_;
};
