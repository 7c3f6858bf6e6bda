// IMediaSeeking for the buffer filter. IMediaSeeking::SetRate and
// ::GetAvailable share their signatures with IV77DsBufferMaster::SetRate and
// IV77DsBuffer::GetAvailable but mean something else, so each interface's
// version forwards to a distinctly named operation (see also
// CV77DsBufferMasterBase and CV77DsBufferBase). The vtable stays the interface's.
#pragma once

#include <windows.h>
#include <strmif.h>

class CV77DsBufferSeeking : public IMediaSeeking {
public:
    STDMETHODIMP SetRate(double rate) final { return SeekingSetRate(rate); }
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) final
    {
        return SeekingGetAvailable(earliest, latest);
    }

protected:
    virtual HRESULT SeekingSetRate(double rate) = 0;
    virtual HRESULT SeekingGetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
    ~CV77DsBufferSeeking() = default;
};
