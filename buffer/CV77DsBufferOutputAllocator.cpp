#include "buffer/CV77DsBufferOutputAllocator.h"

#include <vfwmsgs.h>
#include <wrl/client.h>
#include "buffer/CBufferQueue.h"
#include "buffer/CV77DsBufferFilter.h"

using Microsoft::WRL::ComPtr;

CV77DsBufferOutputAllocator::CV77DsBufferOutputAllocator(CV77DsBufferFilter* filter)
    : CV77DsBufferAllocator(TEXT("Output Allocator"), filter)
{
}

CV77DsBufferOutputAllocator::~CV77DsBufferOutputAllocator() = default;

STDMETHODIMP CV77DsBufferOutputAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    CV77DsBufferFilter* filter = m_pFilter.load();
    CBufferQueue* queue = filter ? filter->Queue() : nullptr;
    if (!queue)
        return VFW_E_NOT_COMMITTED;
    ComPtr<IV77PoolItem> frame;
    HRESULT hr = queue->GetNext(&frame);
    if (FAILED(hr))
        return hr;
    if (!frame)
        return E_FAIL;
    return frame->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample));
}

STDMETHODIMP CV77DsBufferOutputAllocator::ReleaseBuffer(IMediaSample*)
{
    return S_OK;
}
