#include "buffer/CV77DsBufferInput.h"

#include <algorithm>
#include <climits>
#include <new>
#include <uuids.h>
#include <amvideo.h>
#include <dvdmedia.h>
#include <cstring>
#include <wrl/client.h>
#include "buffer/CBufferQueue.h"
#include "buffer/CV77DsBufferFilter.h"
#include "buffer/CV77DsBufferInputAllocator.h"
#include "buffer/CV77DsBufferOutput.h"
#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// The input offers these video subtypes, in this order, then PCM audio.
const GUID* const kVideoSubtypes[] = {&MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_YV12, &MEDIASUBTYPE_RGB32,
                                      &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_RGB565};
constexpr int kVideoTypes = sizeof(kVideoSubtypes) / sizeof(kVideoSubtypes[0]);

bool IsAcceptedVideoSubtype(const GUID& subtype)
{
    for (const GUID* accepted : kVideoSubtypes) {
        if (subtype == *accepted)
            return true;
    }
    return false;
}

}  // namespace

CV77DsBufferInput::CV77DsBufferInput(CV77DsBufferFilter* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(TEXT("Input Pin"), filter, lock, phr, L"IN"), m_pBufferFilter(filter), m_pOwnAllocator(nullptr)
{
    m_pOwnAllocator = new (std::nothrow) CV77DsBufferInputAllocator(filter);
    if (!m_pOwnAllocator) {
        if (phr)
            *phr = E_OUTOFMEMORY;
        return;
    }
    m_pOwnAllocator->NonDelegatingAddRef();
}

CV77DsBufferInput::~CV77DsBufferInput()
{
    if (m_pOwnAllocator) {
        m_pOwnAllocator->DetachFilter();
        m_pOwnAllocator->NonDelegatingRelease();
    }
}

HRESULT CV77DsBufferInput::CheckMajorType(const CMediaType& mt)
{
    if (mt.majortype == MEDIATYPE_Video) {
        if (mt.formattype != FORMAT_VideoInfo && mt.formattype != FORMAT_VideoInfo2)
            return E_INVALIDARG;
        return IsAcceptedVideoSubtype(mt.subtype) ? S_OK : E_INVALIDARG;
    }
    if (mt.majortype == MEDIATYPE_Audio && mt.formattype != FORMAT_WaveFormatEx)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CV77DsBufferInput::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    HRESULT hr = CheckMajorType(*mt);
    if (FAILED(hr))
        return hr;
    const AM_MEDIA_TYPE* preferred = m_pBufferFilter->PreferredMediaType();
    if (preferred && preferred->subtype != GUID_NULL && preferred->subtype != mt->subtype)
        return E_INVALIDARG;
    // A new type while connected must not need bigger samples.
    if (IsConnected() && mt->GetSampleSize() > m_mt.GetSampleSize())
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CV77DsBufferInput::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (position < 0)
        return E_INVALIDARG;
    const AM_MEDIA_TYPE* preferred = m_pBufferFilter->PreferredMediaType();
    if (preferred && preferred->subtype != GUID_NULL) {
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        return mt->Set(*preferred);
    }
    mt->InitMediaType();
    if (position < kVideoTypes) {
        mt->SetType(&MEDIATYPE_Video);
        mt->SetSubtype(kVideoSubtypes[position]);
    } else if (position == kVideoTypes) {
        mt->SetType(&MEDIATYPE_Audio);
        mt->SetSubtype(&MEDIASUBTYPE_PCM);
    } else {
        return VFW_S_NO_MORE_ITEMS;
    }
    mt->SetFormatType(&GUID_NULL);
    return S_OK;
}

HRESULT CV77DsBufferInput::ToStoredType(const CMediaType& mt, CMediaType* stored)
{
    HRESULT hr = stored->Set(mt);
    if (FAILED(hr) || mt.formattype != FORMAT_VideoInfo2)
        return hr;
    if (!mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER2))
        return E_INVALIDARG;
    // Rectangles, bit rates and frame time (the first 48 bytes) and the bitmap header.
    const auto* vih2 = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
    VIDEOINFOHEADER vih = {};
    std::memcpy(&vih, vih2, offsetof(VIDEOINFOHEADER, bmiHeader));
    vih.bmiHeader = vih2->bmiHeader;
    stored->SetFormatType(&FORMAT_VideoInfo);
    return stored->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih)) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CV77DsBufferInput::SetMediaType(const CMediaType* mt)
{
    HRESULT hr = CBaseInputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    return ToStoredType(*mt, &m_StoredType);
}

HRESULT CV77DsBufferInput::Active()
{
    HRESULT hr = m_pOwnAllocator->Commit();
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::Active();
}

HRESULT CV77DsBufferInput::Inactive()
{
    HRESULT hr = CBaseInputPin::Inactive();
    m_pOwnAllocator->Decommit();
    return hr;
}

STDMETHODIMP CV77DsBufferInput::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    // Upstream always fills pooled samples.
    return m_pOwnAllocator->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(allocator));
}

