#include "framework/CBaseRenderer.h"

#include <new>
#include <cwchar>
#include <mmsystem.h>
#include "framework/CAutoLock.h"
#include "framework/CRendererInputPin.h"
#include "framework/CRendererPosPassThru.h"

CBaseRenderer::CBaseRenderer(REFCLSID renderClass, const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseFilter(name, outer, &m_InterfaceLock, renderClass, phr),
      m_pPosition(nullptr),
      m_RenderEvent(FALSE, FALSE),
      m_ThreadSignal(TRUE, FALSE),
      m_evComplete(TRUE, TRUE),
      m_bAbort(FALSE),
      m_bStreaming(FALSE),
      m_dwAdvise(0),
      m_pMediaSample(nullptr),
      m_bEOS(FALSE),
      m_bEOSDelivered(FALSE),
      m_pInputPin(nullptr),
      m_bRepaintStatus(TRUE),
      m_bInReceive(FALSE),
      m_SignalTime(0),
      m_bSignalTimeSet(false),
      m_hEndOfStreamTimer(nullptr),
      m_MiscFlags(GetOwner(), AM_FILTER_MISC_FLAGS_IS_RENDERER),
      m_bRenderDue(false),
      m_bEventArmed(false),
      m_bThreadReleased(false)
{
    if (phr && (!m_RenderEvent.Handle() || !m_ThreadSignal.Handle() || !m_evComplete.Handle()))
        *phr = E_OUTOFMEMORY;
}

CBaseRenderer::~CBaseRenderer()
{
    ResetEndOfStreamTimer();
    CancelNotification();
    ClearPendingSample();
    delete m_pPosition;
    delete m_pInputPin;
}

STDMETHODIMP CBaseRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking)
        return GetMediaPositionInterface(riid, ppv);
    // The graph counts only filters that say they render towards EC_COMPLETE.
    if (riid == IID_IAMFilterMiscFlags)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(&m_MiscFlags), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseRenderer::GetMediaPositionInterface(REFIID riid, void** ppv)
{
    CAutoLock lock(&m_ObjectCreationLock);
    if (!m_pPosition) {
        CBasePin* pin = GetPin(0);
        if (!pin)
            return E_OUTOFMEMORY;
        HRESULT hr = S_OK;
        m_pPosition = new (std::nothrow)
            CRendererPosPassThru(TEXT("Renderer CPosPassThru"), GetOwner(), &hr, static_cast<IPin*>(pin));
        if (!m_pPosition)
            return E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete m_pPosition;
            m_pPosition = nullptr;
            return E_NOINTERFACE;
        }
    }
    return m_pPosition->NonDelegatingQueryInterface(riid, ppv);
}

BOOL CBaseRenderer::IsInputConnected()
{
    return m_pInputPin && m_pInputPin->IsConnected();
}

int CBaseRenderer::GetPinCount()
{
    return GetPin(0) ? 1 : 0;
}

CBasePin* CBaseRenderer::GetPin(int n)
{
    CAutoLock lock(&m_ObjectCreationLock);
    if (n != 0)
        return nullptr;
    if (!m_pInputPin) {
        HRESULT hr = S_OK;
        m_pInputPin = new (std::nothrow) CRendererInputPin(this, &hr, L"In");
        if (m_pInputPin && FAILED(hr)) {
            delete m_pInputPin;
            m_pInputPin = nullptr;
        }
    }
    return m_pInputPin;
}

