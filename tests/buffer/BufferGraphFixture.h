// Wine's (or Windows') real filter graph with buffer filters in it, and the
// helpers the graph suites share.
#pragma once

#include <gtest/gtest.h>
#include <functional>
#include <vector>
#include <wrl/client.h>
#include "buffer/CV77DsBufferFilter.h"
#include "framework/CBaseObject.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/CTestRendererInputPin.h"
#include "tests/kit/CTestSource.h"
#include "tests/kit/CTestSourceStream.h"
#include "tests/kit/GroupLag.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestMediaTypes.h"
#include "tests/kit/TestWait.h"
#include "v77/IV77DsBuffer.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

constexpr DWORD kStateTimeoutMs = 5000;
constexpr DWORD kEventTimeoutMs = 10000;

// A new buffer filter (not aggregated), with one reference.
ComPtr<CV77DsBufferFilter> NewBufferFilter();
ComPtr<IV77DsBuffer> BufferControl(CV77DsBufferFilter* filter);
ComPtr<IV77DsBufferMaster> BufferMaster(CV77DsBufferFilter* filter);

// Graph events of one code, in the order seen.
std::vector<GraphEvent> EventsWithCode(const TestGraph& graph, long code);
// The 64-bit media time a 0x8001 event carries.
LONGLONG MediaTimeOf(const GraphEvent& event);
// After 300 ms more of play, each view (renderer of a slave) must keep in
// step with the master's renderer: its median difference from the master over
// those 300 ms of the master's frames within one frame (GroupLag).
void ExpectGroupInStep(CTestRenderer* master, const std::vector<CTestRenderer*>& views,
                       const std::function<int(const RenderedSample&)>& frameOf, const char* phase);

class BufferGraphFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        ASSERT_EQ(S_OK, m_Graph.Create());
    }

    void TearDown() override { m_Graph.Release(); }

    static TestSourceConfig VideoSource(int frames, REFERENCE_TIME duration = 200000)
    {
        TestSourceConfig config;
        config.mediaType = MakeTestVideoType(4, 4, duration);
        config.frameCount = frames;
        config.frameDuration = duration;
        config.endOfStream = false;  // a live source: the buffer sends end of stream ahead of its frames
        return config;
    }

    static TestRendererConfig RendererConfig(bool waitForSampleTime = false)
    {
        TestRendererConfig config;
        config.waitForSampleTime = waitForSampleTime;
        return config;
    }

    // source -> buffer (standard queue) -> renderer, connected; a new buffer unless one is given.
    void BuildLiveGraph(const TestSourceConfig& source, const TestRendererConfig& renderer = RendererConfig(),
                        DWORD kind = V77_QUEUE_STANDARD, ComPtr<CV77DsBufferFilter> buffer = nullptr)
    {
        m_Source = Adopt(CTestSource::Create(source));
        m_Renderer = Adopt(CTestRenderer::Create(renderer));
        m_Buffer = buffer ? buffer : NewBufferFilter();
        ASSERT_TRUE(m_Source && m_Renderer && m_Buffer);
        ASSERT_EQ(S_FALSE, BufferControl(m_Buffer.Get())->CreateQueue(kind, 25, nullptr));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Source->Filter(), L"source"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Buffer.Get(), L"buffer"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Renderer->Filter(), L"renderer"));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_Buffer.Get()));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Buffer.Get(), m_Renderer->Filter()));
    }

    CComInit m_Com;
    TestGraph m_Graph;
    ComPtr<CTestSource> m_Source;
    ComPtr<CTestRenderer> m_Renderer;
    ComPtr<CV77DsBufferFilter> m_Buffer;
};
