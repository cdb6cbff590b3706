#pragma once

#include <cstddef>
#include <span>

namespace suite {

// The transform length for lag sums of n values: the smallest power of two
// M >= 2n, so that the circular correlation of the zero-padded series is
// the linear one at every lag below n.
std::size_t fourier_length(std::size_t n);

// Adds to sums[t] (t < sums.size() <= d.size()) the lag sums
//   S_t = sum_{i=0}^{n-1-t} d_i d_{i+t}
// of d (n = d.size() >= 1), as S = IDFT(|DFT(d)|^2) / M over the series
// zero-padded to M = fourier_length(n): one complex transform of length
// M/2 each way, the real series packed as z_k = d_{2k} + i d_{2k+1}.
void add_fourier_lag_sums(std::span<const double> d, std::span<double> sums);

}  // namespace suite
