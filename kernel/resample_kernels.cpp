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

// The fair indices a vector of pairs at a time, in 64-bit lanes: a pair's
// two units are one lane's low and high halves, so the even 32-bit lanes
// hold the a and, shifted down, the lanes hold the b; both products with the
// range are one 32 x 32 -> 64-bit multiplication (see plain::
// fair_resample_index for the arithmetic). A pair can only be rejected if
// the low 48 bits of x range are below the threshold, so below 2^32: bits
// 8 to 23 of s, their bits 32 to 47, are then zero. That happens for one
// pair in 2^16, and a vector with such a pair goes through the plain loop,
// which decides.
std::size_t FairIndices(const std::uint32_t* units, std::size_t pairs, std::uint32_t range, std::uint64_t threshold,
                        std::uint32_t* out)
{
#if HWY_TARGET == HWY_SCALAR
    return plain::fair_resample_indices(units, pairs, range, threshold, out);
#else
    const hn::ScalableTag<std::uint64_t> d64;
    const hn::Repartition<std::uint32_t, decltype(d64)> d32;
    const hn::Rebind<std::uint32_t, decltype(d64)> narrow;
    const std::size_t lanes = hn::Lanes(d64);
    const auto range_v = hn::Set(d32, range);
    const auto bits_32_to_47 = hn::Set(d64, 0xFFFF00u);
    std::size_t written = 0;
    std::size_t j = 0;
    for (; j + lanes <= pairs; j += lanes) {
        const auto both = hn::LoadU(d32, units + 2 * j);
        const auto high = hn::MulEven(both, range_v);
        const auto low = hn::MulEven(hn::BitCast(d32, hn::ShiftRight<32>(hn::BitCast(d64, both))), range_v);
        const auto s = hn::Add(high, hn::ShiftRight<24>(low));
        if (hn::AllFalse(d64, hn::Eq(hn::And(s, bits_32_to_47), hn::Zero(d64)))) [[likely]] {
            hn::StoreU(hn::TruncateTo(narrow, hn::ShiftRight<24>(s)), narrow, out + written);
            written += lanes;
        } else {
            written += plain::fair_resample_indices(units + 2 * j, lanes, range, threshold, out + written);
        }
    }
    return written + plain::fair_resample_indices(units + 2 * j, pairs - j, range, threshold, out + written);
#endif
}

}  // namespace suite::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
#endif  // SUITE_SIMD

#if !SUITE_SIMD || HWY_ONCE
SUITE_CHOSEN_KERNEL(AddResampleTerms, add_resample_terms_kernel, AddTerms, plain::add_resample_terms)
SUITE_CHOSEN_KERNEL(FairResampleIndices, fair_resample_indices_kernel, FairIndices, plain::fair_resample_indices)
#endif
