#pragma once

#include <array>
#include <cstddef>

namespace suite {

// The bulk loops of the chain error analyses. Every sum runs in eight
// interleaved partial sums (lane j takes the terms at positions i = j mod 8
// in increasing i), reduced as ((l0 + l1) + (l2 + l3)) + ((l4 + l5) + (l6 + l7)):
// a vector of 8, 4 or 2 lanes, or the plain loop, adds the same terms in the
// same order.

inline constexpr std::size_t chain_lanes = 8;

inline double reduce_lanes(const std::array<double, chain_lanes>& l)
{
    return ((l[0] + l[1]) + (l[2] + l[3])) + ((l[4] + l[5]) + (l[6] + l[7]));
}

// ---------------------------------------------------------------------------
// One block of the binning analysis: 2^10 values, shifted as y = x - shift.
// At level k the block holds m = 2^(10-k) bin sums y (level k+1's are the
// sums of neighbouring pairs, y'_i = y_{2i} + y_{2i+1}); for each level the
// block gives sum y, sum y^2 and sum y_{i-1} y_i, where y_{-1} is last[k],
// the level's last bin sum before the block (0 before the first block, so
// that the term vanishes); last[k] becomes the block's last. `total` is the
// block's sum, a bin of level 10.
inline constexpr std::size_t binning_block_levels = 10;
inline constexpr std::size_t binning_block_length = std::size_t{1} << binning_block_levels;

struct BinningBlockSums {
    std::array<double, binning_block_levels> sum;
    std::array<double, binning_block_levels> squares;
    std::array<double, binning_block_levels> products;
    double total;
};

using BinningBlock = void(const double* values, double shift, std::array<double, binning_block_levels>& last,
                          BinningBlockSums& out);

BinningBlock* binning_block_kernel();

// ---------------------------------------------------------------------------
// Lag products of the deviations d[0 .. n-1]: for lag t = first_lag + l,
// l < lags (at most 8), out[l] = sum over i in [begin, min(end, n - t)) of
// d[i] d[i+t]; begin is a multiple of 8.
inline constexpr std::size_t lag_batch = 8;

using LagProducts = void(const double* d, std::size_t n, std::size_t begin, std::size_t end, std::size_t first_lag,
                         std::size_t lags, double* out);

LagProducts* lag_products_kernel();

namespace plain {

inline void level_sums(const double* y, std::size_t m, double last, double& sum, double& squares,
                       double& products)
{
    std::array<double, chain_lanes> s{};
    std::array<double, chain_lanes> q{};
    std::array<double, chain_lanes> p{};
    for (std::size_t i = 0; i < m; ++i) {
        const std::size_t j = i % chain_lanes;
        const double previous = i == 0 ? last : y[i - 1];
        s[j] = s[j] + y[i];
        q[j] = q[j] + y[i] * y[i];
        p[j] = p[j] + previous * y[i];
    }
    sum = reduce_lanes(s);
    squares = reduce_lanes(q);
    products = reduce_lanes(p);
}

inline void binning_block(const double* values, double shift, std::array<double, binning_block_levels>& last,
                          BinningBlockSums& out)
{
    std::array<double, binning_block_length> y;  // NOLINT(cppcoreguidelines-pro-type-member-init) written first
    for (std::size_t i = 0; i < binning_block_length; ++i) {
        y[i] = values[i] - shift;
    }
    std::size_t m = binning_block_length;
    for (std::size_t k = 0; k < binning_block_levels; ++k) {
        level_sums(y.data(), m, last[k], out.sum[k], out.squares[k], out.products[k]);
        last[k] = y[m - 1];
        m /= 2;
        for (std::size_t i = 0; i < m; ++i) {
            y[i] = y[2 * i] + y[2 * i + 1];
        }
    }
    out.total = y[0];
}

inline void lag_products(const double* d, std::size_t n, std::size_t begin, std::size_t end, std::size_t first_lag,
                         std::size_t lags, double* out)
{
    for (std::size_t l = 0; l < lags; ++l) {
        const std::size_t t = first_lag + l;
        const std::size_t stop = t >= n ? 0 : (n - t < end ? n - t : end);
        std::array<double, chain_lanes> s{};
        for (std::size_t i = begin; i < stop; ++i) {
            s[i % chain_lanes] = s[i % chain_lanes] + d[i] * d[i + t];
        }
        out[l] = reduce_lanes(s);
    }
}

}  // namespace plain

}  // namespace suite
