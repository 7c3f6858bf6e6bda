#include "companions/components/local/CV77RingLease.h"

#include <new>

CV77RingLease* CV77RingLease::Create(std::shared_ptr<CV77CaptureRingMapping> mapping, const V77CaptureLease& lease)
{
    auto* object = new (std::nothrow) CV77RingLease(mapping, lease);
    if (!object) {
        GiveBack(*mapping, lease);
        return nullptr;
    }
    object->NonDelegatingAddRef();
    return object;
}

CV77RingLease::CV77RingLease(std::shared_ptr<CV77CaptureRingMapping> mapping, const V77CaptureLease& lease)
    : CUnknown(TEXT("V77 ring lease"), nullptr), m_Mapping(std::move(mapping)), m_Lease(lease)
{
}

CV77RingLease::~CV77RingLease()
{
    GiveBack(*m_Mapping, m_Lease);
}

void CV77RingLease::GiveBack(CV77CaptureRingMapping& mapping, const V77CaptureLease& lease)
{
    // A stale lease (the ring was taken over meanwhile) changes nothing.
    if (mapping.Ring().Return(lease))
        SetEvent(mapping.ReturnedEvent());
}
