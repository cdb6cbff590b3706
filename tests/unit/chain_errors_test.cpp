#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "ar1_chain.hpp"
#include "chain_fourier.hpp"
#include "chain_kernels.hpp"
#include "every_target.hpp"
#include "suite/chain_errors.hpp"

using namespace suite;

namespace {

constexpr std::size_t chain_length = std::size_t{1} << 16;
constexpr double correlations[] = {0.0, 0.9, 0.99};  // NOLINT(modernize-avoid-c-arrays)
constexpr BlockScheme schemes[] = {BlockScheme::moving, BlockScheme::circular,  // NOLINT(modernize-avoid-c-arrays)
                                   BlockScheme::stationary};

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

void expect_same_levels(const BinningResult& a, const BinningResult& b)
{
    ASSERT_EQ(a.levels.size(), b.levels.size());
    for (std::size_t k = 0; k < a.levels.size(); ++k) {
        EXPECT_EQ(bits(a.levels[k].mean), bits(b.levels[k].mean)) << k;
        EXPECT_EQ(bits(a.levels[k].variance), bits(b.levels[k].variance)) << k;
        EXPECT_EQ(bits(a.levels[k].lag1_autocovariance), bits(b.levels[k].lag1_autocovariance)) << k;
    }
    EXPECT_EQ(bits(a.error), bits(b.error));
    EXPECT_EQ(a.level, b.level);
}

// Each method on AR(1) chains: the error of the mean and tau_int against
// the exact ones, within three of the method's own stated errors.
TEST(ChainErrors, EachMethodFindsTheExactErrorOfAr1Chains)
{
    std::int64_t seed = 11;
    for (const double phi : correlations) {
        SCOPED_TRACE(phi);
        const std::vector<double> x = ar1::chain(phi, chain_length, seed++);
        const double exact = ar1::error_of_mean(phi, chain_length);
        const double tau = ar1::tau_int(phi);

        const BinningResult binned = binning_analysis(x);
        EXPECT_NEAR(binned.error, exact, 3 * binned.error_of_error);
        EXPECT_NEAR(binned.tau_int, tau, 3 * binned.tau_int_error);
        EXPECT_NEAR(binned.mean, 0.0, 4 * exact);
        EXPECT_TRUE(binned.plateau_found);

        const GammaResult gamma = gamma_analysis(x);
        EXPECT_NEAR(gamma.error, exact, 3 * gamma.error_of_error);
        EXPECT_NEAR(gamma.tau_int, tau, 3 * gamma.tau_int_error);
        EXPECT_NEAR(gamma.effective_samples, chain_length / (2 * tau), 3 * gamma.effective_samples * gamma.tau_int_error / gamma.tau_int);
        EXPECT_TRUE(gamma.window_found);
        for (std::size_t t = 1; t < gamma.rho.size() && t < 20; ++t) {
            EXPECT_NEAR(gamma.rho[t], std::pow(phi, static_cast<double>(t)), 4 * gamma.rho_error[t]) << t;
        }

        // One scheme at each phi, on a quarter of the chain, keeps the
        // resampling quick.
        const std::span<const double> quarter = std::span<const double>(x).first(chain_length / 4);
        const BlockScheme scheme = schemes[static_cast<std::size_t>(seed) % 3];
        UniformEngine engine(7);
        const BlockBootstrapResult boot = block_bootstrap(quarter, {scheme, 0, 100, 0.95, 2}, engine);
        EXPECT_NEAR(boot.error, ar1::error_of_mean(phi, quarter.size()), 3 * boot.error_of_error)
            << static_cast<int>(scheme);
        EXPECT_LE(boot.lower, boot.mean);
        EXPECT_GE(boot.upper, boot.mean);
        EXPECT_EQ(looks_correlated(x), phi > 0.5);
    }
}

// With a given block length the bootstrap variance of the mean is
// (1/n) sum_t w(t) Gamma(t): w(t) = (1 - |t|/b)_+ for fixed blocks, which
// for AR(1) is (b/n) Var(mean of b values); (1 - 1/b)^|t| for stationary
// ones, (1/n) (1 + q) / (1 - q) with q = phi (1 - 1/b). At b = 1 that is
// the i.i.d. bootstrap's sigma^2 / n, too small by 2 tau_int.
TEST(ChainErrors, GivenBlockLengthsGiveTheirWindowedVariance)
{
    const std::vector<double> x = ar1::chain(0.9, std::size_t{1} << 13, 5);
    const double n = static_cast<double>(x.size());
    for (const std::size_t b : {1u, 10u}) {
        const double fixed = std::sqrt(static_cast<double>(b) / n) * ar1::error_of_mean(0.9, b);
        const double q = 0.9 * (1.0 - 1.0 / static_cast<double>(b));
        const double stationary = std::sqrt((1.0 + q) / (1.0 - q) / n);
        // At b = 1 the three schemes are one.
        for (const BlockScheme scheme : schemes) {
            UniformEngine engine(3);
            const BlockBootstrapResult r = block_bootstrap(x, {scheme, b, 400, 0.95, 2}, engine);
            EXPECT_EQ(r.block_length, b);
            EXPECT_NEAR(r.error, scheme == BlockScheme::stationary ? stationary : fixed, 3 * r.error_of_error)
                << b << " " << static_cast<int>(scheme);
            if (b == 1) {
                EXPECT_NEAR(r.tau_int, 0.5, 3 * r.tau_int_error);
                break;
            }
        }
    }
    // Given the chain, the stationary bootstrap's variance of the mean is
    // exactly (1/n) [C(0) + 2 sum_{i=1}^{n-1} (1 - i/n) q^i C(i)], q = 1 - 1/b,
    // C the circular autocovariance: resampled values i apart lie in one
    // block with probability q^i, else they are independent. Only the
    // resampling noise, relative 1/sqrt(2 (M - 1)), is left, so a wrong mean
    // block length shows.
    const std::size_t b = 10;
    const std::size_t m = x.size();
    const double mean = std::accumulate(x.begin(), x.end(), 0.0) / n;
    const double q = 1.0 - 1.0 / static_cast<double>(b);
    double variance = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        double c = 0.0;
        for (std::size_t j = 0; j < m; ++j) {
            c += (x[j] - mean) * (x[(j + i) % m] - mean);
        }
        const double lag = static_cast<double>(i);
        variance += (i == 0 ? 1.0 : 2.0 * (1.0 - lag / n) * std::pow(q, lag)) * c / n;
    }
    UniformEngine engine(4);
    const BlockBootstrapResult r = block_bootstrap(x, {BlockScheme::stationary, b, 2000, 0.95, 2}, engine);
    EXPECT_NEAR(r.error, std::sqrt(variance / n), 4 * r.error / std::sqrt(2.0 * 1999.0));
}

