#include "jackknife.hpp"

#include "jackknife_kernels.hpp"

double jackknife_error_fast(std::span<const double> values, std::span<const double> prefix, double mean)
{
    constexpr std::int32_t blocks = 10;
    const auto i = static_cast<std::int32_t>(values.size());
    std::array<std::int32_t, blocks + 1> edges{};
    for (std::size_t b = 0; b < edges.size(); ++b) {
        edges[b] = (static_cast<std::int32_t>(b) * i) / blocks;
    }
    std::array<double, blocks> sums{};
    for (std::size_t b = 0; b < blocks; ++b) {
        sums[b] = prefix[static_cast<std::size_t>(edges[b])];
    }
    jackknife_tails_kernel()(values.data(), edges, sums);
    return jackknife_error_from_sums(sums, i, mean);
}
