#pragma once

#include <cstdint>

#include "point3.hpp"
#include "random.hpp"
#include "test_functions.hpp"

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
