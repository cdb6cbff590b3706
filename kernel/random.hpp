#pragma once

#include <array>
#include <cstdint>

#include "point3.hpp"

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
