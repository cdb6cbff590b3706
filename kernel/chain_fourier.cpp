// Lag sums through a radix-2 fast Fourier transform of our own.
//
// Why not a library: the lag sums feed every result of the Gamma method,
// which must be the same numbers on every platform. An FFT library's build
// elsewhere decides its twiddle factors (the C library's sin and cos, not
// correctly rounded and different between glibc, MinGW and others) and its
// arithmetic (contracted into fused multiply-adds on some targets). Here
// every operation is +, -, *, / or sqrt, which IEEE 754 rounds correctly,
// compiled like the rest of the library without contraction: the same bits
// everywhere. The twiddles come from the half-angle recursion
//   cos(a/2) = sqrt((1 + cos a) / 2),  sin(a/2) = sin a / (2 cos(a/2))
// from a = pi/2 (no cancellation at small angles), and each table entry
// e^{-2 pi i j / M} is the product of the entries of j's binary digits,
// built one doubling at a time: an error of a few ulp at most.
#include "chain_fourier.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace suite {

namespace {

struct Complex {
    double re;
    double im;
};

Complex operator+(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
Complex operator-(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }
Complex operator*(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
Complex conj(Complex a) { return {a.re, -a.im}; }

// e^{-2 pi i k / M} for k < M/2, from a table of the first quarter turn
// (e^{-2 pi i (k + M/4) / M} = -i e^{-2 pi i k / M}).
class Twiddles {
public:
    explicit Twiddles(std::size_t m) : quarter_(m / 4)
    {
        table_.resize(quarter_ == 0 ? 1 : quarter_);
        table_[0] = {1.0, 0.0};
        // Angle 2 pi / 2^e for e = 2, 3, ..., log2(M): cos and sin.
        const int bits = std::countr_zero(m);
        std::vector<Complex> root(static_cast<std::size_t>(bits) + 1);
        double c = 0.0;
        double s = 1.0;
        for (int e = 2; e <= bits; ++e) {
            root[static_cast<std::size_t>(e)] = {c, -s};
            const double half_c = std::sqrt((1.0 + c) / 2.0);
            s = s / (2.0 * half_c);
            c = half_c;
        }
        // Entry j + 2^b = entry j times e^{-2 pi i 2^b / M}, angle 2 pi / 2^(bits - b).
        for (std::size_t step = 1, b = 0; step < quarter_; step *= 2, ++b) {
            const Complex w = root[static_cast<std::size_t>(bits) - b];
            for (std::size_t j = 0; j < step; ++j) {
                table_[step + j] = table_[j] * w;
            }
        }
    }

    Complex operator()(std::size_t k) const
    {
        if (k < quarter_) {
            return table_[k];
        }
        const Complex t = table_[k - quarter_];
        return {t.im, -t.re};
    }

private:
    std::size_t quarter_;
    std::vector<Complex> table_;
};

// In-place transform of length l = M/2, forward (e^{-...}) or inverse
// (e^{+...}, unscaled): bit reversal, then butterflies of growing span.
void transform(std::vector<Complex>& a, const Twiddles& w, bool inverse)
{
    const std::size_t l = a.size();
    for (std::size_t i = 1, j = 0; i < l; ++i) {
        std::size_t bit = l >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    // Each stage's twiddles copied out in order, so that the butterflies
    // read them contiguously.
    std::vector<Complex> stage(l / 2);
    for (std::size_t span = 1; span < l; span *= 2) {
        // e^{-2 pi i j / (2 span)} = twiddle index j * M / (2 span) = j * l / span.
        const std::size_t stride = l / span;
        for (std::size_t j = 0; j < span; ++j) {
            stage[j] = inverse ? conj(w(j * stride)) : w(j * stride);
        }
        for (std::size_t start = 0; start < l; start += 2 * span) {
            Complex* const low = a.data() + start;
            Complex* const high = low + span;
            for (std::size_t j = 0; j < span; ++j) {
                const Complex u = low[j];
                const Complex v = high[j] * stage[j];
                low[j] = u + v;
                high[j] = u - v;
            }
        }
    }
}

}  // namespace

std::size_t fourier_length(std::size_t n, std::size_t lags)
{
    if (n > (std::size_t{1} << 60) || lags > n) {
        throw std::length_error("lag sums: series too long for the transform");
    }
    return std::max<std::size_t>(4, std::bit_ceil(n + lags));
}

void add_fourier_lag_sums(std::span<const double> d, std::span<double> sums)
{
    const std::size_t n = d.size();
    if (n == 0 || sums.size() > n) {
        throw std::invalid_argument("lag sums: more lags than values");
    }
    const std::size_t m = fourier_length(n, sums.size());
    const std::size_t l = m / 2;
    const Twiddles w(m);
    std::vector<Complex> z(l, Complex{0.0, 0.0});
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 2 == 0) {
            z[i / 2].re = d[i];
        } else {
            z[i / 2].im = d[i];
        }
    }
    transform(z, w, false);
    // X_k = E_k + W^k O_k with E_k = (Z_k + conj Z_{l-k}) / 2 and
    // O_k = (Z_k - conj Z_{l-k}) / 2i the transforms of the even and the odd
    // values; the power P_k = |X_k|^2 for k = 0 .. l, P_{M-k} = P_k.
    std::vector<double> power(l + 1);
    for (std::size_t k = 0; k <= l / 2; ++k) {
        const Complex a = z[k];
        const Complex b = conj(z[k == 0 ? 0 : l - k]);
        const Complex even = {(a.re + b.re) / 2.0, (a.im + b.im) / 2.0};
        const Complex odd = {(a.im - b.im) / 2.0, -(a.re - b.re) / 2.0};
        const Complex wo = w(k) * odd;
        const Complex low = even + wo;   // X_k
        const Complex high = even - wo;  // X_{k+l} = conj X_{l-k}
        power[k] = low.re * low.re + low.im * low.im;
        power[l - k] = high.re * high.re + high.im * high.im;
    }
    // Back: the even and odd outputs of the length-M inverse are the length-l
    // inverses of E'_k = P_k + P_{k+l} and O'_k = (P_k - P_{k+l}) W^{-k},
    // packed as E' + i O'; P_{k+l} = P_{l-k}.
    for (std::size_t k = 0; k < l; ++k) {
        const double p = power[k];
        const double q = power[l - k];
        const Complex odd = conj(w(k)) * Complex{p - q, 0.0};
        z[k] = {(p + q) - odd.im, odd.re};
    }
    transform(z, w, true);
    const double scale = 1.0 / static_cast<double>(m);  // a power of two: exact
    for (std::size_t t = 0; t < sums.size(); ++t) {
        const double v = t % 2 == 0 ? z[t / 2].re : z[t / 2].im;
        sums[t] = sums[t] + v * scale;
    }
}

}  // namespace suite
