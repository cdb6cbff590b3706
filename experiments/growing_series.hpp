#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "suite/estimators.hpp"
#include "suite/quadrature_rules.hpp"
#include "suite/uniform_engine.hpp"

// The forms of the estimators and rules that the experiments' tables have
// always used, for a series that grows by one value per row: the ten-block
// jackknife with its divisors, the bootstrap with its one-value draw, and
// the shortened quadrature sums. They are not the library's general forms
// (suite/estimators.hpp, suite/quadrature_rules.hpp); their fast loops are
// compiled into the library, which does not declare them.

namespace suite {

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

namespace historic {

// ---------------------------------------------------------------------------
// Ten-block jackknife. The values are cut at e_b = (b i) / 10 into ten
// consecutive blocks; leaving block b out gives the mean m_b, and the error
// is sqrt((10 - 1)/10 * sum_b (m_b - mean)^2) around the running mean `mean`
// of all values. The experiment keeps the divisors it has always used:
// blocks 0 to 8 divide by i - e_1 whatever the size of the block left out,
// while block 9 divides by e_9, the number of values it sums. For i = 1
// block 9 sums nothing and divides by 0, so the error is not-a-number.

inline constexpr std::int32_t jackknife_blocks = 10;

// The error from the ten leave-one-out sums (see GrowingJackknifeSums).
inline double jackknife_error_from_sums(const std::array<double, 10>& sums, std::int32_t i, double mean)
{
    const auto edge = [&](std::int32_t b) { return (b * i) / jackknife_blocks; };
    std::array<double, jackknife_blocks> leave_one_out{};
    for (std::size_t b = 0; b + 1 < jackknife_blocks; ++b) {
        leave_one_out[b] = sums[b] / static_cast<double>(i - edge(1));
    }
    leave_one_out[jackknife_blocks - 1] = sums[jackknife_blocks - 1] / static_cast<double>(edge(jackknife_blocks - 1));

    double squares = 0.0;
    for (const double m : leave_one_out) {
        // cppcheck-suppress useStlAlgorithm
        squares = squares + (m - mean) * (m - mean);
    }
    return std::sqrt(0.9 * squares);
}

// ---------------------------------------------------------------------------
// Bootstrap: 100 resamples; sorted ascending, the 17th and 85th smallest
// bound an interval of about one standard deviation (68 %).

inline constexpr suite::BootstrapPlan bootstrap_plan{100, 16, 84};

// ---------------------------------------------------------------------------
// Quadrature on [a, b] with n intervals as the experiment sums it: x_i + h
// and (x_i + h) + h are formed by adding the step h = (b - a) / n, and each
// sum is scaled as (sum (b - a)) / n. The rectangle and trapezoid sums leave
// out the last interval (i < n - 1), and the Simpson weights 1-4-1 run over
// overlapping two-step windows starting at every i < n - 2, each weighted by
// a single step (interior points thus carry the weight (1 + 4 + 1)/6 = 1, as
// in the rectangle rule).
//
// The three sums at once, for the price of the Simpson-weighted one: the
// rectangle's f(x_i) is the trapezoid's and the Simpson window's first
// value, the trapezoid's f(x_i + h) is the window's middle one (the same
// abscissa expression, so the same bits). Each sum adds the same terms in
// the same order as that rule summed alone (the tests' plain forms), so the
// estimates are its to the last bit; f is evaluated 3(n - 1) times instead of 6n - 7.
struct ThreeRules {
    double rectangle;
    double trapezoid;
    double simpson_weighted;
};

template <class F>
ThreeRules three_rules(F&& f, double a, double b, std::int64_t n)
{
    double rectangle = 0.0;
    double trapezoid = 0.0;
    double simpson = 0.0;
    for (std::int64_t i = 0; i < n - 1; ++i) {
        const double x = suite::abscissa(a, b, i, n);
        const double h = (b - a) / static_cast<double>(n);
        const double at_x = f(x);
        const double at_next = f(x + h);
        rectangle = rectangle + at_x;
        trapezoid = trapezoid + (at_x + at_next) / 2.0;
        if (i < n - 2) {
            simpson = simpson + (at_x + 4.0 * at_next + f((x + h) + h)) / 6.0;
        }
    }
    return {rectangle * (b - a) / static_cast<double>(n), trapezoid * (b - a) / static_cast<double>(n),
            simpson * (b - a) / static_cast<double>(n)};
}

}  // namespace historic
