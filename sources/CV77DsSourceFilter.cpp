#include "sources/CV77DsSourceFilter.h"

#include <cstring>
#include <new>
#include <uuids.h>
#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "sources/CV77DsSecondaryOutput.h"
#include "sources/CV77DsSourceOutput.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

namespace {

constexpr LONGLONG kDisplayInterval = 1000000;  // 0.1 s between 0x8001 events

BSTR CopyString(BSTR s)
{
    return s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
}

bool SameRecord(const SOURCE_INFORMATION& a, const SOURCE_INFORMATION& b)
{
    return std::memcmp(&a, &b, sizeof(SOURCE_INFORMATION)) == 0;
}

}  // namespace

CV77DsSourceFilter::CV77DsSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT*, REFCLSID clsid)
    : CBaseFilter(name, outer, &m_FilterLock, clsid),
      m_pOutput(nullptr),
      m_pSecondary(nullptr),
      m_pReceiver(nullptr),
      m_bstrSource1(nullptr),
      m_bstrSource2(nullptr),
      m_SourceInformation{},
      m_dwOpenValue(0),
      m_wOpenWord(0),
      m_dwOutputMask(3),
      m_wStreamParameter(0),
      m_dwLastStatus(0),
      m_bIsAudio(false),
      m_tMediaBase(0),
      m_bUseOwnAllocator(true)
{
    m_MinInterval = kDisplayInterval;
}

CV77DsSourceFilter::~CV77DsSourceFilter()
{
    if (m_pReceiver) {
        m_pReceiver->Close();
        m_pReceiver->Release();
    }
    SysFreeString(m_bstrSource1);
    SysFreeString(m_bstrSource2);
    delete m_pSecondary.load();
    delete m_pOutput;
}

void CV77DsSourceFilter::CreateReceiver(REFCLSID clsid, HRESULT* phr)
{
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IV77LiveReceiver,
                                  reinterpret_cast<void**>(&m_pReceiver));
    if (FAILED(hr)) {
        m_pReceiver = nullptr;
        *phr = hr;
    }
}

STDMETHODIMP CV77DsSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77DsNetworkSource || riid == IID_IV77DsSourceBase)
        return GetInterface(static_cast<IV77DsNetworkSource*>(this), ppv);
    if (riid == IID_IV77SamplePool) {
        *ppv = nullptr;
        return m_pOutput ? m_pOutput->NonDelegatingQueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsSourceFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    return CBaseFilter::NotifyEvent(code, param1, param2);
}

// ---- pins and state ----

int CV77DsSourceFilter::GetPinCount()
{
    return 2;
}

CBasePin* CV77DsSourceFilter::GetPin(int n)
{
    CAutoLock lock(&m_FilterLock);
    if (n == 0)
        return m_pOutput;
    if (n != 1)
        return nullptr;
    if (!m_pSecondary.load()) {
        HRESULT hr = S_OK;
        m_pSecondary = new (std::nothrow) CV77DsSecondaryOutput(this, &hr);
        IncrementPinVersion();
    }
    return m_pSecondary.load();
}

STDMETHODIMP CV77DsSourceFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_State;
    return m_State == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CV77DsSourceFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_FilterLock);
    HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr))
        return hr;
    m_tMediaBase = 0;
    return m_pReceiver ? m_pReceiver->SetStreaming(0xFFFFFFFF, m_wStreamParameter.load()) : hr;
}

STDMETHODIMP CV77DsSourceFilter::Pause()
{
    CAutoLock lock(&m_FilterLock);
    if (!m_pReceiver || m_pReceiver->IsOpen() != S_OK) {
        HRESULT hr = ReconnectLocked();
        if (FAILED(hr) && hr != VFW_E_WRONG_STATE)
            return hr;
    }
    FlushDisplayTime();
    return CBaseFilter::Pause();
}

STDMETHODIMP CV77DsSourceFilter::Stop()
{
    CAutoLock lock(&m_FilterLock);
    // Decommitting first wakes a receiver thread that waits in GetBuffer for
    // a sample downstream still holds; otherwise stopping it could wait forever.
    DecommitOutputs();
    if (m_pReceiver) {
        m_pReceiver->SetStreaming(0, 0);
        m_pReceiver->Close();
    }
    FlushDisplayTime();
    return CBaseFilter::Stop();
}

