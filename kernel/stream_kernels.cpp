// The generator's bulk loops, written once and compiled for every
// instruction set (the source includes itself once per target).
#include "stream_kernels.hpp"

#include "simd_target.hpp"

#if SUITE_SIMD
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "stream_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace suite::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The values are made a vector at a time: value n depends on values 33 and
// 97 back only, so up to 33 consecutive values are independent. The vector
// holds `lanes` consecutive C and steps them all by lanes * cd mod cm at
// once. The step c - d mod m is the unsigned minimum of c - d and c - d + m
// (wrapping): when c >= d the first is below m and the second above it; when
// c < d the first has wrapped to near 2^32 and the second is c - d + m < m.
using U32 = hn::CappedTag<std::uint32_t, 32>;

// The output stage from x - C not yet reduced: units (reduced mod 2^24), or
// indices. For an index, the units shifted up by 8 bits (which drops the bits
// above 2^24, so no reduction is needed) times the range is below 2^61 and
// has floor(range v / 2^24) in its upper 32 bits: one 32 x 32 -> 64-bit
// product for the even lanes and one for the odd lanes, whose upper halves
// are then interleaved.
template <bool to_index, class V>
HWY_INLINE V Output(U32 d, V difference, V range)
{
    if constexpr (to_index) {
        const hn::Repartition<std::uint64_t, U32> d64;
        const V scaled = hn::ShiftLeft<8>(difference);
        const V even = hn::BitCast(d, hn::ShiftRight<32>(hn::MulEven(scaled, range)));
        const V odd = hn::BitCast(d, hn::MulEven(hn::BitCast(d, hn::ShiftRight<32>(hn::BitCast(d64, scaled))), range));
        return hn::OddEven(odd, even);
    } else {
        return hn::And(difference, hn::Set(d, plain::unit_mask));
    }
}

