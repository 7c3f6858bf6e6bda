// What the archive sources share: the archive receiver and its auxiliary
// object, the recording's description, the host interface IV77DsARCSource,
// and the buffer downstream whose requests the receiver serves (looked up at
// every Pause from Stopped).
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Receivers.h"

class CV77DsARCSourceOutput;

class CV77DsARCSourceFilterBase : public CBaseFilter, public IV77DsARCSource, public IV77TcpReceiver {
public:
    ~CV77DsARCSourceFilterBase() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBaseFilter
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;

    // IV77DsSourceBase
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetSourceInformation(SOURCE_INFORMATION* info) override;
    // IV77DsARCSource
    STDMETHODIMP Open(BSTR source1, BSTR source2, BOOL playOption, SOURCE_INFORMATION* info) override;
    STDMETHODIMP AuxiliaryCommand1(DWORD a, DWORD b) override;
    STDMETHODIMP AuxiliaryCommand2(DWORD a, DWORD b) override;
    STDMETHODIMP AuxiliaryCommand3(DWORD a, DWORD b) override;
    STDMETHODIMP SetAutoRestart(BOOL on) override;
    STDMETHODIMP SetPlayOption(BOOL on) override;
    STDMETHODIMP GetBitRate(double* bitsPerSecond) override;
    STDMETHODIMP SetUseOwnAllocator(BOOL own) override;
    STDMETHODIMP GetReceiver(IUnknown** ppUnk) override;
    // IV77TcpReceiver
    STDMETHODIMP Configure(DWORD a, double b, DWORD c) override;

    // For the pin.
    CCritSec* FilterLock() { return &m_FilterLock; }
    const CMediaType& MediaType() const { return m_MediaType; }
    const SOURCE_INFORMATION& SourceInformation() const { return m_SourceInformation; }
    IV77DsBufferNotify* BufferNotify() const { return m_pBufferNotify; }
    IV77ArchiveReceiver* Receiver() const { return m_pReceiver; }
    bool UseOwnAllocator() const { return m_bUseOwnAllocator; }
    HRESULT RaiseEvent(long code, LONG_PTR param1, LONG_PTR param2) { return NotifyEvent(code, param1, param2); }

protected:
    CV77DsARCSourceFilterBase(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, REFCLSID clsid);
    // The concrete constructors' steps: the receiver (a failure ends
    // construction) and the auxiliary object (a failure is kept, the filter
    // goes on without one).
    HRESULT CreateReceiver(REFCLSID clsid);
    void CreateAuxiliary(REFCLSID clsid, HRESULT* phr);

    CCritSec m_FilterLock;
    CV77DsARCSourceOutput* m_pOutput = nullptr;

private:
    void FindBufferNotify();

    IV77DsBufferNotify* m_pBufferNotify = nullptr;
    BSTR m_bstrSource1 = nullptr;
    BSTR m_bstrSource2 = nullptr;
    SOURCE_INFORMATION m_SourceInformation = {};
    IV77ReceiverAuxiliary* m_pAuxiliary = nullptr;
    IV77ArchiveReceiver* m_pReceiver = nullptr;
    CMediaType m_MediaType;
    bool m_bUseOwnAllocator = true;
};
