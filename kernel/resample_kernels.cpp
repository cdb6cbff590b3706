// The bootstrap's resample sums, written once and compiled for every
// instruction set (the source includes itself once per target).
#include "resample_kernels.hpp"

#include "simd_target.hpp"

#include <array>
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
// AVX-512 only, where it saves a fifth of the time: the sums stay in
// registers for a whole block (the experiment's 100 in twelve vectors of 8
// and one of 4), instead of being loaded and stored again for every term.
// `vectors` full vectors, then the tail of fewer than 8 sums.
template <std::size_t... v>
void AddTermsInRegisters(const double* values, const std::uint32_t* index, std::size_t count, std::size_t stride,
                         std::size_t tail, double* sums, std::index_sequence<v...> /*vectors*/)
{
    const hn::ScalableTag<double> d;
    const hn::Half<decltype(d)> d4;
    constexpr std::size_t lanes = hn::MaxLanes(decltype(d)());
    constexpr std::size_t full = lanes * sizeof...(v);
    hn::Vec<decltype(d)> s[] = {hn::LoadU(d, sums + lanes * v)...};  // NOLINT(modernize-avoid-c-arrays) registers
    if (tail >= 4) {
        auto last = hn::LoadU(d4, sums + full);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t* at = index + k * stride;
            ((s[v] = hn::Add(s[v], LoadAt(d, values, at + lanes * v))), ...);
            last = hn::Add(last, LoadAt(d4, values, at + full));
        }
        hn::StoreU(last, d4, sums + full);
    } else {
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t* at = index + k * stride;
            ((s[v] = hn::Add(s[v], LoadAt(d, values, at + lanes * v))), ...);
        }
    }
    (hn::StoreU(s[v], d, sums + lanes * v), ...);
    // The last tail % 4 sums, one at a time; their order within a row does
    // not matter, as each is a sum of its own.
    const std::size_t done = full + (tail >= 4 ? 4 : 0);
    plain::add_resample_terms(values, index + done, count, stride, full + tail - done, sums + done);
}

template <std::size_t vectors>
void AddTermsInVectors(const double* values, const std::uint32_t* index, std::size_t count, std::size_t stride,
                       std::size_t tail, double* sums)
{
    AddTermsInRegisters(values, index, count, stride, tail, sums, std::make_index_sequence<vectors>());
}

using RegisterKernel = void(const double*, const std::uint32_t*, std::size_t, std::size_t, std::size_t, double*);

// The kernels for 1 to 13 full vectors: up to 111 sums, in at most 14 of the
// 32 registers.
template <std::size_t... vectors>
constexpr std::array<RegisterKernel*, sizeof...(vectors)> RegisterKernels(std::index_sequence<vectors...> /*counts*/)
{
    return {&AddTermsInVectors<vectors + 1>...};
}
#endif

void AddTerms(const double* values, const std::uint32_t* index, std::size_t count, std::size_t stride,
              std::size_t width, double* sums)
{
#if HWY_TARGET == HWY_SCALAR
    plain::add_resample_terms(values, index, count, stride, width, sums);
#else
    const hn::ScalableTag<double> d;
    const std::size_t lanes = hn::Lanes(d);
#if HWY_TARGET <= HWY_AVX3
    static constexpr auto in_registers = RegisterKernels(std::make_index_sequence<13>());
    if (width >= lanes && width / lanes <= in_registers.size()) {
        in_registers[width / lanes - 1](values, index, count, stride, width % lanes, sums);
        return;
    }
#endif
    const std::size_t whole = width / lanes * lanes;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* at = index + k * stride;
        for (std::size_t l = 0; l < whole; l += lanes) {
            hn::StoreU(hn::Add(hn::LoadU(d, sums + l), LoadAt(d, values, at + l)), d, sums + l);
        }
        for (std::size_t l = whole; l < width; ++l) {
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
