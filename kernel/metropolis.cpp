#include "metropolis.hpp"

#include <immintrin.h>

#include <bit>
#include <cmath>

// Why the fast decisions are step()'s decisions.
//
// For a point let s = (x x + y y) + z z. The coordinates are multiples of
// 2^-24 below 1, so each square is a multiple of 2^-48 below 1 (48
// significant bits) and both sums stay below 3 with at most 50 bits: s is
// exact, and P = fl(G(-s) / 0.416538) with G the C library's exp. step()
// accepts when r = fl(P_p / P_c) >= u (p the proposal, c the current point);
// the exact ratio of the weights is rho = exp(s_c - s_p).
//
// (A) Assume |G(x) / e^x - 1| <= lambda = 2^-32 for -3 <= x <= 0, and that
//     the library's log is as good. (That asks for about 2^20 ulp; glibc
//     documents less than one.) Then r = rho (1 + theta) with
//     |theta| <= 2 lambda + 3 eps < 2^-30.9 (two library results and three
//     roundings, eps = 2^-53).
// (B) For u = k 2^-24 > 0, the estimate L of ln u has |L - ln u| <= eta =
//     2^-32.3: with k = 2^e m, m in [1, 2) and m0 = 1 + i/16 <= m < m0 + 1/16
//     (all exact bit manipulations), ln u = (e - 24) ln 2 + ln m0 + ln(1 + q)
//     with q = (m - m0)/m0, |q| < 1/16. The table ln m0 (library, error
//     below 2^-32.5), the degree-8 series of ln(1 + q) (remainder
//     |q|^9/9 < 2^-39, q formed with a rounded 1/m0: 2^-57), (e - 24) ln 2
//     with ln 2 rounded (at most 24 * 2^-54) and a few roundings of numbers
//     below 17 (2^-49 each) stay below eta.
//
// The fast path forms A = fl(s_p + L) (error at most 2^-49) and the
// thresholds hi = fl(A + 2^-26), lo = fl(A - 2^-26), so that
//   hi >= s_p + ln u + 2^-26 - eta - 2^-47.9 and lo <= s_p + ln u - (same).
//   s_c >= hi: rho = e^(s_c - s_p) >= u e^(2^-26 - 2^-32.2), so
//     r >= rho (1 - 2^-30.9) > u: step() accepts.
//   s_c < lo: rho < u e^-(2^-26 - 2^-32.2), so r <= rho (1 + 2^-30.9) < u:
//     step() rejects.
//   lo <= s_c < hi (u within a relative 2^-25 of rho: for uniform u, below
//     one update in 2^25) is left open, and step()'s own expression decides.
// For u = 0, lo = hi = -inf: accepted, as in step() since r > 0.
// s is never negative, so comparing it with any double gives the same answer
// as comparing their bit patterns read as signed 64-bit integers; the chain
// runs on those.

