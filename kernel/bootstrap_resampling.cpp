#include "bootstrap_resampling.hpp"

#include <algorithm>
#include <array>
#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "growing_series.hpp"
#include "resample_kernels.hpp"

namespace suite {

namespace {

// Threads joined however the scope that started them ends. Room for all
// is made up front, so that only starting one can fail; work that gets no
// thread is done by the caller instead.
class JoinedThreads {
public:
    explicit JoinedThreads(std::size_t most) { threads_.reserve(most); }
    ~JoinedThreads() { join(); }
    JoinedThreads(const JoinedThreads&) = delete;
    JoinedThreads& operator=(const JoinedThreads&) = delete;
    JoinedThreads(JoinedThreads&&) = delete;
    JoinedThreads& operator=(JoinedThreads&&) = delete;

    template <class Work>
    void start(const Work& work)
    {
        try {
            threads_.emplace_back(work);
        } catch (const std::system_error&) {
            work();
        }
    }

    void join()
    {
        for (std::thread& thread : threads_) {
            thread.join();
        }
        threads_.clear();
    }

private:
    std::vector<std::thread> threads_;
};

}  // namespace

void BootstrapPlan::check() const
{
    if (resamples < 1 || resamples > max_bootstrap_resamples || lower_rank > upper_rank || upper_rank >= resamples) {
        throw std::invalid_argument("bootstrap: needs 1 to " + std::to_string(max_bootstrap_resamples) +
                                    " resamples and ranks lower <= upper < resamples, not " +
                                    std::to_string(resamples) + " resamples and ranks " +
                                    std::to_string(lower_rank) + ", " + std::to_string(upper_rank));
    }
}

BootstrapInterval bootstrap_order_statistics(std::span<double> means, const BootstrapPlan& plan)
{
    const auto at = [&](std::size_t rank) { return means.begin() + static_cast<std::ptrdiff_t>(rank); };
    std::nth_element(means.begin(), at(plan.upper_rank), means.end());
    std::nth_element(means.begin(), at(plan.lower_rank), at(plan.upper_rank));
    return {means[plan.lower_rank], means[plan.upper_rank]};
}

void add_resample_sums(std::span<const double> values, std::span<double> sums, std::size_t first,
                       std::size_t width, BulkDrawer& drawer, IndexDraw draw)
{
    AddResampleTerms* const add_terms = add_resample_terms_kernel();
    const std::size_t n = values.size();
    const std::size_t m = sums.size();
    const auto draw_indices = [&drawer, draw, range = static_cast<std::uint32_t>(n)](std::uint32_t* out,
                                                                                      std::size_t count) {
        if (draw == IndexDraw::fair) {
            drawer.draw_fair_indices(out, count, range);
        } else {
            drawer.draw_indices(out, count, range);
        }
    };
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, BulkDrawer::block> index;
    if (m <= BulkDrawer::block) {
        const std::size_t per_block = BulkDrawer::block / m;
        for (std::size_t k = 0; k < n;) {
            const std::size_t count = std::min(per_block, n - k);
            draw_indices(index.data(), count * m);
            add_terms(values.data(), index.data() + first, count, m, width, sums.data() + first);
            k += count;
        }
    } else {
        // One sample's draws for all resamples span several blocks: each
        // part adds one term to those of its resamples that are kept.
        for (std::size_t k = 0; k < n; ++k) {
            for (std::size_t l = 0; l < m; l += BulkDrawer::block) {
                const std::size_t part = std::min(BulkDrawer::block, m - l);
                draw_indices(index.data(), part);
                const std::size_t begin = std::max(l, first);
                const std::size_t end = std::min(l + part, first + width);
                if (begin < end) {
                    add_terms(values.data(), index.data() + (begin - l), 1, part, end - begin, sums.data() + begin);
                }
            }
        }
    }
}

namespace {

// The interval of resample sums of n terms each, dividing them in place.
BootstrapInterval interval_of_sums(std::span<double> sums, std::size_t n, const BootstrapPlan& plan)
{
    for (double& sum : sums) {
        sum = sum / static_cast<double>(n);
    }
    return bootstrap_order_statistics(sums, plan);
}

}  // namespace

BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           const BootstrapPlan& plan, BulkDrawer& drawer)
{
    // The sums live in `means` until they are divided.
    std::fill(means.begin(), means.end(), 0.0);
    add_resample_sums(values, means, 0, means.size(), drawer, IndexDraw::scaled);
    return interval_of_sums(means, values.size(), plan);
}