TEST(ChainErrors, StreamingEqualsAllAtOnceBitForBit)
{
    const std::vector<double> x = ar1::chain(0.9, 3 * BinningAnalysis::block + 333, 2);
    BinningAnalysis whole;
    whole.add(x);
    BinningAnalysis pieces;
    std::size_t i = 0;
    for (std::size_t step = 1; i < x.size(); step = step * 3 % 1037 + 1) {
        const std::size_t n = std::min(step, x.size() - i);
        if (n == 1) {
            pieces.add(x[i]);
        } else {
            pieces.add(std::span<const double>(x).subspan(i, n));
        }
        i += n;
        if (pieces.count() >= 2) {
            (void)pieces.result();  // results on the way leave the state alone
        }
    }
    expect_same_levels(whole.result(), pieces.result());
    EXPECT_LT(sizeof(BinningAnalysis), 64 * 1024u);
}

// Two chains merged: every level's bins are those of the two chains side
// by side, with no pair across them, even far from the first chain's shift.
TEST(ChainErrors, MergedAnalysesHoldBothChainsBins)
{
    std::vector<double> a = ar1::chain(0.9, 2 * BinningAnalysis::block + 77, 8);
    std::vector<double> b = ar1::chain(0.5, 3001, 9);
    std::transform(b.begin(), b.end(), b.begin(), [](double v) { return v + 40.0; });
    BinningAnalysis merged;
    merged.add(a);
    BinningAnalysis other;
    other.add(b);
    merged.merge(other);
    const BinningResult r = merged.result();
    for (std::size_t k = 0; k < 4; ++k) {
        // The bin means of both chains, and their pairs within each.
        std::vector<double> bins;
        std::vector<std::size_t> chain_start = {0};
        for (const std::vector<double>* c : {&a, &b}) {
            const std::size_t size = std::size_t{1} << k;
            for (std::size_t i = 0; i + size <= c->size(); i += size) {
                double s = 0;
                for (std::size_t j = 0; j < size; ++j) {
                    s += (*c)[i + j];
                }
                bins.push_back(s / static_cast<double>(size));
            }
            chain_start.push_back(bins.size());
        }
        const double n = static_cast<double>(bins.size());
        const double mean = std::accumulate(bins.begin(), bins.end(), 0.0) / n;
        double squares = 0;
        double lag1 = 0;
        for (std::size_t i = 0; i < bins.size(); ++i) {
            squares += (bins[i] - mean) * (bins[i] - mean);
            if (i + 1 < bins.size() && i + 1 != chain_start[1]) {
                lag1 += (bins[i] - mean) * (bins[i + 1] - mean);
            }
        }
        ASSERT_EQ(r.levels[k].bins, bins.size());
        EXPECT_NEAR(r.levels[k].mean, mean, 1e-12);
        EXPECT_NEAR(r.levels[k].variance, squares / (n - 1), 1e-9);
        EXPECT_NEAR(r.levels[k].lag1_autocovariance, lag1 / n, 1e-9);
    }
    EXPECT_EQ(merged.count(), a.size() + b.size());
}

