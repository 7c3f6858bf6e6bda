#include "tests/kit/CTestAllocator.h"

#include "framework/CAutoLock.h"

CTestAllocator::CTestAllocator(HRESULT* phr)
    : CMemAllocator(TEXT("Test allocator"), nullptr, phr),
      m_hrSetProperties(S_OK),
      m_CapBuffers(0),
      m_GetBufferCalls(0),
      m_SetPropertiesCalls(0)
{
}

CTestAllocator* CTestAllocator::Create()
{
    HRESULT hr = S_OK;
    auto* allocator = new CTestAllocator(&hr);
    allocator->NonDelegatingAddRef();
    return allocator;
}

STDMETHODIMP CTestAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    {
        CAutoLock lock(&m_StatsLock);
        ++m_SetPropertiesCalls;
    }
    if (FAILED(m_hrSetProperties))
        return m_hrSetProperties;
    if (!request)
        return E_POINTER;
    ALLOCATOR_PROPERTIES capped = *request;
    if (m_CapBuffers > 0 && capped.cBuffers > m_CapBuffers)
        capped.cBuffers = m_CapBuffers;
    return CMemAllocator::SetProperties(&capped, actual);
}

STDMETHODIMP CTestAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                       DWORD flags)
{
    HRESULT hr = CMemAllocator::GetBuffer(sample, start, end, flags);
    CAutoLock lock(&m_StatsLock);
    ++m_GetBufferCalls;
    if (SUCCEEDED(hr))
        m_HandedOut.insert(*sample);
    return hr;
}

bool CTestAllocator::HandedOut(IMediaSample* sample)
{
    CAutoLock lock(&m_StatsLock);
    return m_HandedOut.count(sample) != 0;
}

LONG CTestAllocator::GetBufferCalls()
{
    CAutoLock lock(&m_StatsLock);
    return m_GetBufferCalls;
}

LONG CTestAllocator::SetPropertiesCalls()
{
    CAutoLock lock(&m_StatsLock);
    return m_SetPropertiesCalls;
}
