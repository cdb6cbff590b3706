#include "bootstrap.hpp"

#include "resample_kernels.hpp"

#include <algorithm>
#include <array>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Sums of up to this many resamples are kept at once.
constexpr std::size_t max_resamples = 256;

}  // namespace

BootstrapInterval bootstrap_order_statistics(std::span<double> means)
{
    const auto at = [&](std::size_t rank) { return means.begin() + static_cast<std::ptrdiff_t>(rank); };
    std::nth_element(means.begin(), at(bootstrap_upper_rank), means.end());
    std::nth_element(means.begin(), at(bootstrap_lower_rank), at(bootstrap_upper_rank));
    return {means[bootstrap_lower_rank], means[bootstrap_upper_rank]};
}

BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           BulkDrawer& drawer)
{
    AddResampleTerms* const add_terms = add_resample_terms_kernel();
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
        add_terms(values.data(), index.data(), count, m, sums.data());
        k += count;
    }
    for (std::size_t l = 0; l < m; ++l) {
        means[l] = sums[l] / static_cast<double>(n);
    }
    return bootstrap_order_statistics(means);
}

BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           UniformGenerator& g)
{
    BulkDrawer drawer(g);
    const BootstrapInterval interval = bootstrap_interval_drawn(values, means, drawer);
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
                    std::span<BootstrapInterval> intervals)
{
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<double, max_resamples> means;
    const auto m = static_cast<std::size_t>(resamples);
    BulkDrawer drawer(g);
    for (std::int64_t row = begin; row < end; ++row) {
        if (row > begin) {
            drawer.discard(gap);
        }
        intervals[static_cast<std::size_t>(row - first_row)] = bootstrap_interval_drawn(
            values.first(static_cast<std::size_t>(row)), std::span(means).first(m), drawer);
    }
}

}  // namespace

void bootstrap_intervals(std::span<const double> values, const UniformGenerator& start, std::int64_t first_row,
                         std::int64_t resamples, std::int64_t gap, std::span<BootstrapInterval> intervals,
                         unsigned threads)
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
        StreamJump(offsets[r]).apply(g);
        try {
            workers.emplace_back(interval_range, values, g, bounds[r], bounds[r + 1], first_row, resamples, gap,
                                 intervals);
        } catch (const std::system_error&) {
            // No thread to be had: the range is made here instead.
            interval_range(values, g, bounds[r], bounds[r + 1], first_row, resamples, gap, intervals);
        }
    }
    interval_range(values, start, bounds[0], bounds[1], first_row, resamples, gap, intervals);
    for (std::thread& worker : workers) {
        worker.join();
    }
}
