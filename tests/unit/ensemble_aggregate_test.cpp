#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "aggregate.hpp"
#include "table.hpp"

// The replica study's statistics on tables small enough to check on paper.

namespace {

using enum ColumnRole;

// A program of the given column roles, as the list of experiments describes
// one: exact 2, sigma 4, so sigma/sqrt(N) is 4 at N = 1 and 2 sqrt(2) at N = 2.
Experiment program(std::vector<ColumnRole> roles, double (*exact)() = [] { return 2.0; })
{
    Experiment e{};
    e.name = "like-" + std::to_string(roles.size());
    e.columns = roles.size();
    e.column_names.resize(roles.size());
    e.column_roles = std::move(roles);
    e.exact = exact;
    e.sigma = [] { return 4.0; };
    return e;
}

const Experiment jackknife = program({sample_count, estimate, standard_error});
const Experiment bootstrap = program({chain_point_count, estimate, interval_lower, interval_upper});

// A chain judged at checkpoints by three error methods, and a column that
// is none.
Experiment checkpoint_chain()
{
    Experiment e = program(
        {checkpoint_count, estimate, standard_error, standard_error, interval_lower, interval_upper, trace});
    e.column_names = {"samples",         "mean",           "naive_error",  "jackknife_error",
                      "bootstrap_lower", "bootstrap_upper", "gamma_tau_int"};
    return e;
}

std::vector<std::vector<double>> rows_of(const Aggregate& aggregate)
{
    return parse_table(aggregate.text(), 9).rows;
}

}  // namespace

TEST(EnsembleAggregate, SpreadErrorAndCoverageOfThreeReplicas)
{
    Aggregate aggregate(jackknife);
    aggregate.add("1\t3\t0.5\n2\t2.5\t1\n");
    aggregate.add("1\t1\t2\n2\t2\t0.2\n");
    aggregate.add("1\t2\t-nan\n2\t1.5\t0.5\n");
    const auto rows = rows_of(aggregate);
    ASSERT_EQ(rows.size(), 2U);
    // N = 1: estimates 3, 1, 2; errors 1, 1, 0. Only two replicas have an
    // own error, and of those only the second covers the exact value.
    const std::vector<double> first{1, 2, 1, std::sqrt(2.0 / 3.0), 1.25, 0.5};
    // N = 2: estimates 2.5, 2, 1.5, each within its own error (1.5 + 0.5
    // reaches 2 exactly, which counts).
    const std::vector<double> second{2, 2, 0.5, std::sqrt(1.0 / 6.0), 1.7 / 3.0, 1.0};
    for (std::size_t k = 0; k < first.size(); ++k) {
        EXPECT_NEAR(rows[0][k], first[k], 1e-7) << "column " << k + 1;
        EXPECT_NEAR(rows[1][k], second[k], 1e-7) << "column " << k + 1;
    }
    EXPECT_DOUBLE_EQ(rows[0][8], 4.0);
    EXPECT_NEAR(rows[1][8], 2.0 * std::sqrt(2.0), 1e-7);
    // 3 of 3: the Wilson interval still leaves room below, and reaches 1.
    EXPECT_NEAR(rows[1][6], 0.43850, 1e-5);
    EXPECT_NEAR(rows[1][7], 1.0, 1e-12);
}

TEST(EnsembleAggregate, BootstrapHalfWidthAndInterval)
{
    Aggregate aggregate(bootstrap);
    aggregate.add("1\t2.1\t1.9\t2.3\n");
    aggregate.add("1\t2.5\t2.2\t2.8\n");
    aggregate.add("1\t2.2\t2\t2.4\n");  // the lower end is the exact value: it covers
    aggregate.add("1\t1.8\t1.6\t2\n");  // and so does the upper end
    const auto rows = rows_of(aggregate);
    EXPECT_NEAR(rows[0][4], 0.9 / 4.0, 1e-7);  // half-widths 0.2, 0.3, 0.2 and 0.2
    EXPECT_NEAR(rows[0][5], 3.0 / 4.0, 1e-7);  // all but the second hold 2
    EXPECT_FALSE(std::isnan(rows[0][2]));
}

TEST(EnsembleAggregate, WilsonIntervalsOfTextbookCases)
{
    const Interval none = wilson_interval(0, 10);
    EXPECT_NEAR(none.low, 0.0, 1e-12);
    EXPECT_NEAR(none.high, 0.27753, 1e-5);
    const Interval half = wilson_interval(5, 10);
    EXPECT_NEAR(half.low, 0.23659, 1e-5);
    EXPECT_NEAR(half.high, 0.76341, 1e-5);
}

TEST(EnsembleAggregate, TenCheckpointsPerDecadeAndTheLastRow)
{
    EXPECT_EQ(checkpoints(100), (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 8, 10, 13, 16, 20, 25, 32, 40, 50, 63,
                                                           79, 100}));
    EXPECT_EQ(checkpoints(1), std::vector<std::int64_t>{1});
    const std::vector<std::int64_t> long_run = checkpoints(9999);
    // 10^(k/10) for k = 0..39, less three repeats below 4 (1, 2, 3), and 9999.
    EXPECT_EQ(long_run.size(), 38U);
    EXPECT_EQ(long_run.back(), 9999);
    EXPECT_EQ(long_run[long_run.size() - 2], 7943);
}

