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
// in registers, each in two: an entry is picked from both halves and the
// fourth bit of i chooses. (Written with the target's own instructions
// instead, a two-table permutation for each lookup, it was no faster: an
// update 2.49 ns against these 2.43 ns, a block of 1024 prepared 1.00 us
// against 0.98 us in CPU time, medians of 60 interleaved runs on an AMD
// EPYC.)
std::size_t PrepareInRegisters(const LogTables& tables, const std::uint32_t* draws, std::size_t n,
                               const PreparedUpdates& out)
{
    const hn::ScalableTag<double> d;
    const hn::RebindToUnsigned<decltype(d)> du;
    const hn::RebindToSigned<decltype(d)> di;
    const hn::Repartition<std::uint32_t, decltype(d)> d32;
    constexpr std::size_t lanes = 8;
    static_assert(hn::MaxLanes(decltype(d)()) == lanes);
    const auto log_low = hn::LoadU(d, tables.log.data());
    const auto log_high = hn::LoadU(d, tables.log.data() + lanes);
    const auto inverse_low = hn::LoadU(d, tables.inverse.data());
    const auto inverse_high = hn::LoadU(d, tables.inverse.data() + lanes);
    const auto mantissa = hn::Set(du, plain::mantissa_bits);
    const auto top4 = hn::Set(du, plain::top4_bits);
    const auto eight = hn::Set(du, std::uint64_t{8} << 48);  // i >= 8
    const auto one = hn::Set(du, plain::one_bits);
    const auto accept_all = hn::BitCast(d, hn::Set(di, plain::always));
    // The low 32 bits of each 64-bit lane squared, exactly.
    const auto square_low = [&](auto v) {
        const auto units = hn::BitCast(d32, v);
        return hn::MulEven(units, units);
    };
    std::size_t t = 0;
    for (; t + lanes <= n; t += lanes) {
        // As 64-bit lanes, an update is (x + 2^32 y, z + 2^32 u).
        const auto first = hn::BitCast(du, hn::LoadU(d32, draws + 4 * t));
        const auto second = hn::BitCast(du, hn::LoadU(d32, draws + 4 * t + 2 * lanes));
        const auto xy = hn::ConcatEven(du, second, first);
        const auto zu = hn::ConcatOdd(du, second, first);
        const auto s48 = hn::Add(hn::Add(square_low(xy), square_low(hn::ShiftRight<32>(xy))), square_low(zu));
        const auto s = hn::Mul(hn::ConvertTo(d, hn::BitCast(di, s48)), hn::Set(d, 0x1p-48));
        const auto u = hn::ShiftRight<32>(zu);
        const auto k = hn::ConvertTo(d, hn::BitCast(di, u));
        const auto bits = hn::BitCast(du, k);
        const auto e24 = hn::ConvertTo(d, hn::Sub(hn::BitCast(di, hn::ShiftRight<52>(bits)), hn::Set(di, 1023 + 24)));
        // table[i] for i = 0..15: the entry of the low or high eight.
        const auto i = hn::IndicesFromVec(d, hn::And(hn::ShiftRight<48>(bits), hn::Set(du, lanes - 1)));
        const auto high = hn::RebindMask(d, hn::TestBit(bits, eight));
        const auto lookup = [&](auto low_half, auto high_half) {
            return hn::IfThenElse(high, hn::TableLookupLanes(high_half, i), hn::TableLookupLanes(low_half, i));
        };
        const auto m = hn::BitCast(d, hn::Or(hn::And(bits, mantissa), one));
        const auto m0 = hn::BitCast(d, hn::Or(hn::And(bits, top4), one));
        const auto q = hn::Mul(hn::Sub(m, m0), lookup(inverse_low, inverse_high));
        auto h = hn::Set(d, plain::log1p_coefficients[0]);
        for (std::size_t j = 1; j < plain::log1p_coefficients.size(); ++j) {
            h = hn::Add(hn::Set(d, plain::log1p_coefficients[j]), hn::Mul(q, h));
        }
        const auto log_u =
            hn::Add(hn::Add(hn::Mul(e24, hn::Set(d, plain::ln2)), lookup(log_low, log_high)), hn::Mul(q, h));
        const auto a = hn::Add(s, log_u);
        const auto zero_u = hn::RebindMask(d, hn::Eq(u, hn::Zero(du)));
        hn::StoreU(hn::BitCast(di, s), di, out.s + t);
        hn::StoreU(hn::BitCast(di, hn::IfThenElse(zero_u, accept_all, hn::Sub(a, hn::Set(d, plain::margin)))), di,
                   out.lo + t);
        hn::StoreU(hn::BitCast(di, hn::IfThenElse(zero_u, accept_all, hn::Add(a, hn::Set(d, plain::margin)))), di,
                   out.hi + t);
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
