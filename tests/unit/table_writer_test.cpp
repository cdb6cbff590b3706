#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "suite/table_writer.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace suite;

namespace {

std::filesystem::path fresh_folder()
{
    auto folder = std::filesystem::temp_directory_path()
                  / ("table-writer-test-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    return folder;
}

std::string contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string printf_row(int count, double value)
{
    std::vector<char> text(400);
    (void)std::snprintf(text.data(), text.size(), "%i\t%f\n", count, value);
    return text.data();
}

}  // namespace

// The rows hold printf's "%i\t%f" digits on every system, "-nan" for a
// not-a-number of either sign, "inf" and "-inf", and "\n" line ends.
TEST(TableWriter, WritesPrintfsDigitsAndOneSpellingOfNonFiniteValues)
{
    std::vector<double> values = {0.0, -0.0, 0.0000005, 0.0000015, 0.0000025, -0.0000005, 0.00000049999999,
                                  0.9999995, 0.99999949999, -0.9999995, 1.0000005, 2.5e-7, 123456.0000005,
                                  0.125, 0.0078125, 0.0234375, 1e15 + 0.5, 4503599627370497.5, 1e300,
                                  -std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(), -4.9e-310};
    // Values of every magnitude the tables see, and far beyond.
    std::mt19937_64 bits(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same values on every run
    for (int k = 0; k < 4000; ++k) {
        const double mantissa = std::uniform_real_distribution<double>(-1.0, 1.0)(bits);
        values.push_back(std::ldexp(mantissa, static_cast<int>(bits() % 150) - 90));
    }
    // Exact ties at the seventh decimal are the odd multiples of 1/128, at
    // every magnitude up to the largest value with seven binary decimals.
    for (int k = 0; k < 500; ++k) {
        const auto odd = static_cast<double>((bits() >> (k % 50 + 14)) | 1U);
        values.push_back(std::ldexp(k % 2 == 0 ? odd : -odd, -7));
    }
    for (const double edge : {std::ldexp(1.0, 43), std::ldexp(1.0, -75), std::ldexp(1.0, -64)}) {
        values.insert(values.end(), {std::nextafter(edge, 0.0), edge, std::nextafter(edge, 1e300)});
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<int> counts = {INT_MIN, -1, 0, 1, INT_MAX};

    const auto folder = fresh_folder();
    const auto path = folder / "table.dat";
    std::string expected;
    {
        TableWriter table("table_writer_test", path.string().c_str());
        for (std::size_t k = 0; k < values.size(); ++k) {
            const int count = counts[k % counts.size()];
            table.row(count, values[k]);
            expected += printf_row(count, values[k]);
        }
        // A row far wider than the writer's buffer, of its widest values.
        const std::vector<double> wide(500, -std::numeric_limits<double>::max());
        table.row(3, wide);
        expected += std::to_string(3);
        for (const double value : wide) {
            const std::string alone = printf_row(0, value);
            expected += alone.substr(1, alone.size() - 2);  // the tab and the digits
        }
        expected += '\n';
        table.row(1, std::copysign(nan, -1.0), std::copysign(nan, 1.0), inf, -inf);
        table.row(2);
        table.close();
    }
    expected += "1\t-nan\t-nan\tinf\t-inf\n2\n";
    const std::string text = contents(path);
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(text == expected) << "the rows differ from printf's";
    // Spelled out in case the C library's printf is itself wrong: exact
    // ties at the seventh decimal go to the even digit.
    EXPECT_EQ(printf_row(0, 0.0078125), "0\t0.007812\n");
    EXPECT_EQ(printf_row(0, 0.0234375), "0\t0.023438\n");
    EXPECT_EQ(printf_row(0, 0.9999995), "0\t1.000000\n");  // 0.99999950000000003...
    EXPECT_EQ(printf_row(0, -0.0), "0\t-0.000000\n");
}

// A table abandoned before close() (an exception unwinding) leaves the old
// table as it was and no temporary file beside it.
TEST(TableWriter, AbandonedTableLeavesTheOldOne)
{
    const auto folder = fresh_folder();
    const auto path = folder / "table.dat";
    std::ofstream(path, std::ios::binary) << "old\n";
    {
        TableWriter table("table_writer_test", path.string().c_str());
        for (int k = 0; k < 10000; ++k) {
            table.row(k, 0.5);
        }
    }
    EXPECT_EQ(contents(path), "old\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    {
        TableWriter table("table_writer_test", path.string().c_str());
        table.row(3, 0.5);
        table.close();
    }
    EXPECT_EQ(contents(path), "3\t0.500000\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    std::filesystem::remove_all(folder);
}

// Every writer of a process replaces its table, not only the first: a
// second one abandoned still leaves the first one's table. A relative
// symbolic link is read from its own folder, whatever the working
// directory.
TEST(TableWriter, EachWriterReplacesTheFileARelativeLinkNames)
{
    namespace fs = std::filesystem;
    const auto folder = fresh_folder();
    fs::create_directory(folder / "elsewhere");
    std::ofstream(folder / "kept.dat", std::ios::binary) << "old\n";
    std::error_code no_links;
    fs::create_symlink("kept.dat", folder / "link.dat", no_links);
    if (no_links) {
        fs::remove_all(folder);
        GTEST_SKIP() << "this system makes no symbolic links: " << no_links.message();
    }
    const fs::path working_directory = fs::current_path();
    fs::current_path(folder / "elsewhere");
    for (int writer = 1; writer <= 3; ++writer) {
        TableWriter table("table_writer_test", (folder / "link.dat").string().c_str());
        table.row(writer, 0.5);
        if (writer < 3) {
            table.close();
        }
    }
    fs::current_path(working_directory);
    EXPECT_EQ(contents(folder / "kept.dat"), "2\t0.500000\n");
    EXPECT_TRUE(fs::is_symlink(folder / "link.dat"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
    EXPECT_TRUE(fs::is_empty(folder / "elsewhere"));
    fs::remove_all(folder);
}

#ifndef _WIN32
// A new table gets the mode any new file gets: 0666 less the umask.
TEST(TableWriter, NewTableTakesTheUmask)
{
    const auto folder = fresh_folder();
    const auto path = folder / "table.dat";
    const mode_t before = umask(027);
    {
        TableWriter table("table_writer_test", path.string().c_str());
        table.row(1, 0.5);
        table.close();
    }
    (void)umask(before);
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::remove_all(folder);
}
#endif
