#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <span>
#include <vector>

#include "experiment_runs.hpp"
#include "summary.hpp"
#include "table.hpp"

// A list built from tests/unit/stand_in_experiments.tsv by the same
// generator as the suite's: one line and the function below make an
// experiment that runs, validates its settings and is summarised by the
// roles of its columns.
const std::vector<Experiment>& stand_in_experiments();

// Toss i is heads when i + seed is even: the share of heads after each toss
// and its binomial standard error.
void run_coin_tosses(const RunSettings& settings, RowSink& sink)
{
    double heads = 0.0;
    for (std::int64_t i = 1; i <= settings.rows; ++i) {
        heads += (i + settings.seed) % 2 == 0 ? 1.0 : 0.0;
        const double share = heads / static_cast<double>(i);
        const std::vector<double> row = {share, std::sqrt(share * (1.0 - share) / static_cast<double>(i))};
        sink.row(i, row);
    }
}

namespace {

class KeptRows : public RowSink {
public:
    void row(std::int64_t count, std::span<const double> values) override
    {
        text.append(std::to_string(count));
        for (const double v : values) {
            text.append("\t").append(std::to_string(v));
        }
        text.append("\n");
    }
    std::string text;
};

TEST(StandInList, OneLineAndOneFunctionMakeAnExperiment)
{
    ASSERT_EQ(stand_in_experiments().size(), 1u);
    const Experiment& coin = stand_in_experiments().front();
    EXPECT_EQ(coin.run, &run_coin_tosses);
    EXPECT_STREQ(coin.about, "The share of heads in tosses of a fair coin.");
    EXPECT_EQ(coin.column_with(ColumnRole::standard_error), 2u);

    // No rows asked for: the line's default of 4.
    KeptRows rows;
    run_experiment(coin, RunSettings{.seed = 1}, rows);
    const Table table = parse_table(rows.text, coin.columns);
    ASSERT_EQ(table.rows.size(), 4u);

    // The summary reads the estimate and its error by their roles.
    const std::vector<Estimate> last = last_estimates(coin, table);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].size, 4);
    EXPECT_EQ(last[0].size_unit, "samples");
    EXPECT_DOUBLE_EQ(last[0].value, 0.5);
    ASSERT_TRUE(last[0].own_error);
    EXPECT_EQ(last[0].own_error->kind, "heads error");
    EXPECT_NEAR(last[0].own_error->value, 0.25, 1e-6);
}

TEST(StandInList, SettingsOutOfRangeNameTheirSetting)
{
    const Experiment& coin = stand_in_experiments().front();
    KeptRows rows;
    const auto refused = [&](RunSettings settings) -> std::optional<Setting> {
        try {
            run_experiment(coin, settings, rows);
        } catch (const SettingError& error) {
            return error.setting();
        }
        return std::nullopt;
    };
    EXPECT_EQ(refused({.rows = 9}), Setting::rows);  // the line's max_rows is 8
    EXPECT_EQ(refused({.rows = -1}), Setting::rows);
    EXPECT_EQ(refused({.seed = suite::limits::max_seed + 1}), Setting::seed);
    EXPECT_EQ(refused({.updates_per_sample = 0}), Setting::updates_per_sample);
    EXPECT_EQ(refused({.threads = suite::limits::max_threads + 1}), Setting::threads);
    EXPECT_EQ(rows.text, "");
    EXPECT_EQ(refused({.seed = suite::limits::max_seed, .rows = 8, .threads = suite::limits::max_threads}),
              std::nullopt);
}

}  // namespace
