// The Metropolis sampler's bulk loops, written once and compiled for every
// instruction set (the source includes itself once per target).
#include "update_kernels.hpp"

#include "simd_target.hpp"

#if SUITE_SIMD
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "update_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace suite::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR
// table[i] for each lane's i in 0..15. With four or more lanes the table
// sits in 16 / lanes vectors and each lane picks its entry by permutation,
// much cheaper than the processors' gather instructions; with two, plain
// gathering is as cheap.
template <class D, class VI>
HWY_INLINE hn::Vec<D> Lookup16(D d, const std::array<double, 16>& table, VI i)
{
    const std::size_t lanes = hn::Lanes(d);
    if (lanes < 4 || lanes > 16) {
        return hn::GatherIndex(d, table.data(), i);
    }
    const hn::RebindToSigned<D> di;
    const auto within = hn::IndicesFromVec(d, hn::And(i, hn::Set(di, static_cast<std::int64_t>(lanes - 1))));
    auto found = hn::TableLookupLanes(hn::LoadU(d, table.data()), within);
    for (std::size_t first = lanes; first < 16; first += lanes) {
        const auto here = hn::RebindMask(d, hn::Gt(i, hn::Set(di, static_cast<std::int64_t>(first) - 1)));
        found = hn::IfThenElse(here, hn::TableLookupLanes(hn::LoadU(d, table.data() + first), within), found);
    }
    return found;
}
#endif

// A lane per update, the same IEEE operations as the plain form lane by
// lane. Integers below 2^52 become doubles exactly through the bits of
// 2^52 + k, with k in the mantissa, minus 2^52: so s from the exact 64-bit
// sum of squared units (s 2^48 < 2^50) and e from the exponent bits; u
// (below 2^24) converts as a signed 32-bit integer.
#if HWY_TARGET <= HWY_AVX3
// AVX-512 only, where it saves a fifth of the sampler's time: the generic
// loop below with the conversions AVX-512 has (64-bit integers to doubles),
// the draws regrouped by two permutations and the sixteen-entry tables held
// in registers.
std::size_t PrepareInRegisters(const LogTables& tables, const std::uint32_t* draws, std::size_t n,
                               const PreparedUpdates& out)
{
    const __m512i pick_xy = _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 1, 5, 9, 13, 17, 21, 25, 29);
    const __m512i pick_zu = _mm512_setr_epi32(2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31);
    const __m512d log_low = _mm512_loadu_pd(tables.log.data());
    const __m512d log_high = _mm512_loadu_pd(tables.log.data() + 8);
    const __m512d inverse_low = _mm512_loadu_pd(tables.inverse.data());
    const __m512d inverse_high = _mm512_loadu_pd(tables.inverse.data() + 8);
    const __m512i mantissa = _mm512_set1_epi64(static_cast<long long>(plain::mantissa_bits));
    const __m512i top4 = _mm512_set1_epi64(static_cast<long long>(plain::top4_bits));
    const __m512i one = _mm512_set1_epi64(static_cast<long long>(plain::one_bits));
    std::size_t t = 0;
    for (; t + 8 <= n; t += 8) {
        const std::uint32_t* d = draws + 4 * t;
        const __m512i first = _mm512_loadu_si512(d);
        const __m512i second = _mm512_loadu_si512(d + 16);
        const __m512i xy = _mm512_permutex2var_epi32(first, pick_xy, second);
        const __m512i zu = _mm512_permutex2var_epi32(first, pick_zu, second);
        const __m512i x = _mm512_cvtepu32_epi64(_mm512_castsi512_si256(xy));
        const __m512i y = _mm512_cvtepu32_epi64(_mm512_extracti64x4_epi64(xy, 1));
        const __m512i z = _mm512_cvtepu32_epi64(_mm512_castsi512_si256(zu));
        const __m256i u = _mm512_extracti64x4_epi64(zu, 1);
        const __m512i s48 = _mm512_add_epi64(_mm512_add_epi64(_mm512_mul_epu32(x, x), _mm512_mul_epu32(y, y)),
                                             _mm512_mul_epu32(z, z));
        const __m512d s = _mm512_mul_pd(_mm512_cvtepi64_pd(s48), _mm512_set1_pd(0x1p-48));
        const __m512d k = _mm512_cvtepi32_pd(u);
        const __m512i bits = _mm512_castpd_si512(k);
        const __m512d e24 =
            _mm512_cvtepi64_pd(_mm512_sub_epi64(_mm512_srli_epi64(bits, 52), _mm512_set1_epi64(1023 + 24)));
        const __m512i i = _mm512_srli_epi64(_mm512_and_si512(bits, top4), 48);
        const __m512d m = _mm512_castsi512_pd(_mm512_or_si512(_mm512_and_si512(bits, mantissa), one));
        const __m512d m0 = _mm512_castsi512_pd(_mm512_or_si512(_mm512_and_si512(bits, top4), one));
        const __m512d q = _mm512_mul_pd(_mm512_sub_pd(m, m0), _mm512_permutex2var_pd(inverse_low, i, inverse_high));
        __m512d h = _mm512_set1_pd(plain::log1p_coefficients[0]);
        for (std::size_t j = 1; j < plain::log1p_coefficients.size(); ++j) {
            h = _mm512_add_pd(_mm512_set1_pd(plain::log1p_coefficients[j]), _mm512_mul_pd(q, h));
        }
        const __m512d log_u = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(e24, _mm512_set1_pd(plain::ln2)),
                                                          _mm512_permutex2var_pd(log_low, i, log_high)),
                                            _mm512_mul_pd(q, h));
        const __m512d a = _mm512_add_pd(s, log_u);
        const __mmask8 zero_u = _mm256_cmpeq_epi32_mask(u, _mm256_setzero_si256());
        const __m512d accept_all = _mm512_castsi512_pd(_mm512_set1_epi64(plain::always));
        _mm512_storeu_pd(out.s + t, s);
        _mm512_storeu_pd(out.lo + t, _mm512_mask_mov_pd(_mm512_sub_pd(a, _mm512_set1_pd(plain::margin)), zero_u, accept_all));
        _mm512_storeu_pd(out.hi + t, _mm512_mask_mov_pd(_mm512_add_pd(a, _mm512_set1_pd(plain::margin)), zero_u, accept_all));
    }
    return t;
}
#endif

