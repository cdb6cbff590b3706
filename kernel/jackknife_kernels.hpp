#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace suite {

// The jackknife's tail sums. With the block edges e[b] = (b i) / 10 and the
// block sums `first` to 8 starting as the prefix sums up to e[b], in segment
// c (positions e[c] to e[c+1] - 1, c = first + 1 .. 9) every sum b with
// first <= b < c takes each value in increasing position: sums[b] = sums[b]
// + values[k]. Sums below `first` are left as they are. The sums are
// independent chains, so they run side by side as lanes.
using JackknifeTails = void(const double* values, const std::array<std::int32_t, 11>& edges, std::size_t first,
                            std::array<double, 10>& sums);

// The form for the instruction set chosen for this process.
JackknifeTails* jackknife_tails_kernel();

namespace plain {

inline void jackknife_tails(const double* values, const std::array<std::int32_t, 11>& edges, std::size_t first,
                            std::array<double, 10>& sums)
{
    for (std::size_t c = first + 1; c < 10; ++c) {
        for (std::int32_t k = edges[c]; k < edges[c + 1]; ++k) {
            const double v = values[k];
            for (std::size_t b = first; b < c; ++b) {
                sums[b] = sums[b] + v;
            }
        }
    }
}

}  // namespace plain

}  // namespace suite
