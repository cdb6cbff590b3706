#include "jackknife.hpp"

#include "jackknife_kernels.hpp"

double jackknife_error_fast(std::span<const double> values, std::span<const double> prefix, double mean)
{
    return JackknifeRows().error(values, prefix, mean);
}

double JackknifeRows::error(std::span<const double> values, std::span<const double> prefix, double mean)
{
    constexpr std::int32_t blocks = 10;
    const auto i = static_cast<std::int32_t>(values.size());
    std::array<std::int32_t, blocks + 1> edges{};
    for (std::size_t b = 0; b < edges.size(); ++b) {
        edges[b] = (static_cast<std::int32_t>(b) * i) / blocks;
    }
    // The blocks below `first` kept both edges since the previous row.
    std::size_t first = 0;
    if (row_ != 0 && row_ + 1 == values.size()) {
        while (first < blocks - 1 && edges[first] == edges_[first] && edges[first + 1] == edges_[first + 1]) {
            ++first;
        }
    }
    const double newest = values.back();
    for (std::size_t b = 0; b < first; ++b) {
        sums_[b] = sums_[b] + newest;
    }
    for (std::size_t b = first; b < blocks; ++b) {
        sums_[b] = prefix[static_cast<std::size_t>(edges[b])];
    }
    jackknife_tails_kernel()(values.data(), edges, first, sums_);
    edges_ = edges;
    row_ = values.size();
    return jackknife_error_from_sums(sums_, i, mean);
}
