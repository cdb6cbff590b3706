#include <algorithm>
#include <stdexcept>

#include "experiments.hpp"

bool Experiment::has_option(std::string_view option) const
{
    return std::find(options.begin(), options.end(), option) != options.end();
}

std::optional<std::size_t> Experiment::column_with(ColumnRole role) const
{
    const auto at = std::find(column_roles.begin(), column_roles.end(), role);
    if (at == column_roles.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(at - column_roles.begin());
}

double Experiment::samples_at(double count) const
{
    return !column_roles.empty() && column_roles.front() == ColumnRole::counter ? count - 1.0 : count;
}

std::string Experiment::count_unit() const
{
    const ColumnRole first = column_roles.empty() ? ColumnRole::sample_count : column_roles.front();
    switch (first) {
    case ColumnRole::interval_count:
        return "intervals";
    case ColumnRole::chain_point_count:
        return "chain points";
    default:
        return "samples";
    }
}

const Experiment* experiment_named(std::string_view name)
{
    const auto& all = experiments();
    const auto found = std::find_if(all.begin(), all.end(), [&](const Experiment& e) { return e.name == name; });
    return found == all.end() ? nullptr : &*found;
}

const Experiment& find_experiment(std::string_view name)
{
    const Experiment* experiment = experiment_named(name);
    if (experiment == nullptr) {
        throw std::out_of_range("no experiment named " + std::string(name));
    }
    return *experiment;
}
