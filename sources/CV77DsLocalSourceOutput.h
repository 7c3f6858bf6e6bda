// "Local Live Source OUTPUT" of the local live source: its own allocator is a
// CV77DsARCAllocator, whose samples carry the local receiver's context (a
// lease on a frame of the capture process) until they come back.
#pragma once

#include "sources/CV77DsSourceOutput.h"

class CV77DsLocalSourceOutput : public CV77DsSourceOutput {
public:
    CV77DsLocalSourceOutput(CV77DsSourceFilter* filter, HRESULT* phr);
    ~CV77DsLocalSourceOutput() override;

    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;

private:
    IMemAllocator* m_pOwnAllocator;  // referenced
};
