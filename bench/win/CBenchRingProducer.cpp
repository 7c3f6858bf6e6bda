#include "bench/win/CBenchRingProducer.h"

#include <cstring>

#include "bench/win/BenchCounters.h"

namespace {

int64_t FileTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

}  // namespace

CBenchRingProducer::CBenchRingProducer(const std::wstring& name, uint32_t width, uint32_t height, uint32_t slots)
    : m_uFrameBytes(width * height * 2)
{
    V77CaptureFormat format;
    format.width = width;
    format.height = height;
    format.compression = MAKEFOURCC('Y', 'U', 'Y', '2');
    format.bitCount = 16;
    format.frameTime = 400000;
    if (FAILED(CV77CaptureRingMapping::Create(name, format, slots, m_uFrameBytes, &m_Mapping, nullptr)))
        return;
    CV77CaptureRing& ring = m_Mapping->Ring();
    ring.TakeOver(GetCurrentProcessId());
    for (uint32_t slot = 0; slot < slots; ++slot)
        std::memset(ring.SlotData(slot), 0x80, m_uFrameBytes);
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

CBenchRingProducer::~CBenchRingProducer()
{
    m_bStop = true;
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
}

LONGLONG CBenchRingProducer::Cpu100ns() const
{
    FILETIME created, exited, kernel, user;
    if (!m_hThread || !GetThreadTimes(m_hThread, &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& t) {
        return static_cast<LONGLONG>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return value(kernel) + value(user);
}

DWORD WINAPI CBenchRingProducer::ThreadProc(void* self)
{
    static_cast<CBenchRingProducer*>(self)->Run();
    return 0;
}

void CBenchRingProducer::Run()
{
    CV77CaptureRing& ring = m_Mapping->Ring();
    uint64_t sequence = 0;
    while (!m_bStop) {
        ring.Header().heartbeat.store(GetTickCount64());
        // Never overwrite an unread frame: wait for the viewer instead.
        const int slot = ring.BeginWrite(false);
        if (slot < 0) {
            WaitForSingleObject(m_Mapping->ReturnedEvent(), 5);
            continue;
        }
        const LONGLONG ticks = BenchTicks();
        std::memcpy(ring.SlotData(static_cast<uint32_t>(slot)) + kStampTicksOffset, &ticks, sizeof ticks);
        ring.Publish(static_cast<uint32_t>(slot), sequence++, FileTimeNow(), m_uFrameBytes, kV77CaptureSyncPoint);
        SetEvent(m_Mapping->FrameEvent());
    }
}
