#include "random.hpp"

#include <immintrin.h>

#include <cstdio>
#include <cstdlib>
#include <bit>
#include <cstring>

bool UniformGenerator::seed(std::int64_t seed)
{
    if (seed < 0 || seed > max_seed) {
        return false;
    }
    // The single seed packs the generator's two published seeds as
    // seed = ij * 30082 + kl, which are then split into four small seeds.
    const auto ij = static_cast<std::int32_t>(seed / 30082);
    const auto kl = static_cast<std::int32_t>(seed - 30082 * static_cast<std::int64_t>(ij));
    std::int32_t i = (ij / 177) % 177 + 2;
    std::int32_t j = ij % 177 + 2;
    std::int32_t k = (kl / 169) % 178 + 1;
    std::int32_t l = kl % 169;
    // The generator's published range checks, kept although every seed in
    // range passes them.
    // cppcheck-suppress knownConditionTrueFalse
    if (i < 1 || i > 178 || j < 1 || j > 178 || k < 1 || k > 178 || l < 0 || l > 168
        || (i == 1 && j == 1 && k == 1)) {
        return false;
    }

    // Each lag-table entry collects 24 bits, one per step of a
    // multiplicative (mod 179) and a linear congruential (mod 169) sequence.
    for (std::int32_t ii = 1; ii <= lag_long; ++ii) {
        float s = 0.0f;
        float t = 0.5f;
        for (int bit = 0; bit < 24; ++bit) {
            const std::int32_t m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32) {
                s = s + t;
            }
            t = t * 0.5f;
        }
        u[static_cast<std::size_t>(ii)] = s;
    }
    c = 362436.0f / 16777216.0f;
    cd = 7654321.0f / 16777216.0f;
    cm = 16777213.0f / 16777216.0f;
    ui = lag_long;
    uj = lag_short;
    first = 1;
    return true;
}

UniformGenerator::result_type UniformGenerator::operator()()
{
    float uni = u[static_cast<std::size_t>(ui)] - u[static_cast<std::size_t>(uj)];
    if (uni < 0.0f) {
        uni = uni + 1.0f;
    }
    u[static_cast<std::size_t>(ui)] = uni;
    ui = ui - 1;
    if (ui == 0) {
        ui = lag_long;
    }
    uj = uj - 1;
    if (uj == 0) {
        uj = lag_long;
    }
    c = c - cd;
    if (c < 0.0f) {
        c = c + cm;
    }
    uni = uni - c;
    if (uni < 0.0f) {
        uni = uni + 1.0f;
    }
    return uni;
}

UniformGenerator& random_stream()
{
    static UniformGenerator stream;
    return stream;
}

float Random(std::int64_t seed)
{
    UniformGenerator& stream = random_stream();
    if (stream.first == 0 || seed != 0) {
        // A failed write leaves the stream's error flag set; the program
        // reports it when it finishes standard output.
        (void)std::fputs("initializing the Random generator\n", stdout);
        if (!stream.seed(seed)) {
            std::exit(1);
        }
    }
    return stream();
}

// ---------------------------------------------------------------------------
// Bulk drawing in integer units.

