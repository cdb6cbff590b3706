#pragma once

#include <cstddef>
#include <span>

#include "suite/uniform_engine.hpp"

namespace suite {

// Estimators of a mean and of its statistical error, for any series of
// doubles (a Markov chain's values, say).

// ---------------------------------------------------------------------------
// Running mean: means[k] = (values[0] + ... + values[k]) / (k + 1), the sum
// accumulated in order from 0. `means` must be as long as `values`.
void running_means(std::span<const double> values, std::span<double> means);

// ---------------------------------------------------------------------------
// Blocked jackknife. The n values are cut at e_b = floor(b n / B) into B
// consecutive blocks of sizes n_b = e_{b+1} - e_b; leaving block b out gives
// the mean m_b = (S - S_b) / (n - n_b) of the rest, and the error of the mean
// S / n is
//   sqrt((B - 1) / B * sum_b (m_b - S / n)^2).
// Blocks longer than the correlation time of a chain make the estimate honest
// for correlated values, where the naive sigma / sqrt(n) is too small.
// Throws std::invalid_argument unless 2 <= blocks <= values.size().
double jackknife_error(std::span<const double> values, std::size_t blocks);

// ---------------------------------------------------------------------------
// Bootstrap percentile interval. M resamples of the n values, drawn with
// replacement, give M resample means; their order statistics of ranks
// lower_rank and upper_rank (0-based: rank 16 is the 17th smallest) bound the
// interval. The indices come sample-major (for each k = 0 .. n-1, one index
// for each resample l = 0 .. M-1), and each resample mean sums its terms in
// increasing k from 0 and divides by n.
//
// Each index is exactly uniform on 0 .. n-1, drawn from the engine's values
// in units (operator(), integers below 2^24) thus: take two values a then b,
// let x = a 2^24 + b (48 bits) and p = x n; if p mod 2^48 < 2^48 mod n,
// reject the pair and take the next two values instead; else the index is
// floor(p / 2^48). Every index then has exactly floor(2^48 / n) of the 2^48
// pairs, and a pair is rejected with probability below n / 2^48 (2^-16 at
// the largest n), so about 2 n M values are drawn.
struct BootstrapPlan {
    std::size_t resamples;
    std::size_t lower_rank;
    std::size_t upper_rank;

    // Throws std::invalid_argument unless 1 <= resamples <= 2^20 and
    // lower_rank <= upper_rank < resamples.
    void check() const;
};

struct BootstrapInterval {
    double lower;
    double upper;

    friend bool operator==(const BootstrapInterval&, const BootstrapInterval&) = default;
};

// The interval of `values` (1 <= n <= limits::max_bootstrap_values =
// 2^32 - 1), drawing from `engine` as above; throws std::invalid_argument for an empty
// or too long series or a bad plan. On `threads` threads, each following the
// whole stream and summing its own share of the resamples: the same interval
// for any number, and the engine ends after the last pair used.
BootstrapInterval bootstrap_interval(std::span<const double> values, const BootstrapPlan& plan,
                                     UniformEngine& engine, unsigned threads = 1);

}  // namespace suite
