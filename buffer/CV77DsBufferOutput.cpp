#include "buffer/CV77DsBufferOutput.h"

#include <algorithm>
#include <new>
#include <uuids.h>
#include <cstdlib>
#include <wrl/client.h>
#include "buffer/CBufferQueue.h"
#include "buffer/CV77DsBufferFilter.h"
#include "buffer/CV77DsBufferInput.h"
#include "buffer/CV77DsBufferInputAllocator.h"
#include "buffer/CV77DsBufferOutputAllocator.h"
#include "buffer/V77CommandRecord.h"
#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// After a failed pass (queue aborted while flushing or stopping) the thread
// yields instead of spinning until the queue or the stop flag changes.
constexpr DWORD kFailurePauseMs = 1;

}  // namespace

CV77DsBufferOutput::CV77DsBufferOutput(CV77DsBufferFilter* filter, CCritSec* lock, HRESULT* phr)
    : CBaseOutputPin(TEXT("Output Pin"), filter, lock, phr, L"OUT"),
      CAMThread(phr),
      m_pBufferFilter(filter),
      m_pOwnAllocator(nullptr),
      m_bStop(false),
      m_cDelivered(0)
{
    m_pOwnAllocator = new (std::nothrow) CV77DsBufferOutputAllocator(filter);
    if (!m_pOwnAllocator) {
        if (phr)
            *phr = E_OUTOFMEMORY;
        return;
    }
    m_pOwnAllocator->NonDelegatingAddRef();
}

CV77DsBufferOutput::~CV77DsBufferOutput()
{
    m_bStop = true;
    Close();
    if (m_pOwnAllocator) {
        m_pOwnAllocator->DetachFilter();
        m_pOwnAllocator->NonDelegatingRelease();
    }
}

STDMETHODIMP CV77DsBufferOutput::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    // Seeking goes upstream through the filter.
    if (riid == IID_IMediaSeeking)
        return m_pBufferFilter->NonDelegatingQueryInterface(riid, ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsBufferOutput::CompareVideo(const CMediaType& proposed, const CMediaType& stored)
{
    const BITMAPINFOHEADER* mine = GetBitmapInfoHeaderFromMediaType(stored);
    const BITMAPINFOHEADER* theirs = GetBitmapInfoHeaderFromMediaType(proposed);
    if (!mine || !theirs)
        return V77_E_STREAM_CHANGED;
    const bool same = mine->biWidth == theirs->biWidth && mine->biBitCount == theirs->biBitCount &&
                      mine->biCompression == theirs->biCompression &&
                      std::labs(mine->biHeight) == std::labs(theirs->biHeight);
    return same ? S_OK : S_FALSE;
}

HRESULT CV77DsBufferOutput::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    const CMediaType& stored = m_pBufferFilter->Input()->StoredType();
    if (mt->majortype != stored.majortype || mt->subtype != stored.subtype || mt->formattype != stored.formattype)
        return S_FALSE;
    if (mt->majortype == MEDIATYPE_Video)
        return CompareVideo(*mt, stored);
    if (mt->majortype == MEDIATYPE_Audio)
        return mt->formattype == FORMAT_WaveFormatEx ? S_OK : V77_E_STREAM_CHANGED;
    return S_FALSE;
}

HRESULT CV77DsBufferOutput::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    CAutoLock lock(m_pLock);
    return mt->Set(m_pBufferFilter->Input()->StoredType());
}

HRESULT CV77DsBufferOutput::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (!pin || !allocator)
        return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES request = {};
    if (FAILED(pin->GetAllocatorRequirements(&request)))
        request = ALLOCATOR_PROPERTIES();
    if (!m_pBufferFilter->UseOwnAllocator() && SUCCEEDED(pin->GetAllocator(allocator)) && *allocator) {
        // Downstream's allocator: frames are copied into its buffers.
    } else {
        if (*allocator) {
            (*allocator)->Release();
            *allocator = nullptr;
        }
        m_pOwnAllocator->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(allocator));
    }
    HRESULT hr = DecideBufferSize(*allocator, &request);
    if (SUCCEEDED(hr))
        hr = pin->NotifyAllocator(*allocator, TRUE);
    if (FAILED(hr)) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    return hr;
}

