// The named objects of one local capture ring, as the capture tool and the
// local receivers open them. For a ring called NAME:
//   Local\V77Capture.NAME            the shared memory (CV77CaptureRing layout)
//   Local\V77Capture.NAME.Frame      auto-reset event, set by the producer
//                                    after each published frame
//   Local\V77Capture.NAME.Returned   auto-reset event, set by the viewer after
//                                    each lease it returns
// The memory lives while any process has it mapped, so a viewer keeps the
// frames it leased even when the capture process dies, and a restarted
// capture process finds the ring again and takes it over.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "companions/components/ring/CV77CaptureRing.h"

class CV77CaptureRingMapping {
public:
    static constexpr size_t kMaxNameLength = 64;

    // Capture process: creates the ring, or opens one left by a capture
    // process that is gone and has the same format and size (then
    // alreadyExisted). HRESULT_FROM_WIN32(ERROR_BUSY) when a live process
    // fills it; ERROR_BAD_FORMAT when it has another format.
    static HRESULT Create(const std::wstring& name, const V77CaptureFormat& format, uint32_t slotCount,
                          uint32_t slotBytes, std::shared_ptr<CV77CaptureRingMapping>* mapping,
                          bool* alreadyExisted);
    // Viewer: opens an existing ring. ERROR_FILE_NOT_FOUND when there is
    // none; ERROR_BAD_FORMAT when the block is not a complete ring.
    static HRESULT Open(const std::wstring& name, std::shared_ptr<CV77CaptureRingMapping>* mapping);
    // Whether name may name a ring (letters, digits, '-', '_', '.').
    static bool IsValidName(const std::wstring& name);
    static bool IsProcessAlive(DWORD pid);

    ~CV77CaptureRingMapping();
    CV77CaptureRingMapping(const CV77CaptureRingMapping&) = delete;
    CV77CaptureRingMapping& operator=(const CV77CaptureRingMapping&) = delete;

    CV77CaptureRing& Ring() { return m_Ring; }
    HANDLE FrameEvent() const { return m_hFrame; }
    HANDLE ReturnedEvent() const { return m_hReturned; }

private:
    CV77CaptureRingMapping(HANDLE section, void* view, size_t size);
    static HRESULT Map(HANDLE section, const std::wstring& name, std::shared_ptr<CV77CaptureRingMapping>* mapping);
    static std::wstring ObjectName(const std::wstring& name, const wchar_t* suffix);

    HANDLE m_hSection;
    void* m_pView;
    CV77CaptureRing m_Ring;
    HANDLE m_hFrame = nullptr;
    HANDLE m_hReturned = nullptr;
};