void CV77DsSourceFilter::DecommitOutputs()
{
    if (m_State == State_Stopped)
        return;
    CBaseOutputPin* pins[] = {m_pOutput, m_pSecondary.load()};
    for (CBaseOutputPin* pin : pins) {
        if (pin && pin->IsConnected() && pin->Allocator())
            pin->Allocator()->Decommit();
    }
}

// ---- IV77DsSourceBase ----

STDMETHODIMP CV77DsSourceFilter::GetMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    CAutoLock lock(&m_FilterLock);
    return CopyMediaType(pmt, &m_MediaType);
}

STDMETHODIMP CV77DsSourceFilter::GetSourceInformation(SOURCE_INFORMATION* info)
{
    if (!info)
        return E_POINTER;
    CAutoLock lock(&m_FilterLock);
    *info = m_SourceInformation;
    return S_OK;
}

// ---- IV77DsNetworkSource ----

STDMETHODIMP CV77DsSourceFilter::Open(BSTR source1, BSTR source2, WORD streamParameter, DWORD openValue,
                                      WORD openWord, SOURCE_INFORMATION* info)
{
    CAutoLock lock(&m_FilterLock);
    if (m_State != State_Stopped)
        return VFW_E_WRONG_STATE;
    if (!m_pReceiver)
        return E_UNEXPECTED;
    SysFreeString(m_bstrSource1);
    SysFreeString(m_bstrSource2);
    m_bstrSource1 = CopyString(source1);
    m_bstrSource2 = CopyString(source2);
    m_wStreamParameter = streamParameter;
    m_dwOpenValue = openValue;
    m_wOpenWord = openWord;

    HRESULT hr = m_pReceiver->Open(m_bstrSource1, m_bstrSource2, m_dwOpenValue, m_wOpenWord, Events());
    const bool fromReceiver = SUCCEEDED(hr);
    if (fromReceiver) {
        SOURCE_INFORMATION record = {};
        HRESULT step = m_pReceiver->GetSourceInformation(&record);
        if (FAILED(step))
            return step;
        AM_MEDIA_TYPE mt = {};
        step = m_pReceiver->GetMediaType(&mt);
        if (FAILED(step))
            return step;
        m_SourceInformation = record;
        m_MediaType = mt;
        FreeMediaType(mt);
    } else {
        if (!info || info->Width == 0)
            return hr;
        m_SourceInformation = *info;
        m_MediaType = GetMediaTypeFromSourceInformation(m_SourceInformation);
    }
    m_bIsAudio = *m_MediaType.Type() == MEDIATYPE_Audio;
    if (fromReceiver && info)
        *info = m_SourceInformation;
    return fromReceiver ? S_OK : S_FALSE;
}

STDMETHODIMP CV77DsSourceFilter::GetBitRate(double* bitsPerSecond)
{
    if (!bitsPerSecond)
        return E_POINTER;
    REFERENCE_TIME perFrame = 0;
    {
        CAutoLock lock(&m_FilterLock);
        const REFERENCE_TIME* field = GetAvgTimePerFrameFromMediaType(m_MediaType);
        perFrame = field ? *field : 0;
    }
    if (perFrame == 0 || !m_pReceiver)
        return E_FAIL;
    double bytes = 0.0;
    HRESULT hr = m_pReceiver->GetAverageFrameSize(&bytes);
    *bitsPerSecond = (10000000.0 / static_cast<double>(perFrame)) * bytes * 8.0;
    return hr;
}

STDMETHODIMP CV77DsSourceFilter::SetStreamParameter(WORD value)
{
    m_wStreamParameter = value;
    return m_pReceiver ? m_pReceiver->SetStreamParameter(value) : E_UNEXPECTED;
}

STDMETHODIMP CV77DsSourceFilter::SetUseOwnAllocator(BOOL own)
{
    m_bUseOwnAllocator = own != FALSE;
    return S_OK;
}

STDMETHODIMP CV77DsSourceFilter::Reconnect()
{
    CAutoLock lock(&m_FilterLock);
    return ReconnectLocked();
}

