#include "sources/V77PoolAllocation.h"

#include <algorithm>
#include <vfwmsgs.h>
#include "v77/V77Guids.h"

HRESULT V77AcceptAllocatorProperties(const ALLOCATOR_PROPERTIES* request, long minimumCount,
                                     ALLOCATOR_PROPERTIES* stored, ALLOCATOR_PROPERTIES* actual)
{
    if (!request)
        return E_POINTER;
    if (request->cbAlign > 1)
        return VFW_E_BADALIGN;
    if (request->cbPrefix != 0)
        return E_FAIL;
    stored->cBuffers = std::max(request->cBuffers, minimumCount);
    stored->cbBuffer = request->cbBuffer;
    stored->cbAlign = 1;
    stored->cbPrefix = 0;
    if (actual)
        *actual = *stored;
    return S_OK;
}

HRESULT V77TakePoolSample(IV77SamplePool* pool, DWORD flags, IMediaSample** sample)
{
    IUnknown* item = nullptr;
    HRESULT hr = (flags & AM_GBF_NOWAIT) ? pool->TryGetItem(&item) : pool->GetItem(&item, INFINITE);
    if (hr != S_OK) {
        if (item)
            item->Release();
        return hr;
    }
    IV77PoolItem* poolItem = nullptr;
    if (SUCCEEDED(item->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&poolItem)))) {
        poolItem->Reset();
        poolItem->Release();
    }
    hr = item->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample));
    item->Release();
    return hr;
}
