#include "tests/sources/LiveSourceFixture.h"

#include <cstring>

ComPtr<CV77DsBufferFilter> NewLiveBuffer()
{
    HRESULT hr = S_OK;
    CUnknown* object = CV77DsBufferFilter::CreateInstance(nullptr, &hr);
    if (!object)
        return nullptr;
    ComPtr<CV77DsBufferFilter> filter(static_cast<CV77DsBufferFilter*>(object));
    ComPtr<IV77DsBuffer> control;
    if (FAILED(hr) || FAILED(filter->QueryInterface(IID_IV77DsBuffer, reinterpret_cast<void**>(control.GetAddressOf()))) ||
        FAILED(control->CreateQueue(V77_QUEUE_STANDARD, 25, nullptr)))
        return nullptr;
    return filter;
}

ComPtr<IV77DsNetworkSource> SourceControl(IBaseFilter* source)
{
    ComPtr<IV77DsNetworkSource> control;
    source->QueryInterface(IID_IV77DsNetworkSource, reinterpret_cast<void**>(control.GetAddressOf()));
    return control;
}

int FrameOf(const RenderedSample& sample)
{
    int frame = -1;
    if (sample.bytes.size() >= sizeof(frame))
        std::memcpy(&frame, sample.bytes.data(), sizeof(frame));
    return frame;
}

std::vector<GraphEvent> EventsWithCode(const TestGraph& graph, long code)
{
    std::vector<GraphEvent> found;
    for (const GraphEvent& event : graph.EventsSeen()) {
        if (event.code == code)
            found.push_back(event);
    }
    return found;
}

void LiveSourceFixture::SetUp()
{
    ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
    ASSERT_EQ(S_OK, m_Graph.Create());
    for (const CLSID* clsid : {&CLSID_V77NetworkReceiver, &CLSID_V77TcpReceiver, &CLSID_V77AviReceiver,
                               &CLSID_V77LocalReceiver}) {
        m_Classes.push_back(std::make_unique<CTestReceiverClass>(*clsid, Script()));
        ASSERT_EQ(S_OK, m_Classes.back()->Registered());
    }
}

void LiveSourceFixture::TearDown()
{
    m_Graph.Release();
    m_Renderer.Reset();
    m_Buffer.Reset();
    m_Classes.clear();
}

ReceiverScript LiveSourceFixture::Script(int frames, DWORD intervalMs)
{
    ReceiverScript script;
    script.info = Yuy2Information(kWidth, kHeight);
    script.frameCount = frames;
    script.intervalMs = intervalMs;
    return script;
}

void LiveSourceFixture::UseScript(const ReceiverScript& script)
{
    for (auto& receiverClass : m_Classes)
        receiverClass->SetScript(script);
}

CTestReceiverClass* LiveSourceFixture::ReceiverClass(const CLSID& clsid)
{
    const CLSID* order[] = {&CLSID_V77NetworkReceiver, &CLSID_V77TcpReceiver, &CLSID_V77AviReceiver,
                            &CLSID_V77LocalReceiver};
    for (size_t i = 0; i < m_Classes.size(); ++i) {
        if (IsEqualCLSID(*order[i], clsid))
            return m_Classes[i].get();
    }
    return nullptr;
}

void LiveSourceFixture::BuildThroughBuffer(IBaseFilter* source, bool addSource, LONG bufferCount)
{
    TestRendererConfig config;
    config.waitForSampleTime = false;
    m_Renderer = Adopt(CTestRenderer::Create(config));
    m_Buffer = NewLiveBuffer();
    ASSERT_TRUE(source && m_Renderer && m_Buffer);
    if (bufferCount > 0) {
        ComPtr<IV77DsBuffer> control;
        ASSERT_EQ(S_OK, m_Buffer->QueryInterface(IID_IV77DsBuffer, reinterpret_cast<void**>(control.GetAddressOf())));
        ASSERT_EQ(S_OK, control->SetBufferCount(bufferCount));
    }
    if (addSource) {
        ASSERT_EQ(S_OK, m_Graph.Add(source, L"source"));
    }
    ASSERT_EQ(S_OK, m_Graph.Add(m_Buffer.Get(), L"buffer"));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Renderer->Filter(), L"renderer"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source, m_Buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Buffer.Get(), m_Renderer->Filter()));
}
