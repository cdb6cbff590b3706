#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "bootstrap_resampling.hpp"
#include "every_target.hpp"
#include "experiment_runs.hpp"
#include "historic_estimators.hpp"
#include "stream_drawing.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"

using namespace suite;
using historic::bootstrap_plan;

namespace {

UniformEngine seeded(std::int64_t seed) { return UniformEngine(seed); }

BootstrapInterval drawn_row(std::span<const double> values, std::span<double> means, UniformEngine& g)
{
    BulkDrawer drawer(g);
    const BootstrapInterval interval = bootstrap_interval_drawn(values, means, {means.size(), 16, 84}, drawer);
    drawer.store(g);
    return interval;
}

// Observable-like values: non-negative, with repeats and exact zeros, so
// that equal means and ties in the order statistics occur.
std::vector<double> chain_values(std::size_t n, UniformEngine& g)
{
    std::vector<double> values(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double x = g.next_double();
        values[k] = k % 7 == 3 ? 0.0 : k % 5 == 1 && k > 0 ? values[k - 1] : 128.0 * x * x * x;
    }
    return values;
}

// The reference row: the whole index table drawn, then the plain interval.
BootstrapInterval plain_row(const std::vector<double>& values, std::size_t m, UniformEngine& g)
{
    const auto n = static_cast<std::int64_t>(values.size());
    std::vector<std::int64_t> index(values.size() * m);
    std::vector<double> means(m);
    historic::draw_resample_indices(index, n, static_cast<std::int64_t>(m), [&] { return g.next_float(); });
    return historic::bootstrap_interval(values, index, means, {m, 16, 84});
}

using FastBootstrapRows = EveryTarget;

TEST_P(FastBootstrapRows, MatchThePlainRowAndItsDraws)
{
    // Rows of many lengths (including the experiment's last ones, and ones
    // whose draws fill a bulk block exactly or not), for 100 resamples and
    // for counts that leave partial vectors.
    UniformEngine values_g = seeded(17);
    UniformEngine plain_g = seeded(0);
    UniformEngine fast_g = plain_g;
    for (const std::size_t m : {100u, 85u, 97u, 104u}) {
        for (const std::size_t n : {1u, 2u, 3u, 39u, 40u, 41u, 100u, 1237u, 7998u, 7999u}) {
            const std::vector<double> values = chain_values(n, values_g);
            const BootstrapInterval plain = plain_row(values, m, plain_g);
            std::vector<double> means(m);
            const BootstrapInterval fast = drawn_row(values, means, fast_g);
            ASSERT_EQ(fast, plain) << "N = " << n << ", M = " << m;
            ASSERT_EQ(fast_g, plain_g) << "N = " << n << ", M = " << m;
        }
    }
}

TEST_P(FastBootstrapRows, GiveTheSameMeansAsThePlainSums)
{
    // Not only the two order statistics: every resample mean, as a multiset.
    UniformEngine values_g = seeded(5);
    const std::vector<double> values = chain_values(3001, values_g);
    UniformEngine plain_g = seeded(0);
    UniformEngine fast_g = plain_g;
    std::vector<std::int64_t> index(values.size() * 100);
    std::vector<double> plain_means(100);
    historic::draw_resample_indices(index, 3001, 100, [&] { return plain_g.next_float(); });
    historic::bootstrap_interval(values, index, plain_means, bootstrap_plan);
    std::vector<double> fast_means(100);
    drawn_row(values, fast_means, fast_g);
    std::sort(fast_means.begin(), fast_means.end());
    EXPECT_EQ(fast_means, plain_means);
}

INSTANTIATE_FOR_EVERY_TARGET(FastBootstrapRows);

TEST(BootstrapOrderStatistics, AgreeWithTheExchangeSort)
{
    UniformEngine g = seeded(3);
    for (int trial = 0; trial < 200; ++trial) {
        // Few distinct values, so that ties are common.
        const float scale = trial % 2 == 0 ? 5.0f : 1000.0f;
        std::vector<double> means(100);
        std::generate(means.begin(), means.end(),
                      [&] { return static_cast<double>(static_cast<int>(g.next_float() * scale)); });
        std::vector<double> sorted = means;
        historic::exchange_sort(sorted);
        const BootstrapInterval interval = bootstrap_order_statistics(means, bootstrap_plan);
        ASSERT_EQ(interval.lower, sorted[bootstrap_plan.lower_rank]);
        ASSERT_EQ(interval.upper, sorted[bootstrap_plan.upper_rank]);
    }
}

}  // namespace

