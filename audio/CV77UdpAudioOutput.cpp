#include "audio/CV77UdpAudioOutput.h"

#include <mmreg.h>
#include <uuids.h>
#include <algorithm>
#include <cstring>

#include "audio/CV77UdpAudioSourceFilter.h"
#include "audio/CreateAudioMediaType.h"
#include "framework/CAutoLock.h"

CV77UdpAudioOutput::CV77UdpAudioOutput(const TCHAR* objectName, CV77UdpAudioSourceFilter* filter, CCritSec* lock,
                                       HRESULT* phr, LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, lock, phr, pinName),
      m_pUdpFilter(filter),
      m_Suggested(),
      m_Actual(),
      m_pPending(nullptr),
      m_bMute(false)
{
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 1;
    wfx.nSamplesPerSec = 8000;
    wfx.nAvgBytesPerSec = 16000;
    wfx.nBlockAlign = 2;
    wfx.wBitsPerSample = 16;
    wfx.cbSize = 0;
    m_hrType = CreateAudioMediaType(&wfx, &m_MediaType, TRUE);
}

CV77UdpAudioOutput::~CV77UdpAudioOutput()
{
    if (m_pPending)
        m_pPending->Release();
}

STDMETHODIMP CV77UdpAudioOutput::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IAMBufferNegotiation)
        return GetInterface(static_cast<IAMBufferNegotiation*>(this), ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77UdpAudioOutput::CheckMediaType(const CMediaType* mt)
{
    if (!mt || *mt->Type() != MEDIATYPE_Audio || *mt->Subtype() != MEDIASUBTYPE_PCM ||
        *mt->FormatType() != FORMAT_WaveFormatEx || !mt->Format() || mt->FormatLength() < sizeof(WAVEFORMAT) + 2)
        return S_FALSE;
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt->Format());
    if (wfx->nSamplesPerSec != 8000 || wfx->nChannels != 1 || wfx->wFormatTag != WAVE_FORMAT_PCM ||
        wfx->wBitsPerSample != 16 || wfx->nBlockAlign != 2)
        return S_FALSE;
    return S_OK;
}

HRESULT CV77UdpAudioOutput::GetMediaType(int position, CMediaType* mt)
{
    CAutoLock lock(m_pLock);
    if (position < 0)
        return E_INVALIDARG;
    if (position >= 1)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_MediaType;
    return S_OK;
}

HRESULT CV77UdpAudioOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES props;
    props.cBuffers = std::max(m_Suggested.cBuffers, request->cBuffers);
    props.cbBuffer = std::max(m_Suggested.cbBuffer, request->cbBuffer);
    props.cbAlign = std::max(m_Suggested.cbAlign, request->cbAlign);
    props.cbPrefix = std::max(m_Suggested.cbPrefix, request->cbPrefix);
    return allocator->SetProperties(&props, &m_Actual);
}

HRESULT CV77UdpAudioOutput::Inactive()
{
    {
        CAutoLock lock(&m_PendingLock);
        if (m_pPending) {
            m_pPending->Release();
            m_pPending = nullptr;
        }
    }
    return CBaseOutputPin::Inactive();
}

STDMETHODIMP CV77UdpAudioOutput::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    m_Suggested = *props;
    return S_OK;
}

STDMETHODIMP CV77UdpAudioOutput::GetAllocatorProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    *props = m_Actual;
    return S_OK;
}

HRESULT CV77UdpAudioOutput::TakeBuffer()
{
    HRESULT hr = GetDeliveryBuffer(&m_pPending, nullptr, nullptr, AM_GBF_NOWAIT);
    if (FAILED(hr) || !m_pPending) {
        m_pPending = nullptr;
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (m_pPending->GetSize() <= 0) {
        m_pPending->Release();
        m_pPending = nullptr;
        return VFW_E_SIZENOTSET;
    }
    m_pPending->SetActualDataLength(0);
    m_pPending->SetTime(nullptr, nullptr);
    m_pPending->SetMediaTime(nullptr, nullptr);
    return S_OK;
}

HRESULT CV77UdpAudioOutput::OnData(IMediaSample* data)
{
    if (!data)
        return E_POINTER;
    LONG remaining = data->GetActualDataLength();
    BYTE* source = nullptr;
    if (remaining <= 0 || FAILED(data->GetPointer(&source)) || !source)
        return S_OK;
    if (!m_pUdpFilter->IsRunning())
        return S_FALSE;

    CAutoLock lock(&m_PendingLock);
    HRESULT hr = S_OK;
    while (remaining > 0) {
        if (!m_pPending) {
            hr = TakeBuffer();
            if (FAILED(hr))
                return hr;   // the rest of this datagram is lost
        }
        const LONG offset = m_pPending->GetActualDataLength();
        const LONG room = m_pPending->GetSize() - offset;
        const LONG n = std::min(remaining, room);
        BYTE* target = nullptr;
        m_pPending->GetPointer(&target);
        if (m_bMute)
            std::memset(target + offset, 0, static_cast<size_t>(n));
        else
            std::memcpy(target + offset, source, static_cast<size_t>(n));
        hr = m_pPending->SetActualDataLength(offset + n);
        remaining -= n;
        source += n;
        if (n == room) {
            IMediaSample* full = m_pPending;
            m_pPending = nullptr;
            hr = Deliver(full);
            full->Release();
        }
    }
    return hr;
}
