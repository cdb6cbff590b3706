#pragma once

#include <cstddef>
#include <cstdint>

#include "engine_access.hpp"
#include "suite/uniform_engine.hpp"

namespace suite {

// The generator's bulk loops in integer units (see BulkDrawer in
// stream_drawing.hpp and EngineJump for the recurrences), and their plain forms, which every
// instruction set is held to.

// The arithmetic term of the stream in units: C_n = C_{n-1} - cd mod cm.
struct StreamTerm {
    std::uint32_t c;   // C_{n-1}, the term of the last value made
    std::uint32_t cd;  // the decrement, 7654321
    std::uint32_t cm;  // the modulus, 16777213
};

// Extends the history x (x[t] = x_{n-97+t} for t < 97) by n values,
// x[97 + t] for t < n, and writes each drawn value (x - C) mod 2^24 to
// out[t] as units, stepping `term`. The index form writes instead the
// resample index floor(range v / 2^24) = trunc(range r) of each value
// (range < 2^29, so range v < 2^53 is exact).
using ExtendStream = void(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term);
using ExtendStreamIndices = void(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term,
                                 std::uint32_t range);

// next[t] = sum_s a[s] x[t + s] modulo 2^32 for t < 97: the values of the
// stream a jump ahead, from the 193 values x[0..192] (see EngineJump).
// x must be readable to x[224].
using CombineHistory = void(const std::uint32_t* a, const std::uint32_t* x, std::uint32_t* next);

// The forms for the instruction set chosen for this process.
ExtendStream* extend_stream_kernel();
ExtendStreamIndices* extend_stream_indices_kernel();
CombineHistory* combine_history_kernel();

namespace plain {

constexpr std::uint32_t unit_mask = EngineAccess::unit_mask;
// x_n = x_{n-97} - x_{n-33}: in the history x[t + 97] = x[t] - x[t + 64].
constexpr std::size_t history_degree = UniformEngine::lag_long;
constexpr std::size_t lag_distance = UniformEngine::lag_long - UniformEngine::lag_short;

// C - d mod m for C, d in [0, m): the arithmetic term's step.
inline std::uint32_t mod_sub(std::uint32_t c, std::uint32_t d, std::uint32_t m) { return c >= d ? c - d : c - d + m; }

// The step of `lanes` consecutive terms at once: lanes * cd mod cm.
inline std::uint32_t lane_step(std::size_t lanes, const StreamTerm& term)
{
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(lanes) * term.cd) % term.cm);
}

inline std::uint32_t resample_index(std::uint32_t units, std::uint32_t range)
{
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(units) * range) >> 24);
}

// range 0 asks for units.
inline void extend_stream(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term,
                          std::uint32_t range = 0)
{
    std::uint32_t c = term->c;
    for (std::size_t t = 0; t < n; ++t) {
        const std::uint32_t value = (x[t] - x[t + lag_distance]) & unit_mask;
        x[t + history_degree] = value;
        c = mod_sub(c, term->cd, term->cm);
        const std::uint32_t units = (value - c) & unit_mask;
        out[t] = range == 0 ? units : resample_index(units, range);
    }
    term->c = c;
}

inline void extend_stream_units(std::uint32_t* x, std::uint32_t* out, std::size_t n, StreamTerm* term)
{
    extend_stream(x, out, n, term);
}

inline void combine_history(const std::uint32_t* a, const std::uint32_t* x, std::uint32_t* next)
{
    for (std::size_t t = 0; t < history_degree; ++t) {
        next[t] = 0;
    }
    for (std::size_t s = 0; s < history_degree; ++s) {
        for (std::size_t t = 0; t < history_degree; ++t) {
            next[t] += a[s] * x[t + s];
        }
    }
}

}  // namespace plain

}  // namespace suite
