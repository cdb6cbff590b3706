// Prints the instruction set the kernel's bulk loops run on here, for the
// logs of the run command and of the builds.
#include <cstdio>

#include "simd_target.hpp"

int main()
{
    return std::printf("%s\n", suite::simd_target_name()) < 0 ? 1 : 0;
}
