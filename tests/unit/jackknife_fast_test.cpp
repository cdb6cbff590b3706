#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "every_target.hpp"
#include "growing_series.hpp"
#include "plain_estimators.hpp"
#include "stream_drawing.hpp"
#include "suite/estimators.hpp"
#include "suite/uniform_engine.hpp"

using namespace suite;

namespace {

struct Samples {
    std::vector<double> values;
    std::vector<double> prefix{0.0};

    void add(double v)
    {
        values.push_back(v);
        prefix.push_back(prefix.back() + v);
    }
};

// Bit patterns, so that NaNs of either sign and -0 compare too.
std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The experiment's error from the library's sums, of a row that follows the
// one before, and of a row on its own.
double row_error(GrowingJackknifeSums& rows, const Samples& samples, double mean)
{
    const auto i = static_cast<std::int32_t>(samples.values.size());
    return historic::jackknife_error_from_sums(rows.leave_one_out_sums(samples.values, samples.prefix), i, mean);
}

double fresh_error(const Samples& samples, double mean)
{
    GrowingJackknifeSums rows;
    return row_error(rows, samples, mean);
}

using FastJackknife = EveryTarget;

TEST_P(FastJackknife, EqualsThePlainErrorRowByRow)
{
    // Every row of a growing list up to 3000 values (each taking over the
    // block sums of the row before), then rows at scattered lengths up to
    // the experiment's last (each afresh), of an observable-like sequence
    // (non-negative, wide range, some exact zeros and repeats).
    UniformEngine g(0);
    Samples samples;
    GrowingJackknifeSums rows;
    double sum = 0.0;
    for (std::int32_t i = 1; i <= 9999; ++i) {
        const double x = g.next_double();
        const double v = i % 11 == 0 ? 0.0 : i % 13 == 0 ? samples.values.back() : 128.0 * x * x * x;
        samples.add(v);
        sum = sum + v;
        if (i > 3000 && i % 97 != 0 && i != 9999) {
            continue;
        }
        const double mean = sum / static_cast<double>(i);
        const double plain = historic::jackknife_error(samples.values, mean);
        const double fast = row_error(rows, samples, mean);
        ASSERT_EQ(bits(fast), bits(plain)) << "row " << i << ": " << fast << " vs " << plain;
    }
}

TEST_P(FastJackknife, MatchesOnShortListsOfAnySign)
{
    // The first rows, where blocks are empty or single values and row 1
    // divides 0 by 0 (the same not-a-number, sign included), for values of
    // both signs, negative zeros and infinities.
    const std::vector<double> list{-0.0, 3.5, -2.25, -0.0, 1e300, -7.0, 0.0, HUGE_VAL, 4.0, -1.0, 2.0, -0.0};
    for (std::size_t start = 0; start < list.size(); ++start) {
        Samples samples;
        GrowingJackknifeSums rows;
        for (std::size_t i = start; i < list.size(); ++i) {
            samples.add(list[i]);
            const double mean = samples.prefix.back() / static_cast<double>(samples.values.size());
            const std::uint64_t plain = bits(historic::jackknife_error(samples.values, mean));
            EXPECT_EQ(bits(fresh_error(samples, mean)), plain)
                << "from " << start << ", " << samples.values.size() << " values";
            EXPECT_EQ(bits(row_error(rows, samples, mean)), plain)
                << "row by row from " << start << ", " << samples.values.size() << " values";
        }
    }
    Samples one;
    one.add(2.5);
    EXPECT_TRUE(std::isnan(fresh_error(one, 2.5)));
}

INSTANTIATE_FOR_EVERY_TARGET(FastJackknife);

}  // namespace
