#include "buffer/CV77DsBufferAllocator.h"

#include <climits>
#include <vfwmsgs.h>
#include "buffer/CV77DsBufferFilter.h"

namespace {

constexpr LONG kMaxAlignment = 4096;

}  // namespace

CV77DsBufferAllocator::CV77DsBufferAllocator(const TCHAR* name, CV77DsBufferFilter* filter)
    : CUnknown(name, nullptr), m_pFilter(filter), m_Properties()
{
}

CV77DsBufferAllocator::~CV77DsBufferAllocator() = default;

STDMETHODIMP CV77DsBufferAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77DsBufferAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request)
        return E_POINTER;
    if (request->cbAlign > kMaxAlignment)
        return VFW_E_BADALIGN;
    if (request->cbPrefix != 0)
        return E_FAIL;
    CV77DsBufferFilter* filter = m_pFilter.load();
    if (!filter)
        return E_UNEXPECTED;
    if (request->cBuffers > filter->BufferCount()) {
        HRESULT hr = filter->SetBufferCount(request->cBuffers);
        if (FAILED(hr))
            return hr;
    }
    // The pool holds one more than the queue: a count at the top of the range has no room for it.
    if (filter->BufferCount() == LONG_MAX)
        return E_FAIL;
    LONG size = 0;
    HRESULT hr = filter->QueueBufferSize(request->cbBuffer, &size);
    if (FAILED(hr))
        return hr;
    m_Properties.cbAlign = request->cbAlign;
    m_Properties.cbBuffer = size;
    m_Properties.cBuffers = filter->BufferCount() + 1;
    m_Properties.cbPrefix = 0;
    if (actual)
        *actual = m_Properties;
    return S_OK;
}

STDMETHODIMP CV77DsBufferAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    *props = m_Properties;
    return S_OK;
}

STDMETHODIMP CV77DsBufferAllocator::Commit()
{
    return S_OK;
}

STDMETHODIMP CV77DsBufferAllocator::Decommit()
{
    return S_OK;
}
