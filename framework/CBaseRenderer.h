// A renderer: one input pin whose samples are held until their presentation
// time on the reference clock, then drawn by DoRenderSample on the upstream
// thread. Handles pause with a first sample (GetState stays intermediate
// until one arrives), flushing, end of stream (EC_COMPLETE once running and
// the last sample is due), seeking passed upstream and the renderer flag.
#pragma once

#include <atomic>
#include "framework/CAMEvent.h"
#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"
#include "framework/CFilterMiscFlags.h"
#include "framework/CMediaType.h"

class CRendererInputPin;
class CRendererPosPassThru;

class CBaseRenderer : public CBaseFilter {
public:
    CBaseRenderer(REFCLSID renderClass, const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CBaseRenderer() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // IMediaSeeking and IMediaPosition, created on first request.
    virtual HRESULT GetMediaPositionInterface(REFIID riid, void** ppv);

    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    // Waits up to timeoutMs for a transition to finish; VFW_S_STATE_INTERMEDIATE otherwise.
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** ppPin) override;

    int GetPinCount() override;
    // Creates the input pin on first use; derived renderers may create their own.
    CBasePin* GetPin(int n) override;

    // Called by the input pin (derived classes may override them).
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive();
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* receivePin);
    virtual HRESULT SetMediaType(const CMediaType* mt);
    virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();

    // Draws one sample. Called on the upstream thread with both locks held.
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
    // Called while paused with the sample that completes the pause.
    virtual HRESULT OnReceiveFirstSample(IMediaSample*) { return S_OK; }
    // S_OK draws now, S_FALSE waits for the sample's time, an error drops it.
    virtual HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end);

    virtual HRESULT OnStartStreaming() { return S_OK; }
    virtual HRESULT OnStopStreaming() { return S_OK; }
    virtual void OnWaitStart() {}
    virtual void OnWaitEnd() {}
    virtual void PrepareRender() {}
    virtual void OnRenderStart(IMediaSample*) {}
    virtual void OnRenderEnd(IMediaSample*) {}

    // Sample scheduling.
    virtual HRESULT PrepareReceive(IMediaSample* sample);
    virtual HRESULT Render(IMediaSample* sample);
    virtual HRESULT WaitForRenderTime();
    virtual BOOL ScheduleSample(IMediaSample* sample);
    virtual HRESULT GetSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end);
    virtual HRESULT CancelNotification();
    virtual HRESULT ClearPendingSample();
    virtual void WaitForReceiveToComplete();
    // Lets the upstream thread wait for render times (TRUE) or releases it (FALSE).
    virtual HRESULT SourceThreadCanWait(BOOL canWait);

    // Streaming and state completion.
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    virtual HRESULT CompleteStateChange(FILTER_STATE oldState);
    void Ready() { m_evComplete.Set(); }
    void NotReady() { m_evComplete.Reset(); }
    BOOL CheckReady() { return m_evComplete.Check(); }

    // End of stream.
    virtual HRESULT SendEndOfStream();
    virtual HRESULT NotifyEndOfStream();
    virtual HRESULT ResetEndOfStream();
    void ResetEndOfStreamTimer();

    // Quality: a message about the sample just drawn, sent upstream.
    virtual HRESULT SendQuality(REFERENCE_TIME lateness, REFERENCE_TIME timeStamp);

    // EC_REPAINT when the renderer has nothing to show.
    virtual HRESULT SendRepaint();
    void SetRepaintStatus(BOOL repaint);

    void SetAbortSignal(BOOL abort) { m_bAbort = abort; }
    BOOL IsEndOfStream() const { return m_bEOS; }
    BOOL IsEndOfStreamDelivered() const { return m_bEOSDelivered; }
    BOOL IsStreaming() const { return m_bStreaming; }
    BOOL HaveCurrentSample();
    // The pending sample, AddRef'd (null when none).
    IMediaSample* GetCurrentSample();
    CRendererInputPin* InputPin() const { return m_pInputPin; }

protected:
    friend class CRendererInputPin;

    BOOL IsInputConnected();
    void SignalTimerFired() { m_dwAdvise = 0; }
    static VOID CALLBACK EndOfStreamTimerProc(PVOID context, BOOLEAN fired);
    void OnEndOfStreamTimer();

    CRendererPosPassThru* m_pPosition;
    CAMEvent m_RenderEvent;        // the clock's advise: the pending sample is due
    CAMEvent m_ThreadSignal;       // releases the upstream thread from its wait
    CAMEvent m_evComplete;         // manual reset: the state transition is complete
    BOOL m_bAbort;
    BOOL m_bStreaming;
    DWORD_PTR m_dwAdvise;
    IMediaSample* m_pMediaSample;  // the pending sample (one reference)
    BOOL m_bEOS;
    BOOL m_bEOSDelivered;
    CRendererInputPin* m_pInputPin;
    CCritSec m_InterfaceLock;      // the filter lock: state changes and pin calls
    CCritSec m_RendererLock;       // the pending sample and end-of-stream state
    BOOL m_bRepaintStatus;
    volatile BOOL m_bInReceive;
    REFERENCE_TIME m_SignalTime;   // stream time the last sample ends at
    bool m_bSignalTimeSet;         // a timed sample came since Stop or the last flush
    HANDLE m_hEndOfStreamTimer;    // timer-queue timer delaying EC_COMPLETE
    CCritSec m_ObjectCreationLock;
    CFilterMiscFlags m_MiscFlags;
    // A sample due at once is flagged here instead of through m_RenderEvent:
    // the thread that schedules it is the one that then waits, and under Wine
    // each Set, Wait and Reset of a kernel event is a wineserver round trip.
    std::atomic<bool> m_bRenderDue;
    std::atomic<bool> m_bEventArmed;      // m_RenderEvent may be signalled (an advise, StartStreaming)
    std::atomic<bool> m_bThreadReleased;  // m_ThreadSignal's state, read without a kernel call
};
