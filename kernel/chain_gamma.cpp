// The Gamma method: autocovariances up to an automatic window.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "chain_fourier.hpp"
#include "chain_kernels.hpp"
#include "chain_threads.hpp"
#include "suite/chain_errors.hpp"

namespace suite {

namespace {

// The direct lag sums run over chunks of this many positions; a chunk's
// sum is one number whichever thread computes it, and the chunks add in
// order.
constexpr std::size_t lag_chunk = std::size_t{1} << 14;

// Costs in nanoseconds per value and lag of the direct sums, and per
// M log2 M of the transform of padded length M (two complex transforms of
// length M/2 and the passes around them), measured on one core of an
// AVX-512 processor at 10^6 values; the direct sums take twice as long on
// AVX2, which moves the crossover but little.
constexpr double direct_cost = 0.125;
constexpr double fourier_cost = 3.4;

// The errors of rho take 2W + 1 terms a lag: at most 8193 lags, and at
// most this many terms in all, so that a long window (a drifting or
// non-stationary chain, W in the tens of thousands) costs O(W), not O(W^2).
// Windows up to 2047 keep all 8193.
constexpr std::size_t max_rho_errors = 8193;
constexpr std::size_t max_rho_error_terms = std::size_t{1} << 25;

struct Chunk {
    std::size_t offset;  // of the replica in the deviations
    std::size_t length;  // of the replica
    std::size_t begin;   // positions begin .. end of the replica
    std::size_t end;
};

// Adds the lag sums of lags first .. first + count - 1 over all replicas.
void add_direct_lag_sums(const std::vector<double>& deviations, const std::vector<Chunk>& chunks, std::size_t first,
                         std::size_t count, unsigned threads, std::vector<double>& sums)
{
    LagProducts* const kernel = lag_products_kernel();
    std::vector<double> parts(chunks.size() * count, 0.0);
    run_in_ranges(chunks.size(), threads, [&](std::size_t from, std::size_t to) {
        for (std::size_t c = from; c < to; ++c) {
            const Chunk& chunk = chunks[c];
            for (std::size_t l = 0; l < count; l += lag_batch) {
                kernel(deviations.data() + chunk.offset, chunk.length, chunk.begin, chunk.end, first + l,
                       std::min(lag_batch, count - l), parts.data() + c * count + l);
            }
        }
    });
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        for (std::size_t l = 0; l < count; ++l) {
            sums[first + l] = sums[first + l] + parts[c * count + l];
        }
    }
}

// Wolff's criterion at window w from tau_int(w) - 1/2 = sum_{t=1}^w rho(t).
bool window_ends(double rho_sum, std::size_t w, double s_factor, double n)
{
    const double wd = static_cast<double>(w);
    double tau = std::numeric_limits<double>::min();
    if (rho_sum > 0.0) {
        tau = s_factor / std::log((rho_sum + 1.0) / rho_sum);
    }
    return std::exp(-wd / tau) - tau / std::sqrt(wd * n) < 0.0;
}

}  // namespace