namespace {

constexpr std::uint32_t unit_mask = 0xFFFFFFu;  // reduction mod 2^24

std::uint32_t to_units(float value) { return static_cast<std::uint32_t>(value * 16777216.0f); }
float from_units(std::uint32_t units) { return static_cast<float>(units) * 0x1p-24f; }

// `steps` positions down the ring 1..97.
std::int32_t ring_back(std::int32_t position, std::int32_t steps)
{
    position -= steps % UniformGenerator::lag_long;
    return position <= 0 ? position + UniformGenerator::lag_long : position;
}

// C - d mod m for C, d in [0, m): the arithmetic term's step.
std::uint32_t mod_sub(std::uint32_t c, std::uint32_t d, std::uint32_t m) { return c >= d ? c - d : c - d + m; }

// C + d mod m for C, d in [0, m): a step back.
std::uint32_t mod_add(std::uint32_t c, std::uint32_t d, std::uint32_t m) { return c + d >= m ? c + d - m : c + d; }

// A drawn value as units, or as the index floor(range v / 2^24) =
// trunc(range r) of a resample (exact for range < 2^29: range v < 2^53).
template <bool to_index>
std::uint32_t output(std::uint32_t units, std::uint64_t range)
{
    if constexpr (to_index) {
        return static_cast<std::uint32_t>((units * range) >> 24);
    } else {
        return units;
    }
}

// Extends x by n values (x[97 + t] for t < n) and writes the outputs, taking
// the arithmetic term from c. The scalar form of each wide kernel below.
template <bool to_index>
void generate_scalar(std::uint32_t* x, std::uint32_t* out, std::size_t n, std::uint32_t& c, std::uint32_t cd,
                     std::uint32_t cm, std::uint64_t range)
{
    for (std::size_t t = 0; t < n; ++t) {
        const std::uint32_t value = (x[t] - x[t + 64]) & unit_mask;
        x[t + 97] = value;
        c = mod_sub(c, cd, cm);
        out[t] = output<to_index>((value - c) & unit_mask, range);
    }
}

// The wide kernels hold `lanes` consecutive C in a vector and step them all
// by lanes * cd mod cm at once. The step c - d mod m is computed as the
// unsigned minimum of c - d and c - d + m (wrapping): when c >= d the first
// is below m and the second above it; when c < d the first has wrapped to
// near 2^32 and the second is c - d + m < m. Lanes t..t+lanes-1 read x
// 97 and 33 back, all of which exist because lanes <= 33.
template <std::size_t lanes>
std::array<std::uint32_t, lanes> first_terms(std::uint32_t c, std::uint32_t cd, std::uint32_t cm)
{
    // Every lane is set below, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, lanes> terms;
    for (std::size_t i = 0; i < lanes; ++i) {
        c = mod_sub(c, cd, cm);
        terms[i] = c;
    }
    return terms;
}

std::uint32_t lane_step(std::size_t lanes, std::uint32_t cd, std::uint32_t cm)
{
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(lanes) * cd) % cm);
}

SUITE_WIDE_KERNELS_BEGIN

// The output stage of the wide kernels, from x - C not yet reduced: units
// (reduced modulo 2^24), or indices. For an index, the units shifted up by
// 8 bits (which drops the bits above 2^24, so no reduction is needed) times
// the range is below 2^61 and has floor(range v / 2^24) in its upper 32 bits:
// a 32 x 32 -> 64-bit product for the even lanes and one for the odd lanes,
// whose upper halves are then interleaved.
template <bool to_index>
SUITE_TARGET_AVX2 inline __m256i output_avx2(__m256i difference, __m256i range)
{
    if constexpr (to_index) {
        const __m256i scaled = _mm256_slli_epi32(difference, 8);
        const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(scaled, range), 32);
        const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(scaled, 32), range);
        return _mm256_blend_epi32(even, odd, 0xAA);
    } else {
        return _mm256_and_si256(difference, _mm256_set1_epi32(static_cast<int>(unit_mask)));
    }
}

template <bool to_index>
SUITE_TARGET_AVX512 inline __m512i output_avx512(__m512i difference, __m512i range)
{
    if constexpr (to_index) {
        const __m512i scaled = _mm512_slli_epi32(difference, 8);
        const __m512i even = _mm512_srli_epi64(_mm512_mul_epu32(scaled, range), 32);
        const __m512i odd = _mm512_mul_epu32(_mm512_srli_epi64(scaled, 32), range);
        return _mm512_mask_blend_epi32(0xAAAA, even, odd);
    } else {
        return _mm512_and_si512(difference, _mm512_set1_epi32(static_cast<int>(unit_mask)));
    }
}

template <bool to_index>
SUITE_TARGET_AVX2 void generate_avx2(std::uint32_t* x, std::uint32_t* out, std::size_t n, std::uint32_t& c,
                                     std::uint32_t cd, std::uint32_t cm, std::uint64_t range)
{
    const __m256i range4 = _mm256_set1_epi64x(static_cast<long long>(range));
    constexpr std::size_t lanes = 8;
    std::size_t t = 0;
    if (n >= lanes) {
        const auto terms = first_terms<lanes>(c, cd, cm);
        __m256i cv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(terms.data()));
        const __m256i step = _mm256_set1_epi32(static_cast<int>(lane_step(lanes, cd, cm)));
        const __m256i modulus = _mm256_set1_epi32(static_cast<int>(cm));
        const __m256i mask = _mm256_set1_epi32(static_cast<int>(unit_mask));
        for (;;) {
            const __m256i back97 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + t));
            const __m256i back33 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + t + 64));
            const __m256i value = _mm256_and_si256(_mm256_sub_epi32(back97, back33), mask);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(x + t + 97), value);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + t),
                                output_avx2<to_index>(_mm256_sub_epi32(value, cv), range4));
            t += lanes;
            if (t + lanes > n) {
                break;
            }
            const __m256i down = _mm256_sub_epi32(cv, step);
            cv = _mm256_min_epu32(down, _mm256_add_epi32(down, modulus));
        }
        alignas(32) std::uint32_t last[lanes];  // NOLINT(modernize-avoid-c-arrays) aligned target of a vector store
        _mm256_store_si256(reinterpret_cast<__m256i*>(last), cv);
        c = last[lanes - 1];
    }
    generate_scalar<to_index>(x + t, out + t, n - t, c, cd, cm, range);
}

