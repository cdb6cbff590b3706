// The three functions of Highway's library that the kernel's dispatch
// calls, defined here for the seven programs, so that none of them loads
// the shared library (its start-up measures a timer for milliseconds, in
// every process) and each can be linked statically: the two that dispatch,
// and the one its debug assertions call. The library itself and its other
// users link Highway's own.
//
// The unit tests compile this file once more under another namespace
// (SUITE_SIMD_ENTRY_POINTS_NAMESPACE) and hold its choice to Highway's.
#include <hwy/base.h>
#include <hwy/targets.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "simd_target.hpp"

#ifndef SUITE_SIMD_ENTRY_POINTS_NAMESPACE
#define SUITE_SIMD_ENTRY_POINTS_NAMESPACE hwy
#endif

namespace SUITE_SIMD_ENTRY_POINTS_NAMESPACE {

std::int64_t SupportedTargets()
{
    // Detected on every call, as the library does; it runs once per process
    // (from the first dispatch) and for the instruction set's name.
    return suite::detect_simd_targets();
}

hwy::ChosenTarget& GetChosenTarget()
{
    // Constant-initialised: nothing runs before main.
    static constinit hwy::ChosenTarget chosen;
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

}  // namespace SUITE_SIMD_ENTRY_POINTS_NAMESPACE
