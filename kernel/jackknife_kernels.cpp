// The jackknife's tail sums, written once and compiled for every instruction
// set (the source includes itself once per target).
#include "jackknife_kernels.hpp"

#include "simd_target.hpp"

#if SUITE_SIMD
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "jackknife_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace suite::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using Sums = hn::CappedTag<double, 8>;

// Sums 0 to 7 in `count` vectors of 8 / count lanes, all in one loop over
// the values so that their chains interleave; sum 8 beside them. In segment
// c, lane j of vector v is sum b = v * lanes + j, switched on when
// first <= b < c; a switched-off lane keeps its value.
template <std::size_t count>
void Tails(const double* values, const std::array<std::int32_t, 11>& edges, std::size_t first,
           std::array<double, 10>& sums)
{
    const Sums d;
    const std::size_t lanes = hn::Lanes(d);
    auto s0 = hn::LoadU(d, sums.data());
    auto s1 = s0;
    auto s2 = s0;
    auto s3 = s0;
    if constexpr (count > 1) {
        s1 = hn::LoadU(d, sums.data() + lanes);
    }
    if constexpr (count > 2) {
        s2 = hn::LoadU(d, sums.data() + 2 * lanes);
        s3 = hn::LoadU(d, sums.data() + 3 * lanes);
    }
    const auto below = [&](std::size_t c, std::size_t v) { return hn::FirstN(d, c > v * lanes ? c - v * lanes : 0); };
    const auto on = [&](std::size_t c, std::size_t v) { return hn::AndNot(below(first, v), below(c, v)); };
    const auto add_masked = [](auto mask, auto sum, auto value) { return hn::IfThenElse(mask, hn::Add(sum, value), sum); };
    // Sum 8 is on in segment 9 only, beside the vectors.
    double last = sums[8];
    for (std::size_t c = first + 1; c < 10; ++c) {
        const auto on0 = on(c, 0);
        const auto on1 = on(c, 1);
        const auto on2 = on(c, 2);
        const auto on3 = on(c, 3);
        const bool last_on = c == 9;
        for (std::int32_t k = edges[c]; k < edges[c + 1]; ++k) {
            const auto v = hn::Set(d, values[k]);
            s0 = add_masked(on0, s0, v);
            if constexpr (count > 1) {
                s1 = add_masked(on1, s1, v);
            }
            if constexpr (count > 2) {
                s2 = add_masked(on2, s2, v);
                s3 = add_masked(on3, s3, v);
            }
            if (last_on) {
                last = last + values[k];
            }
        }
    }
    hn::StoreU(s0, d, sums.data());
    if constexpr (count > 1) {
        hn::StoreU(s1, d, sums.data() + lanes);
    }
    if constexpr (count > 2) {
        hn::StoreU(s2, d, sums.data() + 2 * lanes);
        hn::StoreU(s3, d, sums.data() + 3 * lanes);
    }
    sums[8] = last;
}

void AddTails(const double* values, const std::array<std::int32_t, 11>& edges, std::size_t first,
              std::array<double, 10>& sums)
{
#if HWY_TARGET == HWY_SCALAR
    plain::jackknife_tails(values, edges, first, sums);
#else
    switch (hn::Lanes(Sums())) {
    case 8:
        Tails<1>(values, edges, first, sums);
        break;
    case 4:
        Tails<2>(values, edges, first, sums);
        break;
    case 2:
        Tails<4>(values, edges, first, sums);
        break;
    default:
        plain::jackknife_tails(values, edges, first, sums);
        break;
    }
#endif
}

}  // namespace suite::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
#endif  // SUITE_SIMD

#if !SUITE_SIMD || HWY_ONCE
SUITE_CHOSEN_KERNEL(JackknifeTails, jackknife_tails_kernel, AddTails, plain::jackknife_tails)
#endif
