// A frame source connected to one of the module's renderers (created as the
// host creates it, or handed in ready made) in Wine's real filter graph.
// Frames are pushed on the caller's thread, from the connection's allocator
// or from a sample pool of the outside pool component.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vector>
#include <wrl/client.h>

#include "tests/display/CTestFrameSource.h"
#include "tests/display/TestPicture.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77DxRenderer.h"
#include "v77/IV77SamplePool.h"

class CRendererGraph {
public:
    CRendererGraph() = default;
    ~CRendererGraph();
    CRendererGraph(const CRendererGraph&) = delete;
    CRendererGraph& operator=(const CRendererGraph&) = delete;

    // Stops and releases the graph, the filters and the pool.
    void Close();
    // Creates the renderer through the module and hands it window (null: no window yet).
    HRESULT Create(const CLSID& clsid, HWND window = nullptr);
    // Takes a renderer made elsewhere.
    HRESULT Use(const Microsoft::WRL::ComPtr<IBaseFilter>& renderer);
    // Source of this format -> renderer, connected and told to run.
    HRESULT Start(const GUID& subtype, LONG width, LONG height, bool topDown = false);
    HRESULT Start(const CMediaType& mt);
    // Waits (bounded) until the graph runs: a renderer completes its pause
    // only with its first sample, and draws later samples only once running.
    bool WaitRunning(DWORD timeoutMs = 5000);
    // The connection's allocator buffers get this size (0: one image); before Start.
    void UseBufferSize(LONG bytes) { m_BufferSize = bytes; }
    // Frames from now on come from a new pool of count items of itemBytes each.
    HRESULT UsePool(DWORD itemBytes, DWORD count);

    // The picture in the connection's format, delivered now.
    HRESULT Push(const TestPicture& picture);
    // These bytes in a sample whose data length is length (-1: the bytes').
    HRESULT PushBytes(const std::vector<BYTE>& bytes, LONG length = -1);
    std::vector<BYTE> Encode(const TestPicture& picture) const;

    IBaseFilter* Renderer() const { return m_pRenderer.Get(); }
    IV77DxRenderer* Dx() const { return m_pDx.Get(); }
    IV77SamplePool* Pool() const { return m_pPool.Get(); }
    TestGraph& Graph() { return m_Graph; }

private:
    TestGraph m_Graph;
    Microsoft::WRL::ComPtr<CTestFrameSource> m_pSource;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pRenderer;
    Microsoft::WRL::ComPtr<IV77DxRenderer> m_pDx;
    Microsoft::WRL::ComPtr<IV77SamplePool> m_pPool;
    GUID m_Subtype = GUID_NULL;
    bool m_bTopDown = false;
    LONG m_BufferSize = 0;
};
