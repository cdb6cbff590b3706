#include "simd_target.hpp"

#if SUITE_SIMD
#include <hwy/highway.h>
#include <hwy/targets.h>

void choose_simd_target()
{
    hwy::ChosenTarget& chosen = hwy::GetChosenTarget();
    if (!chosen.IsInitialized()) {
        chosen.Update(hwy::SupportedTargets());
    }
}

const char* simd_target_name()
{
    // Lower bits are wider instruction sets; the lowest supported bit among
    // the compiled targets is the one dispatch picks.
    const std::int64_t usable = hwy::SupportedTargets() & HWY_TARGETS;
    return hwy::TargetName(usable & -usable);
}
#else
const char* simd_target_name() { return "plain"; }
#endif
