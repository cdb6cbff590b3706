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

// The fair resample indices of `pairs` pairs of engine units (units[2 j],
// units[2 j + 1]) for a series of `range` values: pair (a, b) stands for the
// 48-bit x = a 2^24 + b, and gives index floor(x range / 2^48) unless the low
// 48 bits of x range fall below `threshold` = 2^48 mod range, when it is
// rejected. Writes the accepted indices in order to `out` and returns how
// many. (Of the 2^48 values of x, each index then takes exactly
// floor(2^48 / range): the multiples of range in its interval of x range,
// less the one below the threshold where there are one more.)
using FairResampleIndices = std::size_t(const std::uint32_t* units, std::size_t pairs, std::uint32_t range,
                                        std::uint64_t threshold, std::uint32_t* out);

// The forms for the instruction set chosen for this process.
AddResampleTerms* add_resample_terms_kernel();
FairResampleIndices* fair_resample_indices_kernel();

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

// 2^48 mod range: the fair draw's rejection threshold.
inline std::uint64_t fair_threshold(std::uint32_t range) { return (std::uint64_t{1} << 48) % range; }

// The fair index of x = a 2^24 + b (a, b < 2^24), or `range` if x is
// rejected. x range = a range 2^24 + b range, both products below 2^56:
// s = a range + floor(b range / 2^24) holds x range / 2^24, so its bits from
// 24 up are the index and its low 24 bits, above those of b range, the low
// 48 bits of x range.
inline std::uint32_t fair_resample_index(std::uint32_t a, std::uint32_t b, std::uint32_t range,
                                         std::uint64_t threshold)
{
    constexpr std::uint64_t low24 = 0xFFFFFFu;
    const std::uint64_t high = std::uint64_t{a} * range;
    const std::uint64_t low = std::uint64_t{b} * range;
    const std::uint64_t s = high + (low >> 24);
    const std::uint64_t fraction = ((s & low24) << 24) | (low & low24);
    return fraction < threshold ? range : static_cast<std::uint32_t>(s >> 24);
}

inline std::size_t fair_resample_indices(const std::uint32_t* units, std::size_t pairs, std::uint32_t range,
                                         std::uint64_t threshold, std::uint32_t* out)
{
    std::size_t written = 0;
    for (std::size_t j = 0; j < pairs; ++j) {
        const std::uint32_t index = fair_resample_index(units[2 * j], units[2 * j + 1], range, threshold);
        if (index != range) {
            out[written++] = index;
        }
    }
    return written;
}

}  // namespace plain

}  // namespace suite
