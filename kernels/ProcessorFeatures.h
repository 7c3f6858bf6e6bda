// Processor feature word shared by every kernel dispatcher of the module.
#pragma once

#include <cstdint>

// Bits of the feature word. They combine by OR: SSE implies the MMX
// extensions (0x40 is part of 0xC0), and AMD's own MMX-extension bit sets the
// same 0x40, so a processor that has both still reads 0xC0, never a carry into
// the SSE2 bit.
enum : uint32_t {
    V77_CPU_INTEL = 0x1,
    V77_CPU_AMD = 0x2,
    V77_CPU_CPUID = 0x10,   // CPUID ran
    V77_CPU_MMX = 0x20,
    V77_CPU_MMXEXT = 0x40,  // MMX extensions (part of SSE, or AMD's own)
    V77_CPU_SSE = 0xC0,
    V77_CPU_SSE2 = 0x100,
    V77_CPU_SSE3 = 0x200,
    V77_CPU_SSSE3 = 0x400,
    V77_CPU_AVX2 = 0x800,   // AVX2, with the YMM state saved by the system
};

// Raw CPUID results the word is built from; kept apart so the mapping can be
// checked without the machine's own processor.
struct V77CpuidRegisters {
    uint32_t maxLeaf;          // CPUID 0: EAX
    char vendor[13];           // CPUID 0: EBX, EDX, ECX, zero-terminated
    uint32_t leaf1Ecx, leaf1Edx;
    uint32_t maxExtendedLeaf;  // CPUID 0x80000000: EAX
    uint32_t ext1Edx;          // CPUID 0x80000001: EDX
    uint32_t leaf7Ebx;         // CPUID 7, sub-leaf 0: EBX
    uint64_t xcr0;             // XGETBV 0, read only when the system enables XSAVE
};

// Builds the feature word from CPUID results.
uint32_t V77FeatureWordFromCpuid(const V77CpuidRegisters& regs);

// Runs CPUID on this processor and builds the word (no caching).
uint32_t V77ComputeProcessorFeatures();

// The module-wide word: computed on first use, then kept.
uint32_t V77ProcessorFeatures();