SUITE_TARGET_AVX512 inline __m512i step_terms_avx512(__m512i cv, __m512i step, __m512i modulus)
{
    const __m512i down = _mm512_sub_epi32(cv, step);
    return _mm512_min_epu32(down, _mm512_add_epi32(down, modulus));
}

// Sixteen values per round, with the last 112 values of x held in seven
// registers instead of being read back from memory: a value is needed again
// 33 draws later, which is not a whole number of vectors, and reading it
// back through a load that straddles two recent stores would stall. With
// N_k = x[97 + 16k .. 97 + 16k + 15], the 16 values 97 back are
// (N_{k-7}[15], N_{k-6}[0..14]) and the 16 values 33 back are
// (N_{k-3}[15], N_{k-2}[0..14]), each one lane-shift of two registers.
// N_k then takes the register of N_{k-7}, so seven rounds in a row use the
// registers in rotation without copying. In registers x is kept modulo 2^32
// and reduced modulo 2^24 only where it leaves them: the reduction commutes
// with subtraction, and that keeps the dependence from N_{k-2} to N_k at
// two operations. The C of even and odd rounds form two chains of their own,
// each stepping by 32 draws. x must be readable from x[-15] (the lanes below
// x[0] are loaded, unused).
template <bool to_index>
SUITE_TARGET_AVX512 void generate_avx512(std::uint32_t* x, std::uint32_t* out, std::size_t n, std::uint32_t& c,
                                         std::uint32_t cd, std::uint32_t cm, std::uint64_t range)
{
    constexpr std::size_t lanes = 16;
    const std::size_t rounds = n / lanes;
    if (rounds > 0) {
        const __m512i range8 = _mm512_set1_epi64(static_cast<long long>(range));
        const auto terms = first_terms<2 * lanes>(c, cd, cm);
        __m512i c_even = _mm512_loadu_si512(terms.data());
        __m512i c_odd = _mm512_loadu_si512(terms.data() + lanes);
        const __m512i step = _mm512_set1_epi32(static_cast<int>(lane_step(2 * lanes, cd, cm)));
        const __m512i modulus = _mm512_set1_epi32(static_cast<int>(cm));
        const __m512i mask = _mm512_set1_epi32(static_cast<int>(unit_mask));
        // Before round k of the unrolled loop r[(k + i) % 7] = N_{k-7+i};
        // before a round of the one-round loop after it, r[i] = N_{k-7+i}
        // (the two agree where one hands over to the other, k being a
        // multiple of 14 there).
        __m512i r[7];  // NOLINT(modernize-avoid-c-arrays) the register ring, indexed by constants only
        for (std::size_t i = 0; i < 7; ++i) {
            r[i] = _mm512_loadu_si512(x + 97 - (7 - i) * 16);
        }
// One round k: a and b hold N_{k-7}, N_{k-6}, e and f N_{k-3}, N_{k-2}.
// (Lambdas do not take the function's target, hence the macro.)
#define SUITE_ROUND(a, b, e, f, cv, k)                                                                      \
    do {                                                                                                    \
        const __m512i value = _mm512_sub_epi32(_mm512_alignr_epi32(b, a, 15), _mm512_alignr_epi32(f, e, 15)); \
        _mm512_storeu_si512(out + (k) * lanes, output_avx512<to_index>(_mm512_sub_epi32(value, cv), range8));    \
        (a) = value;                                                                                        \
    } while (false)
        std::size_t k = 0;
        // Fourteen rounds: two turns of the register ring, seven of each C
        // chain.
        for (; k + 14 <= rounds; k += 14) {
            SUITE_ROUND(r[0], r[1], r[4], r[5], c_even, k);
            SUITE_ROUND(r[1], r[2], r[5], r[6], c_odd, k + 1);
            c_even = step_terms_avx512(c_even, step, modulus);
            c_odd = step_terms_avx512(c_odd, step, modulus);
            SUITE_ROUND(r[2], r[3], r[6], r[0], c_even, k + 2);
            SUITE_ROUND(r[3], r[4], r[0], r[1], c_odd, k + 3);
            c_even = step_terms_avx512(c_even, step, modulus);
            c_odd = step_terms_avx512(c_odd, step, modulus);
            SUITE_ROUND(r[4], r[5], r[1], r[2], c_even, k + 4);
            SUITE_ROUND(r[5], r[6], r[2], r[3], c_odd, k + 5);
            c_even = step_terms_avx512(c_even, step, modulus);
            c_odd = step_terms_avx512(c_odd, step, modulus);
            SUITE_ROUND(r[6], r[0], r[3], r[4], c_even, k + 6);
            SUITE_ROUND(r[0], r[1], r[4], r[5], c_odd, k + 7);
            c_even = step_terms_avx512(c_even, step, modulus);
            c_odd = step_terms_avx512(c_odd, step, modulus);
            SUITE_ROUND(r[1], r[2], r[5], r[6], c_even, k + 8);
            SUITE_ROUND(r[2], r[3], r[6], r[0], c_odd, k + 9);
            c_even = step_terms_avx512(c_even, step, modulus);
            c_odd = step_terms_avx512(c_odd, step, modulus);
            SUITE_ROUND(r[3], r[4], r[0], r[1], c_even, k + 10);
            SUITE_ROUND(r[4], r[5], r[1], r[2], c_odd, k + 11);
            c_even = step_terms_avx512(c_even, step, modulus);
            c_odd = step_terms_avx512(c_odd, step, modulus);
            SUITE_ROUND(r[5], r[6], r[2], r[3], c_even, k + 12);
            SUITE_ROUND(r[6], r[0], r[3], r[4], c_odd, k + 13);
            c_even = step_terms_avx512(c_even, step, modulus);
            c_odd = step_terms_avx512(c_odd, step, modulus);
        }
        // The remaining rounds one at a time, the ring rotated by copies.
        for (; k < rounds; ++k) {
            const bool even = k % 2 == 0;
            SUITE_ROUND(r[0], r[1], r[4], r[5], even ? c_even : c_odd, k);
            const __m512i newest = r[0];
            for (std::size_t i = 0; i < 6; ++i) {
                r[i] = r[i + 1];
            }
            r[6] = newest;
            if (!even) {
                c_even = step_terms_avx512(c_even, step, modulus);
                c_odd = step_terms_avx512(c_odd, step, modulus);
            }
        }
#undef SUITE_ROUND
        // The C of the last round made: c_even after an odd number of
        // rounds, else c_odd one step back.
        alignas(64) std::uint32_t last[2 * lanes];  // NOLINT(modernize-avoid-c-arrays) aligned target of vector stores
        _mm512_store_si512(last, c_even);
        _mm512_store_si512(last + lanes, c_odd);
        c = rounds % 2 == 1 ? last[lanes - 1] : mod_add(last[2 * lanes - 1], lane_step(2 * lanes, cd, cm), cm);
        // The newest 112 values, reduced, of which the last 97 are the
        // history the scalar tail continues from. Both loops leave
        // r[i] = N_{rounds-7+i} (fourteen rounds are two whole turns).
        std::uint32_t* top = x + rounds * lanes + 97;
        for (std::size_t i = 0; i < 7; ++i) {
            _mm512_storeu_si512(top - (7 - i) * 16, _mm512_and_si512(r[i], mask));
        }
    }
    const std::size_t t = rounds * lanes;
    generate_scalar<to_index>(x + t, out + t, n - t, c, cd, cm, range);
}

