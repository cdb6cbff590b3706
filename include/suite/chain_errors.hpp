#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "suite/uniform_engine.hpp"

namespace suite {

// Error bars of the mean of a correlated series: a Markov chain's values
// x_1 .. x_N with autocovariance Gamma(t) = <(x_i - mu)(x_{i+t} - mu)>. The
// variance of the mean is
//   Var(xbar) = (1/N) sum_{|t|<N} (1 - |t|/N) Gamma(t) ~ 2 tau_int Gamma(0) / N,
//   tau_int = 1/2 + sum_{t>=1} rho(t),  rho(t) = Gamma(t) / Gamma(0),
// so the naive sigma / sqrt(N) is too small by sqrt(2 tau_int) (tau_int =
// 1/2 for independent values), and the chain holds N / (2 tau_int)
// effectively independent values. Three estimators of it follow, each with
// its own error, and a cheap check for whether the i.i.d. formulas may be
// used at all. The sums behind every estimate are the same numbers on every
// instruction set, compiler and C library, and for any number of threads;
// the C library enters only through a few decisions and quantiles (exp and
// log in the window criterion, cbrt in the automatic block length, lgamma
// in Student's t), whose last bits may differ between libraries.

// ---------------------------------------------------------------------------
// Quantiles the intervals use.

// The quantile t with P(T <= t) = probability of Student's t distribution
// with `degrees_of_freedom` > 0 (not necessarily an integer); 0 <
// probability < 1, else std::invalid_argument.
double student_t_quantile(double probability, double degrees_of_freedom);

// ---------------------------------------------------------------------------
// Binning (blocking). Level k replaces the series by the means of
// consecutive bins of 2^k values; with n_k = floor(N / 2^k) full bins, their
// sample variance s_k^2 over n_k gives the variance of the mean,
//   V_k = s_k^2 / n_k,
// which grows with k towards Var(xbar) and stays there once the bins are
// much longer than tau_int (the plateau), with relative error about
// sqrt(2 / (n_k - 1)). The level is chosen by the test of Jonsson (Phys.
// Rev. E 98 (2018) 043304): with the biased variance sigma_i^2 and the
// lag-1 autocovariance
//   gamma_i = (1 / n_i) sum_k (b_k - bbar)(b_{k+1} - bbar)
// of the bin means b at level i, the statistic
//   M_j = sum_{i=j}^{d-1} n_i [ (n_i - 1) sigma_i^2 / n_i^2 + gamma_i ]^2 / sigma_i^4
// is, once the bins at level j and above are uncorrelated, a sum of d - j
// squared standard normals (each term is the squared, bias-corrected lag-1
// correlation in units of its standard error 1/sqrt(n_i)); the level is the
// smallest j with M_j below the 99% quantile of chi^2 with d - j degrees of
// freedom. Here d counts the levels with at least 4 bins. Where the chosen
// level still lies clearly below the plateau (V_j - V_{j-1} above the
// statistical error of V_j), the leading 1/bin-size bias of an exponential
// decay, V_j - V_{j-1}, is added once more (a Richardson step from the two
// adjacent levels). The interval is mean +- t_{(1+c)/2, n_j - 1} error.
//
// Streaming: the values are shifted by the first one (so that the sums of
// squares do not cancel) and gathered in blocks of 2^10; the levels inside a
// block are summed in a fixed order of eight interleaved partial sums (on
// every instruction set alike) and each level's block totals join
// compensated (Neumaier) running sums; bins of 2^10 and more carry up one
// level at a time. Any cutting of the same values into add() calls gives the
// same bits as adding them all at once. Memory: O(log N), under 16 KB.
// result() works on a copy, which takes the buffered values one at a time.

// One level of the binning analysis.
struct BinningLevel {
    std::uint64_t bin_size = 0;       // 2^k values in a bin
    std::uint64_t bins = 0;           // n_k, full bins at this level
    double mean = 0;                  // mean of the n_k bin means
    double variance = 0;              // s_k^2, sample variance of the bin means (over n_k - 1)
    double error = 0;                 // sqrt(V_k) = s_k / sqrt(n_k): the error of the mean at this level
    double error_of_error = 0;        // error / sqrt(2 (n_k - 1))
    double lag1_autocovariance = 0;   // gamma_k of the bin means (over n_k, as in the test)
    double tau_int = 0;               // V_k N / (2 s_0^2): the level's estimate of tau_int
    double m_statistic = 0;           // Jonsson's M_k (0 for levels beyond the test's d)
};

struct BinningResult {
    std::uint64_t count = 0;           // N, all values added
    double mean = 0;                   // of all N values
    double error = 0;                  // of the mean, at the chosen level, bias-corrected where that helps
    double error_of_error = 0;         // error / sqrt(2 (n_j - 1)), 1.5 times that when corrected
    double uncorrected_error = 0;      // sqrt(V_j) without the correction
    double tau_int = 0;                // error^2 N / (2 s_0^2)
    double tau_int_error = 0;          // 2 tau_int error_of_error / error
    double effective_samples = 0;      // N / (2 tau_int)
    std::size_t level = 0;             // j, chosen by the test (bins of 2^j)
    bool plateau_found = false;        // false: no level passed, the highest tested level is used
    bool bias_corrected = false;       // whether the adjacent-level correction was applied
    double degrees_of_freedom = 0;     // n_j - 1
    double confidence = 0;             // of the interval
    double lower = 0;                  // mean - t error
    double upper = 0;                  // mean + t error
    std::vector<BinningLevel> levels;  // every level with at least 2 bins, k = 0, 1, ...
};

class BinningAnalysis {
public:
    static constexpr std::size_t block_levels = 10;  // levels summed inside a block
    static constexpr std::size_t block = std::size_t{1} << block_levels;
    static constexpr std::size_t max_levels = 64;

