#include "bootstrap.hpp"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Sums of up to this many resamples are kept at once.
constexpr std::size_t max_resamples = 256;
// The experiment's count, whose sums fit in registers: 12 x 8 + 4.
constexpr std::size_t register_resamples = 100;

// Adds one term to each of the m sums for each of the `count` blocks of m
// indices.
void add_terms_scalar(const double* values, const std::uint32_t* index, std::size_t count, std::size_t m,
                      double* sums)
{
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* d = index + k * m;
        for (std::size_t l = 0; l < m; ++l) {
            sums[l] = sums[l] + values[d[l]];
        }
    }
}

SUITE_WIDE_KERNELS_BEGIN

// Four terms by plain loads. The processor's gather instruction is slower
// than loads on the machines this was measured on.
SUITE_TARGET_AVX2 inline __m256d load4(const double* values, const std::uint32_t* index)
{
    const __m128d low = _mm_unpacklo_pd(_mm_load_sd(values + index[0]), _mm_load_sd(values + index[1]));
    const __m128d high = _mm_unpacklo_pd(_mm_load_sd(values + index[2]), _mm_load_sd(values + index[3]));
    return _mm256_insertf128_pd(_mm256_castpd128_pd256(low), high, 1);
}

SUITE_TARGET_AVX512 inline __m512d load8(const double* values, const std::uint32_t* index)
{
    return _mm512_insertf64x4(_mm512_castpd256_pd512(load4(values, index)), load4(values, index + 4), 1);
}

SUITE_TARGET_AVX2 void add_terms_avx2(const double* values, const std::uint32_t* index, std::size_t count,
                                      std::size_t m, double* sums)
{
    const std::size_t whole = m / 4 * 4;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* d = index + k * m;
        for (std::size_t l = 0; l < whole; l += 4) {
            _mm256_storeu_pd(sums + l, _mm256_add_pd(_mm256_loadu_pd(sums + l), load4(values, d + l)));
        }
        for (std::size_t l = whole; l < m; ++l) {
            sums[l] = sums[l] + values[d[l]];
        }
    }
}

SUITE_TARGET_AVX512 void add_terms_avx512(const double* values, const std::uint32_t* index, std::size_t count,
                                          std::size_t m, double* sums)
{
    const std::size_t whole = m / 8 * 8;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* d = index + k * m;
        for (std::size_t l = 0; l < whole; l += 8) {
            _mm512_storeu_pd(sums + l, _mm512_add_pd(_mm512_loadu_pd(sums + l), load8(values, d + l)));
        }
        for (std::size_t l = whole; l < m; ++l) {
            sums[l] = sums[l] + values[d[l]];
        }
    }
}

// The experiment's 100 sums held in thirteen registers for a whole block.
SUITE_TARGET_AVX512 void add_terms_avx512_100(const double* values, const std::uint32_t* index, std::size_t count,
                                              double* sums)
{
    __m512d s0 = _mm512_loadu_pd(sums);
    __m512d s1 = _mm512_loadu_pd(sums + 8);
    __m512d s2 = _mm512_loadu_pd(sums + 16);
    __m512d s3 = _mm512_loadu_pd(sums + 24);
    __m512d s4 = _mm512_loadu_pd(sums + 32);
    __m512d s5 = _mm512_loadu_pd(sums + 40);
    __m512d s6 = _mm512_loadu_pd(sums + 48);
    __m512d s7 = _mm512_loadu_pd(sums + 56);
    __m512d s8 = _mm512_loadu_pd(sums + 64);
    __m512d s9 = _mm512_loadu_pd(sums + 72);
    __m512d s10 = _mm512_loadu_pd(sums + 80);
    __m512d s11 = _mm512_loadu_pd(sums + 88);
    __m256d s12 = _mm256_loadu_pd(sums + 96);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* d = index + k * register_resamples;
        s0 = _mm512_add_pd(s0, load8(values, d));
        s1 = _mm512_add_pd(s1, load8(values, d + 8));
        s2 = _mm512_add_pd(s2, load8(values, d + 16));
        s3 = _mm512_add_pd(s3, load8(values, d + 24));
        s4 = _mm512_add_pd(s4, load8(values, d + 32));
        s5 = _mm512_add_pd(s5, load8(values, d + 40));
        s6 = _mm512_add_pd(s6, load8(values, d + 48));
        s7 = _mm512_add_pd(s7, load8(values, d + 56));
        s8 = _mm512_add_pd(s8, load8(values, d + 64));
        s9 = _mm512_add_pd(s9, load8(values, d + 72));
        s10 = _mm512_add_pd(s10, load8(values, d + 80));
        s11 = _mm512_add_pd(s11, load8(values, d + 88));
        s12 = _mm256_add_pd(s12, load4(values, d + 96));
    }
    _mm512_storeu_pd(sums, s0);
    _mm512_storeu_pd(sums + 8, s1);
    _mm512_storeu_pd(sums + 16, s2);
    _mm512_storeu_pd(sums + 24, s3);
    _mm512_storeu_pd(sums + 32, s4);
    _mm512_storeu_pd(sums + 40, s5);
    _mm512_storeu_pd(sums + 48, s6);
    _mm512_storeu_pd(sums + 56, s7);
    _mm512_storeu_pd(sums + 64, s8);
    _mm512_storeu_pd(sums + 72, s9);
    _mm512_storeu_pd(sums + 80, s10);
    _mm512_storeu_pd(sums + 88, s11);
    _mm256_storeu_pd(sums + 96, s12);
}

