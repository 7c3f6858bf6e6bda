// A real filter graph with a CTestSource and a CTestRenderer in it, for the
// framework's graph suites.
#pragma once

#include <gtest/gtest.h>
#include <wrl/client.h>
#include "framework/CBaseObject.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/CTestRendererInputPin.h"
#include "tests/kit/CTestSource.h"
#include "tests/kit/CTestSourceStream.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestMediaTypes.h"
#include "tests/kit/TestWait.h"

using Microsoft::WRL::ComPtr;

// Frames 20 ms apart: a test of 10 frames plays in 200 ms.
constexpr REFERENCE_TIME kFrameDuration = 200000;
constexpr DWORD kStateTimeoutMs = 5000;
constexpr DWORD kEventTimeoutMs = 10000;

class GraphFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        ASSERT_EQ(S_OK, m_Graph.Create());
    }

    void TearDown() override
    {
        m_Graph.Release();
        m_Source.Reset();
        m_Renderer.Reset();
    }

    static TestSourceConfig SourceConfig(int frames = 10)
    {
        TestSourceConfig config;
        config.mediaType = MakeTestVideoType(4, 4, kFrameDuration);
        config.frameCount = frames;
        config.frameDuration = kFrameDuration;
        return config;
    }

    // Source and renderer added to the graph (not connected).
    void AddSourceAndRenderer(const TestSourceConfig& source, const TestRendererConfig& renderer = {})
    {
        m_Source = Adopt(CTestSource::Create(source));
        m_Renderer = Adopt(CTestRenderer::Create(renderer));
        ASSERT_TRUE(m_Source && m_Renderer);
        ASSERT_EQ(S_OK, m_Graph.Add(m_Source->Filter(), L"source"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Renderer->Filter(), L"renderer"));
    }

    void BuildSourceToRenderer(const TestSourceConfig& source, const TestRendererConfig& renderer = {})
    {
        AddSourceAndRenderer(source, renderer);
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_Renderer->Filter()));
    }

    CTestSourceStream* Stream() { return m_Source->Stream(); }
    CTestRendererInputPin* RendererPin() { return m_Renderer->TestPin(); }

    CComInit m_Com;
    TestGraph m_Graph;
    ComPtr<CTestSource> m_Source;
    ComPtr<CTestRenderer> m_Renderer;
};
