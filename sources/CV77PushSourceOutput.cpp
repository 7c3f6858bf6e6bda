#include "sources/CV77PushSourceOutput.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mmreg.h>
#include <new>
#include <uuids.h>
#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "sources/CV77DsARCAllocator.h"
#include "sources/CV77DsARCLocalMediaSample.h"
#include "v77/V77Guids.h"

namespace {

const WAVEFORMATEX* WaveFormat(const CMediaType& mt)
{
    if (*mt.FormatType() != FORMAT_WaveFormatEx || !mt.Format() || mt.FormatLength() < sizeof(WAVEFORMATEX))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(mt.Format());
}

}  // namespace

CV77PushSourceOutput::CV77PushSourceOutput(CBaseFilter* filter, CCritSec* lock, HRESULT* phr)
    : CBaseOutputPin(TEXT("Push Source OUTPUT"), filter, lock, phr, L"Push Source OUTPUT"),
      m_lSampleSize(0),
      m_pHeader(nullptr),
      m_dwAllocatorMode(V77_PUSH_DOWNSTREAM_ALLOCATOR),
      m_pOwnAllocator(nullptr)
{
    if (FAILED(*phr))
        return;
    auto* allocator = new (std::nothrow) CV77DsARCAllocator(nullptr);
    if (!allocator) {
        *phr = E_OUTOFMEMORY;
        return;
    }
    m_pOwnAllocator = static_cast<IMemAllocator*>(allocator);
    m_pOwnAllocator->AddRef();
}

CV77PushSourceOutput::~CV77PushSourceOutput()
{
    if (m_pHeader)
        m_pHeader->Release();
    if (m_pOwnAllocator) {
        m_pOwnAllocator->Decommit();
        m_pOwnAllocator->Release();
    }
}

STDMETHODIMP CV77PushSourceOutput::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IV77PushSource)
        return GetInterface(static_cast<IV77PushSource*>(this), ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77PushSourceOutput::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (*mt->Type() != *m_Format.Type() || *mt->Subtype() != *m_Format.Subtype() ||
        *mt->FormatType() != *m_Format.FormatType())
        return S_FALSE;
    if (*m_Format.Type() == MEDIATYPE_Video) {
        const BITMAPINFOHEADER* theirs = GetBitmapInfoHeaderFromMediaType(*mt);
        const BITMAPINFOHEADER* ours = GetBitmapInfoHeaderFromMediaType(m_Format);
        if (!theirs || !ours)
            return S_FALSE;
        // The host's rows come in one order only: the height's sign counts.
        const bool same = theirs->biBitCount == ours->biBitCount && theirs->biCompression == ours->biCompression &&
                          theirs->biWidth == ours->biWidth && theirs->biHeight == ours->biHeight;
        return same ? S_OK : S_FALSE;
    }
    const WAVEFORMATEX* theirs = WaveFormat(*mt);
    const WAVEFORMATEX* ours = WaveFormat(m_Format);
    if (!theirs || !ours)
        return S_FALSE;
    const bool same = theirs->wBitsPerSample == ours->wBitsPerSample && theirs->nBlockAlign == ours->nBlockAlign &&
                      theirs->nChannels == ours->nChannels;
    return same ? S_OK : S_FALSE;
}

HRESULT CV77PushSourceOutput::SetMediaType(const CMediaType* mt)
{
    HRESULT hr = CBasePin::SetMediaType(mt);
    if (*mt->Type() == MEDIATYPE_Video) {
        if (const BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(*mt))
            m_lSampleSize = std::abs(bih->biHeight) * bih->biBitCount * bih->biWidth / 8;
    } else if (*mt->Type() == MEDIATYPE_Audio) {
        if (const WAVEFORMATEX* wave = WaveFormat(*mt))
            m_lSampleSize = wave->nBlockAlign;
    }
    return hr;
}

