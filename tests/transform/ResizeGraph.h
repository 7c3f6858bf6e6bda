// The resize filter (created through the module) between the kit's push
// source and a test renderer that keeps whole frames, in Wine's filter graph.
#pragma once

#include <windows.h>
#include <vector>
#include <wrl/client.h>

#include "framework/CMediaType.h"
#include "tests/kit/CTestPushSource.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77Resize.h"

// An uncompressed video type: YUY2, RGB24, RGB32, YV12 or I420. A negative
// height means top-down RGB; interlaced types use VIDEOINFOHEADER2.
CMediaType MakeRawVideoType(const GUID& subtype, LONG width, LONG height, REFERENCE_TIME frameTime = 400000,
                            bool interlaced = false);
// Bytes of one frame of that type.
LONG RawFrameBytes(const GUID& subtype, LONG width, LONG height);

class ResizeGraph {
public:
    ResizeGraph();
    ~ResizeGraph();

    IV77Resize* Resize() const { return m_pControl.Get(); }
    IBaseFilter* Filter() const { return m_pFilter.Get(); }
    CTestRenderer* Renderer() const { return m_pRenderer.Get(); }
    TestGraph& Graph() { return m_Graph; }
    Microsoft::WRL::ComPtr<IPin> Output() const { return TestGraph::FindPin(m_pFilter.Get(), PINDIR_OUTPUT); }

    // Adds the three filters and connects source -> resize -> renderer.
    HRESULT Connect(const CMediaType& input);
    // The connected output type.
    CMediaType OutputType() const;
    // Runs the graph; the renderer completes the change only with a first frame.
    HRESULT Run() { return m_Graph.Run(); }
    HRESULT Push(const TestPacket& packet) { return m_pSource->Pin()->Push(packet); }
    // A frame with a time stamp (and no media time).
    HRESULT PushAt(const std::vector<BYTE>& frame, REFERENCE_TIME start);
    // Pushes then waits for count rendered frames in all.
    bool WaitFrames(size_t count, DWORD timeoutMs = 5000) { return m_pRenderer->WaitForSamples(count, timeoutMs); }
    std::vector<RenderedSample> Frames() { return m_pRenderer->Samples(); }

private:
    TestGraph m_Graph;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pFilter;
    Microsoft::WRL::ComPtr<IV77Resize> m_pControl;
    Microsoft::WRL::ComPtr<CTestPushSource> m_pSource;
    Microsoft::WRL::ComPtr<CTestRenderer> m_pRenderer;
};
