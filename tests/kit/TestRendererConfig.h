// How CTestRenderer behaves.
#pragma once

#include <windows.h>
#include <strmif.h>

struct TestRendererConfig {
    GUID majorType = GUID_NULL;     // accepted major type (GUID_NULL: any)
    bool waitForSampleTime = true;  // schedule by the clock (else draw on arrival)
    LONG bytesRecorded = 64;        // leading bytes kept of each sample
    bool keepSamples = false;       // hold every sample rendered until ClearSamples (starves a pool)
    // Allocator negotiation of the input pin.
    enum class Offer { Default, None, Custom } offer = Offer::Default;
    IMemAllocator* customAllocator = nullptr;   // for Offer::Custom; referenced by the renderer
    bool refuseForeignAllocators = false;       // NotifyAllocator only accepts the one we offered
    bool haveRequirements = false;
    ALLOCATOR_PROPERTIES requirements = {};
};
