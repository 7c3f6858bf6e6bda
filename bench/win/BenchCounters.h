// What the benchmark source and null renderer record while frames flow:
// performance-counter ticks, written by one thread each, read after the run.
#pragma once

#include <windows.h>
#include <atomic>

struct BenchCounters {
    std::atomic<long> delivered{0};          // source: Deliver calls
    std::atomic<long> received{0};           // renderer: frames received
    std::atomic<LONGLONG> firstDeliver{0};   // ticks of the first Deliver
    std::atomic<LONGLONG> lastReceive{0};    // ticks of the latest receipt
    std::atomic<LONGLONG> latencyTicks{0};   // sum of Deliver-to-receipt ticks
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
