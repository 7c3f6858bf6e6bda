// The capture tool's archive mode: serves one recording store to viewers in
// the same machine (V77CaptureArchive.h). Each viewer connects to the tool's
// request pipe and gets a ring of its own; its stretch requests are answered
// from the store's recording index, read with the receivers' own store code,
// into that ring. A viewer that goes (its end of the pipe closes) takes its
// ring with it.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "companions/components/archive/CV77RecordingStore.h"
#include "companions/components/local/CV77CaptureRingMapping.h"
#include "companions/components/recording/CV77RecordingIndex.h"
#include "companions/components/recording/V77ArchiveProtocol.h"

class CCaptureArchive {
public:
    // A viewer's ring, unless slots are given: as many slots of the
    // recording's largest frame as fit kRingBudgetBytes, within
    // kMinSlots..kMaxSlots. A viewer plays with as few as kMinSlots (frames
    // are copied once half its ring is held); 64 slots of a 1080p YUY2 frame
    // would take 265 MB a viewer.
    static constexpr uint64_t kRingBudgetBytes = 32ull << 20;
    static constexpr uint32_t kMinSlots = 4;
    static constexpr uint32_t kMaxSlots = 64;

    // slots 0: sized from the recording (see above).
    CCaptureArchive(const std::wstring& name, uint32_t slots, DWORD frameDelayMs);

    HRESULT Open(const std::wstring& storeFolder);
    size_t FrameCount() const { return m_Index.FrameCount(); }
    // Takes the request pipe's name (HRESULT_FROM_WIN32(ERROR_BUSY) when
    // another capture process serves it), then serves viewers until the
    // process ends.
    HRESULT Serve();

private:
    // One viewer's connection.
    struct Viewer {
        HANDLE pipe = nullptr;
        unsigned serial = 0;
        std::shared_ptr<CV77CaptureRingMapping> ring;
        uint32_t stretch = 0;  // stretch requests so far
        bool gone = false;
    };

    HANDLE NewPipeInstance(bool first) const;
    void ServeViewer(Viewer& viewer);
    static std::string RingName(const Viewer& viewer);
    bool Describe(Viewer& viewer);
    void SendStretch(Viewer& viewer, const V77ArchiveProtocol::Request& request);
    // A free slot of the viewer's ring, or -1 when the viewer asked anew or went.
    int WaitForSlot(Viewer& viewer);
    // Whether the viewer has sent another request (or gone) meanwhile.
    bool Interrupted(Viewer& viewer);
    void Publish(Viewer& viewer, int slot, uint32_t index, int64_t time, int64_t duration, uint32_t length,
                 uint32_t flags);

    std::wstring m_Name;
    uint32_t m_uSlots;
    DWORD m_dwFrameDelayMs;
    CV77RecordingStore m_Store;
    CV77RecordingIndex m_Index;
    uint32_t m_uSlotBytes = 0;
    std::mutex m_ReadLock;  // AVIFile streams are read by one viewer at a time
};
