#include "tools/V77Host/CLiveViewGraph.h"

#include "tools/V77Host/CHostDecoder.h"
#include "tools/V77Host/DemoSteps.h"

using Microsoft::WRL::ComPtr;

HRESULT CLiveViewGraph::Step(const char* what, HRESULT hr)
{
    if (FAILED(hr))
        m_pStep = what;
    return hr;
}

HRESULT CLiveViewGraph::Build(CHostLiveSource& source, const LiveViewConfig& config)
{
    m_pSource = &source;
    HRESULT hr = Step("create the filter graph", m_Graph.Create());
    if (SUCCEEDED(hr))
        hr = Step(source.OpenStep(), source.Open());
    if (SUCCEEDED(hr))
        hr = CreateFilters(config);
    if (SUCCEEDED(hr))
        hr = Connect(config);
    return hr;
}

HRESULT CLiveViewGraph::CreateFilters(const LiveViewConfig& config)
{
    const CLSID& renderer = config.renderer == HostRenderer::Gdi          ? CLSID_V77WindowsRenderer
                            : config.renderer == HostRenderer::DirectDraw ? CLSID_V77DxRenderer
                                                                          : CLSID_V77JpegRenderer;
    HRESULT hr = Step("create the renderer", CreateModuleFilter(renderer, m_pRenderer));
    if (SUCCEEDED(hr))
        hr = Step("IV77DxRenderer", m_pRenderer.As(&m_pDisplay));
    if (SUCCEEDED(hr)) {
        *m_pTap.ReleaseAndGetAddressOf() = CHostFrameTap::Create();  // adopt
        hr = Step("create the frame counter", m_pTap ? S_OK : E_OUTOFMEMORY);
    }
    if (SUCCEEDED(hr))
        m_pTap->SetFrameTime(m_pSource->Info().AvgTimePerFrame);
    return hr;
}

HRESULT CLiveViewGraph::UseNullRenderer()
{
    // Wine's (qedit) null renderer: {C1F400A4-3F08-11D3-9F0B-006008039E37}.
    static const CLSID kNullRenderer = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
    m_Graph.Builder()->RemoveFilter(m_pRenderer.Get());
    m_pDisplay.Reset();
    HRESULT hr = Step("create the null renderer",
                      CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       reinterpret_cast<void**>(m_pRenderer.ReleaseAndGetAddressOf())));
    if (SUCCEEDED(hr))
        hr = Step("add the null renderer", m_Graph.Add(m_pRenderer.Get(), L"Null renderer"));
    // No clock: the receiver paces the frames, and the null renderer would
    // otherwise hold each one until its capture-time stamp comes round.
    ComPtr<IMediaFilter> filter;
    if (SUCCEEDED(hr))
        hr = Step("IMediaFilter", m_Graph.Builder()->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
    if (SUCCEEDED(hr))
        hr = Step("SetSyncSource", filter->SetSyncSource(nullptr));
    return hr;
}

HRESULT CLiveViewGraph::ConfigureRenderer(const LiveViewConfig& config)
{
    const SOURCE_INFORMATION& info = m_pSource->Info();
    HRESULT hr = S_OK;
    if (config.renderer != HostRenderer::Jpeg) {
        m_pWindow.reset(new CHostVideoWindow(info.Width, info.Height));
        hr = Step("create the host window", m_pWindow->Handle() ? S_OK : HRESULT_FROM_WIN32(GetLastError()));
        if (SUCCEEDED(hr))
            hr = Step("SetWindow", m_pDisplay->SetWindow(m_pWindow->Handle()));
    }
    if (SUCCEEDED(hr) && config.picture)
        hr = Step("SetBrightnessContrast", m_pDisplay->SetBrightnessContrast(config.brightness, config.contrast));
    if (SUCCEEDED(hr) && config.deinterlace >= 0)
        hr = Step("SetDeinterlaceMode", m_pDisplay->SetDeinterlaceMode(config.deinterlace));
    return hr;
}

HRESULT CLiveViewGraph::Connect(const LiveViewConfig& config)
{
    HRESULT hr = Step("add the source", m_Graph.Add(m_pSource->Filter(), m_pSource->FilterName()));
    if (SUCCEEDED(hr))
        hr = Step("add the frame counter", m_Graph.Add(m_pTap->Filter(), L"V77Host frame counter"));
    if (SUCCEEDED(hr))
        hr = Step("add the renderer", m_Graph.Add(m_pRenderer.Get(), L"Varnokel77 renderer"));
    if (FAILED(hr))
        return hr;
    // The buffer filter queues uncompressed video only: a compressed camera
    // goes through the platform's decoder first.
    ComPtr<IPin> out = CHostGraph::Pin(m_pSource->Filter(), PINDIR_OUTPUT);
    bool queued = true;
    if (m_pSource->Compressed()) {
        // The source's own pool: the few buffers of a decoder's or the null
        // renderer's allocator would starve the receiver.
        hr = Step("SetUseOwnAllocator", m_pSource->Control()->SetUseOwnAllocator(TRUE));
        if (FAILED(hr))
            return hr;
        ComPtr<IPin> decoded;
        hr = Step("find a decoder for the camera's compressed format (none of the platform's connects; V77Host filters --decoders lists them)",
                  InsertDecoder(m_Graph.Builder(), out.Get(), m_pSource->Info().Compression, &decoded, &m_Decoder));
        if (SUCCEEDED(hr)) {
            out = decoded;
        } else if (config.undecodedToNull) {
            hr = UseNullRenderer();
            queued = false;
        }
        if (FAILED(hr))
            return hr;
    }
    if (m_pDisplay)
        hr = ConfigureRenderer(config);
    if (SUCCEEDED(hr))
        hr = Step("IV77DsNetworkSource", m_Chain.Attach(m_pSource->Filter(), m_pSource->Info()));
    if (SUCCEEDED(hr)) {
        V77LiveChain chain;
        chain.from = out.Get();
        chain.queue = queued;
        chain.record = config.record;
        chain.bufferCount = config.bufferCount;
        hr = m_Chain.Connect(m_Graph.Builder(), m_pTap->Filter(), chain);
        if (FAILED(hr))
            m_pStep = m_Chain.Step();
    }
    if (SUCCEEDED(hr))
        hr = Step("connect the renderer", m_Graph.Connect(m_pTap->Filter(), m_pRenderer.Get()));
    if (FAILED(hr) || !m_pDisplay)
        return hr;
    if (!m_pWindow) {
        const RECT whole = {0, 0, m_pSource->Info().Width, m_pSource->Info().Height};
        hr = Step("SetRects", m_pDisplay->SetRects(&whole, nullptr, nullptr));
    } else {
        hr = Step("SetRects", m_pDisplay->SetRects(nullptr, nullptr, nullptr));
    }
    return hr;
}

HostFigures CLiveViewGraph::Figures() const
{
    HostFigures figures;
    if (!m_pTap)
        return figures;
    figures.frames = m_pTap->Frames();
    figures.dropped = m_pTap->Dropped();
    LONG capacity = 0;
    REFERENCE_TIME first = 0, last = 0;
    const REFERENCE_TIME frame = m_pSource ? m_pSource->Info().AvgTimePerFrame : 0;
    IV77DsBuffer* buffer = m_Chain.Buffer();
    if (buffer && SUCCEEDED(buffer->GetCapacity(&capacity))) {
        figures.bufferCapacity = capacity;
        figures.bufferFill = 0;
        if (frame > 0 && buffer->GetAvailable(&first, &last) == S_OK && last >= first)
            figures.bufferFill = static_cast<long>((last - first) / frame) + 1;
    }
    return figures;
}
