#include "simd_target.hpp"

#if SUITE_SIMD
#include <hwy/highway.h>
#include <hwy/targets.h>

#if HWY_ARCH_X86
#include <cpuid.h>
#elif HWY_ARCH_ARM_A64 && HWY_OS_LINUX
#include <sys/auxv.h>
#include <sys/prctl.h>
#endif

namespace suite {

namespace simd_detection {

namespace {

constexpr bool bit(std::uint64_t word, int index) { return ((word >> index) & 1U) != 0; }

}  // namespace

// Each target needs every feature of its group, as the library's 1.0.3
// defines them: SSSE3 = SSE SSE2 SSE3 SSSE3; SSE4 adds SSE4.1 SSE4.2 CLMUL
// AES; AVX2 adds AVX AVX2 F16C FMA LZCNT BMI BMI2; AVX3 adds AVX-512 F VL DQ
// BW; AVX3_DL adds VNNI VPCLMULQDQ VBMI VBMI2 VAES VPOPCNTDQ BITALG.
std::int64_t x86_targets(const X86Cpu& cpu)
{
    const bool ssse3 = bit(cpu.leaf1_edx, 25) && bit(cpu.leaf1_edx, 26) && bit(cpu.leaf1_ecx, 0) &&
                       bit(cpu.leaf1_ecx, 9);
    const bool sse4 = ssse3 && bit(cpu.leaf1_ecx, 19) && bit(cpu.leaf1_ecx, 20) && bit(cpu.leaf1_ecx, 1) &&
                      bit(cpu.leaf1_ecx, 25);
    const bool leaf7 = cpu.max_leaf >= 7;
    const bool avx2 = sse4 && leaf7 && bit(cpu.leaf1_ecx, 28) && bit(cpu.leaf7_ebx, 5) && bit(cpu.leaf1_ecx, 29) &&
                      bit(cpu.leaf1_ecx, 12) && bit(cpu.extended_ecx, 5) && bit(cpu.leaf7_ebx, 3) &&
                      bit(cpu.leaf7_ebx, 8);
    const bool avx3 = avx2 && bit(cpu.leaf7_ebx, 16) && bit(cpu.leaf7_ebx, 31) && bit(cpu.leaf7_ebx, 17) &&
                      bit(cpu.leaf7_ebx, 30);
    const bool avx3_dl = avx3 && bit(cpu.leaf7_ecx, 11) && bit(cpu.leaf7_ecx, 10) && bit(cpu.leaf7_ecx, 1) &&
                         bit(cpu.leaf7_ecx, 6) && bit(cpu.leaf7_ecx, 9) && bit(cpu.leaf7_ecx, 14) &&
                         bit(cpu.leaf7_ecx, 12);

    // The operating system saves a register file across context switches
    // only if it enabled that state in XCR0: bit 1 the XMM, bit 2 the upper
    // YMM halves, bits 5 to 7 the opmask and ZMM registers. Without OSXSAVE
    // XCR0 cannot be read and no AVX instruction may run (the manuals' rule;
    // the library would still offer AVX there).
    const bool osxsave = bit(cpu.leaf1_ecx, 27);
    const std::uint64_t xcr0 = osxsave ? cpu.xcr0 : 0;
    const bool xmm = !osxsave || bit(xcr0, 1);
    const bool ymm = osxsave && bit(xcr0, 1) && bit(xcr0, 2);
    const bool zmm = ymm && bit(xcr0, 5) && bit(xcr0, 6) && bit(xcr0, 7);

    std::int64_t targets = HWY_SCALAR | HWY_EMU128;
    targets |= (ssse3 && xmm) ? HWY_SSSE3 : 0;
    targets |= (sse4 && xmm) ? HWY_SSE4 : 0;
    targets |= (avx2 && ymm) ? HWY_AVX2 : 0;
    targets |= (avx3 && zmm) ? HWY_AVX3 : 0;
    targets |= (avx3_dl && zmm) ? HWY_AVX3_DL : 0;
    return targets;
}

// NEON needs AES (HWCAP bit 3); SVE is HWCAP bit 22; SVE2 needs SVE2 and
// SVE-AES (HWCAP2 bits 1 and 2). The fixed-length forms run where the
// vectors have that length: 32 bytes for SVE_256, 16 for SVE2_128.
std::int64_t arm_targets(std::uint64_t hwcap, std::uint64_t hwcap2, std::uint64_t sve_bytes)
{
    std::int64_t targets = HWY_SCALAR | HWY_EMU128;
    targets |= bit(hwcap, 3) ? HWY_NEON : 0;
    const bool sve = bit(hwcap, 22);
    const bool sve2 = bit(hwcap2, 1) && bit(hwcap2, 2);
    targets |= sve ? HWY_SVE : 0;
    targets |= sve2 ? HWY_SVE2 : 0;
    targets |= (sve && sve_bytes == 32) ? HWY_SVE_256 : 0;
    targets |= (sve2 && sve_bytes == 16) ? HWY_SVE2_128 : 0;
    return targets;
}

}  // namespace simd_detection

std::int64_t detect_simd_targets()
{
#if HWY_ARCH_X86
    simd_detection::X86Cpu cpu;
    unsigned a = 0;
    unsigned b = 0;
    unsigned c = 0;
    unsigned d = 0;
    __cpuid(0, a, b, c, d);
    cpu.max_leaf = a;
    __cpuid(1, a, b, c, d);
    cpu.leaf1_ecx = c;
    cpu.leaf1_edx = d;
    if (cpu.max_leaf >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        cpu.leaf7_ebx = b;
        cpu.leaf7_ecx = c;
    }
    __cpuid(0x80000001U, a, b, c, d);
    cpu.extended_ecx = c;
    if (((cpu.leaf1_ecx >> 27) & 1U) != 0) {
        // XGETBV with ECX = 0, spelled as bytes for assemblers that predate it.
        unsigned low = 0;
        unsigned high = 0;
        __asm__ __volatile__(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
        cpu.xcr0 = (std::uint64_t{high} << 32) | low;
    }
    return simd_detection::x86_targets(cpu);
#elif HWY_ARCH_ARM_A64 && HWY_OS_LINUX && HWY_HAVE_RUNTIME_DISPATCH
    const std::uint64_t hwcap = getauxval(AT_HWCAP);
    std::uint64_t sve_bytes = 0;
    if (((hwcap >> 22) & 1U) != 0) {
        const int length = prctl(PR_SVE_GET_VL);
        sve_bytes = length < 0 ? 0 : static_cast<std::uint64_t>(length) & PR_SVE_VL_LEN_MASK;
    }
    return simd_detection::arm_targets(hwcap, getauxval(AT_HWCAP2), sve_bytes);
#else
    // No detection here: what the build may assume.
    return HWY_SCALAR | HWY_EMU128 | HWY_ENABLED_BASELINE;
#endif
}

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

}  // namespace suite
#else
const char* suite::simd_target_name() { return "plain"; }
#endif
