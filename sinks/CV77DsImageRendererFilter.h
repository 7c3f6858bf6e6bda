// "Varnokel77 Image renderer filter": hands every sample, unchanged and at
// once, to a sink the host gives it, and describes the connected stream as
// a SOURCE_INFORMATION record. Playback graphs find IV77DsBufferNotify here
// only when the sink takes request completions.
#pragma once

#include <windows.h>

#include "framework/CBaseRenderer.h"
#include "framework/CMediaType.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77Sinks.h"
#include "v77/V77Types.h"

class CV77DsImageRendererFilter : public CBaseRenderer, public IV77DsImageRenderer, public IV77DsBufferNotify {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);
    CV77DsImageRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77DsImageRendererFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    CBasePin* GetPin(int n) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

    // IV77DsImageRenderer
    STDMETHODIMP SetSink(IUnknown* sink, DWORD value) override;
    STDMETHODIMP SetRequiredType(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP GetSourceInformation(SOURCE_INFORMATION* info) override;
    STDMETHODIMP GetPoolEntry(DWORD arg, DWORD* value) override;
    STDMETHODIMP GetConnectedType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP SetSamplePool(IUnknown* pool) override;

    // IV77DsBufferNotify
    STDMETHODIMP RequestDone(HRESULT result, LONG frameCount, DWORD reserved, REFERENCE_TIME next) override;
    STDMETHODIMP WaitForRequest(REFERENCE_TIME* position, DWORD* type, WORD* flush) override;

    // A copy of the required type; false when none is set.
    bool RequiredType(CMediaType* mt);

private:
    // The sink with a reference for the length of one call, or null.
    IUnknown* SinkReference();
    HRESULT SetVideoType(const CMediaType& mt, size_t headerOffset);
    HRESULT SetAudioType(const CMediaType& mt);

    // Host calls take no filter lock (they may come while the graph changes
    // state); this one only keeps the sink, pool and types whole.
    CCritSec m_MemberLock;
    IUnknown* m_pSink;
    SOURCE_INFORMATION m_SourceInformation;
    IUnknown* m_pSamplePool;
    CMediaType m_RequiredType;
    CMediaType m_ConnectedType;
};
