#include "audio/CV77TcpAudioRendererInput.h"

#include <mmreg.h>
#include <uuids.h>

CV77TcpAudioRendererInput::CV77TcpAudioRendererInput(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR pinName)
    : CRendererInputPin(renderer, phr, pinName)
{
}

STDMETHODIMP CV77TcpAudioRendererInput::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    const CMediaType& mt = m_mt;
    if (!IsConnected() || *mt.FormatType() != FORMAT_WaveFormatEx || mt.FormatLength() < sizeof(WAVEFORMAT))
        return VFW_E_NOT_CONNECTED;
    props->cBuffers = 3;
    props->cbBuffer = reinterpret_cast<const WAVEFORMATEX*>(mt.Format())->nBlockAlign;
    props->cbAlign = 1;
    props->cbPrefix = 0;
    return S_OK;
}
