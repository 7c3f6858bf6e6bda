// "ARCLocal OUTPUT" of the archive local source: the archive output with an
// allocator of its own (a CV77DsARCAllocator, used unless the filter is told
// otherwise), whose samples carry the receiver's context until they come back.
#pragma once

#include "sources/CV77DsARCSourceOutput.h"

class CV77DsARCAllocator;

class CV77DsARCLocalOutput : public CV77DsARCSourceOutput {
public:
    CV77DsARCLocalOutput(CV77DsARCSourceFilterBase* filter, HRESULT* phr);
    ~CV77DsARCLocalOutput() override;

    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
    // The archive output's sample, with context attached when it is one of ours.
    STDMETHODIMP GetBuffer(IUnknown* context, IMediaSample** ppSample) override;

    CV77DsARCAllocator* OwnAllocator() const { return m_pOwnAllocator; }

private:
    CV77DsARCAllocator* m_pOwnAllocator = nullptr;  // referenced
};
