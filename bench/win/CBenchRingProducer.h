// An in-process stand-in for the local capture process: publishes frames into
// a capture ring as fast as the viewer gives slots back. The slots are filled
// once; each frame only gets a time stamp for the null renderer, so what the
// viewer's side costs is measured, not drawing. The producer thread's own CPU
// time is reported apart so that it can be taken out of the process's.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "companions/components/local/CV77CaptureRingMapping.h"

class CBenchRingProducer {
public:
    CBenchRingProducer(const std::wstring& name, uint32_t width, uint32_t height, uint32_t slots);
    ~CBenchRingProducer();
    CBenchRingProducer(const CBenchRingProducer&) = delete;
    CBenchRingProducer& operator=(const CBenchRingProducer&) = delete;

    bool Started() const { return m_hThread != nullptr; }
    // CPU time of the producer thread so far, 100 ns.
    LONGLONG Cpu100ns() const;

private:
    static DWORD WINAPI ThreadProc(void* self);
    void Run();

    std::shared_ptr<CV77CaptureRingMapping> m_Mapping;
    uint32_t m_uFrameBytes;
    std::atomic<bool> m_bStop{false};
    HANDLE m_hThread = nullptr;
};
