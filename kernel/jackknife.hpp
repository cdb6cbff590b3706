#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

// The error from the ten block sums: sums[b] for b < 9 is the sum with
// block b left out (divided by i - e_1), sums[9] the sum of blocks 0 to 8
// (divided by e_9).
inline double jackknife_error_from_sums(const std::array<double, 10>& sums, std::int32_t i, double mean)
{
    constexpr std::int32_t blocks = 10;
    const auto edge = [&](std::int32_t b) { return (b * i) / blocks; };
    std::array<double, blocks> leave_one_out{};
    for (std::size_t b = 0; b + 1 < blocks; ++b) {
        leave_one_out[b] = sums[b] / static_cast<double>(i - edge(1));
    }
    leave_one_out[blocks - 1] = sums[blocks - 1] / static_cast<double>(edge(blocks - 1));

    double squares = 0.0;
    for (const double m : leave_one_out) {
        squares = squares + (m - mean) * (m - mean);
    }
    return std::sqrt(0.9 * squares);
}

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

    std::array<double, blocks> sums{};
    for (std::int32_t b = 0; b < blocks - 1; ++b) {
        double sum = 0.0;
        for (std::int32_t k = 0; k < edge(b); ++k) {
            sum = sum + value(k);
        }
        for (std::int32_t k = edge(b + 1); k < i; ++k) {
            sum = sum + value(k);
        }
        sums[static_cast<std::size_t>(b)] = sum;
    }
    double last = 0.0;
    for (std::int32_t k = 0; k < edge(blocks - 1); ++k) {
        last = last + value(k);
    }
    sums[blocks - 1] = last;
    return jackknife_error_from_sums(sums, i, mean);
}

// ---------------------------------------------------------------------------
// The same error from running prefix sums, for a list that grows by one value
// per row.
//
// The sum with block b left out adds positions 0 to e_b - 1 and then
// e_(b+1) to i - 1 into one accumulator from 0. Its first part is the prefix
// sum of the list up to e_b, accumulated from 0 in the same order, so the
// same number; the second part is then added onto it one value at a time in
// increasing position, as before. Position k is added to every block sum b
// with e_(b+1) <= k, so the nine sums run side by side as lanes of one vector,
// lane b switched on from position e_(b+1); switched-off lanes are left
// untouched.

//
// From one row to the next, a block whose two edges e_b and e_(b+1) did not
// move has the same additions as before and one more, of the new value: its
// sum is the previous row's plus that value, the same number. Only the
// blocks from the lowest one with a moved edge up need their tails again,
// and e_b moves at row i only when (b i) mod 10 < b: on average the tails
// start at e_6 instead of e_1, which shortens the chain of additions by a
// third.

// `prefix` holds prefix[k] = values[0] + ... + values[k-1] accumulated from 0
// in order (prefix[0] = 0), for k = 0 to i = values.size() >= 1.
double jackknife_error_fast(std::span<const double> values, std::span<const double> prefix, double mean);

// The errors of the rows of one growing list, in order: error() of row i
// takes over the block sums of row i - 1 where it can (any other row is
// computed afresh).
class JackknifeRows {
public:
    double error(std::span<const double> values, std::span<const double> prefix, double mean);

private:
    std::array<std::int32_t, 11> edges_{};
    std::array<double, 10> sums_{};
    std::size_t row_ = 0;  // of edges_ and sums_; 0 for none
};
