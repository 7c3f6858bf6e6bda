#include "companions/components/archive/CV77LocalArchiveReceiver.h"

#include <new>

CUnknown* CV77LocalArchiveReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    if (outer) {
        *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* receiver = new (std::nothrow) CV77LocalArchiveReceiver();
    if (!receiver)
        *phr = E_OUTOFMEMORY;
    return receiver;
}

CV77LocalArchiveReceiver::CV77LocalArchiveReceiver()
    : CV77StoreReceiver(TEXT("V77 local archive receiver"), "V77LocalArchiveReceiver")
{
}