    void add(double value);
    void add(std::span<const double> values);

    // Adds the analysis of another, independent chain: each level's bins of
    // both join (no bin spans the two chains; the other's incomplete bins
    // are dropped), so that the result describes the two as replicas of one
    // observable. Values added afterwards continue this analysis's chain.
    void merge(const BinningAnalysis& other);

    std::uint64_t count() const { return count_; }

    // The analysis of the values so far, with the interval at `confidence`
    // (0 < c < 1); throws std::invalid_argument for a bad confidence and
    // std::logic_error for fewer than 2 values.
    BinningResult result(double confidence = 0.95) const;

private:
    // Per level: the counts and compensated sums of the shifted bin sums y
    // (bin sum minus 2^k times the shift): sum y, sum y^2, sum y_i y_{i+1}
    // over neighbours in one chain, the sum of every chain's first y and of
    // every chain's last y but the open one's, and the open chain's last y
    // (for the next pair).
    // Neumaier's compensated sum: the rounding error of each addition,
    // found exactly from the larger and the smaller addend, kept apart.
    struct Compensated {
        double sum = 0;
        double carry = 0;

        void add(double x)
        {
            const double t = sum + x;
            carry = carry + ((sum >= 0 ? sum : -sum) >= (x >= 0 ? x : -x) ? (sum - t) + x : (x - t) + sum);
            sum = t;
        }
        double value() const { return sum + carry; }
    };
    struct Level {
        std::uint64_t bins = 0;
        std::uint64_t pairs = 0;
        Compensated sum;
        Compensated squares;
        Compensated products;
        double firsts = 0;
        double lasts = 0;
        double last = 0;
        double pending = 0;  // a bin sum waiting for its partner
        bool has_pending = false;
        bool open = false;   // whether this analysis's own chain has a bin here
    };

    void add_block(const double* values);
    void add_bin(std::size_t k, double y);
    void flush();  // the buffered values one at a time (on a copy)

