#pragma once

#include <benchmark/benchmark.h>

#if SUITE_SIMD
#include <hwy/targets.h>
#endif

#include "simd_target.hpp"

namespace suite {

// Restricts the kernel's dispatch to the benchmark's instruction set (its
// first argument, a Highway target bit; 0 for the chosen one) for the life
// of the object, and names it in the benchmark's label.
class OnTarget {
public:
    explicit OnTarget(benchmark::State& state)
    {
#if SUITE_SIMD
        hwy::SetSupportedTargetsForTest(state.range(0));
#endif
        state.SetLabel(simd_target_name());
    }
    OnTarget(const OnTarget&) = delete;
    OnTarget(OnTarget&&) = delete;
    OnTarget& operator=(const OnTarget&) = delete;
    OnTarget& operator=(OnTarget&&) = delete;
    ~OnTarget()
    {
#if SUITE_SIMD
        hwy::SetSupportedTargetsForTest(0);
#endif
    }
};

}  // namespace suite
