// The TCP audio renderer's input pin "IN": asks upstream for three buffers of
// one audio block each.
#pragma once

#include "framework/CRendererInputPin.h"

class CV77TcpAudioRendererInput : public CRendererInputPin {
public:
    CV77TcpAudioRendererInput(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR pinName);

    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
};