namespace {

constexpr std::size_t block_updates = BulkDrawer::block / 4;
constexpr double margin = 0x1p-26;
constexpr double ln2 = 0.6931471805599453;
constexpr std::int64_t always = std::bit_cast<std::int64_t>(-HUGE_VAL);  // -inf: accept

constexpr std::uint64_t exponent_bits = 0x7FF0000000000000;
constexpr std::uint64_t mantissa_bits = 0x000FFFFFFFFFFFFF;
constexpr std::uint64_t top4_bits = 0x000F000000000000;  // the first four mantissa bits
constexpr std::uint64_t one_bits = 0x3FF0000000000000;   // 1.0
static_assert((exponent_bits | mantissa_bits) == 0x7FFFFFFFFFFFFFFF);

// ln(1 + q) = q (1 + q (-1/2 + q (1/3 + ... + q (-1/8)))).
constexpr double c2 = -1.0 / 2.0;
constexpr double c3 = 1.0 / 3.0;
constexpr double c4 = -1.0 / 4.0;
constexpr double c5 = 1.0 / 5.0;
constexpr double c6 = -1.0 / 6.0;
constexpr double c7 = 1.0 / 7.0;
constexpr double c8 = -1.0 / 8.0;

double log1p_series(double q)
{
    double h = c8;
    h = c7 + q * h;
    h = c6 + q * h;
    h = c5 + q * h;
    h = c4 + q * h;
    h = c3 + q * h;
    h = c2 + q * h;
    h = 1.0 + q * h;
    return q * h;
}

// (B) above, for k >= 1.
double log_units(const FastSweeper::LogTables& tables, std::uint32_t k)
{
    const auto bits = std::bit_cast<std::uint64_t>(static_cast<double>(k));
    const double e24 = static_cast<double>(static_cast<std::int64_t>(bits >> 52) - 1023 - 24);
    const auto i = static_cast<std::size_t>((bits & top4_bits) >> 48);
    const double m = std::bit_cast<double>((bits & mantissa_bits) | one_bits);
    const double m0 = std::bit_cast<double>((bits & top4_bits) | one_bits);
    return (e24 * ln2 + tables.log[i]) + log1p_series((m - m0) * tables.inverse[i]);
}

// The prepared form of one update: the proposal's exact s and the two
// thresholds, all as bit patterns.
struct Prepared {
    std::int64_t* s;
    std::int64_t* lo;
    std::int64_t* hi;
};

void prepare_scalar(const FastSweeper::LogTables& tables, const std::uint32_t* draws, std::size_t n,
                    const Prepared& out)
{
    for (std::size_t t = 0; t < n; ++t) {
        const std::uint32_t* d = draws + 4 * t;
        const double x = unit_value(d[0]);
        const double y = unit_value(d[1]);
        const double z = unit_value(d[2]);
        const double s = (x * x + y * y) + z * z;
        out.s[t] = std::bit_cast<std::int64_t>(s);
        if (d[3] == 0) {
            out.lo[t] = always;
            out.hi[t] = always;
        } else {
            const double a = s + log_units(tables, d[3]);
            out.lo[t] = std::bit_cast<std::int64_t>(a - margin);
            out.hi[t] = std::bit_cast<std::int64_t>(a + margin);
        }
    }
}

SUITE_WIDE_KERNELS_BEGIN

// Four updates per round, the same IEEE operations as prepare_scalar lane by
// lane: s from the exact 64-bit sum of squared units (s 2^48 < 2^50 converts
// exactly), the table entries by gathers.
SUITE_TARGET_AVX2 void prepare_avx2(const FastSweeper::LogTables& tables, const std::uint32_t* draws, std::size_t n,
                                    const Prepared& out)
{
    // 2^52 + k for an integer k < 2^52 has the bits of 2^52 with k in its
    // mantissa: the int64 to double conversion AVX2 lacks.
    const __m256i exponent52 = _mm256_set1_epi64x(0x4330000000000000);
    const __m256d two52 = _mm256_set1_pd(0x1p52);
    const __m256i mantissa = _mm256_set1_epi64x(static_cast<long long>(mantissa_bits));
    const __m256i top4 = _mm256_set1_epi64x(static_cast<long long>(top4_bits));
    const __m256i one = _mm256_set1_epi64x(static_cast<long long>(one_bits));
    std::size_t t = 0;
    for (; t + 4 <= n; t += 4) {
        const std::uint32_t* d = draws + 4 * t;
        const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
        const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4));
        const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 8));
        const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 12));
        const __m128i xy01 = _mm_unpacklo_epi32(r0, r1);
        const __m128i xy23 = _mm_unpacklo_epi32(r2, r3);
        const __m128i zu01 = _mm_unpackhi_epi32(r0, r1);
        const __m128i zu23 = _mm_unpackhi_epi32(r2, r3);
        const __m256i x = _mm256_cvtepu32_epi64(_mm_unpacklo_epi64(xy01, xy23));
        const __m256i y = _mm256_cvtepu32_epi64(_mm_unpackhi_epi64(xy01, xy23));
        const __m256i z = _mm256_cvtepu32_epi64(_mm_unpacklo_epi64(zu01, zu23));
        const __m128i u = _mm_unpackhi_epi64(zu01, zu23);
        const __m256i s48 = _mm256_add_epi64(_mm256_add_epi64(_mm256_mul_epu32(x, x), _mm256_mul_epu32(y, y)),
                                             _mm256_mul_epu32(z, z));
        // s 2^48 < 2^52: split as 2^26 a + b to convert exactly.
        const __m256d s_high = _mm256_sub_pd(
            _mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(s48, 26), exponent52)), two52);
        const __m256d s_low = _mm256_sub_pd(
            _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(s48, _mm256_set1_epi64x((1 << 26) - 1)), exponent52)),
            two52);
        const __m256d s = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(s_high, _mm256_set1_pd(0x1p26)), s_low),
                                        _mm256_set1_pd(0x1p-48));

        const __m256d k = _mm256_cvtepi32_pd(u);
        const __m256i bits = _mm256_castpd_si256(k);
        const __m256d e24 = _mm256_sub_pd(
            _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(bits, 52), exponent52)), two52),
            _mm256_set1_pd(1023.0 + 24.0));
        const __m256i i = _mm256_srli_epi64(_mm256_and_si256(bits, top4), 48);
        const __m256d m = _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, mantissa), one));
        const __m256d m0 = _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, top4), one));
        const __m256d q = _mm256_mul_pd(_mm256_sub_pd(m, m0), _mm256_i64gather_pd(tables.inverse.data(), i, 8));
        __m256d h = _mm256_set1_pd(c8);
        h = _mm256_add_pd(_mm256_set1_pd(c7), _mm256_mul_pd(q, h));
        h = _mm256_add_pd(_mm256_set1_pd(c6), _mm256_mul_pd(q, h));
        h = _mm256_add_pd(_mm256_set1_pd(c5), _mm256_mul_pd(q, h));
        h = _mm256_add_pd(_mm256_set1_pd(c4), _mm256_mul_pd(q, h));
        h = _mm256_add_pd(_mm256_set1_pd(c3), _mm256_mul_pd(q, h));
        h = _mm256_add_pd(_mm256_set1_pd(c2), _mm256_mul_pd(q, h));
        h = _mm256_add_pd(_mm256_set1_pd(1.0), _mm256_mul_pd(q, h));
        const __m256d log_u =
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(e24, _mm256_set1_pd(ln2)),
                                        _mm256_i64gather_pd(tables.log.data(), i, 8)),
                          _mm256_mul_pd(q, h));
        const __m256d a = _mm256_add_pd(s, log_u);
        const __m256d zero_u = _mm256_cmp_pd(k, _mm256_setzero_pd(), _CMP_EQ_OQ);
        const __m256d accept_all = _mm256_castsi256_pd(_mm256_set1_epi64x(always));
        // The doubles go out as the bit patterns the chain compares as
        // integers; a vector store may alias any type.
        // cppcheck-suppress invalidPointerCast
        _mm256_storeu_pd(reinterpret_cast<double*>(out.s + t), s);
        // cppcheck-suppress invalidPointerCast
        _mm256_storeu_pd(reinterpret_cast<double*>(out.lo + t),
                         _mm256_blendv_pd(_mm256_sub_pd(a, _mm256_set1_pd(margin)), accept_all, zero_u));
        // cppcheck-suppress invalidPointerCast
        _mm256_storeu_pd(reinterpret_cast<double*>(out.hi + t),
                         _mm256_blendv_pd(_mm256_add_pd(a, _mm256_set1_pd(margin)), accept_all, zero_u));
    }
    prepare_scalar(tables, draws + 4 * t, n - t, {out.s + t, out.lo + t, out.hi + t});
}

