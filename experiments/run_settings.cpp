#include "run_settings.hpp"

#include "experiments.hpp"

namespace {

using namespace suite::limits;

const char* name_of(Setting setting)
{
    switch (setting) {
    case Setting::seed:
        return "seed";
    case Setting::rows:
        return "rows";
    case Setting::updates_per_sample:
        return "updates per sample";
    case Setting::threads:
        break;
    }
    return "threads";
}

void check_range(Setting setting, std::int64_t value, std::int64_t low, std::int64_t high)
{
    if (value < low || value > high) {
        throw SettingError(setting, value, low, high);
    }
}

}  // namespace

SettingError::SettingError(Setting setting, std::int64_t value, std::int64_t low, std::int64_t high)
    : std::invalid_argument(std::string(name_of(setting)) + " " + std::to_string(value) + " is out of range (" +
                            std::to_string(low) + " to " + std::to_string(high) + ")"),
      setting_(setting),
      value_(value),
      low_(low),
      high_(high)
{
}

void RunSettings::validate(const Experiment& experiment) const
{
    check_range(Setting::seed, seed, min_seed, max_seed);
    if (rows != 0) {
        check_rows(experiment, rows);
    }
    check_range(Setting::updates_per_sample, updates_per_sample, 1, max_updates_per_sample);
    if (threads != 0) {
        check_range(Setting::threads, threads, 1, max_threads);
    }
}

void RunSettings::check_rows(const Experiment& experiment, std::int64_t rows)
{
    check_range(Setting::rows, rows, 1, experiment.max_rows);
}

RunSettings RunSettings::completed_for(const Experiment& experiment) const
{
    validate(experiment);
    RunSettings completed = *this;
    if (completed.rows == 0) {
        completed.rows = experiment.default_rows;
    }
    return completed;
}
