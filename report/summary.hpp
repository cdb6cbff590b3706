#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "experiments.hpp"
#include "table.hpp"

// The summary of a run: for each experiment the estimate in the last row of
// its table against the exact value it converges to, with the method's own
// error estimate where it has one.

// The method's own estimate of its statistical error, where it has one.
struct OwnError {
    std::string kind;  // "jackknife error" (the error column's name) or "interval half-width"
    double value;
    std::optional<double> lower;  // the bootstrap interval's ends
    std::optional<double> upper;
};

// What one estimate in the last row says.
struct Estimate {
    std::string label;  // the experiment's name, with the rule for quadrature
    long long size;     // samples, intervals or chain points behind the row
    std::string size_unit;
    double value;
    double exact;
    std::optional<OwnError> own_error;

    double absolute_error() const;
};

// The estimates in the last row of an experiment's table against the
// experiment's exact value, read by the roles of its columns (see
// experiments.tsv): the estimate, with a standard error or an interval as
// the method's own error, or else one estimate per rule. Throws
// std::invalid_argument for a last row of the wrong width.
std::vector<Estimate> last_estimates(const Experiment& experiment, const Table& table);

struct ExperimentSummary {
    Experiment experiment;
    std::vector<Estimate> estimates;
    bool figure_drawn;
};

// The summary as markdown: one table row per estimate, linking each
// experiment's figure when it was drawn.
std::string markdown(const std::vector<ExperimentSummary>& summaries);

// Reads every experiment's table from `folder` and summarises it, noting
// which figures exist there. Throws TableError naming the file for a table
// that is missing or malformed.
std::vector<ExperimentSummary> summarise_folder(const std::filesystem::path& folder);

// The exact values as gnuplot assignments on one line, exact_<name> for
// each experiment of the list, so that the figures draw the same numbers as
// the summary.
std::string gnuplot_constants();
