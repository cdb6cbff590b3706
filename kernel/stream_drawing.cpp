#include "stream_drawing.hpp"

#include <cstring>

#include "engine_access.hpp"

namespace suite {

// history_ past the pad and the 97 values set here is written by draw()
// before it is read; clearing its 16 KiB for every drawer would be wasted.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
BulkDrawer::BulkDrawer(const UniformEngine& engine)
    : term_{EngineAccess::term(engine), EngineAccess::decrement, EngineAccess::modulus},
      ui_(EngineAccess::ui(engine)), uj_(EngineAccess::uj(engine)), extend_(extend_stream_kernel()),
      extend_indices_(extend_stream_indices_kernel()), fair_indices_(fair_resample_indices_kernel())
{
    std::fill_n(history_.begin(), pad, 0u);
    // The ring from u[ui] down to u[0], then from u[96] down to u[ui + 1].
    const auto& lag = EngineAccess::lag(engine);
    std::uint32_t* x = history_.data() + pad;
    for (std::size_t position = ui_ + 1; position-- > 0;) {
        *x++ = lag[position];
    }
    for (std::size_t position = UniformEngine::lag_long - 1; position > ui_; --position) {
        *x++ = lag[position];
    }
}

void BulkDrawer::advance(std::size_t n)
{
    std::uint32_t* x = history_.data() + pad;
    std::memmove(x, x + n, UniformEngine::lag_long * sizeof(std::uint32_t));
    advanced_ = (advanced_ + n) % UniformEngine::lag_long;
}

void BulkDrawer::draw(std::uint32_t* out, std::size_t n)
{
    extend_(history_.data() + pad, out, n, &term_);
    advance(n);
}

void BulkDrawer::draw_indices(std::uint32_t* out, std::size_t n, std::uint32_t range)
{
    extend_indices_(history_.data() + pad, out, n, &term_, range);
    advance(n);
}

void BulkDrawer::draw_fair_indices(std::uint32_t* out, std::size_t n, std::uint32_t range)
{
    const std::uint64_t threshold = plain::fair_threshold(range);
    // Units for half a block of pairs at a time; after a rejection only the
    // pairs still missing are drawn. Written before read, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, block> units;
    while (n > 0) {
        const std::size_t pairs = std::min(n, block / 2);
        draw(units.data(), 2 * pairs);
        const std::size_t written = fair_indices_(units.data(), pairs, range, threshold, out);
        out += written;
        n -= written;
    }
}

void BulkDrawer::discard(std::int64_t n)
{
    // Draws thrown away, so not cleared.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, block> scratch;
    while (n > 0) {
        const auto part = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(block)));
        draw(scratch.data(), part);
        n -= static_cast<std::int64_t>(part);
    }
}

void BulkDrawer::store(UniformEngine& engine) const
{
    const std::size_t ui = ring_back(ui_, advanced_);
    auto& lag = EngineAccess::lag(engine);
    const std::uint32_t* x = history_.data() + pad;
    for (std::size_t position = ui + 1; position-- > 0;) {
        lag[position] = *x++;
    }
    for (std::size_t position = UniformEngine::lag_long - 1; position > ui; --position) {
        lag[position] = *x++;
    }
    EngineAccess::term(engine) = term_.c;
    EngineAccess::ui(engine) = ui;
    EngineAccess::uj(engine) = ring_back(uj_, advanced_);
}

}  // namespace suite
