// Live receiver of the local capture process (tools/V77Capture): maps the
// process's shared frame ring and hands out each frame in a sample whose
// context is a lease on the frame's ring slot (CV77RingLease), so the slot
// is not refilled before the sample comes back. The sample's data is the
// slot itself (lent to its pool item): no frame byte is copied between the
// capture process and the renderer, whatever the frame's size.
//
// Open(source1 = the ring's name, source2 = zone file or empty) waits up to
// kAttachWaitMs for the capture process to publish its ring, then describes
// the stream from the ring's header; without a ring it fails with
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
//
// The capture process may come and go while the receiver is open: when it
// dies (its process handle is signalled) or stays silent for kSilenceMs the
// stream ends with stream event B; when a capture process takes the ring
// over again, frames flow again after stream event A. Frames published while
// the graph was not running are skipped, and a gap in the frame numbers marks
// the next frame a discontinuity.
#pragma once

#include <windows.h>

#include <memory>

#include "companions/components/local/CV77CaptureRingMapping.h"
#include "companions/components/live/CV77LiveReceiver.h"

class CV77LocalReceiver : public CV77LiveReceiver {
public:
    static constexpr DWORD kAttachWaitMs = 3000;
    static constexpr DWORD kSilenceMs = 2000;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

protected:
    HRESULT OpenStream(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
    void Stream() override;
    void Wake() override { SetEvent(m_hStop); }
    void CloseStream() override;

private:
    explicit CV77LocalReceiver(HRESULT* phr);
    ~CV77LocalReceiver() override;
    // Follows the ring to a new capture process, and notices one that is gone.
    void WatchProducer();
    void ProducerGone(const char* why);
    // Returns every published frame unread (stale after a pause).
    void SkipPublished();
    void DeliverLeased(const V77CaptureLease& lease);
    // Puts the leased frame into the sample: the slot's own memory when the
    // sample is a pool item that holds the lease, else a copy. The bytes
    // written, or -1 when the frame does not fit.
    LONG Fill(IMediaSample* sample, const class CV77RingLease& context);

    HANDLE m_hStop;                       // manual reset: Wake
    std::shared_ptr<CV77CaptureRingMapping> m_Mapping;
    HANDLE m_hProducer = nullptr;         // the capture process, while it lives
    DWORD m_dwProducerPid = 0;
    uint32_t m_uEpoch = 0;
    bool m_bWatching = false;             // m_uEpoch and m_dwProducerPid are known
    bool m_bProducerGone = false;
    bool m_bHaveSequence = false;
    uint64_t m_uNextSequence = 0;
    DWORD m_dwLastFrameTick = 0;
    REFERENCE_TIME m_tFrame = 0;
};