SUITE_WIDE_KERNELS_END

}  // namespace

// history_ past the pad and the 97 values set here is written by generate()
// before it is read; clearing its 16 KiB for every drawer would be wasted.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
BulkDrawer::BulkDrawer(const UniformGenerator& g, SimdPath path)
    : c_(to_units(g.c)), cd_(to_units(g.cd)), cm_(to_units(g.cm)), ui_(g.ui), uj_(g.uj), first_(g.first),
      path_(path)
{
    std::fill_n(history_.begin(), pad, 0u);
    // The ring from u[ui] down to u[1], then from u[97] down to u[ui + 1].
    std::uint32_t* x = history_.data() + pad;
    for (std::int32_t position = ui_; position >= 1; --position) {
        *x++ = to_units(g.u[static_cast<std::size_t>(position)]);
    }
    for (std::int32_t position = UniformGenerator::lag_long; position > ui_; --position) {
        *x++ = to_units(g.u[static_cast<std::size_t>(position)]);
    }
}

template <bool to_index>
void BulkDrawer::generate(std::uint32_t* out, std::size_t n, std::uint64_t range)
{
    if (n == 0) {
        return;
    }
    std::uint32_t* x = history_.data() + pad;
    switch (path_) {
    case SimdPath::avx512:
        generate_avx512<to_index>(x, out, n, c_, cd_, cm_, range);
        break;
    case SimdPath::avx2:
        generate_avx2<to_index>(x, out, n, c_, cd_, cm_, range);
        break;
    case SimdPath::scalar:
        generate_scalar<to_index>(x, out, n, c_, cd_, cm_, range);
        break;
    }
    std::memmove(x, x + n, UniformGenerator::lag_long * sizeof(std::uint32_t));
    advanced_ = static_cast<std::int32_t>((advanced_ + static_cast<std::int64_t>(n % 97)) % 97);
}

