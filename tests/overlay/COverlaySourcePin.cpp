#include "tests/overlay/COverlaySourcePin.h"

COverlaySourcePin::COverlaySourcePin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const CMediaType& mt,
                                     IV77ReceiverAuxiliary* auxiliary)
    : CTestFramePin(filter, lock, phr, mt), m_pAuxiliary(auxiliary)
{
}

STDMETHODIMP COverlaySourcePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77ReceiverAuxiliary && m_pAuxiliary)
        return m_pAuxiliary->QueryInterface(riid, ppv);
    return CTestFramePin::NonDelegatingQueryInterface(riid, ppv);
}
