#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <locale>
#include <random>
#include <string>

#include "summary.hpp"
#include "table.hpp"
#include "test_functions.hpp"

namespace {

const Experiment& experiment(const std::string& name)
{
    const std::vector<Experiment>& all = experiments();
    const auto found = std::find_if(all.begin(), all.end(), [&](const Experiment& e) { return e.name == name; });
    if (found == all.end()) {
        throw std::invalid_argument(name);
    }
    return *found;
}

std::vector<Estimate> estimates_of(const std::string& name, const std::string& text)
{
    const Experiment& e = experiment(name);
    return last_estimates(e, parse_table(text, e.columns));
}

// A folder of its own below the temporary directory, removed afterwards.
class Folder {
public:
    Folder()
        : path_(std::filesystem::temp_directory_path() /
                ("summary-test-" + std::to_string(std::random_device{}())))
    {
        std::filesystem::create_directories(path_);
    }
    ~Folder() { std::filesystem::remove_all(path_); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Folder(Folder&&) = delete;
    Folder& operator=(Folder&&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path_ / name, std::ios::binary) << text;
    }

private:
    std::filesystem::path path_;
};

// Two rows for every table, the last one holding the values checked below.
void write_small_tables(const Folder& folder)
{
    folder.write("tmontecarlo.dat", "2\t0.500000\n3\t0.600000\n");
    folder.write("tmontecarlo3D.dat", "1\t0.900000\n2\t1.250000\n");
    folder.write("tmontecarlo3D2.dat", "1\t2.000000\n2\t2.500000\n");
    folder.write("quadrature.dat", "2\t0.000000\t0.250000\t0.000000\n4\t0.426777\t0.515165\t0.385110\n");
    folder.write("tmetropolis5.dat", "1\t2.000000\t0.500000\n2\t2.400000\t0.250000\n");
    folder.write("tmjack.dat", "1\t2.000000\t-nan\n2\t2.500000\t0.100000\n");
    folder.write("tmerror2.dat", "1\t2.000000\t2.000000\t2.000000\n2\t2.400000\t2.300000\t2.600000\n");
    // The coverage chains: N, the mean, nine error columns.
    const std::string errors = "\t0.100000\t-nan\t0.1\t0.2\t0.1\t0.1\t0.1\t0.2\t1.5\n";
    for (const char* name : {"tar1phi05.dat", "tar1phi09.dat", "tar1phi099.dat"}) {
        std::string table = "2\t0.300000";
        table.append(errors).append("4\t0.200000").append(errors);
        folder.write(name, table);
    }
    folder.write("tmerrors.dat", "10\t2.500000" + errors);
}

}  // namespace

TEST(ParseTable, ReadsTabSeparatedRowsIncludingNotANumber)
{
    const Table table = parse_table("1\t0.003173\t-nan\n2\t0.082388\t0.075166\n3\t0.111213\tnan\n", 3);
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[1], (std::vector<double>{2.0, 0.082388, 0.075166}));
    EXPECT_TRUE(std::isnan(table.rows[0][2]));
    EXPECT_TRUE(std::isnan(table.rows[2][2]));
}

// To the same double as the literal, however long, and whatever the global
// locale: one with a decimal comma must not turn "0.5" into 0 or 5.
TEST(ParseTable, ReadsNumbersExactlyWhateverTheLocale)
{
    struct DecimalComma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new DecimalComma));
    const Table table = parse_table("0.082388\t-0.000000\t2.519033\t99999\t-inf\t123456789012345678.25\n", 6);
    std::locale::global(previous);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(table.rows.at(0), (std::vector<double>{0.082388, -0.0, 2.519033, 99999.0, -inf, 123456789012345678.25}));
    EXPECT_TRUE(std::signbit(table.rows.at(0).at(1)));
    for (const char* field : {"1,5", "+1", "1.", ".5", "1e5", "--1", "nan(ind)", "-"}) {
        EXPECT_THROW(parse_table(std::string("1\t") + field + "\n", 2), TableError) << field;
    }
}

