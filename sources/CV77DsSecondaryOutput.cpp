#include "sources/CV77DsSecondaryOutput.h"

#include "sources/CV77DsSourceFilter.h"

CV77DsSecondaryOutput::CV77DsSecondaryOutput(CV77DsSourceFilter* filter, HRESULT* phr)
    : CV77DsSourceOutput(TEXT("Secondary output"), filter, phr, L"SECONDARY OUTPUT")
{
}

HRESULT CV77DsSecondaryOutput::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (!pin || !allocator)
        return E_POINTER;
    auto* primary = static_cast<CBaseOutputPin*>(m_pSourceFilter->GetPin(0));
    IMemAllocator* shared = primary ? primary->Allocator() : nullptr;
    if (!shared)
        return E_FAIL;
    shared->AddRef();
    *allocator = shared;
    return pin->NotifyAllocator(shared, TRUE);
}
