#include "display/CV77RendererInputPin.h"

#include <uuids.h>

#include "display/V77DxRendererErrors.h"

CV77RendererInputPin::CV77RendererInputPin(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR pinName,
                                           const GUID* subtypes, int subtypeCount)
    : CRendererInputPin(renderer, phr, pinName), m_pSubtypes(subtypes), m_SubtypeCount(subtypeCount)
{
}

HRESULT CV77RendererInputPin::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position >= m_SubtypeCount)
        return VFW_S_NO_MORE_ITEMS;
    if (!mt)
        return E_POINTER;
    // A partial type: the upstream filter fills in the format.
    *mt = CMediaType();
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(&m_pSubtypes[position]);
    mt->SetFormatType(&GUID_NULL);
    return S_OK;
}

HRESULT CV77RendererInputPin::SetMediaType(const CMediaType* mt)
{
    try {
        return CRendererInputPin::SetMediaType(mt);
    }
    V77DX_CATCH()
}

STDMETHODIMP CV77RendererInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    props->cBuffers = 3;
    props->cbBuffer = static_cast<LONG>(m_mt.lSampleSize);
    props->cbAlign = 1;
    props->cbPrefix = 0;
    return S_OK;
}
