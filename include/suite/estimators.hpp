#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "suite/uniform_engine.hpp"

namespace suite {

// Estimators of a mean and of its statistical error, for any series of
// doubles (a Markov chain's values, say), and their forms for a series that
// grows by one value at a time.

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

// The leave-one-out sums of ten blocks for a series that grows by one value
// per row. Row i (values.size() = i >= 1) cuts at e_b = (b i) / 10; its sum
// with block b left out adds positions 0 to e_b - 1 and then e_{b+1} to
// i - 1 into one accumulator from 0, in increasing position. The first part
// is the prefix sum up to e_b, accumulated from 0 in the same order, so the
// same number; the rest is added one value at a time. Position k joins every
// sum b with e_{b+1} <= k, so the sums run side by side as lanes of one
// vector. From one row to the next, a block whose two edges did not move has
// the same additions as before and one more, of the new value: its sum is the
// previous row's plus that value, the same number; only the blocks from the
// lowest moved edge up are summed again, which on average shortens the chain
// of additions by a third.
class GrowingJackknifeSums {
public:
    static constexpr std::size_t blocks = 10;

    // The ten sums of `values`; `prefix` holds prefix[k] = values[0] + ...
    // + values[k-1] accumulated from 0 (prefix[0] = 0) for k = 0 to i.
    // Consecutive calls for rows i - 1 and i take over what did not change;
    // any other call computes afresh. The same numbers either way.
    const std::array<double, blocks>& leave_one_out_sums(std::span<const double> values,
                                                         std::span<const double> prefix);

    // The edges e_0 .. e_10 of the last row.
    const std::array<std::int32_t, blocks + 1>& edges() const { return edges_; }

private:
    std::array<std::int32_t, blocks + 1> edges_{};
    std::array<double, blocks> sums_{};
    std::size_t row_ = 0;  // of edges_ and sums_; 0 for none
};

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

// The intervals of the rows of a growing series, on `threads` threads, with
// the experiments' historic draw: index trunc(N r) of one engine value r =
// v 2^-24, in integers floor(N v / 2^24). It is not uniform (indices differ
// in probability by up to N / 2^24 relative, and above 2^24 some are never
// drawn), but it keeps their tables. Row N resamples the first N values
// with N M draws, and `gap` draws of other use lie between the end of one
// row's draws and the start of the next's. Row first_row + r goes to
// intervals[r]; `start` is the engine at row first_row's first draw, and
// values.size() is at least the last row. Every row's draws sit at a known
// place in the stream, so each thread takes a contiguous range of rows of
// about equal work, jumps a copy of the engine to its first row and skips
// the gaps between its rows: the intervals are the same for any number of
// threads.
void bootstrap_intervals(std::span<const double> values, const UniformEngine& start, std::int64_t first_row,
                         const BootstrapPlan& plan, std::int64_t gap, std::span<BootstrapInterval> intervals,
                         unsigned threads);

}  // namespace suite
