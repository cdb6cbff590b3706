#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "point3.hpp"
#include "random.hpp"
#include "test_functions.hpp"
#include "update_kernels.hpp"

// Metropolis sampling of the weight P with independent proposals: every
// proposal is a fresh uniform point of the cube, accepted with probability
// min(1, P(proposal)/P(current)). Over many updates the visited points are
// distributed with density proportional to P.
//
// `uniform` is the source of deviates, the process-wide stream by default; a
// test can pass a scripted one. Every update takes exactly four draws
// (x, y, z of the proposal, then u), accepted or not, so the position in the
// stream is fixed by the number of updates.
template <class Uniform>
void step(Point3& current, Uniform&& uniform)
{
    Point3 proposal;
    draw_point(proposal, uniform);
    const double r = P(proposal) / P(current);
    const double u = static_cast<double>(uniform());
    // r >= u accepts with probability min(1, r) since u is uniform in
    // [0, 1); a tie and u = 0 both accept.
    if (r >= u) {
        current = proposal;
    }
}

inline void step(Point3& current) { step(current, ProcessStream{}); }

// `steps` updates of the current point in a row.
template <class Uniform>
void sweep(Point3& current, std::int64_t steps, Uniform&& uniform)
{
    for (std::int64_t s = 0; s < steps; ++s) {
        step(current, uniform);
    }
}

inline void sweep(Point3& current, std::int64_t steps) { sweep(current, steps, ProcessStream{}); }

// ---------------------------------------------------------------------------
// Fast sweeps: the same decisions as step(), made many updates at a time.
//
// The proposals and u of a sweep do not depend on the chain, so their draws
// are made in bulk and everything about them that the decisions need is
// computed ahead, several proposals at a time; only the accept/reject chain
// itself runs one update after another, on one compare and one conditional
// move per update.
//
// That chain calls neither exp nor divides. The ratio of the weights is
// exp(s_c - s_p), with s the squared distance of a point from the origin,
// which is exact for generator values; so the chain compares s_c with
// s_p + ln u, using an estimate of ln u, and decides from that only where a
// proven margin makes the outcome certain. In the rare updates inside the
// margin, step()'s own expression decides, with the C library's exp. Why
// this gives step()'s decision every time is set out in metropolis.cpp.
class FastSweeper {
public:
    FastSweeper();

    // `steps` updates of `current`, drawing 4 * steps values from `g`: the
    // same point and generator state as sweep(current, steps, g).
    void sweep(Point3& current, std::int64_t steps, UniformGenerator& g);

    // The updates whose draws are `draws`, four per update (x, y and z of the
    // proposal, then u) as generator units. `current` must be a point of
    // generator values, as every chain point is. If `accepted` is not empty
    // it receives one flag per update: whether step() would accept it.
    void run(Point3& current, std::span<const std::uint32_t> draws, std::span<std::uint8_t> accepted = {});

    // The estimate of ln(u) that the decisions use, for u = u_units * 2^-24
    // with 1 <= u_units < 2^24.
    double log_estimate(std::uint32_t u_units) const;

    // The number of updates whose decision the estimates left open, so far
    // (for tests: step()'s expression decided these).
    std::int64_t open_decisions() const { return open_decisions_; }

private:
    void run_block(Point3& current, const std::uint32_t* draws, std::size_t updates, std::uint8_t* accepted);

    LogTables tables_{};
    PrepareUpdates* prepare_;
    AnyOpen* any_open_;
    std::int64_t open_decisions_ = 0;
};
