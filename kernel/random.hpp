#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "point3.hpp"
#include "stream_kernels.hpp"

// The universal uniform generator: a lagged subtractive Fibonacci sequence
// with lags 97 and 33, combined with a subtractive arithmetic sequence modulo
// 16777213/2^24. Every value it holds or returns is an integer multiple of
// 2^-24 in [0, 1), so all of its single-precision arithmetic is exact and the
// stream is the same on every machine, compiler and optimisation level.
//
// `UniformGenerator` is the whole state as a value: copy it to fork a stream,
// compare it to check that two ways of drawing agree. The process-wide stream
// that every program draws from is `random_stream()`, reached through
// `Random(seed)`.
struct UniformGenerator {
    using result_type = float;

    static constexpr std::int64_t max_seed = 900000000;
    static constexpr std::int32_t lag_long = 97;
    static constexpr std::int32_t lag_short = 33;

    std::array<float, 98> u{};   // lag table; entries 1 to 97, entry 0 unused
    float c = 0.0f;              // arithmetic-sequence term
    float cd = 0.0f;             // its decrement, 7654321/2^24
    float cm = 0.0f;             // its modulus, 16777213/2^24
    std::int32_t ui = 0;         // position of the value 97 draws back
    std::int32_t uj = 0;         // position of the value 33 draws back
    std::int32_t first = 0;      // 0 until seeded, then 1

    // Seeds the state from `seed` in [0, max_seed]. Returns false, leaving
    // the state untouched, for a seed outside that range.
    bool seed(std::int64_t seed);

    // Draws one value in [0, 1). The state must have been seeded.
    result_type operator()();

    static constexpr result_type min() { return 0.0f; }
    static constexpr result_type max() { return 1.0f; }

    bool operator==(const UniformGenerator&) const = default;
};

// The one stream of the process. It starts unseeded; `Random` seeds it lazily.
UniformGenerator& random_stream();

// One draw from the process-wide stream. On the first call, and on every call
// with a nonzero seed, the stream is (re)seeded from `seed` after printing
// "initializing the Random generator" on standard output; a seed outside
// [0, 900000000] then ends the process with exit status 1.
float Random(std::int64_t seed);

// The default source of uniform deviates: the process-wide stream.
struct ProcessStream {
    float operator()() const { return Random(0); }
};

// Sets x, y and z, in that order, to three fresh draws widened to double.
template <class Uniform>
void draw_point(Point3& p, Uniform&& uniform)
{
    p.x = static_cast<double>(uniform());
    p.y = static_cast<double>(uniform());
    p.z = static_cast<double>(uniform());
}

inline void draw_point(Point3& p) { draw_point(p, ProcessStream{}); }

// Bulk drawing. Every value the generator holds is an integer count of 2^-24
// (a "unit"), and its single-precision arithmetic is exact, so the stream can
// be made in 32-bit integers: with x_n the n-th value of the lagged table,
//   x_n = (x_{n-97} - x_{n-33}) mod 2^24,
//   C_n = C_{n-1} - 7654321, plus 16777213 if that is negative,
//   value_n = (x_n - C_n) mod 2^24,
// since a difference of two values in [0, 1) lies in (-1, 1) and adding 1 to
// a negative one is a reduction mod 1. The lag table u[] is a ring of the
// last 97 x with `ui` stepping down: u[ui] = x_{n-97} and, 97 - 33 = 64
// places further down, u[uj] = x_{n-33}; generally u[ui - t] = x_{n-97+t}
// (positions wrapping within 1..97). A BulkDrawer unpacks that ring into a
// linear history, extends it many values at a time (each value depends on
// values 33 and 97 back only, so up to 33 of them are independent), and packs
// the last 97 back: the generator ends in exactly the state the same number
// of single draws would leave.
class BulkDrawer {
public:
    // Most values one draw() makes.
    static constexpr std::size_t block = 4096;

    // Starts from the state of `g`, which must have been seeded.
    explicit BulkDrawer(const UniformGenerator& g);

    // The next n values (n <= block), as units: out[t] * 2^-24 is the value
    // operator() would return.
    void draw(std::uint32_t* out, std::size_t n);

    // The indices trunc(range r) of the next n values r (n <= block,
    // range < 2^29): the index draw_resample_indices() forms for a sample
    // of `range` values.
    void draw_indices(std::uint32_t* out, std::size_t n, std::uint32_t range);

    // Skips the next n values.
    void discard(std::int64_t n);

    // Writes the state after all values drawn so far into `g`.
    void store(UniformGenerator& g) const;

private:
    // Keeps the newest 97 values of the history after n were made.
    void advance(std::size_t n);

    // history_[pad + t] = x_{n-97+t} for t < 97; draw() extends it past 97
    // and then moves the last 97 back. The pad lets a wide loop load a
    // vector that ends at x_{n-97}.
    static constexpr std::size_t pad = 16;
    std::array<std::uint32_t, pad + 97 + block> history_;
    StreamTerm term_{};
    std::int32_t ui_ = 0;
    std::int32_t uj_ = 0;
    std::int32_t first_ = 0;
    std::int32_t advanced_ = 0;  // values drawn, modulo 97
    ExtendStream* extend_;
    ExtendStreamIndices* extend_indices_;
};

// A value of the generator widened to double, from its unit count: exact,
// since a count below 2^24 and the power of two are both exact.
inline double unit_value(std::uint32_t units) { return static_cast<double>(units) * 0x1p-24; }

// Draws out.size() values from `g` as units: the same values, and the same
// final state, as out.size() calls of g().
void draw_units(UniformGenerator& g, std::span<std::uint32_t> out);

// Draws `count` values from `g` in blocks of at most BulkDrawer::block and
// hands each block to consume(std::span<const std::uint32_t>) in order. `g`
// ends as after `count` single draws. `block` values per call, the last call
// possibly fewer.
template <class Consume>
void draw_unit_blocks(UniformGenerator& g, std::int64_t count, std::size_t block, Consume&& consume)
{
    BulkDrawer drawer(g);
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, BulkDrawer::block> buffer;
    for (std::int64_t done = 0; done < count;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(block), count - done));
        drawer.draw(buffer.data(), n);
        consume(std::span<const std::uint32_t>(buffer.data(), n));
        done += static_cast<std::int64_t>(n);
    }
    drawer.store(g);
}

// Jumps ahead. The lagged part is linear: x_{n+97} = x_n - x_{n+64}, so
// modulo 2^32 (and hence 2^24) the shift by one draw acts on the 97 most
// recent values as z does on polynomials modulo z^97 + z^64 - 1. If
// z^J = sum_t a_t z^t modulo that polynomial, then
// x_{n+J} = sum_t a_t x_{n+t} for every n. The arithmetic term jumps by
// J * 7654321 modulo 16777213. A jump therefore costs a polynomial power and
// 97 x 97 products, however far it goes.
class StreamJump {
public:
    // A jump of `distance` draws (z^distance by repeated squaring).
    explicit StreamJump(std::uint64_t distance);

    std::uint64_t distance() const { return distance_; }

    // Makes the jump `extra` draws longer: a multiplication by z^extra,
    // cheap for small `extra`.
    void lengthen(std::uint64_t extra);

    // Moves `g` (seeded) as `distance()` single draws would.
    void apply(UniformGenerator& g) const;

    static constexpr std::size_t degree = 97;

private:
    std::array<std::uint32_t, degree> coefficients_{};  // of z^0 .. z^96
    std::uint64_t distance_ = 0;
};
