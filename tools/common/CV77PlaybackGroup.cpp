#include "tools/common/CV77PlaybackGroup.h"

#include "companions/components/recording/V77StoreNaming.h"
#include "tools/common/V77GraphPins.h"

using Microsoft::WRL::ComPtr;

REFERENCE_TIME CV77PlaybackGroup::StoreStart(const std::wstring& store)
{
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((store + L"\\*.avi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    REFERENCE_TIME first = 0;
    do {
        const std::wstring wide = found.cFileName;
        const auto time = ParseSegmentName(std::string(wide.begin(), wide.end()));
        if (time && (first == 0 || *time < first))
            first = *time;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return first;
}

HRESULT CV77PlaybackGroup::Fail(const char* step, HRESULT hr)
{
    if (FAILED(hr))
        m_pStep = step;
    return hr;
}

HRESULT CV77PlaybackGroup::Build(IGraphBuilder* graph, const std::wstring& store,
                                 const std::vector<IBaseFilter*>& views, const std::vector<IBaseFilter*>& decoders,
                                 LONG segmentFrames)
{
    if (!graph || views.empty() || (!decoders.empty() && decoders.size() != views.size()))
        return E_INVALIDARG;
    for (size_t i = 0; i < views.size(); ++i) {
        const HRESULT hr = AddView(graph, store, views[i], decoders.empty() ? nullptr : decoders[i], segmentFrames);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CV77PlaybackGroup::AddView(IGraphBuilder* graph, const std::wstring& store, IBaseFilter* renderer,
                                   IBaseFilter* decoder, LONG segmentFrames)
{
    View view;
    ComPtr<IV77DsARCSource> archive;
    HRESULT hr = V77CreateFilter(m_SourceClass, view.source);
    if (SUCCEEDED(hr))
        hr = V77CreateFilter(CLSID_V77DsBufferFilter, view.buffer);
    if (SUCCEEDED(hr))
        hr = view.source.As(&archive);
    if (SUCCEEDED(hr))
        hr = view.buffer.As(&view.control);
    if (FAILED(Fail("create the archive source and buffer filter", hr)))
        return hr;
    BSTR s1 = SysAllocString(store.c_str());
    BSTR s2 = SysAllocString(L"");
    hr = archive->Open(s1, s2, FALSE, &m_Info);
    SysFreeString(s1);
    SysFreeString(s2);
    if (FAILED(Fail("open the store", hr)))
        return hr;
    // The receivers serve the buffer without restarts; the master buffer
    // alone then reports the end of playback (one 0x8005, not one per view).
    archive->SetAutoRestart(FALSE);
    if (segmentFrames <= 0) {
        const LONG second = m_Info.AvgTimePerFrame > 0 ? static_cast<LONG>(10000000 / m_Info.AvgTimePerFrame) : 25;
        segmentFrames = second > 10 ? second : 10;
    }
    ComPtr<IV77DsBufferMaster> master;
    if (!m_Views.empty() && FAILED(hr = Fail("IV77DsBufferMaster", m_Views[0].buffer.As(&master))))
        return hr;
    m_pStep = "create the time-shift queue";
    if (FAILED(hr = view.control->CreateQueue(V77_QUEUE_FULL, static_cast<DWORD>(segmentFrames), master.Get())) ||
        FAILED(hr = view.control->SetTimeStep(m_Info.AvgTimePerFrame)))
        return hr;
    const std::wstring n = std::to_wstring(m_Views.size() + 1);
    m_pStep = "add the view's filters";
    if (FAILED(hr = graph->AddFilter(view.source.Get(), (L"Varnokel77 archive source " + n).c_str())) ||
        FAILED(hr = graph->AddFilter(view.buffer.Get(), (L"Varnokel77 buffer filter " + n).c_str())) ||
        FAILED(hr = graph->AddFilter(renderer, (L"view " + n).c_str())) ||
        (decoder && FAILED(hr = graph->AddFilter(decoder, (L"decoder " + n).c_str()))))
        return hr;
    m_pStep = "connect the archive source to the buffer filter";
    if ((decoder && FAILED(hr = V77ConnectFilters(graph, view.source.Get(), 0, decoder))) ||
        FAILED(hr = V77ConnectFilters(graph, decoder ? decoder : view.source.Get(), 0, view.buffer.Get())))
        return hr;
    m_pStep = "connect the buffer filter to the view";
    if (FAILED(hr = V77ConnectFilters(graph, view.buffer.Get(), 0, renderer)))
        return hr;
    m_pStep = "";
    m_Views.push_back(view);
    return S_OK;
}

HRESULT CV77PlaybackGroup::Start(REFERENCE_TIME position)
{
    for (const View& view : m_Views) {
        ComPtr<IPin> pin = V77FindPin(view.source.Get(), PINDIR_OUTPUT);
        ComPtr<IMediaSeeking> seeking;
        HRESULT hr = pin ? pin.As(&seeking) : E_NOINTERFACE;
        if (SUCCEEDED(hr))
            hr = seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        if (FAILED(Fail("start the archive source", hr)))
            return hr;
    }
    return S_OK;
}

HRESULT CV77PlaybackGroup::Seek(REFERENCE_TIME position)
{
    return SetPositions(&position, nullptr, nullptr);
}

HRESULT CV77PlaybackGroup::SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    return m_Views.empty() ? E_UNEXPECTED : m_Views[0].control->SetGroupPositions(current, start, stop);
}

HRESULT CV77PlaybackGroup::SetRate(double rate)
{
    return m_Views.empty() ? E_UNEXPECTED : m_Views[0].control->SetGroupRate(rate);
}

HRESULT CV77PlaybackGroup::Step(LONG frames, size_t view)
{
    return view < m_Views.size() ? m_Views[view].control->Step(frames) : E_INVALIDARG;
}
