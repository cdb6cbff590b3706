#pragma once

// The instruction set of the kernel's bulk loops.
//
// Each bulk loop is written once, in a source compiled for every instruction
// set the platform offers (SSSE3 to AVX-512 on x86-64, NEON and SVE on
// aarch64, and a one-lane form), and the widest one the processor runs is
// chosen when the program starts drawing. Every choice gives the same bits:
// each lane does the integer and IEEE double operations of the plain loop,
// in the same order, and the build forbids fused multiply-add. A build
// without the SIMD library (SUITE_SIMD=0) runs the plain loops themselves.

// The name of the instruction set the bulk loops run on in this process:
// "AVX3" (AVX-512), "AVX2", "NEON", ..., or "plain" in a build without the
// SIMD library.
const char* simd_target_name();

#if SUITE_SIMD
// Makes the library choose the instruction set, once, if nothing has made it
// choose yet; a dispatch table may then be read directly for the pointer to
// the chosen form of a loop, which callers keep rather than looking it up
// on every call.
void choose_simd_target();

// In a kernel source, after its last target: `Type* name()` returns the form
// of suite::HWY_NAMESPACE::func for the chosen instruction set. (The
// arguments are a type and names in declarations, which parentheses would
// break.)
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SUITE_CHOSEN_KERNEL(Type, name, func, plain_func)           \
    namespace suite {                                               \
    HWY_EXPORT(func);                                               \
    static Type* chosen_##func()                                    \
    {                                                               \
        choose_simd_target();                                       \
        return &HWY_DYNAMIC_DISPATCH(func);                         \
    }                                                               \
    }                                                               \
    Type* name() { return suite::chosen_##func(); }
// NOLINTEND(bugprone-macro-parentheses)
#else
// Without the SIMD library every loop runs in its plain form.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SUITE_CHOSEN_KERNEL(Type, name, func, plain_func) \
    Type* name() { return &(plain_func); }
// NOLINTEND(bugprone-macro-parentheses)
#endif
