// "UDPAudio OUTPUT": repacks the datagrams the UDP audio receiver hands over
// into full downstream buffers (16-bit mono PCM, 8 kHz) and delivers them on
// the receiver's thread. Data arriving while the filter is not running is
// dropped: a paused downstream renderer would otherwise hold the receiver's
// thread in Deliver until the graph runs or stops.
#pragma once

#include "framework/CBaseOutputPin.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"

class CV77UdpAudioSourceFilter;

class CV77UdpAudioOutput : public CBaseOutputPin, public IAMBufferNegotiation {
public:
    CV77UdpAudioOutput(const TCHAR* objectName, CV77UdpAudioSourceFilter* filter, CCritSec* lock, HRESULT* phr,
                       LPCWSTR pinName);
    ~CV77UdpAudioOutput() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Inactive() override;

    // IAMBufferNegotiation
    STDMETHODIMP SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP GetAllocatorProperties(ALLOCATOR_PROPERTIES* props) override;

    // Received audio, on the receiver's thread: copied (or zeroed when muted)
    // into the pending buffer, each full buffer delivered. Without a free
    // buffer the rest of the datagram is dropped (AM_GBF_NOWAIT). A buffer of
    // size 0 is refused with VFW_E_SIZENOTSET rather than looped on.
    HRESULT OnData(IMediaSample* data);

    void SetMute(bool mute) { m_bMute = mute; }
    // The output type, for the open methods.
    const CMediaType& OutputType() const { return m_MediaType; }
    HRESULT ConstructionResult() const { return m_hrType; }

private:
    // Takes a fresh pending buffer (m_PendingLock held).
    HRESULT TakeBuffer();

    CV77UdpAudioSourceFilter* m_pUdpFilter;   // not referenced: the filter owns us
    ALLOCATOR_PROPERTIES m_Suggested;
    ALLOCATOR_PROPERTIES m_Actual;
    IMediaSample* m_pPending;                 // m_PendingLock
    CMediaType m_MediaType;
    volatile bool m_bMute;
    HRESULT m_hrType;
    CCritSec m_PendingLock;                   // serialises OnData and Inactive
};