namespace {

void check_series(std::span<const double> values)
{
    if (values.empty() || values.size() > max_bootstrap_values) {
        throw std::invalid_argument("bootstrap: needs 1 to " + std::to_string(max_bootstrap_values) +
                                    " values, not " + std::to_string(values.size()));
    }
}

}  // namespace

BootstrapInterval bootstrap_interval(std::span<const double> values, const BootstrapPlan& plan,
                                     UniformEngine& engine, unsigned threads)
{
    plan.check();
    check_series(values);
    const std::size_t m = plan.resamples;
    std::vector<double> means(m, 0.0);
    // Each thread draws the whole stream and keeps the sums of its own
    // resamples: a block of whole vectors (eight) of them, so that every
    // part but the last is a multiple of the widest vector. Below about
    // 2^18 draws a thread costs more than it saves.
    constexpr std::size_t lanes = 8;
    constexpr std::size_t draws_per_thread = std::size_t{1} << 18;
    const std::size_t draws = values.size() * m;
    const std::size_t parts = std::max<std::size_t>(
        1, std::min({static_cast<std::size_t>(threads), (m + lanes - 1) / lanes, draws / draws_per_thread}));
    const auto part_begin = [&](std::size_t r) { return r == parts ? m : (m * r / parts) / lanes * lanes; };
    JoinedThreads workers(parts - 1);
    for (std::size_t r = 1; r < parts; ++r) {
        const auto sum_part = [&values, &means, first = part_begin(r), width = part_begin(r + 1) - part_begin(r),
                               start = engine] {
            BulkDrawer drawer(start);
            add_resample_sums(values, means, first, width, drawer, IndexDraw::fair);
        };
        workers.start(sum_part);
    }
    BulkDrawer drawer(engine);
    add_resample_sums(values, means, 0, part_begin(1), drawer, IndexDraw::fair);
    drawer.store(engine);
    workers.join();
    return interval_of_sums(means, values.size(), plan);
}

namespace {

// Draws of row N, and of the gap after it.
std::uint64_t row_draws(std::int64_t row, std::int64_t resamples, std::int64_t gap)
{
    return static_cast<std::uint64_t>(row * resamples + gap);
}

// Rows [begin, end) of the engine, from `g` at row begin's first draw.
void interval_range(std::span<const double> values, const UniformEngine& g, std::int64_t begin, std::int64_t end,
                    std::int64_t first_row, const BootstrapPlan& plan, std::int64_t gap,
                    std::span<BootstrapInterval> intervals)
{
    std::vector<double> means(plan.resamples);
    BulkDrawer drawer(g);
    for (std::int64_t row = begin; row < end; ++row) {
        if (row > begin) {
            drawer.discard(gap);
        }
        intervals[static_cast<std::size_t>(row - first_row)] = bootstrap_interval_drawn(
            values.first(static_cast<std::size_t>(row)), means, plan, drawer);
    }
}

}  // namespace

void bootstrap_intervals(std::span<const double> values, const UniformEngine& start, std::int64_t first_row,
                         const BootstrapPlan& plan, std::int64_t gap, std::span<BootstrapInterval> intervals,
                         unsigned threads)
{
    plan.check();
    if (first_row < 1 || gap < 0 ||
        static_cast<std::uint64_t>(first_row) + intervals.size() - 1 > values.size() ||
        values.size() > max_bootstrap_values) {
        throw std::invalid_argument("bootstrap_intervals: the rows must lie within the series");
    }
    const auto resamples = static_cast<std::int64_t>(plan.resamples);
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

    // A worker's failure (its scratch not to be had) is handed to the
    // caller once all have stopped; the threads join however this ends.
    std::vector<std::exception_ptr> failures(bounds.size());
    JoinedThreads workers(bounds.size());
    for (std::size_t r = 1; r + 1 < bounds.size(); ++r) {
        if (bounds[r] == bounds[r + 1]) {
            continue;
        }
        UniformEngine g = start;
        EngineJump(offsets[r]).apply(g);
        const auto make_range = [&, r, g] {
            try {
                interval_range(values, g, bounds[r], bounds[r + 1], first_row, plan, gap, intervals);
            } catch (...) {
                failures[r] = std::current_exception();
            }
        };
        workers.start(make_range);
    }
    interval_range(values, start, bounds[0], bounds[1], first_row, plan, gap, intervals);
    workers.join();
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

}  // namespace suite
