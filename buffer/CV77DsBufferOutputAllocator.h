// The output pin's own allocator: its buffers are the queued frames, so
// GetBuffer is the queue's GetNext and the renderer receives the very samples
// the source filled.
#pragma once

#include "buffer/CV77DsBufferAllocator.h"

class CV77DsBufferOutputAllocator : public CV77DsBufferAllocator {
public:
    explicit CV77DsBufferOutputAllocator(CV77DsBufferFilter* filter);
    ~CV77DsBufferOutputAllocator() override;

    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;
};
