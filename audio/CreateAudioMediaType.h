// The DirectShow base classes' audio type helper: a MEDIATYPE_Audio type
// whose subtype follows the format tag and whose format block is a copy of wfx.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <strmif.h>

// pmt receives the type (its old format block is freed when setFormat is TRUE).
HRESULT WINAPI CreateAudioMediaType(const WAVEFORMATEX* wfx, AM_MEDIA_TYPE* pmt, BOOL setFormat);