void BulkDrawer::draw(std::uint32_t* out, std::size_t n) { generate<false>(out, n, 0); }

void BulkDrawer::draw_indices(std::uint32_t* out, std::size_t n, std::uint32_t range)
{
    generate<true>(out, n, range);
}

void BulkDrawer::discard(std::int64_t n)
{
    // Draws thrown away, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, block> scratch;
    while (n > 0) {
        const auto part = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(block)));
        draw(scratch.data(), part);
        n -= static_cast<std::int64_t>(part);
    }
}

void BulkDrawer::store(UniformGenerator& g) const
{
    const std::int32_t ui = ring_back(ui_, advanced_);
    const std::uint32_t* x = history_.data() + pad;
    for (std::int32_t position = ui; position >= 1; --position) {
        g.u[static_cast<std::size_t>(position)] = from_units(*x++);
    }
    for (std::int32_t position = UniformGenerator::lag_long; position > ui; --position) {
        g.u[static_cast<std::size_t>(position)] = from_units(*x++);
    }
    g.c = from_units(c_);
    g.cd = from_units(cd_);
    g.cm = from_units(cm_);
    g.ui = ui;
    g.uj = ring_back(uj_, advanced_);
    g.first = first_;
}

void draw_units(UniformGenerator& g, std::span<std::uint32_t> out, SimdPath path)
{
    BulkDrawer drawer(g, path);
    for (std::size_t done = 0; done < out.size();) {
        const std::size_t n = std::min(BulkDrawer::block, out.size() - done);
        drawer.draw(out.data() + done, n);
        done += n;
    }
    drawer.store(g);
}

// ---------------------------------------------------------------------------
// Jumps ahead.

namespace {

using Polynomial = std::array<std::uint32_t, StreamJump::degree>;
constexpr std::size_t degree = StreamJump::degree;

// p * z^k for k <= 33: coefficient t moves to t + k; past 96 it wraps with
// z^97 = 1 - z^64, landing at t + k - 97 and t + k - 33, both below 97.
Polynomial times_z_power(const Polynomial& p, std::size_t k)
{
    Polynomial q{};
    for (std::size_t t = 0; t < degree; ++t) {
        if (t + k < degree) {
            q[t + k] += p[t];
        } else {
            q[t + k - degree] += p[t];
            q[t + k - 33] -= p[t];
        }
    }
    return q;
}

// p * p modulo z^97 + z^64 - 1: the full product, then its terms from the
// top down folded with z^t = z^(t-97) - z^(t-33) (t - 33 may still be 97 or
// more, and is folded later).
Polynomial squared(const Polynomial& p)
{
    std::array<std::uint32_t, 2 * degree - 1> full{};
    for (std::size_t i = 0; i < degree; ++i) {
        for (std::size_t j = 0; j < degree; ++j) {
            full[i + j] += p[i] * p[j];
        }
    }
    for (std::size_t t = full.size() - 1; t >= degree; --t) {
        full[t - degree] += full[t];
        full[t - 33] -= full[t];
    }
    Polynomial q;
    std::copy_n(full.begin(), degree, q.begin());
    return q;
}

// next[t] = sum_s a_s x[t + s] for t < 97, x holding 193 values.
void combine_scalar(const Polynomial& a, const std::uint32_t* x, std::uint32_t* next)
{
    for (std::size_t t = 0; t < degree; ++t) {
        next[t] = 0;
    }
    for (std::size_t s = 0; s < degree; ++s) {
        for (std::size_t t = 0; t < degree; ++t) {
            next[t] += a[s] * x[t + s];
        }
    }
}

SUITE_WIDE_KERNELS_BEGIN

// Seven vectors of sixteen cover the 97 (x must be readable to x[208]).
SUITE_TARGET_AVX512 void combine_avx512(const Polynomial& a, const std::uint32_t* x, std::uint32_t* next)
{
    __m512i sum[7];  // NOLINT(modernize-avoid-c-arrays) seven accumulators, kept in registers
    for (auto& v : sum) {
        v = _mm512_setzero_si512();
    }
    for (std::size_t s = 0; s < degree; ++s) {
        const __m512i factor = _mm512_set1_epi32(static_cast<int>(a[s]));
        for (std::size_t v = 0; v < 7; ++v) {
            sum[v] = _mm512_add_epi32(sum[v], _mm512_mullo_epi32(factor, _mm512_loadu_si512(x + s + 16 * v)));
        }
    }
    alignas(64) std::uint32_t all[7 * 16];  // NOLINT(modernize-avoid-c-arrays) aligned target of vector stores
    for (std::size_t v = 0; v < 7; ++v) {
        _mm512_store_si512(all + 16 * v, sum[v]);
    }
    std::copy_n(all, degree, next);
}

SUITE_TARGET_AVX2 void combine_avx2(const Polynomial& a, const std::uint32_t* x, std::uint32_t* next)
{
    alignas(32) std::uint32_t all[13 * 8] = {};  // NOLINT(modernize-avoid-c-arrays) aligned accumulators in memory
    for (std::size_t s = 0; s < degree; ++s) {
        const __m256i factor = _mm256_set1_epi32(static_cast<int>(a[s]));
        for (std::size_t v = 0; v < 13; ++v) {
            __m256i* target = reinterpret_cast<__m256i*>(all + 8 * v);
            const __m256i term =
                _mm256_mullo_epi32(factor, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + s + 8 * v)));
            _mm256_store_si256(target, _mm256_add_epi32(_mm256_load_si256(target), term));
        }
    }
    std::copy_n(all, degree, next);
}

