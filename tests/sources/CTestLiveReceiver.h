// A live receiver for the tests: on SetStreaming it streams the frames of
// its script from its own thread through the source's GetBuffer and
// OnSample, as the real receivers do, and records what it handed over.
// It also answers IV77TcpReceiver and IV77DsAviSource, recording the calls.
#pragma once

#include <windows.h>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "tests/sources/ReceiverScript.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Receivers.h"

class CTestLiveReceiver : public IV77LiveReceiver, public IV77TcpReceiver, public IV77DsAviSource {
public:
    // One reference.
    static CTestLiveReceiver* Create(const ReceiverScript& script);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IV77LiveReceiver
    STDMETHODIMP Open(BSTR source1, BSTR source2, DWORD openValue, WORD openWord,
                      IV77RTPReceiverEvents* events) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP IsOpen() override;
    STDMETHODIMP GetSourceInformation(SOURCE_INFORMATION* info) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP SetStreaming(DWORD mask, WORD streamParameter) override;
    STDMETHODIMP SetStreamParameter(WORD value) override;
    STDMETHODIMP GetAuxiliaryInterface(void** ppv) override;
    STDMETHODIMP SetTimeParameter(REFERENCE_TIME value) override;
    STDMETHODIMP GetAverageFrameSize(double* bytes) override;
    STDMETHODIMP Reserved13() override { return E_NOTIMPL; }

    // IV77TcpReceiver
    STDMETHODIMP Configure(DWORD a, double b, DWORD c) override;
    // IV77DsAviSource
    STDMETHODIMP Configure(DWORD a, DWORD b) override;

    // The description from the next Open on (a camera that changed its stream).
    void SetInformation(const SOURCE_INFORMATION& info);
    // Samples handed to OnSample, by identity (not referenced).
    bool Delivered(const void* sample);
    // Results of OnSample that were not S_OK.
    std::vector<HRESULT> SampleResults();

    std::atomic<long> opens{0};
    std::atomic<long> closes{0};
    std::atomic<long> framesSent{0};
    std::atomic<long> getBufferFailures{0};
    std::atomic<bool> inGetBuffer{false};
    std::atomic<long> auxiliaryCalls{0};
    std::atomic<WORD> lastStreamParameter{0};
    std::atomic<REFERENCE_TIME> lastTimeParameter{0};
    std::atomic<double> lastConfigureB{0.0};
    std::atomic<DWORD> lastConfigureA{0};
    std::atomic<DWORD> lastConfigureC{0};

private:
    explicit CTestLiveReceiver(const ReceiverScript& script);
    virtual ~CTestLiveReceiver();

    void StopThread();
    void Stream();
    bool SendFrame(int frame);
    void Decorate(int frame, IMediaSample* sample);
    void ReleaseHeld();

    volatile LONG m_cRef;
    ReceiverScript m_Script;
    std::mutex m_Lock;
    SOURCE_INFORMATION m_Next;      // what the next Open describes
    SOURCE_INFORMATION m_Info;      // what this connection describes
    IV77RTPReceiverEvents* m_pEvents;  // not counted: the filter closes us before it goes
    bool m_bOpen;
    std::thread m_Thread;
    HANDLE m_hStop;                 // manual: the streaming thread must end
    std::set<const void*> m_Delivered;
    std::vector<HRESULT> m_Results;
    std::vector<IMediaSample*> m_Held;
};