    std::uint64_t count_ = 0;
    double shift_ = 0;
    std::size_t levels_ = 0;      // levels with at least one bin
    std::size_t buffered_ = 0;    // values in buffer_
    std::array<Level, max_levels> level_{};
    std::array<double, block> buffer_{};
};

// The binning analysis of `values` at once (the same as add(values)).
BinningResult binning_analysis(std::span<const double> values, double confidence = 0.95);

// ---------------------------------------------------------------------------
// The Gamma method (Wolff, Comput. Phys. Commun. 156 (2004) 143). For R
// replica chains of lengths N_r (N = sum N_r) of one observable, with the
// mean abar over all values and delta = a - abar,
//   Gamma(t) = 1 / (N - R t) sum_r sum_{i=1}^{N_r - t} delta_i delta_{i+t}.
// The window W is the first with g(W) < 0,
//   g(W) = exp(-W / tau(W)) - tau(W) / sqrt(W N),
//   tau(W) = S / ln((2 tau_int(W) + 1) / (2 tau_int(W) - 1)),
//   tau_int(W) = 1/2 + sum_{t=1}^W rho(t)
// (tau(W) tiny where tau_int(W) <= 1/2), which balances the truncation bias
// exp(-W/tau) against the statistical error sqrt(W/N) for a decay of scale
// tau; S = 1.5 by default. The estimate Gamma(t) is biased by -C_F / N with
// C_F = Gamma(0) + 2 sum_{t=1}^W Gamma(t); adding C_F / N to every Gamma(t)
// corrects it to this order. Then
//   error = sqrt(C_F / N),   error_of_error = error sqrt((W + 1/2) / N),
//   tau_int = C_F / (2 Gamma(0)),   tau_int_error = 2 tau_int sqrt((W + 1/2 - tau_int) / N),
// and the error of rho(t) is (Wolff's (E.11), after Madras and Sokal)
//   drho(t)^2 = (1/N) sum_{k=max(1,t-W)}^{t+W} [rho(k+t) + rho(|k-t|) - 2 rho(t) rho(k)]^2.
//
// The lag sums are taken directly (eight interleaved partial sums over fixed
// chunks of the series, the chunks added in order: the same numbers on every
// instruction set and for any thread count) while the window is short, and
// through a fast Fourier transform of the zero-padded series when the
// number of lags makes that cheaper (a cost estimate, or forced by `lags`).
// The transform is the library's own radix-2 one, compiled without
// contraction, its twiddle factors from half-angle square roots only: the
// same numbers on every platform. The window is foreseen from a binning
// pass (W ~ (S tau_int / 2) ln(N / (S tau_int))) to choose the transform at
// once; the direct sums otherwise go on until their cost passes the
// transform's. The transform pads a replica to M, the power of two above
// N_r + N_r / 32 (below 2.07 N_r + 2), which gives every lag up to M - N_r;
// only a window needing more lags (a drift) takes a second transform, padded
// from N_r + (max lag) + 1 up (below 3 N_r + 3 by default). Memory: the
// deviations (N doubles) and 2.5 M doubles for the transform.
// (The window criterion takes exp and log of the C library: a window
// exactly on the edge could in principle fall one lag apart elsewhere.)

enum class LagSums { automatic, direct, fourier };

struct GammaOptions {
    double s_factor = 1.5;     // S of the window criterion, > 0
    std::size_t max_lag = 0;   // the longest lag considered; 0: half the shortest replica
    LagSums lags = LagSums::automatic;
    unsigned threads = 1;      // for the direct lag sums; the results do not depend on it
};

struct GammaResult {
    std::uint64_t count = 0;         // N
    std::size_t replicas = 0;        // R
    double mean = 0;                 // abar
    double error = 0;                // sqrt(C_F / N)
    double error_of_error = 0;       // error sqrt((W + 1/2) / N)
    double tau_int = 0;              // C_F / (2 Gamma(0)), bias-corrected
    double tau_int_error = 0;        // 2 tau_int sqrt((W + 1/2 - tau_int) / N)
    double effective_samples = 0;    // N / (2 tau_int)
    double variance = 0;             // Gamma(0), bias-corrected
    std::size_t window = 0;          // W
    bool window_found = false;       // false: g(W) stayed positive up to the longest lag
    bool used_fourier = false;       // whether the lag sums came from the transform
    std::vector<double> gamma;       // Gamma(t), bias-corrected, t = 0 .. min(2W, max lag)
    std::vector<double> rho;         // rho(t) = Gamma(t) / Gamma(0), same t
    std::vector<double> rho_error;   // drho(t), t = 0 .. min(2W, 8192, 2^25 / (2W + 1) - 1) (0 at t = 0)
};

// One chain. Throws std::invalid_argument for fewer than 2 values, a
// constant series (Gamma(0) = 0) or a bad option.
GammaResult gamma_analysis(std::span<const double> values, const GammaOptions& options = {});

// Replicas of one observable, each at least 2 values long.
GammaResult gamma_analysis(std::span<const std::span<const double>> replicas, const GammaOptions& options = {});

// ---------------------------------------------------------------------------
// Block bootstrap. A resample is n values made of blocks of the series,
// cut to n; its mean's standard deviation over M resamples is the error.
//   moving:     blocks of b values starting at a uniform position in 0 .. n-b;
//   circular:   starting anywhere in 0 .. n-1 and wrapping around the end;
//   stationary: circular, with lengths geometric of mean b (after each value
//               a new block starts with probability 1/b), cut to n.
// b = 1 is the i.i.d. bootstrap (then the stationary scheme draws no
// lengths: every block has length 1). A stationary length is drawn once a
// block, by inversion of the geometric distribution on a 48-bit uniform U
// (two draws): L = 1 + floor(ln U / ln(1 - 1/b)), with the C library's log
// and log1p (a length exactly on an integer edge could differ elsewhere). The automatic b is Politis and White's
// (2004, with Patton, Politis and White's 2009 correction) MSE-optimal
// length for the variance of the mean,
//   b = (2 G^2 / D)^(1/3) n^(1/3),  G = sum_{|t|<=W} |t| Gamma(t),
//   D = 4/3 C_F^2 (moving, circular),  2 C_F^2 (stationary),
// with Gamma(t), C_F and the window W of the Gamma method above in place of
// their flat-top lag window; at least 1, at most n/2.
//
// Every index is exactly uniform: a position in 0 .. m-1 takes
// ceil(log2(m) / 24) draws of the engine (each 24 bits) as one integer
// below 2^(24 u) and rejects it above the largest multiple of m. Resample r
// draws from the engine's stream starting r * 2^40 draws after the start
// (a jump), so any thread count gives the same resamples; the engine ends
// M * 2^40 draws after its start. The resample means add the block sums
// of the deviations from the mean in order, each in O(1) as the difference
// of compensated prefix sums (a running sum and its carried rounding
// errors, 16 bytes a value), which keeps a short block's sum accurate to
// its own rounding however long the chain.

enum class BlockScheme { moving, circular, stationary };

struct BlockBootstrapOptions {
    BlockScheme scheme = BlockScheme::stationary;
    std::size_t block_length = 0;  // b; 0: automatic
    std::size_t resamples = 1000;  // M, 2 .. limits::max_bootstrap_resamples
    double confidence = 0.95;      // of the percentile interval
    unsigned threads = 1;
};

struct BlockBootstrapResult {
    std::uint64_t count = 0;           // n
    double mean = 0;                   // of the series
    double error = 0;                  // standard deviation of the M resample means (over M - 1)
    double error_of_error = 0;         // error sqrt(1 / (2 (M - 1)) + b / (3 n)): resampling and blocks
    double tau_int = 0;                // error^2 n / (2 s^2), s^2 the sample variance
    double tau_int_error = 0;          // 2 tau_int error_of_error / error
    double effective_samples = 0;      // n / (2 tau_int)
    std::size_t block_length = 0;      // b used
    double lower = 0;                  // percentile interval of the sorted resample means m_(0..M-1):
    double upper = 0;                  // m_(floor((1-c) M / 2)) and m_(ceil((1+c) M / 2) - 1)
    std::vector<double> resample_means;  // in resample order
};

// Throws std::invalid_argument for fewer than 2 values, n >= 2^48, a block
// length above n or a bad option, and for a constant series when b is
// automatic (the Gamma method has nothing to measure).
BlockBootstrapResult block_bootstrap(std::span<const double> values, const BlockBootstrapOptions& options,
                                     UniformEngine& engine);

// A uniform index in 0 .. m-1 (1 <= m <= 2^48) from whole draws of the
// engine with rejection, as above.
std::uint64_t fair_index(UniformEngine& engine, std::uint64_t m);

// ---------------------------------------------------------------------------
// A cheap check, one pass of the binning analysis: whether the i.i.d.
// formulas (sigma / sqrt(N), the plain bootstrap, a few-block jackknife)
// understate the error. `correlated` when tau_int - 2 tau_int_error > 1,
// that is the naive error is too small by more than sqrt(2) beyond doubt;
// never for fewer than 2 values (tau_int then 0).
struct CorrelationCheck {
    double tau_int = 0;
    double tau_int_error = 0;
    bool correlated = false;
};

CorrelationCheck correlation_check(std::span<const double> values);
// The same check from a binning analysis already done.
CorrelationCheck correlation_check(const BinningResult& binned);
inline bool looks_correlated(std::span<const double> values) { return correlation_check(values).correlated; }

}  // namespace suite
