// Each program end to end: what it writes, where, and that a rerun over an
// old table gives the same bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "experiments.hpp"
#include "program_run.hpp"
#include "stream_drawing.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"

using namespace suite;

namespace {

const std::string notice = "initializing the Random generator\n";

struct TableProgram {
    std::string program;
    std::string table;
    std::size_t rows;
    std::string first_counter;
    std::string last_counter;
};

// The programs that write a file, from the list: montecarlo1d's counter
// starts at 2, the coverage chains' checkpoints are powers of the first
// (2 or 10), every other counter starts at 1 and counts up.
std::vector<TableProgram> table_programs()
{
    std::vector<TableProgram> programs;
    for (const Experiment& e : experiments()) {
        if (e.column_roles.front() == ColumnRole::checkpoint_count) {
            programs.push_back({e.name, e.table_file, static_cast<std::size_t>(e.default_rows), "", ""});
        } else if (!e.on_standard_output) {
            const long long first = e.column_names.front() == "counter" ? 2 : 1;
            programs.push_back({e.name, e.table_file, static_cast<std::size_t>(e.default_rows),
                                std::to_string(first), std::to_string(first + e.default_rows - 1)});
        }
    }
    return programs;
}

std::string fixed(double value)
{
    // Table values are far below 1e50, so 64 characters hold every one.
    std::array<char, 64> text{};
    (void)std::snprintf(text.data(), text.size(), "%f", value);
    return text.data();
}

// The rows of the default run of `program`, from the file the list names.
std::vector<std::string> table_of(const std::string& program)
{
    return read_lines(shared_run(program).folder / find_experiment(program).table_file);
}

// The default stream from its start, as every program sees it.
UniformEngine default_stream()
{
    UniformEngine g(0);
    return g;
}

class TablePrograms : public testing::TestWithParam<TableProgram> {};

TEST_P(TablePrograms, WriteTheirRowsAndOnlyTheNoticeOnStandardOutput)
{
    const TableProgram& p = GetParam();
    const ProgramRun& run = shared_run(p.program);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output, notice);
    EXPECT_EQ(run.standard_error, "");

    const std::string bytes = read_file(run.folder / p.table);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\n');
    EXPECT_EQ(bytes.find("initializing"), std::string::npos);

    const std::vector<std::string> rows = table_of(p.program);
    ASSERT_EQ(rows.size(), p.rows);
    const bool checkpoints = p.first_counter.empty();
    if (!checkpoints) {
        EXPECT_EQ(fields(rows.front())[0], p.first_counter);
        EXPECT_EQ(fields(rows.back())[0], p.last_counter);
    }
    const std::size_t columns = fields(rows.front()).size();
    EXPECT_EQ(columns, find_experiment(p.program).columns);
    const long long base = std::stoll(fields(rows.front())[0]);
    long long checkpoint = base;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto parts = fields(rows[r]);
        ASSERT_EQ(parts.size(), columns) << p.table << " row " << r + 1;
        // Counters run up by one from the first; checkpoints are the powers
        // of the first.
        if (checkpoints) {
            ASSERT_EQ(std::stoll(parts[0]), checkpoint) << p.table << " row " << r + 1;
            checkpoint *= base;
        } else {
            ASSERT_EQ(std::stoll(parts[0]), std::stoll(p.first_counter) + static_cast<long long>(r));
        }
        for (std::size_t c = 1; c < parts.size(); ++c) {
            // Real values carry six decimals ("%f"); a not-a-number stands
            // where a method has nothing to say (the jackknife's row 1).
            const auto point = parts[c].find('.');
            if (point == std::string::npos) {
                EXPECT_NE(parts[c].find("nan"), std::string::npos) << p.table << " row " << r + 1;
            } else {
                ASSERT_EQ(parts[c].size() - point, 7u) << p.table << " row " << r + 1 << ": " << parts[c];
            }
        }
    }
}

TEST_P(TablePrograms, RerunOverAnOldLongerTableGivesTheSameBytes)
{
    const TableProgram& p = GetParam();
    const auto folder = fresh_folder();
    {
        std::ofstream old(folder / p.table);
        old << std::string(8u << 20, 'x') << '\n';
    }
    const ProgramRun rerun = run_program(p.program, folder);
    EXPECT_EQ(rerun.exit_status, 0);
    EXPECT_EQ(read_file(folder / p.table), read_file(shared_run(p.program).folder / p.table));
}

INSTANTIATE_TEST_SUITE_P(Programs, TablePrograms, testing::ValuesIn(table_programs()),
                         [](const auto& info) { return info.param.program; });

TEST(Montecarlo1d, FirstRowHoldsHalfOfTheFirstSample)
{
    UniformEngine g = default_stream();
    const double x = g.next_double();
    EXPECT_EQ(table_of("montecarlo1d").front(), "2\t" + fixed(sine_pi(x) / 2.0));
}

TEST(Montecarlo3d, FirstRowsFollowTheStream)
{
    UniformEngine g = default_stream();
    Point3 p;
    draw_point(p, g);
    const double first = cubic_polynomial(p);
    draw_point(p, g);
    const double second = cubic_polynomial(p);
    const auto rows = table_of("montecarlo3d");
    EXPECT_EQ(rows[0], "1\t" + fixed(first));
    EXPECT_EQ(rows[1], "2\t" + fixed((first + second) / 2.0));
    EXPECT_NEAR(std::stod(fields(rows.back())[1]), cubic_polynomial_integral, 0.01);
}

