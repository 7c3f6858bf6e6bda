// Input pin of CTestRenderer: allocator offers and refusals under the test's
// control, counters for flushes and segments, and a gate that holds Receive
// (released by Unblock, a flush, Stop, or a 10 s bound).
#pragma once

#include <atomic>
#include "framework/CAMEvent.h"
#include "framework/CRendererInputPin.h"

class CTestRenderer;

class CTestRendererInputPin : public CRendererInputPin {
public:
    CTestRendererInputPin(CTestRenderer* renderer, HRESULT* phr);

    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT Inactive() override;

    // Busy renderer: Receive waits until Unblock.
    void Block();
    void Unblock();
    bool WaitUntilBlocked(DWORD timeoutMs);

    IMemAllocator* NotifiedAllocator() const { return m_pAllocator; }
    // The allocator GetAllocator offered last (not referenced).
    IMemAllocator* OfferedAllocator() const { return m_pOffered; }

    std::atomic<long> beginFlushes{0};
    std::atomic<long> endFlushes{0};
    std::atomic<long> newSegments{0};
    std::atomic<long> refusedAllocators{0};
    std::atomic<long> blockedReceives{0};
    std::atomic<long> receiveCalls{0};
    std::atomic<HRESULT> lastReceiveResult{S_OK};
    std::atomic<BOOL> notifiedReadOnly{FALSE};
    REFERENCE_TIME SegmentStart() const { return m_SegmentStart; }

private:
    void WaitAtGate();

    CTestRenderer* m_pTestRenderer;
    IMemAllocator* m_pOffered;
    CAMEvent m_Open;       // manual: Receive may go on
    CAMEvent m_Blocked;    // manual: a Receive waits at the gate
    volatile REFERENCE_TIME m_SegmentStart;
};
