#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "suite/estimators.hpp"
#include "suite/quadrature_rules.hpp"
#include "suite/uniform_engine.hpp"

using namespace suite;

namespace {

TEST(SeriesEstimators, JackknifeOfAHandComputedSeries)
{
    // 1, 2, 3, 4 in two blocks {1, 2}, {3, 4}: leave-one-out means 3.5 and
    // 1.5 around 2.5, error sqrt(1/2 (1 + 1)) = 1. In four blocks of one:
    // means 3, 8/3, 7/3, 2, squares 1/4 + 1/36 + 1/36 + 1/4 = 5/9, error
    // sqrt(3/4 * 5/9) = sqrt(5/12), the standard error sqrt(s^2 / n) of
    // independent values (s^2 = 5/3).
    const std::vector<double> values{1.0, 2.0, 3.0, 4.0};
    EXPECT_DOUBLE_EQ(jackknife_error(values, 2), 1.0);
    EXPECT_DOUBLE_EQ(jackknife_error(values, 4), std::sqrt(5.0 / 12.0));
    // Uneven blocks: 5 values in 2 blocks cut at 2: {1, 2}, {3, 4, 5};
    // means 4 and 1.5 around 3, error sqrt(1/2 (1 + 2.25)).
    EXPECT_DOUBLE_EQ(jackknife_error(std::vector<double>{1, 2, 3, 4, 5}, 2), std::sqrt(0.5 * 3.25));
    EXPECT_THROW(jackknife_error(values, 1), std::invalid_argument);
    EXPECT_THROW(jackknife_error(values, 5), std::invalid_argument);
}

TEST(SeriesEstimators, RunningMeans)
{
    std::vector<double> means(3);
    running_means(std::vector<double>{2.0, 4.0, 9.0}, means);
    EXPECT_EQ(means, (std::vector<double>{2.0, 3.0, 5.0}));
}

TEST(SeriesEstimators, BootstrapRefusesBadPlansAndAnEmptySeries)
{
    // (The interval itself is held to its definition in bootstrap_fast_test.)
    const std::vector<double> values{0.5, 0.25, 0.75};
    UniformEngine engine;
    EXPECT_THROW(bootstrap_interval(values, {100, 50, 40}, engine), std::invalid_argument);
    EXPECT_THROW(bootstrap_interval(values, {100, 16, 100}, engine), std::invalid_argument);
    EXPECT_THROW(bootstrap_interval(std::vector<double>{}, {100, 16, 84}, engine), std::invalid_argument);
}

TEST(QuadratureRules, AreExactForTheDegreesTheyPromise)
{
    // Left rectangles integrate constants, trapezoids lines, Simpson cubics:
    // integral_0^2 of 1, 3x + 1 and x^3 - x are 2, 8 and 2.
    const auto constant = [](double) { return 1.0; };
    const auto line = [](double x) { return 3.0 * x + 1.0; };
    const auto cubic = [](double x) { return x * x * x - x; };
    EXPECT_DOUBLE_EQ(rectangle_rule(constant, 0.0, 2.0, 7), 2.0);
    EXPECT_DOUBLE_EQ(trapezoid_rule(line, 0.0, 2.0, 7), 8.0);
    EXPECT_DOUBLE_EQ(simpson_rule(cubic, 0.0, 2.0, 6), 2.0);
    EXPECT_THROW(simpson_rule(cubic, 0.0, 2.0, 5), std::invalid_argument);
    EXPECT_THROW(rectangle_rule(constant, 0.0, 2.0, 0), std::invalid_argument);
}

}  // namespace
