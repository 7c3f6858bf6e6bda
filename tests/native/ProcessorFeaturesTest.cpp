#include "kernels/ProcessorFeatures.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

V77CpuidRegisters Regs(const char* vendor, uint32_t maxLeaf, uint32_t ecx, uint32_t edx,
                       uint32_t maxExt = 0, uint32_t extEdx = 0)
{
    V77CpuidRegisters r{};
    r.maxLeaf = maxLeaf;
    std::snprintf(r.vendor, sizeof r.vendor, "%s", vendor);
    r.leaf1Ecx = ecx;
    r.leaf1Edx = edx;
    r.maxExtendedLeaf = maxExt;
    r.ext1Edx = extEdx;
    return r;
}

constexpr uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;
constexpr uint32_t kSse3 = 1u << 0, kSsse3 = 1u << 9;
constexpr uint32_t kAmdMmxExt = 1u << 22;

TEST(ProcessorFeatures, MapsVendorAndLeafOneBits)
{
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("GenuineIntel", 1, kSse3 | kSsse3, kMmx | kSse | kSse2)),
              0x10u | 0x1u | 0x20u | 0xC0u | 0x100u | 0x200u | 0x400u);
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("GenuineIntel", 1, 0, kMmx)), 0x31u);
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("GenuineIntel", 1, 0, kSse2)), 0x111u);
    // Another vendor gets no vendor bit; bits unrelated to the word are ignored.
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("CentaurHauls", 1, ~(kSse3 | kSsse3), kSse)), 0xD0u);
    // No leaf one when the highest leaf is zero.
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("GenuineIntel", 0, kSsse3, kSse2)), 0x11u);
}

TEST(ProcessorFeatures, AmdMmxExtensionsOnlyOnAmdWithExtendedLeaf)
{
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("AuthenticAMD", 1, 0, kMmx, 0x80000008u, kAmdMmxExt)), 0x72u);
    // Highest extended leaf must be above 0x80000000.
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("AuthenticAMD", 1, 0, kMmx, 0x80000000u, kAmdMmxExt)), 0x32u);
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("GenuineIntel", 1, 0, kMmx, 0x80000008u, kAmdMmxExt)), 0x31u);
    // With SSE the 0x40 is already there: OR, no carry into the SSE2 bit.
    EXPECT_EQ(V77FeatureWordFromCpuid(Regs("AuthenticAMD", 1, 0, kMmx | kSse, 0x80000008u, kAmdMmxExt)), 0xF2u);
}

TEST(ProcessorFeatures, ThisProcessorWordIsKeptAndHasSse2)
{
    uint32_t w = V77ProcessorFeatures();
    EXPECT_EQ(w, V77ComputeProcessorFeatures());
    EXPECT_EQ(w, V77ProcessorFeatures());
    EXPECT_TRUE(w & V77_CPU_CPUID);
    EXPECT_TRUE(w & V77_CPU_SSE2);  // every x86-64 processor
}

TEST(ProcessorFeatures, Avx2NeedsLeafSevenAndTheSystemSavingYmmState)
{
    constexpr uint32_t kOsXsave = 1u << 27, kAvx = 1u << 28, kAvx2 = 1u << 5;
    V77CpuidRegisters r = Regs("GenuineIntel", 7, kOsXsave | kAvx, kSse2);
    r.leaf7Ebx = kAvx2;
    r.xcr0 = 7;
    EXPECT_EQ(0x911u, V77FeatureWordFromCpuid(r));
    r.xcr0 = 3;  // YMM state not enabled by the system
    EXPECT_EQ(0x111u, V77FeatureWordFromCpuid(r));
    r.xcr0 = 7;
    r.maxLeaf = 6;
    EXPECT_EQ(0x111u, V77FeatureWordFromCpuid(r));
    r.maxLeaf = 7;
    r.leaf1Ecx = kAvx;  // no OSXSAVE: XCR0 means nothing
    EXPECT_EQ(0x111u, V77FeatureWordFromCpuid(r));
}

} // namespace