// Eight updates per round: two vectors of sixteen draws are regrouped into
// x and y, z and u; the sixteen-entry tables sit in registers.
SUITE_TARGET_AVX512 void prepare_avx512(const FastSweeper::LogTables& tables, const std::uint32_t* draws,
                                        std::size_t n, const Prepared& out)
{
    const __m512i pick_xy = _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 1, 5, 9, 13, 17, 21, 25, 29);
    const __m512i pick_zu = _mm512_setr_epi32(2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31);
    const __m512d log_low = _mm512_loadu_pd(tables.log.data());
    const __m512d log_high = _mm512_loadu_pd(tables.log.data() + 8);
    const __m512d inverse_low = _mm512_loadu_pd(tables.inverse.data());
    const __m512d inverse_high = _mm512_loadu_pd(tables.inverse.data() + 8);
    const __m512i mantissa = _mm512_set1_epi64(static_cast<long long>(mantissa_bits));
    const __m512i top4 = _mm512_set1_epi64(static_cast<long long>(top4_bits));
    const __m512i one = _mm512_set1_epi64(static_cast<long long>(one_bits));
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
        __m512d h = _mm512_set1_pd(c8);
        h = _mm512_add_pd(_mm512_set1_pd(c7), _mm512_mul_pd(q, h));
        h = _mm512_add_pd(_mm512_set1_pd(c6), _mm512_mul_pd(q, h));
        h = _mm512_add_pd(_mm512_set1_pd(c5), _mm512_mul_pd(q, h));
        h = _mm512_add_pd(_mm512_set1_pd(c4), _mm512_mul_pd(q, h));
        h = _mm512_add_pd(_mm512_set1_pd(c3), _mm512_mul_pd(q, h));
        h = _mm512_add_pd(_mm512_set1_pd(c2), _mm512_mul_pd(q, h));
        h = _mm512_add_pd(_mm512_set1_pd(1.0), _mm512_mul_pd(q, h));
        const __m512d log_u =
            _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(e24, _mm512_set1_pd(ln2)),
                                        _mm512_permutex2var_pd(log_low, i, log_high)),
                          _mm512_mul_pd(q, h));
        const __m512d a = _mm512_add_pd(s, log_u);
        const __mmask8 zero_u = _mm256_cmpeq_epi32_mask(u, _mm256_setzero_si256());
        const __m512d accept_all = _mm512_castsi512_pd(_mm512_set1_epi64(always));
        _mm512_storeu_pd(out.s + t, s);
        _mm512_storeu_pd(out.lo + t, _mm512_mask_mov_pd(_mm512_sub_pd(a, _mm512_set1_pd(margin)), zero_u, accept_all));
        _mm512_storeu_pd(out.hi + t, _mm512_mask_mov_pd(_mm512_add_pd(a, _mm512_set1_pd(margin)), zero_u, accept_all));
    }
    prepare_scalar(tables, draws + 4 * t, n - t, {out.s + t, out.lo + t, out.hi + t});
}

