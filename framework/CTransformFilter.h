// A filter with one input and one output pin that turns each input sample
// into a new output sample (Transform(in, out)) on the upstream thread.
// Flushing, end of stream and segments are passed downstream; seeking and
// quality messages upstream.
#pragma once

#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"

class CTransformInputPin;
class CTransformOutputPin;

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid);
    ~CTransformFilter() override;

    int GetPinCount() override;
    // Creates both pins on first use ("XForm In", "XForm Out").
    CBasePin* GetPin(int n) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** ppPin) override;

    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;

    // What a derived filter supplies.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
    virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
    virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetMediaType(int position, CMediaType* mt) = 0;

    // Optional hooks.
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    // S_OK or an error: handled here; S_FALSE: pass the message upstream.
    virtual HRESULT AlterQuality(Quality) { return S_FALSE; }
    virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
    virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
    virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }

    // Streaming, called by the input pin.
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // Gets an output buffer carrying the input sample's times and flags.
    HRESULT InitializeOutputSample(IMediaSample* sample, IMediaSample** outSample);

protected:
    friend class CTransformInputPin;
    friend class CTransformOutputPin;

    // Hands a sample that is not media (another stream id) downstream untouched.
    HRESULT DeliverOtherStream(IMediaSample* sample);

    BOOL m_bEOSDelivered;
    BOOL m_bSampleSkipped;
    BOOL m_bQualityChanged;
    CCritSec m_csFilter;    // the filter lock: state and pins
    CCritSec m_csReceive;   // held while a sample is processed
    CTransformInputPin* m_pInput;
    CTransformOutputPin* m_pOutput;
};
