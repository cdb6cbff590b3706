// The programs' options end to end: a run with another seed, row count and
// update count is the table that the plain kernel forms give from a stream
// seeded so; fewer rows are a prefix of more; bad input changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <span>
#include <string>
#include <vector>

#include "bootstrap_resampling.hpp"
#include "experiments.hpp"
#include "growing_series.hpp"
#include "plain_estimators.hpp"
#include "program_run.hpp"
#include "reference.hpp"
#include "stream_drawing.hpp"
#include "suite/estimators.hpp"
#include "suite/metropolis_update.hpp"
#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"
#include "test_functions.hpp"

using namespace suite;

namespace {

const std::string notice = "initializing the Random generator\n";

template <class... Values>
std::string row(const char* format, Values... values)
{
    std::array<char, 256> text{};
    (void)std::snprintf(text.data(), text.size(), format, values...);
    return text.data();
}

// The table of `program` from an engine seeded with `seed`, drawn one
// value at a time through the plain forms: metropolis_step() for every update, the
// ten-block jackknife summed afresh, and the bootstrap's index table.
std::string plain_table(const std::string& program, std::int64_t seed, std::int64_t rows, std::int64_t updates)
{
    UniformEngine g(seed);
    std::string text;
    double sum = 0.0;
    Point3 p;
    if (program == "montecarlo1d") {
        for (std::int64_t i = 2; i < rows + 2; ++i) {
            sum = sum + sine_pi(g.next_double());
            text += row("%i\t%f\n", static_cast<int>(i), sum / static_cast<double>(i));
        }
    } else if (program == "montecarlo3d" || program == "montecarlo3d_weighted") {
        for (std::int64_t i = 1; i <= rows; ++i) {
            draw_point(p, g);
            sum = sum + (program == "montecarlo3d" ? cubic_polynomial(p) : weighted_moment(p));
            text += row("%i\t%f\n", static_cast<int>(i), sum / static_cast<double>(i));
        }
    } else if (program == "metropolis" || program == "metropolis_jackknife") {
        std::vector<double> values;
        draw_point(p, g);
        for (std::int64_t i = 1; i <= rows; ++i) {
            metropolis_sweep(p, updates, P, g);
            values.push_back(moment_observable(p));
            sum = sum + values.back();
            const double mean = sum / static_cast<double>(i);
            text += program == "metropolis" ? row("%i\t%f\t%f\n", static_cast<int>(i), mean, p.y)
                                            : row("%i\t%f\t%f\n", static_cast<int>(i), mean,
                                                  historic::jackknife_error(values, mean));
        }
    } else if (program == "metropolis_bootstrap") {
        constexpr std::int64_t m = 100;
        draw_point(p, g);
        std::vector<double> chain{moment_observable(p)};
        for (std::int64_t n = 1; n <= rows; ++n) {
            if (n > 1) {
                metropolis_sweep(p, updates, P, g);
                chain.push_back(moment_observable(p));
            }
            // From 0, in chain order.
            const double chain_sum = std::accumulate(chain.begin(), chain.end(), 0.0);
            std::vector<std::int64_t> index(static_cast<std::size_t>(n * m));
            std::array<double, m> means{};
            historic::draw_resample_indices(std::span(index), n, m, [&] { return g.next_float(); });
            const BootstrapInterval interval = historic::bootstrap_interval(chain, index, means);
            text += row("%i\t%f\t%f\t%f\n", static_cast<int>(n), chain_sum / static_cast<double>(n), interval.lower,
                        interval.upper);
        }
    } else if (program.starts_with("ar1_phi") || program == "metropolis_errors") {
        // The coverage chains, one value at a time: the AR(1) innovations are
        // the draws' midpoints on (-sqrt 3, sqrt 3), the start has the
        // stationary variance; at each checkpoint N = base^k the mean and
        // sigma / sqrt(N) (the other methods are the library's estimators,
        // tested on their own).
        const double phi = program == "ar1_phi05" ? 0.5 : program == "ar1_phi09" ? 0.9 : 0.99;
        const auto innovation = [&] { return std::sqrt(3.0) * ((2.0 * static_cast<double>(g()) + 1.0) * 0x1p-24 - 1.0); };
        std::vector<double> chain;
        const bool ar1 = program != "metropolis_errors";
        const std::int64_t base = ar1 ? 2 : 10;
        if (!ar1) {
            draw_point(p, g);
        }
        for (std::int64_t k = 1, n = base; k <= rows; ++k, n *= base) {
            while (static_cast<std::int64_t>(chain.size()) < n) {
                if (ar1) {
                    chain.push_back(chain.empty() ? innovation() / std::sqrt(1.0 - phi * phi)
                                                  : phi * chain.back() + innovation());
                } else {
                    metropolis_sweep(p, updates, P, g);
                    chain.push_back(moment_observable(p));
                }
            }
            const double mean = std::accumulate(chain.begin(), chain.end(), 0.0) / static_cast<double>(n);
            const double squares = std::accumulate(chain.begin(), chain.end(), 0.0, [mean](double sum, double v) {
                return sum + (v - mean) * (v - mean);
            });
            text += row("%i\t%f\t%f\n", static_cast<int>(n), mean,
                        std::sqrt(squares / static_cast<double>(n - 1) / static_cast<double>(n)));
        }
    } else if (program == "quadrature") {
        for (std::int64_t k = 1; k <= rows; ++k) {
            const std::int64_t n = std::int64_t{1} << k;
            text += row("%i\t%f\t%f\t%f\n", static_cast<int>(n), historic::rectangle_rule(sine_pi, 0.0, 1.0, n),
                        historic::trapezoid_rule(sine_pi, 0.0, 1.0, n),
                        historic::simpson_weighted_rule(sine_pi, 0.0, 1.0, n));
        }
    }
    return text;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// Row by row; a not-a-number may be spelt either way.
void expect_same_rows(const std::string& actual, const std::string& expected)
{
    const auto got = lines_of(actual);
    const auto want = lines_of(expected);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t r = 0; r < want.size(); ++r) {
        if (got[r] != want[r] && want[r].find("nan") != std::string::npos) {
            const auto a = fields(got[r]);
            const auto b = fields(want[r]);
            ASSERT_EQ(a.size(), b.size()) << "row " << r + 1;
            for (std::size_t c = 0; c < b.size(); ++c) {
                const bool nan = b[c].find("nan") != std::string::npos;
                ASSERT_TRUE(nan ? a[c].find("nan") != std::string::npos : a[c] == b[c]) << "row " << r + 1;
            }
            continue;
        }
        ASSERT_EQ(got[r], want[r]) << "row " << r + 1;
    }
}

struct Replica {
    std::string program;
    std::int64_t seed;
    std::int64_t rows;
    std::int64_t updates;  // 0: the program has no updates
};

void PrintTo(const Replica& replica, std::ostream* out) { *out << replica.program; }

// Every experiment of the list with other options than its defaults: seeds
// that include both ends of the range and the published check seed, a few
// hundred rows (a few for the doubling quadrature, fewer for the bootstrap,
// whose work grows like the square of the rows), and short sweeps, K = 1
// among them.
std::vector<Replica> replicas()
{
    constexpr std::array<std::int64_t, 4> seeds = {1, 54217137, 900000000, 2};
    constexpr std::array<std::int64_t, 3> updates = {1, 7, 3};
    std::vector<Replica> all;
    for (const Experiment& experiment : experiments()) {
        const std::size_t k = all.size();
        const std::int64_t rows = experiment.max_rows <= 10   ? 3
                                  : experiment.max_rows <= 30 ? 6
                                  : experiment.uses_every_core ? 150
                                                               : 300;
        all.push_back({experiment.name, experiment.has_option("seed") ? seeds[k % seeds.size()] : 0, rows,
                       experiment.has_option("updates-per-sample") ? updates[k % updates.size()] : 0});
    }
    return all;
}

class Replicas : public testing::TestWithParam<Replica> {};

TEST_P(Replicas, AreThePlainKernelTablesOfTheirSeedRowsAndUpdates)
{
    const Replica& r = GetParam();
    const Experiment& experiment = find_experiment(r.program);
    std::string arguments = "--rows " + std::to_string(r.rows) + " --output replica.dat";
    if (experiment.has_option("seed")) {
        arguments += " --seed " + std::to_string(r.seed);
    }
    if (r.updates > 0) {
        arguments += " --updates-per-sample " + std::to_string(r.updates);
    }
    const auto folder = fresh_folder();
    const ProgramRun run = run_program(r.program, folder, arguments);
    ASSERT_EQ(run.exit_status, 0) << run.standard_error;
    EXPECT_EQ(run.standard_error, "");
    // The notice once, and only where something is drawn.
    EXPECT_EQ(run.standard_output, experiment.has_option("seed") ? notice : "");
    EXPECT_FALSE(std::filesystem::exists(folder / experiment.table_file));
    std::string table = read_file(folder / "replica.dat");
    if (experiment.column_roles.front() == ColumnRole::checkpoint_count) {
        // N, the mean and the naive error of each row, which has a field per column.
        std::string kept;
        for (const std::string& line : lines_of(table)) {
            const auto parts = fields(line);
            ASSERT_EQ(parts.size(), experiment.columns);
            kept += parts[0] + "\t" + parts[1] + "\t" + parts[2] + "\n";
        }
        table = kept;
    }
    expect_same_rows(table, plain_table(r.program, r.seed, r.rows, r.updates));
}

INSTANTIATE_TEST_SUITE_P(Programs, Replicas, testing::ValuesIn(replicas()),
                         [](const auto& info) { return info.param.program; });

// The bootstrap's rows are shared among threads, each from its own place in
// the stream: any count, more than the rows included, writes the same table.
TEST(Threads, LeaveTheBootstrapTableAsItIs)
{
    const auto folder = fresh_folder();
    std::string first;
    for (const int threads : {1, 2, 3, 200}) {
        const std::string name = std::to_string(threads) + ".dat";
        const ProgramRun run = run_program("metropolis_bootstrap", folder,
                                           "--rows 150 --updates-per-sample 3 --seed 4 --threads " +
                                               std::to_string(threads) + " --output " + name);
        ASSERT_EQ(run.exit_status, 0) << run.standard_error;
        const std::string table = read_file(folder / name);
        first = first.empty() ? table : first;
        EXPECT_EQ(table, first) << threads << " threads";
    }
}

// Any R rows are the first R rows of a longer run: a short run and one 5 %
// past the default (for the bootstrap, past its default chain capacity of
// 8192) against the default table.
class Rows : public testing::TestWithParam<SuiteTable> {};

TEST_P(Rows, AreAPrefixOfEveryLongerRun)
{
    const SuiteTable& table = GetParam();
    const Experiment& experiment = find_experiment(table.program);
    const std::string whole = table_text(shared_run(table.program), table);
    const auto default_rows = lines_of(whole);
    ASSERT_EQ(default_rows.size(), static_cast<std::size_t>(experiment.default_rows));

    const auto folder = fresh_folder();
    const std::int64_t rows = experiment.default_rows + experiment.default_rows / 20 + 1;
    ASSERT_EQ(run_program(table.program, folder, "--rows " + std::to_string(rows) + " --output long.dat").exit_status,
              0);
    ASSERT_EQ(run_program(table.program, folder, "--rows 3 --output short.dat").exit_status, 0);
    const auto long_rows = read_lines(folder / "long.dat");
    ASSERT_EQ(long_rows.size(), static_cast<std::size_t>(rows));
    EXPECT_TRUE(std::equal(default_rows.begin(), default_rows.end(), long_rows.begin()));
    EXPECT_EQ(read_lines(folder / "short.dat"), std::vector<std::string>(default_rows.begin(), default_rows.begin() + 3));
}

INSTANTIATE_TEST_SUITE_P(Programs, Rows, testing::ValuesIn(suite_tables()),
                         [](const auto& info) { return std::string(info.param.program); });

// A row count is decimal whatever its leading zeros ("010" is ten, "09"
// nine, never octal), and a table sent to standard output, by "-" or by a
// name of standard output itself, holds the rows alone: the generator's
// notice goes to standard error.
TEST(Output, DecimalRowsAndRowsAloneOnStandardOutput)
{
    const auto folder = fresh_folder();
    for (const char* rows : {"010", "09"}) {
        ASSERT_EQ(run_program("montecarlo1d", folder, std::string("--output rows.dat --rows ") + rows).exit_status, 0);
        EXPECT_EQ(read_lines(folder / "rows.dat").size(), std::stoul(rows)) << rows;
    }
    const std::string three_rows = read_file(folder / "rows.dat").substr(0, std::size_t{3} * 11);
    for (const char* output : {"-", "/dev/stdout", "/proc/self/fd/1"}) {
        const ProgramRun run = run_program("montecarlo1d", folder, std::string("--rows 3 --output ") + output);
        EXPECT_EQ(run.exit_status, 0) << output;
        EXPECT_EQ(run.standard_output, three_rows) << output;
        EXPECT_EQ(run.standard_error, notice) << output;
    }
}

TEST(BadInput, OneLineStatusTwoAndNothingTouched)
{
    struct Case {
        std::string program;
        std::string arguments;
        std::string problem;
    };
    // One of each kind; each program's default table already exists (for
    // quadrature, the file its --output names) and must survive.
    const std::vector<Case> cases = {
        {"montecarlo1d", "--sed 3", "unknown option --sed"},
        {"metropolis", "--rows", "--rows needs a value"},
        {"metropolis_jackknife", "--updates-per-sample many", "'many' is not a whole number"},
        {"metropolis_bootstrap", "--rows 12x", "'12x' is not a whole number"},
        {"montecarlo3d", "--seed 900000001", "900000001 is out of range (0 to 900000000)"},
        {"montecarlo3d_weighted", "--seed 99999999999999999999", "is out of range"},
        {"metropolis_jackknife", "--rows 10000001", "10000001 is out of range (1 to 10000000)"},
        {"quadrature", "--output kept.dat --seed 3", "--seed is not an option of quadrature"},
    };
    for (const Case& c : cases) {
        const Experiment& experiment = find_experiment(c.program);
        const auto folder = fresh_folder();
        const std::string kept = experiment.on_standard_output ? "kept.dat" : experiment.table_file;
        std::ofstream(folder / kept) << "old\n";
        const ProgramRun run = run_program(c.program, folder, c.arguments);
        const std::string what = c.program + " " + c.arguments;
        EXPECT_EQ(run.exit_status, 2) << what;
        EXPECT_EQ(run.standard_output, "") << what;
        EXPECT_TRUE(run.standard_error.starts_with(c.program + ": ")) << what << ": " << run.standard_error;
        EXPECT_NE(run.standard_error.find(c.problem), std::string::npos) << what << ": " << run.standard_error;
        EXPECT_NE(run.standard_error.find("--help"), std::string::npos) << what;
        EXPECT_EQ(run.standard_error.find('\n'), run.standard_error.size() - 1) << what;
        EXPECT_EQ(read_file(folder / kept), "old\n") << what;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << what;
    }
}

TEST(HelpAndVersion, StateTheOptionsAndTheLargestRowCount)
{
    for (const Experiment& experiment : experiments()) {
        const auto folder = fresh_folder();
        const ProgramRun help = run_program(experiment.name, folder, "--help");
        EXPECT_EQ(help.exit_status, 0) << experiment.name;
        EXPECT_NE(help.standard_output.find("1 to " + std::to_string(experiment.max_rows)), std::string::npos)
            << help.standard_output;
        for (const char* option : {"seed", "rows", "updates-per-sample", "threads", "output"}) {
            EXPECT_EQ(help.standard_output.find(std::string("--") + option) != std::string::npos,
                      experiment.has_option(option))
                << experiment.name << " --" << option;
        }
        const ProgramRun version = run_program(experiment.name, folder, "--version");
        EXPECT_EQ(version.exit_status, 0);
        EXPECT_TRUE(version.standard_output.starts_with(experiment.name + " ")) << version.standard_output;
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << experiment.name;
    }
}

}  // namespace
