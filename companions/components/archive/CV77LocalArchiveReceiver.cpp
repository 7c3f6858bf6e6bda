#include "companions/components/archive/CV77LocalArchiveReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <new>

CUnknown* CV77LocalArchiveReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [] { return new (std::nothrow) CV77LocalArchiveReceiver(); });
}

CV77LocalArchiveReceiver::CV77LocalArchiveReceiver()
    : CV77StoreReceiver(TEXT("V77 local archive receiver"), "V77LocalArchiveReceiver")
{
}
