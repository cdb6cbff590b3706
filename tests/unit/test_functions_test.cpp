#include <gtest/gtest.h>

#include <cmath>

#include "suite/point3.hpp"
#include "test_functions.hpp"

using namespace suite;

namespace {

TEST(SinePi, VanishesAtZeroAndPeaksAtOneHalf)
{
    EXPECT_EQ(sine_pi(0.0), 0.0);
    EXPECT_DOUBLE_EQ(sine_pi(0.5), 1.0);
    // pi is written with eleven decimals, so sin(pi_11) is not quite 0.
    EXPECT_NEAR(sine_pi(1.0), 0.0, 1e-11);
}

TEST(CubicPolynomial, AtTheCornersAndAnInteriorPoint)
{
    EXPECT_EQ(cubic_polynomial({0.0, 0.0, 0.0}), 0.0);
    EXPECT_EQ(cubic_polynomial({1.0, 1.0, 1.0}), 5.0);
    // 3 * 0.25 * 0.5 + 2 * 0.125 = 0.375 + 0.25, all exact in binary.
    EXPECT_EQ(cubic_polynomial({0.5, 0.5, 0.5}), 0.625);
}

TEST(Weight, IsNormalisedExponentialAndPositiveOnTheCube)
{
    EXPECT_DOUBLE_EQ(P({0.0, 0.0, 0.0}), 1.0 / 0.416538);
    EXPECT_DOUBLE_EQ(P({1.0, 1.0, 1.0}), std::exp(-3.0) / 0.416538);
    for (int i = 0; i < 8; ++i) {
        const double t = 0.125 * i;
        EXPECT_GE(P({t, 1.0 - t, t}), std::exp(-3.0) / 0.416538);
    }
}

TEST(MomentObservable, VanishesOnTheFacesThroughTheOrigin)
{
    EXPECT_EQ(moment_observable({0.0, 0.7, 0.7}), 0.0);
    EXPECT_EQ(moment_observable({0.7, 0.0, 0.7}), 0.0);
    EXPECT_EQ(moment_observable({0.7, 0.7, 0.0}), 0.0);
    EXPECT_EQ(moment_observable({1.0, 1.0, 1.0}), 128.0);
    // 128 * 1/8 * 1/4 * 1/2 = 2, exact.
    EXPECT_EQ(moment_observable({0.5, 0.5, 0.5}), 2.0);
}

TEST(WeightedMoment, IsWeightTimesObservableUpToRounding)
{
    for (const Point3 p : {Point3{0.3, 0.6, 0.9}, Point3{0.99, 0.01, 0.5}, Point3{1.0, 1.0, 1.0}}) {
        EXPECT_NEAR(weighted_moment(p), P(p) * moment_observable(p), 1e-13);
    }
    EXPECT_EQ(weighted_moment({0.0, 0.5, 0.5}), 0.0);
}

// Composite Simpson rule with 2000 intervals: accurate to ~1e-13 for these
// smooth integrands, and independent of the closed forms it checks.
template <class F>
double simpson(F f)
{
    constexpr int n = 2000;
    const double h = 1.0 / n;
    double sum = f(0.0) + f(1.0);
    for (int i = 1; i < n; ++i) {
        sum += (i % 2 == 1 ? 4.0 : 2.0) * f(i * h);
    }
    return sum * h / 3.0;
}

TEST(ExactValues, ClosedFormsAgreeWithNumericalIntegration)
{
    const double pi = std::acos(-1.0);
    EXPECT_NEAR(sine_pi_integral(), simpson([&](double x) { return std::sin(pi * x); }), 1e-12);

    const MomentIntegrals m = moment_integrals();
    EXPECT_NEAR(m.i1, simpson([](double x) { return x * x * x * std::exp(-x * x); }), 1e-12);
    EXPECT_NEAR(m.i2, simpson([](double y) { return y * y * std::exp(-y * y); }), 1e-12);
    EXPECT_NEAR(m.i3, simpson([](double z) { return z * std::exp(-z * z); }), 1e-12);
    EXPECT_NEAR(m.z, simpson([](double t) { return std::exp(-t * t); }), 1e-12);

    // The normalisation constant is Z^3 rounded to six decimals.
    EXPECT_NEAR(m.z * m.z * m.z, weight_normalisation, 5e-7);
    EXPECT_NEAR(moment_expectation(), 2.4313142, 1e-7);
    EXPECT_NEAR(weighted_moment_integral(), 2.4313165, 1e-7);
}

}  // namespace
