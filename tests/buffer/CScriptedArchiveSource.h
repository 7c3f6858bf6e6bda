// An upstream archive source for graph tests: at Pause it finds the
// IV77DsBufferNotify of the filter it feeds, and its own thread answers the
// buffer's requests (WaitForRequest) from a synthetic recording: flushes when
// told, delivers the stretch as pooled samples whose media times (and sample
// times) are the recorded positions, then reports it (RequestDone).
#pragma once

#include <atomic>
#include <vector>
#include <wrl/client.h>
#include "framework/CBaseFilter.h"
#include "framework/CBaseOutputPin.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"
#include "tests/buffer/CQueueFeeder.h"
#include "tests/buffer/SyntheticRecording.h"
#include "v77/IV77DsBuffer.h"

class CScriptedArchiveSource;

class CScriptedArchiveOutput : public CBaseOutputPin {
public:
    CScriptedArchiveOutput(CScriptedArchiveSource* filter, CCritSec* lock, HRESULT* phr);
    ~CScriptedArchiveOutput() override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

private:
    static DWORD WINAPI ThreadProc(LPVOID self);
    void Serve();
    HRESULT DeliverStretch(const SyntheticRecording::Stretch& stretch, LONG* delivered);

    CScriptedArchiveSource* m_pSource;
    Microsoft::WRL::ComPtr<IV77DsBufferNotify> m_pNotify;  // the thread's, taken at Active
    HANDLE m_hThread;
};

class CScriptedArchiveSource : public CBaseFilter {
public:
    // AddRef'd; null on failure.
    static CScriptedArchiveSource* Create(const SyntheticRecording& recording, const CMediaType& mt);

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;

    const SyntheticRecording& Recording() const { return m_Recording; }
    const CMediaType& MediaType() const { return m_MediaType; }
    // The buffer's notify interface found at Pause (filter lock held), null when there is none.
    Microsoft::WRL::ComPtr<IV77DsBufferNotify> Notify() const { return m_pNotify; }
    void Record(const FeederRequest& request);
    std::vector<FeederRequest> Requests();
    std::atomic<long> flushes{0};
    std::atomic<long> framesDelivered{0};

private:
    CScriptedArchiveSource(const SyntheticRecording& recording, const CMediaType& mt, HRESULT* phr);
    ~CScriptedArchiveSource() override;
    void FindNotify();

    CCritSec m_FilterLock;
    CCritSec m_RecordLock;
    SyntheticRecording m_Recording;
    CMediaType m_MediaType;
    CScriptedArchiveOutput* m_pOutput;
    Microsoft::WRL::ComPtr<IV77DsBufferNotify> m_pNotify;
    std::vector<FeederRequest> m_Requests;
};