STDMETHODIMP CBaseRenderer::FindPin(LPCWSTR id, IPin** ppPin)
{
    if (!id || !ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    CBasePin* pin = GetPin(0);
    if (!pin)
        return E_OUTOFMEMORY;
    if (wcscmp(id, L"In") != 0 && !(pin->Name() && wcscmp(id, pin->Name()) == 0))
        return VFW_E_NOT_FOUND;
    *ppPin = pin;
    pin->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseRenderer::Stop()
{
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Stopped)
        return S_OK;
    if (!IsInputConnected()) {
        m_State = State_Stopped;
        return S_OK;
    }
    // The pin's Inactive drops the pending sample and decommits the allocator.
    CBaseFilter::Stop();
    SetRepaintStatus(TRUE);
    StopStreaming();
    SourceThreadCanWait(FALSE);
    ResetEndOfStream();
    CancelNotification();
    Ready();
    WaitForReceiveToComplete();
    m_bAbort = FALSE;
    return S_OK;
}

STDMETHODIMP CBaseRenderer::Pause()
{
    CAutoLock lock(&m_InterfaceLock);
    FILTER_STATE oldState = m_State;
    if (m_State == State_Paused)
        return CompleteStateChange(State_Paused);
    if (!IsInputConnected()) {
        m_State = State_Paused;
        return CompleteStateChange(State_Paused);
    }
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr))
        return hr;
    SetRepaintStatus(TRUE);
    StopStreaming();
    SourceThreadCanWait(TRUE);
    CancelNotification();
    ResetEndOfStreamTimer();
    // Upstream may ask for buffers before its own Active commits them.
    if (m_pInputPin->Allocator())
        m_pInputPin->Allocator()->Commit();
    if (oldState == State_Stopped) {
        m_bAbort = FALSE;
        ClearPendingSample();
    }
    return CompleteStateChange(oldState);
}

STDMETHODIMP CBaseRenderer::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Running)
        return S_OK;
    if (!IsInputConnected()) {
        // Nothing will ever arrive: complete at once.
        NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
        m_State = State_Running;
        return S_OK;
    }
    // From Stopped this pauses first (our Pause, through the virtual call).
    HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr))
        return hr;
    Ready();
    SourceThreadCanWait(TRUE);
    SetRepaintStatus(FALSE);
    if (m_pInputPin->Allocator())
        m_pInputPin->Allocator()->Commit();
    return StartStreaming();
}

