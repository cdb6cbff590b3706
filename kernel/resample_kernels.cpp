// The bootstrap's resample sums, written once and compiled for every
// instruction set (the source includes itself once per target).
#include "resample_kernels.hpp"

#include "simd_target.hpp"

#include <utility>

#if SUITE_SIMD
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace suite::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR
// A vector of the values at `lanes` indices, by plain loads: on the machines
// measured, the processors' gather instructions are slower than loads. A
// fixed-width vector is built from halves down to single lanes; a scalable
// one through memory.
template <class D>
HWY_INLINE hn::Vec<D> LoadAt(D d, const double* values, const std::uint32_t* index)
{
#if HWY_HAVE_SCALABLE
    HWY_ALIGN double lanes[HWY_MAX_BYTES / sizeof(double)];  // NOLINT(modernize-avoid-c-arrays) lane buffer
    for (std::size_t i = 0; i < hn::Lanes(d); ++i) {
        lanes[i] = values[index[i]];
    }
    return hn::Load(d, lanes);
#else
    constexpr std::size_t lanes = hn::MaxLanes(D());
    if constexpr (lanes == 1) {
        return hn::LoadU(d, values + index[0]);
    } else {
        const hn::Half<D> half;
        return hn::Combine(d, LoadAt(half, values, index + lanes / 2), LoadAt(half, values, index));
    }
#endif
}
#endif

#if HWY_TARGET <= HWY_AVX3
// AVX-512 only, where it saves a fifth of the time: the experiment's 100 sums
// stay in thirteen registers (twelve vectors of 8 and one of 4) for a whole
// block, instead of being loaded and stored again for every term.
constexpr std::size_t register_resamples = 100;

template <std::size_t... v>
void AddTermsInRegisters(const double* values, const std::uint32_t* index, std::size_t count, double* sums,
                         std::index_sequence<v...> /*vectors*/)
{
    const hn::ScalableTag<double> d;
    const hn::Half<decltype(d)> d4;
    static_assert(hn::MaxLanes(decltype(d)()) * sizeof...(v) + hn::MaxLanes(decltype(d4)()) == register_resamples);
    hn::Vec<decltype(d)> s[] = {hn::LoadU(d, sums + 8 * v)...};  // NOLINT(modernize-avoid-c-arrays) registers
    auto last = hn::LoadU(d4, sums + 96);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* at = index + k * register_resamples;
        ((s[v] = hn::Add(s[v], LoadAt(d, values, at + 8 * v))), ...);
        last = hn::Add(last, LoadAt(d4, values, at + 96));
    }
    (hn::StoreU(s[v], d, sums + 8 * v), ...);
    hn::StoreU(last, d4, sums + 96);
}
#endif

void AddTerms(const double* values, const std::uint32_t* index, std::size_t count, std::size_t m, double* sums)
{
#if HWY_TARGET == HWY_SCALAR
    plain::add_resample_terms(values, index, count, m, sums);
#else
#if HWY_TARGET <= HWY_AVX3
    if (m == register_resamples) {
        AddTermsInRegisters(values, index, count, sums, std::make_index_sequence<12>());
        return;
    }
#endif
    const hn::ScalableTag<double> d;
    const std::size_t lanes = hn::Lanes(d);
    const std::size_t whole = m / lanes * lanes;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* at = index + k * m;
        for (std::size_t l = 0; l < whole; l += lanes) {
            hn::StoreU(hn::Add(hn::LoadU(d, sums + l), LoadAt(d, values, at + l)), d, sums + l);
        }
        for (std::size_t l = whole; l < m; ++l) {
            sums[l] = sums[l] + values[at[l]];
        }
    }
#endif
}

}  // namespace suite::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
#endif  // SUITE_SIMD

#if !SUITE_SIMD || HWY_ONCE
SUITE_CHOSEN_KERNEL(AddResampleTerms, add_resample_terms_kernel, AddTerms, plain::add_resample_terms)
#endif
