#include "kernels/ProcessorFeatures.h"

#include <atomic>
#include <cpuid.h>
#include <cstring>

uint32_t V77FeatureWordFromCpuid(const V77CpuidRegisters& regs)
{
    uint32_t word = V77_CPU_CPUID;
    bool amd = false;
    if (std::strcmp(regs.vendor, "GenuineIntel") == 0) {
        word |= V77_CPU_INTEL;
    } else if (std::strcmp(regs.vendor, "AuthenticAMD") == 0) {
        word |= V77_CPU_AMD;
        amd = true;
    }
    if (regs.maxLeaf != 0) {
        if (regs.leaf1Edx & (1u << 23)) word |= V77_CPU_MMX;
        if (regs.leaf1Edx & (1u << 25)) word |= V77_CPU_SSE;
        if (regs.leaf1Edx & (1u << 26)) word |= V77_CPU_SSE2;
        if (regs.leaf1Ecx & (1u << 0)) word |= V77_CPU_SSE3;
        if (regs.leaf1Ecx & (1u << 9)) word |= V77_CPU_SSSE3;
        // AVX2 needs the processor's bit and the system saving XMM and YMM
        // state (OSXSAVE, then XCR0 bits 1 and 2).
        const bool osAvx = (regs.leaf1Ecx & (1u << 27)) && (regs.leaf1Ecx & (1u << 28)) && (regs.xcr0 & 6) == 6;
        if (regs.maxLeaf >= 7 && osAvx && (regs.leaf7Ebx & (1u << 5))) word |= V77_CPU_AVX2;
    }
    if (amd && regs.maxExtendedLeaf > 0x80000000u && (regs.ext1Edx & (1u << 22)))
        word |= V77_CPU_MMXEXT;
    return word;
}

uint32_t V77ComputeProcessorFeatures()
{
    // CPUID exists on every x86-64 processor, so unlike on 32-bit x86 there is
    // no fault to guard against here.
    V77CpuidRegisters regs{};
    unsigned a, b, c, d;
    __cpuid(0, a, b, c, d);
    regs.maxLeaf = a;
    std::memcpy(regs.vendor + 0, &b, 4);
    std::memcpy(regs.vendor + 4, &d, 4);
    std::memcpy(regs.vendor + 8, &c, 4);
    regs.vendor[12] = 0;
    if (regs.maxLeaf != 0) {
        __cpuid(1, a, b, c, d);
        regs.leaf1Ecx = c;
        regs.leaf1Edx = d;
        if (regs.leaf1Ecx & (1u << 27)) {
            unsigned lo, hi;
            asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
            regs.xcr0 = (static_cast<uint64_t>(hi) << 32) | lo;
        }
    }
    if (regs.maxLeaf >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        regs.leaf7Ebx = b;
    }
    __cpuid(0x80000000u, a, b, c, d);
    regs.maxExtendedLeaf = a;
    if (regs.maxExtendedLeaf > 0x80000000u) {
        __cpuid(0x80000001u, a, b, c, d);
        regs.ext1Edx = d;
    }
    return V77FeatureWordFromCpuid(regs);
}

namespace {
// Two threads that arrive together both compute the same value.
std::atomic<uint32_t> g_features{0};
}

uint32_t V77ProcessorFeatures()
{
    uint32_t word = g_features.load(std::memory_order_relaxed);
    if (word == 0) {
        word = V77ComputeProcessorFeatures();
        g_features.store(word, std::memory_order_relaxed);
    }
    return word;
}
