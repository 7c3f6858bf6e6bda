#include "tools/common/CV77LiveRecordGraph.h"

#include "companions/components/recording/V77StoreNaming.h"
#include "tools/common/V77GraphPins.h"
#include "v77/V77Guids.h"

HRESULT CV77LiveRecordGraph::Build(IGraphBuilder* graph, const std::wstring& sdp, IBaseFilter* view,
                                   IBaseFilter* decoder, bool record)
{
    if (!graph || !view)
        return E_POINTER;
    m_pStep = "create filters";
    HRESULT hr = V77CreateFilter(CLSID_V77DsNetworkSource, m_pSource);
    if (SUCCEEDED(hr))
        hr = V77CreateFilter(CLSID_V77DsBufferFilter, m_pBuffer);
    if (SUCCEEDED(hr) && record)
        hr = V77CreateFilter(CLSID_V77DsAviFileRenderer, m_pRecorder);
    if (SUCCEEDED(hr))
        hr = m_pSource.As(&m_pLive);
    if (SUCCEEDED(hr))
        hr = m_pBuffer.As(&m_pBufferControl);
    if (SUCCEEDED(hr) && record)
        hr = m_pRecorder.As(&m_pFile);
    if (FAILED(hr))
        return hr;
    m_pStep = "open";
    BSTR name = SysAllocString(sdp.c_str());
    hr = m_pLive->Open(name, nullptr, 0, 0, 0, &m_Info);
    SysFreeString(name);
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_FAIL;  // S_FALSE: the receiver did not connect
    m_pLive->EnableOutput(1, record ? TRUE : FALSE);
    m_pStep = "create queue";
    if (FAILED(hr = m_pBufferControl->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)))
        return hr;
    m_pStep = "add filters";
    if (FAILED(hr = graph->AddFilter(m_pSource.Get(), L"Varnokel77 network source")) ||
        FAILED(hr = graph->AddFilter(m_pBuffer.Get(), L"Varnokel77 buffer filter")) ||
        FAILED(hr = graph->AddFilter(view, L"view")) ||
        (decoder && FAILED(hr = graph->AddFilter(decoder, L"decoder"))) ||
        (record && FAILED(hr = graph->AddFilter(m_pRecorder.Get(), L"Varnokel77 AVI file renderer"))))
        return hr;
    m_pStep = "connect source to buffer";
    if (decoder && FAILED(hr = V77ConnectFilters(graph, m_pSource.Get(), 0, decoder)))
        return hr;
    if (FAILED(hr = V77ConnectFilters(graph, decoder ? decoder : m_pSource.Get(), 0, m_pBuffer.Get())))
        return hr;
    m_pStep = "connect buffer to view";
    if (FAILED(hr = V77ConnectFilters(graph, m_pBuffer.Get(), 0, view)))
        return hr;
    m_pStep = "connect secondary output to AVI file renderer";
    if (record && FAILED(hr = V77ConnectFilters(graph, m_pSource.Get(), 1, m_pRecorder.Get())))
        return hr;
    m_pStep = "";
    return S_OK;
}

HRESULT CV77LiveRecordGraph::StartSegment(const std::wstring& store, REFERENCE_TIME firstFrameTime)
{
    if (!m_pFile)
        return E_UNEXPECTED;
    const std::string name = SegmentName(firstFrameTime);
    const std::wstring path = store + L"\\" + std::wstring(name.begin(), name.end());
    return m_pFile->SetFileName(path.c_str(), L"camera");
}

HRESULT CV77LiveRecordGraph::CloseSegment()
{
    return m_pFile ? m_pFile->SetFileName(nullptr, nullptr) : S_OK;
}
