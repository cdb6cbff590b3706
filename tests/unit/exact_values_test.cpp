#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "suite/point3.hpp"
#include "test_functions.hpp"

using namespace suite;

// The exact values beside the test functions, checked against their closed
// forms and against numerical integration of the test functions themselves.

namespace {

// Composite three-point Gauss-Legendre rule on [0, 1]: exact for polynomials
// of degree five on each panel, so its error on these smooth integrands is
// far below the tolerances used here.
constexpr int panels = 24;
constexpr std::array<double, 3> gauss_nodes = {-0.7745966692414834, 0.0, 0.7745966692414834};
constexpr std::array<double, 3> gauss_weights = {5.0 / 9.0, 8.0 / 9.0, 5.0 / 9.0};

template <class F>
double integrate_unit_interval(F f)
{
    double sum = 0.0;
    const double h = 1.0 / panels;
    for (int panel = 0; panel < panels; ++panel) {
        const double middle = (panel + 0.5) * h;
        for (std::size_t k = 0; k < gauss_nodes.size(); ++k) {
            sum += gauss_weights[k] * h / 2.0 * f(middle + gauss_nodes[k] * h / 2.0);
        }
    }
    return sum;
}

template <class F>
double integrate_unit_cube(F f)
{
    return integrate_unit_interval([&](double x) {
        return integrate_unit_interval([&](double y) {
            return integrate_unit_interval([&](double z) { return f(Point3{x, y, z}); });
        });
    });
}

double e_to_minus_square(double t) { return std::exp(-t * t); }

}  // namespace

TEST(ExactValues, SineIntegralIsTwoOverPi)
{
    EXPECT_DOUBLE_EQ(sine_pi_integral(), 2.0 / std::numbers::pi);
    // The programs write pi with eleven decimals; the difference this makes
    // to the integral is about 1e-12, far below what the tables print.
    EXPECT_NEAR(integrate_unit_interval(sine_pi), sine_pi_integral(), 1e-11);
}

TEST(ExactValues, CubicPolynomialIntegratesToOne)
{
    EXPECT_NEAR(integrate_unit_cube(cubic_polynomial), cubic_polynomial_integral, 1e-14);
}

TEST(ExactValues, OneDimensionalIntegralsMatchTheirClosedForms)
{
    const MomentIntegrals m = moment_integrals();
    EXPECT_NEAR(m.i1, integrate_unit_interval([](double x) { return x * x * x * e_to_minus_square(x); }), 1e-12);
    EXPECT_NEAR(m.i2, integrate_unit_interval([](double y) { return y * y * e_to_minus_square(y); }), 1e-12);
    EXPECT_NEAR(m.i3, integrate_unit_interval([](double z) { return z * e_to_minus_square(z); }), 1e-12);
    EXPECT_NEAR(m.z, integrate_unit_interval(e_to_minus_square), 1e-12);
    // The weight's normalisation constant is Z^3 rounded to six decimals.
    EXPECT_NEAR(m.z * m.z * m.z, weight_normalisation, 5e-7);
}

TEST(ExactValues, MetropolisExpectationIsTheRatioOfTwoCubeIntegrals)
{
    // <f> = int P f / int P, whatever constant P is divided by.
    const double weighted = integrate_unit_cube([](const Point3& p) { return P(p) * moment_observable(p); });
    const double weight = integrate_unit_cube(P);
    EXPECT_NEAR(moment_expectation(), weighted / weight, 1e-11);
    EXPECT_NEAR(moment_expectation(), 2.4313142, 5e-8);
}

TEST(ExactValues, WeightedIntegralIsTheCubeIntegralOfTheWeightedObservable)
{
    EXPECT_NEAR(weighted_moment_integral(), integrate_unit_cube(weighted_moment), 1e-11);
    EXPECT_NEAR(weighted_moment_integral(), 2.4313165, 5e-8);
    // Dividing by the rounded 0.416538 instead of Z^3 moves the value in
    // the sixth decimal: the two must not be mixed up.
    EXPECT_GT(weighted_moment_integral() - moment_expectation(), 2e-6);
}

// The variances against E[f^2] - E[f]^2 integrated numerically from the test
// functions themselves (z^6 is past the rule's degree: hence 1e-10 for the
// polynomial).
TEST(ExactValues, VariancesOfOneSampleMatchNumericalIntegration)
{
    const auto square = [](double v) { return v * v; };
    const double sine = sine_pi_integral();
    EXPECT_NEAR(sine_pi_variance(), integrate_unit_interval([&](double x) { return square(sine_pi(x)); }) - sine * sine,
                1e-11);
    EXPECT_NEAR(cubic_polynomial_variance,
                integrate_unit_cube([&](const Point3& p) { return square(cubic_polynomial(p)); }) - 1.0, 1e-10);
    const double weighted = weighted_moment_integral();
    EXPECT_NEAR(weighted_moment_variance(),
                integrate_unit_cube([&](const Point3& p) { return square(weighted_moment(p)); }) - weighted * weighted,
                1e-9);
    // Under the weight: E[f^2] = int P f^2 / int P.
    const double moment = moment_expectation();
    const double weight = integrate_unit_cube(P);
    EXPECT_NEAR(moment_variance(),
                integrate_unit_cube([&](const Point3& p) { return P(p) * square(moment_observable(p)); }) / weight -
                    moment * moment,
                1e-9);
    EXPECT_NEAR(moment_variance(), 43.955624, 1e-6);
}

// The AR(1) closed forms against their definitions: the variance of the mean
// as the double sum of phi^|i-j| / (1 - phi^2) over N^2, tau_int as
// 1/2 + sum phi^t.
TEST(ExactValues, Ar1VarianceOfTheMeanAndTauIntMatchTheirSums)
{
    for (const double phi : {0.5, 0.9, 0.99}) {
        for (const int n : {1, 2, 7, 100}) {
            double sum = 0.0;
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) {
                    sum += std::pow(phi, std::abs(i - j)) / (1.0 - phi * phi);
                }
            }
            EXPECT_NEAR(ar1_variance_of_mean(phi, n), sum / n / n, 1e-12 * sum / n / n) << phi << " " << n;
        }
        double tau = 0.5;
        for (int t = 1; t < 20000; ++t) {
            tau += std::pow(phi, t);
        }
        EXPECT_NEAR(ar1_tau_int(phi), tau, 1e-9 * tau) << phi;
    }
}