TEST(ChainErrors, TheTransformGivesTheDirectLagSums)
{
    // Replicas of unequal, odd lengths: the transform's padding and packing.
    const std::vector<double> a = ar1::chain(0.95, 20001, 4);
    const std::vector<double> b = ar1::chain(0.95, 15003, 5);
    const std::span<const double> replicas[] = {a, b};  // NOLINT(modernize-avoid-c-arrays)
    GammaOptions options;
    options.lags = LagSums::direct;
    const GammaResult direct = gamma_analysis(replicas, options);
    options.lags = LagSums::fourier;
    const GammaResult fourier = gamma_analysis(replicas, options);
    EXPECT_FALSE(direct.used_fourier);
    EXPECT_TRUE(fourier.used_fourier);
    EXPECT_EQ(direct.window, fourier.window);
    ASSERT_EQ(direct.gamma.size(), fourier.gamma.size());
    for (std::size_t t = 0; t < direct.gamma.size(); ++t) {
        EXPECT_NEAR(direct.gamma[t], fourier.gamma[t], 1e-12 * direct.gamma[0]) << t;
    }
    EXPECT_EQ(direct.replicas, 2u);
    EXPECT_EQ(direct.count, a.size() + b.size());
    // A drift (a ramp) has a window of thousands of lags: the automatic
    // choice takes the transform, and the errors of rho, 2W + 1 terms a
    // lag, stop short of 8193 lags so that they cost O(W).
    std::vector<double> ramp(100000);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<double>(i);
    }
    const GammaResult drift = gamma_analysis(ramp);
    EXPECT_TRUE(drift.used_fourier);
    EXPECT_GT(drift.window, 4096u);
    EXPECT_GE(drift.rho_error.size(), 2u);
    EXPECT_LE(drift.rho_error.size() * (2 * drift.window + 1), std::size_t{1} << 25);
    // Every lag, with the padding as short as the lags asked for allow.
    const std::span<const double> head = std::span<const double>(a).first(3001);
    for (const std::size_t lags : {head.size(), std::size_t{1700}, std::size_t{12}}) {
        std::vector<double> sums(lags, 0.0);
        add_fourier_lag_sums(head, sums);
        for (std::size_t t = 0; t < lags; ++t) {
            double plain_sum = 0;
            plain::lag_products(head.data(), head.size(), 0, head.size(), t, 1, &plain_sum);
            ASSERT_NEAR(sums[t], plain_sum, 1e-9 * sums[0]) << lags << " " << t;
        }
    }
}

TEST(ChainErrors, AnyThreadCountGivesTheSameNumbers)
{
    const std::vector<double> x = ar1::chain(0.9, 20000, 6);
    GammaOptions options;
    options.lags = LagSums::direct;
    const GammaResult one = gamma_analysis(x, options);
    options.threads = 3;
    const GammaResult three = gamma_analysis(x, options);
    ASSERT_EQ(one.gamma.size(), three.gamma.size());
    for (std::size_t t = 0; t < one.gamma.size(); ++t) {
        EXPECT_EQ(bits(one.gamma[t]), bits(three.gamma[t])) << t;
    }
    for (const BlockScheme scheme : {BlockScheme::moving, BlockScheme::stationary}) {
        UniformEngine e1(1);
        UniformEngine e3(1);
        const BlockBootstrapResult b1 = block_bootstrap(x, {scheme, 50, 31, 0.9, 1}, e1);
        const BlockBootstrapResult b3 = block_bootstrap(x, {scheme, 50, 31, 0.9, 3}, e3);
        EXPECT_EQ(b1.resample_means, b3.resample_means);
        EXPECT_EQ(e1, e3);
    }
}

