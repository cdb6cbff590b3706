#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

// Ten-block jackknife error of the mean of `values` (the first i samples of a
// chain, i = values.size()). The values are cut at e_b = (b i) / 10 into ten
// consecutive blocks; leaving block b out gives the mean m_b, and the error
// is sqrt((10 - 1)/10 * sum_b (m_b - mean)^2) around the running mean `mean`
// of all values.
//
// The estimator keeps the divisors the experiment has always used: blocks 0
// to 8 divide by i - e_1 whatever the size of the block left out, while
// block 9 divides by e_9, the number of values it sums. For i = 1 block 9
// sums nothing and divides by 0, so the error is not-a-number.
inline double jackknife_error(std::span<const double> values, double mean)
{
    constexpr std::int32_t blocks = 10;
    const auto i = static_cast<std::int32_t>(values.size());
    const auto value = [&](std::int32_t position) { return values[static_cast<std::size_t>(position)]; };
    const auto edge = [&](std::int32_t b) { return (b * i) / blocks; };

    std::array<double, blocks> leave_one_out{};
    for (std::int32_t b = 0; b < blocks - 1; ++b) {
        double sum = 0.0;
        for (std::int32_t k = 0; k < edge(b); ++k) {
            sum = sum + value(k);
        }
        for (std::int32_t k = edge(b + 1); k < i; ++k) {
            sum = sum + value(k);
        }
        leave_one_out[static_cast<std::size_t>(b)] = sum / static_cast<double>(i - edge(1));
    }
    double last = 0.0;
    for (std::int32_t k = 0; k < edge(blocks - 1); ++k) {
        last = last + value(k);
    }
    leave_one_out[blocks - 1] = last / static_cast<double>(edge(blocks - 1));

    double squares = 0.0;
    for (const double m : leave_one_out) {
        squares = squares + (m - mean) * (m - mean);
    }
    return std::sqrt(0.9 * squares);
}
