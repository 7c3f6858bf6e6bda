// Output pin of the archive sources: offers the recording's media type,
// seeks through CSourceSeeking (positions are absolute file times), and is
// the archive receiver's callback: it hands out samples, re-stamps and
// delivers what the receiver read, relays the buffer's requests and the
// receiver's ends, restarts the receiver after each end (auto restart) and
// turns failed ends into event 0x8005 and end of stream.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>

#include "framework/CBaseOutputPin.h"
#include "framework/CSourceSeeking.h"
#include "sources/CV77DsARCReceiverEvents.h"

class CV77DsARCSourceFilterBase;

class CV77DsARCSourceOutput : public CBaseOutputPin, public CSourceSeeking, public CV77DsARCReceiverEvents {
public:
    CV77DsARCSourceOutput(const TCHAR* objectName, CV77DsARCSourceFilterBase* filter, HRESULT* phr,
                          LPCWSTR pinName);
    ~CV77DsARCSourceOutput() override;

    // One IUnknown for the three parts: the pin's (which delegates to the filter).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CBasePin::GetOwner()->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::GetOwner()->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBasePin::GetOwner()->Release(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override { return CBasePin::NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override { return CBasePin::NonDelegatingRelease(); }

    // CBaseOutputPin
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Stops taking samples and waits until the receiver reported its end.
    virtual void StopStreaming();

    // IMediaSeeking
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;

    // IV77ARCReceiverEvents
    STDMETHODIMP GetBuffer(IUnknown* context, IMediaSample** ppSample) override;
    STDMETHODIMP OnSample(IMediaSample* pSample) override;
    STDMETHODIMP OnPlaybackEnd(HRESULT status, LONG frameCount, DWORD reserved, REFERENCE_TIME next) override;
    STDMETHODIMP OnRequest(REFERENCE_TIME* position, DWORD* type, WORD* playOption) override;

    void SetAutoRestart(bool on) { m_bAutoRestart = on; }
    void SetPlayOption(bool on) { m_wPlayOption = on ? 0xFFFF : 0; }

protected:
    HRESULT ChangeStart() override { return E_NOTIMPL; }
    HRESULT ChangeStop() override { return E_NOTIMPL; }
    HRESULT ChangeRate() override;

    CV77DsARCSourceFilterBase* const m_pFilter;  // owns us; not counted

private:
    void Play(bool wasStreaming);

    std::atomic<bool> m_bAutoRestart{true};
    std::atomic<WORD> m_wPlayOption{0};
    std::atomic<LONGLONG> m_llSegmentMarker{0};
    std::atomic<REFERENCE_TIME> m_tLastSyncPoint{0};
    std::atomic<DWORD> m_dwPlayMode{0};
    std::atomic<bool> m_bStreaming{false};
    std::atomic<bool> m_bActive{false};
    std::atomic<bool> m_bEndOfStreamCodec{false};
    HANDLE m_hStopped;  // manual reset, signalled while the receiver is not playing
};