#if HWY_TARGET <= HWY_AVX3
// AVX-512 only, where it doubles the speed: sixteen values per round, with
// the last 112 values of x held in seven registers instead of being read back
// from memory. A value is needed again 33 draws later, which is not a whole
// number of vectors, and reading it back through a load that straddles two
// recent stores would stall. With N_k = x[97 + 16k .. 97 + 16k + 15], the 16
// values 97 back are (N_{k-7}[15], N_{k-6}[0..14]) and the 16 values 33 back
// are (N_{k-3}[15], N_{k-2}[0..14]), each one lane-shift of two registers.
// N_k then takes the register of N_{k-7}, so seven rounds in a row use the
// registers in rotation without copying. In registers x is kept modulo 2^32
// and reduced modulo 2^24 only where it leaves them: the reduction commutes
// with subtraction, and that keeps the dependence from N_{k-2} to N_k at two
// operations. The C of even and odd rounds form two chains of their own, each
// stepping by 32 draws. x must be readable from x[-15] (the lanes below x[0]
// are loaded, unused). Returns how many values were made.
template <bool to_index>
std::size_t ExtendInRegisters(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term,
                              std::uint32_t range)
{
    const U32 d;
    using V = hn::Vec<U32>;
    constexpr std::size_t lanes = 16;
    static_assert(hn::MaxLanes(U32()) == lanes);
    const std::size_t rounds = n / lanes;
    if (rounds == 0) {
        return 0;
    }
    HWY_ALIGN std::uint32_t terms[2 * lanes];  // NOLINT(modernize-avoid-c-arrays) aligned lane buffer
    std::uint32_t c = term->c;
    for (std::uint32_t& lane : terms) {
        c = plain::mod_sub(c, term->cd, term->cm);
        lane = c;
    }
    V c_even = hn::Load(d, terms);
    V c_odd = hn::Load(d, terms + lanes);
    const V step = hn::Set(d, plain::lane_step(2 * lanes, *term));
    const V modulus = hn::Set(d, term->cm);
    const V range_v = hn::Set(d, range);
    const auto step_terms = [&](V cv) {
        const V down = hn::Sub(cv, step);
        return hn::Min(down, hn::Add(down, modulus));
    };
    // (b, a) shifted by one lane: a[15], b[0..14].
    const auto behind = [](V b, V a) { return V{_mm512_alignr_epi32(b.raw, a.raw, 15)}; };
    // Before round k of the unrolled loop r[(k + i) % 7] = N_{k-7+i}; before
    // a round of the one-round loop after it, r[i] = N_{k-7+i} (the two agree
    // where one hands over to the other, k being a multiple of 14 there).
    // (Only ever indexed by constants, so that it stays in registers.)
    V r[7] = {hn::LoadU(d, x - 15), hn::LoadU(d, x + 1),  hn::LoadU(d, x + 17), hn::LoadU(d, x + 33),  // NOLINT
              hn::LoadU(d, x + 49), hn::LoadU(d, x + 65), hn::LoadU(d, x + 81)};
    // One round k: a and b hold N_{k-7}, N_{k-6}, e and f N_{k-3}, N_{k-2}.
    const auto round = [&](V& a, V b, V e, V f, V cv, std::size_t k) {
        const V value = hn::Sub(behind(b, a), behind(f, e));
        hn::StoreU(Output<to_index>(d, hn::Sub(value, cv), range_v), d, out + k * lanes);
        a = value;
    };
    std::size_t k = 0;
    // Fourteen rounds: two turns of the register ring, seven of each C chain.
    for (; k + 14 <= rounds; k += 14) {
        round(r[0], r[1], r[4], r[5], c_even, k);
        round(r[1], r[2], r[5], r[6], c_odd, k + 1);
        c_even = step_terms(c_even);
        c_odd = step_terms(c_odd);
        round(r[2], r[3], r[6], r[0], c_even, k + 2);
        round(r[3], r[4], r[0], r[1], c_odd, k + 3);
        c_even = step_terms(c_even);
        c_odd = step_terms(c_odd);
        round(r[4], r[5], r[1], r[2], c_even, k + 4);
        round(r[5], r[6], r[2], r[3], c_odd, k + 5);
        c_even = step_terms(c_even);
        c_odd = step_terms(c_odd);
        round(r[6], r[0], r[3], r[4], c_even, k + 6);
        round(r[0], r[1], r[4], r[5], c_odd, k + 7);
        c_even = step_terms(c_even);
        c_odd = step_terms(c_odd);
        round(r[1], r[2], r[5], r[6], c_even, k + 8);
        round(r[2], r[3], r[6], r[0], c_odd, k + 9);
        c_even = step_terms(c_even);
        c_odd = step_terms(c_odd);
        round(r[3], r[4], r[0], r[1], c_even, k + 10);
        round(r[4], r[5], r[1], r[2], c_odd, k + 11);
        c_even = step_terms(c_even);
        c_odd = step_terms(c_odd);
        round(r[5], r[6], r[2], r[3], c_even, k + 12);
        round(r[6], r[0], r[3], r[4], c_odd, k + 13);
        c_even = step_terms(c_even);
        c_odd = step_terms(c_odd);
    }
    // The remaining rounds one at a time, the ring rotated by copies.
    for (; k < rounds; ++k) {
        const bool even = k % 2 == 0;
        round(r[0], r[1], r[4], r[5], even ? c_even : c_odd, k);
        const V newest = r[0];
        r[0] = r[1];
        r[1] = r[2];
        r[2] = r[3];
        r[3] = r[4];
        r[4] = r[5];
        r[5] = r[6];
        r[6] = newest;
        if (!even) {
            c_even = step_terms(c_even);
            c_odd = step_terms(c_odd);
        }
    }
    // The C of the last round made: c_even after an odd number of rounds,
    // else c_odd one step back (C + step mod m).
    hn::Store(c_even, d, terms);
    hn::Store(c_odd, d, terms + lanes);
    if (rounds % 2 == 1) {
        term->c = terms[lanes - 1];
    } else {
        const std::uint32_t back = terms[2 * lanes - 1] + plain::lane_step(2 * lanes, *term);
        term->c = back >= term->cm ? back - term->cm : back;
    }
    // The newest 112 values, reduced, of which the last 97 are the history
    // the plain tail continues from. Both loops leave r[i] = N_{rounds-7+i}
    // (fourteen rounds are two whole turns).
    std::uint32_t* top = x + rounds * lanes - 15;
    const V mask = hn::Set(d, plain::unit_mask);
    hn::StoreU(hn::And(r[0], mask), d, top);
    hn::StoreU(hn::And(r[1], mask), d, top + 16);
    hn::StoreU(hn::And(r[2], mask), d, top + 32);
    hn::StoreU(hn::And(r[3], mask), d, top + 48);
    hn::StoreU(hn::And(r[4], mask), d, top + 64);
    hn::StoreU(hn::And(r[5], mask), d, top + 80);
    hn::StoreU(hn::And(r[6], mask), d, top + 96);
    return rounds * lanes;
}
#endif

