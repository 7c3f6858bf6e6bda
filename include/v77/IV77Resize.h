// Host control of the resize filter.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"

struct IV77Resize : public IUnknown {
    // VFW_E_ALREADY_CONNECTED once the output has been connected.
    virtual HRESULT STDMETHODCALLTYPE SetOutputSize(const SIZE* size) = 0;                       // 3
    // Read at the next start of streaming; empty means the whole frame.
    virtual HRESULT STDMETHODCALLTYPE SetSourceRect(const RECT* rect) = 0;                       // 4
    // 0 passes every frame.
    virtual HRESULT STDMETHODCALLTYPE SetFramePeriod(REFERENCE_TIME period) = 0;                 // 5
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77Resize, 0xC79859EA, 0x76C5, 0x495D, 0xB4, 0x9E, 0xB4, 0xD4, 0xA0, 0xE8, 0xCC, 0x76)
#endif
