#include "sources/CV77DsARCSourceFilterBase.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <vector>
#include <wrl/client.h>

#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "sources/CV77DsARCSourceOutput.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// Filters looked through downstream when the capture graph builder cannot help.
constexpr int kMaxDownstreamFilters = 32;

BSTR CopyString(BSTR text)
{
    return text ? SysAllocStringLen(text, SysStringLen(text)) : nullptr;
}

}  // namespace

CV77DsARCSourceFilterBase::CV77DsARCSourceFilterBase(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, REFCLSID clsid)
    : CBaseFilter(name, outer, &m_FilterLock, clsid, phr)
{
}

CV77DsARCSourceFilterBase::~CV77DsARCSourceFilterBase()
{
    // The receiver's thread calls the pin until the receiver is gone.
    if (m_pReceiver)
        m_pReceiver->Release();
    if (m_pAuxiliary)
        m_pAuxiliary->Release();
    SysFreeString(m_bstrSource1);
    SysFreeString(m_bstrSource2);
    delete m_pOutput;
    if (m_pBufferNotify)
        m_pBufferNotify->Release();
}

HRESULT CV77DsARCSourceFilterBase::CreateReceiver(REFCLSID clsid)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IV77ArchiveReceiver,
                            reinterpret_cast<void**>(&m_pReceiver));
}

void CV77DsARCSourceFilterBase::CreateAuxiliary(REFCLSID clsid, HRESULT* phr)
{
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IV77ReceiverAuxiliary,
                                        reinterpret_cast<void**>(&m_pAuxiliary));
    if (FAILED(hr)) {
        m_pAuxiliary = nullptr;
        *phr = hr;
    }
}

STDMETHODIMP CV77DsARCSourceFilterBase::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77DsARCSource || riid == IID_IV77DsSourceBase)
        return GetInterface(static_cast<IV77DsARCSource*>(this), ppv);
    if (riid == IID_IV77TcpReceiver)
        return GetInterface(static_cast<IV77TcpReceiver*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CV77DsARCSourceFilterBase::GetPin(int n)
{
    return n == 0 ? static_cast<CBasePin*>(m_pOutput) : nullptr;
}

STDMETHODIMP CV77DsARCSourceFilterBase::GetState(DWORD timeoutMs, FILTER_STATE* state)
{
    const HRESULT hr = CBaseFilter::GetState(timeoutMs, state);
    if (FAILED(hr))
        return hr;
    // Nothing is cued while paused: frames come when the buffer asks for them.
    return *state == State_Paused ? VFW_S_CANT_CUE : hr;
}

STDMETHODIMP CV77DsARCSourceFilterBase::Pause()
{
    CAutoLock lock(&m_FilterLock);
    if (m_State == State_Stopped)
        FindBufferNotify();
    if (m_pReceiver) {
        const HRESULT hr = m_pReceiver->Prepare();
        if (FAILED(hr))
            return hr;
    }
    return CBaseFilter::Pause();
}

STDMETHODIMP CV77DsARCSourceFilterBase::Stop()
{
    CAutoLock lock(&m_FilterLock);
    const HRESULT hr = CBaseFilter::Stop();
    if (FAILED(hr))
        return hr;
    return m_pReceiver ? m_pReceiver->Stop() : hr;
}

void CV77DsARCSourceFilterBase::FindBufferNotify()
{
    if (m_pBufferNotify) {
        m_pBufferNotify->Release();
        m_pBufferNotify = nullptr;
    }
    if (!m_pGraph)
        return;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IGraphBuilder> graph;
    if (SUCCEEDED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(builder.GetAddressOf()))) &&
        SUCCEEDED(m_pGraph->QueryInterface(IID_IGraphBuilder, reinterpret_cast<void**>(graph.GetAddressOf()))) &&
        SUCCEEDED(builder->SetFiltergraph(graph.Get()))) {
        IV77DsBufferNotify* found = nullptr;
        if (SUCCEEDED(builder->FindInterface(&LOOK_DOWNSTREAM_ONLY, nullptr, static_cast<IBaseFilter*>(this),
                                             IID_IV77DsBufferNotify, reinterpret_cast<void**>(&found))) &&
            found) {
            m_pBufferNotify = found;
            return;
        }
    }
    // Wine's capture graph builder does not search downstream: walk the
    // connections ourselves, nearest filter first.
    ComPtr<IPin> pin;
    std::vector<ComPtr<IBaseFilter>> queue;
    if (SUCCEEDED(m_pOutput->ConnectedTo(pin.GetAddressOf()))) {
        PIN_INFO info = {};
        if (SUCCEEDED(pin->QueryPinInfo(&info)) && info.pFilter) {
            queue.emplace_back(info.pFilter);
            info.pFilter->Release();
        }
    }
    for (size_t i = 0; i < queue.size() && static_cast<int>(i) < kMaxDownstreamFilters; ++i) {
        IV77DsBufferNotify* found = nullptr;
        if (SUCCEEDED(queue[i]->QueryInterface(IID_IV77DsBufferNotify, reinterpret_cast<void**>(&found))) && found) {
            m_pBufferNotify = found;
            return;
        }
        ComPtr<IEnumPins> pins;
        if (FAILED(queue[i]->EnumPins(pins.GetAddressOf())))
            continue;
        ComPtr<IPin> candidate;
        while (pins->Next(1, candidate.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            PIN_DIRECTION direction = PINDIR_INPUT;
            ComPtr<IPin> peer;
            if (FAILED(candidate->QueryDirection(&direction)) || direction != PINDIR_OUTPUT ||
                FAILED(candidate->ConnectedTo(peer.GetAddressOf())))
                continue;
            PIN_INFO info = {};
            if (SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter) {
                queue.emplace_back(info.pFilter);
                info.pFilter->Release();
            }
        }
    }
}