HRESULT CV77DsSourceFilter::ReconnectLocked()
{
    if (m_State == State_Running)
        return VFW_E_WRONG_STATE;
    if (!m_pReceiver)
        return E_UNEXPECTED;
    HRESULT hr = m_pReceiver->Close();
    if (FAILED(hr))
        return hr;
    hr = m_pReceiver->Open(m_bstrSource1, m_bstrSource2, m_dwOpenValue, m_wOpenWord, Events());
    if (FAILED(hr))
        return hr;
    SOURCE_INFORMATION now = {};
    hr = m_pReceiver->GetSourceInformation(&now);
    if (FAILED(hr))
        return hr;
    return SameRecord(now, m_SourceInformation) ? S_OK : V77_E_STREAM_CHANGED;
}

STDMETHODIMP CV77DsSourceFilter::EnableOutput(int index, BOOL enable)
{
    const DWORD bit = 1u << (index & 31);
    if (enable)
        m_dwOutputMask.fetch_or(bit);
    else
        m_dwOutputMask.fetch_and(~bit);
    return S_OK;
}

STDMETHODIMP CV77DsSourceFilter::SetTimeParameter(double seconds)
{
    if (!m_pReceiver)
        return E_UNEXPECTED;
    return m_pReceiver->SetTimeParameter(static_cast<REFERENCE_TIME>(seconds * 10000000.0));
}

STDMETHODIMP CV77DsSourceFilter::EnableDisplayNotification(BOOL on)
{
    m_bEnabled = on != FALSE;
    return S_OK;
}

// ---- IV77RTPReceiverEvents ----

HRESULT CV77DsSourceFilter::PrimaryDeliveryBuffer(IMediaSample** sample)
{
    if (!sample)
        return E_POINTER;
    if (!m_pOutput || !m_pOutput->Allocator())
        return E_NOINTERFACE;
    return m_pOutput->GetDeliveryBuffer(sample, nullptr, nullptr, 0);
}

HRESULT CV77DsSourceFilter::DeliverOn(CV77DsSourceOutput* pin, DWORD bit, IMediaSample* sample, HRESULT* result)
{
    if (!pin || !pin->IsConnected() || !(m_dwOutputMask.load() & bit))
        return S_FALSE;
    *result = pin->Deliver(sample);
    return S_OK;
}

STDMETHODIMP CV77DsSourceFilter::OnSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    DWORD status = 0;
    IMediaSample2* sample2 = nullptr;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)))) {
        AM_SAMPLE2_PROPERTIES props = {};
        if (SUCCEEDED(sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)))) {
            if (props.dwTypeSpecificFlags & kMarkerFlag) {
                sample2->Release();
                m_dwLastStatus = 0;
                NotifyEvent(EC_V77_MARKER, 0, 0);
                return S_OK;
            }
            status = props.dwTypeSpecificFlags & kStatusMask;
        }
        sample2->Release();
    }

    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    sample->GetMediaTime(&mediaStart, &mediaStop);
    LONGLONG expected = 0;
    m_tMediaBase.compare_exchange_strong(expected, mediaStart);
    REFERENCE_TIME start = mediaStart;
    REFERENCE_TIME stop = mediaStop;
    if (m_bIsAudio) {
        const LONGLONG base = m_tMediaBase.load();
        start -= base;
        stop -= base;
    }
    HRESULT result = sample->SetTime(&start, &stop);

    DeliverOn(m_pOutput, 1, sample, &result);
    DeliverOn(m_pSecondary.load(), 2, sample, &result);

    UpdateDisplayTime(mediaStart);
    if (m_dwLastStatus.exchange(status) != status)
        NotifyEvent(EC_V77_STATUS_CHANGED, static_cast<LONG_PTR>(status), 0);
    return result;
}

STDMETHODIMP CV77DsSourceFilter::OnStreamEventA()
{
    m_dwLastStatus = 0;
    NotifyEvent(EC_V77_STREAM_EVENT_1, 0, 0);
    return S_OK;
}

STDMETHODIMP CV77DsSourceFilter::OnStreamEventB()
{
    m_dwLastStatus = 0;
    NotifyEvent(EC_V77_STREAM_EVENT_2, 0, 0);
    return S_OK;
}
