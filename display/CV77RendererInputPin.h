// The input pin "IN" of the module's video renderers: offers the renderer's
// subtypes in order of preference and asks for three buffers of one frame.
#pragma once

#include "framework/CRendererInputPin.h"

class CBaseRenderer;

class CV77RendererInputPin : public CRendererInputPin {
public:
    // subtypes stays owned by the renderer, which outlives its pin.
    CV77RendererInputPin(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR pinName, const GUID* subtypes,
                         int subtypeCount);

    HRESULT GetMediaType(int position, CMediaType* mt) override;
    // The renderers throw while they prepare for a type; the error ends here.
    HRESULT SetMediaType(const CMediaType* mt) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;

private:
    const GUID* m_pSubtypes;
    int m_SubtypeCount;
};
