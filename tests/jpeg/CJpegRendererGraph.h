// A frame source connected to the JPEG renderer (created through the module,
// as the host creates it) in Wine's real filter graph. Frames are pushed on
// the caller's thread; the renderer's 0x8007 events are read with their
// samples, and samples still queued are released when the graph goes.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include "tests/display/CTestFrameSource.h"
#include "tests/display/TestPicture.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77DxRenderer.h"

class CJpegRendererGraph {
public:
    CJpegRendererGraph() = default;
    ~CJpegRendererGraph();
    CJpegRendererGraph(const CJpegRendererGraph&) = delete;
    CJpegRendererGraph& operator=(const CJpegRendererGraph&) = delete;

    // A renderer of its own, not in any graph.
    static HRESULT CreateRenderer(Microsoft::WRL::ComPtr<IBaseFilter>* filter);

    // Source of this format -> renderer, connected and told to run.
    HRESULT Start(const GUID& subtype, LONG width, LONG height, bool topDown = false);
    // The picture in the connection's format, delivered now.
    HRESULT Push(const TestPicture& picture);

    // Waits for the next 0x8007 event: true when one came; *sample takes the
    // event's reference (null when the event carried none).
    bool NextJpegEvent(DWORD timeoutMs, Microsoft::WRL::ComPtr<IMediaSample>* sample);
    // Releases the samples of every queued event; the number of 0x8007 events.
    int DrainEvents();

    IV77JpegRenderer* Jpeg() const { return m_pJpeg.Get(); }
    IV77DxRenderer* Dx() const { return m_pDx.Get(); }
    TestGraph& Graph() { return m_Graph; }

private:
    bool ReadEvent(DWORD timeoutMs, long* code, LONG_PTR* param1);

    TestGraph m_Graph;
    Microsoft::WRL::ComPtr<CTestFrameSource> m_pSource;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pRenderer;
    Microsoft::WRL::ComPtr<IV77JpegRenderer> m_pJpeg;
    Microsoft::WRL::ComPtr<IV77DxRenderer> m_pDx;
    GUID m_Subtype = GUID_NULL;
    bool m_bTopDown = false;
};
