// "Varnokel77 buffer filter": queues the frames a source delivers and hands
// them to the renderer on its own high-priority delivery thread. The host
// configures it through IV77DsBuffer, groups several under one master
// through IV77DsBufferMaster, and an upstream archive source learns through
// IV77DsBufferNotify which stretch of recording the queue needs next.
// Seeking is passed upstream.
#pragma once

#include <atomic>
#include <vector>
#include <wrl/client.h>
#include "buffer/CV77DsBufferBase.h"
#include "buffer/CV77DsBufferMasterBase.h"
#include "buffer/CV77DsBufferSeeking.h"
#include "buffer/IBufferQueueOwner.h"
#include "buffer/IV77BufferGroupWait.h"
#include "display/CDisplayNotification.h"
#include "framework/CAMEvent.h"
#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"
#include "v77/IV77DsBuffer.h"

class CBufferQueue;
class CV77DsBufferInput;
class CV77DsBufferOutput;

class CV77DsBufferFilter : public CBaseFilter,
                           public CDisplayNotification,
                           public CV77DsBufferBase,
                           public IV77DsBufferNotify,
                           public CV77DsBufferSeeking,
                           public CV77DsBufferMasterBase,
                           public IV77BufferGroupWait,
                           private IBufferQueueOwner {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77DsBufferFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77DsBufferFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBaseFilter
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    // CDisplayNotification: every event of the filter and its queue goes this way.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) override;

    // IV77DsBuffer
    STDMETHODIMP SetPreferredMediaType(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP SetUseOwnAllocator(BOOL use) override;
    STDMETHODIMP SetBufferCount(LONG count) override;
    STDMETHODIMP GetCapacity(LONG* count) override;
    STDMETHODIMP GetMinimumCount(LONG* count) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP GetFrame(REFERENCE_TIME* time, LONG offset, BYTE* buffer, LONG* size) override;
    STDMETHODIMP CreateQueue(DWORD kind, DWORD parameter, IV77DsBufferMaster* master) override;
    STDMETHODIMP SetGroupRate(double rate) override;
    STDMETHODIMP SetGroupPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP Step(LONG frames) override;
    STDMETHODIMP SetTimeStep(REFERENCE_TIME step) override;
    STDMETHODIMP SetMaster(IV77DsBufferMaster* master) override;
    STDMETHODIMP WaitReady(DWORD timeoutMs) override;

    // IV77DsBufferNotify
    STDMETHODIMP RequestDone(HRESULT result, LONG frameCount, DWORD reserved, REFERENCE_TIME next) override;
    STDMETHODIMP WaitForRequest(REFERENCE_TIME* position, DWORD* type, WORD* flush) override;

    // IMediaSeeking, passed to the upstream pin
    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

    // IV77DsBufferMaster
    STDMETHODIMP GetPlayState(void* caller, REFERENCE_TIME* reference, REFERENCE_TIME* position,
                              double* rate) override;
    STDMETHODIMP GetPosition(REFERENCE_TIME* position) override;
    STDMETHODIMP AddSlave(IV77DsBufferMaster* slave) override;
    STDMETHODIMP SyncPositions(REFERENCE_TIME position, IV77DsBufferMaster* origin) override;
    STDMETHODIMP SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP RemoveSlave(IV77DsBufferMaster* slave) override;
    STDMETHODIMP ReleaseMaster() override;

    // IV77BufferGroupWait
    HANDLE STDMETHODCALLTYPE ReleaseEvent() override;

    // For the pins and allocators.
    CBufferQueue* Queue() const { return m_pQueue.load(); }
    CV77DsBufferInput* Input() const { return m_pInput; }
    CV77DsBufferOutput* Output() const { return m_pOutput; }
    CCritSec* FilterLock() { return &m_FilterLock; }
    bool UseOwnAllocator() const { return m_bUseOwnAllocator.load(); }
    LONG BufferCount() const { return m_lBufferCount.load(); }
    // The queue's buffer size for a requested one; E_FAIL without a queue.
    HRESULT QueueBufferSize(LONG requested, LONG* size);
    // The preferred type, or null (read under the filter lock).
    const AM_MEDIA_TYPE* PreferredMediaType() const { return m_pPreferredType; }

protected:
    // CV77DsBufferBase, CV77DsBufferSeeking, CV77DsBufferMasterBase
    HRESULT GetAvailableFrames(REFERENCE_TIME* first, REFERENCE_TIME* last) override;
    HRESULT SeekingSetRate(double rate) override;
    HRESULT SeekingGetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT MasterSetRate(double rate) override;
    // The queue CreateQueue makes for a kind (null for an unknown kind); a
    // test filter may put a probe in its place.
    virtual CBufferQueue* MakeQueue(DWORD kind, DWORD parameter, IBufferQueueOwner* owner);

private:
    // IBufferQueueOwner
    HRESULT GetReferenceClock(IReferenceClock** clock) override;
    void RaiseQueueEvent(long code, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT GetMasterPlayState(REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate) override;
    HRESULT GetMasterPosition(REFERENCE_TIME* position) override;
    bool IsOwnMaster() override { return m_bOwnMaster.load(); }
    bool DisplaysVideo() override { return m_bEnabled.load(); }
    const void* Identity() override { return static_cast<IV77DsBufferMaster*>(this); }
    HANDLE PositionValidEvent() override { return m_PositionValid.Handle(); }
    HANDLE CallerRelease(const void* caller) override;
    REFERENCE_TIME TimeStep() override { return m_tTimeStep.load(); }
    REFERENCE_TIME StreamStartTime() override { return m_tStreamStart.load(); }

    using SlaveList = std::vector<Microsoft::WRL::ComPtr<IV77DsBufferMaster>>;
    IV77DsBufferMaster* Self() { return static_cast<IV77DsBufferMaster*>(this); }
    // The upstream pin's IMediaSeeking: VFW_E_NOT_CONNECTED, or E_NOTIMPL when it has none.
    HRESULT UpstreamSeeking(Microsoft::WRL::ComPtr<IMediaSeeking>* seeking);
    HRESULT CheckSeekable();
    // The master with a reference (this filter when it is its own).
    Microsoft::WRL::ComPtr<IV77DsBufferMaster> CurrentMaster();
    SlaveList CopySlaves();
    // Every slave releases this filter as its master.
    void ReleaseSlaves();
    HRESULT HoldGroupTogether(double rate, HRESULT hr);
    HRESULT SizeQueue();

    CCritSec m_FilterLock;
    CV77DsBufferInput* m_pInput;
    CV77DsBufferOutput* m_pOutput;
    std::atomic<bool> m_bUseOwnAllocator;
    std::atomic<REFERENCE_TIME> m_tTimeStep;
    CCritSec m_MasterLock;
    IV77DsBufferMaster* m_pMaster;       // not referenced when it is this filter
    std::atomic<bool> m_bOwnMaster;
    std::atomic<LONG> m_lBufferCount;
    std::atomic<CBufferQueue*> m_pQueue; // owned
    AM_MEDIA_TYPE* m_pPreferredType;     // owned copy
    SlaveList m_Slaves;                  // referenced; guarded by the master lock
    CAMEvent m_PositionValid;            // manual; set and reset by the time-shift queues
    CCritSec m_ClockLock;                // the clock copy the delivery thread reads
    Microsoft::WRL::ComPtr<IReferenceClock> m_pQueueClock;
    std::atomic<REFERENCE_TIME> m_tStreamStart;
};
