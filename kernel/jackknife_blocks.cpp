#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "growing_series.hpp"
#include "jackknife_kernels.hpp"
#include "suite/estimators.hpp"

namespace suite {

void running_means(std::span<const double> values, std::span<double> means)
{
    if (means.size() != values.size()) {
        throw std::invalid_argument("running_means: the output must be as long as the values");
    }
    double sum = 0.0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        sum = sum + values[k];
        means[k] = sum / static_cast<double>(k + 1);
    }
}

namespace {

// The sum of n values in eight interleaved partial sums, combined pairwise:
// independent additions the processor overlaps (and vectorises), where one
// running sum waits for each addition in turn, and a smaller rounding error
// (it grows like n/8 additions, not n).
double interleaved_sum(const double* values, std::size_t n)
{
    std::array<double, 8> partial{};
    std::size_t k = 0;
    for (; k + partial.size() <= n; k += partial.size()) {
        for (std::size_t lane = 0; lane < partial.size(); ++lane) {
            partial[lane] += values[k + lane];
        }
    }
    double tail = 0.0;
    for (; k < n; ++k) {
        tail += values[k];
    }
    return (((partial[0] + partial[1]) + (partial[2] + partial[3])) +
            ((partial[4] + partial[5]) + (partial[6] + partial[7]))) +
           tail;
}

}  // namespace

double jackknife_error(std::span<const double> values, std::size_t blocks)
{
    const std::size_t n = values.size();
    if (blocks < 2 || blocks > n) {
        throw std::invalid_argument("jackknife_error: needs 2 to " + std::to_string(n) + " blocks for " +
                                    std::to_string(n) + " values, not " + std::to_string(blocks));
    }
    // One pass for the block sums; n >= blocks makes every block non-empty.
    std::vector<double> block_sums(blocks, 0.0);
    double total = 0.0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t begin = b * n / blocks;
        block_sums[b] = interleaved_sum(values.data() + begin, (b + 1) * n / blocks - begin);
        total += block_sums[b];
    }
    const double mean = total / static_cast<double>(n);
    double squares = 0.0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t size = (b + 1) * n / blocks - b * n / blocks;
        const double left_out = (total - block_sums[b]) / static_cast<double>(n - size);
        squares += (left_out - mean) * (left_out - mean);
    }
    return std::sqrt(static_cast<double>(blocks - 1) / static_cast<double>(blocks) * squares);
}

const std::array<double, GrowingJackknifeSums::blocks>& GrowingJackknifeSums::leave_one_out_sums(
    std::span<const double> values, std::span<const double> prefix)
{
    const auto i = static_cast<std::int32_t>(values.size());
    std::array<std::int32_t, blocks + 1> cut{};
    for (std::size_t b = 0; b < cut.size(); ++b) {
        cut[b] = (static_cast<std::int32_t>(b) * i) / static_cast<std::int32_t>(blocks);
    }
    // The blocks below `first` kept both edges since the previous row.
    std::size_t first = 0;
    if (row_ != 0 && row_ + 1 == values.size()) {
        while (first < blocks - 1 && cut[first] == edges_[first] && cut[first + 1] == edges_[first + 1]) {
            ++first;
        }
    }
    const double newest = values.back();
    for (std::size_t b = 0; b < first; ++b) {
        sums_[b] = sums_[b] + newest;
    }
    for (std::size_t b = first; b < blocks; ++b) {
        sums_[b] = prefix[static_cast<std::size_t>(cut[b])];
    }
    jackknife_tails_kernel()(values.data(), cut, first, sums_);
    edges_ = cut;
    row_ = values.size();
    return sums_;
}

}  // namespace suite
