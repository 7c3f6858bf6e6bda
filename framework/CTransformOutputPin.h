// Output pin of a CTransformFilter: offers the filter's output types once the
// input is connected, sizes buffers through the filter, answers seeking by
// passing it to the input's upstream pin, and quality to the filter.
#pragma once

#include "framework/CBaseOutputPin.h"

class CPosPassThru;
class CTransformFilter;

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const TCHAR* objectName, CTransformFilter* filter, HRESULT* phr, LPCWSTR pinName);
    ~CTransformOutputPin() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;

    // IQualityControl: AlterQuality first, else upstream.
    STDMETHODIMP Notify(IBaseFilter* sender, Quality q) override;

protected:
    CTransformFilter* m_pTransformFilter;
    CPosPassThru* m_pPosition;   // created on the first seeking request
};
