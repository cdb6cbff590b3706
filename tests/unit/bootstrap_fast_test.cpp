#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "bootstrap_resampling.hpp"
#include "every_target.hpp"
#include "experiment_runs.hpp"
#include "growing_series.hpp"
#include "plain_estimators.hpp"
#include "resample_kernels.hpp"
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

// 128-bit products for the references below (a compiler extension of g++
// and clang on 64-bit targets).
__extension__ using Wide = unsigned __int128;

// `count` fair indices of n values drawn one value at a time as the header
// states: x = a 2^24 + b from two values a then b, rejected while
// x n mod 2^48 < 2^48 mod n, and index floor(x n / 2^48).
std::vector<std::int64_t> fair_indices(std::uint64_t n, std::size_t count, UniformEngine& g)
{
    std::vector<std::int64_t> index(count);
    const Wide low48 = (Wide{1} << 48) - 1;
    for (std::int64_t& i : index) {
        for (;;) {
            const Wide a = g();
            const Wide b = g();
            const Wide p = ((a << 24) + b) * n;
            if ((p & low48) >= (Wide{1} << 48) % n) {
                i = static_cast<std::int64_t>(p >> 48);
                break;
            }
        }
    }
    return index;
}

TEST(FairResampleIndex, GivesEveryIndexExactlyTheSameNumberOfPairs)
{
    // Index i is floor(x n / 2^48) for x in [lo_i, lo_{i+1}), lo_i =
    // ceil(i 2^48 / n). There x n mod 2^48 runs up from lo_i n - i 2^48 < n in
    // steps of n, so only x = lo_i can fall below the threshold 2^48 mod n
    // < n. Asking the rule about both ends of every interval and the second
    // x of it then counts every index's pairs exactly: all must have
    // floor(2^48 / n), none more, none fewer (none none).
    constexpr std::uint64_t whole = std::uint64_t{1} << 48;
    for (const std::uint32_t n : {3u, 1000003u, (1u << 24) + 1, 30000000u}) {
        const std::uint64_t threshold = plain::fair_threshold(n);
        const auto index_of = [&](std::uint64_t x) {
            return plain::fair_resample_index(static_cast<std::uint32_t>(x >> 24),
                                              static_cast<std::uint32_t>(x & 0xFFFFFFu), n, threshold);
        };
        // floor(i 2^48 / n) and i 2^48 mod n, stepped by the quotient and
        // remainder of 2^48 / n.
        const std::uint64_t step_quotient = whole / n;
        const std::uint64_t step_remainder = whole % n;
        std::uint64_t quotient = 0;
        std::uint64_t remainder = 0;
        const auto lo = [&] { return quotient + (remainder != 0 ? 1 : 0); };
        std::uint64_t fewest = whole;
        std::uint64_t most = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint64_t begin = lo();
            quotient += step_quotient + (remainder >= n - step_remainder ? 1 : 0);
            remainder = remainder >= n - step_remainder ? remainder - (n - step_remainder) : remainder + step_remainder;
            const std::uint64_t end = lo();
            const std::uint32_t first = index_of(begin);
            ASSERT_TRUE(first == i || first == n) << "n = " << n << ", index " << i;
            ASSERT_EQ(index_of(begin + 1), i) << "n = " << n;
            ASSERT_EQ(index_of(end - 1), i) << "n = " << n;
            const std::uint64_t pairs = end - begin - (first == n ? 1 : 0);
            fewest = std::min(fewest, pairs);
            most = std::max(most, pairs);
        }
        EXPECT_EQ(lo(), whole) << "n = " << n;
        EXPECT_EQ(fewest, whole / n) << "n = " << n;
        EXPECT_EQ(most, whole / n) << "n = " << n;
    }
}

TEST(FairResampleIndex, ReachesTheLastIndexOfALongSeries)
{
    // 2^24 + 1 values: trunc(n r) of one value never reaches index 2^24;
    // 2^26 fair draws take it about four times.
    constexpr std::uint32_t n = (1u << 24) + 1;
    UniformEngine g = seeded(0);
    BulkDrawer drawer(g);
    std::vector<std::uint32_t> index(BulkDrawer::block);
    std::int64_t last = 0;
    for (int part = 0; part < (1 << 26) / static_cast<int>(BulkDrawer::block); ++part) {
        drawer.draw_fair_indices(index.data(), index.size(), n);
        last += std::count(index.begin(), index.end(), n - 1);
    }
    EXPECT_GT(last, 0);
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
    for (const auto& [m, draw] : {std::pair{100u, IndexDraw::scaled}, {37u, IndexDraw::fair}, {120u, IndexDraw::scaled}}) {
        std::vector<double> whole(m, 0.0);
        UniformEngine whole_g = seeded(2);
        BulkDrawer whole_drawer(whole_g);
        add_resample_sums(values, whole, 0, m, whole_drawer, draw);
        const std::size_t half = std::size_t{m} / 2 / 8 * 8;
        const std::vector<std::pair<std::size_t, std::size_t>> slices = {{0, half}, {half, m - half}, {8, 13},
                                                                          {m - 3, 3}};
        for (const auto& [first, width] : slices) {
            std::vector<double> sums(m, -1.0);
            std::fill_n(sums.begin() + static_cast<std::ptrdiff_t>(first), width, 0.0);
            UniformEngine g = seeded(2);
            BulkDrawer drawer(g);
            add_resample_sums(values, sums, first, width, drawer, draw);
            for (std::size_t l = 0; l < m; ++l) {
                const bool kept = l >= first && l < first + width;
                ASSERT_EQ(sums[l], kept ? whole[l] : -1.0) << "M = " << m << ", resample " << l;
            }
        }
    }
}