SUITE_WIDE_KERNELS_END

Point3 proposal_at(const std::uint32_t* draws, std::size_t update)
{
    const std::uint32_t* d = draws + 4 * update;
    return {unit_value(d[0]), unit_value(d[1]), unit_value(d[2])};
}

std::int64_t square_sum_bits(const Point3& p)
{
    return std::bit_cast<std::int64_t>((p.x * p.x + p.y * p.y) + p.z * p.z);
}

// step()'s decision in step()'s own words, for an update the estimates
// leave open.
[[gnu::noinline]] bool step_accepts(const Point3& current, const Point3& proposal, std::uint32_t u_units)
{
    const double r = P(proposal) / P(current);
    const double u = unit_value(u_units);
    return r >= u;
}

// The sequential part: s of the current point against each update's `hi`.
// Whether an update is accepted is a coin toss to a branch predictor, so it
// is a conditional move. The value of s before each update is kept, so that
// the open updates can be found afterwards, off this chain of dependences.
void decide_quickly(std::int64_t s_current, std::size_t n, const std::int64_t* s, const std::int64_t* hi,
                    std::int64_t* before, std::uint8_t* accepted)
{
    std::int64_t c = s_current;
    for (std::size_t t = 0; t < n; ++t) {
        before[t] = c;
#if defined(__x86_64__)
        std::uint8_t accept;  // NOLINT(cppcoreguidelines-init-variables) an output of the asm below
        asm("cmpq %[hi], %[c]\n\t"
            "setge %[accept]\n\t"
            "cmovgeq %[s], %[c]"
            : [c] "+r"(c), [accept] "=&q"(accept)
            : [hi] "m"(hi[t]), [s] "m"(s[t])
            : "cc");
        accepted[t] = accept;
#else
        const bool accept = c >= hi[t];
        const std::int64_t take = -static_cast<std::int64_t>(accept);
        c = (s[t] & take) | (c & ~take);
        accepted[t] = accept ? 1 : 0;
#endif
    }
}

// Whether lo <= before < hi for some update (all as signed bit patterns).
bool any_open_scalar(std::size_t n, const std::int64_t* before, const std::int64_t* lo, const std::int64_t* hi)
{
    bool open = false;
    for (std::size_t t = 0; t < n; ++t) {
        open |= (lo[t] <= before[t]) & (before[t] < hi[t]);
    }
    return open;
}

SUITE_WIDE_KERNELS_BEGIN

SUITE_TARGET_AVX2 bool any_open_avx2(std::size_t n, const std::int64_t* before, const std::int64_t* lo,
                                     const std::int64_t* hi)
{
    __m256i open = _mm256_setzero_si256();
    std::size_t t = 0;
    for (; t + 4 <= n; t += 4) {
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(before + t));
        const __m256i below_lo = _mm256_cmpgt_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(lo + t)), b);
        const __m256i below_hi = _mm256_cmpgt_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(hi + t)), b);
        open = _mm256_or_si256(open, _mm256_andnot_si256(below_lo, below_hi));
    }
    return !_mm256_testz_si256(open, open) || any_open_scalar(n - t, before + t, lo + t, hi + t);
}

SUITE_TARGET_AVX512 bool any_open_avx512(std::size_t n, const std::int64_t* before, const std::int64_t* lo,
                                         const std::int64_t* hi)
{
    __mmask8 open = 0;
    std::size_t t = 0;
    for (; t + 8 <= n; t += 8) {
        const __m512i b = _mm512_loadu_si512(before + t);
        open |= static_cast<__mmask8>(_mm512_cmple_epi64_mask(_mm512_loadu_si512(lo + t), b)
                                      & _mm512_cmplt_epi64_mask(b, _mm512_loadu_si512(hi + t)));
    }
    return open != 0 || any_open_scalar(n - t, before + t, lo + t, hi + t);
}

