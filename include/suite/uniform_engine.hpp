#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <random>
#include <span>

#include "suite/limits.hpp"

namespace suite {

// The universal uniform generator as a standard random number engine: a
// lagged subtractive Fibonacci sequence with lags 97 and 33, combined with a
// subtractive arithmetic sequence modulo 16777213/2^24.
//
// Every value the historic single-precision generator holds or returns is an
// integer multiple of 2^-24 in [0, 1), and all of its arithmetic is exact, so
// the engine keeps the same numbers as integer counts of 2^-24 ("units"):
// with x_n the n-th value of the lagged table,
//   x_n = (x_{n-97} - x_{n-33}) mod 2^24,
//   C_n = C_{n-1} - 7654321, plus 16777213 if that is negative,
//   value_n = (x_n - C_n) mod 2^24,
// since a difference of two values in [0, 1) lies in (-1, 1) and adding 1 to
// a negative one is a reduction mod 1. operator() returns value_n; the
// historic value is value_n * 2^-24 (`to_float`), exact in single precision,
// and widens exactly to double (`to_double`). The stream is therefore the
// same on every machine, compiler and optimisation level.
//
// It models std::uniform_random_bit_generator with 24 random bits a call, so
// the distributions of <random> take it as they take std::mt19937.
class UniformEngine {
public:
    using result_type = std::uint32_t;

    static constexpr std::int64_t max_seed = limits::max_seed;
    static constexpr std::int64_t default_seed = 0;
    static constexpr std::size_t lag_long = 97;
    static constexpr std::size_t lag_short = 33;

    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return (result_type{1} << 24) - 1; }

    // The stream of the default seed, 0.
    UniformEngine() : UniformEngine(default_seed) {}

    // The stream of `seed` in [0, max_seed]; throws std::invalid_argument
    // for any other seed.
    explicit UniformEngine(std::int64_t seed) { this->seed(seed); }

    // Restarts the stream from `seed` (same range; on a bad seed it throws
    // and the state is unchanged).
    void seed(std::int64_t seed);

    // The next value, in units of 2^-24.
    result_type operator()()
    {
        std::uint32_t x = (lag_[ui_] - lag_[uj_]) & unit_mask;
        lag_[ui_] = x;
        ui_ = ui_ == 0 ? lag_long - 1 : ui_ - 1;
        uj_ = uj_ == 0 ? lag_long - 1 : uj_ - 1;
        c_ = c_ >= c_decrement ? c_ - c_decrement : c_ - c_decrement + c_modulus;
        x = (x - c_) & unit_mask;
        return x;
    }

    // The next value as the historic generator returns it, and widened.
    float next_float() { return to_float((*this)()); }
    double next_double() { return to_double((*this)()); }

    // A value in units as the historic float, and as double (both exact).
    static constexpr float to_float(result_type units) { return static_cast<float>(units) * 0x1p-24f; }
    static constexpr double to_double(result_type units) { return static_cast<double>(units) * 0x1p-24; }

    // Skips n values in O(log n) (a jump: see EngineJump).
    void discard(unsigned long long n);

    // Fills `out` with the next out.size() values, many at a time on the
    // widest instruction set of the processor: the same values, and the
    // same final state, as out.size() calls of operator().
    void generate(std::span<result_type> out);

    friend bool operator==(const UniformEngine&, const UniformEngine&) = default;

    // The state as text (the arithmetic term, the two lag positions and the
    // 97 table entries, in decimal units, separated by spaces) and back,
    // decimal whatever the stream's flags, which are left as they were; a
    // stream that does not hold a valid state sets failbit and leaves the
    // engine unchanged.
    friend std::ostream& operator<<(std::ostream& out, const UniformEngine& engine);
    friend std::istream& operator>>(std::istream& in, UniformEngine& engine);

private:
    static constexpr std::uint32_t unit_mask = 0xFFFFFFu;
    static constexpr std::uint32_t c_decrement = 7654321;
    static constexpr std::uint32_t c_modulus = 16777213;

    friend class EngineAccess;  // the bulk loops and jumps of the library

    // lag_[p] is the historic table's entry p + 1; ui_ and uj_ are the
    // positions of the values 97 and 33 draws back, counted from 0.
    std::array<std::uint32_t, lag_long> lag_{};
    std::uint32_t c_ = 0;
    std::size_t ui_ = 0;
    std::size_t uj_ = 0;
};

static_assert(std::uniform_random_bit_generator<UniformEngine>);

// A jump ahead by a fixed number of draws. The lagged part is linear:
// x_{n+97} = x_n - x_{n+64}, so modulo 2^24 the shift by one draw acts on
// the 97 most recent values as z does on polynomials modulo z^97 + z^64 - 1.
// If z^J = sum_t a_t z^t modulo that polynomial, then
// x_{n+J} = sum_t a_t x_{n+t} for every n; the arithmetic term jumps by
// J * 7654321 modulo 16777213. A jump costs a polynomial power once and
// 97 x 97 products per use, however far it goes.
class EngineJump {
public:
    // A jump of `distance` draws (z^distance by repeated squaring).
    explicit EngineJump(std::uint64_t distance);

    std::uint64_t distance() const { return distance_; }

    // Makes the jump `extra` draws longer: a multiplication by z^extra,
    // cheap for small `extra`.
    void lengthen(std::uint64_t extra);

    // Moves `engine` as distance() calls of operator() would.
    void apply(UniformEngine& engine) const;

    static constexpr std::size_t degree = UniformEngine::lag_long;

private:
    std::array<std::uint32_t, degree> coefficients_{};  // of z^0 .. z^96
    std::uint64_t distance_ = 0;
};

}  // namespace suite