TEST(ParseTable, RefusesMalformedTablesNamingTheLine)
{
    const auto message = [](const std::string& text, std::size_t columns) -> std::string {
        try {
            parse_table(text, columns);
        } catch (const TableError& error) {
            return error.what();
        }
        return "accepted";
    };
    EXPECT_EQ(message("", 2), "the table has no rows");
    EXPECT_EQ(message("1\t0.5\n2\t0.6", 2), "line 2: the row is not complete (no newline at its end)");
    EXPECT_EQ(message("1\t0.5\n2\t0.6\t0.7\n", 2), "line 2: expected 2 fields, found 3");
    EXPECT_EQ(message("1\t0.5\n2\n", 2), "line 2: expected 2 fields, found 1");
    EXPECT_EQ(message("1\t0.5\n\n", 2), "line 2: '' is not a number");
    EXPECT_EQ(message("1\t\t0.5\n", 2), "line 1: '' is not a number");
    EXPECT_EQ(message("1 0.5\n", 2), "line 1: '1 0.5' is not a number");
    EXPECT_EQ(message("1\t0.5x\n", 2), "line 1: '0.5x' is not a number");
    EXPECT_EQ(message("1\t0.5\r\n", 2), "line 1: '0.5\r' is not a number");
}

TEST(LastEstimates, UniformMonteCarloRowsAgainstTheirIntegrals)
{
    // montecarlo1d's counter runs one ahead of its samples.
    const auto one = estimates_of("montecarlo1d", "2\t0.400000\n9999\t0.640482\n");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].size, 9998);
    EXPECT_EQ(one[0].size_unit, "samples");
    EXPECT_DOUBLE_EQ(one[0].value, 0.640482);
    EXPECT_DOUBLE_EQ(one[0].exact, 2.0 / std::acos(-1.0));
    EXPECT_NEAR(one[0].absolute_error(), 0.640482 - 0.6366198, 1e-7);
    EXPECT_FALSE(one[0].own_error);

    const auto cube = estimates_of("montecarlo3d", "1\t0.039962\n99999\t0.999304\n");
    EXPECT_EQ(cube[0].size, 99999);
    EXPECT_NEAR(cube[0].absolute_error(), 0.000696, 1e-12);

    const auto weighted = estimates_of("montecarlo3d_weighted", "99999\t2.419642\n");
    EXPECT_DOUBLE_EQ(weighted[0].exact, weighted_moment_integral());
}

TEST(LastEstimates, QuadratureGivesOneEstimatePerRule)
{
    const auto rules = estimates_of("quadrature", "2\t0.000000\t0.250000\t0.000000\n8\t0.580582\t0.604500\t0.565851\n");
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[0].label, "quadrature, rectangle");
    EXPECT_EQ(rules[1].label, "quadrature, trapezoid");
    EXPECT_EQ(rules[2].label, "quadrature, Simpson-weighted");
    for (const Estimate& e : rules) {
        EXPECT_EQ(e.size, 8);
        EXPECT_EQ(e.size_unit, "intervals");
        EXPECT_DOUBLE_EQ(e.exact, sine_pi_integral());
    }
    EXPECT_DOUBLE_EQ(rules[0].value, 0.580582);
    EXPECT_DOUBLE_EQ(rules[1].value, 0.604500);
    EXPECT_DOUBLE_EQ(rules[2].value, 0.565851);
}

TEST(LastEstimates, MetropolisProgramsCarryTheirOwnErrorEstimates)
{
    const auto plain = estimates_of("metropolis", "1\t0.003173\t0.026211\n99999\t2.452203\t0.5\n");
    EXPECT_DOUBLE_EQ(plain[0].value, 2.452203);
    EXPECT_DOUBLE_EQ(plain[0].exact, moment_expectation());
    EXPECT_FALSE(plain[0].own_error);

    const auto jack = estimates_of("metropolis_jackknife", "1\t0.003173\t-nan\n9999\t2.519033\t0.068512\n");
    ASSERT_TRUE(jack[0].own_error);
    EXPECT_EQ(jack[0].own_error->kind, "jackknife error");
    EXPECT_DOUBLE_EQ(jack[0].own_error->value, 0.068512);
    EXPECT_FALSE(jack[0].own_error->lower);

    // The half-width of an interval that need not be centred on the mean.
    const auto boot = estimates_of("metropolis_bootstrap", "7999\t2.444596\t2.373839\t2.524486\n");
    EXPECT_EQ(boot[0].size, 7999);
    EXPECT_EQ(boot[0].size_unit, "chain points");
    ASSERT_TRUE(boot[0].own_error);
    EXPECT_EQ(boot[0].own_error->kind, "interval half-width");
    EXPECT_NEAR(boot[0].own_error->value, (2.524486 - 2.373839) / 2.0, 1e-15);
    EXPECT_DOUBLE_EQ(*boot[0].own_error->lower, 2.373839);
    EXPECT_DOUBLE_EQ(*boot[0].own_error->upper, 2.524486);
}

