// Input pin with IMemInputPin: allocator agreement and the streaming checks
// every Receive starts with.
#pragma once

#include "framework/CBasePin.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const TCHAR* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR pinName);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    // IPin
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    // IQualityControl: an input pin passes quality messages to its sink.
    STDMETHODIMP Notify(IBaseFilter* sender, Quality q) override;

    HRESULT BreakConnect() override;
    HRESULT Inactive() override;

    // S_OK when samples may be received now, S_FALSE while flushing, else the reason.
    virtual HRESULT CheckStreaming();
    HRESULT PassNotify(Quality& q);

    BOOL IsReadOnly() const { return m_bReadOnly; }
    BOOL IsFlushing() const { return m_bFlushing; }
    // Properties of the sample being received (valid inside Receive).
    AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }

protected:
    IMemAllocator* m_pAllocator;
    BYTE m_bReadOnly;
    BYTE m_bFlushing;
    AM_SAMPLE2_PROPERTIES m_SampleProps;
};
