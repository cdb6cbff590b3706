#include "error_checkpoints.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>

#include "suite/estimators.hpp"

namespace {

// The central 68.27 % (one normal standard deviation either side).
constexpr double one_sigma_confidence = 0.6826894921370859;
constexpr std::size_t iid_resamples = 100;
constexpr std::size_t jackknife_blocks = 10;
constexpr double no_answer = std::numeric_limits<double>::quiet_NaN();

}  // namespace

std::array<double, ErrorCheckpoints::columns> ErrorCheckpoints::row(std::span<const double> values)
{
    const std::size_t n = values.size();
    const auto nd = static_cast<double>(n);
    binning_.add(values.subspan(binned_));
    binned_ = n;

    // Both sums in order from the first value.
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / nd;
    const double squares = std::accumulate(values.begin(), values.end(), 0.0, [mean](double sum, double v) {
        return sum + (v - mean) * (v - mean);
    });
    const double naive = n >= 2 ? std::sqrt(squares / (nd - 1.0) / nd) : no_answer;
    const double jackknife = n >= jackknife_blocks ? suite::jackknife_error(values, jackknife_blocks) : no_answer;

    // Ranks floor(0.3173 M / 2) = 15 and ceil(1.6827 M / 2) - 1 = 84 of 100,
    // the block bootstrap's own rule at this confidence.
    const suite::BootstrapInterval iid =
        suite::bootstrap_interval(values, {.resamples = iid_resamples, .lower_rank = 15, .upper_rank = 84}, resampling_);
    const double binning = n >= 2 ? binning_.result(one_sigma_confidence).error : no_answer;

    double gamma = no_answer;
    double tau_int = no_answer;
    double block_lower = no_answer;
    double block_upper = no_answer;
    const bool constant = std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) == values.end();
    if (!constant) {
        const suite::GammaResult gamma_result = suite::gamma_analysis(values);
        gamma = gamma_result.error;
        tau_int = gamma_result.tau_int;
        const suite::BlockBootstrapResult block = suite::block_bootstrap(
            values,
            {.scheme = suite::BlockScheme::circular, .confidence = one_sigma_confidence},
            resampling_);
        block_lower = block.lower;
        block_upper = block.upper;
    }
    return {mean, naive, jackknife, iid.lower, iid.upper, binning, gamma, block_lower, block_upper, tau_int};
}