HRESULT CV77PushSourceOutput::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (position < 0)
        return E_INVALIDARG;
    if (position >= 1)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_Format;
    return S_OK;
}

HRESULT CV77PushSourceOutput::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (!pin || !allocator)
        return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES props = {};
    pin->GetAllocatorRequirements(&props);
    HRESULT hr = S_OK;
    if (m_dwAllocatorMode == V77_PUSH_DOWNSTREAM_ALLOCATOR) {
        hr = pin->GetAllocator(allocator);
        if (FAILED(hr)) {
            *allocator = nullptr;
            return hr;
        }
    } else if (m_dwAllocatorMode == V77_PUSH_OWN_ALLOCATOR && m_pOwnAllocator) {
        m_pOwnAllocator->AddRef();
        *allocator = m_pOwnAllocator;
    } else {
        return E_FAIL;
    }
    hr = DecideBufferSize(*allocator, &props);
    if (FAILED(hr))
        return hr;
    return pin->NotifyAllocator(*allocator, TRUE);
}

HRESULT CV77PushSourceOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    request->cbBuffer = std::max(m_lSampleSize, request->cbBuffer);
    // Each stage may hold a sample (a queue its newest, a renderer the one on
    // screen, this pin its header): with a single one the host's next
    // GetBuffer would wait for ever.
    request->cBuffers = std::max(request->cBuffers, kMinimumCount);
    request->cbAlign = std::max(request->cbAlign, 1L);
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(request, &actual);
}

// ---- IV77PushSource ----

STDMETHODIMP CV77PushSourceOutput::SetFormat(const AM_MEDIA_TYPE* pmt, DWORD allocatorMode)
{
    if (!pmt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    m_Format = *pmt;
    m_dwAllocatorMode = allocatorMode;
    return S_OK;
}

STDMETHODIMP CV77PushSourceOutput::PushSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    if (sample->IsPreroll() == S_OK) {
        sample->AddRef();
        IMediaSample* old = m_pHeader;
        m_pHeader = sample;
        if (old)
            old->Release();
        return S_OK;
    }
    LONGLONG start = 0;
    LONGLONG stop = 0;
    sample->GetMediaTime(&start, &stop);
    REFERENCE_TIME timeStart = start;
    REFERENCE_TIME timeStop = stop;
    sample->SetTime(&timeStart, &timeStop);
    if (sample->IsSyncPoint() == S_OK && m_pHeader) {
        HRESULT hr = PrependHeader(sample);
        if (FAILED(hr))
            return hr;
    }
    return Deliver(sample);
}

HRESULT CV77PushSourceOutput::PrependHeader(IMediaSample* sample)
{
    const LONG length = sample->GetActualDataLength();
    const LONG headerLength = m_pHeader->GetActualDataLength();
    if (length < 0 || headerLength < 0 || static_cast<LONGLONG>(headerLength) + length > sample->GetSize())
        return E_FAIL;
    BYTE* data = nullptr;
    BYTE* header = nullptr;
    if (FAILED(sample->GetPointer(&data)) || FAILED(m_pHeader->GetPointer(&header)) || !data || !header)
        return E_FAIL;
    std::memmove(data + headerLength, data, static_cast<size_t>(length));
    std::memcpy(data, header, static_cast<size_t>(headerLength));
    return sample->SetActualDataLength(headerLength + length);
}

STDMETHODIMP CV77PushSourceOutput::GetBuffer(IUnknown* context, IMediaSample** sample)
{
    if (!sample)
        return E_POINTER;
    HRESULT hr = GetDeliveryBuffer(sample, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    if (CV77DsARCLocalMediaSample* local = CV77DsARCLocalMediaSample::FromSample(*sample))
        local->AttachContext(context);
    return S_OK;
}

// Also IPin::EndOfStream of this output pin, which nobody upstream of it calls.
STDMETHODIMP CV77PushSourceOutput::EndOfStream()
{
    return DeliverEndOfStream();
}