SUITE_WIDE_KERNELS_END

bool any_open(SimdPath path, std::size_t n, const std::int64_t* before, const std::int64_t* lo,
              const std::int64_t* hi)
{
    switch (path) {
    case SimdPath::avx512:
        return any_open_avx512(n, before, lo, hi);
    case SimdPath::avx2:
        return any_open_avx2(n, before, lo, hi);
    case SimdPath::scalar:
        break;
    }
    return any_open_scalar(n, before, lo, hi);
}

// The same decisions one at a time, asking step() where the estimates leave
// an update open. Returns how many were.
std::int64_t decide_carefully(const Point3& incoming, const std::uint32_t* draws, std::size_t n,
                              const std::int64_t* s, const std::int64_t* lo, const std::int64_t* hi,
                              std::uint8_t* accepted)
{
    std::int64_t c = square_sum_bits(incoming);
    std::int64_t at = -1;
    std::int64_t open = 0;
    for (std::size_t t = 0; t < n; ++t) {
        bool accept = c >= hi[t];
        if (!accept && c >= lo[t]) {
            ++open;
            const Point3 current = at < 0 ? incoming : proposal_at(draws, static_cast<std::size_t>(at));
            accept = step_accepts(current, proposal_at(draws, t), draws[4 * t + 3]);
        }
        if (accept) {
            c = s[t];
            at = static_cast<std::int64_t>(t);
        }
        accepted[t] = accept ? 1 : 0;
    }
    return open;
}

}  // namespace

FastSweeper::FastSweeper(SimdPath path) : path_(path)
{
    for (std::size_t i = 0; i < 16; ++i) {
        const double m0 = 1.0 + static_cast<double>(i) / 16.0;
        tables_.log[i] = std::log(m0);
        tables_.inverse[i] = 1.0 / m0;
    }
}

double FastSweeper::log_estimate(std::uint32_t u_units) const { return log_units(tables_, u_units); }

void FastSweeper::run_block(Point3& current, const std::uint32_t* draws, std::size_t updates,
                            std::uint8_t* accepted)
{
    // Scratch for one block, each entry written before it is read: clearing
    // 32 KiB per block would be wasted.
    // NOLINTBEGIN(cppcoreguidelines-pro-type-member-init)
    alignas(64) std::array<std::int64_t, block_updates> s;
    alignas(64) std::array<std::int64_t, block_updates> lo;
    alignas(64) std::array<std::int64_t, block_updates> hi;
    alignas(64) std::array<std::int64_t, block_updates> before;
    // NOLINTEND(cppcoreguidelines-pro-type-member-init)
    const Prepared prepared{s.data(), lo.data(), hi.data()};
    switch (path_) {
    case SimdPath::avx512:
        prepare_avx512(tables_, draws, updates, prepared);
        break;
    case SimdPath::avx2:
        prepare_avx2(tables_, draws, updates, prepared);
        break;
    case SimdPath::scalar:
        prepare_scalar(tables_, draws, updates, prepared);
        break;
    }
    decide_quickly(square_sum_bits(current), updates, s.data(), hi.data(), before.data(), accepted);
    if (any_open(path_, updates, before.data(), lo.data(), hi.data())) [[unlikely]] {
        open_decisions_ += decide_carefully(current, draws, updates, s.data(), lo.data(), hi.data(), accepted);
    }
    // The current point is the last accepted proposal, if any.
    for (std::size_t t = updates; t-- > 0;) {
        if (accepted[t] != 0) {
            current = proposal_at(draws, t);
            break;
        }
    }
}

void FastSweeper::run(Point3& current, std::span<const std::uint32_t> draws, std::span<std::uint8_t> accepted)
{
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint8_t, block_updates> flags;
    const std::size_t updates = draws.size() / 4;
    for (std::size_t done = 0; done < updates;) {
        const std::size_t n = std::min(block_updates, updates - done);
        run_block(current, draws.data() + 4 * done, n, flags.data());
        if (!accepted.empty()) {
            std::copy_n(flags.begin(), n, accepted.begin() + static_cast<std::ptrdiff_t>(done));
        }
        done += n;
    }
}

void FastSweeper::sweep(Point3& current, std::int64_t steps, UniformGenerator& g)
{
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint8_t, block_updates> flags;
    draw_unit_blocks(
        g, 4 * steps, BulkDrawer::block,
        [&](std::span<const std::uint32_t> block) { run_block(current, block.data(), block.size() / 4, flags.data()); },
        path_);
}
