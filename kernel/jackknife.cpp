#include "jackknife.hpp"

#include <immintrin.h>

namespace {

constexpr std::int32_t blocks = 10;

struct Edges {
    std::array<std::int32_t, blocks + 1> e;  // e[b] = (b i) / 10
};

Edges edges(std::int32_t i)
{
    Edges edges{};
    for (std::int32_t b = 0; b <= blocks; ++b) {
        edges.e[static_cast<std::size_t>(b)] = (b * i) / blocks;
    }
    return edges;
}

// Block sums 0 to 8 start as prefix[e_b]; in segment c (positions e_c to
// e_(c+1) - 1, c = 1..9) the sums b < c take each value.
void tails_scalar(const double* values, const Edges& edges, std::array<double, blocks>& sums)
{
    for (std::size_t c = 1; c < blocks; ++c) {
        for (std::int32_t k = edges.e[c]; k < edges.e[c + 1]; ++k) {
            const double v = values[k];
            for (std::size_t b = 0; b < c; ++b) {
                sums[b] = sums[b] + v;
            }
        }
    }
}

SUITE_WIDE_KERNELS_BEGIN

// Sums 0 to 3 and 4 to 7 in two vectors, switched lanes chosen by a blend
// of the old and the added value; sum 8 beside them.
SUITE_TARGET_AVX2 void tails_avx2(const double* values, const Edges& edges, std::array<double, blocks>& sums)
{
    __m256d low = _mm256_loadu_pd(sums.data());
    __m256d high = _mm256_loadu_pd(sums.data() + 4);
    double last = sums[8];
    for (std::size_t c = 1; c < blocks; ++c) {
        // Lane b of the pair is on when b < c.
        const auto on = [&](std::size_t lane) { return lane < c ? -1LL : 0LL; };
        const __m256d low_on = _mm256_castsi256_pd(_mm256_setr_epi64x(on(0), on(1), on(2), on(3)));
        const __m256d high_on = _mm256_castsi256_pd(_mm256_setr_epi64x(on(4), on(5), on(6), on(7)));
        const std::int32_t end = edges.e[c + 1];
        if (c == blocks - 1) {
            for (std::int32_t k = edges.e[c]; k < end; ++k) {
                const __m256d v = _mm256_broadcast_sd(values + k);
                low = _mm256_add_pd(low, v);
                high = _mm256_add_pd(high, v);
                last = last + values[k];
            }
        } else {
            for (std::int32_t k = edges.e[c]; k < end; ++k) {
                const __m256d v = _mm256_broadcast_sd(values + k);
                low = _mm256_blendv_pd(low, _mm256_add_pd(low, v), low_on);
                high = _mm256_blendv_pd(high, _mm256_add_pd(high, v), high_on);
            }
        }
    }
    _mm256_storeu_pd(sums.data(), low);
    _mm256_storeu_pd(sums.data() + 4, high);
    sums[8] = last;
}

// Sums 0 to 7 in one vector with masked additions; sum 8 beside it.
SUITE_TARGET_AVX512 void tails_avx512(const double* values, const Edges& edges, std::array<double, blocks>& sums)
{
    __m512d lanes = _mm512_loadu_pd(sums.data());
    double last = sums[8];
    for (std::size_t c = 1; c < blocks - 1; ++c) {
        const auto on = static_cast<__mmask8>((1u << c) - 1);
        for (std::int32_t k = edges.e[c]; k < edges.e[c + 1]; ++k) {
            lanes = _mm512_mask_add_pd(lanes, on, lanes, _mm512_set1_pd(values[k]));
        }
    }
    for (std::int32_t k = edges.e[blocks - 1]; k < edges.e[blocks]; ++k) {
        lanes = _mm512_add_pd(lanes, _mm512_set1_pd(values[k]));
        last = last + values[k];
    }
    _mm512_storeu_pd(sums.data(), lanes);
    sums[8] = last;
}

SUITE_WIDE_KERNELS_END

}  // namespace

double jackknife_error_fast(std::span<const double> values, std::span<const double> prefix, double mean,
                            SimdPath path)
{
    const auto i = static_cast<std::int32_t>(values.size());
    const Edges e = edges(i);
    std::array<double, blocks> sums{};
    for (std::size_t b = 0; b < blocks; ++b) {
        sums[b] = prefix[static_cast<std::size_t>(e.e[b])];
    }
    switch (path) {
    case SimdPath::avx512:
        tails_avx512(values.data(), e, sums);
        break;
    case SimdPath::avx2:
        tails_avx2(values.data(), e, sums);
        break;
    case SimdPath::scalar:
        tails_scalar(values.data(), e, sums);
        break;
    }
    return jackknife_error_from_sums(sums, i, mean);
}
