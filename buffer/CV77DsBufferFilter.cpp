#include "buffer/CV77DsBufferFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <uuids.h>
#include "buffer/CAudioBufferQueue.h"
#include "buffer/CFullBufferQueue.h"
#include "buffer/CStdBufferQueue.h"
#include "buffer/CV77DsBufferInput.h"
#include "buffer/CV77DsBufferInputAllocator.h"
#include "buffer/CV77DsBufferOutput.h"
#include "buffer/CV77DsBufferOutputAllocator.h"
#include "framework/CAutoLock.h"
#include "framework/CMediaType.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONGLONG kDisplayInterval = 1000000;  // 100 ms between media-time events

}  // namespace

CUnknown* WINAPI CV77DsBufferFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT ignored = S_OK;
    if (!phr)
        phr = &ignored;
    *phr = S_OK;
    auto* filter = new (std::nothrow) CV77DsBufferFilter(TEXT("Varnokel77 buffer filter"), outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CV77DsBufferFilter::CV77DsBufferFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseFilter(name, outer, &m_FilterLock, CLSID_V77DsBufferFilter),
      m_pInput(nullptr),
      m_pOutput(nullptr),
      m_bUseOwnAllocator(true),
      m_tTimeStep(0),
      m_pMaster(nullptr),
      m_bOwnMaster(true),
      m_lBufferCount(0),
      m_pQueue(nullptr),
      m_pPreferredType(nullptr),
      m_PositionValid(TRUE, FALSE),
      m_tStreamStart(0)
{
    m_pMaster = Self();
    m_MinInterval = kDisplayInterval;
    HRESULT hr = S_OK;
    m_pInput = new (std::nothrow) CV77DsBufferInput(this, &m_FilterLock, &hr);
    m_pOutput = new (std::nothrow) CV77DsBufferOutput(this, &m_FilterLock, &hr);
    if (!m_pInput || !m_pOutput || !m_pInput->OwnAllocator() || !m_pOutput->OwnAllocator())
        hr = E_OUTOFMEMORY;
    if (phr && FAILED(hr))
        *phr = hr;
}

CV77DsBufferFilter::~CV77DsBufferFilter()
{
    ReleaseSlaves();
    // Released without Stop, the delivery thread may still be in the queue:
    // wake it and wait for it before the queue goes.
    if (CBufferQueue* queue = Queue()) {
        queue->StopPlayback();
        queue->Deactivate();
    }
    delete m_pOutput;
    delete m_pQueue.exchange(nullptr);
    delete m_pInput;
    if (m_pPreferredType)
        DeleteMediaType(m_pPreferredType);
}

STDMETHODIMP CV77DsBufferFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77DsBuffer)
        return GetInterface(static_cast<IV77DsBuffer*>(this), ppv);
    if (riid == IID_IV77DsBufferNotify)
        return GetInterface(static_cast<IV77DsBufferNotify*>(this), ppv);
    if (riid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    if (riid == IID_IV77DsBufferMaster)
        return GetInterface(static_cast<IV77DsBufferMaster*>(this), ppv);
    if (riid == IID_IV77BufferGroupWait)
        return GetInterface(static_cast<IV77BufferGroupWait*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CV77DsBufferFilter::GetPinCount()
{
    return 2;
}

CBasePin* CV77DsBufferFilter::GetPin(int n)
{
    if (n == 0)
        return m_pInput;
    if (n == 1)
        return m_pOutput;
    return nullptr;
}

HRESULT CV77DsBufferFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    return CBaseFilter::NotifyEvent(code, param1, param2);
}

// ---- state ----

HRESULT CV77DsBufferFilter::SizeQueue()
{
    CBufferQueue* queue = Queue();
    if (queue->GetCapacity() > 0)
        return S_OK;
    ALLOCATOR_PROPERTIES props = {};
    IMemAllocator* input = m_pInput->OwnAllocator();
    if (FAILED(input->GetProperties(&props)))
        props.cbBuffer = 0;
    HRESULT hr = queue->SetSize(BufferCount(), props.cbBuffer);
    NotifyEvent(EC_V77_MEMORY, static_cast<LONG_PTR>(queue->GetReservedBytes()), 0);
    return hr;
}

STDMETHODIMP CV77DsBufferFilter::Pause()
{
    CAutoLock lock(&m_FilterLock);
    CBufferQueue* queue = Queue();
    if (!queue)
        return E_FAIL;
    queue->SetAllocators(m_pInput->OwnAllocator(), m_pOutput->OwnAllocator());
    HRESULT hr = SizeQueue();
    if (FAILED(hr))
        return hr;
    // Positions are media times from here on; an unconnected input has no one to ask.
    if (m_pInput->IsConnected()) {
        hr = SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
        if (FAILED(hr) && hr != E_NOTIMPL)
            return hr;
    }
    queue->StartPlayback();
    FlushDisplayTime();
    return CBaseFilter::Pause();
}

STDMETHODIMP CV77DsBufferFilter::Stop()
{
    CAutoLock lock(&m_FilterLock);
    CBufferQueue* queue = Queue();
    if (!queue) {
        HRESULT hr = CBaseFilter::Stop();
        FlushDisplayTime();
        return hr;
    }
    queue->StopPlayback();
    HRESULT hr = CBaseFilter::Stop();
    FlushDisplayTime();
    const LONGLONG reserved = queue->GetReservedBytes();
    queue->Deactivate();
    // The pool's decommit does not wait for the frames the queue still holds:
    // they go back to it here, after the pins are inactive.
    queue->Clear();
    NotifyEvent(EC_V77_MEMORY, static_cast<LONG_PTR>(-reserved), 0);
    return hr;
}

STDMETHODIMP CV77DsBufferFilter::Run(REFERENCE_TIME start)
{
    m_tStreamStart = start;
    return CBaseFilter::Run(start);
}

STDMETHODIMP CV77DsBufferFilter::SetSyncSource(IReferenceClock* clock)
{
    HRESULT hr = CBaseFilter::SetSyncSource(clock);
    CAutoLock lock(&m_ClockLock);
    m_pQueueClock = clock;
    return hr;
}

STDMETHODIMP CV77DsBufferFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    if (!graph)
        ReleaseSlaves();
    return CBaseFilter::JoinFilterGraph(graph, name);
}

