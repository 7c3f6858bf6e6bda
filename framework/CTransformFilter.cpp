#include "framework/CTransformFilter.h"

#include <new>
#include <cwchar>
#include "framework/CAutoLock.h"
#include "framework/CTransformInputPin.h"
#include "framework/CTransformOutputPin.h"

CTransformFilter::CTransformFilter(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid)
    : CBaseFilter(name, outer, &m_csFilter, clsid),
      m_bEOSDelivered(FALSE),
      m_bSampleSkipped(FALSE),
      m_bQualityChanged(FALSE),
      m_pInput(nullptr),
      m_pOutput(nullptr)
{
}

CTransformFilter::~CTransformFilter()
{
    delete m_pInput;
    delete m_pOutput;
}

int CTransformFilter::GetPinCount()
{
    return 2;
}

CBasePin* CTransformFilter::GetPin(int n)
{
    CAutoLock lock(&m_csFilter);
    if (!m_pInput) {
        HRESULT hr = S_OK;
        m_pInput = new (std::nothrow) CTransformInputPin(TEXT("Transform input pin"), this, &hr, L"XForm In");
        if (!m_pInput)
            return nullptr;
        m_pOutput = new (std::nothrow) CTransformOutputPin(TEXT("Transform output pin"), this, &hr, L"XForm Out");
        if (!m_pOutput || FAILED(hr)) {
            delete m_pInput;
            delete m_pOutput;
            m_pInput = nullptr;
            m_pOutput = nullptr;
            return nullptr;
        }
    }
    if (n == 0)
        return m_pInput;
    if (n == 1)
        return m_pOutput;
    return nullptr;
}

STDMETHODIMP CTransformFilter::FindPin(LPCWSTR id, IPin** ppPin)
{
    if (!id || !ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    for (int i = 0; i < 2; ++i) {
        CBasePin* pin = GetPin(i);
        if (!pin)
            return E_OUTOFMEMORY;
        LPCWSTR pinId = i == 0 ? L"In" : L"Out";
        if (wcscmp(id, pinId) == 0 || (pin->Name() && wcscmp(id, pin->Name()) == 0)) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CTransformFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped)
        return S_OK;
    if (!m_pInput || !m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
        return S_OK;
    }
    // Decommit the input first: an upstream thread blocked in GetBuffer
    // must be released before we wait for Receive.
    m_pInput->Inactive();
    CAutoLock receiveLock(&m_csReceive);
    m_pOutput->Inactive();
    HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
    }
    return hr;
}

STDMETHODIMP CTransformFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    HRESULT hr = S_OK;
    if (m_State == State_Paused) {
        // nothing to do
    } else if (!m_pInput || !m_pInput->IsConnected()) {
        // Without input nothing will ever come: tell downstream at once.
        if (m_pOutput && m_pOutput->IsConnected() && !m_bEOSDelivered) {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = TRUE;
        }
        m_State = State_Paused;
    } else if (!m_pOutput->IsConnected()) {
        m_State = State_Paused;
    } else {
        if (m_State == State_Stopped) {
            CAutoLock receiveLock(&m_csReceive);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr))
            hr = CBaseFilter::Pause();
    }
    m_bSampleSkipped = FALSE;
    m_bQualityChanged = FALSE;
    return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*)
{
    return E_UNEXPECTED;
}

HRESULT CTransformFilter::DeliverOtherStream(IMediaSample* sample)
{
    return m_pOutput->Deliver(sample);
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* sample, IMediaSample** outSample)
{
    *outSample = nullptr;
    AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
    DWORD flags = m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (!(props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT))
        flags |= AM_GBF_NOTASYNCPOINT;
    bool timeValid = (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
    bool stopValid = (props->dwSampleFlags & AM_SAMPLE_STOPVALID) != 0;
    IMediaSample* out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, timeValid ? &props->tStart : nullptr,
                                              stopValid ? &props->tStop : nullptr, flags);
    if (FAILED(hr))
        return hr;

    if (timeValid)
        out->SetTime(&props->tStart, stopValid ? &props->tStop : nullptr);
    out->SetSyncPoint((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0);
    out->SetPreroll((props->dwSampleFlags & AM_SAMPLE_PREROLL) != 0);
    bool discontinuity = (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0;
    out->SetDiscontinuity(discontinuity || m_bSampleSkipped);
    if (discontinuity)
        m_bSampleSkipped = FALSE;
    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaEnd) == S_OK)
        out->SetMediaTime(&mediaStart, &mediaEnd);
    *outSample = out;
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample)
{
    if (m_pInput->SampleProps()->dwStreamId != AM_STREAM_MEDIA)
        return DeliverOtherStream(sample);

    IMediaSample* out = nullptr;
    HRESULT hr = InitializeOutputSample(sample, &out);
    if (FAILED(hr))
        return hr;
    hr = Transform(sample, out);
    if (hr == S_OK) {
        hr = m_pOutput->Deliver(out);
        m_bSampleSkipped = FALSE;
    } else if (hr == S_FALSE) {
        // S_FALSE from Transform means "skip this one", not "stop sending".
        out->Release();
        out = nullptr;
        m_bSampleSkipped = TRUE;
        if (!m_bQualityChanged) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            m_bQualityChanged = TRUE;
        }
        return S_OK;
    }
    out->Release();
    return hr;
}

HRESULT CTransformFilter::EndOfStream()
{
    return m_pOutput ? m_pOutput->DeliverEndOfStream() : S_OK;
}

HRESULT CTransformFilter::BeginFlush()
{
    return m_pOutput ? m_pOutput->DeliverBeginFlush() : S_OK;
}

HRESULT CTransformFilter::EndFlush()
{
    return m_pOutput ? m_pOutput->DeliverEndFlush() : S_OK;
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_pOutput ? m_pOutput->DeliverNewSegment(start, stop, rate) : S_OK;
}