STDMETHODIMP CBaseRenderer::GetState(DWORD timeoutMs, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    // No lock while waiting: the sample that completes the pause needs it.
    BOOL complete = m_evComplete.Wait(timeoutMs);
    *state = m_State;
    return complete ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT CBaseRenderer::CompleteStateChange(FILTER_STATE oldState)
{
    if (!IsInputConnected() || IsEndOfStream()) {
        Ready();
        return S_OK;
    }
    // A sample held from Running still shows; after Stopped we need a fresh one.
    if (HaveCurrentSample() && oldState != State_Stopped) {
        Ready();
        return S_OK;
    }
    NotReady();
    return S_FALSE;
}

HRESULT CBaseRenderer::Inactive()
{
    if (m_pPosition)
        m_pPosition->ResetMediaTime();
    ClearPendingSample();
    return S_OK;
}

HRESULT CBaseRenderer::BreakConnect()
{
    if (!IsInputConnected())
        return S_FALSE;
    if (m_State != State_Stopped)
        return VFW_E_NOT_STOPPED;
    SetRepaintStatus(FALSE);
    ResetEndOfStream();
    ClearPendingSample();
    m_bAbort = FALSE;
    return S_OK;
}

HRESULT CBaseRenderer::CompleteConnect(IPin*)
{
    SetRepaintStatus(TRUE);
    m_bAbort = FALSE;
    return S_OK;
}

HRESULT CBaseRenderer::SetMediaType(const CMediaType*)
{
    return S_OK;
}

HRESULT CBaseRenderer::PrepareReceive(IMediaSample* sample)
{
    CAutoLock interfaceLock(&m_InterfaceLock);
    m_bInReceive = TRUE;
    // Stopped, flushing or a refused type change end here.
    HRESULT hr = m_pInputPin->CBaseInputPin::Receive(sample);
    if (hr != S_OK) {
        m_bInReceive = FALSE;
        return hr;
    }
    AM_SAMPLE2_PROPERTIES* props = m_pInputPin->SampleProps();
    if ((props->dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props->pMediaType) {
        CMediaType changed(*props->pMediaType);
        hr = m_pInputPin->SetMediaType(&changed);
        if (FAILED(hr)) {
            m_bInReceive = FALSE;
            return hr;
        }
    }

    CAutoLock rendererLock(&m_RendererLock);
    if (m_bEOS || m_pMediaSample || m_bAbort) {
        // Do not leave a pause hanging on a sample we refuse.
        Ready();
        m_bInReceive = FALSE;
        return m_bEOS ? VFW_E_SAMPLE_REJECTED_EOS : E_UNEXPECTED;
    }
    if (m_pPosition)
        m_pPosition->RegisterMediaTime(sample);
    if (m_bStreaming && !ScheduleSample(sample)) {
        m_bInReceive = FALSE;
        return VFW_E_SAMPLE_REJECTED;
    }
    if (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) {
        m_SignalTime = (props->dwSampleFlags & AM_SAMPLE_STOPVALID) ? props->tStop : props->tStart;
        m_bSignalTimeSet = true;
    }
    m_pMediaSample = sample;
    m_pMediaSample->AddRef();
    if (!m_bStreaming)
        SetRepaintStatus(TRUE);
    return S_OK;
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample)
{
    HRESULT hr = PrepareReceive(sample);
    if (hr != S_OK)
        return hr == VFW_E_SAMPLE_REJECTED ? S_OK : hr;

    if (m_State == State_Paused) {
        PrepareRender();
        // Not "in receive" while we wait for the lock a state change may hold.
        m_bInReceive = FALSE;
        {
            CAutoLock interfaceLock(&m_InterfaceLock);
            if (m_State == State_Stopped || m_pMediaSample != sample)
                return S_OK;
            m_bInReceive = TRUE;
            CAutoLock rendererLock(&m_RendererLock);
            OnReceiveFirstSample(sample);
        }
        Ready();
    }

    PrepareRender();
    hr = WaitForRenderTime();
    m_bInReceive = FALSE;
    if (FAILED(hr))
        return S_OK;

    CAutoLock interfaceLock(&m_InterfaceLock);
    // The state may have changed while no lock was held.
    if (m_State == State_Stopped || m_pMediaSample != sample)
        return S_OK;
    CAutoLock rendererLock(&m_RendererLock);
    Render(m_pMediaSample);
    ClearPendingSample();
    SendEndOfStream();
    CancelNotification();
    return S_OK;
}

HRESULT CBaseRenderer::Render(IMediaSample* sample)
{
    if (!sample)
        return S_FALSE;
    // Paused again after the wait: keep the sample for a repaint, draw nothing.
    if (!m_bStreaming)
        return S_FALSE;
    OnRenderStart(sample);
    HRESULT hr = DoRenderSample(sample);
    OnRenderEnd(sample);

    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    REFERENCE_TIME now = 0;
    if (m_pClock && SUCCEEDED(sample->GetTime(&start, &end)) && SUCCEEDED(m_pClock->GetTime(&now)))
        SendQuality(now - m_tStart - start, start);
    return hr;
}

HRESULT CBaseRenderer::SendQuality(REFERENCE_TIME lateness, REFERENCE_TIME timeStamp)
{
    Quality q;
    q.Type = lateness > 0 ? Famine : Flood;
    q.Proportion = 1000;
    q.Late = lateness;
    q.TimeStamp = timeStamp;
    return m_pInputPin->PassNotify(q);
}

HRESULT CBaseRenderer::WaitForRenderTime()
{
    OnWaitStart();
    // A release by Stop/BeginFlush wins over a due sample, as in the wait below.
    if (m_bThreadReleased.load()) {
        OnWaitEnd();
        return VFW_E_STATE_CHANGED;
    }
    if (m_bRenderDue.exchange(false)) {
        OnWaitEnd();
        return S_OK;
    }
    HANDLE handles[2] = {m_ThreadSignal.Handle(), m_RenderEvent.Handle()};
    // Ends when the sample is due or when Stop/BeginFlush release us.
    DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    OnWaitEnd();
    if (result != WAIT_OBJECT_0 + 1)
        return VFW_E_STATE_CHANGED;
    SignalTimerFired();
    return S_OK;
}

BOOL CBaseRenderer::ScheduleSample(IMediaSample* sample)
{
    if (!sample)
        return FALSE;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    HRESULT hr = GetSampleTimes(sample, &start, &end);
    if (FAILED(hr))
        return FALSE;
    if (hr == S_OK) {
        m_bRenderDue = true;
        return TRUE;
    }
    m_bEventArmed = true;
    hr = m_pClock->AdviseTime(m_tStart, start, reinterpret_cast<HEVENT>(m_RenderEvent.Handle()), &m_dwAdvise);
    return SUCCEEDED(hr);
}

HRESULT CBaseRenderer::GetSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    HRESULT hr = sample->GetTime(start, end);
    if (FAILED(hr))
        return S_OK;   // no time stamp: draw at once
    if (*end < *start)
        return VFW_E_START_TIME_AFTER_END;
    if (!m_pClock)
        return S_OK;
    return ShouldDrawSampleNow(sample, start, end);
}

HRESULT CBaseRenderer::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return S_FALSE;
}

