#include "sources/CV77DsLocalSourceOutput.h"

#include <new>
#include "sources/CV77DsARCAllocator.h"

CV77DsLocalSourceOutput::CV77DsLocalSourceOutput(CV77DsSourceFilter* filter, HRESULT* phr)
    : CV77DsSourceOutput(TEXT("Local Live Source OUTPUT"), filter, phr, L"Local Live Source OUTPUT"),
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

CV77DsLocalSourceOutput::~CV77DsLocalSourceOutput()
{
    if (m_pOwnAllocator) {
        // Its free samples hold references on it until they are deleted.
        m_pOwnAllocator->Decommit();
        m_pOwnAllocator->Release();
    }
}

HRESULT CV77DsLocalSourceOutput::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    return DecideWithOwnAllocator(pin, m_pOwnAllocator, allocator);
}
