// The estimators of a mean's error on NumPy arrays, with a warning when the
// values are clearly correlated and the i.i.d. error bar is too small.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

#include "array_arguments.hpp"
#include "module_parts.hpp"
#include "suite/chain_errors.hpp"
#include "suite/estimators.hpp"
#include "suite/uniform_engine.hpp"

namespace py = pybind11;

namespace {

std::size_t non_negative(Integer argument, const char* name)
{
    if (argument.value < 0) {
        throw py::value_error(std::string(name) + " must not be negative, not " + std::to_string(argument.value));
    }
    return static_cast<std::size_t>(argument.value);
}

// A RuntimeWarning when the values are clearly correlated (the library's
// one-pass check) and the estimate treats pieces of `piece_length` values
// as independent: the error is then too small by up to sqrt(2 tau_int),
// unless the pieces are much longer than tau_int. A warnings filter that
// turns it into an error raises it.
void warn_if_correlated(std::span<const double> values, double piece_length, const char* estimate)
{
    suite::CorrelationCheck check;
    {
        const py::gil_scoped_release release;
        check = suite::correlation_check(values);
    }
    // Pieces of L values see a variance of the mean too small by about a
    // factor 1 - 2 tau_int / L: within ten per cent from L = 20 tau_int on.
    if (!check.correlated || piece_length >= 20.0 * check.tau_int) {
        return;
    }
    std::ostringstream message;
    message.precision(2);
    message << "the values look correlated (tau_int = " << check.tau_int << " +- " << check.tau_int_error << "): "
            << estimate << " understates the error of the mean by up to about sqrt(2 tau_int) = "
            << std::sqrt(2.0 * check.tau_int)
            << " times; use chain_error(values, method=\"gamma\") or method=\"binning\"";
    if (PyErr_WarnEx(PyExc_RuntimeWarning, message.str().c_str(), 1) != 0) {
        throw py::error_already_set();
    }
}

double jackknife_error(const py::object& values, Integer blocks_argument)
{
    const std::size_t blocks = non_negative(blocks_argument, "blocks");
    // A value that is not finite makes the total not finite, so the values
    // are scanned only then (it may also be an overflow of the sum).
    const Doubles series = real_array(values, 1, false);
    double error = 0.0;
    {
        const py::gil_scoped_release release;
        error = suite::jackknife_error(span_of(series), blocks);
    }
    if (!std::isfinite(error)) {
        check_finite(series);
        throw py::value_error("the sum of the values overflows");
    }
    warn_if_correlated(span_of(series), static_cast<double>(series.size()) / static_cast<double>(blocks),
                       ("the jackknife with blocks of " + std::to_string(series.size() / blocks) + " values").c_str());
    return error;
}

py::array_t<double> running_mean(const py::object& values)
{
    const Doubles series = real_array(values, 1, false);
    py::array_t<double> means(series.size());
    const std::span<double> out(means.mutable_data(), static_cast<std::size_t>(means.size()));
    const py::gil_scoped_release release;
    suite::running_means(span_of(series), out);
    return means;
}

// The ranks, counted from 0 as in suite::BootstrapPlan, of the resample
// means at the quantiles q = (1 - c) / 2 and 1 - q of M resamples:
// floor(q M) and floor((1 - q) M), so c = 0.68 of 100 gives 16 and 84. The
// small tolerance keeps a q M that is an integer in exact arithmetic from
// rounding below it.
std::size_t rank_at(double quantile, std::size_t resamples)
{
    const auto rank = static_cast<std::size_t>(std::floor(quantile * static_cast<double>(resamples) + 1e-9));
    return std::min(rank, resamples - 1);
}

// The ranks of confidence level c: each must leave at least one resample
// mean beyond it, or the interval is merely the smallest and largest mean,
// whatever c says; that needs q M > 1, more than 2 / (1 - c) resamples.
suite::BootstrapPlan plan_of_level(double c, std::size_t resamples)
{
    if (!(c > 0.0 && c < 1.0)) {
        throw py::value_error("confidence_level must lie strictly between 0 and 1");
    }
    const suite::BootstrapPlan plan{resamples, rank_at((1.0 - c) / 2.0, std::max<std::size_t>(resamples, 1)),
                                    rank_at((1.0 + c) / 2.0, std::max<std::size_t>(resamples, 1))};
    if (plan.lower_rank < 1 || plan.upper_rank + 2 > resamples) {
        std::ostringstream message;
        message << "too few resamples for confidence_level " << c << ": it needs more than 2 / (1 - c) = "
                << 2.0 / (1.0 - c) << ", not " << resamples
                << " (with fewer, the interval is the smallest and largest resample mean)";
        throw py::value_error(message.str());
    }
    return plan;
}

// The old keywords lower and upper counted from 1; they still work, with a
// DeprecationWarning, as lower_rank + 1 and upper_rank + 1.
std::optional<Integer> from_one_based(const std::optional<Integer>& rank, const char* name)
{
    if (!rank) {
        return std::nullopt;
    }
    const std::string message = std::string(name) + "= counts from 1 and is deprecated: give " + name +
                                "_rank=, which counts from 0 as suite::BootstrapPlan does";
    if (PyErr_WarnEx(PyExc_DeprecationWarning, message.c_str(), 1) != 0) {
        throw py::error_already_set();
    }
    return Integer{rank->value - 1};
}

py::tuple bootstrap_interval(const py::object& values, Integer resamples_argument,
                             std::optional<Integer> lower_rank, std::optional<Integer> upper_rank, Integer seed,
                             std::optional<double> confidence_level, std::optional<Integer> threads,
                             std::optional<Integer> lower_one_based, std::optional<Integer> upper_one_based)
{
    const unsigned workers = thread_count(threads);
    const Doubles series = real_array(values, 1, true);
    const std::size_t resamples = non_negative(resamples_argument, "resamples");
    if ((lower_rank && lower_one_based) || (upper_rank && upper_one_based)) {
        throw py::value_error("give lower_rank and upper_rank, or the deprecated lower and upper, not both");
    }
    const std::optional<Integer> lower = lower_rank ? lower_rank : from_one_based(lower_one_based, "lower");
    const std::optional<Integer> upper = upper_rank ? upper_rank : from_one_based(upper_one_based, "upper");
    if (lower.has_value() != upper.has_value()) {
        throw py::value_error("give both ranks, lower_rank and upper_rank, or neither");
    }
    if (lower && confidence_level) {
        throw py::value_error("give either the ranks or confidence_level, not both");
    }
    // The library checks the plan's ranges.
    const suite::BootstrapPlan plan =
        lower ? suite::BootstrapPlan{resamples, non_negative(*lower, "lower_rank"), non_negative(*upper, "upper_rank")}
              : plan_of_level(confidence_level.value_or(0.68), resamples);
    suite::UniformEngine engine(seed.value);
    suite::BootstrapInterval interval{};
    {
        const py::gil_scoped_release release;
        interval = suite::bootstrap_interval(span_of(series), plan, engine, workers);
    }
    warn_if_correlated(span_of(series), 1.0, "the bootstrap of single values");
    return py::make_tuple(interval.lower, interval.upper);
}

}  // namespace

