#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <span>

#include "suite/point3.hpp"
#include "suite/uniform_engine.hpp"

namespace suite {

// Metropolis sampling of a weight P on the unit cube with independent
// proposals: every proposal is a fresh uniform point of the cube, accepted
// with probability min(1, P(proposal)/P(current)). Over many updates the
// visited points are distributed with density proportional to P.
//
// One update takes exactly four deviates from `source` (x, y, z of the
// proposal, then u), accepted or not, so the position in the stream is fixed
// by the number of updates. Accepts when r = P(proposal)/P(current) >= u:
// with probability min(1, r) since u is uniform in [0, 1); a tie and u = 0
// both accept. Returns whether it accepted.
template <class Weight, class Source>
bool metropolis_step(Point3& current, Weight&& weight, Source& source)
{
    Point3 proposal;
    draw_point(proposal, source);
    const double r = weight(proposal) / weight(current);
    const double u = uniform_deviate(source);
    if (r >= u) {
        current = proposal;
        return true;
    }
    return false;
}

// `steps` updates of the current point in a row.
template <class Weight, class Source>
void metropolis_sweep(Point3& current, std::int64_t steps, Weight&& weight, Source& source)
{
    for (std::int64_t s = 0; s < steps; ++s) {
        metropolis_step(current, weight, source);
    }
}

// The Gaussian weight P(p) = exp(-(x^2 + y^2 + z^2)) / normalisation, with
// the C library's exp and the sum formed as (x x + y y) + z z.
inline double gaussian_weight(const Point3& p, double normalisation)
{
    return std::exp(-((p.x * p.x + p.y * p.y) + p.z * p.z)) / normalisation;
}

// Fast sweeps of the Gaussian weight: the decisions metropolis_step() makes
// with gaussian_weight(·, normalisation) and the engine, made many updates
// at a time.
//
// The proposals and u of a sweep do not depend on the chain, so their draws
// are made in bulk and everything about them that the decisions need is
// computed ahead, several proposals at a time on the widest instruction set
// of the processor; only the accept/reject chain itself runs one update after
// another, on one compare and one conditional move per update.
//
// That chain calls neither exp nor divides. The ratio of the weights is
// exp(s_c - s_p), with s the squared distance of a point from the origin,
// which is exact for generator values; so the chain compares s_c with
// s_p + ln u, using an estimate of ln u, and decides from that only where a
// proven margin makes the outcome certain. In the rare updates inside the
// margin, metropolis_step()'s own expression decides, with the C library's
// exp. (The proof is in the source.)
class GaussianSweeper {
public:
    explicit GaussianSweeper(double normalisation);
    GaussianSweeper(const GaussianSweeper&) = delete;
    GaussianSweeper& operator=(const GaussianSweeper&) = delete;
    GaussianSweeper(GaussianSweeper&&) noexcept;
    GaussianSweeper& operator=(GaussianSweeper&&) noexcept;
    ~GaussianSweeper();

    // `steps` updates of `current` (a point of engine values, as every chain
    // point is), drawing 4 * steps values from `engine`: the same point and
    // engine state as metropolis_sweep() with the engine.
    void sweep(Point3& current, std::int64_t steps, UniformEngine& engine);

    // The updates whose draws are `draws`, four per update (x, y and z of the
    // proposal, then u) in engine units. If `accepted` is not empty it
    // receives one flag per update: whether metropolis_step() accepts it.
    void run(Point3& current, std::span<const std::uint32_t> draws, std::span<std::uint8_t> accepted = {});

    // The estimate of ln(u) that the decisions use, for u = u_units * 2^-24
    // with 1 <= u_units < 2^24.
    double log_estimate(std::uint32_t u_units) const;

    // The number of updates whose decision the estimates left open, so far
    // (metropolis_step()'s own expression decided these).
    std::int64_t open_decisions() const;

    double normalisation() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace suite
