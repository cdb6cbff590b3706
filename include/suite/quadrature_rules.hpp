#pragma once

#include <cstdint>
#include <stdexcept>

namespace suite {

// Composite quadrature rules for the integral of f over [a, b] with n equal
// intervals of width h = (b - a) / n. The abscissa x_i = a + ((b - a) i) / n
// is computed from i each time, never by adding steps, so no rounding
// accumulates along the interval; terms are summed in increasing i.
//   rectangle (left point):  h sum_{i<n} f(x_i),             error O(h);
//   trapezoid:               h sum_{i<n} (f(x_i) + f(x_{i+1})) / 2, O(h^2);
//   Simpson (n even):        h/3 sum over pairs (f + 4 f + f),  O(h^4),
// exact for polynomials of degree 0, 1 and 3 respectively. (The quadrature
// experiment's table sums differently, by adding steps and over shortened
// loops, and its forms live with it, not here.)

inline double abscissa(double a, double b, std::int64_t i, std::int64_t n)
{
    return a + ((b - a) * static_cast<double>(i)) / static_cast<double>(n);
}

template <class F>
double rectangle_rule(F&& f, double a, double b, std::int64_t n)
{
    if (n < 1) {
        throw std::invalid_argument("rectangle_rule: needs at least one interval");
    }
    double sum = 0.0;
    for (std::int64_t i = 0; i < n; ++i) {
        sum = sum + f(abscissa(a, b, i, n));
    }
    return sum * (b - a) / static_cast<double>(n);
}

template <class F>
double trapezoid_rule(F&& f, double a, double b, std::int64_t n)
{
    if (n < 1) {
        throw std::invalid_argument("trapezoid_rule: needs at least one interval");
    }
    double sum = 0.0;
    for (std::int64_t i = 0; i < n; ++i) {
        sum = sum + (f(abscissa(a, b, i, n)) + f(abscissa(a, b, i + 1, n))) / 2.0;
    }
    return sum * (b - a) / static_cast<double>(n);
}

template <class F>
double simpson_rule(F&& f, double a, double b, std::int64_t n)
{
    if (n < 2 || n % 2 != 0) {
        throw std::invalid_argument("simpson_rule: needs an even number of intervals");
    }
    double sum = 0.0;
    for (std::int64_t i = 0; i < n; i += 2) {
        sum = sum + (f(abscissa(a, b, i, n)) + 4.0 * f(abscissa(a, b, i + 1, n)) + f(abscissa(a, b, i + 2, n)));
    }
    return sum * (b - a) / (3.0 * static_cast<double>(n));
}

}  // namespace suite
