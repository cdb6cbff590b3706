#include <algorithm>
#include <bit>

#include "engine_access.hpp"
#include "stream_kernels.hpp"
#include "suite/uniform_engine.hpp"

namespace suite {

namespace {

using Polynomial = std::array<std::uint32_t, EngineJump::degree>;
constexpr std::size_t degree = EngineJump::degree;
constexpr std::size_t lag_short = UniformEngine::lag_short;

// p * z^k for k <= 33: coefficient t moves to t + k; past 96 it wraps with
// z^97 = 1 - z^64, landing at t + k - 97 and t + k - 33, both below 97.
Polynomial times_z_power(const Polynomial& p, std::size_t k)
{
    Polynomial q{};
    for (std::size_t t = 0; t < degree; ++t) {
        if (t + k < degree) {
            q[t + k] += p[t];
        } else {
            q[t + k - degree] += p[t];
            q[t + k - lag_short] -= p[t];
        }
    }
    return q;
}

// p * p modulo z^97 + z^64 - 1: the full product, then its terms from the
// top down folded with z^t = z^(t-97) - z^(t-33) (t - 33 may still be 97 or
// more, and is folded later).
Polynomial squared(const Polynomial& p)
{
    std::array<std::uint32_t, 2 * degree - 1> full{};
    for (std::size_t i = 0; i < degree; ++i) {
        for (std::size_t j = 0; j < degree; ++j) {
            full[i + j] += p[i] * p[j];
        }
    }
    for (std::size_t t = full.size() - 1; t >= degree; --t) {
        full[t - degree] += full[t];
        full[t - lag_short] -= full[t];
    }
    Polynomial q;
    std::copy_n(full.begin(), degree, q.begin());
    return q;
}

}  // namespace

EngineJump::EngineJump(std::uint64_t distance) : distance_(distance)
{
    // z^distance from the top bit down: square, and multiply by z for a 1.
    coefficients_[0] = 1;
    for (int bit = 63 - std::countl_zero(distance | 1); bit >= 0; --bit) {
        coefficients_ = squared(coefficients_);
        if (((distance >> bit) & 1) != 0) {
            coefficients_ = times_z_power(coefficients_, 1);
        }
    }
}

void EngineJump::lengthen(std::uint64_t extra)
{
    distance_ += extra;
    for (; extra > 0;) {
        const std::uint64_t k = std::min<std::uint64_t>(extra, lag_short);
        coefficients_ = times_z_power(coefficients_, static_cast<std::size_t>(k));
        extra -= k;
    }
}

void EngineJump::apply(UniformEngine& engine) const
{
    auto& lag = EngineAccess::lag(engine);
    const std::size_t ui = EngineAccess::ui(engine);
    // The 97 values of the ring in draw order, then 96 more by the
    // recurrence (not drawn: only needed for the combination), and room for
    // a wide loop's last vector.
    std::array<std::uint32_t, 2 * degree - 1 + 32> x{};
    for (std::size_t t = 0; t < degree; ++t) {
        x[t] = lag[ring_back(ui, t)];
    }
    for (std::size_t t = degree; t < 2 * degree - 1; ++t) {
        x[t] = x[t - degree] - x[t - lag_short];
    }
    Polynomial next;
    combine_history_kernel()(coefficients_.data(), x.data(), next.data());
    const std::size_t turn = distance_ % degree;
    const std::size_t moved = ring_back(ui, turn);
    for (std::size_t t = 0; t < degree; ++t) {
        lag[ring_back(moved, t)] = next[t] & plain::unit_mask;
    }
    EngineAccess::ui(engine) = moved;
    EngineAccess::uj(engine) = ring_back(EngineAccess::uj(engine), turn);
    const std::uint32_t cm = EngineAccess::modulus;
    const auto step = static_cast<std::uint32_t>((distance_ % cm) * EngineAccess::decrement % cm);
    EngineAccess::term(engine) = plain::mod_sub(EngineAccess::term(engine), step, cm);
}

}  // namespace suite
