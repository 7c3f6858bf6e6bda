// The context a local receiver attaches to each sample it hands out: a lease
// on the ring slot the frame came from. The slot goes back to the capture
// process when the sample comes back to its allocator and releases this
// object. The lease keeps the ring mapped, so it may outlive the receiver.
#pragma once

#include <windows.h>

#include <memory>

#include "companions/components/local/CV77CaptureRingMapping.h"
#include "framework/CUnknown.h"

class CV77RingLease : public CUnknown, public IUnknown {
public:
    // Takes over the lease; returns null (the lease given back) when out of memory.
    static CV77RingLease* Create(std::shared_ptr<CV77CaptureRingMapping> mapping, const V77CaptureLease& lease);

    DECLARE_IUNKNOWN

    const V77CaptureLease& Lease() const { return m_Lease; }
    // Whether somebody besides the receiver holds the lease: a sample it
    // rides on. Only then may the sample carry the slot's memory itself.
    bool IsHeldElsewhere() const { return m_cRef > 1; }

private:
    CV77RingLease(std::shared_ptr<CV77CaptureRingMapping> mapping, const V77CaptureLease& lease);
    ~CV77RingLease() override;
    static void GiveBack(CV77CaptureRingMapping& mapping, const V77CaptureLease& lease);

    std::shared_ptr<CV77CaptureRingMapping> m_Mapping;
    V77CaptureLease m_Lease;
};
