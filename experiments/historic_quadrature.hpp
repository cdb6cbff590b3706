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

// The three rules at once, for the price of the Simpson-weighted one: the
// rectangle's f(x_i) is the trapezoid's and the Simpson window's first
// value, the trapezoid's f(x_i + h) is the window's middle one (the same
// abscissa expression, so the same bits). Each sum adds the same terms in
// the same order as its rule alone, so the estimates are those rules' to
// the last bit; f is evaluated 3(n - 1) times instead of 6n - 7.
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
        const double x = abscissa(a, b, i, n);
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