TEST(LastEstimates, RefusesARowOfTheWrongWidth)
{
    // A table read for another experiment must not be indexed past its end.
    EXPECT_THROW(last_estimates(experiment("metropolis_bootstrap"), parse_table("2\t0.5\n", 2)),
                 std::invalid_argument);
    EXPECT_THROW(last_estimates(experiment("quadrature"), Table{}), std::invalid_argument);
}

TEST(Markdown, OneRowPerEstimateWithFigureLinks)
{
    Folder folder;
    write_small_tables(folder);
    folder.write("quadrature.png", "");
    folder.write("metropolis_bootstrap.png", "");
    folder.write("metropolis_jackknife.png", "");
    const std::string text = markdown(summarise_folder(folder.path()));

    EXPECT_NE(text.find("| montecarlo1d | 2 samples | 0.600000 | 0.6366198 | 3.66e-02 | — | not drawn |\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("| montecarlo3d | 2 samples | 1.250000 | 1.0000000 | 2.50e-01 | — | not drawn |\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("| quadrature, trapezoid | 4 intervals | 0.515165 | 0.6366198 | 1.21e-01 | — | "
                        "[quadrature.png](quadrature.png) |\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("| metropolis_jackknife | 2 samples | 2.500000 | 2.4313142 | 6.87e-02 | jackknife error "
                        "1.00e-01 | [metropolis_jackknife.png](metropolis_jackknife.png) |\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("| metropolis_bootstrap | 2 chain points | 2.400000 | 2.4313142 | 3.13e-02 | interval "
                        "half-width 1.50e-01, interval [2.300000, 2.600000] | "
                        "[metropolis_bootstrap.png](metropolis_bootstrap.png) |\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("| ar1_phi09 | 4 samples | 0.200000 | 0.0000000 | 2.00e-01 | naive error 1.00e-01 | not "
                        "drawn |\n"),
              std::string::npos)
        << text;
    // A header, a separator and thirteen estimates.
    std::size_t rows = 0;
    for (std::size_t at = text.find("\n|"); at != std::string::npos; at = text.find("\n|", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(rows, 15u);
}

TEST(Markdown, AnErrorOfZeroIsWrittenAsZero)
{
    Estimate exact{"quadrature, trapezoid", 8, "intervals", 0.5, 0.5, std::nullopt};
    const std::string text = markdown({{experiment("quadrature"), {exact}, false}});
    EXPECT_NE(text.find("| 0.500000 | 0.5000000 | 0 | — |"), std::string::npos) << text;
}

TEST(SummariseFolder, NamesTheTableThatIsMissingOrBroken)
{
    Folder folder;
    write_small_tables(folder);
    folder.write("tmjack.dat", "1\t2.000000\t-nan\n2\t2.500000\n");
    try {
        summarise_folder(folder.path());
        FAIL() << "a broken table was summarised";
    } catch (const TableError& error) {
        EXPECT_EQ(std::string(error.what()), (folder.path() / "tmjack.dat").string() +
                                                 ": line 2: expected 3 fields, found 2");
    }

    std::filesystem::remove(folder.path() / "tmjack.dat");
    try {
        summarise_folder(folder.path());
        FAIL() << "a missing table was summarised";
    } catch (const TableError& error) {
        EXPECT_EQ(std::string(error.what()), (folder.path() / "tmjack.dat").string() + ": cannot be read");
    }
}

TEST(GnuplotConstants, CarriesEveryExactValueAtFullPrecision)
{
    const std::string line = gnuplot_constants();
    const auto value = [&](const std::string& name) {
        const std::size_t at = line.find(name + " = ");
        EXPECT_NE(at, std::string::npos) << name << " missing from " << line;
        return at == std::string::npos ? NAN : std::stod(line.substr(at + name.size() + 3));
    };
    for (const Experiment& experiment : experiments()) {
        EXPECT_EQ(value("exact_" + experiment.name), experiment.exact());
    }
    EXPECT_EQ(value("exact_metropolis"), moment_expectation());
    EXPECT_EQ(line.find('\n'), std::string::npos);
}
