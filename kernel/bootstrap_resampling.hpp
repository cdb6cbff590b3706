#pragma once

#include <cstddef>
#include <span>

#include "stream_drawing.hpp"
#include "suite/estimators.hpp"
#include "suite/limits.hpp"

namespace suite {

using limits::max_bootstrap_resamples;
using limits::max_bootstrap_values;

// How a resample index is drawn from the stream: `scaled` is trunc(n r) of
// one value r, the experiments' historic draw; `fair` the exactly uniform
// index of pairs of values that bootstrap_interval() draws (see
// estimators.hpp).
enum class IndexDraw { scaled, fair };

// The interval for the n M scaled resample draws made by `drawer`; `means` (M
// long) receives the resample means, not sorted. The order statistics are
// whatever correct method finds them: no mean is -0 (a sum from +0 cannot
// become -0 when rounding to nearest) and, for finite values, none is a NaN,
// so the ranked means are the same numbers however they are found.
BootstrapInterval bootstrap_interval_drawn(std::span<const double> values, std::span<double> means,
                                           const BootstrapPlan& plan, BulkDrawer& drawer);

// Adds the n M resample indices drawn from `drawer` as `draw` says to the
// sums of resamples [first, first + width) of the M in `sums`, leaving the
// others alone.
void add_resample_sums(std::span<const double> values, std::span<double> sums, std::size_t first,
                       std::size_t width, BulkDrawer& drawer, IndexDraw draw);

// The plan's two order statistics of `means`, reordering them.
BootstrapInterval bootstrap_order_statistics(std::span<double> means, const BootstrapPlan& plan);

}  // namespace suite