HRESULT CV77DsBufferOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    ALLOCATOR_PROPERTIES input = {};
    HRESULT hr = static_cast<IMemAllocator*>(m_pBufferFilter->Input()->OwnAllocator())->GetProperties(&input);
    if (FAILED(hr))
        return hr;
    ALLOCATOR_PROPERTIES actual = {};
    if (allocator == static_cast<IMemAllocator*>(m_pOwnAllocator)) {
        // Our buffers are the input's frames: downstream cannot ask for more.
        if (request->cBuffers > input.cBuffers || request->cbBuffer > input.cbBuffer ||
            request->cbAlign > input.cbAlign || request->cbPrefix > input.cbPrefix)
            return E_FAIL;
        return allocator->SetProperties(&input, &actual);
    }
    ALLOCATOR_PROPERTIES wanted = {};
    wanted.cBuffers = std::max(1L, request->cBuffers);
    wanted.cbBuffer = std::max(request->cbBuffer, input.cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    wanted.cbPrefix = std::max(request->cbPrefix, input.cbPrefix);
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT CV77DsBufferOutput::Active()
{
    HRESULT hr = m_pOwnAllocator->Commit();
    if (FAILED(hr))
        return hr;
    m_bStop = false;
    if (!Create())
        return E_FAIL;
    hr = CBaseOutputPin::Active();
    if (FAILED(hr)) {
        // The filter stays stopped and no Inactive follows: end the thread here.
        m_bStop = true;
        if (CBufferQueue* queue = m_pBufferFilter->Queue()) {
            queue->StopPlayback();
            queue->Deactivate();
        }
        Close();
    }
    return hr;
}

HRESULT CV77DsBufferOutput::Inactive()
{
    m_bStop = true;
    HRESULT hr = CBaseOutputPin::Inactive();
    if (CBufferQueue* queue = m_pBufferFilter->Queue())
        queue->Deactivate();
    // Close swaps the handle out, so the thread is waited for and closed once.
    Close();
    return hr;
}

bool CV77DsBufferOutput::UsesOwnAllocator() const
{
    return m_pAllocator == static_cast<IMemAllocator*>(m_pOwnAllocator);
}

DWORD CV77DsBufferOutput::ThreadProc()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    while (!m_bStop) {
        if (FAILED(DeliverNext()) && !m_bStop)
            Sleep(kFailurePauseMs);
    }
    return 0;
}

HRESULT CV77DsBufferOutput::DeliverNext()
{
    ComPtr<IMediaSample> first;
    HRESULT hr = GetDeliveryBuffer(&first, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    ComPtr<IMediaSample> frame;
    ComPtr<IMediaSample> downstream;
    if (UsesOwnAllocator()) {
        frame = first;
    } else {
        // An empty buffer of downstream's allocator; the frame comes from the queue.
        downstream = first;
        hr = m_pOwnAllocator->GetBuffer(&frame, nullptr, nullptr, 0);
        if (FAILED(hr))
            return hr;
    }
    ComPtr<IV77PoolItem> item;
    hr = frame.As(&item);
    if (FAILED(hr))
        return hr;
    return DeliverFrame(frame.Get(), item.Get(), downstream.Get());
}

HRESULT CV77DsBufferOutput::DeliverFrame(IMediaSample* frame, IV77PoolItem* item, IMediaSample* downstream)
{
    V77_COMMAND_RECORD record = {};
    const HRESULT command = V77CommandRecord::Read(item, &record);
    if (command == S_OK)
        return record.Type == V77_COMMAND_END_OF_STREAM ? DeliverEndOfStream() : S_OK;
    if (FAILED(command))
        return S_OK;  // a malformed record: dropped
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    frame->GetTime(&start, &stop);
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (frame->GetMediaTime(&mediaStart, &mediaStop) == S_OK)
        start = mediaStart;  // the media time wins when set
    HRESULT hr = S_OK;
    if (downstream) {
        hr = item->CopyTo(downstream);
        if (SUCCEEDED(hr))
            hr = Deliver(downstream);
    } else {
        hr = Deliver(frame);
    }
    if (hr == S_OK)
        ++m_cDelivered;
    m_pBufferFilter->UpdateDisplayTime(start);
    return SUCCEEDED(hr) ? S_OK : hr;
}

STDMETHODIMP CV77DsBufferOutput::Notify(IBaseFilter*, Quality q)
{
    if (m_pQSink)
        return m_pQSink->Notify(m_pBufferFilter, q);
    // Quality messages are advice: never wait for the filter lock for one
    // (Stop holds it while it waits for this pin's delivery thread).
    ComPtr<IPin> upstream;
    if (!m_pLock->TryLock())
        return S_OK;
    upstream = m_pBufferFilter->Input()->GetConnected();
    m_pLock->Unlock();
    if (!upstream)
        return VFW_E_NOT_CONNECTED;
    ComPtr<IQualityControl> control;
    if (FAILED(upstream.As(&control)))
        return S_OK;
    return control->Notify(m_pBufferFilter, q);
}
