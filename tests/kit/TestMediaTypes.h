// Media types and frame contents the test filters agree on.
#pragma once

#include <windows.h>
#include "framework/CMediaType.h"

// Uncompressed RGB32 video of width x height, fixed-size samples.
CMediaType MakeTestVideoType(LONG width = 4, LONG height = 4, REFERENCE_TIME frameTime = 400000);

// 16-bit PCM audio with WAVEFORMATEX.
CMediaType MakeTestAudioType(DWORD samplesPerSec = 8000);

// The byte at offset of frame number frame, as CTestSource writes it.
BYTE TestFrameByte(int frame, LONG offset);
