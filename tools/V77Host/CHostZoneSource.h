// The demo's zone detector: a source filter of the host program whose one
// pin carries "SENS" sensor samples pushed by a feeder thread, and answers
// IV77ReceiverAuxiliary with the zone configuration, as a live source's pin
// forwards it to its receiver.
#pragma once

#include <string>
#include <vector>
#include <wrl/client.h>
#include "framework/CBaseFilter.h"
#include "framework/CBaseOutputPin.h"
#include "v77/IV77Receivers.h"

class CHostZonePin : public CBaseOutputPin {
public:
    CHostZonePin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, IV77ReceiverAuxiliary* auxiliary);

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // One sample with these bytes, delivered on the caller's thread.
    HRESULT Push(const std::vector<BYTE>& bytes);

private:
    Microsoft::WRL::ComPtr<IV77ReceiverAuxiliary> m_pAuxiliary;
};

class CHostZoneSource : public CBaseFilter {
public:
    // One reference; null on failure. xml: the zone configuration handed out.
    static CHostZoneSource* Create(const std::wstring& xml);
    ~CHostZoneSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin : nullptr; }
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    CHostZonePin* Pin() const { return m_pPin; }

private:
    CHostZoneSource(const std::wstring& xml, HRESULT* phr);

    CCritSec m_Lock;
    CHostZonePin* m_pPin;
};
