// IV77DsBuffer with GetAvailable forwarded to GetAvailableFrames, so that it
// does not collide with IMediaSeeking::GetAvailable in the buffer filter.
#pragma once

#include "v77/IV77DsBuffer.h"

class CV77DsBufferBase : public IV77DsBuffer {
public:
    STDMETHODIMP GetAvailable(REFERENCE_TIME* first, REFERENCE_TIME* last) final
    {
        return GetAvailableFrames(first, last);
    }

protected:
    virtual HRESULT GetAvailableFrames(REFERENCE_TIME* first, REFERENCE_TIME* last) = 0;
    ~CV77DsBufferBase() = default;
};
