// What the allocators of the sources and the image renderer share: the
// properties they accept, and one item of a sample pool handed out as a
// fresh media sample.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "v77/IV77SamplePool.h"

// Alignment above 1: VFW_E_BADALIGN; a prefix: E_FAIL (nothing stored).
// Otherwise *stored ← count max(requested, minimumCount), the requested
// size, alignment 1, no prefix, also copied to actual when given; S_OK.
HRESULT V77AcceptAllocatorProperties(const ALLOCATOR_PROPERTIES* request, long minimumCount,
                                     ALLOCATOR_PROPERTIES* stored, ALLOCATOR_PROPERTIES* actual);

// Takes an item of pool (TryGetItem with AM_GBF_NOWAIT in flags, else a
// wait without limit), resets it and returns it as its IMediaSample. Any
// pool answer but S_OK is returned with *sample untouched.
HRESULT V77TakePoolSample(IV77SamplePool* pool, DWORD flags, IMediaSample** sample);
