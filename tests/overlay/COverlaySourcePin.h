// The frame pin of the display suites that also answers IV77ReceiverAuxiliary,
// as a live source's output pin forwards it to its receiver.
#pragma once

#include <wrl/client.h>

#include "tests/display/CTestFramePin.h"
#include "tests/overlay/CTestReceiverAuxiliary.h"

class COverlaySourcePin : public CTestFramePin {
public:
    // auxiliary may be null: the pin then answers E_NOINTERFACE like any other.
    COverlaySourcePin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const CMediaType& mt,
                      IV77ReceiverAuxiliary* auxiliary);

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT SendEndOfStream() { return DeliverEndOfStream(); }

private:
    Microsoft::WRL::ComPtr<IV77ReceiverAuxiliary> m_pAuxiliary;
};