namespace {

// The experiment as the plain kernel runs it, on a short chain: for each
// row, the chain's next sweep by step(), then the whole index table and the
// plain interval. The draw order is the straightforward program's.
struct PlainExperiment {
    std::vector<double> values;
    std::vector<BootstrapInterval> intervals;
    UniformEngine end;
};

PlainExperiment plain_experiment(std::int64_t rows, std::int64_t steps, UniformEngine g)
{
    PlainExperiment run;
    Point3 point;
    draw_point(point, g);
    run.values.push_back(moment_observable(point));
    for (std::int64_t row = 1; row <= rows; ++row) {
        if (row > 1) {
            metropolis_sweep(point, steps, P, g);
            run.values.push_back(moment_observable(point));
        }
        run.intervals.push_back(plain_row(run.values, 100, g));
    }
    run.end = g;
    return run;
}

// The rows as the experiment hands them on.
struct KeptRows : RowSink {
    std::vector<double> means;
    std::vector<BootstrapInterval> intervals;
    void row(std::int64_t /*count*/, std::span<const double> values) override
    {
        means.push_back(values[0]);
        intervals.push_back({values[1], values[2]});
    }
};

TEST(BootstrapExperiment, ChainAndRowsMatchThePlainRunForAnyThreadCount)
{
    constexpr std::int64_t rows = 240;
    constexpr std::int64_t steps = 25;
    const PlainExperiment plain = plain_experiment(rows, steps, seeded(0));
    std::vector<double> plain_means(rows);
    running_means(plain.values, plain_means);

    for (const unsigned threads : {1u, 2u, 3u, 7u}) {
        KeptRows kept;
        run_experiment(find_experiment("metropolis_bootstrap"), {0, rows, steps, threads}, kept);
        EXPECT_EQ(kept.means, plain_means) << threads << " threads";
        EXPECT_EQ(kept.intervals, plain.intervals) << threads << " threads";
    }
}

using BootstrapEngine = EveryTarget;

TEST_P(BootstrapEngine, GivesTheSameRowsOnOneTwoAndThreeThreads)
{
    // Long rows, starting past the first (as a later part of a run would),
    // against the rows drawn one after another from one generator.
    UniformEngine values_g = seeded(8);
    const std::vector<double> values = chain_values(2600, values_g);
    constexpr std::int64_t first_row = 2200;
    constexpr std::int64_t gap = 4000;
    UniformEngine start = seeded(0);
    start.discard(1234);

    std::vector<BootstrapInterval> sequential;
    UniformEngine g = start;
    std::vector<double> means(100);
    for (std::int64_t row = first_row; row <= 2600; ++row) {
        sequential.push_back(drawn_row(std::span(values).first(static_cast<std::size_t>(row)), means, g));
        BulkDrawer skip(g);
        skip.discard(gap);
        skip.store(g);
    }
    for (const unsigned threads : {1u, 2u, 3u}) {
        std::vector<BootstrapInterval> intervals(sequential.size());
        bootstrap_intervals(values, start, first_row, bootstrap_plan, gap, intervals, threads);
        EXPECT_EQ(intervals, sequential) << threads << " threads";
    }
}

TEST_P(BootstrapEngine, SumsAnySliceOfTheResamplesAsTheWholeDoes)
{
    // Slices of whole vectors, of a vector and a tail, of a tail alone, and
    // past the widest kernel kept in registers; the sums outside stay put.
    UniformEngine values_g = seeded(4);
    const std::vector<double> values = chain_values(501, values_g);
    for (const std::size_t m : {100u, 37u, 120u}) {
        std::vector<double> whole(m, 0.0);
        UniformEngine whole_g = seeded(2);
        BulkDrawer whole_drawer(whole_g);
        add_resample_sums(values, whole, 0, m, whole_drawer);
        const std::size_t half = m / 2 / 8 * 8;
        const std::vector<std::pair<std::size_t, std::size_t>> slices = {{0, half}, {half, m - half}, {8, 13},
                                                                          {m - 3, 3}};
        for (const auto& [first, width] : slices) {
            std::vector<double> sums(m, -1.0);
            std::fill_n(sums.begin() + static_cast<std::ptrdiff_t>(first), width, 0.0);
            UniformEngine g = seeded(2);
            BulkDrawer drawer(g);
            add_resample_sums(values, sums, first, width, drawer);
            for (std::size_t l = 0; l < m; ++l) {
                const bool kept = l >= first && l < first + width;
                ASSERT_EQ(sums[l], kept ? whole[l] : -1.0) << "M = " << m << ", resample " << l;
            }
        }
    }
}

TEST_P(BootstrapEngine, OneSeriesGivesTheSameIntervalOnAnyThreadCount)
{
    // Long enough for up to seven threads; the engine ends where one
    // thread's single draws leave it.
    UniformEngine values_g = seeded(9);
    const std::vector<double> values = chain_values(20000, values_g);
    UniformEngine plain_g = seeded(0);
    const BootstrapInterval plain = plain_row(values, 100, plain_g);
    for (const unsigned threads : {1u, 2u, 3u, 7u}) {
        UniformEngine g = seeded(0);
        EXPECT_EQ(bootstrap_interval(values, bootstrap_plan, g, threads), plain) << threads << " threads";
        EXPECT_EQ(g, plain_g) << threads << " threads";
    }
}

INSTANTIATE_FOR_EVERY_TARGET(BootstrapEngine);

}  // namespace