STDMETHODIMP CV77DsARCSourceFilterBase::GetMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    CAutoLock lock(&m_FilterLock);
    return CopyMediaType(pmt, &m_MediaType);
}

STDMETHODIMP CV77DsARCSourceFilterBase::GetSourceInformation(SOURCE_INFORMATION* info)
{
    if (!info)
        return E_POINTER;
    CAutoLock lock(&m_FilterLock);
    *info = m_SourceInformation;
    return S_OK;
}

STDMETHODIMP CV77DsARCSourceFilterBase::Open(BSTR source1, BSTR source2, BOOL playOption, SOURCE_INFORMATION* info)
{
    CAutoLock lock(&m_FilterLock);
    if (m_State != State_Stopped)
        return VFW_E_WRONG_STATE;
    if (!m_pReceiver || !m_pOutput)
        return E_UNEXPECTED;
    SysFreeString(m_bstrSource1);
    SysFreeString(m_bstrSource2);
    m_bstrSource1 = CopyString(source1);
    m_bstrSource2 = CopyString(source2);
    AM_MEDIA_TYPE mt = {};
    SOURCE_INFORMATION description = {};
    IV77ARCReceiverEvents* events = static_cast<IV77ARCReceiverEvents*>(m_pOutput);
    HRESULT hr = m_pReceiver->Open(m_bstrSource1, m_bstrSource2, events, 0, &description, &mt);
    if (FAILED(hr))
        return hr;
    m_SourceInformation = description;
    m_MediaType = mt;
    FreeMediaType(mt);
    if (info)
        *info = m_SourceInformation;
    m_pOutput->SetPlayOption(playOption != FALSE);
    return m_pAuxiliary ? m_pAuxiliary->Attach(m_bstrSource2, m_bstrSource1) : hr;
}

STDMETHODIMP CV77DsARCSourceFilterBase::AuxiliaryCommand1(DWORD a, DWORD b)
{
    return m_pAuxiliary ? m_pAuxiliary->Command7(a, b) : E_NOTIMPL;
}

STDMETHODIMP CV77DsARCSourceFilterBase::AuxiliaryCommand2(DWORD a, DWORD b)
{
    return m_pAuxiliary ? m_pAuxiliary->Command9(a, b) : E_NOTIMPL;
}

STDMETHODIMP CV77DsARCSourceFilterBase::AuxiliaryCommand3(DWORD a, DWORD b)
{
    return m_pAuxiliary ? m_pAuxiliary->Command8(a, b) : E_NOTIMPL;
}

STDMETHODIMP CV77DsARCSourceFilterBase::SetAutoRestart(BOOL on)
{
    m_pOutput->SetAutoRestart(on != FALSE);
    return S_OK;
}

STDMETHODIMP CV77DsARCSourceFilterBase::SetPlayOption(BOOL on)
{
    m_pOutput->SetPlayOption(on != FALSE);
    return S_OK;
}

STDMETHODIMP CV77DsARCSourceFilterBase::GetBitRate(double* bitsPerSecond)
{
    if (!bitsPerSecond)
        return E_POINTER;
    CAutoLock lock(&m_FilterLock);
    const REFERENCE_TIME* frameTime = GetAvgTimePerFrameFromMediaType(m_MediaType);
    if (m_MediaType.majortype != MEDIATYPE_Video || !frameTime || *frameTime == 0 || !m_pAuxiliary)
        return E_FAIL;
    double bytes = 0.0;
    const HRESULT hr = m_pAuxiliary->GetAverageFrameSize(&bytes);
    *bitsPerSecond = (10000000.0 / static_cast<double>(*frameTime)) * bytes * 8.0;
    return hr;
}

STDMETHODIMP CV77DsARCSourceFilterBase::SetUseOwnAllocator(BOOL own)
{
    m_bUseOwnAllocator = own != FALSE;
    return S_OK;
}

STDMETHODIMP CV77DsARCSourceFilterBase::GetReceiver(IUnknown** ppUnk)
{
    if (!ppUnk)
        return E_POINTER;
    if (!m_pReceiver) {
        *ppUnk = nullptr;
        return E_UNEXPECTED;
    }
    return m_pReceiver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ppUnk));
}

STDMETHODIMP CV77DsARCSourceFilterBase::Configure(DWORD a, double b, DWORD c)
{
    if (!m_pReceiver)
        return E_NOINTERFACE;
    ComPtr<IV77TcpReceiver> tcp;
    if (FAILED(m_pReceiver->QueryInterface(IID_IV77TcpReceiver, reinterpret_cast<void**>(tcp.GetAddressOf()))))
        return E_NOINTERFACE;
    return tcp->Configure(a, b, c);
}