STDMETHODIMP CV77DsBufferInput::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    HRESULT hr = CBaseInputPin::NotifyAllocator(allocator, readOnly);
    if (FAILED(hr))
        return hr;
    IMemAllocator* own = static_cast<IMemAllocator*>(m_pOwnAllocator);
    if (allocator == own)
        return S_OK;
    // Upstream keeps its own samples: ours copy them, sized alike.
    ALLOCATOR_PROPERTIES props = {};
    hr = allocator->GetProperties(&props);
    if (FAILED(hr))
        return hr;
    ALLOCATOR_PROPERTIES actual = {};
    return own->SetProperties(&props, &actual);
}

STDMETHODIMP CV77DsBufferInput::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    // A source that keeps its own pooled samples has them held by the queue
    // (up to the buffer count less two, one more at the renderer): its pool
    // needs as many samples as ours, or it runs dry and stalls. The count is
    // read at connection, so a count set later cannot reach that pool.
    const LONG count = m_pBufferFilter->BufferCount();
    if (count <= 0 || count == LONG_MAX)
        return E_NOTIMPL;  // no queue yet: nothing to ask for
    props->cBuffers = count + 1;
    props->cbBuffer = IsConnected() ? static_cast<LONG>(m_mt.GetSampleSize()) : 0;
    props->cbAlign = 1;
    props->cbPrefix = 0;
    return S_OK;
}

STDMETHODIMP CV77DsBufferInput::ReceiveCanBlock()
{
    return S_OK;
}

STDMETHODIMP CV77DsBufferInput::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    // Sources that stamp only sample times: the media time carries the position.
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaStop) == VFW_E_MEDIA_TIME_NOT_SET) {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        if (SUCCEEDED(sample->GetTime(&start, &stop))) {
            sample->SetMediaTime(&start, &stop);
            sample->SetTime(nullptr, nullptr);
        }
    }
    ComPtr<IV77PoolItem> item;
    if (SUCCEEDED(sample->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(item.GetAddressOf()))))
        return ReceivePooled(item.Get());
    const LONG length = sample->GetActualDataLength();
    return length > 0 ? ReceiveCopy(sample, length) : S_OK;
}

HRESULT CV77DsBufferInput::ReceivePooled(IV77PoolItem* frame)
{
    CBufferQueue* queue = m_pBufferFilter->Queue();
    if (!queue)
        return VFW_E_WRONG_STATE;
    // The pooled sample is the frame: no copy. Empty frames are not queued.
    if (frame->GetDataLength() == 0 && frame->GetData(nullptr) != S_OK)
        return S_OK;
    return queue->Add(frame);
}

HRESULT CV77DsBufferInput::ReceiveCopy(IMediaSample* sample, LONG length)
{
    CBufferQueue* queue = m_pBufferFilter->Queue();
    if (!queue)
        return VFW_E_WRONG_STATE;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr) || !data)
        return FAILED(hr) ? hr : E_POINTER;
    LONGLONG start = 0;
    LONGLONG stop = 0;
    if (sample->GetMediaTime(&start, &stop) != S_OK)
        start = stop = 0;
    const LONGLONG timePerByte = (stop - start) / length;
    LONG remaining = length;
    while (remaining > 0) {
        ComPtr<IMediaSample> buffer;
        hr = m_pOwnAllocator->GetBuffer(&buffer, nullptr, nullptr, 0);
        if (FAILED(hr) || !buffer)
            return FAILED(hr) ? hr : VFW_E_TIMEOUT;  // the pool gave nothing
        ComPtr<IV77PoolItem> frame;
        hr = buffer.As(&frame);
        if (FAILED(hr))
            return hr;
        const LONG n = std::min(buffer->GetSize(), remaining);
        if (n <= 0)
            return E_FAIL;  // an allocator of empty buffers would never finish the copy
        LONGLONG chunkStop = start + n * timePerByte;
        buffer->SetMediaTime(&start, &chunkStop);
        buffer->SetActualDataLength(n);
        BYTE* target = nullptr;
        buffer->GetPointer(&target);
        std::memcpy(target, data, static_cast<size_t>(n));
        data += n;
        start = chunkStop;
        hr = queue->Add(frame.Get());
        if (FAILED(hr))
            return hr;
        remaining -= n;
    }
    return hr;
}

STDMETHODIMP CV77DsBufferInput::BeginFlush()
{
    HRESULT hr = m_pBufferFilter->Output()->DeliverBeginFlush();
    if (CBufferQueue* queue = m_pBufferFilter->Queue())
        queue->Abort();
    HRESULT hrBase = CBaseInputPin::BeginFlush();
    return FAILED(hr) ? hr : hrBase;
}

STDMETHODIMP CV77DsBufferInput::EndFlush()
{
    HRESULT hr = CBaseInputPin::EndFlush();
    if (FAILED(hr))
        return hr;
    m_pBufferFilter->FlushDisplayTime();
    if (CBufferQueue* queue = m_pBufferFilter->Queue())
        queue->Flush();
    return m_pBufferFilter->Output()->DeliverEndFlush();
}

STDMETHODIMP CV77DsBufferInput::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;  // stopped, or flushing: nothing to end
    CBufferQueue* queue = m_pBufferFilter->Queue();
    if (queue && queue->AddEndOfStream())
        return S_OK;
    return m_pBufferFilter->Output()->DeliverEndOfStream();
}

STDMETHODIMP CV77DsBufferInput::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    CBaseInputPin::NewSegment(start, stop, rate);
    if (CBufferQueue* queue = m_pBufferFilter->Queue())
        queue->AddSegment(start, stop, rate);
    return S_OK;
}
