// The image sink component of V77Components.dll: a host's sink for the
// image renderer that writes every frame to a raw file and/or keeps copies
// of the last frames in memory. Pass its IV77ImageSinkSetup pointer to
// IV77DsImageRenderer::SetSink (slot 3 is Deliver, as the renderer calls it).
#pragma once

#include <windows.h>
#include <strmif.h>
#include "IV77Receivers.h"

DEFINE_GUID(CLSID_V77ImageSink, 0x6541309D, 0x6304, 0x4209, 0xB7, 0x9B, 0x16, 0x47, 0xC7, 0x65, 0xA2, 0xB7);
DEFINE_GUID(IID_IV77ImageSinkSetup, 0x339182D7, 0x3A6C, 0x4932, 0xB5, 0x6D, 0x74, 0x98, 0x91, 0x57, 0x17, 0xBB);

struct IV77ImageSinkSetup : public IV77ImageSink {
    // Creates (or truncates) path and appends each frame's valid bytes to it,
    // back to back; null closes the file. A failed write fails that Deliver.
    virtual HRESULT STDMETHODCALLTYPE SetFile(LPCWSTR path) = 0;                                  // 4
    // Keeps copies of the last count frames (0 keeps none and drops those kept).
    // Copies, not the samples: holding pool items would starve the source.
    virtual HRESULT STDMETHODCALLTYPE SetKeepCount(DWORD count) = 0;                             // 5
    // Frames delivered since creation.
    virtual HRESULT STDMETHODCALLTYPE GetFrameCount(DWORD* count) = 0;                           // 6
    // Kept frame index (0 the newest): *length its byte count; its bytes into
    // buffer when capacity allows (else ERROR_INSUFFICIENT_BUFFER, length set);
    // E_INVALIDARG past the frames kept. mediaStart may be null.
    virtual HRESULT STDMETHODCALLTYPE GetKeptFrame(DWORD index, BYTE* buffer, DWORD capacity, DWORD* length,
                                                   REFERENCE_TIME* mediaStart) = 0;               // 7
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77ImageSinkSetup, 0x339182D7, 0x3A6C, 0x4932, 0xB5, 0x6D, 0x74, 0x98, 0x91, 0x57, 0x17, 0xBB)
#endif
