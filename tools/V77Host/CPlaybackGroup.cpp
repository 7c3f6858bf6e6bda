#include "tools/V77Host/CPlaybackGroup.h"

#include <cwchar>
#include <oleauto.h>
#include "tools/V77Host/DemoSteps.h"

using Microsoft::WRL::ComPtr;

REFERENCE_TIME CPlaybackGroup::StoreStart(const std::wstring& store)
{
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((store + L"\\*.avi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    REFERENCE_TIME first = 0;
    do {
        wchar_t* end = nullptr;
        const long long time = std::wcstoll(found.cFileName, &end, 10);
        if (end && std::wcscmp(end, L".avi") == 0 && time > 0 && (first == 0 || time < first))
            first = time;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return first;
}

HRESULT CPlaybackGroup::Check(const char* what, HRESULT hr)
{
    if (FAILED(hr))
        m_pStep = what;
    return hr;
}

HRESULT CPlaybackGroup::Build(const std::wstring& store, int views)
{
    HRESULT hr = Check("create the filter graph", m_Graph.Create());
    m_Views.resize(static_cast<size_t>(views));
    for (size_t i = 0; SUCCEEDED(hr) && i < m_Views.size(); ++i)
        hr = AddView(store, i);
    return hr;
}

HRESULT CPlaybackGroup::AddView(const std::wstring& store, size_t index)
{
    View& view = m_Views[index];
    HRESULT hr = Check("create the store source", CreateModuleFilter(CLSID_V77DsARCSource, view.source));
    if (SUCCEEDED(hr))
        hr = Check("IV77DsARCSource", view.source.As(&view.archive));
    if (SUCCEEDED(hr))
        hr = Check("create the buffer filter", CreateModuleFilter(CLSID_V77DsBufferFilter, view.buffer));
    if (SUCCEEDED(hr))
        hr = Check("IV77DsBuffer", view.buffer.As(&view.control));
    if (SUCCEEDED(hr))
        hr = Check("create the GDI renderer", CreateModuleFilter(CLSID_V77WindowsRenderer, view.renderer));
    if (SUCCEEDED(hr))
        hr = Check("IV77DxRenderer", view.renderer.As(&view.display));
    if (SUCCEEDED(hr)) {
        *view.tap.ReleaseAndGetAddressOf() = CHostFrameTap::Create();  // adopt
        hr = Check("create the frame counter", view.tap ? S_OK : E_OUTOFMEMORY);
    }
    if (FAILED(hr))
        return hr;
    BSTR source1 = SysAllocString(store.c_str());
    BSTR source2 = SysAllocString(L"");
    SOURCE_INFORMATION info = {};
    hr = Check("open the store", view.archive->Open(source1, source2, FALSE, &info));
    SysFreeString(source1);
    SysFreeString(source2);
    if (FAILED(hr))
        return hr;
    m_Info = info;
    if (info.Compression != 0 && info.Compression != MAKEFOURCC('Y', 'U', 'Y', '2') &&
        info.Compression != MAKEFOURCC('Y', 'V', '1', '2'))
        return Check("the store is compressed and the platform registers no decoder the buffer filter could sit behind",
                     VFW_E_TYPE_NOT_ACCEPTED);
    return ConnectView(view, index);
}

HRESULT CPlaybackGroup::ConnectView(View& view, size_t index)
{
    // A buffer segment of about a second of recording.
    const LONG segmentFrames = m_Info.AvgTimePerFrame > 0
                                   ? static_cast<LONG>(10000000 / m_Info.AvgTimePerFrame) > 10
                                         ? static_cast<LONG>(10000000 / m_Info.AvgTimePerFrame)
                                         : 10
                                   : 25;
    ComPtr<IV77DsBufferMaster> master;
    if (index > 0 && FAILED(Check("IV77DsBufferMaster", m_Views[0].buffer.As(&master))))
        return E_NOINTERFACE;
    HRESULT hr = Check("CreateQueue", view.control->CreateQueue(V77_QUEUE_FULL, static_cast<DWORD>(segmentFrames), master.Get()));
    if (SUCCEEDED(hr))
        hr = Check("SetTimeStep", view.control->SetTimeStep(m_Info.AvgTimePerFrame));
    view.tap->SetFrameTime(m_Info.AvgTimePerFrame);
    const LONG x = static_cast<LONG>(index) * (m_Info.Width + 16);
    view.window.reset(new CHostVideoWindow(m_Info.Width, m_Info.Height, x, 0));
    if (SUCCEEDED(hr))
        hr = Check("create the host window", view.window->Handle() ? S_OK : E_FAIL);
    if (SUCCEEDED(hr))
        hr = Check("SetWindow", view.display->SetWindow(view.window->Handle()));
    const std::wstring n = std::to_wstring(index + 1);
    if (SUCCEEDED(hr))
        hr = Check("add the store source", m_Graph.Add(view.source.Get(), (L"Varnokel77 Archive source filter " + n).c_str()));
    if (SUCCEEDED(hr))
        hr = Check("add the buffer filter", m_Graph.Add(view.buffer.Get(), (L"Varnokel77 buffer filter " + n).c_str()));
    if (SUCCEEDED(hr))
        hr = Check("add the frame counter", m_Graph.Add(view.tap->Filter(), (L"V77Host frame counter " + n).c_str()));
    if (SUCCEEDED(hr))
        hr = Check("add the renderer", m_Graph.Add(view.renderer.Get(), (L"Varnokel77 GDI renderer " + n).c_str()));
    if (SUCCEEDED(hr))
        hr = Check("connect the store source to the buffer filter", m_Graph.Connect(view.source.Get(), view.buffer.Get()));
    if (SUCCEEDED(hr))
        hr = Check("connect the frame counter", m_Graph.Connect(view.buffer.Get(), view.tap->Filter()));
    if (SUCCEEDED(hr))
        hr = Check("connect the renderer", m_Graph.Connect(view.tap->Filter(), view.renderer.Get()));
    if (SUCCEEDED(hr))
        hr = Check("SetRects", view.display->SetRects(nullptr, nullptr, nullptr));
    return hr;
}

HRESULT CPlaybackGroup::Start(REFERENCE_TIME position, double rate)
{
    // The renderers finish their transition only with a first frame, which
    // comes after the first seek: the graph is only told to run.
    HRESULT hr = Check("Run", m_Graph.Run());
    for (size_t i = 0; SUCCEEDED(hr) && i < m_Views.size(); ++i) {
        ComPtr<IPin> pin = CHostGraph::Pin(m_Views[i].source.Get(), PINDIR_OUTPUT);
        ComPtr<IMediaSeeking> seeking;
        hr = Check("IMediaSeeking on the store source",
                   pin ? pin->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())) : E_NOINTERFACE);
        if (SUCCEEDED(hr))
            hr = Check("start the store source", seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                                                      AM_SEEKING_NoPositioning));
    }
    // The group's play position is set by a seek through the master; the
    // queues play nothing until they are given a rate.
    if (SUCCEEDED(hr))
        hr = Seek(position);
    return SUCCEEDED(hr) ? SetRate(rate) : hr;
}

HRESULT CPlaybackGroup::Seek(REFERENCE_TIME position)
{
    return Check("SetGroupPositions", m_Views[0].control->SetGroupPositions(&position, nullptr, nullptr));
}

HRESULT CPlaybackGroup::SetRate(double rate)
{
    return Check("SetGroupRate", m_Views[0].control->SetGroupRate(rate));
}

HRESULT CPlaybackGroup::Step(long frames)
{
    return Check("Step", m_Views[0].control->Step(frames));
}

HostFigures CPlaybackGroup::Figures() const
{
    HostFigures figures;
    if (m_Views.empty())
        return figures;
    const View& view = m_Views[0];
    figures.frames = view.tap->Frames();
    figures.dropped = view.tap->Dropped();
    LONG capacity = 0;
    REFERENCE_TIME first = 0, last = 0;
    if (SUCCEEDED(view.control->GetCapacity(&capacity))) {
        figures.bufferCapacity = capacity;
        figures.bufferFill = 0;
        if (m_Info.AvgTimePerFrame > 0 && view.control->GetAvailable(&first, &last) == S_OK && last >= first)
            figures.bufferFill = static_cast<long>((last - first) / m_Info.AvgTimePerFrame) + 1;
    }
    return figures;
}
