// Block bootstraps of the mean of a correlated series.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "chain_threads.hpp"
#include "suite/chain_errors.hpp"
#include "suite/limits.hpp"

namespace suite {

namespace {

constexpr std::uint64_t unit_bits = 24;
constexpr std::uint64_t max_index_range = std::uint64_t{1} << (2 * unit_bits);
// Draws between the starts of two resamples' streams: far more than any
// resample takes (a few per value of a series below 2^36 values).
constexpr std::uint64_t resample_stride = std::uint64_t{1} << 40;

// Fair indices below m: u whole draws (u = 1 up to 2^24, else 2) make an
// integer below R = 2^(24 u), taken modulo m when below the largest
// multiple of m that R holds, drawn again otherwise.
class FairRange {
public:
    explicit FairRange(std::uint64_t m) : m_(m)
    {
        if (m < 1 || m > max_index_range) {
            throw std::invalid_argument("fair index: the range must be 1 to 2^48");
        }
        units_ = m <= (std::uint64_t{1} << unit_bits) ? 1 : 2;
        const std::uint64_t range = std::uint64_t{1} << (unit_bits * units_);
        limit_ = range - range % m;
    }

    std::uint64_t operator()(UniformEngine& engine) const
    {
        while (true) {
            std::uint64_t u = engine();
            if (units_ == 2) {
                u = (u << unit_bits) | engine();
            }
            if (u < limit_) {
                return u % m_;
            }
        }
    }

private:
    std::uint64_t m_;
    std::uint64_t units_;
    std::uint64_t limit_;
};

// The resample's stream of block starts and, for the stationary scheme,
// block lengths L geometric of mean b, P(L > k) = (1 - 1/b)^k, by inversion:
// with U uniform in (0, 1) from 48 bits (two draws),
//   L = 1 + floor(ln U / ln(1 - 1/b)),
// since P(L > k) = P(ln U <= k ln(1 - 1/b)) = (1 - 1/b)^k. One draw pair
// a block instead of one coin flip a value. (ln and ln(1 + x) are the C
// library's: a length on the edge of an integer could differ elsewhere.)
class Draws {
public:
    Draws(UniformEngine& engine, std::uint64_t starts, std::uint64_t b)
        : engine_(engine), starts_(starts), b_(b),
          log_keep_(b > 1 ? std::log1p(-1.0 / static_cast<double>(b)) : 0.0)
    {
    }

    std::uint64_t start() { return starts_(engine_); }