void add_estimators(py::module_& module)
{
    using namespace pybind11::literals;
    module.def("jackknife_error", &jackknife_error, "values"_a, "blocks"_a = 10,
               "The blocked jackknife error of the mean of values, cut into `blocks` consecutive blocks.\n"
               "A RuntimeWarning says when the values are clearly correlated and the blocks are not much\n"
               "longer than their integrated autocorrelation time.");
    module.def("running_mean", &running_mean, "values"_a,
               "The running means: element k is the mean of values[0] .. values[k], summed in order.");
    module.def("bootstrap_interval", &bootstrap_interval, "values"_a, "resamples"_a = 100, py::kw_only(),
               "lower_rank"_a = py::none(), "upper_rank"_a = py::none(), "seed"_a = 0,
               "confidence_level"_a = py::none(), "threads"_a = py::none(), "lower"_a = py::none(),
               "upper"_a = py::none(),
               "The bootstrap percentile interval of the mean: of `resamples` resample means sorted, the ones\n"
               "at lower_rank and upper_rank, counted from 0 (as in suite::BootstrapPlan), or at the ranks\n"
               "confidence_level picks (0.68 when neither is given: 16 and 84 of 100). On `threads` threads\n"
               "(by default every core this process may use); the interval is the same for any number.\n"
               "lower= and upper=, counted from 1, are deprecated. A RuntimeWarning says when the values\n"
               "are clearly correlated, which makes the interval too narrow.");
}
