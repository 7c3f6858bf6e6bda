// What CTestSource delivers.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "framework/CMediaType.h"

struct TestSourceConfig {
    CMediaType mediaType;                 // the one type offered and accepted
    int frameCount = 10;                  // frames of the whole stream
    REFERENCE_TIME frameDuration = 200000;
    LONG frameBytes = 64;                 // bytes written into each sample
    bool timeStamps = true;               // stream times from the segment start
    bool mediaTimes = true;               // media times = stream positions
    bool endOfStream = true;              // end of stream after the last frame
    // Requested in DecideBufferSize (the downstream's requirements may raise them).
    LONG buffers = 3;
    LONG bufferSize = 64;
    // Pooled samples: taken from this allocator instead of the negotiated one.
    IMemAllocator* sampleAllocator = nullptr;   // referenced by the stream
    // Use the pin's own allocator even when downstream offers one.
    bool insistOnOwnAllocator = false;
    // Announce the negotiated allocator as read-only to the downstream pin.
    bool readOnly = false;
    // FillBuffer fails with failResult at this frame (-1: never).
    int failAtFrame = -1;
    HRESULT failResult = E_FAIL;
    // Hold every FillBuffer until ReleaseGate (or the stream stops).
    bool gated = false;
};