// ---- IV77DsBuffer ----

STDMETHODIMP CV77DsBufferFilter::SetPreferredMediaType(const AM_MEDIA_TYPE* mt)
{
    CAutoLock lock(&m_FilterLock);
    if (m_pPreferredType) {
        DeleteMediaType(m_pPreferredType);
        m_pPreferredType = nullptr;
    }
    if (!mt)
        return S_OK;
    m_pPreferredType = CreateMediaType(mt);
    return m_pPreferredType ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CV77DsBufferFilter::SetUseOwnAllocator(BOOL use)
{
    m_bUseOwnAllocator = use != FALSE;
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::SetBufferCount(LONG count)
{
    CBufferQueue* queue = Queue();
    if (!queue || queue->GetCapacity() > 0)
        return E_FAIL;
    m_lBufferCount = std::max(count, queue->GetMinimumCount());
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::GetCapacity(LONG* count)
{
    if (!count)
        return E_POINTER;
    CBufferQueue* queue = Queue();
    if (!queue)
        return E_FAIL;
    *count = queue->GetCapacity();
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::GetMinimumCount(LONG* count)
{
    if (!count)
        return E_POINTER;
    CBufferQueue* queue = Queue();
    if (!queue)
        return E_FAIL;
    *count = queue->GetMinimumCount();
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::GetMediaType(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(&m_FilterLock);
    return CopyMediaType(mt, &m_pInput->CurrentMediaType());
}

HRESULT CV77DsBufferFilter::GetAvailableFrames(REFERENCE_TIME* first, REFERENCE_TIME* last)
{
    CBufferQueue* queue = Queue();
    if (!queue)
        return E_FAIL;
    if (first)
        *first = queue->GetFirstTime();
    if (last)
        *last = queue->GetLastTime();
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::GetFrame(REFERENCE_TIME* time, LONG offset, BYTE* buffer, LONG* size)
{
    if (!time || !size || (!buffer && *size > 0))
        return E_POINTER;
    CBufferQueue* queue = Queue();
    if (!queue)
        return E_FAIL;
    ComPtr<IMediaSample> frame;
    if (!queue->GetSampleAt(time, offset, &frame))
        return E_FAIL;
    // Under the queue lock the frame's data cannot change under the copy.
    CAutoLock lock(queue->QueueLock());
    LONGLONG start = 0;
    LONGLONG stop = 0;
    if (frame->GetMediaTime(&start, &stop) != S_OK)
        frame->GetTime(&start, &stop);
    *time = start;
    BYTE* data = nullptr;
    frame->GetPointer(&data);
    const LONG length = data ? frame->GetActualDataLength() : 0;
    const LONG copied = std::max(0L, std::min(*size, length));
    if (copied > 0)
        std::memcpy(buffer, data, static_cast<size_t>(copied));
    *size = copied;
    return S_OK;
}

CBufferQueue* CV77DsBufferFilter::MakeQueue(DWORD kind, DWORD parameter, IBufferQueueOwner* owner)
{
    switch (kind) {
    case V77_QUEUE_STANDARD:
        return new (std::nothrow) CStdBufferQueue(owner);
    case V77_QUEUE_FULL:
        return new (std::nothrow) CFullBufferQueue(owner, static_cast<LONG>(parameter));
    case V77_QUEUE_AUDIO:
        return new (std::nothrow) CAudioBufferQueue(owner, parameter);
    default:
        return nullptr;
    }
}

STDMETHODIMP CV77DsBufferFilter::CreateQueue(DWORD kind, DWORD parameter, IV77DsBufferMaster* master)
{
    {
        CAutoLock lock(&m_FilterLock);
        if (Queue())
            return E_FAIL;
        CBufferQueue* queue = MakeQueue(kind, parameter, this);
        if (!queue)
            return E_OUTOFMEMORY;
        m_pQueue = queue;
        m_bEnabled = kind != V77_QUEUE_AUDIO;
        m_lBufferCount = std::max(BufferCount(), queue->GetMinimumCount());
    }
    SetMaster(master);
    return S_FALSE;
}

STDMETHODIMP CV77DsBufferFilter::SetGroupRate(double rate)
{
    HRESULT hr = MasterSetRate(rate);
    if (FAILED(hr))
        return hr;
    for (const ComPtr<IV77DsBufferMaster>& slave : CopySlaves()) {
        hr = slave->SetRate(rate);
        if (FAILED(hr))
            return hr;
    }
    return HoldGroupTogether(rate, hr);
}

HRESULT CV77DsBufferFilter::HoldGroupTogether(double rate, HRESULT hr)
{
    // A frame-hold rate shows each member's frame under its own cursor. Each
    // slave reaches the new rate on its own thread, a frame before or after
    // its master when it was playing, so the group would hold different
    // frames: every member moves to the frame the master holds, as after a
    // step.
    CBufferQueue* queue = Queue();
    REFERENCE_TIME time = 0;
    if (std::fabs(rate) < 0.001 || std::fabs(rate) >= 0.01 || !queue || FAILED(queue->GetCurrentTime(&time)))
        return hr;
    return SyncPositions(time, nullptr);
}

STDMETHODIMP CV77DsBufferFilter::SetGroupPositions(REFERENCE_TIME* current, REFERENCE_TIME* start,
                                                   REFERENCE_TIME* stop)
{
    HRESULT hr = SetPositions(current, start, stop);
    if (FAILED(hr))
        return hr;
    for (const ComPtr<IV77DsBufferMaster>& slave : CopySlaves()) {
        hr = slave->SetPositions(current, start, stop);
        if (FAILED(hr))
            break;
    }
    return hr;
}

STDMETHODIMP CV77DsBufferFilter::Step(LONG frames)
{
    CBufferQueue* queue = Queue();
    if (!queue)
        return VFW_E_WRONG_STATE;
    HRESULT hr = queue->Step(frames);
    if (SUCCEEDED(hr)) {
        // The whole group moves to the frame this member stepped to.
        REFERENCE_TIME time = 0;
        if (SUCCEEDED(queue->GetCurrentTime(&time)))
            hr = CurrentMaster()->SyncPositions(time, Self());
    }
    FlushDisplayTime();
    return hr;
}

STDMETHODIMP CV77DsBufferFilter::SetTimeStep(REFERENCE_TIME step)
{
    m_tTimeStep = step;
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::SetMaster(IV77DsBufferMaster* master)
{
    CAutoLock lock(&m_MasterLock);
    if (m_pMaster && m_pMaster != Self())
        m_pMaster->RemoveSlave(Self());
    if (master && master != Self()) {
        m_pMaster = master;
        m_bOwnMaster = false;
        master->AddSlave(Self());
    } else {
        m_pMaster = Self();
        m_bOwnMaster = true;
    }
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::WaitReady(DWORD timeoutMs)
{
    CBufferQueue* queue = Queue();
    return queue ? queue->WaitReady(timeoutMs) : VFW_E_WRONG_STATE;
}

HRESULT CV77DsBufferFilter::QueueBufferSize(LONG requested, LONG* size)
{
    CBufferQueue* queue = Queue();
    if (!queue)
        return E_FAIL;
    *size = queue->GetBufferSize(requested);
    return S_OK;
}

// ---- IV77DsBufferNotify ----

STDMETHODIMP CV77DsBufferFilter::RequestDone(HRESULT result, LONG frameCount, DWORD reserved, REFERENCE_TIME next)
{
    CBufferQueue* queue = Queue();
    if (!queue)
        return VFW_E_WRONG_STATE;
    queue->OnRequestDone(result, frameCount, reserved, next);
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::WaitForRequest(REFERENCE_TIME* position, DWORD* type, WORD* flush)
{
    CBufferQueue* queue = Queue();
    return queue ? queue->GetRequest(position, type, flush) : VFW_E_WRONG_STATE;
}

// ---- IMediaSeeking, passed upstream ----

HRESULT CV77DsBufferFilter::UpstreamSeeking(ComPtr<IMediaSeeking>* seeking)
{
    ComPtr<IPin> upstream;
    {
        CAutoLock lock(&m_FilterLock);
        upstream = m_pInput->GetConnected();
    }
    if (!upstream)
        return VFW_E_NOT_CONNECTED;
    return SUCCEEDED(upstream.As(seeking)) ? S_OK : E_NOTIMPL;
}

HRESULT CV77DsBufferFilter::CheckSeekable()
{
    CBufferQueue* queue = Queue();
    if (!queue)
        return VFW_E_WRONG_STATE;
    return queue->CanSeek() ? S_OK : E_NOTIMPL;
}

#define V77_PASS_UPSTREAM(call)                        \
    ComPtr<IMediaSeeking> seeking;                     \
    HRESULT hrUpstream = UpstreamSeeking(&seeking);    \
    return FAILED(hrUpstream) ? hrUpstream : seeking->call

STDMETHODIMP CV77DsBufferFilter::GetCapabilities(DWORD* capabilities)
{
    V77_PASS_UPSTREAM(GetCapabilities(capabilities));
}

STDMETHODIMP CV77DsBufferFilter::CheckCapabilities(DWORD* capabilities)
{
    V77_PASS_UPSTREAM(CheckCapabilities(capabilities));
}

STDMETHODIMP CV77DsBufferFilter::IsFormatSupported(const GUID* format)
{
    V77_PASS_UPSTREAM(IsFormatSupported(format));
}

STDMETHODIMP CV77DsBufferFilter::QueryPreferredFormat(GUID* format)
{
    V77_PASS_UPSTREAM(QueryPreferredFormat(format));
}

STDMETHODIMP CV77DsBufferFilter::GetTimeFormat(GUID* format)
{
    V77_PASS_UPSTREAM(GetTimeFormat(format));
}

STDMETHODIMP CV77DsBufferFilter::IsUsingTimeFormat(const GUID* format)
{
    V77_PASS_UPSTREAM(IsUsingTimeFormat(format));
}

STDMETHODIMP CV77DsBufferFilter::SetTimeFormat(const GUID* format)
{
    V77_PASS_UPSTREAM(SetTimeFormat(format));
}

STDMETHODIMP CV77DsBufferFilter::GetDuration(LONGLONG* duration)
{
    V77_PASS_UPSTREAM(GetDuration(duration));
}

STDMETHODIMP CV77DsBufferFilter::GetStopPosition(LONGLONG* stop)
{
    V77_PASS_UPSTREAM(GetStopPosition(stop));
}

STDMETHODIMP CV77DsBufferFilter::GetCurrentPosition(LONGLONG* current)
{
    V77_PASS_UPSTREAM(GetCurrentPosition(current));
}

STDMETHODIMP CV77DsBufferFilter::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                   const GUID* sourceFormat)
{
    V77_PASS_UPSTREAM(ConvertTimeFormat(target, targetFormat, source, sourceFormat));
}

STDMETHODIMP CV77DsBufferFilter::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                              DWORD stopFlags)
{
    HRESULT hr = CheckSeekable();
    if (FAILED(hr))
        return hr;
    V77_PASS_UPSTREAM(SetPositions(current, currentFlags, stop, stopFlags));
}

STDMETHODIMP CV77DsBufferFilter::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    V77_PASS_UPSTREAM(GetPositions(current, stop));
}

HRESULT CV77DsBufferFilter::SeekingGetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    V77_PASS_UPSTREAM(GetAvailable(earliest, latest));
}

HRESULT CV77DsBufferFilter::SeekingSetRate(double rate)
{
    HRESULT hr = CheckSeekable();
    if (FAILED(hr))
        return hr;
    V77_PASS_UPSTREAM(SetRate(rate));
}

STDMETHODIMP CV77DsBufferFilter::GetRate(double* rate)
{
    V77_PASS_UPSTREAM(GetRate(rate));
}

STDMETHODIMP CV77DsBufferFilter::GetPreroll(LONGLONG* preroll)
{
    V77_PASS_UPSTREAM(GetPreroll(preroll));
}

#undef V77_PASS_UPSTREAM

// ---- IV77DsBufferMaster ----

STDMETHODIMP CV77DsBufferFilter::GetPlayState(void* caller, REFERENCE_TIME* reference, REFERENCE_TIME* position,
                                              double* rate)
{
    CBufferQueue* queue = Queue();
    return queue ? queue->GetPlayState(caller, reference, position, rate) : VFW_E_WRONG_STATE;
}

STDMETHODIMP CV77DsBufferFilter::GetPosition(REFERENCE_TIME* position)
{
    CBufferQueue* queue = Queue();
    return queue ? queue->GetPosition(position) : VFW_E_WRONG_STATE;
}

STDMETHODIMP CV77DsBufferFilter::AddSlave(IV77DsBufferMaster* slave)
{
    if (!slave)
        return E_POINTER;
    CAutoLock lock(&m_MasterLock);
    m_Slaves.emplace_back(slave);
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::SyncPositions(REFERENCE_TIME position, IV77DsBufferMaster* origin)
{
    HRESULT hr = S_OK;
    if (origin != Self())
        hr = SetPositions(&position, nullptr, nullptr);
    for (const ComPtr<IV77DsBufferMaster>& slave : CopySlaves()) {
        if (slave.Get() != origin)
            hr = slave->SetPositions(&position, nullptr, nullptr);
    }
    return hr;
}

HRESULT CV77DsBufferFilter::MasterSetRate(double rate)
{
    CBufferQueue* queue = Queue();
    if (!queue)
        return VFW_E_WRONG_STATE;
    HRESULT hr = queue->SetRate(rate);
    if (hr == E_NOTIMPL)
        hr = SeekingSetRate(rate);  // a live queue: the source changes its rate
    FlushDisplayTime();
    return hr;
}

STDMETHODIMP CV77DsBufferFilter::SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    CBufferQueue* queue = Queue();
    if (!queue)
        return VFW_E_WRONG_STATE;
    HRESULT hr = queue->SetPositions(current, start, stop);
    if (hr == E_NOTIMPL) {
        hr = SetPositions(current, current ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning, stop,
                          stop ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
    }
    FlushDisplayTime();
    return hr;
}

STDMETHODIMP CV77DsBufferFilter::RemoveSlave(IV77DsBufferMaster* slave)
{
    SlaveList removed;
    {
        CAutoLock lock(&m_MasterLock);
        for (auto it = m_Slaves.begin(); it != m_Slaves.end();) {
            if (it->Get() == slave) {
                removed.push_back(std::move(*it));
                it = m_Slaves.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Released outside the lock: a slave may go away with its last reference.
    return S_OK;
}

STDMETHODIMP CV77DsBufferFilter::ReleaseMaster()
{
    return SetMaster(nullptr);
}

CV77DsBufferFilter::SlaveList CV77DsBufferFilter::CopySlaves()
{
    CAutoLock lock(&m_MasterLock);
    return m_Slaves;
}

void CV77DsBufferFilter::ReleaseSlaves()
{
    SlaveList slaves;
    {
        CAutoLock lock(&m_MasterLock);
        slaves.swap(m_Slaves);
    }
    for (const ComPtr<IV77DsBufferMaster>& slave : slaves)
        slave->ReleaseMaster();
}

ComPtr<IV77DsBufferMaster> CV77DsBufferFilter::CurrentMaster()
{
    CAutoLock lock(&m_MasterLock);
    return ComPtr<IV77DsBufferMaster>(m_pMaster);
}

// ---- IBufferQueueOwner ----

HRESULT CV77DsBufferFilter::GetReferenceClock(IReferenceClock** clock)
{
    CAutoLock lock(&m_ClockLock);
    *clock = m_pQueueClock.Get();
    if (!*clock)
        return S_FALSE;
    (*clock)->AddRef();
    return S_OK;
}

void CV77DsBufferFilter::RaiseQueueEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    NotifyEvent(code, param1, param2);
}

HRESULT CV77DsBufferFilter::GetMasterPlayState(REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate)
{
    // The master lock only guards taking the reference: a master that shows
    // no video waits in GetPlayState until it has a position, and the group
    // calls on this filter (which take the lock) must not wait with it. The
    // reference keeps the master alive through the call.
    return CurrentMaster()->GetPlayState(Self(), reference, position, rate);
}

HANDLE CV77DsBufferFilter::ReleaseEvent()
{
    CBufferQueue* queue = Queue();
    return queue ? queue->ReleaseEvent() : nullptr;
}

HANDLE CV77DsBufferFilter::CallerRelease(const void* caller)
{
    // caller is an identity: only a slave of ours, held in the list, is asked.
    ComPtr<IV77BufferGroupWait> member;
    {
        CAutoLock lock(&m_MasterLock);
        for (const ComPtr<IV77DsBufferMaster>& slave : m_Slaves) {
            if (slave.Get() == caller) {
                slave->QueryInterface(IID_IV77BufferGroupWait, reinterpret_cast<void**>(member.GetAddressOf()));
                break;
            }
        }
    }
    // The slave outlives the handle's use: it is the one waiting.
    return member ? member->ReleaseEvent() : nullptr;
}

HRESULT CV77DsBufferFilter::GetMasterPosition(REFERENCE_TIME* position)
{
    CAutoLock lock(&m_MasterLock);
    return m_pMaster->GetPosition(position);
}
