#include "framework/CBaseInputPin.h"

#include <new>
#include "framework/CAutoLock.h"
#include "framework/CBaseFilter.h"
#include "framework/CMemAllocator.h"

CBaseInputPin::CBaseInputPin(const TCHAR* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                             LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, phr, pinName, PINDIR_INPUT),
      m_pAllocator(nullptr),
      m_bReadOnly(FALSE),
      m_bFlushing(FALSE),
      m_SampleProps()
{
}

CBaseInputPin::~CBaseInputPin()
{
    if (m_pAllocator) {
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMemInputPin)
        return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        HRESULT hr = S_OK;
        auto* created = new (std::nothrow) CMemAllocator(TEXT("Input allocator"), nullptr, &hr);
        if (!created)
            return E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete created;
            return hr;
        }
        created->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&m_pAllocator));
    }
    *allocator = m_pAllocator;
    m_pAllocator->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    allocator->AddRef();
    if (m_pAllocator)
        m_pAllocator->Release();
    m_pAllocator = allocator;
    m_bReadOnly = static_cast<BYTE>(readOnly ? TRUE : FALSE);
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming()
{
    if (IsStopped())
        return VFW_E_WRONG_STATE;
    if (m_bFlushing)
        return S_FALSE;
    if (m_bRunTimeError)
        return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;

    // Read the sample's properties once, through IMediaSample2 when it has it.
    IMediaSample2* sample2 = nullptr;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)))) {
        hr = sample2->GetProperties(sizeof(m_SampleProps), reinterpret_cast<BYTE*>(&m_SampleProps));
        sample2->Release();
        if (FAILED(hr))
            return hr;
    } else {
        m_SampleProps = AM_SAMPLE2_PROPERTIES();
        m_SampleProps.cbData = sizeof(m_SampleProps);
        hr = sample->GetTime(&m_SampleProps.tStart, &m_SampleProps.tStop);
        if (SUCCEEDED(hr)) {
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_TIMEVALID;
            if (hr == S_OK)
                m_SampleProps.dwSampleFlags |= AM_SAMPLE_STOPVALID;
        }
        if (sample->GetMediaType(&m_SampleProps.pMediaType) == S_OK)
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
        sample->GetPointer(&m_SampleProps.pbBuffer);
        m_SampleProps.lActual = sample->GetActualDataLength();
        m_SampleProps.cbBuffer = sample->GetSize();
        if (sample->IsDiscontinuity() == S_OK)
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        if (sample->IsPreroll() == S_OK)
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_PREROLL;
        if (sample->IsSyncPoint() == S_OK)
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
    }

    // A sample that changes the type must carry one we accept.
    if (m_SampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) {
        CMediaType changed(*m_SampleProps.pMediaType);
        bool accepted = CheckMediaType(&changed) == S_OK;
        if (!sample2) {
            DeleteMediaType(m_SampleProps.pMediaType);
            m_SampleProps.pMediaType = nullptr;
        }
        if (!accepted) {
            m_bRunTimeError = true;
            EndOfStream();
            m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
            return VFW_E_INVALIDMEDIATYPE;
        }
    } else if (!sample2 && m_SampleProps.pMediaType) {
        DeleteMediaType(m_SampleProps.pMediaType);
        m_SampleProps.pMediaType = nullptr;
    }
    return S_OK;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed)
{
    if (!samples || !processed)
        return E_POINTER;
    HRESULT hr = S_OK;
    *processed = 0;
    while (count-- > 0) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK)
            break;
        ++*processed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock()
{
    // We block if any connected output of our filter delivers to a pin that can.
    int pins = m_pFilter->GetPinCount();
    int outputs = 0;
    for (int i = 0; i < pins; ++i) {
        CBasePin* pin = m_pFilter->GetPin(i);
        PIN_DIRECTION direction;
        if (!pin || FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
            continue;
        IPin* peer = pin->GetConnected();
        ++outputs;
        if (!peer)
            continue;
        IMemInputPin* input = nullptr;
        if (FAILED(peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input))))
            return S_OK;
        HRESULT hr = input->ReceiveCanBlock();
        input->Release();
        if (hr != S_FALSE)
            return S_OK;
    }
    return outputs == 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseInputPin::BeginFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = TRUE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = FALSE;
    m_bRunTimeError = false;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Notify(IBaseFilter*, Quality)
{
    // Quality messages travel upstream from output pins, not input pins.
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::PassNotify(Quality& q)
{
    if (m_pQSink)
        return m_pQSink->Notify(m_pFilter, q);
    if (!m_Connected)
        return VFW_E_NOT_FOUND;
    IQualityControl* upstream = nullptr;
    HRESULT hr = m_Connected->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&upstream));
    if (FAILED(hr))
        return VFW_E_NOT_FOUND;
    hr = upstream->Notify(m_pFilter, q);
    upstream->Release();
    return hr;
}

HRESULT CBaseInputPin::BreakConnect()
{
    if (m_pAllocator) {
        // The connection's allocator goes with the connection.
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive()
{
    m_bRunTimeError = false;
    m_bFlushing = FALSE;
    // Decommitting releases an upstream thread waiting in GetBuffer.
    return m_pAllocator ? m_pAllocator->Decommit() : S_OK;
}
