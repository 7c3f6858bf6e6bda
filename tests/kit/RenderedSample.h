// What CTestRenderer saw of one sample it rendered.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vector>

struct RenderedSample {
    IMediaSample* identity = nullptr;   // not referenced: for comparison only
    bool timeValid = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool mediaTimeValid = false;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    LONG length = 0;
    std::vector<BYTE> bytes;             // leading bytes
    bool syncPoint = false;
    bool discontinuity = false;
    bool streamTimeValid = false;
    REFERENCE_TIME streamTime = 0;       // filter stream time when drawn
    const void* pool = nullptr;          // IV77SamplePool of a pooled sample (not referenced), else null
    const void* data = nullptr;          // the sample's data pointer when drawn (for comparison only)
};
