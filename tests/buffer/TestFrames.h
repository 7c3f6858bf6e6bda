// Frames for the queue tests: stand-alone pool items (the component's pool
// item class) carrying a frame number and times.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>
#include "v77/IV77SamplePool.h"

// A pooled frame of bytes bytes: its first four bytes hold frame; sample time
// and media time both [start, start + duration).
Microsoft::WRL::ComPtr<IV77PoolItem> MakeFrame(int frame, REFERENCE_TIME start, REFERENCE_TIME duration = 400000,
                                               DWORD bytes = 16);
// The frame number a MakeFrame item (or a sample the test source filled) carries.
int FrameNumber(IUnknown* sample);
REFERENCE_TIME MediaStart(IUnknown* sample);
