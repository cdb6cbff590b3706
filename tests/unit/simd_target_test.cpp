#include <gtest/gtest.h>

#if SUITE_SIMD
#include <hwy/highway.h>
#include <hwy/targets.h>

#include <cstdint>

#include "simd_target.hpp"

using namespace suite;

// The programs' own definitions of the SIMD library's entry points
// (highway_entry_points.cpp), compiled here under this name.
namespace suite_simd_entry_points_under_test {
std::int64_t SupportedTargets();
hwy::ChosenTarget& GetChosenTarget();
}  // namespace suite_simd_entry_points_under_test

// The programs choose through the kernel's own detection and their own
// entry points; this binary links the SIMD library, whose choice is the
// reference.
TEST(SimdTarget, ChoosesWhatTheSimdLibraryChooses)
{
    namespace programs = suite_simd_entry_points_under_test;
    const std::int64_t ours = programs::SupportedTargets() & HWY_TARGETS;
    const std::int64_t library = hwy::SupportedTargets() & HWY_TARGETS;
    EXPECT_EQ(ours, library) << "ours: " << hwy::TargetName(ours & -ours)
                             << ", the library's: " << hwy::TargetName(library & -library);

    // One choice per process, made once, then the same dispatch table entry.
    hwy::ChosenTarget& chosen = programs::GetChosenTarget();
    EXPECT_FALSE(chosen.IsInitialized());
    chosen.Update(programs::SupportedTargets());
    EXPECT_TRUE(programs::GetChosenTarget().IsInitialized());
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    EXPECT_EQ(chosen.GetIndex(), hwy::GetChosenTarget().GetIndex());
}

namespace {

std::int64_t best(std::int64_t targets) { return targets & -targets; }

}  // namespace

// An AVX-512 processor whose operating system did not enable the wide
// registers' state must not be offered the instructions that use them.
TEST(SimdTarget, OffersAvxOnlyWhereTheSystemSavesItsRegisters)
{
    simd_detection::X86Cpu cpu;
    cpu.max_leaf = 0xd;
    cpu.leaf1_ecx = ~0U;
    cpu.leaf1_edx = ~0U;
    cpu.leaf7_ebx = ~0U;
    cpu.leaf7_ecx = 0;  // none of AVX3_DL's additions
    cpu.extended_ecx = ~0U;
    cpu.xcr0 = 0xe7;  // x87, XMM, YMM, opmask, ZMM
    EXPECT_EQ(best(simd_detection::x86_targets(cpu)), HWY_AVX3);
    cpu.xcr0 = 0x07;  // no AVX-512 state
    EXPECT_EQ(best(simd_detection::x86_targets(cpu)), HWY_AVX2);
    cpu.xcr0 = 0x67;  // the upper ZMM halves missing
    EXPECT_EQ(best(simd_detection::x86_targets(cpu)), HWY_AVX2);
    cpu.xcr0 = 0x03;  // no YMM state
    EXPECT_EQ(best(simd_detection::x86_targets(cpu)), HWY_SSE4);
    cpu.leaf1_ecx &= ~(1U << 27);  // no OSXSAVE: XCR0 cannot be read
    cpu.xcr0 = 0xe7;
    EXPECT_EQ(best(simd_detection::x86_targets(cpu)), HWY_SSE4);
    cpu.max_leaf = 6;  // no leaf 7: no AVX2
    cpu.leaf1_ecx = ~0U;
    EXPECT_EQ(best(simd_detection::x86_targets(cpu)), HWY_SSE4);
}

// The fixed-length SVE forms only where the vectors have their length.
TEST(SimdTarget, OffersFixedLengthSveOnlyAtItsLength)
{
    constexpr std::uint64_t aes = 1U << 3;
    constexpr std::uint64_t sve = 1U << 22;
    constexpr std::uint64_t sve2 = (1U << 1) | (1U << 2);
    EXPECT_EQ(best(simd_detection::arm_targets(aes, 0, 0)), HWY_NEON);
    EXPECT_EQ(best(simd_detection::arm_targets(aes | sve, 0, 32)), HWY_SVE_256);
    EXPECT_EQ(best(simd_detection::arm_targets(aes | sve, 0, 64)), HWY_SVE);
    EXPECT_EQ(best(simd_detection::arm_targets(aes | sve, sve2, 16)), HWY_SVE2_128);
    EXPECT_EQ(best(simd_detection::arm_targets(aes | sve, sve2, 32)), HWY_SVE_256);
    EXPECT_EQ(best(simd_detection::arm_targets(aes | sve, 1U << 1, 16)), HWY_SVE);
}
#endif
