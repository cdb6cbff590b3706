// The functions of the SIMD library's shared library that the kernel calls,
// defined here so that no program loads it (its start-up measures a timer
// for about 4 ms, in every process): the two that dispatch, and the one its
// debug assertions call. Nothing else of it is used; a program linking both
// would take these.
#include <hwy/base.h>
#include <hwy/targets.h>

#include <cstdio>
#include <cstdlib>

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

// The failure of one of the library's own debug assertions (a build
// without NDEBUG checks, say, that a table index is in range): a
// programming error, reported as the library reports it, and the process
// ends as an assert() would end it.
// NOLINTBEGIN(cert-dcl50-cpp,cppcoreguidelines-pro-type-vararg,cppcoreguidelines-pro-bounds-array-to-pointer-decay,hicpp-vararg,hicpp-no-array-decay)
void Abort(const char* file, int line, const char* format, ...)
{
    // The format's own words say what failed; its values are left out.
    (void)std::fprintf(stderr, "Abort at %s:%d: %s\n", file, line, format);
    std::abort();
}
// NOLINTEND(cert-dcl50-cpp,cppcoreguidelines-pro-type-vararg,cppcoreguidelines-pro-bounds-array-to-pointer-decay,hicpp-vararg,hicpp-no-array-decay)

}  // namespace hwy