SUITE_WIDE_KERNELS_END

}  // namespace

StreamJump::StreamJump(std::uint64_t distance) : distance_(distance)
{
    // z^distance from the top bit down: square, and multiply by z for a 1.
    coefficients_[0] = 1;
    for (int bit = 63 - std::countl_zero(distance | 1); bit >= 0; --bit) {
        coefficients_ = squared(coefficients_);
        if (((distance >> bit) & 1) != 0) {
            coefficients_ = times_z_power(coefficients_, 1);
        }
    }
}

void StreamJump::lengthen(std::uint64_t extra)
{
    distance_ += extra;
    for (; extra > 0;) {
        const std::uint64_t k = std::min<std::uint64_t>(extra, 33);
        coefficients_ = times_z_power(coefficients_, static_cast<std::size_t>(k));
        extra -= k;
    }
}

void StreamJump::apply(UniformGenerator& g, SimdPath path) const
{
    // The 97 values of the ring in draw order, then 96 more by the
    // recurrence (not drawn: only needed for the combination), and room for
    // the wide forms' last vector.
    std::array<std::uint32_t, 2 * degree - 1 + 16> x{};
    for (std::size_t t = 0; t < degree; ++t) {
        x[t] = to_units(g.u[static_cast<std::size_t>(ring_back(g.ui, static_cast<std::int32_t>(t)))]);
    }
    for (std::size_t t = degree; t < 2 * degree - 1; ++t) {
        x[t] = x[t - degree] - x[t - 33];
    }
    Polynomial next;
    switch (path) {
    case SimdPath::avx512:
        combine_avx512(coefficients_, x.data(), next.data());
        break;
    case SimdPath::avx2:
        combine_avx2(coefficients_, x.data(), next.data());
        break;
    case SimdPath::scalar:
        combine_scalar(coefficients_, x.data(), next.data());
        break;
    }
    const auto turn = static_cast<std::int32_t>(distance_ % 97);
    const std::int32_t ui = ring_back(g.ui, turn);
    for (std::size_t t = 0; t < degree; ++t) {
        g.u[static_cast<std::size_t>(ring_back(ui, static_cast<std::int32_t>(t)))] = from_units(next[t] & unit_mask);
    }
    g.ui = ui;
    g.uj = ring_back(g.uj, turn);
    const std::uint32_t cd = to_units(g.cd);
    const std::uint32_t cm = to_units(g.cm);
    const auto step = static_cast<std::uint32_t>((distance_ % cm) * cd % cm);
    g.c = from_units(mod_sub(to_units(g.c), step, cm));
}
