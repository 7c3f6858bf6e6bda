#include "tools/V77Host/CRecordGraph.h"

#include "tools/V77Host/DemoSteps.h"

HRESULT CRecordGraph::Step(const char* what, HRESULT hr)
{
    if (FAILED(hr))
        m_pStep = what;
    return hr;
}

HRESULT CRecordGraph::Build(CHostLiveSource& source, const LiveViewConfig& config, const std::wstring& store,
                            double segmentSeconds)
{
    m_Store = store;
    m_SegmentMs = static_cast<ULONGLONG>(segmentSeconds * 1000);
    if (!CreateDirectoryW(store.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Step("create the store folder", HRESULT_FROM_WIN32(GetLastError()));
    HRESULT hr = m_View.Build(source, config);
    if (FAILED(hr))
        return hr;
    hr = Step("create the AVI file renderer", CreateModuleFilter(CLSID_V77DsAviFileRenderer, m_pWriter));
    if (SUCCEEDED(hr))
        hr = Step("IV77DsAviFileRenderer", m_pWriter.As(&m_pWriterControl));
    if (SUCCEEDED(hr))
        hr = Step("add the AVI file renderer", m_View.Graph().Add(m_pWriter.Get(), L"Varnokel77 Avi file renderer filter"));
    // The secondary output shares the primary's allocator: it connects once
    // the primary is connected, which the view has done.
    if (SUCCEEDED(hr))
        hr = Step("connect the secondary output to the AVI file renderer",
                  m_View.Graph().ConnectPins(CHostGraph::Pin(source.Filter(), PINDIR_OUTPUT, 1).Get(),
                                             CHostGraph::Pin(m_pWriter.Get(), PINDIR_INPUT).Get()));
    return hr;
}

HRESULT CRecordGraph::OpenSegment()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG time = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    m_File = m_Store + L"\\" + std::to_wstring(time) + L".avi";
    m_SegmentStart = GetTickCount64();
    HRESULT hr = Step("SetFileName (open a segment)", m_pWriterControl->SetFileName(m_File.c_str(), L"V77Host camera"));
    if (SUCCEEDED(hr))
        ++m_Segments;
    return hr;
}

HRESULT CRecordGraph::Tick()
{
    if (m_Segments && GetTickCount64() - m_SegmentStart < m_SegmentMs)
        return S_OK;
    return OpenSegment();  // closes the one before
}

HRESULT CRecordGraph::Finish()
{
    m_View.Stop();
    return m_pWriterControl ? m_pWriterControl->SetFileName(nullptr, nullptr) : S_OK;
}
