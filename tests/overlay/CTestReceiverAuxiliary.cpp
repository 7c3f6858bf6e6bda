#include "tests/overlay/CTestReceiverAuxiliary.h"

STDMETHODIMP CTestReceiverAuxiliary::GetOverlayConfiguration(long zero, BSTR* xml)
{
    ++calls;
    lastZero = zero;
    if (!xml)
        return E_POINTER;
    *xml = nullptr;
    if (FAILED(m_Result))
        return m_Result;
    return CV77ZoneAuxiliary::GetOverlayConfiguration(zero, xml);
}
