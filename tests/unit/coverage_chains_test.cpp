#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "experiment_runs.hpp"
#include "experiments.hpp"
#include "run_settings.hpp"
#include "test_functions.hpp"

// The AR(1) chains of the coverage experiments, over replicas at fixed
// seeds, against their closed forms: the spread of the mean over the
// replicas is the exact variance of the mean, and the Gamma method's stated
// error and tau_int agree with the exact ones where the chain is long
// against tau_int.

namespace {

// The last row of a run.
struct LastRow : RowSink {
    std::int64_t count = 0;
    std::vector<double> values;
    void row(std::int64_t n, std::span<const double> row_values) override
    {
        count = n;
        values.assign(row_values.begin(), row_values.end());
    }
};

}  // namespace

TEST(CoverageChains, Ar1ReplicasHaveTheExactVarianceOfTheMeanAndTauInt)
{
    constexpr int replicas = 120;
    constexpr std::int64_t rows = 12;
    for (const auto& [name, phi] : {std::pair{"ar1_phi05", 0.5}, {"ar1_phi09", 0.9}, {"ar1_phi099", 0.99}}) {
        const Experiment& experiment = find_experiment(name);
        // The row's values leave out the first column.
        const auto gamma_column = std::find(experiment.column_names.begin(), experiment.column_names.end(), "gamma_error");
        ASSERT_NE(gamma_column, experiment.column_names.end());
        const auto gamma_error = static_cast<std::size_t>(gamma_column - experiment.column_names.begin()) - 1;
        double sum = 0.0;
        double squares = 0.0;
        double gamma_variance = 0.0;
        double tau_int = 0.0;
        std::int64_t n = 0;
        for (int seed = 1; seed <= replicas; ++seed) {
            LastRow last;
            run_experiment(experiment, {.seed = seed, .rows = rows}, last);
            n = last.count;
            sum += last.values[0];
            squares += last.values[0] * last.values[0];
            gamma_variance += last.values[gamma_error] * last.values[gamma_error];
            tau_int += last.values.back();
        }
        ASSERT_EQ(n, std::int64_t{1} << rows);
        const double exact = ar1_variance_of_mean(phi, static_cast<double>(n));
        // The mean is 0: the spread about it estimates the variance with a
        // relative error of sqrt(2 / R) = 13 %.
        EXPECT_NEAR(squares / replicas / exact, 1.0, 0.3) << name;
        EXPECT_LT(std::abs(sum / replicas), 3.0 * std::sqrt(exact / replicas)) << name;
        if (static_cast<double>(n) >= 400.0 * ar1_tau_int(phi)) {
            EXPECT_NEAR(gamma_variance / replicas / exact, 1.0, 0.1) << name;
            EXPECT_NEAR(tau_int / replicas / ar1_tau_int(phi), 1.0, 0.1) << name;
        }
    }
}
