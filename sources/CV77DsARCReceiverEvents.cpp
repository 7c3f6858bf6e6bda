#include "sources/CV77DsARCReceiverEvents.h"

#include "v77/V77Guids.h"

CV77DsARCReceiverEvents::CV77DsARCReceiverEvents(const TCHAR* name, LPUNKNOWN outer) : CUnknown(name, outer) {}

STDMETHODIMP CV77DsARCReceiverEvents::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77ARCReceiverEvents)
        return GetInterface(static_cast<IV77ARCReceiverEvents*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}