void Prepare(const LogTables& tables, const std::uint32_t* draws, std::size_t n, const PreparedUpdates& out)
{
#if HWY_TARGET == HWY_SCALAR
    plain::prepare_updates(tables, draws, n, out);
#elif HWY_TARGET <= HWY_AVX3
    const std::size_t t = PrepareInRegisters(tables, draws, n, out);
    plain::prepare_updates(tables, draws + 4 * t, n - t, {out.s + t, out.lo + t, out.hi + t});
#else
    const hn::ScalableTag<double> d;
    const hn::RebindToUnsigned<decltype(d)> du;
    const hn::RebindToSigned<decltype(d)> di;
    const hn::Rebind<std::uint32_t, decltype(d)> d32;        // one unit per update
    const hn::Repartition<std::uint32_t, decltype(d)> d32x2;  // two units per update, for MulEven
    const std::size_t lanes = hn::Lanes(d);

    const auto exponent52 = hn::Set(du, 0x4330000000000000u);
    const auto two52 = hn::Set(d, 0x1p52);
    const auto exact = [&](auto k) { return hn::Sub(hn::BitCast(d, hn::Or(k, exponent52)), two52); };
    const auto square = [&](auto units) {
        const auto wide = hn::BitCast(d32x2, hn::PromoteTo(du, units));
        return hn::MulEven(wide, wide);
    };
    const auto mantissa = hn::Set(du, plain::mantissa_bits);
    const auto top4 = hn::Set(du, plain::top4_bits);
    const auto one = hn::Set(du, plain::one_bits);
    const auto accept_all = hn::BitCast(d, hn::Set(di, plain::always));
    std::size_t t = 0;
    for (; t + lanes <= n; t += lanes) {
        hn::Vec<decltype(d32)> x;
        hn::Vec<decltype(d32)> y;
        hn::Vec<decltype(d32)> z;
        hn::Vec<decltype(d32)> u;
        hn::LoadInterleaved4(d32, draws + 4 * t, x, y, z, u);
        const auto s48 = hn::Add(hn::Add(square(x), square(y)), square(z));
        const auto s = hn::Mul(exact(s48), hn::Set(d, 0x1p-48));

        const auto k = hn::PromoteTo(d, hn::BitCast(hn::RebindToSigned<decltype(d32)>(), u));
        const auto bits = hn::BitCast(du, k);
        const auto e24 = hn::Sub(exact(hn::ShiftRight<52>(bits)), hn::Set(d, 1023.0 + 24.0));
        const auto i = hn::BitCast(di, hn::ShiftRight<48>(hn::And(bits, top4)));
        const auto m = hn::BitCast(d, hn::Or(hn::And(bits, mantissa), one));
        const auto m0 = hn::BitCast(d, hn::Or(hn::And(bits, top4), one));
        const auto q = hn::Mul(hn::Sub(m, m0), Lookup16(d, tables.inverse, i));
        auto h = hn::Set(d, plain::log1p_coefficients[0]);
        for (std::size_t j = 1; j < plain::log1p_coefficients.size(); ++j) {
            h = hn::Add(hn::Set(d, plain::log1p_coefficients[j]), hn::Mul(q, h));
        }
        const auto log_u = hn::Add(hn::Add(hn::Mul(e24, hn::Set(d, plain::ln2)),
                                           Lookup16(d, tables.log, i)),
                                   hn::Mul(q, h));
        const auto a = hn::Add(s, log_u);
        const auto zero_u = hn::Eq(k, hn::Zero(d));
        hn::StoreU(hn::BitCast(di, s), di, out.s + t);
        hn::StoreU(hn::BitCast(di, hn::IfThenElse(zero_u, accept_all, hn::Sub(a, hn::Set(d, plain::margin)))), di,
                   out.lo + t);
        hn::StoreU(hn::BitCast(di, hn::IfThenElse(zero_u, accept_all, hn::Add(a, hn::Set(d, plain::margin)))), di,
                   out.hi + t);
    }
    plain::prepare_updates(tables, draws + 4 * t, n - t, {out.s + t, out.lo + t, out.hi + t});
#endif
}

bool AnyOpenLanes(std::size_t n, const std::int64_t* before, const std::int64_t* lo, const std::int64_t* hi)
{
    const hn::ScalableTag<std::int64_t> d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t t = 0;
    for (; t + lanes <= n; t += lanes) {
        const auto b = hn::LoadU(d, before + t);
        // not (lo > b) and hi > b
        if (!hn::AllFalse(d, hn::AndNot(hn::Gt(hn::LoadU(d, lo + t), b), hn::Gt(hn::LoadU(d, hi + t), b)))) {
            return true;
        }
    }
    return plain::any_open(n - t, before + t, lo + t, hi + t);
}

}  // namespace suite::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
#endif  // SUITE_SIMD

#if !SUITE_SIMD || HWY_ONCE
SUITE_CHOSEN_KERNEL(PrepareUpdates, prepare_updates_kernel, Prepare, plain::prepare_updates)
SUITE_CHOSEN_KERNEL(AnyOpen, any_open_kernel, AnyOpenLanes, plain::any_open)
#endif
