#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "growing_series.hpp"
#include "suite/estimators.hpp"
#include "suite/quadrature_rules.hpp"

// The experiments' estimators and rules written plainly, as their
// definitions read, for the tests and benchmarks to hold the fast forms to:
// every sum afresh, one index per generator value, a sort by exchange.

namespace historic {

// The ten-block jackknife error of `values` around `mean`, every block
// summed afresh (the divisors of jackknife_error_from_sums).
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
// Bootstrap.

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

// ---------------------------------------------------------------------------
// The quadrature experiment's sums, each rule alone (see three_rules for the
// steps, the scaling and the shortened loops).

template <class F>
double rectangle_rule(F&& f, double a, double b, std::int64_t n)
{
    double sum = 0.0;
    for (std::int64_t i = 0; i < n - 1; ++i) {
        sum = sum + f(suite::abscissa(a, b, i, n));
    }
    return sum * (b - a) / static_cast<double>(n);
}

template <class F>
double trapezoid_rule(F&& f, double a, double b, std::int64_t n)
{
    double sum = 0.0;
    for (std::int64_t i = 0; i < n - 1; ++i) {
        const double x = suite::abscissa(a, b, i, n);
        const double h = (b - a) / static_cast<double>(n);
        sum = sum + (f(x) + f(x + h)) / 2.0;
    }
    return sum * (b - a) / static_cast<double>(n);
}

template <class F>
double simpson_weighted_rule(F&& f, double a, double b, std::int64_t n)
{
    double sum = 0.0;
    for (std::int64_t i = 0; i < n - 2; ++i) {
        const double x = suite::abscissa(a, b, i, n);
        const double h = (b - a) / static_cast<double>(n);
        sum = sum + (f(x) + 4.0 * f(x + h) + f((x + h) + h)) / 6.0;
    }
    return sum * (b - a) / static_cast<double>(n);
}

}  // namespace historic
