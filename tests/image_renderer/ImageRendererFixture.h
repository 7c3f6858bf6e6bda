// The image renderer (built into the suite) in Wine's real filter graph,
// fed by the kit's test source, with a host sample pool of V77Components.dll.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <wrl/client.h>

#include "sinks/CV77DsImageRendererFilter.h"
#include "tests/image_renderer/CTestImageSink.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestSourceConfig.h"
#include "v77/IV77SamplePool.h"
#include "v77/IV77Sinks.h"

using Microsoft::WRL::ComPtr;

constexpr DWORD kWaitMs = 5000;

// A set-up step failed: the test ends there with what failed (gtest reports
// the exception) rather than going on with a null object.
[[noreturn]] void SetUpFailed(const std::string& what, HRESULT hr);

class ImageRendererFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The set-up helpers never return null: they end the test through SetUpFailed.
    // An initialised host pool of count items of size bytes.
    ComPtr<IV77SamplePool> NewPool(DWORD size, DWORD count);
    // A renderer over pool (or none), added to the graph.
    ComPtr<IBaseFilter> NewRenderer(IV77SamplePool* pool);
    static ComPtr<IV77DsImageRenderer> Control(IBaseFilter* renderer);
    // A kit test source of config, added to the graph.
    ComPtr<IBaseFilter> NewSource(const TestSourceConfig& config);
    // The allocator the renderer's input pin uses (null when unconnected).
    static ComPtr<IMemAllocator> PinAllocator(IBaseFilter* renderer);

    CComInit m_Com;
    CTestImageSink m_Sink{false};
    CTestImageSink m_CompletionSink{true};
    TestGraph m_Graph;
};
