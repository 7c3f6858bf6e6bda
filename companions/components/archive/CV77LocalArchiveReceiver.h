// Archive receiver of the archive local source: Open(source1 = NAME, source2
// unused) connects to the local capture process serving a recording store
// under NAME (V77Capture.exe --name NAME --store FOLDER; archive protocol in
// V77CaptureArchive.h) and maps the ring it makes for this receiver. Each
// stretch the buffer asks for is asked of the capture process; its frames
// arrive in the ring and each sample carries the lease on its frame's slot
// as its context (CV77RingLease), so the slot goes back to the capture
// process when the sample returns to its allocator. Samples the buffer keeps
// queued keep their slots: once half the ring is held so, frames are copied
// and their slots given back at once, so a ring smaller than the source's
// pool slows nothing down and never leaves the capture process without room.
//
// Open waits up to kAttachWaitMs for the capture process to offer its pipe
// (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) without one). Every wait on the
// capture process is cut short within kSliceMs when the receiver closes or
// the filter the source feeds stops, and bounded by kStallMs. A capture
// process that dies (its process handle), closes the pipe or stays silent
// fails the stretch with ERROR_BROKEN_PIPE or ERROR_TIMEOUT and a log line
// (the source raises 0x8005 with it); the next stretch connects again. A
// frame it could not read fails the stretch with ERROR_READ_FAULT.
//
// source1 holding a path (a '\', '/' or ':', which a name cannot) is a store
// folder read in this process, as the store receiver does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "companions/components/archive/CV77CaptureArchiveChannel.h"
#include "companions/components/archive/CV77StoreReceiver.h"
#include "companions/components/local/CV77CaptureRingMapping.h"

class CV77LocalArchiveReceiver : public CV77StoreReceiver {
public:
    static constexpr DWORD kAttachWaitMs = 3000;
    // Connecting again: the pipe may be between two viewers' connections.
    static constexpr DWORD kReattachWaitMs = 300;
    static constexpr DWORD kStallMs = 3000;
    static constexpr DWORD kSliceMs = 50;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

protected:
    HRESULT OpenRecording(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
    void CloseRecording() override;
    bool Playable() const override { return m_bCapture ? m_uFrames > 0 : CV77StoreReceiver::Playable(); }
    HRESULT BeginStretch(REFERENCE_TIME position, DWORD type, size_t maxFrames, V77Stretch* stretch) override;
    HRESULT TakeFrameContext(const V77Stretch& stretch, size_t i, IUnknown** context, bool* attach) override;
    HRESULT ReadStretchFrame(const V77Stretch& stretch, size_t i, BYTE* data, LONG capacity,
                             StretchFrame* frame) override;

private:
    CV77LocalArchiveReceiver();
    ~CV77LocalArchiveReceiver() override { StopThread(); }

    // Connects, asks for the description and maps this receiver's ring; the
    // first time describes the stream, later the description must not change.
    HRESULT Attach(DWORD waitMs, SOURCE_INFORMATION* info, CMediaType* mt);
    void Detach();
    // Logs why the capture process failed us and drops the connection.
    HRESULT Lost(HRESULT hr, const char* what);
    // The next slot of the current stretch, leased: S_OK, S_FALSE when
    // reading was given up, or the failure. Slots of earlier stretches go back.
    HRESULT NextSlot(V77CaptureLease* lease);
    void GiveBack(const V77CaptureLease& lease);

    bool m_bCapture = false;
    std::wstring m_Name;
    CV77CaptureArchiveChannel m_Channel;          // reading thread, or Open without one
    std::shared_ptr<CV77CaptureRingMapping> m_Mapping;
    HANDLE m_hProducer = nullptr;                 // the capture process
    DWORD m_dwProducerPid = 0;
    std::vector<uint8_t> m_Format;                // as described at Open
    uint32_t m_uFrames = 0;
    uint32_t m_uStretch = 0;                      // stretch requests on this connection
    V77CaptureLease m_Lease;                      // of the frame TakeFrameContext took
};