template <bool to_index>
void Extend(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term, std::uint32_t range)
{
#if HWY_TARGET == HWY_SCALAR
    plain::extend_stream(x, out, n, term, to_index ? range : 0);
#elif HWY_TARGET <= HWY_AVX3
    const std::size_t t = ExtendInRegisters<to_index>(x, out, n, term, range);
    plain::extend_stream(x + t, out + t, n - t, term, to_index ? range : 0);
#else
    const U32 d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t t = 0;
    if (n >= lanes) {
        HWY_ALIGN std::uint32_t terms[32];  // NOLINT(modernize-avoid-c-arrays) aligned lane buffer
        std::uint32_t c = term->c;
        for (std::size_t i = 0; i < lanes; ++i) {
            c = plain::mod_sub(c, term->cd, term->cm);
            terms[i] = c;
        }
        auto cv = hn::Load(d, terms);
        const auto step = hn::Set(d, plain::lane_step(lanes, *term));
        const auto modulus = hn::Set(d, term->cm);
        const auto mask = hn::Set(d, plain::unit_mask);
        const auto range_v = hn::Set(d, range);
        for (;;) {
            const auto value = hn::And(hn::Sub(hn::LoadU(d, x + t), hn::LoadU(d, x + t + plain::lag_distance)), mask);
            hn::StoreU(value, d, x + t + plain::history_degree);
            hn::StoreU(Output<to_index>(d, hn::Sub(value, cv), range_v), d, out + t);
            t += lanes;
            if (t + lanes > n) {
                break;
            }
            const auto down = hn::Sub(cv, step);
            cv = hn::Min(down, hn::Add(down, modulus));
        }
        hn::Store(cv, d, terms);
        term->c = terms[lanes - 1];
    }
    plain::extend_stream(x + t, out + t, n - t, term, to_index ? range : 0);
#endif
}

void ExtendUnits(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term)
{
    Extend<false>(x, out, n, term, 0);
}

void ExtendIndices(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term, std::uint32_t range)
{
    Extend<true>(x, out, n, term, range);
}

// One accumulator vector per `lanes` outputs, summing the 97 products in
// order (integer arithmetic, so the order is free anyway).
void Combine(const std::uint32_t* a, const std::uint32_t* x, std::uint32_t* next)
{
    const U32 d;
    const std::size_t lanes = hn::Lanes(d);
    HWY_ALIGN std::uint32_t last[32];  // NOLINT(modernize-avoid-c-arrays) aligned lane buffer
    for (std::size_t t = 0; t < plain::history_degree; t += lanes) {
        auto sum = hn::Zero(d);
        for (std::size_t s = 0; s < plain::history_degree; ++s) {
            sum = hn::Add(sum, hn::Mul(hn::Set(d, a[s]), hn::LoadU(d, x + t + s)));
        }
        if (t + lanes <= plain::history_degree) {
            hn::StoreU(sum, d, next + t);
        } else {
            hn::Store(sum, d, last);
            for (std::size_t i = 0; t + i < plain::history_degree; ++i) {
                next[t + i] = last[i];
            }
        }
    }
}

}  // namespace suite::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
#endif  // SUITE_SIMD

#if !SUITE_SIMD || HWY_ONCE
SUITE_CHOSEN_KERNEL(ExtendStream, extend_stream_kernel, ExtendUnits, plain::extend_stream_units)
SUITE_CHOSEN_KERNEL(ExtendStreamIndices, extend_stream_indices_kernel, ExtendIndices, plain::extend_stream)
SUITE_CHOSEN_KERNEL(CombineHistory, combine_history_kernel, Combine, plain::combine_history)
#endif
