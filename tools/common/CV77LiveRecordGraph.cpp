#include "tools/common/CV77LiveRecordGraph.h"

#include "companions/components/recording/V77StoreNaming.h"
#include "tools/common/V77GraphPins.h"
#include "v77/V77Guids.h"

namespace {

// The host may have added a filter already (under its own name).
HRESULT AddOnce(IGraphBuilder* graph, IBaseFilter* filter, LPCWSTR name)
{
    FILTER_INFO info = {};
    if (SUCCEEDED(filter->QueryFilterInfo(&info)) && info.pGraph) {
        info.pGraph->Release();
        return S_OK;
    }
    return graph->AddFilter(filter, name);
}

}  // namespace

HRESULT CV77LiveRecordGraph::Fail(const char* step, HRESULT hr)
{
    if (FAILED(hr))
        m_pStep = step;
    return hr;
}

HRESULT CV77LiveRecordGraph::Build(IGraphBuilder* graph, const std::wstring& sdp, IBaseFilter* view,
                                   IBaseFilter* decoder, bool record)
{
    if (!graph || !view)
        return E_POINTER;
    HRESULT hr = Open(sdp);
    if (FAILED(hr))
        return hr;
    V77LiveChain chain;
    chain.decoder = decoder;
    chain.record = record;
    return Connect(graph, view, chain);
}

HRESULT CV77LiveRecordGraph::Open(const std::wstring& sdp)
{
    Microsoft::WRL::ComPtr<IBaseFilter> source;
    Microsoft::WRL::ComPtr<IV77DsNetworkSource> live;
    HRESULT hr = Fail("create filters", V77CreateFilter(CLSID_V77DsNetworkSource, source));
    if (SUCCEEDED(hr))
        hr = Fail("create filters", source.As(&live));
    if (FAILED(hr))
        return hr;
    BSTR name = SysAllocString(sdp.c_str());
    SOURCE_INFORMATION info = {};
    hr = live->Open(name, nullptr, 0, 0, 0, &info);
    SysFreeString(name);
    if (hr != S_OK)
        return Fail("open", FAILED(hr) ? hr : E_FAIL);  // S_FALSE: the receiver did not connect
    return Attach(source.Get(), info);
}

HRESULT CV77LiveRecordGraph::Attach(IBaseFilter* source, const SOURCE_INFORMATION& info)
{
    if (!source)
        return E_POINTER;
    m_pSource = source;
    m_Info = info;
    return Fail("IV77DsNetworkSource", m_pSource.As(&m_pLive));
}

HRESULT CV77LiveRecordGraph::Connect(IGraphBuilder* graph, IBaseFilter* view, const V77LiveChain& chain)
{
    if (!graph || !view || !m_pLive)
        return E_POINTER;
    m_pStep = "create filters";
    HRESULT hr = S_OK;
    if (chain.queue && (FAILED(hr = V77CreateFilter(CLSID_V77DsBufferFilter, m_pBuffer)) ||
                        FAILED(hr = m_pBuffer.As(&m_pBufferControl))))
        return hr;
    if (chain.record && (FAILED(hr = V77CreateFilter(CLSID_V77DsAviFileRenderer, m_pRecorder)) ||
                         FAILED(hr = m_pRecorder.As(&m_pFile))))
        return hr;
    m_pLive->EnableOutput(1, chain.record ? TRUE : FALSE);
    if (chain.queue) {
        m_pStep = "create queue";
        if (FAILED(hr = m_pBufferControl->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)))
            return hr;
        m_pStep = "SetBufferCount";
        if (chain.bufferCount > 0 && FAILED(hr = m_pBufferControl->SetBufferCount(chain.bufferCount)))
            return hr;
    }
    m_pStep = "add filters";
    if (FAILED(hr = AddOnce(graph, m_pSource.Get(), L"Varnokel77 live source")) ||
        (chain.queue && FAILED(hr = graph->AddFilter(m_pBuffer.Get(), L"Varnokel77 buffer filter"))) ||
        FAILED(hr = AddOnce(graph, view, L"view")) ||
        (chain.decoder && FAILED(hr = AddOnce(graph, chain.decoder, L"decoder"))) ||
        (chain.record && FAILED(hr = graph->AddFilter(m_pRecorder.Get(), L"Varnokel77 AVI file renderer"))))
        return hr;
    Microsoft::WRL::ComPtr<IPin> out = chain.from ? chain.from : V77FindPin(m_pSource.Get(), PINDIR_OUTPUT).Get();
    if (chain.decoder) {
        m_pStep = "connect source to decoder";
        if (FAILED(hr = V77ConnectPins(graph, out.Get(), V77FindPin(chain.decoder, PINDIR_INPUT).Get())))
            return hr;
        out = V77FindPin(chain.decoder, PINDIR_OUTPUT);
    }
    if (chain.queue) {
        m_pStep = "connect source to buffer";
        if (FAILED(hr = V77ConnectPins(graph, out.Get(), V77FindPin(m_pBuffer.Get(), PINDIR_INPUT).Get())))
            return hr;
        out = V77FindPin(m_pBuffer.Get(), PINDIR_OUTPUT);
    }
    m_pStep = "connect buffer to view";
    if (FAILED(hr = V77ConnectPins(graph, out.Get(), V77FindPin(view, PINDIR_INPUT).Get())))
        return hr;
    m_pStep = "connect secondary output to AVI file renderer";
    if (chain.record && FAILED(hr = V77ConnectFilters(graph, m_pSource.Get(), 1, m_pRecorder.Get())))
        return hr;
    m_pStep = "";
    return S_OK;
}

HRESULT CV77LiveRecordGraph::StartSegment(const std::wstring& store, REFERENCE_TIME firstFrameTime,
                                          std::wstring* path)
{
    if (!m_pFile)
        return E_UNEXPECTED;
    const std::string name = SegmentName(firstFrameTime);
    const std::wstring file = store + L"\\" + std::wstring(name.begin(), name.end());
    if (path)
        *path = file;
    return m_pFile->SetFileName(file.c_str(), L"camera");
}

HRESULT CV77LiveRecordGraph::CloseSegment()
{
    return m_pFile ? m_pFile->SetFileName(nullptr, nullptr) : S_OK;
}
