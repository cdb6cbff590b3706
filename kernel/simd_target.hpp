#pragma once

#include <cstdint>

// The instruction set of the kernel's bulk loops.
//
// Each bulk loop is written once, in a source compiled for every instruction
// set the platform offers (SSSE3 to AVX-512 on x86-64, NEON and SVE on
// aarch64, and a one-lane form), and the widest one the processor runs is
// chosen when the program starts drawing. Every choice gives the same bits:
// each lane does the integer and IEEE double operations of the plain loop,
// in the same order, and the build forbids fused multiply-add. A build
// without the SIMD library (SUITE_SIMD=0) runs the plain loops themselves.
//
// The SIMD library is used for its headers only: the two entry points the
// dispatch calls (hwy::SupportedTargets and hwy::GetChosenTarget) are this
// project's own (highway_entry_points.cpp), so that a program does not load
// the shared library, whose start-up calibrates a timer for milliseconds.

namespace suite {

// The name of the instruction set the bulk loops run on in this process:
// "AVX3" (AVX-512), "AVX2", "NEON", ..., or "plain" in a build without the
// SIMD library.
const char* simd_target_name();

#if SUITE_SIMD
// The instruction sets this processor and its operating system run, as a
// mask of the SIMD library's target bits (HWY_AVX3, HWY_NEON, ...), always
// with its one-lane forms. It makes the library's own choice: the same
// processor features make up each target, except that without OS support
// for the wide registers' state (XGETBV) no AVX target is ever offered.
std::int64_t detect_simd_targets();

// The detection from what the processor reports, for tests on processors
// the machine does not have.
namespace simd_detection {

// x86: CPUID leaf 0 eax (the highest leaf), leaf 1 ecx and edx, leaf 7
// (sub-leaf 0) ebx and ecx, leaf 0x80000001 ecx, and XCR0 (read only when
// leaf 1 reports OSXSAVE).
struct X86Cpu {
    std::uint32_t max_leaf = 0;
    std::uint32_t leaf1_ecx = 0;
    std::uint32_t leaf1_edx = 0;
    std::uint32_t leaf7_ebx = 0;
    std::uint32_t leaf7_ecx = 0;
    std::uint32_t extended_ecx = 0;
    std::uint64_t xcr0 = 0;
};
std::int64_t x86_targets(const X86Cpu& cpu);

// aarch64 Linux: the auxiliary vector's AT_HWCAP and AT_HWCAP2 and the SVE
// vector length in bytes (0 without SVE).
std::int64_t arm_targets(std::uint64_t hwcap, std::uint64_t hwcap2, std::uint64_t sve_bytes);

}  // namespace simd_detection

// Makes the library choose the instruction set, once, if nothing has made it
// choose yet; a dispatch table may then be read directly for the pointer to
// the chosen form of a loop, which callers keep rather than looking it up
// on every call.
void choose_simd_target();
#endif

}  // namespace suite

#if SUITE_SIMD
// In a kernel source, after its last target: `Type* name()` returns the form
// of suite::HWY_NAMESPACE::func for the chosen instruction set. It takes
// the address of the table entry HWY_DYNAMIC_DISPATCH names, because the
// library's HWY_DYNAMIC_POINTER, which says this, came after the 1.0
// releases (Debian 12 ships 1.0.3). The choice is made first: entry 0 of a
// table is the stub that chooses and then calls, and a caller keeping a
// pointer to it would go through the stub on every call.
// (The arguments are a type and names in declarations, which parentheses
// would break.)
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SUITE_CHOSEN_KERNEL(Type, name, func, plain_func)           \
    namespace suite {                                               \
    HWY_EXPORT(func);                                               \
    static Type* chosen_##func()                                    \
    {                                                               \
        choose_simd_target();                                       \
        return &HWY_DYNAMIC_DISPATCH(func);                         \
    }                                                               \
    Type* name() { return chosen_##func(); }                        \
    }
// NOLINTEND(bugprone-macro-parentheses)
#else
// Without the SIMD library every loop runs in its plain form.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SUITE_CHOSEN_KERNEL(Type, name, func, plain_func) \
    namespace suite {                                     \
    Type* name() { return &(plain_func); }                \
    }
// NOLINTEND(bugprone-macro-parentheses)
#endif
