// What the benchmark source and null renderer record while frames flow:
// performance-counter ticks, written by one thread each, read after the run.
// The source can also sleep until enough frames have been received.
#pragma once

#include <windows.h>
#include <atomic>

struct BenchCounters {
    std::atomic<long> delivered{0};          // source: Deliver calls
    std::atomic<long> received{0};           // renderer: frames received
    std::atomic<LONGLONG> firstDeliver{0};   // ticks of the first Deliver
    std::atomic<LONGLONG> firstReceive{0};   // ticks of the first receipt (the graph runs)
    std::atomic<LONGLONG> lastReceive{0};    // ticks of the latest receipt
    std::atomic<LONGLONG> latencyTicks{0};   // sum of Deliver-to-receipt ticks

    // Renderer: one more frame received; wakes the source when it sleeps for it.
    void NoteReceipt()
    {
        const long count = ++received;
        const long wanted = m_Wanted.load();
        if (wanted == 0 || count < wanted)
            return;
        // Taking the lock waits until the source sleeps (it checked under it).
        AcquireSRWLockExclusive(&m_Lock);
        ReleaseSRWLockExclusive(&m_Lock);
        WakeAllConditionVariable(&m_Receipt);
    }

    // Source: sleeps (without CPU time of its own, which the figures count)
    // until `count` frames were received or timeoutMs passed.
    void WaitForReceipts(long count, DWORD timeoutMs)
    {
        if (received.load() >= count)
            return;
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        AcquireSRWLockExclusive(&m_Lock);
        m_Wanted = count;
        while (received.load() < count) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline ||
                !SleepConditionVariableSRW(&m_Receipt, &m_Lock, static_cast<DWORD>(deadline - now), 0))
                break;
        }
        m_Wanted = 0;
        ReleaseSRWLockExclusive(&m_Lock);
    }

private:
    std::atomic<long> m_Wanted{0};            // receipts the sleeping source waits for (0: awake)
    SRWLOCK m_Lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_Receipt = CONDITION_VARIABLE_INIT;
};

inline LONGLONG BenchTicks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Where the source stamps each frame: the Deliver ticks, then the frame number.
constexpr LONG kStampTicksOffset = 0;
constexpr LONG kStampFrameOffset = 8;
constexpr LONG kStampBytes = 12;
