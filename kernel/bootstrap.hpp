#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "metropolis.hpp"
#include "point3.hpp"
#include "random.hpp"

// The bootstrap interval of a chain mean: M resamples of the N chain values,
// drawn with replacement, give M resample means; sorted ascending, the 17th
// and 85th smallest of 100 bound an interval of about one standard deviation
// (68 %) around the estimate.

inline constexpr std::size_t bootstrap_lower_rank = 16;  // 17th smallest of 100
inline constexpr std::size_t bootstrap_upper_rank = 84;  // 85th smallest of 100

struct BootstrapInterval {
    double lower;
    double upper;

    bool operator==(const BootstrapInterval&) const = default;
};

// Exchanges the doubles that p and q point to.
inline void swap(double* p, double* q)
{
    const double t = *p;
    *p = *q;
    *q = t;
}

// Fills the N x M index table k-major: entry k * M + l, for sample k of
// resample l, is trunc(N r) for a fresh draw r, so every index lies in
// 0 to N - 1.
template <class Uniform>
void draw_resample_indices(std::span<std::int64_t> index, std::int64_t n, std::int64_t m, Uniform&& uniform)
{
    for (std::int64_t k = 0; k < n; ++k) {
        for (std::int64_t l = 0; l < m; ++l) {
            const double r = static_cast<double>(uniform());
            index[static_cast<std::size_t>(k * m + l)] = static_cast<std::int64_t>(static_cast<double>(n) * r);
        }
    }
}

// Sorts ascending by exchange: each position a in turn receives the smallest
// of the rest, exchanging only on a strict >, so equal means never move past
// each other.
inline void exchange_sort(std::span<double> means)
{
    for (std::size_t a = 0; a + 1 < means.size(); ++a) {
        for (std::size_t b = a + 1; b < means.size(); ++b) {
            if (means[a] > means[b]) {
                swap(&means[b], &means[a]);
            }
        }
    }
}

// The interval of `values` (the observable at each of the N chain points)
// for the resamples in `index` (N x means.size(), k-major). Each resample
// mean sums its N terms in increasing k from 0 and divides by N; `means`
// receives them, sorted.
inline BootstrapInterval bootstrap_interval(std::span<const double> values, std::span<const std::int64_t> index,
                                            std::span<double> means)
{
    const std::size_t n = values.size();
    const std::size_t m = means.size();
    for (std::size_t l = 0; l < m; ++l) {
        double sum = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            sum = sum + values[static_cast<std::size_t>(index[k * m + l])];
        }
        means[l] = sum / static_cast<double>(n);
    }
    exchange_sort(means);
    return {means[bootstrap_lower_rank], means[bootstrap_upper_rank]};
}

// ---------------------------------------------------------------------------
// Fast rows: the interval bootstrap_interval() gives for the index table
// draw_resample_indices() would draw, without the table.
//
// The draws come k-major, in the order in which every resample mean adds its
// terms (k = 0, 1, ... for each l), so the M sums are kept side by side and
// each block of M draws becomes one term of each: sum_l = sum_l +
// values[index], in increasing k from 0, the same additions in the same
// order. The index trunc(N r) of a draw r = v 2^-24 is formed in integers,
// as floor(N v / 2^24), while the values are drawn: for N < 2^29 the product
// N v < 2^53 is exact in double too, so it is the same integer. The order
// statistics are whatever correct method finds them: no mean is -0 (a sum
// from +0 cannot become -0 when rounding to nearest) and, for finite values,
// none is a NaN, so the 17th and 85th smallest are the same numbers however
// they are found.

// The interval of `values` for the N x M resample draws made by `drawer`
// (1 <= N = values.size() < 2^29, M = means.size() from 85 to 256). `means`
// receives the resample means, not sorted.
BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           BulkDrawer& drawer);

// The same drawing from `g`, which ends as after the N x M single draws.
BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           UniformGenerator& g);

// The 17th and 85th smallest of the 100 means, reordering them.
BootstrapInterval bootstrap_order_statistics(std::span<double> means);

// ---------------------------------------------------------------------------
// The rows of a growing chain, on several threads.
//
// Row N resamples the first N values of the chain with N x M draws, and
// `gap` draws of other use (the next chain point's sweep) lie between the
// end of one row's draws and the start of the next's. Once the chain is
// known, every row's draws sit at a known place in the stream, so each thread
// takes a contiguous range of rows of about equal work, jumps a copy of the
// generator to its first row and discards the gaps between its rows: the
// intervals are the same for any number of threads.

// The intervals of rows first_row, first_row + 1, ... (one per element of
// `intervals`, row first_row + r in intervals[r]), with `start` the generator
// at row first_row's first resample draw and values.size() at least the last
// row. M = resamples from 85 to 256.
void bootstrap_intervals(std::span<const double> values, const UniformGenerator& start, std::int64_t first_row,
                         std::int64_t resamples, std::int64_t gap, std::span<BootstrapInterval> intervals,
                         unsigned threads);

// The chain of the experiment: values[0] = f(point) for the initial point,
// and for each later row N one sweep of `steps` updates made after row N-1's
// (N-1) x M resample draws, which are jumped over; values[N-1] = f(point).
// `g` starts just after the initial point was drawn, which is where row 1's
// draws begin, and ends at the first resample draw of row values.size().
template <class Observable>
void grow_bootstrap_chain(Point3 point, std::int64_t steps, std::int64_t resamples, std::span<double> values,
                          UniformGenerator& g, Observable&& f)
{
    FastSweeper sampler;
    StreamJump past_row(0);
    values[0] = f(point);
    for (std::size_t row = 2; row <= values.size(); ++row) {
        past_row.lengthen(static_cast<std::uint64_t>(resamples));
        past_row.apply(g);
        sampler.sweep(point, steps, g);
        values[row - 1] = f(point);
    }
}
