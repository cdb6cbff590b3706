#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "chain_report.hpp"

namespace {

std::string pair_text(double value, double error)
{
    const RoundedPair rounded = round_to_error(value, error);
    return rounded.value + " +- " + rounded.error;
}

TEST(RoundToError, KeepsTheDigitsTheErrorJustifies)
{
    EXPECT_EQ(pair_text(0.012345, 0.0004567), "0.01235 +- 0.00046");
    // An error that rounds up to a power of ten keeps two digits.
    EXPECT_EQ(pair_text(1.23456, 0.0996), "1.23 +- 0.10");
    EXPECT_EQ(pair_text(123456.7, 1234.5), "123500 +- 1200");
    EXPECT_EQ(pair_text(-0.0001, 0.03), "0.000 +- 0.030");
    EXPECT_EQ(pair_text(1.0, 3e-14), "1.000000000000000e+00 +- 3.0e-14");
    EXPECT_EQ(pair_text(0.1, 0.0), "0.10000000000000001 +- 0");
    EXPECT_EQ(round_to_error(2.5, std::numeric_limits<double>::quiet_NaN()).error, "nan");
}

}  // namespace
