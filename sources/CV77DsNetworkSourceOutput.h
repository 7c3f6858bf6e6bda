// "Network Live Source OUTPUT" of the network, TCP and AVI file sources: its
// own allocator hands out samples of the outside sample pool, and the pool
// itself is answered (while committed) to whoever asks the pin for it.
#pragma once

#include "sources/CV77DsSourceOutput.h"

class CV77DsNetworkSourceOutput : public CV77DsSourceOutput {
public:
    CV77DsNetworkSourceOutput(CV77DsSourceFilter* filter, HRESULT* phr);
    ~CV77DsNetworkSourceOutput() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;

private:
    IMemAllocator* m_pOwnAllocator;  // referenced
};
