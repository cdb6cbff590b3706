// The streaming binning analysis and the check for correlation built on it.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "chain_kernels.hpp"
#include "suite/chain_errors.hpp"

namespace suite {

static_assert(BinningAnalysis::block_levels == binning_block_levels);
static_assert(BinningAnalysis::block == binning_block_length);

namespace {

// The 99% quantiles of chi^2 with 1 .. 64 degrees of freedom.
constexpr std::array<double, BinningAnalysis::max_levels> chi_square_99 = {
    6.6348966010212145, 9.2103403719761801, 11.344866730144373, 13.276704135987622, 15.086272469388989,
    16.811893829770927, 18.475306906582357, 20.090235029663233, 21.665994333461924, 23.209251158954356,
    24.724970311318277, 26.216967305535853, 27.688249610457049, 29.141237740672796, 30.577914166892491,
    31.999926908815176, 33.408663605004612, 34.805305734705065, 36.190869129270041, 37.566234786625067,
    38.932172683516072, 40.289360437593864, 41.638398118858476, 42.979820139351652, 44.314104896219149,
    45.641682666283167, 46.962942124751436, 48.278235770315483, 49.587884472898807, 50.892181311517071,
    52.191394833191929, 53.485771836235351, 54.775539760110348, 56.060908747789057, 57.342073433859198,
    58.619214501687061, 59.892500045086891, 61.1620867636897, 62.428121016184903, 63.690739751564465,
    64.950071335211206, 66.206236283993221, 67.459347922325819, 68.709512969345397, 69.956832065838142,
    71.201400248311487, 72.443307376548233, 73.682638520105726, 74.919474308478158, 76.153891249012702,
    77.385962016137356, 78.615755715002507, 79.843338122251453, 81.068771906297101, 82.292116829199671,
    83.513429931989464, 84.732765705063926, 85.95017624510335, 87.165711399787568, 88.37941890144937,
    89.591344490687121, 90.801532030838715, 92.010023614132137, 93.216859660238427};

// Levels the test takes: enough bins for a variance and a lag-1 covariance.
constexpr std::uint64_t tested_bins = 4;

}  // namespace

void BinningAnalysis::add(double value)
{
    if (count_ == 0 && buffered_ == 0) {
        shift_ = value;
    }
    buffer_[buffered_] = value;
    ++buffered_;
    ++count_;
    if (buffered_ == block) {
        add_block(buffer_.data());
        buffered_ = 0;
    }
}

void BinningAnalysis::add(std::span<const double> values)
{
    if (values.empty()) {
        return;
    }
    if (count_ == 0 && buffered_ == 0) {
        shift_ = values[0];
    }
    std::size_t i = 0;
    if (buffered_ > 0) {
        const std::size_t take = std::min(values.size(), block - buffered_);
        std::copy_n(values.begin(), take, buffer_.begin() + static_cast<std::ptrdiff_t>(buffered_));
        buffered_ += take;
        i = take;
        if (buffered_ == block) {
            add_block(buffer_.data());
            buffered_ = 0;
        }
    }
    for (; values.size() - i >= block; i += block) {
        add_block(values.data() + i);
    }
    std::copy(values.begin() + static_cast<std::ptrdiff_t>(i), values.end(), buffer_.begin());
    buffered_ += values.size() - i;
    count_ += values.size();
}

void BinningAnalysis::add_block(const double* values)
{
    BinningBlock* const kernel = binning_block_kernel();
    // The block's first bin at each level, for a chain's first bins (the
    // same pair sums as the kernel's).
    std::array<double, block_levels> first{};
    if (!level_[block_levels - 1].open) {
        std::array<double, block> y;  // NOLINT(cppcoreguidelines-pro-type-member-init) written first
        for (std::size_t i = 0; i < block; ++i) {
            y[i] = values[i] - shift_;
        }
        for (std::size_t k = 0, m = block; k < block_levels; ++k, m /= 2) {
            first[k] = y[0];
            for (std::size_t i = 0; i < m / 2; ++i) {
                y[i] = y[2 * i] + y[2 * i + 1];
            }
        }
    }
    std::array<double, block_levels> last{};
    for (std::size_t k = 0; k < block_levels; ++k) {
        last[k] = level_[k].open ? level_[k].last : 0.0;
    }
    BinningBlockSums sums;  // NOLINT(cppcoreguidelines-pro-type-member-init) the kernel writes it
    kernel(values, shift_, last, sums);
    for (std::size_t k = 0; k < block_levels; ++k) {
        Level& level = level_[k];
        const std::uint64_t m = block >> k;
        level.bins += m;
        if (level.open) {
            level.pairs += m;
        } else {
            level.pairs += m - 1;
            level.firsts = level.firsts + first[k];
            level.open = true;
        }
        level.sum.add(sums.sum[k]);
        level.squares.add(sums.squares[k]);
        level.products.add(sums.products[k]);
        level.last = last[k];
    }
    levels_ = std::max(levels_, block_levels);
    add_bin(block_levels, sums.total);
}

void BinningAnalysis::add_bin(std::size_t k, double y)
{
    // Bins beyond the last level would need 2^64 values.
    for (; k < max_levels; ++k) {
        Level& level = level_[k];
        ++level.bins;
        level.sum.add(y);
        level.squares.add(y * y);
        if (level.open) {
            level.products.add(level.last * y);
            ++level.pairs;
        } else {
            level.firsts = level.firsts + y;
            level.open = true;
        }
        level.last = y;
        levels_ = std::max(levels_, k + 1);
        if (!level.has_pending) {
            level.pending = y;
            level.has_pending = true;
            return;
        }
        level.has_pending = false;
        y = level.pending + y;
    }
}

void BinningAnalysis::flush()
{
    for (std::size_t i = 0; i < buffered_; ++i) {
        add_bin(0, buffer_[i] - shift_);
    }
    buffered_ = 0;
}

void BinningAnalysis::merge(const BinningAnalysis& other)
{
    BinningAnalysis o = other;
    o.flush();
    if (o.count_ == 0) {
        return;
    }
    if (count_ == 0) {
        shift_ = o.shift_;
    }
    // The other's bin sums y' = y + 2^k (shift' - shift) in this shift.
    const double d = o.shift_ - shift_;
    for (std::size_t k = 0; k < o.levels_; ++k) {
        const Level& from = o.level_[k];
        Level& to = level_[k];
        const double dk = std::ldexp(d, static_cast<int>(k));
        const double n = static_cast<double>(from.bins);
        const double pairs = static_cast<double>(from.pairs);
        const double chains = n - pairs;
        const double s = from.sum.value();
        const double lasts = from.lasts + (from.open ? from.last : 0.0);
        const double left = s - lasts;        // sum of the left members of pairs
        const double right = s - from.firsts; // and of the right ones
        to.bins += from.bins;
        to.pairs += from.pairs;
        to.sum.add(from.sum.sum);
        to.sum.add(from.sum.carry);
        to.sum.add(n * dk);
        to.squares.add(from.squares.sum);
        to.squares.add(from.squares.carry);
        to.squares.add(2.0 * dk * s);
        to.squares.add(n * dk * dk);
        to.products.add(from.products.sum);
        to.products.add(from.products.carry);
        to.products.add(dk * (left + right));
        to.products.add(pairs * dk * dk);
        to.firsts = to.firsts + (from.firsts + chains * dk);
        to.lasts = to.lasts + (lasts + chains * dk);
    }
    levels_ = std::max(levels_, o.levels_);
    count_ += o.count_;
}

BinningResult BinningAnalysis::result(double confidence) const
{
    if (!(confidence > 0.0 && confidence < 1.0)) {
        throw std::invalid_argument("binning analysis: the confidence must lie between 0 and 1");
    }
    if (count_ < 2) {
        throw std::logic_error("binning analysis: needs at least 2 values");
    }
    BinningAnalysis all = *this;
    all.flush();
    BinningResult r;
    r.count = count_;
    r.confidence = confidence;
    const double total = static_cast<double>(count_);
    struct Moments {
        double n;
        double deviations;   // sum of squared deviations from the level's mean
        double lag1;         // sum of products of neighbouring deviations
    };
    std::vector<Moments> moments;
    for (std::size_t k = 0; k < all.levels_ && all.level_[k].bins >= 2; ++k) {
        const Level& level = all.level_[k];
        const double n = static_cast<double>(level.bins);
        const double s = level.sum.value();
        const double mean = s / n;
        // The open chain's last bin ends a chain too.
        const double lasts = level.lasts + (level.open ? level.last : 0.0);
        const double left = s - lasts;
        const double right = s - level.firsts;
        const double deviations = std::max(0.0, level.squares.value() - s * mean);
        const double lag1 = level.products.value() - mean * (left + right) + static_cast<double>(level.pairs) * mean * mean;
        moments.push_back({n, deviations, lag1});
        BinningLevel out;
        out.bin_size = std::uint64_t{1} << k;
        out.bins = level.bins;
        const double scale = std::ldexp(1.0, -static_cast<int>(k));  // bin sum to bin mean
        out.mean = all.shift_ + mean * scale;
        out.variance = deviations / (n - 1.0) * scale * scale;
        out.error = std::sqrt(out.variance / n);
        out.error_of_error = out.error / std::sqrt(2.0 * (n - 1.0));
        out.lag1_autocovariance = lag1 / n * scale * scale;
        r.levels.push_back(out);
    }
    const double variance0 = r.levels[0].variance;
    r.mean = r.levels[0].mean;
    for (BinningLevel& level : r.levels) {
        level.tau_int = variance0 > 0.0 ? level.error * level.error * total / (2.0 * variance0)
                                        : std::numeric_limits<double>::quiet_NaN();
    }
    // Jonsson's statistic over the tested levels, from the top down.
    std::size_t d = 0;
    while (d < moments.size() && moments[d].n >= static_cast<double>(tested_bins)) {
        ++d;
    }
    double m = 0.0;
    for (std::size_t i = d; i-- > 0;) {
        const Moments& mo = moments[i];
        if (mo.deviations > 0.0) {
            // [(n - 1) sigma^2 / n^2 + gamma] / sigma^2 with sigma^2 = dev / n, gamma = lag1 / n.
            const double ratio = (mo.n - 1.0) / (mo.n * mo.n) + mo.lag1 / mo.deviations;
            m = m + mo.n * ratio * ratio;
        }
        r.levels[i].m_statistic = m;
    }
    std::size_t level = d == 0 ? 0 : d - 1;
    for (std::size_t j = 0; j < d; ++j) {
        if (r.levels[j].m_statistic < chi_square_99[d - j - 1]) {
            level = j;
            r.plateau_found = true;
            break;
        }
    }
    const BinningLevel& chosen = r.levels[level];
    r.level = level;
    r.degrees_of_freedom = static_cast<double>(chosen.bins) - 1.0;
    r.uncorrected_error = chosen.error;
    double variance = chosen.error * chosen.error;
    r.error_of_error = chosen.error_of_error;
    if (level > 0) {
        // Below the plateau the bias of an exponential decay is -c / 2^j:
        // V_j - V_{j-1} estimates it where it stands out of the noise.
        const double below = r.levels[level - 1].error * r.levels[level - 1].error;
        const double step = variance - below;
        if (step > 2.0 * chosen.error * chosen.error_of_error) {
            variance = variance + step;
            r.bias_corrected = true;
        }
    }
    r.error = std::sqrt(variance);
    if (r.bias_corrected) {
        r.error_of_error = 1.5 * r.error / std::sqrt(2.0 * r.degrees_of_freedom);
    }
    r.tau_int = variance0 > 0.0 ? variance * total / (2.0 * variance0) : std::numeric_limits<double>::quiet_NaN();
    r.tau_int_error = r.error > 0.0 ? 2.0 * r.tau_int * r.error_of_error / r.error : 0.0;
    r.effective_samples = total / (2.0 * r.tau_int);
    const double t = student_t_quantile((1.0 + confidence) / 2.0, r.degrees_of_freedom);
    r.lower = r.mean - t * r.error;
    r.upper = r.mean + t * r.error;
    return r;
}

BinningResult binning_analysis(std::span<const double> values, double confidence)
{
    BinningAnalysis analysis;
    analysis.add(values);
    return analysis.result(confidence);
}

CorrelationCheck correlation_check(std::span<const double> values)
{
    if (values.size() < 2) {
        return {};
    }
    return correlation_check(binning_analysis(values));
}

CorrelationCheck correlation_check(const BinningResult& binned)
{
    CorrelationCheck check;
    check.tau_int = binned.tau_int;
    check.tau_int_error = binned.tau_int_error;
    check.correlated = binned.tau_int - 2.0 * binned.tau_int_error > 1.0;
    return check;
}

}  // namespace suite