TEST_P(BootstrapEngine, FairIntervalIsThePlainDefinitionOnAnyThreadCount)
{
    // Against the fair index table drawn value by value and the sorted
    // means: for small and odd plans, for more resamples than one bulk block
    // holds (one sample's draws then span several blocks), and for a series
    // long enough for seven threads. The engine ends where the single draws
    // leave it.
    UniformEngine values_g = seeded(9);
    const std::vector<double> short_values = chain_values(37, values_g);
    const std::vector<double> long_values = chain_values(20000, values_g);
    const std::vector<std::pair<const std::vector<double>*, BootstrapPlan>> cases = {
        {&short_values, {1, 0, 0}}, {&short_values, {7, 1, 5}}, {&short_values, {5000, 800, 4199}},
        {&long_values, bootstrap_plan}};
    for (const auto& [values, plan] : cases) {
        UniformEngine plain_g = seeded(0);
        const std::vector<std::int64_t> index = fair_indices(values->size(), values->size() * plan.resamples, plain_g);
        std::vector<double> means(plan.resamples);
        const BootstrapInterval plain = historic::bootstrap_interval(*values, index, means, plan);
        for (const unsigned threads : {1u, 2u, 3u, 7u}) {
            UniformEngine g = seeded(0);
            EXPECT_EQ(bootstrap_interval(*values, plan, g, threads), plain)
                << values->size() << " values, " << plan.resamples << " resamples, " << threads << " threads";
            EXPECT_EQ(g, plain_g) << plan.resamples << " resamples, " << threads << " threads";
        }
    }
}

TEST_P(BootstrapEngine, FairIndicesInBulkAreThoseOfSingleDraws)
{
    // The vector form of the rule against the plain one, with pairs (0, 0),
    // which every range but a power of two rejects, planted among engine
    // values; then whole draws against single draws for a range whose
    // threshold 2^48 mod n = n - 1 (n divides 2^48 + 1) rejects one pair in
    // 2^16, so that drawing again after rejections is seen.
    constexpr std::uint32_t often_rejecting = 97u * 673u * 65537u;
    std::vector<std::uint32_t> units(std::size_t{2} * 1000);
    UniformEngine g = seeded(6);
    g.generate(units);
    for (const std::size_t planted : {0u, 1u, 9u, 16u, 17u, 500u, 998u, 999u}) {
        units[2 * planted] = 0;
        units[2 * planted + 1] = 0;
    }
    for (const std::uint32_t range : {3u, 1000003u, often_rejecting, 0xFFFFFFFFu, 1u << 20}) {
        const std::uint64_t threshold = plain::fair_threshold(range);
        for (const std::size_t pairs : {1000u, 999u, 3u}) {
            std::vector<std::uint32_t> fast(pairs);
            std::vector<std::uint32_t> plain(pairs);
            const std::size_t fast_count = fair_resample_indices_kernel()(units.data(), pairs, range, threshold, fast.data());
            const std::size_t plain_count = plain::fair_resample_indices(units.data(), pairs, range, threshold, plain.data());
            ASSERT_EQ(fast_count, plain_count) << "range " << range << ", " << pairs << " pairs";
            ASSERT_EQ(fast, plain) << "range " << range << ", " << pairs << " pairs";
        }
    }

    UniformEngine single_g = seeded(1);
    UniformEngine bulk_g = single_g;
    constexpr std::size_t count = std::size_t{1} << 20;
    const std::vector<std::int64_t> single = fair_indices(often_rejecting, count, single_g);
    std::vector<std::uint32_t> bulk(count);
    BulkDrawer drawer(bulk_g);
    drawer.draw_fair_indices(bulk.data(), 5, often_rejecting);
    drawer.draw_fair_indices(bulk.data() + 5, count - 5, often_rejecting);
    drawer.store(bulk_g);
    EXPECT_TRUE(std::equal(bulk.begin(), bulk.end(), single.begin()));
    EXPECT_EQ(bulk_g, single_g);
    UniformEngine unrejected = seeded(1);
    unrejected.discard(2 * count);
    EXPECT_NE(bulk_g, unrejected) << "no pair was rejected";
}

INSTANTIATE_FOR_EVERY_TARGET(BootstrapEngine);

}  // namespace
