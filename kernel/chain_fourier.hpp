#pragma once

#include <cstddef>
#include <span>

namespace suite {

// The transform length for the lag sums of n values at lags below `lags`:
// the smallest power of two M >= n + lags (at least 4). The circular
// correlation of the zero-padded series at lag t adds the linear ones at t
// and M - t, and the latter vanishes for M - t >= n.
std::size_t fourier_length(std::size_t n, std::size_t lags);

// Adds to sums[t] (t < sums.size() <= d.size()) the lag sums
//   S_t = sum_{i=0}^{n-1-t} d_i d_{i+t}
// of d (n = d.size() >= 1), as S = IDFT(|DFT(d)|^2) / M over the series
// zero-padded to M = fourier_length(n, sums.size()): one complex transform of length
// M/2 each way, the real series packed as z_k = d_{2k} + i d_{2k+1}.
void add_fourier_lag_sums(std::span<const double> d, std::span<double> sums);

}  // namespace suite
