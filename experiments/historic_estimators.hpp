#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "suite/estimators.hpp"

// The estimators as the Metropolis experiments define them: the constants
// and divisors their tables have always used, and the plain forms of the
// definitions, which the fast library forms are held to.

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

// The error from the ten leave-one-out sums (see suite::GrowingJackknifeSums).
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

// The definition, summing every block afresh.
inline double jackknife_error(std::span<const double> values, double mean)
{
    const auto i = static_cast<std::int32_t>(values.size());
    const auto value = [&](std::int32_t position) { return values[static_cast<std::size_t>(position)]; };
    const auto edge = [&](std::int32_t b) { return (b * i) / jackknife_blocks; };

    std::array<double, jackknife_blocks> sums{};
    for (std::int32_t b = 0; b < jackknife_blocks - 1; ++b) {
        double sum = 0.0;
        for (std::int32_t k = 0; k < edge(b); ++k) {
            sum = sum + value(k);
        }
        for (std::int32_t k = edge(b + 1); k < i; ++k) {
            sum = sum + value(k);
        }
        sums[static_cast<std::size_t>(b)] = sum;
    }
    double last = 0.0;
    for (std::int32_t k = 0; k < edge(jackknife_blocks - 1); ++k) {
        last = last + value(k);
    }
    sums[jackknife_blocks - 1] = last;
    return jackknife_error_from_sums(sums, i, mean);
}

// ---------------------------------------------------------------------------
// Bootstrap: 100 resamples; sorted ascending, the 17th and 85th smallest
// bound an interval of about one standard deviation (68 %).

inline constexpr suite::BootstrapPlan bootstrap_plan{100, 16, 84};

// Exchanges the doubles that p and q point to.
inline void swap(double* p, double* q)
{
    const double t = *p;
    *p = *q;
    *q = t;
}

// Fills the N x M index table k-major: entry k * M + l, for sample k of
// resample l, is trunc(N r) for a fresh deviate r, so every index lies in
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
// receives them, sorted, and the plan's ranks bound the interval.
inline suite::BootstrapInterval bootstrap_interval(std::span<const double> values,
                                                   std::span<const std::int64_t> index, std::span<double> means,
                                                   const suite::BootstrapPlan& plan = bootstrap_plan)
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
    return {means[plan.lower_rank], means[plan.upper_rank]};
}

}  // namespace historic