GammaResult gamma_analysis(std::span<const std::span<const double>> replicas, const GammaOptions& options)
{
    if (replicas.empty()) {
        throw std::invalid_argument("Gamma method: needs at least one replica");
    }
    if (!(options.s_factor > 0.0) || !std::isfinite(options.s_factor)) {
        throw std::invalid_argument("Gamma method: the window factor S must be positive");
    }
    if (options.threads < 1 || options.threads > static_cast<unsigned>(limits::max_threads)) {
        throw std::invalid_argument("Gamma method: needs 1 to " + std::to_string(limits::max_threads) + " threads");
    }
    std::size_t total = 0;
    std::size_t shortest = std::numeric_limits<std::size_t>::max();
    for (const std::span<const double> replica : replicas) {
        if (replica.size() < 2) {
            throw std::invalid_argument("Gamma method: every replica needs at least 2 values");
        }
        total += replica.size();
        shortest = std::min(shortest, replica.size());
    }
    const double n = static_cast<double>(total);
    const double r_count = static_cast<double>(replicas.size());
    // The mean: each replica's compensated sum, in order.
    double sum = 0.0;
    double carry = 0.0;
    for (const std::span<const double> replica : replicas) {
        for (const double x : replica) {
            const double t = sum + x;
            carry = carry + (std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum);
            sum = t;
        }
    }
    GammaResult result;
    result.count = total;
    result.replicas = replicas.size();
    result.mean = (sum + carry) / n;
    std::vector<double> deviations(total);
    std::vector<Chunk> chunks;
    {
        std::size_t offset = 0;
        for (const std::span<const double> replica : replicas) {
            for (std::size_t i = 0; i < replica.size(); ++i) {
                deviations[offset + i] = replica[i] - result.mean;
            }
            for (std::size_t begin = 0; begin < replica.size(); begin += lag_chunk) {
                chunks.push_back({offset, replica.size(), begin, std::min(replica.size(), begin + lag_chunk)});
            }
            offset += replica.size();
        }
    }
    const std::size_t max_lag =
        options.max_lag == 0 ? shortest / 2 : std::min(options.max_lag, shortest - 1);
    // Gamma(t) for t = 0 .. computed - 1, from the sums over all replicas.
    std::vector<double> sums(max_lag + 1, 0.0);
    std::size_t computed = 0;
    const auto gamma = [&](std::size_t t) { return sums[t] / (n - r_count * static_cast<double>(t)); };
    // The transform first pads each replica only to the power of two above
    // N_r + N_r / 32, which gives every lag below the padding; the window is
    // nearly always far shorter. Only a window beyond those lags (a drift)
    // takes a second transform, padded for all lags.
    std::size_t short_lags = sums.size();
    for (const std::span<const double> replica : replicas) {
        const std::size_t length = replica.size();
        const std::size_t padded = std::bit_ceil(length + std::max<std::size_t>(1, length / 32));
        short_lags = std::min({short_lags, length, padded - length});
    }
    double transform_cost = 0.0;
    for (const std::span<const double> replica : replicas) {
        const auto m = static_cast<double>(fourier_length(replica.size(), short_lags));
        transform_cost += fourier_cost * m * std::log2(m);
    }
    std::size_t window = 0;
    std::size_t wanted = sums.size();
    double rho_sum = 0.0;
    std::size_t checked = 0;
    const auto use_fourier = [&] {
        // All lags afresh, so that every Gamma(t) comes from one method:
        // first those of the short padding, then, if the window needs more,
        // every lag.
        const std::size_t lags = result.used_fourier ? sums.size() : short_lags;
        window = 0;
        wanted = sums.size();
        rho_sum = 0.0;
        checked = 0;
        std::fill(sums.begin(), sums.end(), 0.0);
        std::size_t offset = 0;
        for (const std::span<const double> replica : replicas) {
            add_fourier_lag_sums(std::span<const double>(deviations).subspan(offset, replica.size()),
                                 std::span<double>(sums).first(std::min(lags, replica.size())));
            offset += replica.size();
        }
        computed = lags;
        result.used_fourier = true;
    };
    // The window search runs as the lags come; the direct sums go on in
    // batches while they cost less than the transform would (so at most
    // twice the cheaper of the two), up to twice the window for the plot and
    // the errors of rho.
    if (options.lags == LagSums::fourier) {
        use_fourier();
    } else if (options.lags == LagSums::automatic) {
        // The window foreseen from the binning analysis's tau_int (one cheap
        // pass): with tau(W) ~ S tau_int, g(W) = 0 where
        // W / (S tau_int) = ln(sqrt(W N) / (S tau_int)), about
        // W ~ (S tau_int / 2) ln(N / (S tau_int)). Twice that many lags
        // directly, or the transform at once if that costs less.
        BinningAnalysis binning;
        for (const std::span<const double> replica : replicas) {
            BinningAnalysis one;
            one.add(replica);
            binning.merge(one);
        }
        const double tau = binning.result().tau_int;
        if (tau > 0.0) {
            const double scale = options.s_factor * tau;
            const double foreseen = std::min(static_cast<double>(sums.size()),
                                             2.0 * (scale / 2.0) * std::log(std::max(n / scale, 1.0)) + 1.0);
            if (direct_cost * foreseen * n > transform_cost) {
                use_fourier();
            }
        }
    }
    while (true) {
        if (computed > 0) {
            const double gamma0 = gamma(0);
            for (std::size_t w = std::max<std::size_t>(checked, 1); w < computed && window == 0; ++w) {
                rho_sum = rho_sum + gamma(w) / gamma0;
                checked = w + 1;
                if (window_ends(rho_sum, w, options.s_factor, n)) {
                    window = w;
                    wanted = std::min(sums.size(), 2 * w + 1);
                }
            }
        }
        if (computed >= wanted) {
            break;
        }
        if (result.used_fourier) {
            use_fourier();
            continue;
        }
        const std::size_t batch = computed == 0 ? 2 * lag_batch : std::max(computed, 2 * lag_batch);
        const std::size_t next = std::min(wanted, computed + batch);
        if (options.lags == LagSums::automatic &&
            direct_cost * static_cast<double>(next) * n > transform_cost) {
            use_fourier();
            continue;
        }
        add_direct_lag_sums(deviations, chunks, computed, next - computed, options.threads, sums);
        computed = next;
    }
    if (gamma(0) <= 0.0) {
        throw std::invalid_argument("Gamma method: the series is constant");
    }
    result.window_found = window > 0;
    if (window == 0) {
        window = max_lag;
    }
    const std::size_t shown = std::min(computed, 2 * window + 1);
    std::vector<double>& g = result.gamma;
    g.resize(shown);
    for (std::size_t t = 0; t < shown; ++t) {
        g[t] = gamma(t);
    }
    // The bias of Gamma(t) from the estimated mean, to leading order -C_F/N.
    const auto integrated = [&] {
        double c = 0.0;
        for (std::size_t t = window; t >= 1; --t) {
            c = c + g[t];
        }
        return g[0] + 2.0 * c;
    };
    const double bias = integrated() / n;
    for (double& value : g) {
        value = value + bias;
    }
    const double c_f = integrated();
    result.window = window;
    result.variance = g[0];
    result.tau_int = c_f / (2.0 * g[0]);
    result.error = std::sqrt(std::max(0.0, c_f) / n);
    const double wd = static_cast<double>(window);
    result.error_of_error = result.error * std::sqrt((wd + 0.5) / n);
    result.tau_int_error = 2.0 * result.tau_int * std::sqrt(std::max(0.0, wd + 0.5 - result.tau_int) / n);
    result.effective_samples = n / (2.0 * result.tau_int);
    result.rho.resize(shown);
    for (std::size_t t = 0; t < shown; ++t) {
        result.rho[t] = g[t] / g[0];
    }
    const auto rho = [&](std::size_t t) { return t < shown ? result.rho[t] : 0.0; };
    // O(W) a lag: capped, so that a long window does not cost O(W^2).
    const std::size_t error_lags =
        std::min({shown, max_rho_errors, std::max<std::size_t>(2, max_rho_error_terms / (2 * window + 1))});
    result.rho_error.assign(error_lags, 0.0);
    for (std::size_t t = 1; t < result.rho_error.size(); ++t) {
        double s = 0.0;
        for (std::size_t k = t > window ? t - window : 1; k <= t + window; ++k) {
            const double term = rho(k + t) + rho(k > t ? k - t : t - k) - 2.0 * result.rho[t] * rho(k);
            s = s + term * term;
        }
        result.rho_error[t] = std::sqrt(s / n);
    }
    return result;
}

GammaResult gamma_analysis(std::span<const double> values, const GammaOptions& options)
{
    const std::span<const double> one[] = {values};  // NOLINT(modernize-avoid-c-arrays)
    return gamma_analysis(std::span<const std::span<const double>>(one), options);
}

}  // namespace suite
