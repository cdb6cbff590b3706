#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "growing_series.hpp"
#include "plain_estimators.hpp"
#include "suite/estimators.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"

// The experiments' own definitions of the estimators and rules.
using namespace historic;
using suite::BootstrapInterval;
using suite::UniformEngine;

namespace {

double mean_of(const std::vector<double>& values)
{
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

TEST(Jackknife, OneValueGivesNotANumber)
{
    // The last block ends at (9 * 1) / 10 = 0: it sums nothing and divides by 0.
    EXPECT_TRUE(std::isnan(jackknife_error(std::vector<double>{0.25}, 0.25)));
}

TEST(Jackknife, BelowTenValuesBlocksZeroToEightDivideByTheCount)
{
    // i = 2, values {1, 3}, mean 2. Edges (b * 2) / 10 are 0 for b <= 4 and
    // 1 for 5 <= b <= 9. Blocks 0-3 and 5-8 leave nothing out: 4/2 = 2.
    // Block 4 leaves out position 0: 3/2 (divided by i = 2, not by 1).
    // Block 9 keeps position 0 only: 1/1. So d = 0.5^2 + 1^2 = 1.25.
    EXPECT_DOUBLE_EQ(jackknife_error(std::vector<double>{1.0, 3.0}, 2.0), std::sqrt(0.9 * 1.25));
}

TEST(Jackknife, TenValuesLeaveOneOutEach)
{
    // Values 1..10, one per block, mean 5.5. Blocks 0-8 leave out b + 1 and
    // divide by 9: m_b - mean = (4.5 - b) / 9. Block 9 keeps 1..9: 45/9 = 5.
    // Sum of (4.5 - b)^2 for b = 0..8 is 62.25.
    std::vector<double> values(10);
    std::iota(values.begin(), values.end(), 1.0);
    EXPECT_NEAR(jackknife_error(values, 5.5), std::sqrt(0.9 * (62.25 / 81.0 + 0.25)), 1e-15);
}

TEST(Jackknife, ConstantValuesAtMultiplesOfTenHaveNoError)
{
    for (const std::size_t i : {10u, 20u, 730u, 9990u}) {
        EXPECT_EQ(jackknife_error(std::vector<double>(i, 1.0), 1.0), 0.0) << "i = " << i;
    }
}

TEST(Jackknife, ErrorShrinksLikeTheStandardErrorForIndependentValues)
{
    // For independent values the ten-block jackknife estimates the standard
    // error of the mean, sigma / sqrt(i): uniform deviates have sigma^2 = 1/12.
    UniformEngine g(0);
    std::vector<double> values(9000);
    std::generate(values.begin(), values.end(), [&] { return g.next_double(); });
    const double error = jackknife_error(values, mean_of(values));
    EXPECT_NEAR(error, std::sqrt(1.0 / 12.0 / 9000.0), 0.5 * std::sqrt(1.0 / 12.0 / 9000.0));
}

// A source whose d-th draw is (d + 1/2) / 15, so that with n = 5 chain
// points the index is trunc(5 (d + 1/2) / 15) = d / 3.
struct CountingDraws {
    std::int64_t taken = 0;
    float operator()() { return (static_cast<float>(taken++) + 0.5f) / 15.0f; }
};

TEST(BootstrapIndices, AreDrawnKMajorAndScaledToTheChainLength)
{
    constexpr std::int64_t n = 5;
    constexpr std::int64_t m = 3;
    std::vector<std::int64_t> index(n * m);
    CountingDraws draws;
    draw_resample_indices(index, n, m, draws);
    EXPECT_EQ(draws.taken, n * m);
    // Entry k * m + l takes draw d = k * m + l, whose index is d / 3 = k.
    for (std::int64_t k = 0; k < n; ++k) {
        for (std::int64_t l = 0; l < m; ++l) {
            EXPECT_EQ(index[static_cast<std::size_t>(k * m + l)], k) << "k = " << k << ", l = " << l;
        }
    }

    // The largest draw, 1 - 2^-24, maps to the last chain point.
    std::vector<std::int64_t> top(8000);
    draw_resample_indices(top, 8000, 1, [] { return 1.0f - 0x1p-24f; });
    EXPECT_EQ(top.back(), 7999);
}

TEST(BootstrapIndices, StayWithinTheChainForEveryLength)
{
    UniformEngine g(0);
    for (const std::int64_t n : {1, 2, 3, 7, 100, 7999}) {
        std::vector<std::int64_t> index(static_cast<std::size_t>(n) * 100);
        draw_resample_indices(index, n, 100, [&] { return g.next_float(); });
        EXPECT_EQ(*std::min_element(index.begin(), index.end()), 0) << "n = " << n;
        EXPECT_LE(*std::max_element(index.begin(), index.end()), n - 1) << "n = " << n;
    }
}

TEST(Bootstrap, ASinglePointGivesAnIntervalOfZeroWidth)
{
    std::vector<double> means(100);
    const std::vector<std::int64_t> index(100, 0);
    const BootstrapInterval interval = bootstrap_interval(std::vector<double>{0.75}, index, means);
    EXPECT_EQ(interval, (BootstrapInterval{0.75, 0.75}));
}

TEST(Bootstrap, IntervalEndsAreThe17thAnd85thSmallestMeans)
{
    // Two chain values {0, 1}; resample l takes (value a, value b) so that,
    // counted from the top, 17 means are 0, 68 are 1/2 and 15 are 1. The
    // 17th smallest is the last 0, the 85th the last 1/2.
    constexpr std::size_t m = 100;
    std::vector<std::int64_t> index(2 * m);
    for (std::size_t l = 0; l < m; ++l) {
        const std::size_t rank = m - 1 - l;  // resamples come in descending order
        index[0 * m + l] = rank < 17 ? 0 : 1;
        index[1 * m + l] = rank < 85 ? 0 : 1;
    }
    std::vector<double> means(m);
    const BootstrapInterval interval = bootstrap_interval(std::vector<double>{0.0, 1.0}, index, means);
    EXPECT_EQ(interval, (BootstrapInterval{0.0, 0.5}));
    EXPECT_TRUE(std::is_sorted(means.begin(), means.end()));
    EXPECT_EQ(std::count(means.begin(), means.end(), 0.5), 68);
}

TEST(Bootstrap, ResampleMeansSumInIncreasingK)
{
    // 1e16 + 1 - 1e16 depends on the order of the additions: in k order the
    // 1 is lost to rounding (1e16 + 1 = 1e16), then 1e16 - 1e16 = 0.
    const std::vector<double> values{1e16, 1.0, -1e16};
    constexpr std::size_t m = 100;
    std::vector<std::int64_t> index(3 * m);
    for (std::size_t l = 0; l < m; ++l) {
        index[0 * m + l] = 0;
        index[1 * m + l] = 1;
        index[2 * m + l] = 2;
    }
    std::vector<double> means(100);
    EXPECT_EQ(bootstrap_interval(values, index, means), (BootstrapInterval{0.0, 0.0}));
}

TEST(ExchangeSort, SortsAscendingAndNeverExchangesEqualValues)
{
    UniformEngine g(0);
    std::vector<double> means(100);
    std::generate(means.begin(), means.end(), [&] { return g.next_double(); });
    std::vector<double> expected = means;
    std::sort(expected.begin(), expected.end());
    exchange_sort(means);
    EXPECT_EQ(means, expected);

    // +0 and -0 compare equal; an exchange would show in their signs.
    std::vector<double> zeros{0.0, -0.0, 0.0, -0.0};
    exchange_sort(zeros);
    EXPECT_FALSE(std::signbit(zeros[0]));
    EXPECT_TRUE(std::signbit(zeros[1]));
    EXPECT_FALSE(std::signbit(zeros[2]));
    EXPECT_TRUE(std::signbit(zeros[3]));
}

TEST(Swap, ExchangesThePointedToValues)
{
    double a = 1.5;
    double b = -2.0;
    swap(&a, &b);
    EXPECT_EQ(a, -2.0);
    EXPECT_EQ(b, 1.5);
}

TEST(Quadrature, TwoIntervalsGiveTheKnownFirstRow)
{
    EXPECT_EQ(rectangle_rule(sine_pi, 0.0, 1.0, 2), 0.0);  // only f(0) is summed
    EXPECT_DOUBLE_EQ(trapezoid_rule(sine_pi, 0.0, 1.0, 2), 0.25);  // (f(0) + f(1/2)) / 2 * 1/2
    EXPECT_EQ(simpson_weighted_rule(sine_pi, 0.0, 1.0, 2), 0.0);  // no window fits
}

TEST(Quadrature, RulesOnALinearFunctionByHand)
{
    // f(x) = x with n = 4, h = 1/4, all exact in binary:
    // rectangle (0 + 1/4 + 1/2) / 4; trapezoid (1/8 + 3/8 + 5/8) / 4;
    // Simpson-weighted windows (6x + 6h) / 6 = x + h at x = 0, 1/4.
    const auto identity = [](double x) { return x; };
    EXPECT_EQ(rectangle_rule(identity, 0.0, 1.0, 4), 0.1875);
    EXPECT_EQ(trapezoid_rule(identity, 0.0, 1.0, 4), 0.28125);
    EXPECT_EQ(simpson_weighted_rule(identity, 0.0, 1.0, 4), 0.1875);
    // On [a, b] = [2, 3] the abscissas shift by a, the scale stays (b - a) / n.
    EXPECT_EQ(rectangle_rule(identity, 2.0, 3.0, 4), (2.0 + 2.25 + 2.5) / 4.0);
}

// The one pass the program takes gives each rule's own bits.
TEST(Quadrature, ThreeRulesInOnePassAreTheRulesAlone)
{
    for (std::int64_t n = 2; n <= 8192; n = n * 2 + (n == 4 ? 1 : 0)) {
        const ThreeRules all = three_rules(sine_pi, 0.0, 1.0, n);
        EXPECT_EQ(all.rectangle, rectangle_rule(sine_pi, 0.0, 1.0, n)) << n;
        EXPECT_EQ(all.trapezoid, trapezoid_rule(sine_pi, 0.0, 1.0, n)) << n;
        EXPECT_EQ(all.simpson_weighted, simpson_weighted_rule(sine_pi, 0.0, 1.0, n)) << n;
    }
}

TEST(Quadrature, AllRulesApproachTwoOverPi)
{
    for (const auto& rule : {rectangle_rule<double (&)(double)>, trapezoid_rule<double (&)(double)>,
                             simpson_weighted_rule<double (&)(double)>}) {
        EXPECT_NEAR(rule(sine_pi, 0.0, 1.0, 8192), sine_pi_integral(), 1e-6);
        EXPECT_GT(std::abs(rule(sine_pi, 0.0, 1.0, 8) - sine_pi_integral()),
                  std::abs(rule(sine_pi, 0.0, 1.0, 64) - sine_pi_integral()));
    }
}

}  // namespace
