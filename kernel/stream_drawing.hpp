#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "resample_kernels.hpp"
#include "stream_kernels.hpp"
#include "suite/uniform_engine.hpp"

namespace suite {

// Bulk drawing. With u[] the lag table as a ring of the last 97 x and `ui`
// stepping down: u[ui] = x_{n-97} and, 97 - 33 = 64 places further down,
// u[uj] = x_{n-33}; generally u[ui - t] = x_{n-97+t} (positions wrapping).
// A BulkDrawer unpacks that ring into a linear history, extends it many
// values at a time (each value depends on values 33 and 97 back only, so up
// to 33 of them are independent), and packs the last 97 back: the engine
// ends in exactly the state the same number of single draws would leave.
class BulkDrawer {
public:
    // Most values one draw() makes.
    static constexpr std::size_t block = 4096;

    explicit BulkDrawer(const UniformEngine& engine);

    // The next n values (n <= block), as units.
    void draw(std::uint32_t* out, std::size_t n);

    // The indices trunc(range r) of the next n values r (n <= block): the
    // experiments' resample index of a sample of `range` values, one value
    // each. Above 2^24 values some indices are never drawn, and below it
    // some are drawn more often than others by up to a relative
    // range / 2^24.
    void draw_indices(std::uint32_t* out, std::size_t n, std::uint32_t range);

    // n fair resample indices (any n) of a sample of `range` >= 1 values,
    // from pairs of values (see FairResampleIndices): each pair in turn
    // gives an index or, rarely, is rejected and the next pair is taken.
    // Draws exactly the pairs it uses.
    void draw_fair_indices(std::uint32_t* out, std::size_t n, std::uint32_t range);

    // Skips the next n values.
    void discard(std::int64_t n);

    // Writes the state after all values drawn so far into `engine`.
    void store(UniformEngine& engine) const;

private:
    // Keeps the newest 97 values of the history after n were made.
    void advance(std::size_t n);

    // history_[pad + t] = x_{n-97+t} for t < 97; draw() extends it past 97
    // and then moves the last 97 back. The pad lets a wide loop load a
    // vector that ends at x_{n-97}.
    static constexpr std::size_t pad = 16;
    std::array<std::uint32_t, pad + UniformEngine::lag_long + block> history_;
    StreamTerm term_{};
    std::size_t ui_ = 0;
    std::size_t uj_ = 0;
    std::size_t advanced_ = 0;  // values drawn, modulo 97
    ExtendStream* extend_;
    ExtendStreamIndices* extend_indices_;
    FairResampleIndices* fair_indices_;
};

// Draws `count` values from `engine` in blocks of at most `block` and hands
// each block to consume(std::span<const std::uint32_t>) in order; `engine`
// ends as after `count` single draws.
template <class Consume>
void draw_unit_blocks(UniformEngine& engine, std::int64_t count, std::size_t block, Consume&& consume)
{
    BulkDrawer drawer(engine);
    // Scratch: each entry is written before it is read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, BulkDrawer::block> buffer;
    for (std::int64_t done = 0; done < count;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(block), count - done));
        drawer.draw(buffer.data(), n);
        consume(std::span<const std::uint32_t>(buffer.data(), n));
        done += static_cast<std::int64_t>(n);
    }
    drawer.store(engine);
}

}  // namespace suite
