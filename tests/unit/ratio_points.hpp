#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "suite/point3.hpp"
#include "test_functions.hpp"

// A current point whose weight is exactly twice the proposal's as the step
// computes it, so that r = 0.5 exactly: a draw of 0.5 then ties with r.
// The current point's x is searched among the doubles next to the exact
// solution x^2 = x_p^2 - ln 2 + ...; the quotient rounds to exactly 0.5 for
// some of them.
inline suite::Point3 point_with_ratio_one_half(const suite::Point3& proposal)
{
    const double target_sum = (proposal.x * proposal.x + proposal.y * proposal.y + proposal.z * proposal.z)
                              - std::log(2.0);
    suite::Point3 current{0.0, proposal.y, proposal.z};
    double x = std::sqrt(target_sum - proposal.y * proposal.y - proposal.z * proposal.z);
    for (int k = 0; k < 4096; ++k) {
        x = std::nextafter(x, k % 2 == 0 ? 0.0 : 1.0);
        current.x = x;
        if (P(proposal) / P(current) == 0.5) {
            return current;
        }
    }
    ADD_FAILURE() << "no point with an exact ratio found";
    return current;
}

