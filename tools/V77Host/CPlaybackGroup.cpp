#include "tools/V77Host/CPlaybackGroup.h"

#include "tools/V77Host/DemoSteps.h"

using Microsoft::WRL::ComPtr;

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
    std::vector<IBaseFilter*> taps;
    for (size_t i = 0; SUCCEEDED(hr) && i < m_Views.size(); ++i) {
        hr = CreateView(m_Views[i]);
        taps.push_back(SUCCEEDED(hr) ? m_Views[i].tap->Filter() : nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = m_Group.Build(m_Graph.Builder(), store, taps, {}, 0);
        const DWORD format = m_Group.Info().Compression;
        if (FAILED(hr) && format != 0 && format != MAKEFOURCC('Y', 'U', 'Y', '2') &&
            format != MAKEFOURCC('Y', 'V', '1', '2'))
            return Check("the store is compressed and the platform registers no decoder the buffer filter could sit behind",
                         VFW_E_TYPE_NOT_ACCEPTED);
        Check(m_Group.FailedStep(), hr);
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < m_Views.size(); ++i)
        hr = ShowView(m_Views[i], i);
    return hr;
}

HRESULT CPlaybackGroup::CreateView(View& view)
{
    HRESULT hr = Check("create the GDI renderer", CreateModuleFilter(CLSID_V77WindowsRenderer, view.renderer));
    if (SUCCEEDED(hr))
        hr = Check("IV77DxRenderer", view.renderer.As(&view.display));
    if (SUCCEEDED(hr)) {
        *view.tap.ReleaseAndGetAddressOf() = CHostFrameTap::Create();  // adopt
        hr = Check("create the frame counter", view.tap ? S_OK : E_OUTOFMEMORY);
    }
    return hr;
}

// The renderer behind the view's frame counter, drawing into its own window.
HRESULT CPlaybackGroup::ShowView(View& view, size_t index)
{
    const SOURCE_INFORMATION& info = m_Group.Info();
    view.tap->SetFrameTime(info.AvgTimePerFrame);
    const LONG x = static_cast<LONG>(index) * (info.Width + 16);
    view.window.reset(new CHostVideoWindow(info.Width, info.Height, x, 0));
    HRESULT hr = Check("create the host window", view.window->Handle() ? S_OK : E_FAIL);
    if (SUCCEEDED(hr))
        hr = Check("SetWindow", view.display->SetWindow(view.window->Handle()));
    const std::wstring n = std::to_wstring(index + 1);
    if (SUCCEEDED(hr))
        hr = Check("add the renderer", m_Graph.Add(view.renderer.Get(), (L"Varnokel77 GDI renderer " + n).c_str()));
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
    if (SUCCEEDED(hr))
        hr = Check("start the store sources", m_Group.Start(position));
    // The group's play position is set by a seek through the master; the
    // queues play nothing until they are given a rate.
    if (SUCCEEDED(hr))
        hr = Seek(position);
    return SUCCEEDED(hr) ? SetRate(rate) : hr;
}

HRESULT CPlaybackGroup::Seek(REFERENCE_TIME position)
{
    return Check("SetGroupPositions", m_Group.Seek(position));
}

HRESULT CPlaybackGroup::SetRate(double rate)
{
    return Check("SetGroupRate", m_Group.SetRate(rate));
}

HRESULT CPlaybackGroup::Step(long frames)
{
    return Check("Step", m_Group.Step(frames));
}

HostFigures CPlaybackGroup::Figures() const
{
    HostFigures figures;
    if (m_Views.empty() || m_Group.Views() == 0)
        return figures;
    const View& view = m_Views[0];
    IV77DsBuffer* buffer = m_Group.Buffer(0);
    figures.frames = view.tap->Frames();
    figures.dropped = view.tap->Dropped();
    LONG capacity = 0;
    REFERENCE_TIME first = 0, last = 0;
    const REFERENCE_TIME frame = m_Group.Info().AvgTimePerFrame;
    if (SUCCEEDED(buffer->GetCapacity(&capacity))) {
        figures.bufferCapacity = capacity;
        figures.bufferFill = 0;
        if (frame > 0 && buffer->GetAvailable(&first, &last) == S_OK && last >= first)
            figures.bufferFill = static_cast<long>((last - first) / frame) + 1;
    }
    return figures;
}
