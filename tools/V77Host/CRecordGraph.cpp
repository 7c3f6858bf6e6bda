#include "tools/V77Host/CRecordGraph.h"

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
    LiveViewConfig recording = config;
    recording.record = true;
    return m_View.Build(source, recording);
}

HRESULT CRecordGraph::OpenSegment()
{
    // Named by the instant it is opened: its first frame is the first key
    // frame after it.
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const REFERENCE_TIME time = static_cast<REFERENCE_TIME>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) |
                                                            now.dwLowDateTime);
    m_SegmentStart = GetTickCount64();
    HRESULT hr = Step("SetFileName (open a segment)", m_View.Chain().StartSegment(m_Store, time, &m_File));
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
    return m_View.Chain().CloseSegment();
}
