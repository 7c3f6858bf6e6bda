#include "sources/CV77DsNetworkSourceOutput.h"

#include <new>
#include "sources/CV77DsSourceAllocator.h"
#include "v77/V77Guids.h"

CV77DsNetworkSourceOutput::CV77DsNetworkSourceOutput(CV77DsSourceFilter* filter, HRESULT* phr)
    : CV77DsSourceOutput(TEXT("Network Live Source OUTPUT"), filter, phr, L"Network Live Source OUTPUT"),
      m_pOwnAllocator(nullptr)
{
    if (FAILED(*phr))
        return;
    auto* allocator = new (std::nothrow) CV77DsSourceAllocator(nullptr);
    if (!allocator) {
        *phr = E_OUTOFMEMORY;
        return;
    }
    m_pOwnAllocator = static_cast<IMemAllocator*>(allocator);
    m_pOwnAllocator->AddRef();
}

CV77DsNetworkSourceOutput::~CV77DsNetworkSourceOutput()
{
    if (m_pOwnAllocator) {
        m_pOwnAllocator->Decommit();
        m_pOwnAllocator->Release();
    }
}

STDMETHODIMP CV77DsNetworkSourceOutput::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IV77SamplePool) {
        *ppv = nullptr;
        return m_pOwnAllocator ? m_pOwnAllocator->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    return CV77DsSourceOutput::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsNetworkSourceOutput::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    return DecideWithOwnAllocator(pin, m_pOwnAllocator, allocator);
}
