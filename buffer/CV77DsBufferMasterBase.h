// IV77DsBufferMaster with SetRate forwarded to MasterSetRate, so that it does
// not collide with IMediaSeeking::SetRate in the buffer filter.
#pragma once

#include "v77/IV77DsBuffer.h"

class CV77DsBufferMasterBase : public IV77DsBufferMaster {
public:
    STDMETHODIMP SetRate(double rate) final { return MasterSetRate(rate); }

protected:
    virtual HRESULT MasterSetRate(double rate) = 0;
    ~CV77DsBufferMasterBase() = default;
};