    // A stationary block's length, at most `room`.
    std::size_t geometric_length(std::size_t room)
    {
        if (b_ == 1) {
            return 1;
        }
        std::uint64_t u = engine_();
        u = (u << unit_bits) | engine_();
        const double uniform = (static_cast<double>(u) + 0.5) * 0x1p-48;
        const double extra = std::floor(std::log(uniform) / log_keep_);
        if (extra >= static_cast<double>(room - 1)) {
            return room;
        }
        return 1 + static_cast<std::size_t>(extra);
    }

private:
    UniformEngine& engine_;
    FairRange starts_;
    std::uint64_t b_;
    double log_keep_;  // ln(1 - 1/b)
};

// Compensated prefix sums of the deviations: hi[i] + lo[i] is the sum of
// the first i to about one rounding of the sum itself. A plain prefix sum
// drifts by about one rounding of the running total per value, so a short
// block of a long chain far from its mean (a difference of two large,
// nearly equal totals) would lose its digits; here the difference of the
// two hi is exact where they lie within a factor two of each other
// (Sterbenz) and the lo carry the rest.
struct PrefixSums {
    std::vector<double> hi;
    std::vector<double> lo;
};

// The sum of the deviations at positions start .. start + length - 1,
// wrapping around the end.
double block_sum(const PrefixSums& p, std::size_t start, std::size_t length)
{
    const std::size_t n = p.hi.size() - 1;
    if (start + length <= n) {
        const std::size_t end = start + length;
        return (p.hi[end] - p.hi[start]) + (p.lo[end] - p.lo[start]);
    }
    const std::size_t wrapped = start + length - n;
    return ((p.hi[n] - p.hi[start]) + (p.lo[n] - p.lo[start])) + (p.hi[wrapped] + p.lo[wrapped]);
}

double resample_mean_deviation(const PrefixSums& p, BlockScheme scheme, std::size_t b, Draws& draws)
{
    const std::size_t n = p.hi.size() - 1;
    double total = 0.0;
    std::size_t filled = 0;
    while (filled < n) {
        const std::size_t room = n - filled;
        std::size_t start = 0;
        std::size_t length = 0;
        switch (scheme) {
        case BlockScheme::moving:
        case BlockScheme::circular:
            start = draws.start();
            length = std::min(b, room);
            break;
        case BlockScheme::stationary:
            start = draws.start();
            length = draws.geometric_length(room);
            break;
        }
        total = total + block_sum(p, start, length);
        filled += length;
    }
    return total / static_cast<double>(n);
}

}  // namespace

std::uint64_t fair_index(UniformEngine& engine, std::uint64_t m) { return FairRange(m)(engine); }

BlockBootstrapResult block_bootstrap(std::span<const double> values, const BlockBootstrapOptions& options,
                                     UniformEngine& engine)
{
    const std::size_t n = values.size();
    if (n < 2 || n >= max_index_range) {
        throw std::invalid_argument("block bootstrap: needs 2 to 2^48 - 1 values");
    }
    if (options.resamples < 2 || options.resamples > limits::max_bootstrap_resamples) {
        throw std::invalid_argument("block bootstrap: needs 2 to " +
                                    std::to_string(limits::max_bootstrap_resamples) + " resamples");
    }
    if (!(options.confidence > 0.0 && options.confidence < 1.0)) {
        throw std::invalid_argument("block bootstrap: the confidence must lie between 0 and 1");
    }
    if (options.block_length > n) {
        throw std::invalid_argument("block bootstrap: the block length exceeds the series");
    }
    if (options.threads < 1 || options.threads > static_cast<unsigned>(limits::max_threads)) {
        throw std::invalid_argument("block bootstrap: needs 1 to " + std::to_string(limits::max_threads) +
                                    " threads");
    }
    const double nd = static_cast<double>(n);
    std::size_t b = options.block_length;
    if (b == 0) {
        // Politis and White's length from the Gamma method's autocovariances.
        const GammaResult g = gamma_analysis(values);
        double moment = 0.0;
        for (std::size_t t = g.window; t >= 1; --t) {
            moment = moment + static_cast<double>(t) * g.gamma[t];
        }
        moment = 2.0 * moment;  // G = sum over |t| <= W of |t| Gamma(t)
        const double c_f = 2.0 * g.tau_int * g.variance;
        const double d = (options.scheme == BlockScheme::stationary ? 2.0 : 4.0 / 3.0) * c_f * c_f;
        double length = 1.0;
        if (moment > 0.0 && d > 0.0) {
            length = std::cbrt(2.0 * moment * moment / d * nd);
        }
        b = static_cast<std::size_t>(std::clamp(std::round(length), 1.0, std::max(1.0, std::floor(nd / 2.0))));
    }
    BlockBootstrapResult r;
    r.count = n;
    r.block_length = b;
    double sum = 0.0;
    double carry = 0.0;
    for (const double x : values) {
        const double t = sum + x;
        carry = carry + (std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum);
        sum = t;
    }
    r.mean = (sum + carry) / nd;
    PrefixSums prefix{std::vector<double>(n + 1, 0.0), std::vector<double>(n + 1, 0.0)};
    double squares = 0.0;
    {
        double hi = 0.0;
        double lo = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double d = values[i] - r.mean;
            const double t = hi + d;
            lo = lo + (std::fabs(hi) >= std::fabs(d) ? (hi - t) + d : (d - t) + hi);
            hi = t;
            prefix.hi[i + 1] = hi;
            prefix.lo[i + 1] = lo;
            squares = squares + d * d;
        }
    }
    const std::size_t m = options.resamples;
    r.resample_means.assign(m, 0.0);
    const UniformEngine start = engine;
    const EngineJump stride(resample_stride);
    run_in_ranges(m, options.threads, [&](std::size_t first, std::size_t last) {
        UniformEngine at = start;
        if (first > 0) {
            EngineJump(first * resample_stride).apply(at);
        }
        for (std::size_t k = first; k < last; ++k) {
            UniformEngine stream = at;
            Draws draws(stream, options.scheme == BlockScheme::moving ? n - b + 1 : n, b);
            r.resample_means[k] = r.mean + resample_mean_deviation(prefix, options.scheme, b, draws);
            if (k + 1 < last) {
                stride.apply(at);
            }
        }
    });
    EngineJump(m * resample_stride).apply(engine);
    double average = 0.0;
    for (const double mean : r.resample_means) {
        average = average + mean;
    }
    average = average / static_cast<double>(m);
    double spread = 0.0;
    for (const double mean : r.resample_means) {
        spread = spread + (mean - average) * (mean - average);
    }
    const double md = static_cast<double>(m);
    r.error = std::sqrt(spread / (md - 1.0));
    r.error_of_error = r.error * std::sqrt(1.0 / (2.0 * (md - 1.0)) + static_cast<double>(b) / (3.0 * nd));
    const double variance = squares / (nd - 1.0);
    r.tau_int = variance > 0.0 ? r.error * r.error * nd / (2.0 * variance) : 0.0;
    r.tau_int_error = r.error > 0.0 ? 2.0 * r.tau_int * r.error_of_error / r.error : 0.0;
    r.effective_samples = nd / (2.0 * r.tau_int);
    std::vector<double> sorted = r.resample_means;
    std::sort(sorted.begin(), sorted.end());
    const auto lower_rank = static_cast<std::size_t>(std::floor((1.0 - options.confidence) / 2.0 * md));
    const auto upper_rank = static_cast<std::size_t>(std::ceil((1.0 + options.confidence) / 2.0 * md));
    r.lower = sorted[std::min(lower_rank, m - 1)];
    r.upper = sorted[std::min(upper_rank == 0 ? 0 : upper_rank - 1, m - 1)];
    return r;
}

}  // namespace suite
