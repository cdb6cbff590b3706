#pragma once

#include <cstddef>
#include <cstdint>

namespace suite {

// The bootstrap's inner loop: for each of `count` rows of `stride` indices
// (one draw per resample, sample-major), adds values[index] to the first
// `width` of them, sum_l = sum_l + values[index[k stride + l]] for l < width
// in increasing k: the same additions in the same order as summing each
// resample on its own. A caller that keeps some of the resamples passes
// `index` and `sums` offset to the first of them.
using AddResampleTerms = void(const double* values, const std::uint32_t* index, std::size_t count,
                              std::size_t stride, std::size_t width, double* sums);

// The form for the instruction set chosen for this process.
AddResampleTerms* add_resample_terms_kernel();

namespace plain {

inline void add_resample_terms(const double* values, const std::uint32_t* index, std::size_t count,
                               std::size_t stride, std::size_t width, double* sums)
{
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t* d = index + k * stride;
        for (std::size_t l = 0; l < width; ++l) {
            sums[l] = sums[l] + values[d[l]];
        }
    }
}

}  // namespace plain

}  // namespace suite
