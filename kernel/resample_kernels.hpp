#pragma once

#include <cstddef>
#include <cstdint>

namespace suite {

// The bootstrap's inner loop: for each of `count` blocks of m indices (one
// draw per resample, k-major), adds values[index] to each of the m running
// sums, sum_l = sum_l + values[index[k m + l]] in increasing k: the same
// additions in the same order as summing each resample on its own.
using AddResampleTerms = void(const double* values, const std::uint32_t* index, std::size_t count, std::size_t m,
                              double* sums);

// The form for the instruction set chosen for this process.
AddResampleTerms* add_resample_terms_kernel();

namespace plain {

inline void add_resample_terms(const double* values, const std::uint32_t* index, std::size_t count, std::size_t m,
                               double* sums)
{
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* d = index + k * m;
        for (std::size_t l = 0; l < m; ++l) {
            sums[l] = sums[l] + values[d[l]];
        }
    }
}

}  // namespace plain

}  // namespace suite
