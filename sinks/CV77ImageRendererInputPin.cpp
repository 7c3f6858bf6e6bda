#include "sinks/CV77ImageRendererInputPin.h"

#include <new>
#include <vfwmsgs.h>

#include "framework/CAutoLock.h"
#include "sinks/CV77DsImageRendererAllocator.h"
#include "sinks/CV77DsImageRendererFilter.h"
#include "sources/CV77DsSourceAllocator.h"
#include "v77/V77Guids.h"

CV77ImageRendererInputPin::CV77ImageRendererInputPin(CV77DsImageRendererFilter* filter, IUnknown* pool, HRESULT* phr)
    : CRendererInputPin(filter, phr, L"IN"), m_pFilter(filter), m_pPool(pool)
{
    if (m_pPool)
        m_pPool->AddRef();
}

CV77ImageRendererInputPin::~CV77ImageRendererInputPin()
{
    if (m_pPool)
        m_pPool->Release();
}

HRESULT CV77ImageRendererInputPin::GetMediaType(int position, CMediaType* mt)
{
    CMediaType required;
    if (!m_pFilter->RequiredType(&required))
        return CRendererInputPin::GetMediaType(position, mt);
    if (position < 0)
        return E_INVALIDARG;
    if (position >= 1)
        return VFW_S_NO_MORE_ITEMS;
    if (!mt)
        return E_POINTER;
    return mt->Set(required);
}

HRESULT CV77ImageRendererInputPin::NewAllocator(IMemAllocator** allocator)
{
    HRESULT hr = S_OK;
    CUnknown* created = nullptr;
    if (m_pPool)
        created = new (std::nothrow) CV77DsImageRendererAllocator(m_pPool, &hr);
    else
        created = new (std::nothrow) CV77DsSourceAllocator(nullptr);
    if (!created)
        return E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete created;
        return hr;
    }
    return created->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(allocator));
}

STDMETHODIMP CV77ImageRendererInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    *allocator = nullptr;
    CAutoLock lock(m_pLock);
    if (m_pAllocator) {
        m_pAllocator->AddRef();
        *allocator = m_pAllocator;
        return S_OK;
    }
    // Not kept: the one NotifyAllocator names is the pin's allocator.
    return NewAllocator(allocator);
}

STDMETHODIMP CV77ImageRendererInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    IUnknown* pool = nullptr;
    HRESULT hr = allocator->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(&pool));
    if (pool)
        pool->Release();
    // A pool-backed allocator that is not committed yet has no pool to show.
    if (FAILED(hr) && hr != VFW_E_NOT_COMMITTED)
        return E_FAIL;
    return CRendererInputPin::NotifyAllocator(allocator, readOnly);
}

STDMETHODIMP CV77ImageRendererInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    SOURCE_INFORMATION info = {};
    m_pFilter->GetSourceInformation(&info);
    const unsigned long long bytes =
        static_cast<unsigned long long>(info.Width < 0 ? 0 : info.Width) * static_cast<unsigned long long>(info.Height < 0 ? 0 : info.Height) * info.BitCount / 8;
    props->cBuffers = 6;
    props->cbAlign = 1;
    props->cbPrefix = 0;
    props->cbBuffer = bytes > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(bytes);
    return S_OK;
}
