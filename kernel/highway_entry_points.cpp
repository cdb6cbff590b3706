// The two functions of the SIMD library's shared library that dispatch
// calls, defined here so that no program loads it (its start-up measures a
// timer for about 4 ms, in every process). Nothing else of it is used; a
// program linking both would take these.
#include <hwy/targets.h>

#include "simd_target.hpp"

namespace hwy {

int64_t SupportedTargets()
{
    // Detected on every call, as the library does; it runs once per process
    // (from the first dispatch) and for the instruction set's name.
    return suite::detect_simd_targets();
}

ChosenTarget& GetChosenTarget()
{
    // Constant-initialised: nothing runs before main.
    static constinit ChosenTarget chosen;
    return chosen;
}

}  // namespace hwy
