// The second output of a live source ("SECONDARY OUTPUT"): delivers the same
// samples as the primary output, from the primary output's allocator, so it
// can only be connected after the primary one.
#pragma once

#include "sources/CV77DsSourceOutput.h"

class CV77DsSecondaryOutput : public CV77DsSourceOutput {
public:
    CV77DsSecondaryOutput(CV77DsSourceFilter* filter, HRESULT* phr);

    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
};
