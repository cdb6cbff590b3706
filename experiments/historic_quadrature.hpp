#pragma once

#include <cstdint>

#include "suite/quadrature_rules.hpp"

// The rules as the quadrature experiment has always computed them, on [a, b]
// with n intervals: x_i + h and (x_i + h) + h are formed by adding the step
// h = (b - a) / n, and each sum is scaled as (sum (b - a)) / n. The loops
// stop where the experiment stops them: the rectangle and trapezoid sums
// leave out the last interval (i < n - 1), and the Simpson weights 1-4-1 run
// over overlapping two-step windows starting at every i < n - 2, each
// weighted by a single step (interior points thus carry the weight
// (1 + 4 + 1)/6 = 1, as in the rectangle rule).

namespace historic {

using suite::abscissa;

template <class F>
double rectangle_rule(F&& f, double a, double b, std::int64_t n)
{
    double sum = 0.0;
    for (std::int64_t i = 0; i < n - 1; ++i) {
        sum = sum + f(abscissa(a, b, i, n));
    }
    return sum * (b - a) / static_cast<double>(n);
}

template <class F>
double trapezoid_rule(F&& f, double a, double b, std::int64_t n)
{
    double sum = 0.0;
    for (std::int64_t i = 0; i < n - 1; ++i) {
        const double x = abscissa(a, b, i, n);
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
        const double x = abscissa(a, b, i, n);
        const double h = (b - a) / static_cast<double>(n);
        sum = sum + (f(x) + 4.0 * f(x + h) + f((x + h) + h)) / 6.0;
    }
    return sum * (b - a) / static_cast<double>(n);
}

}  // namespace historic
