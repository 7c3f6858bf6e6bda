// Live sources built in the test (so that the module's object count covers
// them) with test receivers registered under the receivers' CLSIDs, in
// Wine's real filter graph with the buffer filter and test renderers.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <vector>
#include <wrl/client.h>

#include "buffer/CV77DsBufferFilter.h"
#include "sources/CV77DsSourceFilter.h"
#include "v77/V77Guids.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestWait.h"
#include "tests/sources/CTestReceiverClass.h"
#include "v77/IV77DsBuffer.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

constexpr DWORD kStateTimeoutMs = 5000;
constexpr DWORD kFlowTimeoutMs = 10000;
constexpr LONG kWidth = 64;
constexpr LONG kHeight = 48;

// A new filter of class T (not aggregated) with one reference, or null.
template <class T>
ComPtr<T> NewFilter(const TCHAR* name)
{
    HRESULT hr = S_OK;
    T* filter = new T(name, nullptr, &hr);
    ComPtr<T> result(filter);
    return SUCCEEDED(hr) ? result : nullptr;
}

ComPtr<CV77DsBufferFilter> NewLiveBuffer();
ComPtr<IV77DsNetworkSource> SourceControl(IBaseFilter* source);
// The frame number a test receiver wrote at the start of a sample.
int FrameOf(const RenderedSample& sample);
std::vector<GraphEvent> EventsWithCode(const TestGraph& graph, long code);

class LiveSourceFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static ReceiverScript Script(int frames = -1, DWORD intervalMs = 5);
    // Every receiver class makes receivers of this script from now on.
    void UseScript(const ReceiverScript& script);
    CTestReceiverClass* ReceiverClass(const CLSID& clsid);

    // A source of type T opened on its test receiver.
    template <class T>
    ComPtr<T> OpenSource(const TCHAR* name)
    {
        ComPtr<T> source = NewFilter<T>(name);
        if (source && SourceControl(static_cast<IBaseFilter*>(source.Get()))->Open(nullptr, nullptr, 0, 0, 0, nullptr) != S_OK)
            return nullptr;
        return source;
    }

    // source -> buffer (live queue) -> test renderer, connected; a buffer
    // count above 0 is set before connecting.
    void BuildThroughBuffer(IBaseFilter* source, bool addSource = true, LONG bufferCount = 0);

    CComInit m_Com;
    TestGraph m_Graph;
    std::vector<std::unique_ptr<CTestReceiverClass>> m_Classes;
    ComPtr<CV77DsBufferFilter> m_Buffer;
    ComPtr<CTestRenderer> m_Renderer;
};