SUITE_WIDE_KERNELS_END

}  // namespace

BootstrapInterval bootstrap_order_statistics(std::span<double> means)
{
    const auto at = [&](std::size_t rank) { return means.begin() + static_cast<std::ptrdiff_t>(rank); };
    std::nth_element(means.begin(), at(bootstrap_upper_rank), means.end());
    std::nth_element(means.begin(), at(bootstrap_lower_rank), at(bootstrap_upper_rank));
    return {means[bootstrap_lower_rank], means[bootstrap_upper_rank]};
}

BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           BulkDrawer& drawer, SimdPath path)
{
    const std::size_t n = values.size();
    const std::size_t m = means.size();
    std::array<double, max_resamples> sums{};
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, BulkDrawer::block> index;
    const std::size_t per_block = BulkDrawer::block / m;
    for (std::size_t k = 0; k < n;) {
        const std::size_t count = std::min(per_block, n - k);
        const std::size_t draws = count * m;
        drawer.draw_indices(index.data(), draws, static_cast<std::uint32_t>(n));
        switch (path) {
        case SimdPath::avx512:
            if (m == register_resamples) {
                add_terms_avx512_100(values.data(), index.data(), count, sums.data());
            } else {
                add_terms_avx512(values.data(), index.data(), count, m, sums.data());
            }
            break;
        case SimdPath::avx2:
            add_terms_avx2(values.data(), index.data(), count, m, sums.data());
            break;
        case SimdPath::scalar:
            add_terms_scalar(values.data(), index.data(), count, m, sums.data());
            break;
        }
        k += count;
    }
    for (std::size_t l = 0; l < m; ++l) {
        means[l] = sums[l] / static_cast<double>(n);
    }
    return bootstrap_order_statistics(means);
}

BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           UniformGenerator& g, SimdPath path)
{
    BulkDrawer drawer(g, path);
    const BootstrapInterval interval = bootstrap_interval_drawn(values, means, drawer, path);
    drawer.store(g);
    return interval;
}

namespace {

// Draws of row N, and of the gap after it.
std::uint64_t row_draws(std::int64_t row, std::int64_t resamples, std::int64_t gap)
{
    return static_cast<std::uint64_t>(row * resamples + gap);
}

// Rows [begin, end) of the engine, from `g` at row begin's first draw.
void interval_range(std::span<const double> values, UniformGenerator g, std::int64_t begin, std::int64_t end,
                    std::int64_t first_row, std::int64_t resamples, std::int64_t gap,
                    std::span<BootstrapInterval> intervals, SimdPath path)
{
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<double, max_resamples> means;
    const auto m = static_cast<std::size_t>(resamples);
    BulkDrawer drawer(g, path);
    for (std::int64_t row = begin; row < end; ++row) {
        if (row > begin) {
            drawer.discard(gap);
        }
        intervals[static_cast<std::size_t>(row - first_row)] = bootstrap_interval_drawn(
            values.first(static_cast<std::size_t>(row)), std::span(means).first(m), drawer, path);
    }
}

}  // namespace

void bootstrap_intervals(std::span<const double> values, const UniformGenerator& start, std::int64_t first_row,
                         std::int64_t resamples, std::int64_t gap, std::span<BootstrapInterval> intervals,
                         unsigned threads, SimdPath path)
{
    const std::int64_t end = first_row + static_cast<std::int64_t>(intervals.size());
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(intervals.size())));
    // Contiguous ranges of about equal work, a row's work taken as its
    // draws (the gap's stand for its fixed costs).
    std::uint64_t total = 0;
    for (std::int64_t row = first_row; row < end; ++row) {
        total += row_draws(row, resamples, gap);
    }
    std::vector<std::int64_t> bounds{first_row};
    std::vector<std::uint64_t> offsets{0};  // draws from `start` to each range's first row
    std::uint64_t done = 0;
    for (std::int64_t row = first_row; row < end && bounds.size() < threads; ++row) {
        done += row_draws(row, resamples, gap);
        if (done * threads >= total * bounds.size()) {
            bounds.push_back(row + 1);
            offsets.push_back(done);
        }
    }
    bounds.push_back(end);

    std::vector<std::thread> workers;
    for (std::size_t r = 1; r + 1 < bounds.size(); ++r) {
        UniformGenerator g = start;
        StreamJump(offsets[r]).apply(g, path);
        try {
            workers.emplace_back(interval_range, values, g, bounds[r], bounds[r + 1], first_row, resamples, gap,
                                 intervals, path);
        } catch (const std::system_error&) {
            // No thread to be had: the range is made here instead.
            interval_range(values, g, bounds[r], bounds[r + 1], first_row, resamples, gap, intervals, path);
        }
    }
    interval_range(values, start, bounds[0], bounds[1], first_row, resamples, gap, intervals, path);
    for (std::thread& worker : workers) {
        worker.join();
    }
}
