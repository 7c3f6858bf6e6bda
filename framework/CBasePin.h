// IPin and IQualityControl: connection (type negotiation with the peer),
// flushing, end of stream and segments; the state of the owning filter.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <evcode.h>
#include <vfwmsgs.h>
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"
#include "framework/CUnknown.h"

class CBaseFilter;

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    CBasePin(const TCHAR* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR pinName,
             PIN_DIRECTION direction);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // Pins live as long as their filter: the filter's count stands for both.
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override = 0;
    STDMETHODIMP EndFlush() override = 0;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IQualityControl
    STDMETHODIMP Notify(IBaseFilter* sender, Quality q) override;
    STDMETHODIMP SetSink(IQualityControl* sink) override;

    // Connection hooks for derived pins.
    virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
    virtual HRESULT GetMediaType(int position, CMediaType* mt);
    virtual HRESULT SetMediaType(const CMediaType* mt);
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* receivePin);

    // State changes of the owning filter.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

    BOOL IsConnected() const { return m_Connected != nullptr; }
    BOOL IsStopped() const;
    IPin* GetConnected() const { return m_Connected; }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    const WCHAR* Name() const { return m_pName; }
    CBaseFilter* Filter() const { return m_pFilter; }

    // Incremented when the preferred types change, so type enumerators resynchronise.
    virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
    void IncrementTypeVersion() { InterlockedIncrement(&m_TypeVersion); }

    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    double CurrentRate() const { return m_dRate; }

protected:
    HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* mt);
    HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mt);
    HRESULT DisconnectInternal();

    WCHAR* m_pName;
    IPin* m_Connected;
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    bool m_bRunTimeError;
    bool m_bCanReconnectWhenActive;
    bool m_bTryMyTypesFirst;
    CBaseFilter* m_pFilter;
    IQualityControl* m_pQSink;     // not reference counted, as IQualityControl::SetSink documents
    volatile LONG m_TypeVersion;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart;
    REFERENCE_TIME m_tStop;
    double m_dRate;
};
