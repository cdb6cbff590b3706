// The bulk loops of the chain error analyses, written once and compiled for
// every instruction set (the source includes itself once per target).
#include "chain_kernels.hpp"

#include "simd_target.hpp"

#if SUITE_SIMD
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "chain_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace suite::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR && !HWY_HAVE_SCALABLE
// The eight partial sums as `count` vectors of 8 / count lanes: vector v
// lane l is partial sum v * lanes + l. (Fixed-width vectors only, which may
// sit in arrays; a scalable target runs the plain loops.)
using Lanes8 = hn::CappedTag<double, chain_lanes>;
constexpr std::size_t lanes = hn::MaxLanes(Lanes8());
constexpr std::size_t count = chain_lanes / lanes;
using Vec = hn::Vec<Lanes8>;

void StoreLanes(const Vec (&v)[count], std::array<double, chain_lanes>& out)  // NOLINT(modernize-avoid-c-arrays)
{
    const Lanes8 d;
    for (std::size_t c = 0; c < count; ++c) {
        hn::StoreU(v[c], d, out.data() + c * lanes);
    }
}

// Level sums of y[0 .. m-1] (m a multiple of 8), y[-1] the previous bin.
void LevelSums(const double* y, std::size_t m, double& sum, double& squares, double& products)
{
    const Lanes8 d;
    Vec s[count];  // NOLINT(modernize-avoid-c-arrays) registers
    Vec q[count];  // NOLINT(modernize-avoid-c-arrays)
    Vec p[count];  // NOLINT(modernize-avoid-c-arrays)
    for (std::size_t c = 0; c < count; ++c) {
        s[c] = hn::Zero(d);
        q[c] = hn::Zero(d);
        p[c] = hn::Zero(d);
    }
    for (std::size_t i = 0; i < m; i += chain_lanes) {
        for (std::size_t c = 0; c < count; ++c) {
            const Vec cur = hn::LoadU(d, y + i + c * lanes);
            const Vec previous = hn::LoadU(d, y + i + c * lanes - 1);
            s[c] = hn::Add(s[c], cur);
            q[c] = hn::Add(q[c], hn::Mul(cur, cur));
            p[c] = hn::Add(p[c], hn::Mul(previous, cur));
        }
    }
    std::array<double, chain_lanes> l{};
    StoreLanes(s, l);
    sum = reduce_lanes(l);
    StoreLanes(q, l);
    squares = reduce_lanes(l);
    StoreLanes(p, l);
    products = reduce_lanes(l);
}
#endif

void BinBlock(const double* values, double shift, std::array<double, binning_block_levels>& last,
                  BinningBlockSums& out)
{
#if HWY_TARGET == HWY_SCALAR || HWY_HAVE_SCALABLE
    plain::binning_block(values, shift, last, out);
#else
    const Lanes8 d;
    // z[0] is the bin before the block at the level in hand, z[1 ..] the
    // level's bin sums.
    HWY_ALIGN double z[binning_block_length + chain_lanes];  // NOLINT(modernize-avoid-c-arrays) scratch
    double* const y = z + 1;
    const Vec s = hn::Set(d, shift);
    for (std::size_t i = 0; i < binning_block_length; i += lanes) {
        hn::StoreU(hn::Sub(hn::LoadU(d, values + i), s), d, y + i);
    }
    std::size_t m = binning_block_length;
    for (std::size_t k = 0; k < binning_block_levels; ++k) {
        z[0] = last[k];
        if (m >= chain_lanes) {
            LevelSums(y, m, out.sum[k], out.squares[k], out.products[k]);
        } else {
            plain::level_sums(y, m, last[k], out.sum[k], out.squares[k], out.products[k]);
        }
        last[k] = y[m - 1];
        m /= 2;
        if (m >= lanes && lanes > 1) {
            // Each store lands on pairs already read.
            for (std::size_t i = 0; i < m; i += lanes) {
                const Vec a = hn::LoadU(d, y + 2 * i);
                const Vec b = hn::LoadU(d, y + 2 * i + lanes);
                hn::StoreU(hn::Add(hn::ConcatEven(d, b, a), hn::ConcatOdd(d, b, a)), d, y + i);
            }
        } else {
            for (std::size_t i = 0; i < m; ++i) {
                y[i] = y[2 * i] + y[2 * i + 1];
            }
        }
    }
    out.total = y[0];
#endif
}

#if HWY_TARGET != HWY_SCALAR && !HWY_HAVE_SCALABLE
// Lags `pass` at a time (all of them when fewer), each pass over the
// positions once: whole groups of 8 positions that every lag of the pass
// takes, in vectors; each lag's rest in its own lanes, continuing in order.
template <std::size_t pass>
void LagPass(const double* dev, std::size_t n, std::size_t begin, std::size_t end, std::size_t first_lag,
             std::size_t lags, double* out)
{
    const Lanes8 d;
    const std::size_t last_lag = first_lag + lags - 1;
    const std::size_t common = last_lag >= n ? begin : (n - last_lag < end ? n - last_lag : end);
    std::size_t vector_end = begin;
    if (common > begin && lags == pass) {
        vector_end = begin + (common - begin) / chain_lanes * chain_lanes;
    }
    Vec acc[pass][count];  // NOLINT(modernize-avoid-c-arrays) registers
    for (auto& lag : acc) {
        for (Vec& partial : lag) {
            partial = hn::Zero(d);
        }
    }
    for (std::size_t i = begin; i < vector_end; i += chain_lanes) {
        for (std::size_t c = 0; c < count; ++c) {
            const Vec a = hn::LoadU(d, dev + i + c * lanes);
            for (std::size_t l = 0; l < pass; ++l) {
                acc[l][c] = hn::Add(acc[l][c], hn::Mul(a, hn::LoadU(d, dev + i + c * lanes + first_lag + l)));
            }
        }
    }
    for (std::size_t l = 0; l < lags; ++l) {
        const std::size_t t = first_lag + l;
        const std::size_t stop = t >= n ? 0 : (n - t < end ? n - t : end);
        std::array<double, chain_lanes> partial{};
        StoreLanes(acc[l], partial);
        for (std::size_t i = vector_end; i < stop; ++i) {
            partial[i % chain_lanes] = partial[i % chain_lanes] + dev[i] * dev[i + t];
        }
        out[l] = reduce_lanes(partial);
    }
}
#endif

void LagSums(const double* dev, std::size_t n, std::size_t begin, std::size_t end, std::size_t first_lag,
             std::size_t lags, double* out)
{
#if HWY_TARGET == HWY_SCALAR || HWY_HAVE_SCALABLE
    plain::lag_products(dev, n, begin, end, first_lag, lags, out);
#else
    // Eight sums in flight hide the latency of the additions: eight lags of
    // one vector each, or four of two vectors.
    constexpr std::size_t pass = count == 1 ? 8 : 4;
    for (std::size_t l = 0; l < lags; l += pass) {
        LagPass<pass>(dev, n, begin, end, first_lag + l, lags - l < pass ? lags - l : pass, out + l);
    }
#endif
}

}  // namespace suite::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
#endif  // SUITE_SIMD

#if !SUITE_SIMD || HWY_ONCE
SUITE_CHOSEN_KERNEL(BinningBlock, binning_block_kernel, BinBlock, plain::binning_block)
SUITE_CHOSEN_KERNEL(LagProducts, lag_products_kernel, LagSums, plain::lag_products)
#endif
