// Quantiles of Student's t distribution for the intervals of the chain
// error analyses.
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "suite/chain_errors.hpp"

namespace suite {

namespace {

// The continued fraction of the regularized incomplete beta function
// I_x(a, b), by the modified Lentz method; it converges fast for
// x < (a + 1) / (a + b + 2).
double beta_fraction(double a, double b, double x)
{
    constexpr double tiny = 1e-300;
    constexpr double tolerance = 1e-16;
    // c carries from one step of the fraction to the next.
    // cppcheck-suppress variableScope
    double c = 1.0;
    double d = 1.0 - (a + b) * x / (a + 1.0);
    d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
    double h = d;
    for (int m = 1; m < 1000000; ++m) {
        const double md = m;
        const double even = md * (b - md) * x / ((a + 2.0 * md - 1.0) * (a + 2.0 * md));
        d = 1.0 + even * d;
        d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
        c = 1.0 + even / c;
        c = std::fabs(c) < tiny ? tiny : c;
        h = h * d * c;
        const double odd = -(a + md) * (a + b + md) * x / ((a + 2.0 * md) * (a + 2.0 * md + 1.0));
        d = 1.0 + odd * d;
        d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
        c = 1.0 + odd / c;
        c = std::fabs(c) < tiny ? tiny : c;
        const double step = d * c;
        h = h * step;
        if (std::fabs(step - 1.0) < tolerance) {
            break;
        }
    }
    return h;
}

double incomplete_beta(double a, double b, double x)
{
    if (x <= 0.0) {
        return 0.0;
    }
    if (x >= 1.0) {
        return 1.0;
    }
    const double front =
        std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
    if (x < (a + 1.0) / (a + b + 2.0)) {
        return front * beta_fraction(a, b, x) / a;
    }
    return 1.0 - front * beta_fraction(b, a, 1.0 - x) / b;
}

// P(T <= t) for nu degrees of freedom: the tail beyond |t| is
// I_{nu / (nu + t^2)}(nu / 2, 1 / 2) / 2.
double student_t_cdf(double t, double nu)
{
    const double tail = 0.5 * incomplete_beta(nu / 2.0, 0.5, nu / (nu + t * t));
    return t > 0.0 ? 1.0 - tail : tail;
}

}  // namespace

double student_t_quantile(double probability, double degrees_of_freedom)
{
    if (!(probability > 0.0 && probability < 1.0) || !(degrees_of_freedom > 0.0)) {
        throw std::invalid_argument("Student t quantile: needs 0 < probability < 1 and degrees of freedom > 0");
    }
    if (probability == 0.5) {
        return 0.0;
    }
    // By symmetry the upper half; bracket, then bisect to the last bit. Beyond
    // 10^7 degrees of freedom, where the beta fraction would grow long, the
    // quantile of 10^7 stands in: t = z (1 + (z^2 + 1) / (4 nu) + ...) moves
    // by less than 10^-7 relative from there on.
    const double p = probability > 0.5 ? probability : 1.0 - probability;
    const double nu = std::min(degrees_of_freedom, 1e7);
    double low = 0.0;
    double high = 1.0;
    while (student_t_cdf(high, nu) < p && high < std::numeric_limits<double>::max() / 4) {
        low = high;
        high *= 2.0;
    }
    for (int i = 0; i < 200 && low < high; ++i) {
        const double mid = low + (high - low) / 2.0;
        if (mid <= low || mid >= high) {
            break;
        }
        (student_t_cdf(mid, nu) < p ? low : high) = mid;
    }
    const double t = high;
    return probability > 0.5 ? t : -t;
}

}  // namespace suite
