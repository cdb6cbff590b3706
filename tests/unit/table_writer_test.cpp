#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>

#include "table_writer.hpp"

// The tables hold the same bytes on every system: "-nan" for a not-a-number
// of either sign and whatever the C library would print, "inf" and "-inf",
// printf's formats for finite values (also beside a non-finite one in the
// same row), and "\n" line ends, never "\r\n".
TEST(TableWriter, WritesOneSpellingOfNonFiniteValuesAndBareLineEnds)
{
    const auto path = std::filesystem::temp_directory_path()
                      / ("table-writer-test-" + std::to_string(std::random_device{}()));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    {
        TableWriter table("table_writer_test", path.string().c_str());
        table.write("%i\t%f\t%f\n", 1, 0.003173, std::copysign(nan, -1.0));
        table.write("%f\t%5f|%-5f|\n", std::copysign(nan, 1.0), nan, nan);
        table.write("%f\t%f\t%+f\t%E\n", inf, -inf, inf, -inf);
        table.write("%i\t%f\t%.2e\n", 2, 0.5, -0.0);
        table.close();
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove(path);
    EXPECT_EQ(text, "1\t0.003173\t-nan\n"
                    "-nan\t -nan|-nan |\n"
                    "inf\t-inf\t+inf\t-INF\n"
                    "2\t0.500000\t-0.00e+00\n");
}
