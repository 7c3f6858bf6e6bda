// A CMemAllocator a test can steer: refuse or cap SetProperties, and see
// which samples it handed out.
#pragma once

#include <set>
#include <vector>
#include "framework/CMemAllocator.h"

class CTestAllocator : public CMemAllocator {
public:
    // One reference, for Adopt() (not ComPtr::Attach, which adds one).
    static CTestAllocator* Create();

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                           DWORD flags) override;

    // SetProperties fails with this code (S_OK: works normally).
    void FailSetProperties(HRESULT hr) { m_hrSetProperties = hr; }
    // SetProperties gives at most this many buffers (0: no cap).
    void CapBuffers(LONG count) { m_CapBuffers = count; }

    bool HandedOut(IMediaSample* sample);
    LONG GetBufferCalls();
    LONG SetPropertiesCalls();

private:
    CTestAllocator(HRESULT* phr);

    CCritSec m_StatsLock;
    HRESULT m_hrSetProperties;
    LONG m_CapBuffers;
    LONG m_GetBufferCalls;
    LONG m_SetPropertiesCalls;
    std::set<IMediaSample*> m_HandedOut;
};