TEST(EnsembleAggregate, RefusesTablesThatAreNotWholeAndKeepsWhatItHad)
{
    Aggregate aggregate(jackknife);
    aggregate.add("1\t3\t0.5\n2\t2.5\t1\n");
    const std::string before = aggregate.text();
    EXPECT_THROW(aggregate.add("1\t3\t0.5\n2\t2.5\t1"), ReplicaTableError);  // cut inside the last row
    EXPECT_THROW(aggregate.add("1\t3\t0.5\n"), ReplicaTableError);           // a row short
    EXPECT_THROW(aggregate.add("1\t3\t0.5\n2\t2.5\n"), ReplicaTableError);   // a field short
    EXPECT_THROW(aggregate.add("1\t3\t0.5\n3\t2.5\t1\n"), ReplicaTableError);  // not N = 2
    // An estimate that is no number would spread into every sum; the
    // message names its line.
    for (const char* bad : {"-nan", "inf", "-inf"}) {
        try {
            aggregate.add("1\t3\t0.5\n2\t" + std::string(bad) + "\t1\n");
            ADD_FAILURE() << "an estimate of " << bad << " was taken";
        } catch (const ReplicaTableError& error) {
            EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(aggregate.replicas(), 1);
    EXPECT_EQ(aggregate.text(), before);
    EXPECT_EQ(complete_rows(""), 0);
    EXPECT_EQ(complete_rows("1\n2"), -1);
}

TEST(EnsembleAggregate, ProgramsWithoutOwnErrorLeaveThoseColumnsUndefined)
{
    // A counter that starts at 2 holds one sample fewer than it says.
    Aggregate aggregate(program({counter, estimate}, [] { return 1.0; }));
    aggregate.add("2\t0.5\n");
    const auto rows = rows_of(aggregate);
    EXPECT_EQ(rows[0][0], 1.0);
    EXPECT_TRUE(std::isnan(rows[0][2]));  // one replica has no spread
    for (std::size_t k = 4; k < 8; ++k) {
        EXPECT_TRUE(std::isnan(rows[0][k]));
    }
}

TEST(EnsembleAggregate, EveryErrorMethodOfACheckpointTable)
{
    const Experiment chain = checkpoint_chain();
    Aggregate aggregate(chain);
    ASSERT_EQ(aggregate.methods().size(), 3U);
    EXPECT_EQ(aggregate.methods()[2].name, "bootstrap");
    EXPECT_EQ(error_methods(bootstrap)[0].name, "interval");  // a bare lower end
    // Rows at N = 2 and 4, the first column N itself. The jackknife has
    // nothing to say at N = 2, the third replica's naive error at N = 4.
    aggregate.add("2\t2.5\t1\tnan\t1.5\t2.5\t1\n4\t2.25\t0.25\t0.3\t2.1\t2.3\t1\n");
    aggregate.add("2\t1\t0.5\tnan\t0\t1\t1\n4\t1.75\t0.1\t0.2\t1.9\t2.1\t1\n");
    aggregate.add("2\t3\t2\t-nan\t2\t4\t1\n4\t2\tnan\t0\t1\t3\t1\n");
    // Worked out apart from this code: at N = 2 the estimates 2.5, 1, 3
    // (spread 1.040833, RMS error 0.8660254); the naive errors 1, 0.5, 2
    // cover twice; the intervals [1.5, 2.5], [0, 1], [2, 4] twice, half-widths
    // 0.5, 0.5, 1. At N = 4 an error of 0.25 and an error of 0 at distance 0
    // cover: the naive 1 of 2, the jackknife 2 of 3.
    EXPECT_EQ(aggregate.coverage_text(),
              "method\tN\treplicas\tcoverage\twilson_low\twilson_high\tmean_error_over_spread\tmean_error\tspread\t"
              "rms_error\n"
              "naive\t2\t3\t0.66666667\t0.2076596\t0.93850806\t1.1208971\t1.1666667\t1.040833\t0.8660254\n"
              "naive\t4\t2\t0.5\t0.094531206\t0.90546879\t0.7\t0.175\t0.25\t0.20412415\n"
              "jackknife\t4\t3\t0.66666667\t0.2076596\t0.93850806\t0.66666667\t0.16666667\t0.25\t0.20412415\n"
              "bootstrap\t2\t3\t0.66666667\t0.2076596\t0.93850806\t0.64051262\t0.66666667\t1.040833\t0.8660254\n"
              "bootstrap\t4\t3\t0.66666667\t0.2076596\t0.93850806\t1.6\t0.4\t0.25\t0.20412415\n");
    // The aggregate's own error is the first method's.
    const auto rows = rows_of(aggregate);
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[1][0], 4.0);
    EXPECT_NEAR(rows[0][4], 3.5 / 3.0, 1e-7);

    // Every replica stands at the first one's N, row by row.
    const std::string before = aggregate.coverage_text();
    try {
        aggregate.add("2\t2\t1\t1\t1\t3\t1\n8\t2\t1\t1\t1\t3\t1\n");
        ADD_FAILURE() << "a table at N = 8 was taken";
    } catch (const ReplicaTableError& error) {
        EXPECT_NE(std::string(error.what()).find("line 2 stands at N = 8"), std::string::npos) << error.what();
    }
    EXPECT_EQ(aggregate.coverage_text(), before);
    Aggregate descending(chain);
    EXPECT_THROW(descending.add("4\t2\t1\t1\t1\t3\t1\n2\t2\t1\t1\t1\t3\t1\n"), ReplicaTableError);
}
