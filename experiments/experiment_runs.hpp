#pragma once

#include <cstdint>
#include <span>

#include "experiments.hpp"
#include "run_settings.hpp"

// The experiments' loops, each handing its rows to a sink: the programs
// write them as tables, the tests and the Python module keep them.

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

// Runs `experiment` with `settings`, validated and completed by
// RunSettings::completed_for, handing every row to `sink`. The rows are the
// program's table, row for row. Throws SettingError (a
// std::invalid_argument) for settings out of range and passes on whatever
// the sink throws.
void run_experiment(const Experiment& experiment, const RunSettings& settings, RowSink& sink);

// The loops of the suite's experiments, named by experiments.tsv; each takes
// completed settings.
void run_montecarlo1d(const RunSettings& settings, RowSink& sink);
void run_montecarlo3d(const RunSettings& settings, RowSink& sink);
void run_montecarlo3d_weighted(const RunSettings& settings, RowSink& sink);
void run_quadrature(const RunSettings& settings, RowSink& sink);
void run_metropolis(const RunSettings& settings, RowSink& sink);
void run_metropolis_jackknife(const RunSettings& settings, RowSink& sink);
void run_metropolis_bootstrap(const RunSettings& settings, RowSink& sink);
// Chains of known answers with every error bar of their mean at checkpoints,
// for the coverage study.
void run_ar1_phi05(const RunSettings& settings, RowSink& sink);
void run_ar1_phi09(const RunSettings& settings, RowSink& sink);
void run_ar1_phi099(const RunSettings& settings, RowSink& sink);
void run_metropolis_errors(const RunSettings& settings, RowSink& sink);