HRESULT CBaseRenderer::CancelNotification()
{
    DWORD_PTR cookie = m_dwAdvise;
    if (cookie) {
        if (m_pClock)
            m_pClock->Unadvise(cookie);
        SignalTimerFired();
    }
    m_bRenderDue = false;
    if (m_bEventArmed.exchange(false))
        m_RenderEvent.Reset();
    return cookie ? S_OK : S_FALSE;
}

HRESULT CBaseRenderer::ClearPendingSample()
{
    CAutoLock lock(&m_RendererLock);
    if (m_pMediaSample) {
        m_pMediaSample->Release();
        m_pMediaSample = nullptr;
    }
    return S_OK;
}

BOOL CBaseRenderer::HaveCurrentSample()
{
    CAutoLock lock(&m_RendererLock);
    return m_pMediaSample != nullptr;
}

IMediaSample* CBaseRenderer::GetCurrentSample()
{
    CAutoLock lock(&m_RendererLock);
    if (m_pMediaSample)
        m_pMediaSample->AddRef();
    return m_pMediaSample;
}

void CBaseRenderer::WaitForReceiveToComplete()
{
    while (m_bInReceive) {
        // Serve messages sent to this thread's windows meanwhile.
        MSG msg;
        PeekMessageW(&msg, nullptr, WM_NULL, WM_NULL, PM_NOREMOVE);
        Sleep(1);
    }
    // PeekMessage cleared the "new posted message" bit; restore it for waiters.
    if (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE)
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

HRESULT CBaseRenderer::SourceThreadCanWait(BOOL canWait)
{
    m_bThreadReleased = !canWait;
    if (canWait)
        m_ThreadSignal.Reset();
    else
        m_ThreadSignal.Set();
    return S_OK;
}

HRESULT CBaseRenderer::StartStreaming()
{
    CAutoLock lock(&m_RendererLock);
    if (m_bStreaming)
        return S_OK;
    m_bStreaming = TRUE;
    timeBeginPeriod(1);
    OnStartStreaming();
    // An end of stream that arrived while paused completes now.
    if (!m_pMediaSample)
        return SendEndOfStream();
    // The sample's thread may already wait on the kernel event: a sample
    // due at once (or one that cannot be scheduled) is signalled there.
    if (!ScheduleSample(m_pMediaSample) || m_bRenderDue.exchange(false)) {
        m_bEventArmed = true;
        m_RenderEvent.Set();
    }
    return S_OK;
}

HRESULT CBaseRenderer::StopStreaming()
{
    CAutoLock lock(&m_RendererLock);
    m_bEOSDelivered = FALSE;
    if (m_bStreaming) {
        m_bStreaming = FALSE;
        OnStopStreaming();
        timeEndPeriod(1);
    }
    return S_OK;
}

HRESULT CBaseRenderer::EndOfStream()
{
    if (m_State == State_Stopped)
        return S_OK;
    m_bEOS = TRUE;
    // A sample still waiting sends the notification after it is drawn.
    if (m_pMediaSample)
        return S_OK;
    // No sample will come: a pause waiting for one is complete.
    Ready();
    if (m_bStreaming)
        SendEndOfStream();
    return S_OK;
}

HRESULT CBaseRenderer::SendEndOfStream()
{
    CAutoLock lock(&m_RendererLock);
    if (!m_bEOS || m_bEOSDelivered || m_hEndOfStreamTimer)
        return S_OK;
    // Nothing timed was rendered since Stop or a flush: nothing to play out.
    if (!m_pClock || !m_bSignalTimeSet)
        return NotifyEndOfStream();
    // Complete when the last sample has played out.
    REFERENCE_TIME now = 0;
    if (FAILED(m_pClock->GetTime(&now)))
        return NotifyEndOfStream();
    LONGLONG delayMs = (m_tStart + m_SignalTime - now) / 10000;
    if (delayMs < 1)
        return NotifyEndOfStream();
    if (delayMs > MAXDWORD - 1)
        delayMs = MAXDWORD - 1;
    HANDLE timer = nullptr;
    if (!CreateTimerQueueTimer(&timer, nullptr, EndOfStreamTimerProc, this, static_cast<DWORD>(delayMs), 0,
                               WT_EXECUTEONLYONCE))
        return NotifyEndOfStream();
    m_hEndOfStreamTimer = timer;
    return S_OK;
}

VOID CALLBACK CBaseRenderer::EndOfStreamTimerProc(PVOID context, BOOLEAN)
{
    static_cast<CBaseRenderer*>(context)->OnEndOfStreamTimer();
}

void CBaseRenderer::OnEndOfStreamTimer()
{
    CAutoLock lock(&m_RendererLock);
    // A cancelled timer has been taken away under this lock.
    if (m_hEndOfStreamTimer && m_bEOS && !m_bEOSDelivered)
        NotifyEndOfStream();
}

HRESULT CBaseRenderer::NotifyEndOfStream()
{
    CAutoLock lock(&m_RendererLock);
    if (!m_bStreaming)
        return S_OK;
    if (m_pPosition)
        m_pPosition->EOS();
    m_bEOSDelivered = TRUE;
    return NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

HRESULT CBaseRenderer::ResetEndOfStream()
{
    ResetEndOfStreamTimer();
    CAutoLock lock(&m_RendererLock);
    m_bEOS = FALSE;
    m_bEOSDelivered = FALSE;
    m_SignalTime = 0;
    m_bSignalTimeSet = false;
    return S_OK;
}

void CBaseRenderer::ResetEndOfStreamTimer()
{
    HANDLE timer = nullptr;
    {
        CAutoLock lock(&m_RendererLock);
        timer = m_hEndOfStreamTimer;
        m_hEndOfStreamTimer = nullptr;
    }
    // Waits for a callback in progress; it finds no timer and does nothing.
    if (timer)
        DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
}

HRESULT CBaseRenderer::BeginFlush()
{
    if (m_State == State_Paused)
        NotReady();
    SourceThreadCanWait(FALSE);
    CancelNotification();
    ClearPendingSample();
    WaitForReceiveToComplete();
    return S_OK;
}

HRESULT CBaseRenderer::EndFlush()
{
    if (m_pPosition)
        m_pPosition->ResetMediaTime();
    SourceThreadCanWait(TRUE);
    return S_OK;
}

HRESULT CBaseRenderer::SendRepaint()
{
    CAutoLock lock(&m_RendererLock);
    if (!m_bAbort && IsInputConnected() && !m_pInputPin->IsFlushing() && !IsEndOfStream() && m_bRepaintStatus) {
        NotifyEvent(EC_REPAINT, reinterpret_cast<LONG_PTR>(static_cast<IPin*>(m_pInputPin)), 0);
        SetRepaintStatus(FALSE);
    }
    return S_OK;
}

void CBaseRenderer::SetRepaintStatus(BOOL repaint)
{
    CAutoLock lock(&m_RendererLock);
    m_bRepaintStatus = repaint;
}