TEST(Montecarlo3dWeighted, FirstRowIsTheWeightedObservableOfTheFirstPoint)
{
    UniformEngine g = default_stream();
    Point3 p;
    draw_point(p, g);
    const auto rows = table_of("montecarlo3d_weighted");
    EXPECT_EQ(rows[0], "1\t" + fixed(weighted_moment(p)));
    EXPECT_NEAR(std::stod(fields(rows.back())[1]), weighted_moment_integral(), 0.05);
}

TEST(Metropolis, FirstRowIsTheObservableAfterTheFirstSweep)
{
    UniformEngine g = default_stream();
    Point3 current;
    draw_point(current, g);
    metropolis_sweep(current, 1000, P, g);
    const auto rows = table_of("metropolis");
    EXPECT_EQ(rows[0], "1\t" + fixed(moment_observable(current)) + "\t" + fixed(current.y));
    EXPECT_NEAR(std::stod(fields(rows.back())[1]), moment_expectation(), 0.05);
}

TEST(Metropolis, TraceStaysInTheCubeAndMovesOnlyWithTheMean)
{
    // The mean changes whenever a new value is added; the trace column can
    // only change when the point moved, and then the value moved too.
    const auto rows = table_of("metropolis");
    std::size_t moves = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const double y = std::stod(fields(rows[r])[2]);
        ASSERT_GE(y, 0.0);
        ASSERT_LT(y, 1.0);
        if (r > 0 && fields(rows[r])[2] != fields(rows[r - 1])[2]) {
            ++moves;
        }
    }
    // After 1000 updates the chain has almost surely moved.
    EXPECT_GT(moves, rows.size() * 99 / 100);
}

TEST(MetropolisJackknife, SharesTheChainOfTheMetropolisProgram)
{
    const auto jack = table_of("metropolis_jackknife");
    const auto plain = table_of("metropolis");
    ASSERT_EQ(jack.size(), 9999u);
    for (std::size_t r = 0; r < jack.size(); ++r) {
        const auto a = fields(jack[r]);
        const auto b = fields(plain[r]);
        ASSERT_EQ(a[0], b[0]);
        ASSERT_EQ(a[1], b[1]) << "row " << r + 1;
    }
}

TEST(MetropolisJackknife, FirstErrorIsNotANumberAndLaterErrorsArePositive)
{
    const auto rows = table_of("metropolis_jackknife");
    EXPECT_NE(fields(rows[0])[2].find("nan"), std::string::npos);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        ASSERT_GT(std::stod(fields(rows[r])[2]), 0.0) << "row " << r + 1;
    }
    // By the end the error is a few hundredths: about sigma / sqrt(9999).
    const double last = std::stod(fields(rows.back())[2]);
    EXPECT_GT(last, 0.005);
    EXPECT_LT(last, 0.1);
}

TEST(MetropolisBootstrap, FirstRowHasAZeroWidthIntervalAtTheInitialPoint)
{
    UniformEngine g = default_stream();
    Point3 start;
    draw_point(start, g);
    const std::string mean = fixed(moment_observable(start));
    const auto rows = table_of("metropolis_bootstrap");
    EXPECT_EQ(rows[0], "1\t" + mean + "\t" + mean + "\t" + mean);
}

TEST(MetropolisBootstrap, IntervalsAreOrderedAndNarrowAsTheChainGrows)
{
    const auto rows = table_of("metropolis_bootstrap");
    for (const auto& row : rows) {
        const auto parts = fields(row);
        ASSERT_LE(std::stod(parts[2]), std::stod(parts[3])) << row;
    }
    const auto width = [&](std::size_t r) {
        const auto parts = fields(rows[r]);
        return std::stod(parts[3]) - std::stod(parts[2]);
    };
    EXPECT_LT(width(7998), width(99));
    EXPECT_NEAR(std::stod(fields(rows.back())[1]), moment_expectation(), 0.1);
}

TEST(Quadrature, PrintsThirteenRowsOnStandardOutputWithoutTheNotice)
{
    const ProgramRun& run = shared_run("quadrature");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_error, "");
    EXPECT_EQ(run.standard_output.find("initializing"), std::string::npos);
    std::vector<std::string> rows;
    for (std::size_t start = 0; start < run.standard_output.size();) {
        const std::size_t end = run.standard_output.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "last row without a newline";
        rows.push_back(run.standard_output.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows.front(), "2\t0.000000\t0.250000\t0.000000");
    EXPECT_EQ(fields(rows.back())[0], "8192");
    for (std::size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(fields(rows[r])[0], std::to_string(2 << r));
    }
    for (std::size_t c = 1; c <= 3; ++c) {
        EXPECT_NEAR(std::stod(fields(rows.back())[c]), sine_pi_integral(), 1e-6);
    }
    // No file is written.
    EXPECT_TRUE(std::filesystem::is_empty(run.folder));
}

TEST(Quadrature, RerunPrintsTheSameBytes)
{
    EXPECT_EQ(run_program("quadrature", fresh_folder()).standard_output, shared_run("quadrature").standard_output);
}

}  // namespace
