#include "summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

// printf-style formatting into a string: measured first, then printed into
// a string of that length (and its terminator).
template <class... Args>
std::string format(const char* pattern, Args... args)
{
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    (void)std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

// An error in scientific notation, or 0 when the printed digits hit the
// exact value.
std::string error_text(double error) { return error == 0.0 ? std::string("0") : format("%.2e", error); }

Estimate estimate(const std::string& label, double size, const std::string& unit, double value, double exact)
{
    return {label, std::llround(size), unit, value, exact, std::nullopt};
}

std::string read_table_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw TableError(path.string() + ": cannot be read");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

double Estimate::absolute_error() const { return std::abs(value - exact); }

std::vector<Estimate> last_estimates(const Experiment& experiment, const Table& table)
{
    if (table.rows.empty() || table.rows.back().size() != experiment.columns) {
        throw std::invalid_argument("the last row of " + experiment.table_file + " does not have " +
                                    std::to_string(experiment.columns) + " fields");
    }
    const std::vector<double>& row = table.rows.back();
    const auto column = [&](ColumnRole role) -> std::optional<double> {
        const auto at = experiment.column_with(role);
        return at ? std::optional(row[*at]) : std::nullopt;
    };
    const double exact = experiment.exact();
    const double size = experiment.samples_at(row[0]);
    const std::string unit = experiment.count_unit();

    // One estimate with the method's own error where it has one...
    if (const auto mean = column(ColumnRole::estimate)) {
        Estimate e = estimate(experiment.name, size, unit, *mean, exact);
        const auto lower = column(ColumnRole::interval_lower);
        const auto upper = column(ColumnRole::interval_upper);
        if (const auto error = experiment.column_with(ColumnRole::standard_error)) {
            // Named as its column: jackknife_error is a "jackknife error".
            std::string kind = experiment.column_names[*error];
            std::replace(kind.begin(), kind.end(), '_', ' ');
            e.own_error = OwnError{kind, row[*error], std::nullopt, std::nullopt};
        } else if (lower && upper) {
            e.own_error = OwnError{"interval half-width", (*upper - *lower) / 2.0, lower, upper};
        }
        return {e};
    }
    // ... or one per rule, side by side.
    std::vector<Estimate> rules;
    for (std::size_t c = 1; c < experiment.columns; ++c) {
        if (experiment.column_roles[c] == ColumnRole::rule_estimate) {
            rules.push_back(estimate(experiment.name + ", " + experiment.column_names[c], size, unit, row[c], exact));
        }
    }
    return rules;
}

std::string markdown(const std::vector<ExperimentSummary>& summaries)
{
    std::string text =
        "# Summary of the experiments\n"
        "\n"
        "The estimate in the last row of each table against the exact value it converges to. "
        "The tables print six decimals, so errors below 5e-07 are rounding.\n"
        "\n"
        "| experiment | last row | estimate | exact | absolute error | own error estimate | figure |\n"
        "|---|---|---|---|---|---|---|\n";
    for (const ExperimentSummary& summary : summaries) {
        const std::string png = summary.experiment.name + ".png";
        std::string figure = "not drawn";
        if (summary.figure_drawn) {
            figure = "[";
            figure.append(png).append("](").append(png).append(")");
        }
        for (const Estimate& e : summary.estimates) {
            std::string own = "—";
            if (e.own_error) {
                own = e.own_error->kind + " " + error_text(e.own_error->value);
                if (e.own_error->lower && e.own_error->upper) {
                    own += format(", interval [%.6f, %.6f]", *e.own_error->lower, *e.own_error->upper);
                }
            }
            text.append("| ").append(e.label).append(" | ").append(std::to_string(e.size)).append(" ");
            text.append(e.size_unit).append(" | ").append(format("%.6f", e.value)).append(" | ");
            text.append(format("%.7f", e.exact)).append(" | ").append(error_text(e.absolute_error())).append(" | ");
            text.append(own).append(" | ").append(figure).append(" |\n");
        }
    }
    text +=
        "\n"
        "Exact values: 2/π for sin(πx) on [0, 1]; 1 for 3x²y + 2z³ on the unit cube; "
        "128·I₁·I₂·I₃/Z³ for the Metropolis expectation; 128·I₁·I₂·I₃/0.416538 for the weighted "
        "uniform integral, whose integrand divides by the rounded normalisation 0.416538 instead of Z³; 0 for the "
        "mean of the AR(1) chains.\n";
    return text;
}

std::vector<ExperimentSummary> summarise_folder(const std::filesystem::path& folder)
{
    std::vector<ExperimentSummary> summaries;
    for (const Experiment& experiment : experiments()) {
        const std::filesystem::path path = folder / experiment.table_file;
        Table table;
        try {
            table = parse_table(read_table_file(path), experiment.columns);
        } catch (const TableError& error) {
            const std::string message = error.what();
            // A read failure already names the file.
            throw TableError(message.starts_with(path.string()) ? message : path.string() + ": " + message);
        }
        summaries.push_back({experiment, last_estimates(experiment, table),
                             std::filesystem::exists(folder / (experiment.name + ".png"))});
    }
    return summaries;
}

std::string gnuplot_constants()
{
    std::string line;
    for (const Experiment& experiment : experiments()) {
        line += (line.empty() ? "" : "; ") + format("exact_%s = %.17g", experiment.name.c_str(), experiment.exact());
    }
    return line;
}
