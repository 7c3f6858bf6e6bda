// A transform that works on the sample it receives (Transform(sample)) and
// passes the same sample on. Input and output share one allocator when the
// neighbours allow it; otherwise each sample is copied into an output buffer.
// The media type is the same on both sides.
#pragma once

#include "framework/CTransformFilter.h"

class CTransInPlaceInputPin;
class CTransInPlaceOutputPin;

class CTransInPlaceFilter : public CTransformFilter {
public:
    // modifiesData: whether Transform writes into the buffer (then a
    // read-only upstream allocator forces a copy).
    CTransInPlaceFilter(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid, HRESULT* phr,
                        bool modifiesData = true);

    // Creates both pins on first use ("Input", "Output").
    CBasePin* GetPin(int n) override;

    // The types come from the neighbours; this is never asked.
    HRESULT GetMediaType(int, CMediaType*) override { return E_UNEXPECTED; }
    // Only used when we have to provide our own output allocator.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Input and output types are the same: CheckInputType decides.
    HRESULT CheckTransform(const CMediaType*, const CMediaType*) override { return S_OK; }

    HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;

    using CTransformFilter::Transform;
    virtual HRESULT Transform(IMediaSample* sample) = 0;

protected:
    friend class CTransInPlaceInputPin;
    friend class CTransInPlaceOutputPin;

    // A new output buffer holding a copy of source (data, times, flags); null on failure.
    IMediaSample* Copy(IMediaSample* source);

    CTransInPlaceInputPin* InputPin() const;
    CTransInPlaceOutputPin* OutputPin() const;
    BOOL TypesMatch();
    BOOL UsingDifferentAllocators() const;

    bool m_bModifiesData;
};
