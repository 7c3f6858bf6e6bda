// The core of the live sources: a live receiver (an outside component) owns
// the connection and its threads, asks the filter for empty samples
// (GetBuffer), fills them and hands them back (OnSample). The filter
// re-stamps each sample, delivers it on the enabled outputs without a copy,
// and turns markers, stream events and status bits into graph events. The
// concrete filters create the receiver and the primary output.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <atomic>

#include "display/CDisplayNotification.h"
#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Receivers.h"

class CV77DsSourceOutput;
class CV77DsSecondaryOutput;

class CV77DsSourceFilter : public CBaseFilter,
                           public CDisplayNotification,
                           public IV77DsNetworkSource,
                           public IV77RTPReceiverEvents {
public:
    ~CV77DsSourceFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBaseFilter
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;

    // CDisplayNotification
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) override;

    // IV77DsSourceBase
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetSourceInformation(SOURCE_INFORMATION* info) override;
    // IV77DsNetworkSource
    STDMETHODIMP Open(BSTR source1, BSTR source2, WORD streamParameter, DWORD openValue, WORD openWord,
                      SOURCE_INFORMATION* info) override;
    STDMETHODIMP GetBitRate(double* bitsPerSecond) override;
    STDMETHODIMP SetStreamParameter(WORD value) override;
    STDMETHODIMP SetUseOwnAllocator(BOOL own) override;
    STDMETHODIMP Reconnect() override;
    STDMETHODIMP EnableOutput(int index, BOOL enable) override;
    STDMETHODIMP SetTimeParameter(double seconds) override;
    STDMETHODIMP EnableDisplayNotification(BOOL on) override;

    // IV77RTPReceiverEvents (GetBuffer is the concrete filter's)
    STDMETHODIMP OnSample(IMediaSample* sample) override;
    STDMETHODIMP OnStreamEventA() override;
    STDMETHODIMP OnStreamEventB() override;

    // For the pins.
    CCritSec* FilterLock() { return &m_FilterLock; }
    const CMediaType& MediaType() const { return m_MediaType; }
    const SOURCE_INFORMATION& SourceInformation() const { return m_SourceInformation; }
    IV77LiveReceiver* Receiver() const { return m_pReceiver; }
    bool UseOwnAllocator() const { return m_bUseOwnAllocator.load(); }

    // Status bits a receiver may set in dwTypeSpecificFlags, and the marker bit.
    static constexpr DWORD kStatusMask = 0x3FF80000;
    static constexpr DWORD kMarkerFlag = 0x00010000;

protected:
    CV77DsSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, REFCLSID clsid);

    // Creates the receiver of this variant into the receiver member; the failure goes to *phr.
    void CreateReceiver(REFCLSID clsid, HRESULT* phr);
    // The primary output's delivery buffer; E_NOINTERFACE before the pin has an allocator.
    HRESULT PrimaryDeliveryBuffer(IMediaSample** sample);
    IV77RTPReceiverEvents* Events() { return static_cast<IV77RTPReceiverEvents*>(this); }

    CCritSec m_FilterLock;
    CV77DsSourceOutput* m_pOutput;             // owned; set by the concrete constructor
    std::atomic<CV77DsSecondaryOutput*> m_pSecondary;  // owned; made on the first GetPin(1)

private:
    HRESULT ReconnectLocked();
    void DecommitOutputs();
    HRESULT DeliverOn(CV77DsSourceOutput* pin, DWORD bit, IMediaSample* sample, HRESULT* result);

    IV77LiveReceiver* m_pReceiver;
    BSTR m_bstrSource1;
    BSTR m_bstrSource2;
    SOURCE_INFORMATION m_SourceInformation;
    DWORD m_dwOpenValue;
    WORD m_wOpenWord;
    std::atomic<DWORD> m_dwOutputMask;
    std::atomic<WORD> m_wStreamParameter;
    std::atomic<DWORD> m_dwLastStatus;
    CMediaType m_MediaType;
    bool m_bIsAudio;
    std::atomic<LONGLONG> m_tMediaBase;
    std::atomic<bool> m_bUseOwnAllocator;
};