TEST(ChainErrors, FairIndicesAreUniform)
{
    // Three quarters of the 24-bit draws map onto 0 .. 3 * 2^22 - 1; a
    // plain remainder would put half of them in the lowest third.
    UniformEngine engine(12);
    const std::uint64_t m = 3 * (std::uint64_t{1} << 22);
    std::array<int, 3> thirds{};
    for (int i = 0; i < 6000; ++i) {
        ++thirds[fair_index(engine, m) >> 22];
    }
    for (const int count : thirds) {
        EXPECT_NEAR(count, 2000, 200);
    }
    // Beyond 24 bits, two draws make one index.
    UniformEngine a(5);
    UniformEngine b(5);
    const std::uint64_t big = (std::uint64_t{1} << 40) + 1;
    const std::uint64_t expected = ((std::uint64_t{b()} << 24) | b()) % big;
    EXPECT_EQ(fair_index(a, big), expected);
}

TEST(ChainErrors, StudentQuantilesAndBadInput)
{
    EXPECT_NEAR(student_t_quantile(0.975, 1), 12.706204736174698, 1e-9);
    EXPECT_NEAR(student_t_quantile(0.975, 10), 2.2281388519649385, 1e-10);
    EXPECT_NEAR(student_t_quantile(0.025, 10), -2.2281388519649385, 1e-10);
    EXPECT_NEAR(student_t_quantile(0.8413447460685429, 1e9), 1.0, 1e-6);
    const std::vector<double> constant(100, 2.0);
    EXPECT_THROW(gamma_analysis(constant), std::invalid_argument);
    EXPECT_THROW(BinningAnalysis().result(), std::logic_error);
    UniformEngine engine;
    EXPECT_THROW(block_bootstrap(constant, {BlockScheme::moving, 101, 10, 0.9, 1}, engine), std::invalid_argument);
}

using FastChainKernels = EveryTarget;

TEST_P(FastChainKernels, EqualThePlainLoops)
{
    const std::vector<double> x = ar1::chain(0.7, 3 * binning_block_length, 3);
    std::array<double, binning_block_levels> fast_last{};
    std::array<double, binning_block_levels> plain_last{};
    for (std::size_t b = 0; b < 3; ++b) {
        BinningBlockSums fast{};
        BinningBlockSums slow{};
        binning_block_kernel()(x.data() + b * binning_block_length, 0.25, fast_last, fast);
        plain::binning_block(x.data() + b * binning_block_length, 0.25, plain_last, slow);
        for (std::size_t k = 0; k < binning_block_levels; ++k) {
            EXPECT_EQ(bits(fast.sum[k]), bits(slow.sum[k])) << k;
            EXPECT_EQ(bits(fast.squares[k]), bits(slow.squares[k])) << k;
            EXPECT_EQ(bits(fast.products[k]), bits(slow.products[k])) << k;
            EXPECT_EQ(bits(fast_last[k]), bits(plain_last[k])) << k;
        }
        EXPECT_EQ(bits(fast.total), bits(slow.total));
    }
    // Lag batches whose ends fall anywhere in a group of eight.
    const std::size_t n = 1000 + 3;
    for (std::size_t first_lag : {0u, 1u, 5u, 994u, 1001u}) {
        for (std::size_t lags = 1; lags <= lag_batch; ++lags) {
            std::array<double, lag_batch> fast{};
            std::array<double, lag_batch> slow{};
            lag_products_kernel()(x.data(), n, 8, 1000, first_lag, lags, fast.data());
            plain::lag_products(x.data(), n, 8, 1000, first_lag, lags, slow.data());
            for (std::size_t l = 0; l < lags; ++l) {
                EXPECT_EQ(bits(fast[l]), bits(slow[l])) << first_lag << " " << l;
            }
        }
    }
}

INSTANTIATE_FOR_EVERY_TARGET(FastChainKernels);

}  // namespace
