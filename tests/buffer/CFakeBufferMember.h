// A group member as another buffer filter would appear to a master or a
// slave: counts the IV77DsBufferMaster calls it receives.
#pragma once

#include <windows.h>
#include <atomic>
#include "v77/IV77DsBuffer.h"

class CFakeBufferMember : public IV77DsBufferMaster {
public:
    CFakeBufferMember() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }  // lives on the stack

    STDMETHODIMP GetPlayState(void*, REFERENCE_TIME*, REFERENCE_TIME*, double*) override { return E_NOTIMPL; }
    STDMETHODIMP GetPosition(REFERENCE_TIME*) override { return E_NOTIMPL; }
    STDMETHODIMP AddSlave(IV77DsBufferMaster* slave) override;
    STDMETHODIMP SyncPositions(REFERENCE_TIME, IV77DsBufferMaster*) override { return S_OK; }
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP RemoveSlave(IV77DsBufferMaster* slave) override;
    STDMETHODIMP ReleaseMaster() override;

    std::atomic<long> refs{0};
    std::atomic<long> addSlaves{0};
    std::atomic<long> removeSlaves{0};
    std::atomic<long> setRates{0};
    std::atomic<long> setPositions{0};
    std::atomic<long> releaseMasters{0};
    double lastRate = 0;
    REFERENCE_TIME lastPosition = 0;
    IV77DsBufferMaster* lastSlave = nullptr;
    HRESULT result = S_OK;  // what SetRate and SetPositions answer
};
